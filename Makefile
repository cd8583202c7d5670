# The two commands of the README: `make run` and `make test`. Each installs what is missing first.
.PHONY: run test bench tickbench deps

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

deps:
	scripts/install-deps.sh
