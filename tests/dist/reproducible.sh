#!/usr/bin/env bash
# The release package builds to the same bytes anywhere, at any time: builds it twice from scratch,
# once from this source tree into build/repro-a, once from a copy of it in another, longer folder
# into build/repro-b, later and under another time zone and umask, and compares cyclowis.exe, the
# zip and SHA256SUMS byte for byte (cmp names the first differing byte). Then checks the package.
set -uo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
a=$top/build/repro-a
b=$top/build/repro-b
src_b=$b/a-copy-of-the-sources-in-a-folder-with-a-longer-name
rm -rf "$a" "$b"

# build SOURCE_DIR BUILD_DIR: configures like the dist preset and builds only the package.
build() {
  cmake -S "$1" --preset dist -B "$2" >"$2.log" 2>&1 &&
    cmake --build "$2" -j2 --target dist >>"$2.log" 2>&1 ||
    { cat "$2.log"; echo "FAIL: the package did not build in $2"; return 1; }
}

mkdir -p "$b" "$src_b"
build "$top" "$a" || exit 1
tar -C "$top" --exclude=./build --exclude=./.git -cf - . | tar -C "$src_b" -xf -
(umask 077 && TZ=XYZ-13:45 build "$src_b" "$b") || exit 1

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$a/CMakeCache.txt")
zip=$(cd "$a" && ls cyclowisp-*-win32.zip)
status=0
for f in cyclowis.exe "$zip" SHA256SUMS; do
  if cmp "$a/$f" "$b/$f"; then
    echo "same bytes in both builds: $f ($(stat -c %s "$a/$f") bytes)"
  else
    echo "FAIL: $f differs between the two builds (first differing byte above, counted from 1)"
    status=1
  fi
done
python3 tests/dist/check_package.py "$a" "$version" || status=1
exit $status
