; Teskaprs setup: installs the program for the current user, without
; administrator rights, into %LOCALAPPDATA%\Programs\Teskaprs, where the
; program can write aprsconfig.txt beside itself. It installs only where no
; other user can replace the program: inside the user's own profile, or,
; when it runs with administrator rights, under Program Files (whose access
; list it leaves as it is: everyone may run the program, only administrators
; change it). Any other folder is refused. Whether a place is allowed is
; asked of the program being installed (teskaprs.exe /autostart-place), so
; that the program and its setup follow one rule.
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
; administrator rights, under Program Files; an earlier install started at
; every user's logon must be moved and this run has no administrator rights.
!define EXIT_NOT_CLOSED 2
!define EXIT_COPY_ELEVATED 3
!define EXIT_FOLDER_REFUSED 4
!define EXIT_MOVE_NEEDS_ADMINISTRATOR 5
; The size of a FILE_RENAME_INFO with room for the longest name.
!define /math RENAME_INFO_SIZE ${NSIS_MAX_STRLEN} * 2
!define /redef /math RENAME_INFO_SIZE ${RENAME_INFO_SIZE} + 22

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
; Earlier installs in folders the setup now refuses, moved into this one:
; the folder the uninstall entry names, and those of the programs that the
; Run values (of the user; of the machine, 32- and 64-bit views) name.
Var OldInstDir
Var OldFolder1
Var OldFolder2
Var OldFolder3
; 1 when that Run value must name the new program instead.
Var FixRun1
Var FixRun2
Var FixRun3
; 1 when this run has administrator rights.
Var ElevatedRun
; Where the program is installed: "profile" or "programfiles".
Var NewPlace

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

; Keeps $2 at 1 only while the program in that folder is free too.
!macro ALSO_FREE un folder
  ${If} $2 == 1
  ${AndIf} ${folder} != ""
    Push "${folder}\${EXE}"
    Call ${un}ProgramFree
    Pop $2
  ${EndIf}
!macroend

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
      !insertmacro ALSO_FREE "${un}" $OldInstDir
      !insertmacro ALSO_FREE "${un}" $OldFolder1
      !insertmacro ALSO_FREE "${un}" $OldFolder2
      !insertmacro ALSO_FREE "${un}" $OldFolder3
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

