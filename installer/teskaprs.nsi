; Teskaprs setup: installs the program for the current user, without
; administrator rights, into %LOCALAPPDATA%\Programs\Teskaprs, where the
; program can write aprsconfig.txt beside itself. It installs only where no
; other user can replace the program: inside the user's own profile, or,
; when it runs with administrator rights, under Program Files (whose access
; list it leaves as it is: everyone may run the program, only administrators
; change it). Any other folder is refused.
;
; Built by scripts/package (makensis works in this folder, so paths are
; relative to it):
;   makensis -DVERSION=1.9.8.0 -DPROGRAM=.../teskaprs.exe -DOUTFILE=.../setup.exe teskaprs.nsi
; VERSION is the program's FileVersion (four numbers), read from res/Teskaprs.rc.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION
  !error "VERSION is not given (makensis -DVERSION=a.b.c.d)"
!endif
!ifndef PROGRAM
  !error "PROGRAM is not given (makensis -DPROGRAM=path/to/teskaprs.exe)"
!endif
!ifndef OUTFILE
  !define OUTFILE "Teskaprs-${VERSION}-setup.exe"
!endif

!define PRODUCT "Teskaprs"
!define PUBLISHER "Teskaprs developers"
!define EXE "teskaprs.exe"
!define UNINSTALLER "uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Teskaprs"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; How the program names its main window and its single-instance lock.
!define WINDOW_CLASS "TForm1"
!define WINDOW_TITLE "Teskaprs"
!define INSTANCE_LOCK "TabcSingleInstance in application Teskaprs"
; How long a running copy is given to close, in tenths of a second.
!define CLOSE_WAIT 100
; Exit codes of a run that stops (a silent one says why only through these):
; a running copy did not close; it runs with administrator rights and this
; run has none; the folder is neither in the user's profile nor, with
; administrator rights, under Program Files.
!define EXIT_NOT_CLOSED 2
!define EXIT_COPY_ELEVATED 3
!define EXIT_FOLDER_REFUSED 4

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An earlier install is found in .onInit.
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

; The setup program's own version resource.
VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) ${PUBLISHER}"

!define MUI_ICON "../res/Teskaprs.ico"
!define MUI_UNICON "../res/Teskaprs.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE}"
!define MUI_FINISHPAGE_RUN_TEXT "Start Teskaprs"
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow

!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Teskaprs installs only where no other user of this computer can replace it: in a folder inside your user profile, or, when this setup runs as administrator, under Program Files."
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Pushes 1 when the process of the handle on the stack runs elevated (with
; administrator rights), 0 when it does not, and "unknown" when its token
; cannot be read: Windows keeps the token of an elevated program from a
; program without those rights.
!macro DEFINE_ELEVATION un
Function ${un}Elevation
  Exch $0
  Push $1
  Push $2
  System::Call 'advapi32::OpenProcessToken(p r0, i 8, *p .r1) i .r2'  ; TOKEN_QUERY
  StrCpy $0 unknown
  ${If} $2 <> 0
    ; TokenElevation
    System::Call 'advapi32::GetTokenInformation(p r1, i 20, *i .r0, i 4, *i .r2) i .r2'
    ${If} $2 = 0
      StrCpy $0 unknown
    ${ElseIf} $0 <> 0
      StrCpy $0 1
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when the window on the stack belongs to a copy that runs with
; administrator rights (or whose token Windows keeps from this run) while
; this run has none, and 0 otherwise.
Function ${un}OutranksThisRun
  Exch $0
  Push $1
  Push -1
  Call ${un}Elevation
  Pop $1
  ${If} $1 == 0
  ${AndIf} $0 <> 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r1) p .r0'
    StrCpy $1 0
    ${If} $0 P<> 0
      Push $0
      Call ${un}Elevation
      Pop $1
      System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
    ${If} $1 != 0
      StrCpy $1 1
    ${EndIf}
  ${Else}
    StrCpy $1 0
  ${EndIf}
  StrCpy $0 $1
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_ELEVATION ""
!insertmacro DEFINE_ELEVATION "un."

; Asks every running copy of Teskaprs to close (its main window gets
; WM_CLOSE, which ends the program) and waits until it has ended: its
; window is gone, its single-instance lock released and its program file
; free. Stops the setup with a clear message when it does not close in time,
; naming a copy with administrator rights that this run cannot close.
; 1 once a running copy was asked to close.
Var ClosedRunningCopy
; An earlier install in a folder the setup now refuses, moved into this one.
Var OldInstDir
; 1 when this run has administrator rights.
Var ElevatedRun

!macro DEFINE_PROGRAM_FREE un
; Pushes 1 when the program file on the stack is missing or can be opened
; for writing, 0 while it is still in use.
Function ${un}ProgramFree
  Exch $0
  Push $1
  ${If} ${FileExists} $0
    ClearErrors
    FileOpen $1 $0 a
    ${If} ${Errors}
      StrCpy $0 0
    ${Else}
      FileClose $1
      StrCpy $0 1
    ${EndIf}
  ${Else}
    StrCpy $0 1
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro DEFINE_PROGRAM_FREE ""
!insertmacro DEFINE_PROGRAM_FREE "un."

