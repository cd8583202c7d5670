# The README's two set-up commands, `make run` and `make test`, and for builders `make dist` and
# `make bench`. Each installs what is missing first.
.PHONY: run test bench dist deps

run: deps
	scripts/run.sh

test: deps
	scripts/test.sh

# Figures for the core's hot path (Google Benchmark, native Release build).
bench: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j2 --target core_bench
	build/native/bench/core_bench

# The release package: build/dist/cyclowisp-<version>-win32.zip and SHA256SUMS (paths printed).
dist: deps
	cmake --preset dist >/dev/null
	cmake --build --preset dist -j2 -- --no-print-directory

deps:
	scripts/install-deps.sh
