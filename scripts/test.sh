#!/usr/bin/env bash
# Builds and runs every test: the core natively, the core again under ASan and UBSan, the
# Windows build's tests under Wine on a private virtual desktop that ctest starts and stops, and
# the release package, built twice from scratch to the same bytes and checked.
set -uo pipefail
cd "$(dirname "$0")/.."

presets=(native sanitize windows)
for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null || exit 1
  cmake --build --preset "$preset" -j2 || exit 1
done

failed=()
for preset in "${presets[@]}"; do
  echo "== $preset tests"
  ctest --preset "$preset" || failed+=("$preset")
done
# Whatever happened above, leave no Xvfb, window manager or Wine process behind.
scripts/desktop.sh stop build/windows/desktop

echo "== dist tests"
tests/dist/reproducible.sh || failed+=(dist)

if [ ${#failed[@]} -gt 0 ]; then
  echo "Failing test sets: ${failed[*]}"
  exit 1
fi
echo "All test sets passed: ${presets[*]} dist"
