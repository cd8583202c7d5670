// The three notification icons: added with the baseline, refreshed by every sample cycle, drawn at
// the taskbar's icon size in bars that contrast with it, and added again whenever the shell may
// have lost them.
#include "notify/notify.h"

#include <cstring>

#include "core/barcolour.h"
#include "core/decimal.h"
#include "core/history.h"
#include "core/probe.h"
#include "core/strip.h"
#include "settings/settings.h"
#include "stats/stats.h"

HINSTANCE g_hInstance;

namespace {

// The classic ANSI record: every shell accepts it, and its tooltip holds 64 bytes.
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the classic NOTIFYICONDATAA is 88 bytes");
constexpr DWORD RECORD_SIZE = NOTIFYICONDATAA_V1_SIZE;
constexpr int TIP_BYTES = 64;
static_assert(USAGE_TIP_CHARS <= TIP_BYTES, "every tooltip fits the record");

// Where the shell says whether its taskbar is light or dark.
const char THEME_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const char THEME_VALUE[] = "SystemUsesLightTheme";

// What the shell accepted last for one icon. A tick sends only what differs from it, since
// nearly all the cost of a tick lies in the shell making and drawing its copy of an icon.
struct ShellCopy {
    bool known;  // false: the shell's copy may differ from anything remembered here
    bool white;
    int size;
    unsigned char andMask[MAX_ICON_MASK_BYTES];
    char tip[TIP_BYTES];
};

ShellCopy g_shellCopy[STRIP_ICONS];
uint32_t g_lastAccepted[STRIP_ICONS];  // GetTickCount of the shell's last accepted call per icon
int g_iconSize = MIN_ICON_SIZE;        // pixels square, at the taskbar's DPI
bool g_whiteBars;                      // the bars' colour: white where black would not stand out
bool g_restorePending;                 // the shell refused or lost an icon: the next tick adds all three again
char g_tip[TIP_BYTES];                 // the tooltip of the last sample cycle
uint32_t g_majorVersion, g_buildNumber;  // the system's real version, read once; 0 when unknown

// A function that a system older than Windows 10 may lack, looked up at run time so that the
// program still loads on every system back to Windows 95.
template <typename Proc>
Proc FindProc(const char* module, const char* name)
{
    const HMODULE handle = GetModuleHandleA(module);
    if (!handle) return nullptr;
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

// The small-icon size at the DPI of the taskbar, which is what the notification area draws its
// icons at; the system's small-icon size where the taskbar or the functions for it are missing.
// (GetDpiForShellUIComponent would say the same more directly, but Wine has only a stub of it
// that raises an exception.)
int TaskbarIconSize()
{
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);
    const auto dpiForWindow = FindProc<GetDpiForWindowProc>("user32.dll", "GetDpiForWindow");
    const auto metricsForDpi = FindProc<GetSystemMetricsForDpiProc>("user32.dll", "GetSystemMetricsForDpi");
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    if (dpiForWindow && metricsForDpi && taskbar) {
        const UINT dpi = dpiForWindow(taskbar);
        if (dpi != 0) return metricsForDpi(SM_CXSMICON, dpi);
    }
    return GetSystemMetrics(SM_CXSMICON);
}

// The real version: GetVersionEx reports Windows 8 to a program whose manifest the system does
// not know, RtlGetVersion does not. Missing before Windows 2000.
void ReadSystemVersion()
{
    using RtlGetVersionProc = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);
    const auto rtlGetVersion = FindProc<RtlGetVersionProc>("ntdll.dll", "RtlGetVersion");
    RTL_OSVERSIONINFOW version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion && rtlGetVersion(&version) == 0) {
        g_majorVersion = version.dwMajorVersion;
        g_buildNumber = version.dwBuildNumber;
    } else {
        g_majorVersion = g_buildNumber = 0;
    }
}

