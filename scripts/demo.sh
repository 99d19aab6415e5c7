#!/bin/sh
# Shows the setup tool at work in a fresh Wine prefix: every run prints its
# console output, its message boxes (answered with OK), its exit code and
# the failure log decoded from UTF-16.
# Usage: demo.sh BUILD_DIR
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$root/$1/bin
demo=$root/build/demo
prefix=$demo/wineprefix
run=$demo/run

rm -rf "$demo"
mkdir -p "$run"
cp "$bin/Pinwheel.exe" "$bin/PinwheelDemo.inf" "$bin/PinwheelDemo.sys" "$run/"

echo "== A fresh Wine prefix ($prefix)"
"$root/cmake/wine-session" start "$prefix" || exit 1
trap '"$root/cmake/wine-session" stop "$prefix"' EXIT
export WINEPREFIX="$prefix" WINEDEBUG=-all

# pinwheel ARGS...: one run of the tool, as an installer would start it.
pinwheel() {
    echo
    echo "\$ Pinwheel.exe $*"
    (cd "$run" && wine "$bin/boxwatch.exe" Pinwheel.exe "$@")
    code=$?
    echo
    echo "-> exit code $code"
}

show_log() {
    echo "-- Detail.log:"
    if [ -f "$run/Detail.log" ]; then
        iconv -f UTF-16 -t UTF-8 "$run/Detail.log" | sed 's/\r$//; s/^/   /'
    else
        echo "   (no log)"
    fi
}

show_device() {
    echo "-- Device nodes with hardware ID ROOT\\PinwheelDemo:"
    wine reg query 'HKLM\SYSTEM\CurrentControlSet\Enum\ROOT\PINWHEELDEMO' /s 2>/dev/null |
        tr -d '\r' | grep -E 'PINWHEELDEMO\\[0-9]+$|HardwareID|Service|ClassGUID' | sed 's/^ */   /' ||
        echo "   (none)"
}

show_service() {
    echo "-- Service key HKLM\\SYSTEM\\CurrentControlSet\\Services\\PinwheelDemo:"
    wine reg query 'HKLM\SYSTEM\CurrentControlSet\Services\PinwheelDemo' 2>/dev/null |
        tr -d '\r' | grep -E 'REG_' | sed 's/^ */   /' || echo "   (none)"
}

echo
echo "== A bad command line"
pinwheel install
pinwheel frobnicate ROOT\\Demo demo.inf
show_log

echo
echo "== Install the demo driver package"
pinwheel install ROOT\\PinwheelDemo PinwheelDemo.inf
show_device
show_service
show_log

echo
echo "== Install again: the device is present, so the tool refuses"
pinwheel install ROOT\\PinwheelDemo PinwheelDemo.inf
show_service
show_log

echo
echo "== The same, unattended: /quiet shows no box (a silent installer would wait"
echo "   for ever on one); the log entry and the exit code are the same"
pinwheel install ROOT\\PinwheelDemo PinwheelDemo.inf /quiet
show_log

echo
echo "== A hardware ID no device node can store whole is refused before any device work"
pinwheel install "ROOT\\PinwheelDemo$(printf '%0300d' 0)" PinwheelDemo.inf
show_log

echo
echo "== Uninstall: remove the device, disable the service"
echo "   (Wine 8 cannot remove devices: its SetupDiSetClassInstallParamsW is a stub"
echo "   that always fails, so the removal is logged as failed, the box says so,"
echo "   and the exit code is 2. On Windows the device is removed and the exit"
echo "   code is 0, or 1 when a restart is needed. The service is disabled either way.)"
pinwheel uninstall ROOT\\PinwheelDemo PinwheelDemo
show_device
show_service
show_log

echo
echo "== The launcher: unload.exe beside a companion Larkspur.dll"
echo "   (the test fixture library: it writes down each load, call and unload,"
echo "   and how many windows of the process were visible at the call)"
launcher=$demo/launcher
mkdir -p "$launcher"
cp "$bin/unload.exe" "$bin/larkspur/Larkspur.dll" "$launcher/"
echo
echo "\$ unload.exe"
(cd "$launcher" && wine "$bin/boxwatch.exe" unload.exe)
echo "-> exit code $?"
echo "-- larkspur-events.txt:"
sed 's/^/   /' "$launcher/larkspur-events.txt"
