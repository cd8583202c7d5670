// The processor-usage statistic: started once, read once per tick, stopped once.
#pragma once

#include <cstdint>

// Ten passes of the start reads, before the meter dialog exists.
void PrimeProcessorStats();

// One sample in percent; false when there is no good reading this time.
bool ReadProcessorUsage(uint32_t& usage);

// The stop read, after the meter dialog has ended.
void StopProcessorStats();
