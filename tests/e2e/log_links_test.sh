#!/bin/sh
# The elevated tool writes only into its own folder's Detail.log. Links are
# made from the Unix side, as an attacker with write access to the folder
# would make them: a hard link and a symbolic link to a file elsewhere must
# leave that file byte-for-byte unchanged (the run goes on without a log, its
# result unchanged); a tool started through a linked folder still logs; a log
# of odd length is padded before the next entry.
# Usage: log_links_test.sh WINE_RUN PREFIX PINWHEEL_EXE
set -u
run=$1
prefix=$2
exe=$3
work=$(mktemp -d /tmp/pinwheel-links.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; passes=$((passes + 1)); }

# An uninstall of an absent ID: logs 621, then 537 and 629 for an absent
# service, and exits 0 (the exit code does not depend on the log).
pinwheel() {
    timeout 120 "$run" "$prefix" "$1/Pinwheel.exe" uninstall 'ROOT\PwLinkAbsent' PwLinkAbsentSvc /quiet \
        </dev/null >"$work/out" 2>&1
    code=$?
    [ "$code" = 0 ] || sed 's/^/   | /' "$work/out"
    # The run really happened: an unchanged file proves nothing otherwise.
    [ "$(cat "$work/out")" = "Uninstall driver,please wait..." ] ||
        fail "the run printed '$(cat "$work/out")', not its progress text"
    return $code
}

# The entries of one run, UTF-16LE.
entries() {
    printf 'file:.\\Pinwheel,line 621 Uninstall Ok,But no device!\r\nfile:.\\Pinwheel,line 537 r.Open fail,error code is 0x2!\r\nfile:.\\Pinwheel,line 629 DisableMyService fail!\r\n' |
        iconv -f UTF-8 -t UTF-16LE
}

new_tool() {
    mkdir -p "$1"
    cp "$exe" "$1/Pinwheel.exe"
}

# A hard link and a symbolic link to a file elsewhere.
for kind in hard symbolic; do
    new_tool "$work/$kind"
    printf 'precious %s\n' "$kind" >"$work/victim-$kind"
    cp "$work/victim-$kind" "$work/victim-$kind.expected"
    if [ "$kind" = hard ]; then
        ln "$work/victim-$kind" "$work/$kind/Detail.log"
    else
        ln -s "$work/victim-$kind" "$work/$kind/Detail.log"
    fi
    pinwheel "$work/$kind"
    code=$?
    [ "$code" = 0 ] || fail "$kind link: exit code $code, expected 0"
    if cmp -s "$work/victim-$kind" "$work/victim-$kind.expected"; then
        pass "$kind-linked Detail.log leaves the other file unchanged"
    else
        fail "$kind-linked Detail.log: the other file was written"
    fi
done

# A tool started through a linked folder logs into the real folder.
new_tool "$work/real"
ln -s "$work/real" "$work/linked"
pinwheel "$work/linked"
code=$?
{ printf '\377\376'; entries; } >"$work/expected-linked"
if [ "$code" = 0 ] && cmp -s "$work/real/Detail.log" "$work/expected-linked"; then
    pass "a tool started through a linked folder logs"
else
    fail "linked folder: exit code $code, log $(od -c "$work/real/Detail.log" 2>&1 | head -3)"
fi

# A log cut off in the middle of a character is padded to whole characters.
new_tool "$work/odd"
printf '\377\376x' >"$work/odd/Detail.log"
pinwheel "$work/odd"
{ printf '\377\376x\000'; entries; } >"$work/expected-odd"
if cmp -s "$work/odd/Detail.log" "$work/expected-odd"; then
    pass "an odd-length log is padded before the next entry"
else
    fail "odd-length log: $(od -c "$work/odd/Detail.log" | head -3)"
fi

echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