!macro DEFINE_CLOSE_RUNNING_COPY un
Function ${un}CloseRunningCopy
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $0 0  ; tenths of a second waited
  StrCpy $3 0  ; the last window asked to close
  ${Do}
    FindWindow $1 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
    ${If} $1 <> 0
    ${AndIf} $1 <> $3
      DetailPrint "Closing the running Teskaprs..."
      SendMessage $1 ${WM_CLOSE} 0 0 /TIMEOUT=2000
      StrCpy $3 $1
      StrCpy $ClosedRunningCopy 1
    ${EndIf}
    ; The lock lives as long as the program's process.
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_LOCK}") p .r2'
    ${If} $2 P<> 0
      System::Call 'kernel32::CloseHandle(p r2)'
    ${EndIf}
    ${If} $1 = 0
    ${AndIf} $2 P= 0
      ; A program file that cannot be opened for writing is still in use.
      Push "$INSTDIR\${EXE}"
      Call ${un}ProgramFree
      Pop $2
      ${If} $OldInstDir != ""
      ${AndIf} $2 == 1
        Push "$OldInstDir\${EXE}"
        Call ${un}ProgramFree
        Pop $2
      ${EndIf}
      ${If} $2 == 1
        ${Break}
      ${EndIf}
    ${EndIf}
    ${If} $0 >= ${CLOSE_WAIT}
      DetailPrint "Teskaprs is still running."
      ; A copy with administrator rights takes no orders from a run without
      ; them (Windows drops its WM_CLOSE): say so, not just "did not close".
      Push $1
      Call ${un}OutranksThisRun
      Pop $2
      ${If} $2 == 1
        MessageBox MB_OK|MB_ICONSTOP "Teskaprs is running with administrator rights, so this program, which runs without them, cannot close it.$\r$\n$\r$\nClose Teskaprs (Exit in its tray menu), then run this program again." /SD IDOK
        SetErrorLevel ${EXIT_COPY_ELEVATED}
      ${Else}
        MessageBox MB_OK|MB_ICONSTOP "Teskaprs is still running and did not close.$\r$\n$\r$\nClose Teskaprs, then run this program again." /SD IDOK
        SetErrorLevel ${EXIT_NOT_CLOSED}
      ${EndIf}
      Quit
    ${EndIf}
    Sleep 100
    IntOp $0 $0 + 1
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_RUNNING_COPY ""
!insertmacro DEFINE_CLOSE_RUNNING_COPY "un."

; Pushes the full, long form of the path on the stack, without a trailing
; backslash; of a path that does not exist yet, the part that does.
Function LongPath
  Exch $0
  Push $1
  Push $2
  Push $3
  System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r2, p 0) i .r3'
  ${If} $3 <> 0
    StrCpy $0 $2
  ${EndIf}
  ${If} $0 != ""
  ${AndIf} $0 != "\"
    StrCpy $2 $0 "" -1
    ${If} $2 == "\"
      StrCpy $0 $0 -1
    ${EndIf}
  ${EndIf}
  StrCpy $1 ""  ; the part that does not exist
  ${Do}
    System::Call 'kernel32::GetLongPathNameW(w r0, w .r2, i ${NSIS_MAX_STRLEN}) i .r3'
    ${If} $3 <> 0
    ${AndIf} $3 < ${NSIS_MAX_STRLEN}
      StrCpy $0 "$2$1"
      ${Break}
    ${EndIf}
    ${GetParent} $0 $2
    StrLen $3 $2
    ${If} $3 < 3
      StrCpy $0 "$0$1"
      ${Break}
    ${EndIf}
    ${GetFileName} $0 $3
    StrCpy $1 "\$3$1"
    StrCpy $0 $2
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when the first path on the stack lies inside the second (both
; full and long), compared by whole parts: C:\Users\ann2 is not in
; C:\Users\ann, nor is C:\Users\ann itself.
Function PathIsUnder
  Exch $1  ; folder
  Exch
  Exch $0  ; path
  Push $2
  Push $3
  StrLen $2 $1
  StrLen $3 $0
  IntOp $3 $3 - 1
  ${If} $2 = 0
  ${OrIf} $3 <= $2
    StrCpy $0 0
  ${Else}
    StrCpy $3 $0 $2
    StrCpy $0 $0 1 $2
    ${If} $0 == "\"
    ${AndIf} $3 == $1  ; without regard to case
      StrCpy $0 1
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Exch $0
  Exch
  Pop $1
FunctionEnd

