// Test and screenshot helper run under Wine beside the meter: finds and pokes the meter's windows,
// its notification icons, the shared registry values, the dialog it publishes for a second start,
// and repaints Wine's notification area.
//   traytool repaint           one command from the command line, then exit
//   traytool tooltip 0         hover the leftmost icon with the pointer, print its tooltip
//   traytool dpi               the display scaling as a process started now and the shell see it
//   traytool                   commands from stdin, one per line, one answer line each on stdout
// Every Wine start costs seconds, so test drivers keep one traytool running and talk to it.
// Answers start with "ok" or "err"; window handles are printed and read as 0x-prefixed hex.
#include <windows.h>
#include <shellapi.h>

#include "app/one_meter.h"
#include "tests/tools/pdh_standin.h"
#include "tests/win32/tray_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Hex(ULONG_PTR value)
{
    char text[24];
    snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(value));
    return text;
}

std::string Handle(HWND hwnd) { return Hex(reinterpret_cast<ULONG_PTR>(hwnd)); }

struct WindowSearch {
    const char* className;
    const char* title;  // null: any title
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param)
{
    auto& search = *reinterpret_cast<WindowSearch*>(param);
    char cls[64] = "", text[128] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, search.className) != 0) return TRUE;
    if (search.title) {
        GetWindowTextA(hwnd, text, sizeof text);
        if (strcmp(text, search.title) != 0) return TRUE;
    }
    search.found.push_back(hwnd);
    return TRUE;
}

