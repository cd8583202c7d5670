// The taskbar's look: its icon size at its own DPI, and the bars' colour from the user's choice,
// a contrast theme, the taskbar flag, the version and desktop composition.
#include "notify/taskbar.h"

#include <cstring>

#include "core/barcolour.h"
#include "core/strip.h"
#include "settings/settings.h"
#include "settings/system.h"

namespace {

// Where the shell says whether its taskbar is light or dark.
const char THEME_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
const char THEME_VALUE[] = "SystemUsesLightTheme";

using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);

// Whether desktop composition is on: the glass taskbar of Windows Vista and 7 (Aero) and the
// tinted one of 8 and 8.1. Asked only there; dwmapi.dll is loaded the first time it is needed.
bool CompositionOn()
{
    using DwmIsCompositionEnabledProc = HRESULT(WINAPI*)(BOOL*);
    static bool looked;
    static DwmIsCompositionEnabledProc isEnabled;
    if (!looked) {
        looked = true;
        const HMODULE dwmapi = LoadSystemLibrary("dwmapi.dll");
        if (dwmapi)
            isEnabled = reinterpret_cast<DwmIsCompositionEnabledProc>(
                reinterpret_cast<void (*)()>(GetProcAddress(dwmapi, "DwmIsCompositionEnabled")));
    }
    BOOL enabled = FALSE;
    return isEnabled && SUCCEEDED(isEnabled(&enabled)) && enabled;
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
    const SystemVersion& version = RealSystemVersion();
    inputs.majorVersion = version.major;
    inputs.minorVersion = version.minor;
    inputs.buildNumber = version.build;
    inputs.composition = version.major == 6 && version.minor <= 3 && CompositionOn();
    return BarsAreWhite(inputs);
}

}  // namespace

int (*g_iconSizeSource)() = TaskbarIconSize;
UINT (*g_taskbarDpiSource)() = TaskbarWindowDpi;

// (GetDpiForShellUIComponent would say the same more directly, but Wine has only a stub of it
// that raises an exception.)
UINT TaskbarWindowDpi()
{
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    const auto dpiForWindow = FindProc<GetDpiForWindowProc>("user32.dll", "GetDpiForWindow");
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    return dpiForWindow && taskbar ? dpiForWindow(taskbar) : 0;
}

int TaskbarIconSize()
{
    const auto metricsForDpi = FindProc<GetSystemMetricsForDpiProc>("user32.dll", "GetSystemMetricsForDpi");
    const UINT dpi = metricsForDpi ? g_taskbarDpiSource() : 0;
    return dpi != 0 ? metricsForDpi(SM_CXSMICON, dpi) : GetSystemMetrics(SM_CXSMICON);
}

TaskbarLook MeasureTaskbar()
{
    return {ClampIconSize(g_iconSizeSource()), DecideWhiteBars()};
}
