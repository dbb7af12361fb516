#!/bin/sh
# Usage: check_exports.sh Inivault.dll
set -eu
dll=$1
objdump=${OBJDUMP:?set OBJDUMP to the objdump for the architecture of the DLL}
expected="ClearINIFile Delete_Sektion Delete_Value FC FD GetNumberofINIKeys GetNumberofINIValues GetValueInteger GetValueString ReadINIFile SCr SDe SetValueInteger SetValueString WriteINIFile"
# The name table follows "[Ordinal/Name Pointer] Table" and lists "[n] Name" lines.
actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "export names differ"
  echo "expected: $expected"
  echo "actual:   $actual"
  exit 1
fi
echo "exports ok: $actual"