bool DecideWhiteBars()
{
    BarColourInputs inputs = {};
    inputs.choice = LoadBarsChoice();
    HIGHCONTRASTA contrast;
    memset(&contrast, 0, sizeof contrast);
    contrast.cbSize = sizeof contrast;
    inputs.highContrast = SystemParametersInfoA(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) &&
                          (contrast.dwFlags & HCF_HIGHCONTRASTON);
    inputs.windowText = GetSysColor(COLOR_WINDOWTEXT);
    DWORD flag;
    inputs.theme = !ReadUserDword(THEME_KEY, THEME_VALUE, flag) ? TaskbarTheme::Unknown
                   : flag == 0                                  ? TaskbarTheme::Dark
                                                                : TaskbarTheme::Light;
    inputs.majorVersion = g_majorVersion;
    inputs.buildNumber = g_buildNumber;
    return BarsAreWhite(inputs);
}

void FillRecord(NOTIFYICONDATAA& record, HWND hwnd, UINT id, UINT flags)
{
    memset(&record, 0, sizeof record);
    record.cbSize = RECORD_SIZE;
    record.hWnd = hwnd;
    record.uID = id;
    record.uFlags = flags;
}

HICON CreateStripIcon(const unsigned char* andMask)
{
    unsigned char whiteXor[MAX_ICON_MASK_BYTES];
    if (g_whiteBars) BuildWhiteXorMask(andMask, whiteXor, g_iconSize);
    return CreateIcon(g_hInstance, g_iconSize, g_iconSize, 1, 1, andMask, g_whiteBars ? whiteXor : BLANK_XOR_MASK);
}

// A call the shell refused: it may no longer hold the icon, so the next tick adds all three again.
void Refused(UINT id)
{
    g_shellCopy[id].known = false;
    g_restorePending = true;
}

// One shell call for icon id: NIM_ADD or NIM_MODIFY with the fields in flags, a fresh icon from
// the mask (destroyed as soon as the shell has made its own copy) and the current tooltip. What
// the shell took is remembered; a refusal leaves the icon unknown and asks for a restore.
void SendIcon(HWND hwnd, DWORD message, UINT id, UINT flags, const unsigned char* andMask)
{
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, id, flags);
    record.uCallbackMessage = WM_NOTIFYICON;  // looked at only with NIF_MESSAGE
    if (flags & NIF_ICON) record.hIcon = CreateStripIcon(andMask);
    if (flags & NIF_TIP) memcpy(record.szTip, g_tip, TIP_BYTES);
    const bool taken = Shell_NotifyIconA(message, &record) != FALSE;
    if (record.hIcon) DestroyIcon(record.hIcon);
    if (!taken) {
        Refused(id);
        return;
    }

    ShellCopy& copy = g_shellCopy[id];
    g_lastAccepted[id] = GetTickCount();
    if (message == NIM_ADD) {
        // A new icon starts from nothing: what was not sent is empty.
        copy.known = true;
        copy.tip[0] = '\0';
    }
    if (flags & NIF_ICON) {
        copy.white = g_whiteBars;
        copy.size = g_iconSize;
        memcpy(copy.andMask, andMask, IconMaskBytes(g_iconSize));
    }
    if (flags & NIF_TIP) memcpy(copy.tip, g_tip, TIP_BYTES);
}

void DeleteIcons(HWND hwnd)
{
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        NOTIFYICONDATAA record;
        FillRecord(record, hwnd, id, 0);
        Shell_NotifyIconA(NIM_DELETE, &record);  // refused for an icon the shell does not hold
        g_shellCopy[id].known = false;
    }
}

// Deletes whatever of the three icons the shell may still hold and adds all three again in uID
// order, so that the graph reads left to right, with the current picture, colour and tooltip.
// One that the shell refuses keeps the restore pending for the next tick.
void RestoreIcons(HWND hwnd, const StripMasks masks)
{
    g_restorePending = false;
    DeleteIcons(hwnd);
    for (UINT id = 0; id < STRIP_ICONS; ++id)
        SendIcon(hwnd, NIM_ADD, id, NIF_MESSAGE | NIF_ICON | NIF_TIP, masks + id * IconMaskBytes(g_iconSize));
}

