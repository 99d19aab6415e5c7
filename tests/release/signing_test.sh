#!/bin/sh
# Signing a release with a certificate of one's own: a throwaway code-signing
# certificate and a timestamping certificate made here with openssl, and a
# local RFC 3161 server for the timestamp URL.
#   1. PEM certificate and key, timestamp URL: every exe and DLL of both
#      archives verifies (signature and timestamp) against those
#      certificates, carries the product name, and keeps its resources
#      byte for byte (the manifest and message table as built); the signed
#      x64 Pinwheel.exe still runs under Wine.
#   2. PKCS#12 file with a password file, no URL: signed, no timestamp.
#   3. A certificate without its key: refused before anything is built.
# osslsigncode's verify can report a failed timestamp check and still exit
# 0, so its report is read, not only its exit code.
# Usage: signing_test.sh WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work/pki"
pki=$work/pki
prefix=$work/wineprefix
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
server=""
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null
    [ ! -d "$prefix" ] || WINEPREFIX=$prefix wineserver -k 2>/dev/null
}
trap cleanup EXIT

unset PINWHEEL_SIGN_CERT PINWHEEL_SIGN_KEY PINWHEEL_SIGN_PKCS12 \
    PINWHEEL_SIGN_PASS_FILE PINWHEEL_SIGN_TIMESTAMP_URL
# The timestamp server is on this machine: no proxy in between.
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

# The throwaway certificates, each its own root.
certificate() { # NAME SUBJECT EXTENDED_KEY_USAGE
    timeout 60 openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=$2" \
        -keyout "$pki/$1.key" -out "$pki/$1.crt" \
        -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=$3" \
        >"$pki/$1.log" 2>&1 || { cat "$pki/$1.log"; echo "FAIL: openssl req $1"; exit 1; }
}
certificate signing "Pinwheel test code signing" codeSigning
certificate tsa "Pinwheel test timestamps" critical,timeStamping
printf 'throwaway password\n' >"$pki/password"
timeout 60 openssl pkcs12 -export -inkey "$pki/signing.key" -in "$pki/signing.crt" \
    -passout "file:$pki/password" -out "$pki/signing.p12" || { echo "FAIL: openssl pkcs12"; exit 1; }

python3 "$here/timestamp_server.py" "$pki" "$pki/tsa.crt" "$pki/tsa.key" "$pki/port" &
server=$!
for _ in $(seq 100); do
    [ -s "$pki/port" ] && break
    sleep 0.1
done
[ -s "$pki/port" ] || { echo "FAIL: the timestamp server did not start"; exit 1; }
url=http://127.0.0.1:$(cat "$pki/port")/

# dist NAME [VARIABLE=VALUE...]: one release run into WORK_DIR/NAME.
dist() {
    run=$1
    shift
    env "$@" timeout 900 "$root/scripts/dist.sh" "$work/$run" "$work/build" >"$work/$run.log" 2>&1
}

