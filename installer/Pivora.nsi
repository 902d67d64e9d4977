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

; A library some program has loaded (the file manager keeps a shell extension loaded once it
; has used it) can be renamed, but not written over or deleted. So the library installed before
; is set aside under a name of ours in the same folder, the new one written beside it, and the
; one set aside deleted once the new one is registered: at once, or when Windows next starts if
; it is still loaded. Set aside first in any case, so a failed upgrade can put it back intact.
!define ASIDE_LIMIT 20

; Exit codes (the installer's and the uninstaller's): 0 done; 3010 done, and a restart of
; Windows completes it (as Windows Installer reports it); 2 a file could not be written;
; 3 registering or unregistering failed, and what was installed before stays.
!define EXIT_RESTART_REQUIRED 3010

; SetAside: moves $INSTDIR\Pivora.dll to the first free name Pivora.dll.<n>.old and leaves that
; path in $R9 ("" when there was no library to set aside); sets the error flag on failure.
Function SetAside
  StrCpy $R9 ""
  ClearErrors
  IfFileExists "$INSTDIR\Pivora.dll" 0 done
  StrCpy $R8 0
next:
  IntOp $R8 $R8 + 1
  ; Every name taken: each holds a library still loaded since an earlier upgrade.
  IntCmp $R8 ${ASIDE_LIMIT} 0 0 full
  IfFileExists "$INSTDIR\Pivora.dll.$R8.old" next
  Rename "$INSTDIR\Pivora.dll" "$INSTDIR\Pivora.dll.$R8.old"
  IfErrors done
  StrCpy $R9 "$INSTDIR\Pivora.dll.$R8.old"
  Goto done
full:
  SetErrors
done:
FunctionEnd

; PutBack: undoes SetAside after the new library was removed again.
Function PutBack
  StrCmp $R9 "" done
  ClearErrors
  Rename "$R9" "$INSTDIR\Pivora.dll"
  IfErrors 0 done
  DetailPrint "Could not put $R9 back as $INSTDIR\Pivora.dll"
done:
FunctionEnd

Section "Pivora" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  ; Libraries set aside by earlier upgrades go now if nothing holds them any more; one still
  ; loaded stays, already to be deleted when Windows starts.
  Delete "$INSTDIR\Pivora.dll.*.old"
  Call SetAside
  IfErrors 0 +4
    DetailPrint "Could not rename $INSTDIR\Pivora.dll to set it aside"
    SetErrorLevel 2
    Abort
  SetOverwrite on
  ClearErrors
  File "/oname=Pivora.dll" "${PIVORA_DLL}"
  IfErrors 0 +6
    DetailPrint "Could not write $INSTDIR\Pivora.dll"
    Delete "$INSTDIR\Pivora.dll"
    Call PutBack
    SetErrorLevel 2
    Abort

  ; regsvr32 rather than RegDLL: its exit code says whether DllRegisterServer succeeded.
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Pivora.dll"' $0
  IfErrors registerFailed
  StrCmp $0 "0" registered registerFailed
registerFailed:
  DetailPrint "Registering $INSTDIR\Pivora.dll failed (regsvr32 exit code $0)"
  ; Leave nothing half-installed behind: the new library goes, and an upgrade's earlier library
  ; comes back with its own registration, its uninstaller and entry untouched.
  ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Pivora.dll"'
  Delete "$INSTDIR\Pivora.dll"
  StrCmp $R9 "" 0 putBack
  RMDir "$INSTDIR"
  Goto failed
putBack:
  Call PutBack
  ClearErrors
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Pivora.dll"' $0
  IfErrors +2
  StrCmp $0 "0" failed
  DetailPrint "Registering the earlier $INSTDIR\Pivora.dll again failed (regsvr32 exit code $0)"
failed:
  SetErrorLevel 3
  Abort "Registering Pivora.dll failed."
registered:
  StrCmp $R9 "" +2
  Delete /REBOOTOK "$R9"

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

  IfRebootFlag 0 done
  DetailPrint "The earlier Pivora.dll is in use; it is deleted when Windows next starts."
  MessageBox MB_OK|MB_ICONINFORMATION "Pivora is installed. The earlier version is still in use \
    by a program such as the file manager: that program uses the new version once it or \
    Windows restarts, and the earlier file is deleted when Windows next starts." /SD IDOK
  SetErrorLevel ${EXIT_RESTART_REQUIRED}
done:
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

  ; Unregistered, the library is no longer used by new processes; one a program still has loaded
  ; is deleted when Windows next starts, and so is the folder then.
  Delete /REBOOTOK "$INSTDIR\Pivora.dll"
  ; Libraries set aside by upgrades: one still loaded was already scheduled then.
  Delete "$INSTDIR\Pivora.dll.*.old"
  IfFileExists "$INSTDIR\Pivora.dll.*.old" 0 +2
  SetRebootFlag true
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  IfRebootFlag 0 +3
  IfFileExists "$INSTDIR\*.*" 0 +2
  RMDir /REBOOTOK "$INSTDIR"
  ; Gone or going at the next start: either way Pivora is no longer installed.
  DeleteRegKey HKLM "${UNINSTALL_KEY}"

  IfRebootFlag 0 done
  DetailPrint "Pivora.dll is in use; it is deleted when Windows next starts."
  MessageBox MB_OK|MB_ICONINFORMATION "Pivora is removed. Its library is still in use by a \
    program such as the file manager; restart Windows to complete the removal." /SD IDOK
  SetErrorLevel ${EXIT_RESTART_REQUIRED}
done:
SectionEnd
