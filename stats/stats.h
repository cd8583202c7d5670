// The processor-usage statistic: started once, read once per tick, stopped once.
#pragma once

#include <cstdint>

// Ten passes of the start reads, before the meter dialog exists; the user's choice of figure;
// the first snapshot of the processor times.
void PrimeProcessorStats();

// One sample in percent; false when there is no good reading this time.
bool ReadProcessorUsage(uint32_t& usage);

// The stop read, after the meter dialog has ended.
void StopProcessorStats();

// Reads the user's stored "Measure" again and opens or closes Task Manager's figure to match;
// at start (from PrimeProcessorStats) and on every settings-change broadcast. A figure that could
// not be opened is tried again only once the stored choice has been something else.
void FollowMeasureChoice();
