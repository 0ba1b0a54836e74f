; The Windows installer: Guizzolo-VERSION-setup.exe, a 64-bit NSIS installer.
;
; Per machine, into Program Files\Guizzolo, and only elevated: one program
; folder for every user of the machine, read-only for them, so each user's
; hunger value goes to the per-user place Windows' file virtualization uses
; (where Windows redirected a write into the program folder that the user's
; rights refused, so a value written there before is found again).
;
; makensis -DVERSION=1.00 -DPUBLISHER=... -DHOMEPAGE=... -DSTAGE=DIR
;          -DICON=FILE -DOUTFILE=FILE guizzolo.nsi
; STAGE holds NuvoNuvo.exe, Sound.wav .. Sound4.wav, LEGGIMI.txt, README.txt.
; /S installs and uninstalls silently; /D=DIR (last) picks another folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define NAME "Guizzolo"
!define EXE "NuvoNuvo.exe"
!define UNINSTALLER "Uninstall.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Guizzolo"

Name "${NAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=0 "ProductName" "${NAME}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${NAME} ${VERSION} setup"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The finish page starts the program through the shell, with the user's
; own rights: started from the elevated installer it could write its Ph.ini
; into Program Files, where no later, normal run could write it.
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(run)"
!define MUI_FINISHPAGE_RUN_FUNCTION RunAsUser
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\$(readme)"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; Italian first: the program speaks Italian; English where the system does.
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "English"
LangString run ${LANG_ITALIAN} "Avvia ${NAME}"
LangString run ${LANG_ENGLISH} "Run ${NAME}"
LangString readme ${LANG_ITALIAN} "LEGGIMI.txt"
LangString readme ${LANG_ENGLISH} "README.txt"
LangString needs_admin ${LANG_ITALIAN} "Per installare ${NAME} servono i diritti di amministratore."
LangString needs_admin ${LANG_ENGLISH} "Installing ${NAME} needs administrator rights."

!macro NeedAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    IfSilent +2
    MessageBox MB_ICONSTOP|MB_OK "$(needs_admin)"
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

Function RunAsUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\${EXE}"'
FunctionEnd

Function .onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro NeedAdmin
FunctionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  !insertmacro NeedAdmin
FunctionEnd

Section "${NAME}"
  SetOutPath "$INSTDIR"
  File "${STAGE}/${EXE}"
  File "${STAGE}/Sound.wav"
  File "${STAGE}/Sound2.wav"
  File "${STAGE}/Sound3.wav"
  File "${STAGE}/Sound4.wav"
  File "${STAGE}/LEGGIMI.txt"
  File "${STAGE}/README.txt"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The shortcut starts the program in its own folder.
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOMEPAGE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\${EXE}$\",0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\${UNINSTALLER}$\""
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\${UNINSTALLER}$\" /S"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

; Only what the installer put there. The user's Ph.ini (here, written by a
; run with write access, or in the user's VirtualStore) stays, and with it
; the folder.
Section "Uninstall"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\${EXE}"
  Delete "$INSTDIR\Sound.wav"
  Delete "$INSTDIR\Sound2.wav"
  Delete "$INSTDIR\Sound3.wav"
  Delete "$INSTDIR\Sound4.wav"
  Delete "$INSTDIR\LEGGIMI.txt"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
