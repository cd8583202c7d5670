// Task Manager's figure, "% Processor Utility", from the performance data helper (pdh.dll).
#pragma once

#include <cstdint>

// Opens the counter: pdh.dll from the system directory, a query and the counter by its English
// path, and collects once, so that the first read after the opening has a value. False, with
// nothing left open, where any of it is missing (before Windows 8, a broken counter store, Wine's
// own pdh.dll). Opening an open counter keeps it.
bool OpenUtilityCounter();
void CloseUtilityCounter();
bool UtilityCounterOpen();

enum class UtilityReading {
    Value,    // usage holds the figure, capped at 100 as Task Manager caps it
    NotYet,   // the first collection, where the one at the opening failed: a rate has no value
              // until its second
    Missing,  // no value this time
};

// One collection of the open counter, and its value.
UtilityReading ReadUtilityCounter(uint32_t& usage);
