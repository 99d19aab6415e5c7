#!/bin/sh
# Checks what a user's clean Windows needs to run a shipped program: it
# imports Windows system DLLs only (no libstdc++, libgcc or winpthread DLL),
# and the setup tool stays a small download (the launcher's size is mostly
# its eight icon images).
# Usage: check_binaries.sh OBJDUMP EXE [EXE...]
set -u
objdump=$1
shift
status=0
for exe in "$@"; do
    name=$(basename "$exe")
    imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    for dll in $imports; do
        case "$dll" in
        kernel32.dll|user32.dll|advapi32.dll|setupapi.dll|msvcrt.dll|gdi32.dll) ;;
        *) echo "FAIL: $name imports $dll"; status=1 ;;
        esac
    done
    size=$(stat -c %s "$exe")
    if [ "$name" = Pinwheel.exe ] && [ "$size" -gt 102400 ]; then
        echo "FAIL: $name is $size bytes, over 100 KB"
        status=1
    fi
    echo "$name: $size bytes, imports:" $imports
done
exit $status
