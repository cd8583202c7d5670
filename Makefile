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

# What a whole tick costs under Wine, cyclowis.exe against a reference that does the least
# (about 10 minutes; a report, not a test). Options: make tickbench TICKBENCH_ARGS="--rounds 5".
tickbench: deps
	scripts/tick-bench.sh $(TICKBENCH_ARGS)

# The release package: build/dist/cyclowisp-<version>-win32.zip and SHA256SUMS (paths printed).
dist: deps
	cmake --preset dist >/dev/null
	cmake --build --preset dist -j2 -- --no-print-directory

deps:
	scripts/install-deps.sh
