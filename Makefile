# The two commands of the README: `make run` and `make test`. Each installs what is missing first.
.PHONY: run test bench deps

run: deps
	scripts/run.sh

test: deps
	scripts/test.sh

# Figures for the core's hot path (Google Benchmark, native Release build).
bench: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j2 --target core_bench
	build/native/bench/core_bench

deps:
	scripts/install-deps.sh