# check_signed RUN TIMESTAMPED: every exe and DLL of both archives of RUN.
check_signed() {
    run=$1
    timestamped=$2
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/build-x64/CMakeCache.txt")
    for arch in x64 x86; do
        folder=pinwheel-$version-win-$arch
        archive=$work/$run/$folder.zip
        [ -f "$archive" ] || { fail "$run: no $folder.zip"; continue; }
        rm -rf "$work/$run/$arch"
        python3 -m zipfile -e "$archive" "$work/$run/$arch" || { fail "$run: $folder.zip unreadable"; continue; }
        built=$work/build-$arch/bin
        found=0
        for file in "$work/$run/$arch/$folder"/*.exe "$work/$run/$arch/$folder"/*.dll; do
            [ -f "$file" ] || continue
            found=$((found + 1))
            name=$(basename "$file")
            failures_before=$failures
            report=$work/$run/$arch-$name.verify
            timeout 120 osslsigncode verify -in "$file" \
                -CAfile "$pki/signing.crt" -TSA-CAfile "$pki/tsa.crt" >"$report" 2>&1 ||
                fail "$run $arch $name: osslsigncode verify exit code $?"
            grep -q '^Signature verification: ok' "$report" || fail "$run $arch $name: signature not verified"
            grep -q 'Message digest algorithm *: SHA256' "$report" || fail "$run $arch $name: not SHA-256"
            grep -q 'Text description: Pinwheel$' "$report" || fail "$run $arch $name: no product name"
            grep -q -i 'fail' "$report" && fail "$run $arch $name: verify reports a failure"
            if [ "$timestamped" = yes ]; then
                grep -q '^Timestamp Server Signature verification: ok' "$report" ||
                    fail "$run $arch $name: timestamp not verified"
            else
                grep -q '^Timestamp is not available' "$report" || fail "$run $arch $name: timestamped"
            fi
            # Signing adds the signature and nothing else: every resource is
            # as the build made it.
            python3 "$here/pe_resources.py" list "$file" >"$work/signed.txt"
            python3 "$here/pe_resources.py" list "$built/$name" >"$work/built.txt"
            cmp -s "$work/signed.txt" "$work/built.txt" || fail "$run $arch $name: resources changed"
            [ $failures = "$failures_before" ] || cat "$report"
        done
        [ $found -ge 2 ] || fail "$run $arch: $found programs and libraries signed"
        # The tool's manifest and message table read back as built.
        tool=$work/$run/$arch/$folder/Pinwheel.exe
        python3 "$here/pe_resources.py" dump "$tool" 24 1 1033 | cmp -s - "$root/setup/Pinwheel.manifest" ||
            fail "$run $arch: the manifest of Pinwheel.exe is not setup/Pinwheel.manifest"
        python3 "$here/pe_resources.py" dump "$tool" 11 1 1033 |
            cmp -s - "$work/build-$arch/setup/mc/MSG00409.bin" ||
            fail "$run $arch: the message table of Pinwheel.exe is not the one built"
    done
}

# 1. PEM, with a timestamp.
if dist pem PINWHEEL_SIGN_CERT="$pki/signing.crt" PINWHEEL_SIGN_KEY="$pki/signing.key" \
    PINWHEEL_SIGN_TIMESTAMP_URL="$url"; then
    grep -q '^dist: not signing' "$work/pem.log" && fail "pem: says it signs nothing"
    check_signed pem yes
    # The signed tool still runs: no arguments is a bad command line (3).
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/build-x64/CMakeCache.txt")
    timeout 300 "$root/cmake/wine-run" "$prefix" \
        "$work/pem/x64/pinwheel-$version-win-x64/Pinwheel.exe" >"$work/wine.log" 2>&1
    code=$?
    [ $code = 3 ] || { cat "$work/wine.log"; fail "signed Pinwheel.exe with no arguments: exit code $code, not 3"; }
else
    tail -30 "$work/pem.log"
    fail "dist with a PEM certificate and a timestamp URL"
fi

# 2. PKCS#12 with a password file, no timestamp (the build trees are reused).
if dist pkcs12 PINWHEEL_SIGN_PKCS12="$pki/signing.p12" PINWHEEL_SIGN_PASS_FILE="$pki/password"; then
    check_signed pkcs12 no
else
    tail -30 "$work/pkcs12.log"
    fail "dist with a PKCS#12 file"
fi

# 3. Half a configuration is an error, not an unsigned release.
if dist halfway PINWHEEL_SIGN_CERT="$pki/signing.crt"; then
    fail "dist with a certificate and no key succeeded"
fi
grep -q 'PINWHEEL_SIGN_CERT and PINWHEEL_SIGN_KEY go together' "$work/halfway.log" ||
    fail "no word on the missing key"

if [ $failures = 0 ]; then
    echo "PASS: signed releases verify and run"
    exit 0
fi
exit 1