; Pushes where the program that the Run value data on the stack names lies,
; as the program being installed answers it: "programfiles", "profile"
; (this user's own), "elsewhere", or "" when the data names no teskaprs.exe
; or the program cannot tell.
Function PlaceOf
  Exch $0
  Push $1
  ClearErrors
  ExecWait '"$PLUGINSDIR\${EXE}" /autostart-place $0' $1
  StrCpy $0 ""
  ${IfNot} ${Errors}
    ${If} $1 == 10
      StrCpy $0 programfiles
    ${ElseIf} $1 == 11
      StrCpy $0 profile
    ${ElseIf} $1 == 12
      StrCpy $0 elsewhere
    ${EndIf}
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Pushes 1 when this run may install into $INSTDIR, and sets $NewPlace;
; otherwise says why and pushes 0. Nothing is written before this has passed.
Function CheckFolder
  Push $0
  Push '"$INSTDIR\${EXE}"'
  Call PlaceOf
  Pop $0
  ${If} $0 == programfiles
  ${AndIf} $ElevatedRun != 1
    StrCpy $0 ""
  ${EndIf}
  ${If} $0 == profile
  ${OrIf} $0 == programfiles
    StrCpy $NewPlace $0
    StrCpy $0 1
  ${Else}
    DetailPrint "Refused: $INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "Teskaprs cannot be installed in $INSTDIR.$\r$\n$\r$\nIt installs only where no other user of this computer can replace the program: in a folder inside your user profile (usually $LOCALAPPDATA\Programs\${PRODUCT}), or, when this setup runs as administrator, under Program Files ($PROGRAMFILES64\${PRODUCT})." /SD IDOK
    StrCpy $0 0
  ${EndIf}
  Exch $0
FunctionEnd

; Pushes the folder of the program that the Run value data on the stack
; names: the text inside its leading quotes, or else all of it, blanks
; around it ignored, up to its last backslash or slash.
Function RunValueFolder
  Exch $0
  Push $1
  Push $2
  ${Do}
    StrCpy $1 $0 1
    ${If} $1 != " "
    ${AndIf} $1 != "$\t"
      ${Break}
    ${EndIf}
    StrCpy $0 $0 "" 1
  ${Loop}
  ${If} $1 == '"'
    StrCpy $0 $0 "" 1
    StrCpy $2 0
    ${Do}
      StrCpy $1 $0 1 $2
      ${IfThen} $1 == '"' ${|} ${Break} ${|}
      ${IfThen} $1 == "" ${|} ${Break} ${|}
      IntOp $2 $2 + 1
    ${Loop}
    StrCpy $0 $0 $2
  ${EndIf}
  StrLen $2 $0
  ${Do}
    IntOp $2 $2 - 1
    ${IfThen} $2 < 1 ${|} ${Break} ${|}
    StrCpy $1 $0 1 $2
    ${IfThen} $1 == "\" ${|} ${Break} ${|}
    ${IfThen} $1 == "/" ${|} ${Break} ${|}
  ${Loop}
  ${If} $2 > 0
    StrCpy $0 $0 $2
  ${Else}
    StrCpy $0 ""
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Reads the Run value of ${root} (in that registry view) and notes whether
; it must name the new program (FixRun${n}): it names a teskaprs.exe outside
; the places the program may start from, or, of the machine's, one outside
; Program Files. In the first case its folder is an earlier install to move
; out of (OldFolder${n}).
!macro FIND_RUN_VALUE n root view
  SetRegView ${view}
  ReadRegStr $0 ${root} "${RUN_KEY}" "${PRODUCT}"
  SetRegView default
  StrCpy $FixRun${n} 0
  ${If} $0 != ""
    Push $0
    Call PlaceOf
    Pop $1
    ${If} $1 == elsewhere
      StrCpy $FixRun${n} 1
      Push $0
      Call RunValueFolder
      Pop $OldFolder${n}
    ${ElseIf} $1 == profile
    ${AndIf} ${root} == HKLM
      StrCpy $FixRun${n} 1
    ${EndIf}
  ${EndIf}
!macroend

; A value of the machine's that must change needs administrator rights and
; a Run key this run may write: without them nothing is changed.
!macro CHECK_MACHINE_RUN n view
  ${If} $FixRun${n} == 1
    StrCpy $1 1
    ${If} $ElevatedRun == 1
      ; KEY_SET_VALUE in that view
      System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w "${RUN_KEY}", i 0, i ${view}, *p .r2) i .r1'
      ${If} $1 = 0
        System::Call 'advapi32::RegCloseKey(p r2)'
      ${EndIf}
    ${EndIf}
    ${If} $1 <> 0
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
!macroend

