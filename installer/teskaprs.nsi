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

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks every running copy of Teskaprs to close (its main window gets
; WM_CLOSE, which ends the program) and waits until it has ended: its
; window is gone, its single-instance lock released and its program file
; free. Stops the setup with a clear message when it does not close in time;
; a silent run ends with exit code 2.
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
      MessageBox MB_OK|MB_ICONSTOP "Teskaprs is still running and did not close.$\r$\n$\r$\nClose Teskaprs, then run this program again." /SD IDOK
      SetErrorLevel 2
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
; pages offers it on the last page.)
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $ClosedRunningCopy == 1
    Exec '"$INSTDIR\${EXE}"'
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext current
FunctionEnd

Section "Teskaprs" SectionProgram
  SectionIn RO
  Call CloseRunningCopy

  ; Only the program and the uninstaller: aprsconfig.txt beside them and the
  ; settings in the registry are the user's and stay as they are.
  SetOutPath "$INSTDIR"
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
