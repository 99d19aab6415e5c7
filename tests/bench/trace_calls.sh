#!/bin/sh
# Compares the Windows calls two programs make for one command line, as
# Wine's relay trace records them: every call from the program's own code
# into a system DLL, in order, except the C runtime's (the tool's own work).
# The baseline of process_bench.sh must make the calls the tool makes; this
# shows whether it still does after a change to either.
# Usage: trace_calls.sh PREFIX EXE_A EXE_B ARGS...
# Runs each program twice in a scratch folder (the second run is the one
# compared: the log then exists, as in the benchmark's timed runs). Prints
# "same" or the difference; the exit code is 0 when they are the same.
set -eu
prefix=$1
a=$2
b=$3
shift 3
export WINEPREFIX="$prefix"
unset DISPLAY WAYLAND_DISPLAY
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

calls() {
    mkdir -p "$scratch/$2"
    cp "$1" "$scratch/$2/"
    exe="$scratch/$2/$(basename "$1")"
    shift 2
    WINEDEBUG=-all timeout 120 wine "$exe" "$@" >/dev/null 2>&1 || true
    WINEDEBUG=+relay timeout 120 wine "$exe" "$@" >/dev/null 2>"$scratch/relay" || true
    # The program's main thread is the one that asks for its arguments.
    thread=$(grep -a -m 1 -E '^[0-9a-f]+:Call msvcrt\.__wgetmainargs' "$scratch/relay" | cut -d: -f1)
    # Calls returning into the executable (mapped at 0x140000000).
    grep -a -E "^$thread:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(.*ret=0*1400" "$scratch/relay" |
        sed -E 's/^[0-9a-f]+:Call ([A-Za-z0-9_.]+)\(.*/\1/' | grep -v '^msvcrt\.' || true
}

calls "$a" a "$@" >"$scratch/a.calls"
calls "$b" b "$@" >"$scratch/b.calls"
count=$(wc -l <"$scratch/a.calls")
if diff -u "$scratch/a.calls" "$scratch/b.calls" >"$scratch/diff"; then
    echo "same ($count calls)"
    exit 0
fi
echo "DIFFERENT:"
tail -n +3 "$scratch/diff"
exit 1