Function FindEarlierInstalls
  Push $0
  Push $1
  Push $2
  !insertmacro FIND_RUN_VALUE 1 HKCU default
  !insertmacro FIND_RUN_VALUE 2 HKLM 32
  !insertmacro FIND_RUN_VALUE 3 HKLM 64
  StrCpy $0 1
  !insertmacro CHECK_MACHINE_RUN 2 0x202
  !insertmacro CHECK_MACHINE_RUN 3 0x102
  ${If} $0 != 1
    MessageBox MB_OK|MB_ICONSTOP "An earlier Teskaprs starts at every user's logon from a folder that other users can change.$\r$\n$\r$\nRun the setup as administrator to move the earlier install." /SD IDOK
    SetErrorLevel ${EXIT_MOVE_NEEDS_ADMINISTRATOR}
    Quit
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Pushes the full, long form of the folder on the stack, without a
; trailing backslash; "" unless it is a folder under a drive's root (a
; relative path, a drive's own root or a share is never moved out of).
Function FullLongFolder
  Exch $0
  Push $1
  Push $2
  StrCpy $2 $0 2 1  ; "X:\..." or "X:/...", nothing relative
  ${If} $2 != ":\"
  ${AndIf} $2 != ":/"
    StrCpy $0 ""
  ${Else}
    System::Call 'kernel32::GetFullPathNameW(w r0, i ${NSIS_MAX_STRLEN}, w .r1, p 0) i .r2'
    ${IfThen} $2 = 0 ${|} StrCpy $1 "" ${|}
    StrCpy $0 $1
    StrCpy $2 $0 "" -1
    ${IfThen} $2 == "\" ${|} StrCpy $0 $0 -1 ${|}
    StrLen $2 $0
    ${IfThen} $2 < 4 ${|} StrCpy $0 "" ${|}
  ${EndIf}
  System::Call 'kernel32::GetLongPathNameW(w r0, w .r1, i ${NSIS_MAX_STRLEN}) i .r2'
  ${If} $2 <> 0
  ${AndIf} $2 < ${NSIS_MAX_STRLEN}
    StrCpy $0 $1
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Opens the file or folder at the full, long path on the stack for DELETE
; without following a reparse point, sharing only reading, so that nobody
; renames, replaces, removes or writes it while it is open (and it cannot be
; opened while someone may write it). Pushes the handle, or 0 when it cannot
; be opened, is a reparse point (a link), is a file with a second name, or
; lies elsewhere than the path says (a link on the way to it).
Function OpenAsNamed
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  ; DELETE | FILE_READ_ATTRIBUTES; FILE_SHARE_READ; OPEN_EXISTING;
  ; FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS
  System::Call 'kernel32::CreateFileW(w r0, i 0x10080, i 1, p 0, i 3, i 0x02200000, p 0) p .r1'
  ${If} $1 P= -1
    StrCpy $1 0
  ${Else}
    System::Alloc 52  ; BY_HANDLE_FILE_INFORMATION
    Pop $2
    StrCpy $4 1
    System::Call 'kernel32::GetFileInformationByHandle(p r1, p r2) i .r3'
    ${If} $3 <> 0
      System::Call '*$2(i .r3, l, l, l, i, i, i, i .r4)'  ; attributes, number of links
    ${Else}
      StrCpy $3 0x400
    ${EndIf}
    System::Free $2
    System::Call 'kernel32::GetFinalPathNameByHandleW(p r1, w .r2, i ${NSIS_MAX_STRLEN}, i 0) i'
    ${If} $2 != "\\?\$0"
      StrCpy $3 0x400
    ${EndIf}
    ; A folder's number of links says nothing of a second name.
    IntOp $2 $3 & 0x10  ; FILE_ATTRIBUTE_DIRECTORY
    ${If} $2 = 0
    ${AndIf} $4 > 1
      StrCpy $3 0x400
    ${EndIf}
    IntOp $3 $3 & 0x400  ; FILE_ATTRIBUTE_REPARSE_POINT
    ${If} $3 <> 0
      System::Call 'kernel32::CloseHandle(p r1)'
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  StrCpy $0 $1
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

; Removes the file at that full, long path unless it is not as named.
!macro REMOVE_AS_NAMED path
  Push "${path}"
  Call OpenAsNamed
  Pop $2
  ${If} $2 P<> 0
    System::Call 'kernel32::SetFileInformationByHandle(p r2, i 4, *i 1, i 1) i'  ; FileDispositionInfo
    System::Call 'kernel32::CloseHandle(p r2)'
  ${EndIf}
!macroend

