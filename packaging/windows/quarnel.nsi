; The Windows setup: the programs, the library, its header and import library,
; the README and the licence under Program Files\quarnel, a Start-menu entry for
; packgui, and an uninstaller listed under Add/Remove Programs.
;   makensis -DVERSION=1.0 -DSTAGE=<folder of the files> -DICON=<.ico> -DOUTFILE=<setup.exe> quarnel.nsi
; The setup takes /S (silent) and /D=<folder> (last and unquoted, as NSIS wants it).

; 64-bit stub: the programs are 64-bit, and a 64-bit-only Wine runs no 32-bit setup.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\quarnel"
!define MENU_FOLDER "$SMPROGRAMS\quarnel"

Name "quarnel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\quarnel"
BrandingText "quarnel ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\packgui.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "quarnel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "quarnel ${VERSION} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright 2026 the quarnel developers"

; The 64-bit registry and the Start menu of all users, as for a program under Program Files.
Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "quarnel"
  SetOutPath "$INSTDIR"
  File "${STAGE}\packgui.exe"
  File "${STAGE}\packcli.exe"
  File "${STAGE}\packcheck.exe"
  File "${STAGE}\packsign.exe"
  File "${STAGE}\lodconvert.exe"
  File "${STAGE}\libquarnel.dll"
  File "${STAGE}\README.txt"
  File "${STAGE}\COPYRIGHT.txt"
  SetOutPath "$INSTDIR\include"
  File "${STAGE}\include\quarnel.h"
  SetOutPath "$INSTDIR\lib"
  File "${STAGE}\lib\libquarnel.dll.a"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The shortcut starts packgui in the installation folder.
  SetOutPath "$INSTDIR"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\packgui.lnk" "$INSTDIR\packgui.exe" "" "$INSTDIR\packgui.exe" 0 \
    SW_SHOWNORMAL "" "Create FOTA packs"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "quarnel ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "the quarnel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\packgui.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what the setup wrote, file by file. Folders go only when empty, so a
; projects.ini a user keeps beside packgui, and the folder holding it, stay.
Section "Uninstall"
  Delete "$INSTDIR\packgui.exe"
  Delete "$INSTDIR\packcli.exe"
  Delete "$INSTDIR\packcheck.exe"
  Delete "$INSTDIR\packsign.exe"
  Delete "$INSTDIR\lodconvert.exe"
  Delete "$INSTDIR\libquarnel.dll"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\COPYRIGHT.txt"
  Delete "$INSTDIR\include\quarnel.h"
  RMDir "$INSTDIR\include"
  Delete "$INSTDIR\lib\libquarnel.dll.a"
  RMDir "$INSTDIR\lib"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\packgui.lnk"
  RMDir "${MENU_FOLDER}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