; Pushes where the folder on the stack lies: "profile" (inside this user's
; own profile), "programfiles" (under a Program Files folder) or "" (anywhere
; else: a folder of C:\, a share, another user's profile).
Function PlaceOf
  Exch $0
  Push $1
  Push $0
  Call LongPath
  Pop $0
  Push $0
  Push $PROFILE
  Call LongPath
  Call PathIsUnder
  Pop $1
  ${If} $1 == 1
    StrCpy $0 profile
  ${Else}
    Push $0
    Push $PROGRAMFILES64
    Call LongPath
    Call PathIsUnder
    Pop $1
    ${If} $1 == 0
      Push $0
      Push $PROGRAMFILES32
      Call LongPath
      Call PathIsUnder
      Pop $1
    ${EndIf}
    StrCpy $0 ""
    ${If} $1 == 1
      StrCpy $0 programfiles
    ${EndIf}
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when this run may install into $INSTDIR; otherwise says why and
; pushes 0. Nothing is written before this has passed.
Function CheckFolder
  Push $0
  Push $INSTDIR
  Call PlaceOf
  Pop $0
  ${If} $0 == programfiles
  ${AndIf} $ElevatedRun != 1
    StrCpy $0 ""
  ${EndIf}
  ${If} $0 != ""
    StrCpy $0 1
  ${Else}
    DetailPrint "Refused: $INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "Teskaprs cannot be installed in $INSTDIR.$\r$\n$\r$\nIt installs only where no other user of this computer can replace the program: in a folder inside your user profile (usually $LOCALAPPDATA\Programs\${PRODUCT}), or, when this setup runs as administrator, under Program Files ($PROGRAMFILES64\${PRODUCT})." /SD IDOK
    StrCpy $0 0
  ${EndIf}
  Exch $0
FunctionEnd

Function .onInit
  SetShellVarContext current
  Push -1
  Call Elevation
  Pop $ElevatedRun
  ; A folder given with /D= is the user's choice. Without one, an earlier
  ; install is upgraded where it is, unless it lies where the setup now
  ; refuses to install: then it moves into the usual folder.
  System::Call 'kernel32::GetCommandLineW() w .r0'
  StrLen $1 $0
  StrCpy $2 0
  ${DoWhile} $2 < $1
    StrCpy $3 $0 4 $2
    ${If} $3 S== " /D="
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
  ${Loop}
  ${If} $2 >= $1
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
      Push $0
      Call PlaceOf
      Pop $1
      ${If} $1 == ""
        StrCpy $OldInstDir $0
      ${Else}
        StrCpy $INSTDIR $0
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
    Call CheckFolder
    Pop $0
    ${If} $0 != 1
      SetErrorLevel ${EXIT_FOLDER_REFUSED}
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

; A folder chosen on the page is checked before anything is written.
Function DirectoryPageLeave
  Call CheckFolder
  Pop $0
  ${If} $0 != 1
    Abort
  ${EndIf}
FunctionEnd

; A silent upgrade that closed a running copy starts the new one again, so
; a station that updates unattended goes on uploading. (An upgrade with its
; pages offers it on the last page.) Not from a run with administrator
; rights: the program would have them too, and a program run so writes the
; machine's settings and autostart entry, not the user's.
Function .onInstSuccess
  Push -1
  Call Elevation
  Pop $0
  ${If} ${Silent}
  ${AndIf} $ClosedRunningCopy == 1
  ${AndIf} $0 == 0
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
FunctionEnd

; Nor does the last page offer to start it from such a run.
Function FinishPageShow
  Push -1
  Call Elevation
  Pop $0
  ${If} $0 != 0
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Teskaprs" SectionProgram
  SectionIn RO
  Call CloseRunningCopy

  ; Only the program, its licences and the uninstaller: aprsconfig.txt
  ; beside them and the settings in the registry are the user's and stay as
  ; they are. The folder and what is made in it take the access list of the
  ; folder above.
  SetOutPath "$INSTDIR"
  File "/oname=${EXE}" "${PROGRAM}"
  File "/oname=LICENSE.txt" "../LICENSE"
  File "../THIRD-PARTY-NOTICES.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; An earlier install in a folder now refused: its settings file comes
  ; along (unless this folder has one of its own), its program and
  ; uninstaller go, and an autostart value that started it starts this one.
  ${If} $OldInstDir != ""
    DetailPrint "Moving Teskaprs from $OldInstDir"
    ${If} ${FileExists} "$OldInstDir\aprsconfig.txt"
    ${AndIfNot} ${FileExists} "$INSTDIR\aprsconfig.txt"
      CopyFiles /SILENT "$OldInstDir\aprsconfig.txt" "$INSTDIR"
    ${EndIf}
    ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == "$OldInstDir\${EXE}"
    ${OrIf} $0 == '"$OldInstDir\${EXE}"'
      WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'
    ${EndIf}
    Delete "$OldInstDir\${EXE}"
    Delete "$OldInstDir\${UNINSTALLER}"
    Delete "$OldInstDir\LICENSE.txt"
    Delete "$OldInstDir\THIRD-PARTY-NOTICES.txt"
    ; Only when empty: the settings file stays where it was, too.
    RMDir "$OldInstDir"
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  ; The entry of "Apps & features" (Programs and Features).
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Call un.CloseRunningCopy

  ; The autostart value, when it starts this copy: written quoted by this
  ; version, unquoted by earlier ones. A value naming another copy stays.
  ReadRegStr $0 HKCU "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 == "$INSTDIR\${EXE}"
  ${OrIf} $0 == '"$INSTDIR\${EXE}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\THIRD-PARTY-NOTICES.txt"
  ; Removed only when empty: aprsconfig.txt, the saved settings, stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
