; The Windows installer of Quillomat, built with NSIS by tools/dist.sh.
; Installs for all users into Program Files (it asks for administrator rights
; itself, and the update starts it elevated, so a per-user install would land
; in the administrator's profile), adds a Start menu shortcut and registers an
; uninstaller where Windows lists programs. /S installs and uninstalls silently.
Unicode true
; A 64-bit installer for a 64-bit program.
Target amd64-unicode
SetCompressor /SOLID lzma
SetDateSave off  ; no file times in the package: the same sources give the same installer
RequestExecutionLevel admin

!ifndef VERSION
  !error "VERSION must be defined"
!endif
!ifndef PROGRAM
  !error "PROGRAM (the built Quillomat.exe) must be defined"
!endif
!ifndef OUTFILE
  !define OUTFILE "Quillomat-Setup.exe"
!endif

!define PRODUCT "Quillomat"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillomat"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "Software\${PRODUCT}" "InstallDir"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"

; The 64-bit registry and the all-users folders, for the installer and the
; uninstaller alike.
!macro ForAllUsers
  SetRegView 64
  SetShellVarContext all
!macroend
Function .onInit
  !insertmacro ForAllUsers
FunctionEnd
Function un.onInit
  !insertmacro ForAllUsers
FunctionEnd

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Quillomat"
  SetOutPath "$INSTDIR"
  File "/oname=Quillomat.exe" "${PROGRAM}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Quillomat.exe"
  WriteRegStr HKLM "Software\${PRODUCT}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quillomat.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  Delete "$INSTDIR\Quillomat.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\${PRODUCT}"
  ; The program's own settings (the acknowledged update, kept per user) go
  ; with it for the user who removes it; the recordings in the user's
  ; Pictures folder are the user's and stay.
  DeleteRegKey HKCU "Software\${PRODUCT}"
SectionEnd
