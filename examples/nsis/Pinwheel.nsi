; An NSIS installer that installs the demo driver package with Pinwheel.exe
; and removes it again with its uninstaller.
;
;   makensis -DTOOL=<Pinwheel.exe> -DPACKAGE_DIR=<folder with PinwheelDemo.inf
;            and PinwheelDemo.sys> -DOUT_FILE=<PinwheelSetup.exe> Pinwheel.nsi
;
; TOOL may name a file of any name: it is installed as Pinwheel.exe.
;
; Silent use:  PinwheelSetup.exe /S [/D=<folder>]
;              <folder>\Uninstall.exe /S _?=<folder>
; (_?= must be the last argument and is not quoted even with spaces; it makes
; the uninstaller run in place and wait, instead of returning at once while a
; copy of it runs from the temporary folder. Run that way it cannot delete
; itself.)
;
; Exit codes of the installer and of the uninstaller:
;   0     done
;   3010  done; the computer must be restarted (the tool returned 1)
;   2     the install failed (the tool returned 2 or 3, or did not start);
;         a message says so, answered by itself in silent mode
;   1     cancelled by the user

Unicode true
; A 64-bit installer: the driver package is 64-bit, and a 64-bit installer
; sees the real system folder and registry without redirection.
Target amd64-unicode

!include LogicLib.nsh

!ifndef TOOL
  !error "define TOOL, the Pinwheel.exe to install"
!endif
!ifndef PACKAGE_DIR
  !error "define PACKAGE_DIR, the folder holding PinwheelDemo.inf and PinwheelDemo.sys"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "PinwheelSetup.exe"
!endif

!define HARDWARE_ID "ROOT\PinwheelDemo"
!define SERVICE "PinwheelDemo"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\PinwheelDemo"

Name "Pinwheel demo driver"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Pinwheel"
; Pinwheel.exe requires administrator rights; ask for them once, up front.
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Demo driver"
  SetOutPath "$INSTDIR"
  File "/oname=Pinwheel.exe" "${TOOL}"
  File "${PACKAGE_DIR}/PinwheelDemo.inf"
  File "${PACKAGE_DIR}/PinwheelDemo.sys"

  ; The uninstaller is written before the tool runs: if the install fails
  ; after the tool created the device node, the tool's own advice is to
  ; uninstall, and the uninstaller is what does that.
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pinwheel demo driver"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pinwheel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; /quiet: the tool shows no box of its own; this installer decides what
  ; the user sees, and in silent mode nothing waits for a click.
  DetailPrint "Installing the driver..."
  StrCpy $0 ""
  ClearErrors
  ExecWait '"$INSTDIR\Pinwheel.exe" install ${HARDWARE_ID} "$INSTDIR\PinwheelDemo.inf" /quiet' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  DetailPrint "Pinwheel.exe install: exit code $0"

  ${If} $0 == 0
    ; Done (also when the device was already present).
  ${ElseIf} $0 == 1
    SetRebootFlag true
    SetErrorLevel 3010
  ${Else}
    ; 2: the install failed; 3: this script's command line is wrong; or the
    ; tool did not start. The files and the uninstaller stay so that the user
    ; can uninstall as the message says; Detail.log beside the tool names the
    ; failing call. Abort ends the installer with exit code 2.
    MessageBox MB_OK|MB_ICONSTOP "The driver could not be installed (Pinwheel.exe: $0). \
        See $INSTDIR\Detail.log, uninstall this software, restart the computer \
        and run setup again." /SD IDOK
    Abort "The driver could not be installed."
  ${EndIf}
SectionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    MessageBox MB_YESNO|MB_ICONQUESTION "The computer must be restarted to finish \
        installing the driver. Restart now?" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The current folder (the tool's too, as ExecWait starts it there) cannot
  ; be removed: out of the program folder, so that RMDir below can.
  SetOutPath "$TEMP"
  DetailPrint "Removing the driver..."
  StrCpy $0 ""
  ClearErrors
  ExecWait '"$INSTDIR\Pinwheel.exe" uninstall ${HARDWARE_ID} ${SERVICE} /quiet' $0
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
  DetailPrint "Pinwheel.exe uninstall: exit code $0"

  ${If} $0 == 0
  ${ElseIf} $0 == 1
    SetRebootFlag true
    SetErrorLevel 3010
  ${Else}
    ; The device could not be removed (2), or the tool did not run. The
    ; tool disables the service whatever happened to the device, so the
    ; driver does not start again; a device left behind is harmless without
    ; it. An uninstaller that stopped here would leave a program nobody can
    ; remove, so it warns and goes on: the files must go.
    DetailPrint "Warning: the device could not be removed (Pinwheel.exe: $0)."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The driver's device could not be removed \
        (Pinwheel.exe: $0). Its service has been disabled; the device goes away \
        when it is removed in Device Manager." /SD IDOK
  ${EndIf}

  ; Detail.log is written by the tool beside itself, and Uninstall.exe
  ; cannot delete itself when run with _?=.
  Delete "$INSTDIR\Pinwheel.exe"
  Delete "$INSTDIR\PinwheelDemo.inf"
  Delete "$INSTDIR\PinwheelDemo.sys"
  Delete "$INSTDIR\Detail.log"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    MessageBox MB_YESNO|MB_ICONQUESTION "The computer must be restarted to finish \
        removing the driver. Restart now?" /SD IDNO IDNO +2
    Reboot
  ${EndIf}
FunctionEnd
