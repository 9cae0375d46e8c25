; The counter terminal's installer for 32-bit Windows. Built by build-installer.sh,
; which defines VERSION, SETTINGS (the settings template in code page 949),
; JOURNAL_DIR (the folder of the journal the settings name), INSTALL_FILES and
; UNINSTALL_FILES (the program folder's files) and OUTFILE.
;   vek-terminal-setup.exe [/S] [/AUTOSTART] [/D=FOLDER]
; Exit codes: 0 installed, 1 cancelled, 2 failed (a program running, a file that
; could not be written, a Windows older than 10).
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinVer.nsh"

!define PRODUCT "VEK Terminal"
!define REG_PRODUCT "Software\${PRODUCT}"
!define REG_UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "VEK 단말기.lnk"
!define UNINSTALL_SHORTCUT "VEK 단말기 제거.lnk"

Name "VEK 단말기"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the last install went.
InstallDirRegKey HKLM "${REG_PRODUCT}" "InstallDir"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Korean"

; No copyright line is claimed in the version information.
!pragma warning disable 9100
VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileDescription" "VEK 단말기 설치"

; A running program's file cannot be replaced or removed: going on would leave the
; folder half one version and half another, or a terminal without its files.
!macro RequireClosed FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ${Do}
      ClearErrors
      FileOpen $0 "$INSTDIR\${FILE}" a
      ${IfNot} ${Errors}
        FileClose $0
        ${ExitDo}
      ${EndIf}
      ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${FILE}이(가) 실행 중입니다. 프로그램을 종료한 뒤 다시 시도하십시오." /SD IDCANCEL IDRETRY`
        DetailPrint "${FILE} is running: nothing was changed."
        SetErrorLevel 2
        Abort
      ${EndIf}
    ${Loop}
  ${EndIf}
!macroend

Section "VEK 단말기" SecProgram
  SectionIn RO
  !insertmacro RequireClosed "AP_VEK.exe"
  !insertmacro RequireClosed "vek.exe"
  ClearErrors
  SetOutPath "$INSTDIR"
  !include "${INSTALL_FILES}"
  ${If} ${Errors}
    DetailPrint "Some program files could not be written to $INSTDIR."
    SetErrorLevel 2
    Abort
  ${EndIf}

  ; The merchant's settings are theirs: written only where there are none.
  SetOverwrite off
  File "/oname=VEK_Demo.ini" "${SETTINGS}"
  SetOverwrite on

  ClearErrors
  CreateDirectory "${JOURNAL_DIR}"
  ${If} ${Errors}
    DetailPrint "The journal's folder ${JOURNAL_DIR} could not be created."
    SetErrorLevel 2
    Abort
  ${EndIf}
  ; Any user of the counter writes the journal, also one a different user started
  ; (BUILTIN\Users by its SID, named alike in every language).
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" "${JOURNAL_DIR}" /grant *S-1-5-32-545:(OI)(CI)M'
  Pop $0
  ${If} $0 != 0
    DetailPrint "Warning: users were not given write access to ${JOURNAL_DIR} ($0)."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The program loads .\VEKDLL.dll from its current folder: every shortcut starts it
  ; in the install folder (CreateShortCut takes the output folder).
  SetOutPath "$INSTDIR"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${SHORTCUT}" "$INSTDIR\AP_VEK.exe"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${UNINSTALL_SHORTCUT}" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${REG_PRODUCT}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayName" "VEK 단말기"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${REG_UNINSTALL}" "DisplayIcon" "$INSTDIR\AP_VEK.exe"
  WriteRegStr HKLM "${REG_UNINSTALL}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${REG_UNINSTALL}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${REG_UNINSTALL}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${REG_UNINSTALL}" "NoModify" 1
  WriteRegDWORD HKLM "${REG_UNINSTALL}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${REG_UNINSTALL}" "EstimatedSize" $0
SectionEnd

Section /o "로그온 시 자동 시작" SecAutostart
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMSTARTUP\${SHORTCUT}" "$INSTDIR\AP_VEK.exe"
SectionEnd

; Deselected at an upgrade: the log-on start goes.
Section "-"
  ${IfNot} ${SectionIsSelected} ${SecAutostart}
    Delete "$SMSTARTUP\${SHORTCUT}"
  ${EndIf}
SectionEnd

Function .onInit
  ; The programs need Windows 10 or later (Qt's libraries do; their manifests say
  ; so): on an older system nothing is installed.
  ${IfNot} ${AtLeastWin10}
    MessageBox MB_OK|MB_ICONSTOP "VEK 단말기는 Windows 10 이상에서 실행됩니다. 이 컴퓨터에는 설치할 수 없습니다." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  SetShellVarContext all
  ; The log-on start is kept at an upgrade and chosen with /AUTOSTART.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
  ${OrIf} ${FileExists} "$SMSTARTUP\${SHORTCUT}"
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

; Sets the error flag when the file is still there: a removal that failed is not
; always reported as one (Wine's, for one, happens only when the file is closed).
!macro RemoveProgramFile FILE
  Delete "$INSTDIR\${FILE}"
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    SetErrors
  ${EndIf}
!macroend

; Keeps what is the merchant's: the settings, the payment module VEKDLL.dll and the
; journal (the folder stays while they are in it).
Section "Uninstall"
  !insertmacro RequireClosed "AP_VEK.exe"
  !insertmacro RequireClosed "vek.exe"
  ClearErrors
  !include "${UNINSTALL_FILES}"
  ${If} ${Errors}
    ; The shortcuts and the uninstall entry stay, so the removal can be run again.
    DetailPrint "Some program files in $INSTDIR could not be removed."
    SetErrorLevel 2
    Abort
  ${EndIf}
  Delete "$SMSTARTUP\${SHORTCUT}"
  Delete "$SMPROGRAMS\${PRODUCT}\${SHORTCUT}"
  Delete "$SMPROGRAMS\${PRODUCT}\${UNINSTALL_SHORTCUT}"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${REG_UNINSTALL}"
  DeleteRegKey HKLM "${REG_PRODUCT}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
