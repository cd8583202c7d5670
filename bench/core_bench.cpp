// What every tick of the meter costs in the core: rendering the masks, and a push plus render.
#include "core/history.h"
#include "core/strip.h"

#include <benchmark/benchmark.h>

namespace {

// A busy history: every column height occurs, so no branch is always taken.
void FillHistory()
{
    HistoryReset();
    for (int i = 0; i < HISTORY_LENGTH; ++i) HistoryPush(HeadroomFromUsage(static_cast<uint32_t>(i * 37 % 101)));
}

void BM_BuildStripMasks(benchmark::State& state)
{
    FillHistory();
    StripMasks masks;
    for (auto _ : state) {
        BuildStripMasks(masks);
        benchmark::DoNotOptimize(masks);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_BuildStripMasks);

void BM_PushAndRender(benchmark::State& state)
{
    FillHistory();
    StripMasks masks;
    uint32_t usage = 0;
    for (auto _ : state) {
        HistoryPush(HeadroomFromUsage(usage));
        BuildStripMasks(masks);
        benchmark::DoNotOptimize(masks);
        benchmark::ClobberMemory();
        usage = usage == 100 ? 0 : usage + 1;
    }
}
BENCHMARK(BM_PushAndRender);

}  // namespace