// Top-level windows of a class with an exact title, hidden ones included, in z-order.
std::vector<HWND> FindTopLevel(const char* className, const char* title)
{
    WindowSearch search{className, title, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string List(const std::vector<HWND>& windows)
{
    std::string out = "ok";
    for (HWND hwnd : windows) out += " " + Handle(hwnd);
    return out;
}

// The icon record with only the identity filled in: the owner window and the icon number.
NOTIFYICONDATAA IconRecord(HWND owner, UINT id)
{
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;  // 88, the size of the classic ANSI record
    record.hWnd = owner;
    record.uID = id;
    return record;
}

constexpr char STAT_KEY[] = "PerfStats\\StatData";
constexpr char STAT_VALUE[] = "KERNEL\\CPUUsage";
constexpr char SETTINGS_KEY[] = "Software\\Cyclowisp";
constexpr char THEME_KEY[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr char THEME_VALUE[] = "SystemUsesLightTheme";

// Writes a 4-byte value of the given type under root\\keyName, creating the key, or removes the
// value when arg is "none".
std::string SetValue(HKEY root, const char* keyName, const char* valueName, DWORD type, const char* arg)
{
    HKEY key;
    if (RegCreateKeyExA(root, keyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return std::string("err cannot open ") + keyName;
    LONG status;
    if (strcmp(arg, "none") == 0) {
        status = RegDeleteValueA(key, valueName);
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    } else {
        DWORD value = strtoul(arg, nullptr, 0);
        status = RegSetValueExA(key, valueName, 0, type, reinterpret_cast<BYTE*>(&value), sizeof value);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? "ok" : "err status " + std::to_string(status);
}

// Writes the usage sample the meter reads on every tick, or removes it ("none"). The sample is a
// 4-byte REG_BINARY; as a REG_DWORD (type "dword") it is a mistyped value, which is no reading.
std::string SetUsage(const char* arg, DWORD type = REG_BINARY)
{
    return SetValue(HKEY_DYN_DATA, STAT_KEY, STAT_VALUE, type, arg);
}

// The stored delay: "ok none", or "ok <type> <first four bytes as a number> <size>".
std::string ReadDelay()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return "ok none";
    DWORD type = 0, value = 0, size = sizeof value;
    LONG status = RegQueryValueExA(key, "Delay", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return "ok none";
    if (status != ERROR_SUCCESS) return "err status " + std::to_string(status);
    return "ok " + std::to_string(type) + " " + std::to_string(value) + " " + std::to_string(size);
}

// Writes the shell's light-or-dark taskbar flag as a REG_DWORD, or removes it ("none").
std::string SetTheme(const char* arg)
{
    return SetValue(HKEY_CURRENT_USER, THEME_KEY, THEME_VALUE, REG_DWORD, arg);
}

// Writes the user's choice of bar colour, "Bars" beside the stored delay: a REG_DWORD, or the
// same digits as a REG_SZ (type "sz", a mistyped value), or removes it ("none").
std::string SetBars(const char* arg, bool asText)
{
    if (!asText) return SetValue(HKEY_CURRENT_USER, SETTINGS_KEY, "Bars", REG_DWORD, arg);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return std::string("err cannot open ") + SETTINGS_KEY;
    const LONG status = RegSetValueExA(key, "Bars", 0, REG_SZ, reinterpret_cast<const BYTE*>(arg),
                                       static_cast<DWORD>(strlen(arg) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? "ok" : "err status " + std::to_string(status);
}

// Writes the user's choice of figure, "Measure" beside the stored delay: a REG_DWORD, or as a
// mistyped value the same number as a REG_SZ of digits ("sz") or an 8-byte REG_QWORD ("qword"),
// or removes it ("none").
std::string SetMeasure(const char* arg, const char* kind)
{
    if (strcmp(kind, "dword") == 0) return SetValue(HKEY_CURRENT_USER, SETTINGS_KEY, "Measure", REG_DWORD, arg);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return std::string("err cannot open ") + SETTINGS_KEY;
    LONG status = ERROR_INVALID_PARAMETER;
    if (strcmp(kind, "sz") == 0) {
        status = RegSetValueExA(key, "Measure", 0, REG_SZ, reinterpret_cast<const BYTE*>(arg),
                                static_cast<DWORD>(strlen(arg) + 1));
    } else if (strcmp(kind, "qword") == 0) {
        const unsigned long long value = strtoull(arg, nullptr, 0);
        status = RegSetValueExA(key, "Measure", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? "ok" : "err status " + std::to_string(status);
}

// The stand-in pdh.dll's values (pdh_standin.h): "ok none", "ok <number>" for a REG_DWORD, "ok
// <text>" for a REG_SZ.
std::string ReadStandIn(const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PDH_STANDIN_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return "ok none";
    char data[512] = "";
    DWORD type = 0, size = sizeof data - 1;
    const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND) return "ok none";
    if (status != ERROR_SUCCESS) return "err status " + std::to_string(status);
    if (type == REG_DWORD && size == 4) return "ok " + std::to_string(*reinterpret_cast<DWORD*>(data));
    if (type == REG_SZ) return std::string("ok ") + data;
    return "err type " + std::to_string(type);
}

// Every path the stand-in was loaded from, tab-separated.
std::string StandInLoads()
{
    std::string out = "ok";
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, PDH_STANDIN_LOADS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
        char name[MAX_PATH + 1];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        out += (i ? "\t" : " ") + std::string(name);
    }
    RegCloseKey(key);
    return out;
}

// The display scaling as this process and the shell see it: the system DPI and small-icon size
// (read once, when this process started), and the shell's taskbar window ("Shell_TrayWnd"), its
// title, whether it is visible, and its DPI. The DPI functions are looked up: older systems lack them.
std::string DisplayScaling()
{
    using GetDpiForSystemProc = UINT(WINAPI*)();
    using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
    const HMODULE user32 = GetModuleHandleA("user32.dll");
    const auto dpiForSystem = reinterpret_cast<GetDpiForSystemProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetDpiForSystem")));
    const auto dpiForWindow = reinterpret_cast<GetDpiForWindowProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetDpiForWindow")));
    const HWND shell = FindWindowA("Shell_TrayWnd", nullptr);
    char title[128] = "";
    if (shell) GetWindowTextA(shell, title, sizeof title);
    for (char& c : title)
        if (c == ' ') c = '_';
    char text[320];
    snprintf(text, sizeof text, "ok system=%u smicon=%d shell=%s shelldpi=%u shellvisible=%d shelltitle=%s",
             dpiForSystem ? dpiForSystem() : 0u, GetSystemMetrics(SM_CXSMICON), Handle(shell).c_str(),
             shell && dpiForWindow ? dpiForWindow(shell) : 0u, shell && IsWindowVisible(shell) ? 1 : 0,
             title[0] ? title : "-");
    return text;
}

// The Windows version that Wine reports to programs started from now on ("win10", "win7", ...),
// or Wine's default again ("none").
std::string SetWineVersion(const char* version)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return "err cannot open Software\\Wine";
    LONG status;
    if (strcmp(version, "none") == 0) {
        status = RegDeleteValueA(key, "Version");
        if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
    } else {
        status = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                static_cast<DWORD>(strlen(version) + 1));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? "ok" : "err status " + std::to_string(status);
}

// Stores the meter's default delay in tenths of a second, as its Set Default button does.
std::string WriteDelay(const char* arg)
{
    return SetValue(HKEY_CURRENT_USER, SETTINGS_KEY, "Delay", REG_DWORD, arg);
}

std::string ClearSettings()
{
    LONG status = RegDeleteKeyA(HKEY_CURRENT_USER, SETTINGS_KEY);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? "ok" : "err status " + std::to_string(status);
}

std::string State(HWND hwnd)
{
    if (!IsWindow(hwnd)) return "ok exists=0";
    RECT rc;
    GetWindowRect(hwnd, &rc);
    char text[256];
    snprintf(text, sizeof text, "ok exists=1 visible=%d iconic=%d enabled=%d foreground=%d owner=%s rect=%ld,%ld,%ld,%ld",
             IsWindowVisible(hwnd) ? 1 : 0, IsIconic(hwnd) ? 1 : 0, IsWindowEnabled(hwnd) ? 1 : 0,
             GetForegroundWindow() == hwnd ? 1 : 0, Handle(GetWindow(hwnd, GW_OWNER)).c_str(), rc.left, rc.top,
             rc.right, rc.bottom);
    return text;
}

// Visible popup menus; the window manager keeps hidden menu windows around.
std::vector<HWND> ShownMenus()
{
    std::vector<HWND> shown;
    for (HWND hwnd : FindTopLevel("#32768", nullptr))
        if (IsWindowVisible(hwnd)) shown.push_back(hwnd);
    return shown;
}

// Vertical centres (screen coordinates) of the lines of text in a window as the screen shows it:
// bands of rows holding dark pixels, 4 pixels in from the edges. Bands less than 3 rows apart (a
// mnemonic's underline) are one line. A menu's separator is a grey line and holds no text.
std::vector<int> TextLines(HWND hwnd)
{
    RECT rc;
    GetWindowRect(hwnd, &rc);
    const int width = rc.right - rc.left, height = rc.bottom - rc.top;
    std::vector<int> lines;
    if (width <= 8 || height <= 8) return lines;
    const std::vector<DWORD> pixels = ReadScreen(rc.left, rc.top, width, height);
    int top = -1, bottom = -1;
    for (int y = 4; y < height - 4; ++y) {
        bool dark = false;
        for (int x = 4; x < width - 4 && !dark; ++x) {
            const DWORD p = pixels[y * width + x];
            dark = (p & 0xFF) < 96 && ((p >> 8) & 0xFF) < 96 && ((p >> 16) & 0xFF) < 96;
        }
        if (!dark) continue;
        if (top >= 0 && y - bottom > 3) {
            lines.push_back(rc.top + (top + bottom) / 2);
            top = -1;
        }
        if (top < 0) top = y;
        bottom = y;
    }
    if (top >= 0) lines.push_back(rc.top + (top + bottom) / 2);
    return lines;
}

// Where to click item N of the open popup menu, counting only items with text (separators are
// skipped): found on the screen, which does not depend on the menu's metrics. Waits for the menu
// to open and draw, up to 10 s.
std::string MenuItemPoint(int n)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::vector<HWND> menus = ShownMenus();
        if (!menus.empty()) {
            std::vector<int> lines = TextLines(menus[0]);
            RECT rc;
            GetWindowRect(menus[0], &rc);
            if (n < static_cast<int>(lines.size()))
                return "ok " + std::to_string(rc.left + (rc.right - rc.left) / 3) + " " + std::to_string(lines[n]);
        }
        Sleep(100);
    }
    return "err no menu with item " + std::to_string(n);
}

// The running meter's published dialog and process, as a second start reads them: "ok none"
// without a running meter, else "ok <window> <process>". With two arguments, writes them instead,
// as a meter that is still starting (window 0) or one whose handle is stale would have left them.
std::string MeterSlotCommand(const char* window, const char* process)
{
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, METER_SLOT_NAME);
    if (!mapping) return "ok none";
    auto* slot =
        static_cast<MeterSlot*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(MeterSlot)));
    std::string answer = "err cannot map the meter's slot";
    if (slot && window) {
        slot->process = static_cast<DWORD>(strtoul(process, nullptr, 0));
        slot->window = static_cast<LONG>(strtoul(window, nullptr, 0));
        answer = "ok";
    } else if (slot) {
        answer = "ok " + Hex(static_cast<DWORD>(slot->window)) + " " + std::to_string(slot->process);
    }
    if (slot) UnmapViewOfFile(slot);
    CloseHandle(mapping);
    return answer;
}

HWND ParseHandle(const char* text) { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(strtoul(text, nullptr, 0))); }

ULONG_PTR ParseNumber(const char* text) { return static_cast<ULONG_PTR>(strtoul(text, nullptr, 0)); }

std::string Run(std::vector<const char*> words)
{
    if (words.empty()) return "err empty command";
    const std::string cmd = words[0];
    const size_t n = words.size() - 1;
    auto arg = [&](size_t i) { return words[i]; };

    if (cmd == "repaint" && n == 0) {
        // Wine's tray paints a new icon over the old one without erasing; a full repaint with
        // erase from any process of the prefix clears what the current icons do not cover.
        HWND tray = FindWindowA(nullptr, "Wine System Tray");
        if (!tray) return "err no tray window";
        RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return "ok";
    }
    if (cmd == "trayicons" && n == 0) {
        // Every icon of the tray as read back from the screen, left to right, each as its S rows
        // of S characters joined by '/', S being the size the shell shows: '#' black, 'W' white,
        // '.' transparent, '?' any other colour.
        std::string out = "ok";
        for (std::string picture : CaptureTrayIcons()) {
            picture.pop_back();
            for (char& c : picture)
                if (c == '\n') c = '/';
            out += " " + picture;
        }
        return out;
    }
    if (cmd == "iconrects" && n == 0) {
        // Screen rectangles of the tray's icons, left to right: where a click on icon n lands.
        std::string out = "ok";
        for (HWND icon : TrayIconWindows()) {
            RECT rc;
            GetWindowRect(icon, &rc);
            out += " " + std::to_string(rc.left) + "," + std::to_string(rc.top) + "," + std::to_string(rc.right) +
                   "," + std::to_string(rc.bottom);
        }
        return out;
    }
    if (cmd == "meters" && n == 0) return List(FindTopLevel("#32770", "Cyclowisp"));
    if (cmd == "find" && n == 1) return List(FindTopLevel(arg(1), nullptr));
    if (cmd == "abouts" && n == 0) return List(FindTopLevel("#32770", "About Cyclowisp"));
    if (cmd == "menus" && n == 0) return List(ShownMenus());
    if (cmd == "menuitem" && n == 1) return MenuItemPoint(static_cast<int>(ParseNumber(arg(1))));
    if (cmd == "state" && n == 1) return State(ParseHandle(arg(1)));
    if (cmd == "item" && n == 2) return "ok " + Handle(GetDlgItem(ParseHandle(arg(1)), static_cast<int>(ParseNumber(arg(2)))));
    if (cmd == "text" && n == 1) {
        // WM_GETTEXT, not GetWindowText: for another process's window the latter returns the
        // caption kept by the window manager, not what an edit control holds.
        char text[256] = "";
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutA(ParseHandle(arg(1)), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                                 SMTO_ABORTIFHUNG, 5000, &length))
            return "err no answer";
        return std::string("ok ") + text;
    }
    if (cmd == "send" && n == 4) {
        // With a time-out, so that a meter stuck in a modal loop cannot stall the driver.
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(ParseHandle(arg(1)), static_cast<UINT>(ParseNumber(arg(2))), ParseNumber(arg(3)),
                                 static_cast<LPARAM>(ParseNumber(arg(4))), SMTO_ABORTIFHUNG, 5000, &result))
            return "err no answer";
        return "ok " + std::to_string(static_cast<long>(result));
    }
    if (cmd == "post" && n == 4) {
        return PostMessageA(ParseHandle(arg(1)), static_cast<UINT>(ParseNumber(arg(2))), ParseNumber(arg(3)),
                            static_cast<LPARAM>(ParseNumber(arg(4))))
                   ? "ok"
                   : "err post failed";
    }
    if (cmd == "icon" && n == 2) {
        // A modify that changes nothing succeeds exactly when the shell still holds the icon.
        NOTIFYICONDATAA record = IconRecord(ParseHandle(arg(1)), static_cast<UINT>(ParseNumber(arg(2))));
        return Shell_NotifyIconA(NIM_MODIFY, &record) ? "ok 1" : "ok 0";
    }
    if (cmd == "delicon" && n == 2) {
        NOTIFYICONDATAA record = IconRecord(ParseHandle(arg(1)), static_cast<UINT>(ParseNumber(arg(2))));
        return Shell_NotifyIconA(NIM_DELETE, &record) ? "ok" : "err delete failed";
    }
    if (cmd == "taskbarcreated" && n == 0) {
        // What a newly started shell does: tell every top-level window that the icons are gone.
        UINT message = RegisterWindowMessageA("TaskbarCreated");
        return message && PostMessageA(HWND_BROADCAST, message, 0, 0) ? "ok" : "err broadcast failed";
    }
    if (cmd == "settingchange" && n == 0) {
        // What the shell does when the user switches between a light and a dark taskbar.
        DWORD_PTR ignored;
        return SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("ImmersiveColorSet"),
                                   SMTO_ABORTIFHUNG, 5000, &ignored)
                   ? "ok"
                   : "err broadcast failed";
    }
    if (cmd == "theme" && n == 1) return SetTheme(arg(1));
    if (cmd == "bars" && n == 1) return SetBars(arg(1), false);
    if (cmd == "bars" && n == 2 && strcmp(arg(2), "sz") == 0) return SetBars(arg(1), true);
    if (cmd == "order" && n == 1) return SetValue(HKEY_CURRENT_USER, SETTINGS_KEY, "Order", REG_DWORD, arg(1));
    if (cmd == "measure" && n == 1) return SetMeasure(arg(1), "dword");
    if (cmd == "measure" && n == 2) return SetMeasure(arg(1), arg(2));
    if (cmd == "pdh" && n == 3 && strcmp(arg(1), "set") == 0)
        return SetValue(HKEY_CURRENT_USER, PDH_STANDIN_KEY, arg(2), REG_DWORD, arg(3));
    if (cmd == "pdh" && n == 2 && strcmp(arg(1), "get") == 0) return ReadStandIn(arg(2));
    if (cmd == "pdh" && n == 1 && strcmp(arg(1), "loads") == 0) return StandInLoads();
    if (cmd == "pdh" && n == 1 && strcmp(arg(1), "clear") == 0) {
        const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, PDH_STANDIN_KEY);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? "ok" : "err status " + std::to_string(status);
    }
    if (cmd == "dpi" && n == 0) return DisplayScaling();
    if (cmd == "logpixels" && n == 1) {
        // The DPI that processes started from now on use (Wine reads it once, at a process's start).
        return SetValue(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", REG_DWORD, arg(1));
    }
    if (cmd == "traywindow" && n == 0) {
        // Wine's own tray window while it shows icons, or 0x0: the icons dock into an X tray panel.
        HWND tray = FindWineTray();
        return "ok " + Handle(tray && IsWindowVisible(tray) ? tray : nullptr);
    }
    if (cmd == "usage" && n == 1) return SetUsage(arg(1));
    if (cmd == "usage" && n == 2 && strcmp(arg(2), "dword") == 0) return SetUsage(arg(1), REG_DWORD);
    if (cmd == "tooltip" && n == 1) {
        // Hovers icon SLOT with the pointer and answers the tooltip's text, or "(none)".
        return "ok " + HoverTooltip(static_cast<size_t>(ParseNumber(arg(1))));
    }
    if (cmd == "balloons" && n == 0) {
        std::string out = "ok";
        // Their texts, apart by a record separator (0x1E).
        for (const std::string& balloon : ShownBalloons()) out += (out == "ok" ? " " : "\x1e") + balloon;
        return out;
    }
    if (cmd == "wineversion" && n == 1) return SetWineVersion(arg(1));
    if (cmd == "tooltips" && n == 0) {
        // The tooltips on the screen now (after the caller moved the pointer), tab-separated.
        std::string out = "ok";
        const std::vector<std::string> texts = ShownTooltips();
        for (size_t i = 0; i < texts.size(); ++i) out += (i ? "\t" : " ") + texts[i];
        return out;
    }
    if (cmd == "meterslot" && n == 0) return MeterSlotCommand(nullptr, nullptr);
    if (cmd == "meterslot" && n == 2) return MeterSlotCommand(arg(1), arg(2));
    if (cmd == "delay" && n == 0) return ReadDelay();
    if (cmd == "setdelay" && n == 1) return WriteDelay(arg(1));
    if (cmd == "cleardelay" && n == 0) return ClearSettings();
    return "err unknown command: " + cmd;
}

std::vector<const char*> Split(char* line)
{
    std::vector<const char*> words;
    for (char* word = strtok(line, " \t\r\n"); word; word = strtok(nullptr, " \t\r\n")) words.push_back(word);
    return words;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        std::string answer = Run(std::vector<const char*>(argv + 1, argv + argc));
        puts(answer.c_str());
        return answer.compare(0, 2, "ok") == 0 ? 0 : 1;
    }
    char line[1024];
    while (fgets(line, sizeof line, stdin)) {
        std::vector<const char*> words = Split(line);
        if (words.size() == 1 && strcmp(words[0], "quit") == 0) break;
        std::string answer = Run(words);
        fputs((answer + "\n").c_str(), stdout);
        fflush(stdout);
    }
    return 0;
}
