#!/bin/sh
# Runs one Windows test program in a Wine prefix of its own, made afresh for
# the run, under a hard time limit. The installers' tests install the same
# demo device and product as a user would, so they share no prefix with
# anything else; a run that hits the limit has its Wine processes ended and
# its prefix deleted, so that the next run starts clean.
# Usage: run-in-fresh-prefix.sh PREFIX SECONDS PROGRAM [ARGS...]
set -u
cmake_dir=$(cd "$(dirname "$0")/../../cmake" && pwd)
prefix=$1
limit=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY

reset_prefix() {
    if [ -d "$prefix" ]; then
        wineserver -k 2>/dev/null
        wineserver -w 2>/dev/null
    fi
    rm -rf "$prefix" "$prefix.lock"
}

reset_prefix
echo "A fresh Wine prefix: $prefix"
if ! "$cmake_dir/wine-session" start "$prefix"; then
    echo "FAILED: cannot create the Wine prefix"
    reset_prefix
    exit 1
fi
timeout --kill-after=10 "$limit" wine "$@"
status=$?
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    echo "FAILED: the run took longer than $limit s and was ended; the prefix is reset"
    reset_prefix
    exit 1
fi
"$cmake_dir/wine-session" stop "$prefix"
exit "$status"
