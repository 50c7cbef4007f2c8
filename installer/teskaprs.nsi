; Teskaprs setup: installs the program for the current user, without
; administrator rights, into %LOCALAPPDATA%\Programs\Teskaprs, where the
; program can write aprsconfig.txt beside itself.
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
; run has none; the folder cannot be made changeable only by its owner.
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
; An earlier install (also one made elsewhere with /D=) is found and upgraded.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
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
      ${IfNot} ${FileExists} "$INSTDIR\${EXE}"
        ${Break}
      ${EndIf}
      ClearErrors
      FileOpen $2 "$INSTDIR\${EXE}" a
      ${IfNot} ${Errors}
        FileClose $2
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

Function .onInit
  SetShellVarContext current
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

; A folder outside the user's own profile (given with /D=, C:\Teskaprs say)
; usually lets every local user change what is in it, and so replace the
; program its owner starts at logon. Such a folder
; gets an explicit, protected access list: full control for the installing
; user (its owner from now on), SYSTEM and Administrators, and nothing for
; anyone else. A folder whose permissions this run cannot set so (another
; user's, say) is refused.
Function ProtectFolderOutsideProfile
  ; Whole path parts of full, long paths: C:\Users\ann2 is not in C:\Users\ann.
  GetFullPathName $0 "$INSTDIR"
  System::Call 'kernel32::GetLongPathNameW(w r0, w .r0, i ${NSIS_MAX_STRLEN})'
  GetFullPathName $1 "$PROFILE"
  System::Call 'kernel32::GetLongPathNameW(w r1, w .r1, i ${NSIS_MAX_STRLEN})'
  StrLen $2 "$1\"
  StrCpy $2 "$0\" $2
  ${If} $2 == "$1\"
    Return
  ${EndIf}
  ; The user's SID, from this process's token (TOKEN_QUERY, TokenUser).
  System::Call 'advapi32::OpenProcessToken(p -1, i 8, *p .r3)'
  System::Alloc 256
  Pop $4
  System::Call 'advapi32::GetTokenInformation(p r3, i 1, p r4, i 256, *i .r2)'
  System::Call '*$4(p .r5)'
  System::Call 'advapi32::ConvertSidToStringSidW(p r5, *w .r6)'
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "O:$6D:P(A;OICI;FA;;;$6)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", i 1, *p .r7, p 0)'
  ; The list first (the folder's owner may set it), then the owner (the
  ; list now lets this user take it). The program and the uninstaller are
  ; made afresh below and take the folder's list.
  ; PROTECTED_DACL_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION
  System::Call 'advapi32::SetFileSecurityW(w r0, i 0x80000004, p r7) i .r2 ?e'
  Pop $9
  ${If} $2 <> 0
    ; OWNER_SECURITY_INFORMATION
    System::Call 'advapi32::SetFileSecurityW(w r0, i 1, p r7) i .r2 ?e'
    Pop $9
  ${EndIf}
  System::Call 'kernel32::LocalFree(p r7)'
  System::Free $4
  System::Call 'kernel32::CloseHandle(p r3)'
  ${If} $2 = 0
    DetailPrint "The permissions of $0 cannot be set (error $9)."
    MessageBox MB_OK|MB_ICONSTOP "Teskaprs cannot be installed in $INSTDIR.$\r$\n$\r$\nA folder outside your user profile must be changeable only by you, SYSTEM and Administrators, or other users of this computer could replace the program that starts at your logon, and this setup cannot set its permissions so (error $9). Choose a folder in your profile, such as $LOCALAPPDATA\Programs\Teskaprs." /SD IDOK
    RMDir "$INSTDIR"  ; when this run made it
    SetErrorLevel ${EXIT_FOLDER_REFUSED}
    Quit
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Teskaprs" SectionProgram
  SectionIn RO
  Call CloseRunningCopy

  CreateDirectory "$INSTDIR"
  Call ProtectFolderOutsideProfile

  ; Only the program and the uninstaller: aprsconfig.txt beside them and the
  ; settings in the registry are the user's and stay as they are. Both are
  ; made afresh, so that they take the folder's permissions and owner rather
  ; than keep those of a file found there.
  SetOutPath "$INSTDIR"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\${UNINSTALLER}"
  File "/oname=${EXE}" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

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
  ; Removed only when empty: aprsconfig.txt, the saved settings, stays.
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