; Moves out of the earlier install in the folder on the stack (nothing when
; it is ""): aprsconfig.txt goes into $INSTDIR (unless that has one of its
; own), the program, uninstaller and licences go, and then the folder when
; it is empty. All of it is done through handles of what was named, the
; folder's held from first to last, and nothing that is a link, or lies
; elsewhere than named, is moved or removed: it is left as it is.
Function MoveOutOf
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $0
  Call FullLongFolder
  Pop $0
  ${If} $0 != ""
    Push $0
    Call OpenAsNamed
    Pop $1
    ${If} $1 P= 0
      ${If} ${FileExists} "$0\*"
        DetailPrint "Left as it is (a link, elsewhere than named, or not this user's to change): $0"
      ${EndIf}
    ${Else}
      DetailPrint "Moving Teskaprs out of $0"
      Push "$0\aprsconfig.txt"
      Call OpenAsNamed
      Pop $2
      ${If} $2 P<> 0
        ; FILE_RENAME_INFO: not replacing, no root folder, the new name
        StrCpy $3 "\??\$INSTDIR\aprsconfig.txt"
        StrLen $4 $3
        IntOp $4 $4 * 2
        System::Call '*(i 0, i 0, p 0, i r4, &w${NSIS_MAX_STRLEN} r3) p .r3'
        System::Call 'kernel32::SetFileInformationByHandle(p r2, i 3, p r3, i ${RENAME_INFO_SIZE}) i .r4'
        System::Free $3
        System::Call 'kernel32::CloseHandle(p r2)'
        ${If} $4 = 0
          DetailPrint "aprsconfig.txt stays in $0"
        ${Else}
          ; It takes the access list of its new folder, as a new file would
          ; (what is made in a folder of C:\ any user may change): an empty
          ; list of its own, and those it inherits (SE_FILE_OBJECT;
          ; DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION).
          System::Call '*(l 0) p .r3'
          System::Call 'advapi32::InitializeAcl(p r3, i 8, i 2) i'
          System::Call 'advapi32::SetNamedSecurityInfoW(w "$INSTDIR\aprsconfig.txt", i 1, i 0x20000004, p 0, p 0, p r3, p 0) i .r4'
          System::Free $3
          ${IfThen} $4 <> 0 ${|} DetailPrint "aprsconfig.txt keeps the access list it had in $0" ${|}
        ${EndIf}
      ${EndIf}
      !insertmacro REMOVE_AS_NAMED "$0\${EXE}"
      !insertmacro REMOVE_AS_NAMED "$0\${UNINSTALLER}"
      !insertmacro REMOVE_AS_NAMED "$0\LICENSE.txt"
      !insertmacro REMOVE_AS_NAMED "$0\THIRD-PARTY-NOTICES.txt"
      ; The folder itself: refused while anything is left in it.
      System::Call 'kernel32::SetFileInformationByHandle(p r1, i 4, *i 1, i 1) i'
      System::Call 'kernel32::CloseHandle(p r1)'
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Points a Run value that must change at the new program: one of the
; machine's stays only for a program under Program Files, otherwise the
; user's own takes its place.
!macro POINT_RUN_VALUE n root view
  ${If} $FixRun${n} == 1
  !if "${root}" == "HKLM"
    SetRegView ${view}
    ${If} $NewPlace == programfiles
      WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'
    ${Else}
      DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
      SetRegView default
      WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'
    ${EndIf}
    SetRegView default
  !else
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\${EXE}"'
  !endif
  ${EndIf}
!macroend

Function .onInit
  SetShellVarContext current
  Push -1
  Call Elevation
  Pop $ElevatedRun
  ; The program being installed says where a program may lie (PlaceOf).
  InitPluginsDir
  File "/oname=$PLUGINSDIR\${EXE}" "${PROGRAM}"
  ; A folder given with /D= is the user's choice. Without one, an earlier
  ; install is upgraded where it is, unless it lies where the setup now
  ; refuses to install: then it moves into the usual folder. Either way
  ; nothing is left in such a folder.
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
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    Push '"$0\${EXE}"'
    Call PlaceOf
    Pop $3
    ${If} $3 == elsewhere
      StrCpy $OldInstDir $0
    ${ElseIf} $3 != ""
    ${AndIf} $2 >= $1
      StrCpy $INSTDIR $0
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
  Call FindEarlierInstalls
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

  ; Earlier installs in folders now refused are moved out of, and every
  ; Run value that started one, or started a program outside Program Files
  ; at every user's logon, starts this one.
  Push $OldInstDir
  Call MoveOutOf
  Push $OldFolder1
  Call MoveOutOf
  Push $OldFolder2
  Call MoveOutOf
  Push $OldFolder3
  Call MoveOutOf
  !insertmacro POINT_RUN_VALUE 1 HKCU default
  !insertmacro POINT_RUN_VALUE 2 HKLM 32
  !insertmacro POINT_RUN_VALUE 3 HKLM 64

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
