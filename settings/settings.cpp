// The sampling delay: the slider holds it, the label and the timer follow it, HKCU stores it;
// beside it the user's choices of bar colour, of the figure shown and of the icons' order, which
// only the user writes.
#include "settings/settings.h"

#include <commctrl.h>

#include "core/barcolour.h"
#include "core/decimal.h"
#include "core/iconorder.h"
#include "res/resource.h"
#include "settings/system.h"

namespace {

const char SETTINGS_KEY[] = "Software\\Cyclowisp";
const char DELAY_VALUE[] = "Delay";
const char BARS_VALUE[] = "Bars";
const char MEASURE_VALUE[] = "Measure";
const char ORDER_VALUE[] = "Order";
char KEY_CLASS[] = " ";  // RegCreateKeyExA takes the class as a non-const string
const int DEFAULT_POS = 5;

LRESULT SendToSlider(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageA(GetDlgItem(hwnd, IDC_DELAY), message, wParam, lParam);
}

int DelayPos(HWND hwnd)
{
    return static_cast<int>(SendToSlider(hwnd, TBM_GETPOS, 0, 0));
}

}  // namespace

void InitDelaySlider(HWND hwnd, int pos)
{
    SendToSlider(hwnd, TBM_SETRANGE, FALSE, MAKELONG(1, 50));
    SendToSlider(hwnd, TBM_SETTICFREQ, 5, 1);
    // The trackbar clamps pos to its range; the label, the timer and a save use what it kept.
    SendToSlider(hwnd, TBM_SETPOS, TRUE, pos);
    ShowDelayText(hwnd);
}

void ShowDelayText(HWND hwnd)
{
    const int pos = DelayPos(hwnd);
    char text[2 * DECIMAL_CHARS];
    char* end = FormatDecimal(text, pos / 10);
    *end++ = '.';
    FormatDecimal(end, pos % 10);
    SetDlgItemTextA(hwnd, IDC_DELAYTEXT, text);
}

void ArmSampleTimer(HWND hwnd)
{
    // Setting timer 0 again replaces the running one, so the new period counts from now.
    const UINT period = static_cast<UINT>(DelayPos(hwnd)) * 100u;
    if (period == 0) return;
    // From Windows 8 on, a tenth of the delay's leeway lets Windows wake the processor for the
    // meter together with others' timers; the ticks still come every delay on average.
    using SetCoalescableTimerProc = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC, ULONG);
    const auto setCoalescable = FindProc<SetCoalescableTimerProc>("user32.dll", "SetCoalescableTimer");
    if (!setCoalescable || !setCoalescable(hwnd, 0, period, nullptr, period / 10)) SetTimer(hwnd, 0, period, nullptr);
}

bool ReadUserDword(const char* keyName, const char* valueName, DWORD& value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // Zeroed and checked for exactly 4 bytes: a shorter value would leave bytes that were never
    // written, and a longer one does not fit and fails the query.
    DWORD type = 0;
    DWORD read = 0;
    DWORD size = sizeof read;
    const LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof read) return false;
    value = read;
    return true;
}

void LoadDelay(HWND hwnd)
{
    DWORD value;
    if (ReadUserDword(SETTINGS_KEY, DELAY_VALUE, value)) {
        // No range check here: an out-of-range value is clamped by the slider and the stored
        // value stays as the user left it.
        InitDelaySlider(hwnd, static_cast<int>(value));
        return;
    }
    // Missing, unreadable or mistyped: use the default and store it at once.
    InitDelaySlider(hwnd, DEFAULT_POS);
    SaveDelay(hwnd);
}

bool DelayIsStored()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    // Asked without a buffer: only whether the value is there.
    const LONG status = RegQueryValueExA(key, DELAY_VALUE, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

uint32_t LoadBarsChoice()
{
    DWORD value;
    const bool stored = ReadUserDword(SETTINGS_KEY, BARS_VALUE, value);
    return stored && (value == BARS_BLACK || value == BARS_WHITE) ? value : BARS_AUTOMATIC;
}

uint32_t LoadMeasureChoice()
{
    DWORD value;
    return ReadUserDword(SETTINGS_KEY, MEASURE_VALUE, value) && value == MEASURE_UTILITY ? MEASURE_UTILITY
                                                                                        : MEASURE_BUSY_TIME;
}

uint32_t LoadOrderChoice()
{
    DWORD value;
    const bool stored = ReadUserDword(SETTINGS_KEY, ORDER_VALUE, value);
    return stored && (value == ORDER_ADDING || value == ORDER_REVERSED) ? value : ORDER_AUTOMATIC;
}

void SaveDelay(HWND hwnd)
{
    HKEY key;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_CLASS, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return;
    }
    // An existing key is written through a handle that asks for no more than writing.
    if (disposition == REG_OPENED_EXISTING_KEY) {
        RegCloseKey(key);
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_WRITE, &key) != ERROR_SUCCESS) {
            return;
        }
    }
    const DWORD pos = static_cast<DWORD>(DelayPos(hwnd));
    RegSetValueExA(key, DELAY_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pos),
                   sizeof pos);
    RegCloseKey(key);
}
