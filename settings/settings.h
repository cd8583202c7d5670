// The sampling delay: the slider in tenths of a second, its label, the timer and the stored default.
#pragma once

#include <windows.h>

void InitDelaySlider(HWND hwnd, int pos);  // range 1..50, ticks every 5, position, label
void ShowDelayText(HWND hwnd);             // "0.5" for position 5
void ArmSampleTimer(HWND hwnd);            // timer 0 at position x 100 ms
void LoadDelay(HWND hwnd);                 // stored "Delay", or 5 (and store it)
void SaveDelay(HWND hwnd);                 // store the current position as "Delay"
