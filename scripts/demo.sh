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
cp "$bin/Pinwheel.exe" "$run/"

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

echo
echo "== A bad command line"
pinwheel install
pinwheel frobnicate ROOT\\Demo demo.inf
show_log
