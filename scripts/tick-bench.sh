#!/usr/bin/env bash
# The tick benchmark (make tickbench): builds cyclowis.exe and the benchmark's reference and
# feeder, starts a private desktop of its own (never the tests' one), runs bench/tick_bench.py on
# it and stops the desktop again, whatever happened. Every argument but --build-dir goes to
# tick_bench.py, for example
#   scripts/tick-bench.sh --rounds 5 --ticks 600
#   scripts/tick-bench.sh --dpi 144 --rounds 1 --ticks 100      one display scaling, a quick run
#   scripts/tick-bench.sh --build-dir build/mine                 another build folder
# The build folder is the windows preset's build/windows unless --build-dir or TICKBENCH_BUILD
# names another; the desktop and its Wine prefix live in it (DIR/bench-desktop). The table is
# printed and also written to DIR/tickbench.md.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

build=${TICKBENCH_BUILD:-build/windows}
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --build-dir=*) build=${1#*=}; shift ;;
    *) args+=("$1"); shift ;;
  esac
done
case $build in /*) ;; *) build=$top/$build ;; esac

cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target cyclowis traytool ref_meter sample_feeder

desk=$build/bench-desktop
trap 'scripts/desktop.sh stop "$desk"' EXIT
scripts/desktop.sh start "$desk"
CYCLOWISP_DESKTOP=$desk python3 bench/tick_bench.py --build "$build" --out "$build/tickbench.md" ${args[@]+"${args[@]}"}
