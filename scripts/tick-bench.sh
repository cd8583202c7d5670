#!/usr/bin/env bash
# The tick benchmark (make tickbench): builds cyclowis.exe and the benchmark's reference and
# feeder, starts a private desktop of its own (never the tests' one), runs bench/tick_bench.py on
# it and stops the desktop again, whatever happened. Arguments go to tick_bench.py, for example
#   scripts/tick-bench.sh --rounds 5 --ticks 600
# The table is printed and also written to build/windows/tickbench.md.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=$top/build/windows

cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target cyclowis traytool ref_meter sample_feeder

desk=$build/bench-desktop
trap 'scripts/desktop.sh stop "$desk"' EXIT
scripts/desktop.sh start "$desk"
CYCLOWISP_DESKTOP=$desk python3 bench/tick_bench.py --build "$build" --out "$build/tickbench.md" "$@"
