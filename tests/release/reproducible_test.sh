#!/bin/sh
# Two release builds of the same sources, in build trees at different paths,
# give byte-identical programs, archives and checksum files. Also checks what
# the archives hold (what a release ships, nothing of the tests), that every
# shipped file of ours carries the project version, no link time stamp and
# no path of the machine that built it, that entries are dated at the
# commit, and that nothing is signed when no certificate is given.
# Usage: reproducible_test.sh WORK_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$1
rm -rf "$work"
mkdir -p "$work"
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

# The sources as they are now (committed or not), in a checkout of their
# own, so that edits made while the test runs do not reach either build. Its
# one commit is dated at a time of its own, which the archive entries must
# then carry.
src=$work/src
mkdir -p "$src"
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$root" && git ls-files -co --exclude-standard | while read -r file; do
        [ -e "$file" ] && printf '%s\n' "$file"
    done | tar -cf - -T -) | tar -C "$src" -xf -
else
    (cd "$root" && tar --exclude=./build --exclude=./dist -cf - .) | tar -C "$src" -xf -
fi
commit_time=1767357296 # 2026-01-02 12:34:56 UTC
(cd "$src" && git init -q && git add -A &&
    GIT_COMMITTER_DATE="@$commit_time +0000" GIT_AUTHOR_DATE="@$commit_time +0000" \
        git -c user.name=release-test -c user.email=release-test@localhost -c commit.gpgsign=false \
        commit -q -m "release test sources") || { echo "FAIL: no copy of the sources"; exit 1; }

# No signing configuration from the caller's environment, and the entry
# times from the commit, as a plain `make dist` has them.
unset PINWHEEL_SIGN_CERT PINWHEEL_SIGN_KEY PINWHEEL_SIGN_PKCS12 \
    PINWHEEL_SIGN_PASS_FILE PINWHEEL_SIGN_TIMESTAMP_URL SOURCE_DATE_EPOCH
for run in one second-run; do
    if ! timeout 900 "$src/scripts/dist.sh" "$work/$run/dist" "$work/$run/build" \
        >"$work/$run.log" 2>&1; then
        tail -30 "$work/$run.log"
        echo "FAIL: dist ($run) did not finish"
        exit 1
    fi
done
one=$work/one
two=$work/second-run
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$one/build-x64/CMakeCache.txt")
echo "version $version"

# The same bytes, whichever tree built them.
if cmp -s "$one/dist/SHA256SUMS" "$two/dist/SHA256SUMS"; then
    sed 's/^/    /' "$one/dist/SHA256SUMS"
else
    fail "the two runs' SHA256SUMS differ:"
    diff "$one/dist/SHA256SUMS" "$two/dist/SHA256SUMS"
fi
(cd "$one/dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the archives"
for arch in x64 x86; do
    archive=pinwheel-$version-win-$arch.zip
    [ -f "$one/dist/$archive" ] || { fail "no $archive"; continue; }
    cmp -s "$one/dist/$archive" "$two/dist/$archive" || fail "$archive differs between the runs"
    stage=build-$arch/stage/pinwheel-$version-win-$arch
    for file in "$one/$stage"/*; do
        name=$(basename "$file")
        cmp -s "$file" "$two/$stage/$name" || fail "$arch $name differs between the runs"
    done
done

[ "$(grep -c '^dist: not signing' "$one.log")" = 1 ] || fail "no one-line note that nothing is signed"

for arch in x64 x86; do
    archive=$one/dist/pinwheel-$version-win-$arch.zip
    folder=pinwheel-$version-win-$arch
    [ -f "$archive" ] || continue
    # What the archive holds: the required files, only shipped kinds of
    # file, nothing of the tests or the demo, entries dated at the commit.
    python3 - "$archive" "$folder" "$commit_time" <<'EOF' || status=1
import sys, time, zipfile
archive, folder, commit_time = sys.argv[1], sys.argv[2], sys.argv[3]
names = [info.filename for info in zipfile.ZipFile(archive).infolist()]
bad = False
def fail(message):
    global bad
    print(f"FAIL: {folder}.zip: {message}")
    bad = True
if names != sorted(names) or names[0] != folder + "/":
    fail(f"entries not in order under {folder}/: {names}")
for required in ("Pinwheel.exe", "unload.exe", "README.md", "LICENSE"):
    if f"{folder}/{required}" not in names:
        fail(f"no {required}")
test_files = ("larkspur.dll", "newdev.dll", "boxwatch.exe", "pinwheeldemo.sys",
              "pinwheeldemo.inf")
for name in names[1:]:
    base = name[len(folder) + 1:].lower()
    if not name.startswith(folder + "/") or "/" in base.rstrip("/"):
        fail(f"{name} is not a file of the top folder")
    elif base in test_files or "test" in base or "bench" in base or "watch" in base:
        fail(f"{name} comes from the tests or the demo")
    elif not (base.endswith((".exe", ".dll")) or base in ("readme.md", "license")):
        fail(f"{name} is not a shipped kind of file")
want = time.gmtime(int(commit_time))[:6]
for info in zipfile.ZipFile(archive).infolist():
    if info.date_time != want:
        fail(f"{info.filename} dated {info.date_time}, not the commit's {want}")
sys.exit(1 if bad else 0)
EOF
    stage=$one/build-$arch/stage/$folder
    cmp -s "$stage/README.md" "$src/README.md" || fail "$arch README.md is not the README"
    cmp -s "$stage/LICENSE" "$src/LICENSE" || fail "$arch LICENSE is not the license"
    for file in "$stage"/*.exe "$stage"/*.dll; do
        [ -f "$file" ] || continue
        name=$(basename "$file")
        python3 "$here/pe_resources.py" header "$file" >"$work/header.txt"
        grep -q -x 'TimeDateStamp=0' "$work/header.txt" || fail "$arch $name has a link time stamp"
        grep -q -x 'Certificates=0' "$work/header.txt" || fail "$arch $name is signed"
        # No path of the machine that built it.
        for path in "$root" "$work" "$src"; do
            grep -a -q -F "$path" "$file" && fail "$arch $name holds the path $path"
        done
        python3 "$here/pe_resources.py" version "$file" >"$work/version.txt" ||
            { fail "$arch $name has no version resource"; continue; }
        if [ "$name" = unload.exe ]; then
            # The launcher keeps the version resource of its own.
            grep -q -x 'FIXED_FILE=1.0.0.1' "$work/version.txt" &&
                grep -q -x 'FileVersion=1, 0, 0, 1' "$work/version.txt" ||
                fail "$arch unload.exe lost its own version resource"
            continue
        fi
        for line in "FIXED_FILE=$version.0" "FIXED_PRODUCT=$version.0" "FileVersion=$version" \
            "ProductVersion=$version" "ProductName=Pinwheel" "OriginalFilename=$name"; do
            grep -q -x -F "$line" "$work/version.txt" || fail "$arch $name: no $line in its version resource"
        done
    done
done

[ $status = 0 ] && echo "PASS: two release builds are byte-identical"
exit $status
