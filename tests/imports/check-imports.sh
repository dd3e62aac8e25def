#!/usr/bin/env bash
# Fails when a binary imports a DLL other than Windows' own (the runtimes must be static).
# usage: check-imports.sh OBJDUMP FILE...
set -euo pipefail
objdump=$1
shift
allowed='^(kernel32|user32|gdi32|advapi32|crypt32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|msvcrt|ntdll|ws2_32|version|bcrypt|rpcrt4|uxtheme|imm32|winmm|secur32|api-ms-win-[a-z0-9-]+)\.dll$'
status=0
for f in "$@"; do
    dlls=$("$objdump" -p "$f" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
    echo "$(basename "$f"): $(echo $dlls)"
    for d in $dlls; do
        if ! [[ $d =~ $allowed ]]; then
            echo "  not a system library: $d" >&2
            status=1
        fi
    done
done
exit $status
