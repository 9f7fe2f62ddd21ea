; The Windows installer, made by scripts/windows/make_packages.sh with Debian's makensis from the folder
; `cmake --install` made:
;   makensis -DVERSION=1.6 -DSOURCE=<folder> -DFILES=<files.nsh> -DICON=<.ico> -DSIZE_KB=<n> -DOUTFILE=<setup.exe> lectern.nsi
; Per user, without administrator rights: the program goes to %LOCALAPPDATA%\Programs\Lectern, a Start-menu
; entry with the program's Japanese name, and an uninstaller listed under Apps & features (HKCU). The uninstaller
; removes exactly the files installed (FILES lists them) and leaves the user's settings (%APPDATA%\Lectern) and
; count and record (%LOCALAPPDATA%\Lectern). Both are silent with /S.
; A 64-bit installer for a 64-bit program; it also runs where Wine has no 32-bit side.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include "MUI2.nsh"

!define PRODUCT "Lectern"
!define MENU_NAME "Lectern 講演タイマー"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Lectern"

Name "${MENU_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Lectern"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1041 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1041 "FileDescription" "${MENU_NAME} セットアップ"
VIAddVersionKey /LANG=1041 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1041 "LegalCopyright" "2026 The Lectern developers"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\Lectern.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

Section "Lectern"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${SOURCE}/*"
    ; The program keeps its settings per user when this file lies beside it, as an installed program should.
    FileOpen $0 "$INSTDIR\Lectern.installed" w
    FileWrite $0 "Installed by the Lectern installer: settings are kept in %APPDATA%\Lectern.$\r$\n"
    FileClose $0
    WriteUninstaller "$INSTDIR\Uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${MENU_NAME}.lnk" "$INSTDIR\Lectern.exe" "" "$INSTDIR\Lectern.exe" 0

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${MENU_NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "The Lectern developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Lectern.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    Delete "$SMPROGRAMS\${MENU_NAME}.lnk"
    !include "${FILES}"
    Delete "$INSTDIR\Lectern.installed"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
