// What every tick of the meter costs in the core: rendering the masks, and a push plus render, at
// the icon sizes of 100, 150 and 200 % display scaling.
#include "core/history.h"
#include "core/strip.h"

#include <benchmark/benchmark.h>

namespace {

// A busy history: every column height occurs, so no branch is always taken.
void FillHistory()
{
    HistoryReset();
    for (int i = 0; i < HISTORY_LENGTH; ++i) HistoryPush(static_cast<uint32_t>(i * 37 % 101));
}

void BM_BuildStripMasks(benchmark::State& state)
{
    FillHistory();
    StripMasks masks;
    const int size = static_cast<int>(state.range(0));
    for (auto _ : state) {
        BuildStripMasks(masks, size);
        benchmark::DoNotOptimize(masks);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildStripMasks)->Arg(16)->Arg(24)->Arg(32);

void BM_PushAndRender(benchmark::State& state)
{
    FillHistory();
    StripMasks masks;
    const int size = static_cast<int>(state.range(0));
    uint32_t usage = 0;
    for (auto _ : state) {
        HistoryPush(usage);
        BuildStripMasks(masks, size);
        benchmark::DoNotOptimize(masks);
        benchmark::ClobberMemory();
        usage = usage == 100 ? 0 : usage + 1;
    }
}
BENCHMARK(BM_PushAndRender)->Arg(16)->Arg(24)->Arg(32);

}  // namespace
