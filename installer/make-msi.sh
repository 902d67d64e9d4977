#!/usr/bin/env bash
# Builds the Windows Installer package: make-msi.sh PIVORA_DLL VERSION OUTPUT_MSI
# wixl lays out the product; msibuild adds what wixl has no element for:
# - the SelfReg table naming the library, with SelfUnregModules before RemoveFiles and
#   SelfRegModules after InstallFiles, so msiexec calls DllRegisterServer and
#   DllUnregisterServer exactly as regsvr32 does;
# - a deferred check right after SelfRegModules that the registration's last entry (the
#   extension's approval) is in place: some installers carry on when a module fails to
#   register, and a half-registered extension must fail the installation instead. Its rollback
#   partner, scheduled before SelfRegModules, lets the library unregister again, and Windows
#   Installer removes the file.
set -euo pipefail
dll=$1
version=$2
output=$3
here=$(cd "$(dirname "$0")" && pwd)
clsid='{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}'
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# wixl takes sources relative to the folder of the .wxs file.
cp "$here/Pivora.wxs" "$stage/"
cp "$dll" "$stage/Pivora.dll"
(cd "$stage" && wixl -a x64 -D Version="$version" -D Dll=Pivora.dll -o package.msi Pivora.wxs)

sql() { msibuild "$stage/package.msi" -q "$1"; }
sql 'CREATE TABLE `SelfReg` (`File_` CHAR(72) NOT NULL, `Cost` SHORT PRIMARY KEY `File_`)'
sql "INSERT INTO \`SelfReg\` (\`File_\`, \`Cost\`) VALUES ('PivoraDll', 0)"
sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfUnregModules', 2200)"
sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfRegModules', 6500)"

# Custom action types: 34 runs a program from a folder; +1024 deferred (in the script);
# +2048 with the installer's own rights; +256 only on rollback; +64 its exit code is ignored.
undo_type=$((34 + 256 + 1024 + 2048 + 64))
check_type=$((34 + 1024 + 2048))
sql "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('UndoRegistration', $undo_type, 'INSTALLDIR', '\"[System64Folder]regsvr32.exe\" /s /u \"[#PivoraDll]\"')"
sql "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('CheckRegistration', $check_type, 'INSTALLDIR', '\"[System64Folder]reg.exe\" query \"$approved\" /v $clsid')"
sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('UndoRegistration', 'NOT REMOVE~=\"ALL\"', 6499)"
sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('CheckRegistration', 'NOT REMOVE~=\"ALL\"', 6501)"

mv "$stage/package.msi" "$output"
