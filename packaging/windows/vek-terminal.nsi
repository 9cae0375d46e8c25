; The counter terminal's installer for 32-bit Windows. Built by build-installer.sh,
; which defines VERSION, SETTINGS (the settings template in code page 949),
; SETUP_TOOL (vek-setup.exe, run during the install), INSTALL_FILES and
; UNINSTALL_FILES (the program folder's files) and OUTFILE.
;   vek-terminal-setup.exe [/S] [/AUTOSTART] [/OPERATORS=USER,...] [/D=FOLDER]
; /OPERATORS names users to add to the operators group besides the installing one.
; With a certificate, also SIGN: a command that signs the file it is given in place.
; Exit codes: 0 installed, 1 cancelled, 2 failed (a program running, a file that
; could not be written, access rules that could not be set, a folder name the
; system's code page can't hold, a Windows older than 10).
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "WinVer.nsh"

; The uninstaller and the installer signed as makensis writes them.
!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!define PRODUCT "VEK Terminal"
!define REG_PRODUCT "Software\${PRODUCT}"
!define REG_UNINSTALL "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "VEK 단말기.lnk"
!define UNINSTALL_SHORTCUT "VEK 단말기 제거.lnk"
; The journal's folder, in the common application-data folder (SetShellVarContext all).
!define STATE_DIR "$APPDATA\${PRODUCT}"

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
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
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

; Runs vek-setup.exe with ARGS; a failure ends the install with its message.
!macro Setup ARGS WHAT
  nsExec::ExecToLog '"$PLUGINSDIR\vek-setup.exe" ${ARGS}'
  Pop $0
  ${If} $0 != 0
    DetailPrint "${WHAT} ($0): nothing more was changed."
    MessageBox MB_OK|MB_ICONSTOP "${WHAT}" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
!macroend

; The programs take their folder's name through the system's ANSI code page
; (GetModuleFileNameA, LoadLibraryA): a character it lacks reaches them as "?", and
; they would find neither their settings nor the payment module. Sets the error flag
; when $INSTDIR has such a character; exact ones only, since a best-fit stand-in
; ("e" for "é") names another folder (WC_NO_BEST_FIT_CHARS).
!define CODEPAGE_REFUSAL "설치 폴더 이름에 이 시스템의 코드 페이지로 쓸 수 없는 문자가 있습니다:$\r$\n$INSTDIR$\r$\n프로그램이 설정과 결제 모듈을 찾지 못하므로 다른 폴더를 고르십시오."
Function CheckCodePage
  ClearErrors
  System::Call 'kernel32::GetACP() i .r0'
  ${If} $0 = 65001  ; UTF-8 holds every name
    Return
  ${EndIf}
  Push $INSTDIR
  System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w s, i -1, p 0, i 0, p 0, *i 0 r1) i .r0'
  ${If} $0 = 0
  ${OrIf} $1 <> 0
    SetErrors
  ${EndIf}
FunctionEnd

Function DirectoryLeave
  Call CheckCodePage
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONEXCLAMATION "${CODEPAGE_REFUSAL}"
    Abort
  ${EndIf}
FunctionEnd

Section "VEK 단말기" SecProgram
  SectionIn RO
  ; Also for a silent install (/D=), which shows no folder page.
  Call CheckCodePage
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "${CODEPAGE_REFUSAL}" /SD IDOK
    DetailPrint "$INSTDIR has a character the system's code page lacks: nothing was installed."
    SetErrorLevel 2
    Abort
  ${EndIf}
  !insertmacro RequireClosed "AP_VEK.exe"
  !insertmacro RequireClosed "vek.exe"
  InitPluginsDir
  File "/oname=$PLUGINSDIR\vek-setup.exe" "${SETUP_TOOL}"
  ; The journal holds every voucher and card number: only SYSTEM, the administrators
  ; and the counter's operators may open it. Checked before anything is written.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/OPERATORS=" $R1
  ${If} ${Errors}
    StrCpy $R1 ""
  ${EndIf}
  ; Each name quoted: a name may hold blanks ("POS User").
  ${If} $R1 != ""
    ${WordReplace} $R1 "," '" "' "+" $R1
    StrCpy $R1 '"$R1"'
  ${EndIf}
  !insertmacro Setup "operators $R1" "운영자 그룹(VEK Operators)을 만들 수 없습니다."
  !insertmacro Setup '"state-folder" "${STATE_DIR}"' "저널 폴더(${STATE_DIR})를 안전하게 만들 수 없습니다."
  ClearErrors
  SetOutPath "$INSTDIR"
  !insertmacro Setup '"program-folder" "$INSTDIR"' "프로그램 폴더($INSTDIR)의 권한을 설정할 수 없습니다."
  ClearErrors
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