// Brings the shell's three icons to the current picture and tooltip: a restore when one is
// pending, otherwise per icon nothing, the tooltip alone, or a new icon (and the tooltip when it
// changed). Takes no sample.
void ShowStripIcons(HWND hwnd)
{
    StripMasks masks;
    BuildStripMasks(masks, g_iconSize);
    if (g_restorePending) {
        RestoreIcons(hwnd, masks);
        return;
    }
    const int maskBytes = IconMaskBytes(g_iconSize);
    for (UINT id = 0; id < STRIP_ICONS; ++id) {
        const unsigned char* andMask = masks + id * maskBytes;
        const ShellCopy& copy = g_shellCopy[id];
        UINT flags = 0;
        if (!copy.known || copy.white != g_whiteBars || copy.size != g_iconSize ||
            memcmp(copy.andMask, andMask, maskBytes) != 0)
            flags |= NIF_ICON;
        if (!copy.known || strcmp(copy.tip, g_tip) != 0) flags |= NIF_TIP;
        if (flags) SendIcon(hwnd, NIM_MODIFY, id, flags, andMask);
    }
}

// On a tick that left an icon untouched for a while, asks the shell whether it still holds it: a
// modify with no fields changes nothing and fails for an icon the shell does not hold.
void ProbeOneIcon(HWND hwnd)
{
    if (g_restorePending) return;
    const uint32_t now = GetTickCount();
    const int id = IconToProbe(g_lastAccepted, now);
    if (id < 0) return;
    NOTIFYICONDATAA record;
    FillRecord(record, hwnd, static_cast<UINT>(id), 0);
    if (Shell_NotifyIconA(NIM_MODIFY, &record)) g_lastAccepted[id] = now;
    else Refused(static_cast<UINT>(id));
}

// Reads the icon size and the bar colour again; true when either changed. Everything is sent
// again then, as after any change that the shell's copy may not have followed.
bool MeasureTaskbar()
{
    const int size = ClampIconSize(g_iconSizeSource());
    const bool white = DecideWhiteBars();
    if (size == g_iconSize && white == g_whiteBars) return false;
    g_iconSize = size;
    g_whiteBars = white;
    for (ShellCopy& copy : g_shellCopy) copy.known = false;
    return true;
}

}  // namespace

int (*g_iconSizeSource)() = TaskbarIconSize;

int StripIconSize()
{
    return g_iconSize;
}

void AddStripIcons(HWND hwnd)
{
    ReadSystemVersion();
    MeasureTaskbar();
    g_restorePending = false;
    g_tip[0] = '\0';
    for (ShellCopy& copy : g_shellCopy) copy.known = false;
    // The baseline picture, no tooltip until the first sample cycle.
    unsigned char baseline[MAX_ICON_MASK_BYTES];
    BuildBaselineMask(baseline, g_iconSize);
    for (UINT id = 0; id < STRIP_ICONS; ++id) SendIcon(hwnd, NIM_ADD, id, NIF_MESSAGE | NIF_ICON, baseline);
}

void OnSampleTimer(HWND hwnd)
{
    uint32_t usage = 0;
    const bool haveReading = ReadProcessorUsage(usage);
    if (haveReading) HistoryPush(usage);
    FormatUsageTip(g_tip, haveReading, usage);
    ShowStripIcons(hwnd);
    ProbeOneIcon(hwnd);
}

void RemoveStripIcons(HWND hwnd)
{
    g_restorePending = false;
    DeleteIcons(hwnd);
}

void RestoreStripIcons(HWND hwnd)
{
    // A new shell may draw its icons at another size (Windows restarts the taskbar when the
    // display's scaling changes) and in other colours.
    MeasureTaskbar();
    g_restorePending = true;
    ShowStripIcons(hwnd);
}

void FollowTaskbar(HWND hwnd)
{
    if (MeasureTaskbar()) ShowStripIcons(hwnd);
}
