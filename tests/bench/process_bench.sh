#!/bin/sh
# The whole-process benchmark of `make bench`: Pinwheel.exe's uninstall of an
# absent hardware ID against the baseline programs, under Wine, in a prefix
# of its own with one persistent wineserver (ended for that prefix only).
# Usage: process_bench.sh BUILD_DIR [RUNS] [PINWHEEL_EXE]
# RUNS (timed runs of each program) defaults to 200: on a shared 2-core
# machine single runs scatter widely, and the median ratio settles only
# over a few hundred rounds.
# PINWHEEL_EXE defaults to BUILD_DIR/bin/Pinwheel.exe; pass another build's
# to compare two versions of the tool against the same baselines.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-200}
pinwheel=${3:-$build/bin/Pinwheel.exe}
prefix=$build/bench-wineprefix
stage=$build/bench-run
service=PinwheelBench
absent='ROOT\PinwheelBenchAbsent'
key="HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service"

# Each program in a folder of its own: each writes Detail.log beside itself.
rm -rf "$stage"
mkdir -p "$stage/tool" "$stage/baseline" "$stage/baseline_user32"
cp "$pinwheel" "$stage/tool/Pinwheel.exe"
cp "$build/bin/uninstall_baseline.exe" "$stage/baseline/"
cp "$build/bin/uninstall_baseline_user32.exe" "$stage/baseline_user32/"

echo "Machine: $(nproc) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), $(wine --version 2>/dev/null)"

# The prefix is made on first use; the shared wineserver then stays up for
# the whole measurement, so no run pays for starting it.
"$root/cmake/wine-run" "$prefix" cmd /c exit 0 >/dev/null 2>&1
export WINEPREFIX="$prefix" WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM

# The service exists, so every run takes the registry write path.
wine reg add "$key" /v start /t REG_DWORD /d 3 /f >/dev/null 2>&1

# The baseline is a floor only while it makes the tool's calls: say whether
# it still does (a difference is shown, not fatal: the figures still stand
# for the two programs as they are).
printf 'Windows calls of the baseline against the tool: '
"$here/trace_calls.sh" "$prefix" "$pinwheel" "$build/bin/uninstall_baseline.exe" \
    uninstall "$absent" "$service" || true

# The start value is reset here and must read 4 (disabled) afterwards.
wine reg add "$key" /v start /t REG_DWORD /d 3 /f >/dev/null 2>&1

winpath() { wine winepath -w "$1" 2>/dev/null | tr -d '\r'; }
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
timeout 1800 wine "$build/bin/process_bench.exe" "$runs" "$absent" "$service" \
    "$(winpath "$stage/tool/Pinwheel.exe")" \
    "$(winpath "$stage/baseline/uninstall_baseline.exe")" \
    "$(winpath "$stage/baseline_user32/uninstall_baseline_user32.exe")"

echo "Load average (1, 5, 15 min) before: $load_before; after: $(cut -d' ' -f1-3 /proc/loadavg)"

if ! wine reg query "$key" /v start 2>/dev/null | grep -q '0x4'; then
    echo "FAIL: the service's start value is not 4 after the runs" >&2
    exit 1
fi
