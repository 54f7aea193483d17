; Vannor's Windows installer (Debian's makensis builds it here).
;
;   makensis -DVERSION=1.0.0.1 -DDIST=<folder with vannor.exe and README-windows.txt>
;            -DICON=<vannor.ico> -DOUTFILE=<installer.exe> packaging/windows/vannor.nsi
;
; Per-machine (Program Files, all users' Start menu) when run by an administrator, per-user
; (%LOCALAPPDATA%\Programs, the user's Start menu, no administrator rights) otherwise; the first
; page lets the user choose, and /AllUsers or /CurrentUser choose on the command line. /S installs
; and uninstalls silently. The uninstaller appears in Windows' list of installed programs.

Unicode true
SetCompressor /SOLID lzma

!ifndef VERSION | DIST | ICON | OUTFILE
  !error "define VERSION, DIST, ICON and OUTFILE (see the top of this file)"
!endif

!define PRODUCT "Vannor"
!define PUBLISHER "Vannor developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} installer"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
; A new version installs where the previous one is, for the same users.
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${SETTINGS_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\vannor.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README-windows.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${DIST}\vannor.exe"
  File "${DIST}\vannor-cli.exe"
  File "${DIST}\README-windows.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; A single entry directly in the Start menu's program list, as current Windows shows them.
  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vannor.exe" "" "$INSTDIR\vannor.exe" 0
  ; A command prompt where vannor-cli runs by name. The user's PATH is left alone: an installer
  ; that rewrites it can cut a long one short.
  CreateShortCut "$SMPROGRAMS\${PRODUCT} command prompt.lnk" "$SYSDIR\cmd.exe" \
    '/k set "PATH=$INSTDIR;%PATH%"' "$INSTDIR\vannor.exe" 0

  ; SHCTX is HKLM for a per-machine and HKCU for a per-user installation.
  WriteRegStr SHCTX "${SETTINGS_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vannor.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" \
    '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT} command prompt.lnk"
  Delete "$INSTDIR\vannor.exe"
  Delete "$INSTDIR\vannor-cli.exe"
  Delete "$INSTDIR\README-windows.txt"
  Delete "$INSTDIR\uninstall.exe"
  ; Only an empty folder goes: files the user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  DeleteRegKey SHCTX "${SETTINGS_KEY}"
SectionEnd
