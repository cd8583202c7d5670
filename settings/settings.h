// The sampling delay: the slider in tenths of a second, its label, the timer and the stored default;
// and the user's stored choices of bar colour, of the figure shown and of the icons' order.
#pragma once

#include <windows.h>

#include <cstdint>

void InitDelaySlider(HWND hwnd, int pos);  // range 1..50, ticks every 5, position, label
void ShowDelayText(HWND hwnd);             // "0.5" for position 5
void ArmSampleTimer(HWND hwnd);            // timer 0 at position x 100 ms
void LoadDelay(HWND hwnd);                 // stored "Delay", or 5 (and store it)
void SaveDelay(HWND hwnd);                 // store the current position as "Delay"

// Whether any "Delay" value is stored, of whatever type: none before the first start for this
// user, which stores the default.
bool DelayIsStored();

// The stored "Bars" value beside the delay: BARS_BLACK, BARS_WHITE or, for anything else, a
// missing value and one that is not a 4-byte REG_DWORD included, BARS_AUTOMATIC. The program
// never writes it.
uint32_t LoadBarsChoice();

// The stored "Measure" value beside the delay: MEASURE_UTILITY (1), Task Manager's figure, or for
// anything else, a missing value and one that is not a 4-byte REG_DWORD included, MEASURE_BUSY_TIME,
// the time-based busy share. The program never writes it.
constexpr uint32_t MEASURE_BUSY_TIME = 0;
constexpr uint32_t MEASURE_UTILITY = 1;
uint32_t LoadMeasureChoice();

// The stored "Order" value beside the delay: ORDER_ADDING (1), uID 0 always shows the oldest
// third, ORDER_REVERSED (2), uID 2 does, or for anything else, a missing value and one that is not
// a 4-byte REG_DWORD included, ORDER_AUTOMATIC, the order the shell reports. For taskbars that
// cannot tell. The program never writes it.
uint32_t LoadOrderChoice();

// A 4-byte REG_DWORD of HKEY_CURRENT_USER; false, value untouched, when the key or the value is
// missing or the value has any other type or size.
bool ReadUserDword(const char* keyName, const char* valueName, DWORD& value);
