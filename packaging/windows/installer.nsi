; The installer for 64-bit Windows. scripts/package-windows runs
;   makensis -DPRODUCT=... -DPUBLISHER=... -DCOPYRIGHT=... -DVERSION=... -DVERSION4=...
;            -DUNINSTALL_KEY=... -DICON=dwnld.ico -DFILES=files.nsh -DUNFILES=unfiles.nsh
;            -DOUTFILE=setup.exe installer.nsi
; with the product's name, publisher, copyright, versions, the key under HKLM where Apps & features
; finds the program, and the icon as the build gives them (packaging/windows/CMakeLists.txt), and
; where files.nsh installs the program's folder file by file and unfiles.nsh removes the same files,
; so that the uninstaller deletes nothing else. /S installs (and uninstalls) silently.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\dwnld.exe"
; "Open with" for .hex and .ihx: a file type of its own listed under each extension's
; OpenWithProgids, and the program's entry under Applications. The extensions' default programs
; are left as they are.
!define PROGID "ZeltraIrDownloader.hex"
!define APPLICATION_KEY "Software\Classes\Applications\dwnld.exe"
!define SHCNE_ASSOCCHANGED 0x08000000

!include MUI2.nsh
!include FileFunc.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION4}"
VIFileVersion "${VERSION4}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${COPYRIGHT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    SetOutPath "$INSTDIR"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\dwnld.exe" "" "$INSTDIR\dwnld.exe" 0

    WriteRegStr HKLM "Software\Classes\${PROGID}" "" "Intel HEX file"
    WriteRegStr HKLM "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\dwnld.exe,0"
    WriteRegStr HKLM "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\dwnld.exe" "%1"'
    WriteRegStr HKLM "Software\Classes\.hex\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKLM "Software\Classes\.ihx\OpenWithProgids" "${PROGID}" ""
    WriteRegStr HKLM "${APPLICATION_KEY}" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKLM "${APPLICATION_KEY}\DefaultIcon" "" "$INSTDIR\dwnld.exe,0"
    WriteRegStr HKLM "${APPLICATION_KEY}\shell\open\command" "" '"$INSTDIR\dwnld.exe" "%1"'
    WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".hex" ""
    WriteRegStr HKLM "${APPLICATION_KEY}\SupportedTypes" ".ihx" ""
    ; "dwnld" in the Run box and from other programs.
    WriteRegStr HKLM "${APP_PATHS_KEY}" "" "$INSTDIR\dwnld.exe"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

    ; Apps & features.
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\dwnld.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the installer put there and nothing else: the users' settings
; (%LOCALAPPDATA%\${PRODUCT}\DWNLD.INI) stay.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"

    DeleteRegValue HKLM "Software\Classes\.hex\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.hex\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.hex"
    DeleteRegValue HKLM "Software\Classes\.ihx\OpenWithProgids" "${PROGID}"
    DeleteRegKey /ifempty HKLM "Software\Classes\.ihx\OpenWithProgids"
    DeleteRegKey /ifempty HKLM "Software\Classes\.ihx"
    DeleteRegKey HKLM "Software\Classes\${PROGID}"
    DeleteRegKey HKLM "${APPLICATION_KEY}"
    DeleteRegKey HKLM "${APP_PATHS_KEY}"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'

    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
