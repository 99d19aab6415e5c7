#!/bin/sh
# Builds both architectures in release form and writes the release:
#   OUT_DIR/pinwheel-<version>-win-x64.zip
#   OUT_DIR/pinwheel-<version>-win-x86.zip
#   OUT_DIR/SHA256SUMS
# Each archive holds what the build installs as its "runtime" component (the
# programs and libraries, README.md, LICENSE) in a folder of the same name.
#
# Usage: dist.sh [OUT_DIR [BUILD_PREFIX]]   (default: dist build/dist)
# The build trees are BUILD_PREFIX-x64 and BUILD_PREFIX-x86.
#
# Signing, when a certificate and its key are given: every .exe and .dll is
# signed with osslsigncode (SHA-256, the product name) before it is archived.
#   PINWHEEL_SIGN_CERT, PINWHEEL_SIGN_KEY  PEM certificate (chain) and key, or
#   PINWHEEL_SIGN_PKCS12                   a PKCS#12 file holding both;
#   PINWHEEL_SIGN_PASS_FILE                a file holding the key's password;
#   PINWHEEL_SIGN_TIMESTAMP_URL            an RFC 3161 timestamp server.
#
# Reproducible: the same commit gives the same bytes. Archive entries are
# dated SOURCE_DATE_EPOCH, by default the commit time. (A signature holds its
# signing time, so signed files differ from run to run.)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-dist}
prefix=${2:-build/dist}
case $prefix in /*) ;; *) prefix=$root/$prefix ;; esac
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
    # Outside a git checkout: 2026-01-01.
    [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=1767225600
fi
export SOURCE_DATE_EPOCH
# The output holds one release: none of an earlier version stays beside it.
rm -f "$out"/pinwheel-*-win-x64.zip "$out"/pinwheel-*-win-x86.zip "$out/SHA256SUMS"

# Which signing, if any: its osslsigncode options become the positional
# parameters, so that paths with spaces stay whole.
set --
if [ -n "${PINWHEEL_SIGN_PKCS12:-}" ]; then
    set -- -pkcs12 "$PINWHEEL_SIGN_PKCS12"
elif [ -n "${PINWHEEL_SIGN_CERT:-}" ] || [ -n "${PINWHEEL_SIGN_KEY:-}" ]; then
    if [ -z "${PINWHEEL_SIGN_CERT:-}" ] || [ -z "${PINWHEEL_SIGN_KEY:-}" ]; then
        echo "dist: PINWHEEL_SIGN_CERT and PINWHEEL_SIGN_KEY go together" >&2
        exit 1
    fi
    set -- -certs "$PINWHEEL_SIGN_CERT" -key "$PINWHEEL_SIGN_KEY"
fi
if [ $# -gt 0 ]; then
    command -v osslsigncode >/dev/null ||
        { echo "dist: signing needs osslsigncode (apt-get install osslsigncode)" >&2; exit 1; }
    [ -z "${PINWHEEL_SIGN_PASS_FILE:-}" ] || set -- "$@" -readpass "$PINWHEEL_SIGN_PASS_FILE"
    [ -z "${PINWHEEL_SIGN_TIMESTAMP_URL:-}" ] || set -- "$@" -ts "$PINWHEEL_SIGN_TIMESTAMP_URL"
    signing=yes
else
    echo "dist: not signing (no PINWHEEL_SIGN_CERT and PINWHEEL_SIGN_KEY, nor PINWHEEL_SIGN_PKCS12)"
    signing=no
fi

archives=""
for arch in x64 x86; do
    case $arch in
    x64) toolchain=mingw-w64-x86_64 ;;
    x86) toolchain=mingw-w64-i686 ;;
    esac
    build=$prefix-$arch
    cmake -S "$root" -B "$build" --toolchain "$root/cmake/$toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DPINWHEEL_TESTS=OFF >/dev/null
    cmake --build "$build" -j2
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    name=pinwheel-$version-win-$arch
    stage=$build/stage/$name
    rm -rf "$build/stage"
    cmake --install "$build" --component runtime --prefix "$stage" >/dev/null
    if [ $signing = yes ]; then
        find "$stage" -type f \( -iname '*.exe' -o -iname '*.dll' \) | LC_ALL=C sort >"$build/signed.list"
        while read -r file; do
            timeout 300 osslsigncode sign -h sha256 -n Pinwheel "$@" \
                -in "$file" -out "$file.signed" >"$build/sign.log" 2>&1 || {
                cat "$build/sign.log" >&2
                echo "dist: signing $file failed" >&2
                exit 1
            }
            mv "$file.signed" "$file"
            echo "dist: signed $name/$(basename "$file")"
        done <"$build/signed.list"
    fi
    python3 "$root/scripts/dist_zip.py" "$out/$name.zip" "$stage" "$SOURCE_DATE_EPOCH"
    archives="$archives $name.zip"
done

# shellcheck disable=SC2086 # two archive names without spaces
(cd "$out" && sha256sum $archives >SHA256SUMS.tmp && mv SHA256SUMS.tmp SHA256SUMS)
echo "dist: $out"
sed 's/^/    /' "$out/SHA256SUMS"
