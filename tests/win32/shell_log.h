// The meter's shell calls as the shell gets them, written down one line each, and passed on to
// the real shell: the tests put LoggingNotify into the meter's seam (g_shellCalls) to see what
// a tick, a switch or a report costs the shell, not only what the tray shows afterwards.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

#include "notify/shell.h"

// One call: "modify 2 icon(16 black) tip", "ask 1" (a modify with no fields), "add 0 icon(24
// white)", "delete 2"; with " refused" when the shell said no.
inline std::vector<std::string> g_shellLog;

// Runs once, inside the next call, before the shell gets it: as a message that Windows
// delivers to the meter while the call waits on the shell.
inline std::function<void()> g_duringNextCall;

// The size and colour of an icon the meter made: its mask bitmap is the AND rows above the XOR
// rows, and white bars have XOR bits set.
inline std::string IconLook(HICON icon)
{
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return "icon(none)";
    BITMAP bm = {};
    GetObjectA(info.hbmMask, sizeof bm, &bm);
    std::vector<BYTE> bits(static_cast<size_t>(bm.bmWidthBytes) * bm.bmHeight);
    GetBitmapBits(info.hbmMask, static_cast<LONG>(bits.size()), bits.data());
    bool white = false;
    for (size_t i = bits.size() / 2; i < bits.size(); ++i) white = white || bits[i] != 0;
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return "icon(" + std::to_string(bm.bmWidth) + (white ? " white)" : " black)");
}

inline std::string DescribeCall(DWORD message, const NOTIFYICONDATAA& record)
{
    const std::string id = std::to_string(record.uID);
    if (message == NIM_DELETE) return "delete " + id;
    if (message == NIM_MODIFY && record.uFlags == 0) return "ask " + id;
    if (message == NIM_MODIFY && record.uFlags == NIF_INFO) {
        // The balloon's record is the larger one; its fields lie beyond the classic 88 bytes.
        std::string text = "balloon " + id + " (" + std::to_string(record.cbSize) + " bytes)";
        if (record.dwInfoFlags & NIIF_INFO) text += " info";
        if (record.dwInfoFlags & NIIF_NOSOUND) text += " quiet";
        return text + ": " + record.szInfoTitle + " | " + record.szInfo;
    }
    std::string text = (message == NIM_ADD ? "add " : message == NIM_MODIFY ? "modify " : "message? ") + id;
    if (record.uFlags & NIF_ICON) text += " " + IconLook(record.hIcon);
    if (record.uFlags & NIF_TIP) text += " tip";
    return text;
}

inline BOOL WINAPI LoggingNotify(DWORD message, PNOTIFYICONDATAA record)
{
    if (g_duringNextCall) {
        const std::function<void()> during = std::move(g_duringNextCall);
        g_duringNextCall = nullptr;
        during();
    }
    std::string line = DescribeCall(message, *record);
    const BOOL taken = Shell_NotifyIconA(message, record);
    if (!taken) line += " refused";
    g_shellLog.push_back(line);
    return taken;
}

// Installs the log for as long as the object lives, empty at the start.
class ShellLogged {
public:
    ShellLogged() : saved_(g_shellCalls)
    {
        g_shellLog.clear();
        g_duringNextCall = nullptr;
        g_shellCalls.notify = LoggingNotify;
    }
    ~ShellLogged()
    {
        g_shellCalls = saved_;
        g_duringNextCall = nullptr;
    }

private:
    ShellCalls saved_;
};

// The lines of the log so far, one a line, and the log emptied: for readable comparisons.
inline std::string TakeShellLog()
{
    std::string text;
    for (const std::string& line : g_shellLog) text += line + "\n";
    g_shellLog.clear();
    return text;
}
