# The README's two set-up commands, `make run` and `make test`, and for builders `make dist`,
# `make bench` and `make tickbench`. Each installs what is missing first.
.PHONY: run test bench tickbench dist deps

run: deps
	scripts/run.sh

test: deps
	scripts/test.sh

# Figures for the core's hot path (Google Benchmark, native Release build).
bench: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j2 --target core_bench
	build/native/bench/core_bench

# What a whole tick costs under Wine, cyclowis.exe against a reference that does the least, at
# 96 and 144 DPI (about 20 minutes; a report, not a test). Options, for example
#   make tickbench TICKBENCH_ARGS="--dpi 144 --rounds 1 --ticks 100" TICKBENCH_BUILD=build/mine
# (the build folder, build/windows unless named, holds the benchmark's desktop and its report).
tickbench: deps
	scripts/tick-bench.sh $(if $(TICKBENCH_BUILD),--build-dir $(TICKBENCH_BUILD)) $(TICKBENCH_ARGS)

# The release package: build/dist/cyclowisp-<version>-win32.zip and SHA256SUMS (paths printed).
dist: deps
	cmake --preset dist >/dev/null
	cmake --build --preset dist -j2 -- --no-print-directory

deps:
	scripts/install-deps.sh
