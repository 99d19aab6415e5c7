#!/bin/sh
# Checks what a user's clean Windows needs to run a shipped program: it
# imports Windows system DLLs only (no libstdc++, libgcc or winpthread DLL),
# and the setup tool stays a small download (the launcher's size is mostly
# its eight icon images). The setup tool does not import the user interface:
# it loads user32 only when it shows a box.
# Usage: check_binaries.sh OBJDUMP EXE [EXE...]
set -u
objdump=$1
shift
status=0

# The DLLs each program may import.
allowed_imports() {
    case "$1" in
    Pinwheel.exe) echo "kernel32.dll advapi32.dll setupapi.dll msvcrt.dll" ;;
    # The custom-action library runs inside Windows Installer.
    PinwheelMsi.dll) echo "kernel32.dll msvcrt.dll msi.dll" ;;
    *) echo "kernel32.dll user32.dll advapi32.dll setupapi.dll msvcrt.dll gdi32.dll" ;;
    esac
}

# The most bytes each program may take; 0 for no bound.
size_limit() {
    case "$1" in
    Pinwheel.exe) echo 49152 ;;
    PinwheelMsi.dll) echo 102400 ;;
    *) echo 0 ;;
    esac
}

for exe in "$@"; do
    name=$(basename "$exe")
    imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    allowed=$(allowed_imports "$name")
    for dll in $imports; do
        case " $allowed " in
        *" $dll "*) ;;
        *) echo "FAIL: $name imports $dll"; status=1 ;;
        esac
    done
    size=$(stat -c %s "$exe")
    limit=$(size_limit "$name")
    if [ "$limit" -gt 0 ] && [ "$size" -gt "$limit" ]; then
        echo "FAIL: $name is $size bytes, over $((limit / 1024)) KB"
        status=1
    fi
    echo "$name: $size bytes, imports:" $imports
done
exit $status
