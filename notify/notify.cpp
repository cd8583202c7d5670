// The three notification icons: added with the baseline, refreshed by every sample cycle.
#include "notify/notify.h"

#include <cstring>

#include "core/decimal.h"
#include "core/history.h"
#include "core/strip.h"
#include "stats/stats.h"

HINSTANCE g_hInstance;

namespace {

// The classic ANSI record: every shell accepts it, and its tooltip holds 64 bytes.
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the classic NOTIFYICONDATAA is 88 bytes");
constexpr DWORD RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;
constexpr int TIP_BYTES = 64;

// The tooltip of the last sample cycle, for adding the icons again after a shell restart.
char g_lastTip[TIP_BYTES];

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = RECORD_SIZE;
    record.hWnd = hwnd;
    record.uFlags = flags;
}

HICON CreateStripIcon(const unsigned char* andMask)
{
    return CreateIcon(g_hInstance, ICON_SIZE, ICON_SIZE, 1, 1, andMask, BLANK_XOR_MASK);
}

// One shell call per icon, uID 0, 1, 2 in order, each with a fresh icon from its mask that is
// destroyed as soon as the shell has made its own copy.
void SendStripIcons(DWORD message, NOTIFYICONDATAA& record, const StripMasks masks)
{
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        record.uID = id;
        record.hIcon = CreateStripIcon(masks + id * ICON_MASK_BYTES);
        Shell_NotifyIconA(message, &record);
        if (record.hIcon) DestroyIcon(record.hIcon);
    }
}

}  // namespace

void FillSampleRecord(NOTIFYICONDATAA& record, HWND hwnd, bool haveReading, uint32_t usage)
{
    FillRecord(record, hwnd, NIF_ICON | NIF_TIP);
    if (haveReading) strcpy(FormatDecimal(record.szTip, static_cast<int32_t>(usage)), " %");
}

void AddStripIcons(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, NIF_MESSAGE | NIF_ICON);
    record.uCallbackMessage = WM_NOTIFYICON;
    record.hIcon = CreateStripIcon(BASELINE_AND_MASK);
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        record.uID = id;
        Shell_NotifyIconA(NIM_ADD, &record);
    }
    if (record.hIcon) DestroyIcon(record.hIcon);
}

void OnSampleTimer(HWND hwnd)
{
    uint32_t usage = 0;
    const bool haveReading = ReadProcessorUsage(usage);
    if (haveReading) HistoryPush(HeadroomFromUsage(usage));
    NOTIFYICONDATAA record;
    FillSampleRecord(record, hwnd, haveReading, usage);
    memcpy(g_lastTip, record.szTip, TIP_BYTES);
    StripMasks masks;
    BuildStripMasks(masks);
    SendStripIcons(NIM_MODIFY, record, masks);
}

void RemoveStripIcons(HWND hwnd)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, 0);
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        record.uID = id;
        Shell_NotifyIconA(NIM_DELETE, &record);
    }
}

void RestoreStripIcons(HWND hwnd)
{
    // A restarted shell holds none of the icons: add them again with what they showed, without
    // taking a sample out of turn.
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    record.uCallbackMessage = WM_NOTIFYICON;
    memcpy(record.szTip, g_lastTip, TIP_BYTES);
    StripMasks masks;
    BuildStripMasks(masks);
    SendStripIcons(NIM_ADD, record, masks);
}
