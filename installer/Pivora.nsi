; Installer for Pivora.dll: copies it to Program Files, registers it and leaves an uninstaller.
; Build: makensis -DPIVORA_DLL=<path to Pivora.dll> -DPIVORA_VERSION=<a.b.c.d>
;        -DOUTFILE=<path of the setup program> Pivora.nsi

Unicode true
; The library is 64-bit only, and a 32-bit installer would see the 32-bit registry and folders.
Target amd64-unicode

!ifndef PIVORA_DLL
  !error "Define PIVORA_DLL as the path of the built Pivora.dll (-DPIVORA_DLL=...)"
!endif
!ifndef OUTFILE
  !define OUTFILE "Pivora-setup.exe"
!endif
!ifndef PIVORA_VERSION
  !error "Define PIVORA_VERSION as the library's version (-DPIVORA_VERSION=2.0.0.1)"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivora"

Name "Pivora"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Pivora"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${PIVORA_VERSION}"
VIAddVersionKey "ProductName" "Pivora"
VIAddVersionKey "CompanyName" "Pivora contributors"
VIAddVersionKey "FileDescription" "Pivora setup"
VIAddVersionKey "FileVersion" "${PIVORA_VERSION}"
VIAddVersionKey "ProductVersion" "${PIVORA_VERSION}"
VIAddVersionKey "LegalCopyright" "Pivora contributors"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Pivora" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "/oname=Pivora.dll" "${PIVORA_DLL}"
  IfErrors 0 +4
    DetailPrint "Could not write $INSTDIR\Pivora.dll"
    SetErrorLevel 2
    Abort

  ; regsvr32 rather than RegDLL: its exit code says whether DllRegisterServer succeeded.
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Pivora.dll"' $0
  IfErrors registerFailed
  StrCmp $0 "0" registered registerFailed
registerFailed:
  DetailPrint "Registering $INSTDIR\Pivora.dll failed (regsvr32 exit code $0)"
  ; Leave nothing half-installed behind.
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Pivora.dll"'
  Delete "$INSTDIR\Pivora.dll"
  RMDir "$INSTDIR"
  SetErrorLevel 3
  Abort "Registering Pivora.dll failed."
registered:

  WriteUninstaller "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Pivora"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${PIVORA_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Pivora contributors"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Pivora.dll,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; A library that stays registered after its file is gone breaks the shell's menus: stop
  ; before deleting anything, so the uninstaller can be run again.
  IfFileExists "$INSTDIR\Pivora.dll" 0 unregistered
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Pivora.dll"' $0
  IfErrors unregisterFailed
  StrCmp $0 "0" unregistered unregisterFailed
unregisterFailed:
  DetailPrint "Unregistering $INSTDIR\Pivora.dll failed (regsvr32 exit code $0)"
  SetErrorLevel 3
  Abort "Unregistering Pivora.dll failed."
unregistered:

  Delete "$INSTDIR\Pivora.dll"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
