// One meter a session, with this test program as the session's meter: a second start of the real
// cyclowis.exe sends its Properties command only to a window that is the meter dialog.
#include "app/one_meter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/win32/meter_dialog_fixture.h"  // the slider class that the meter dialog needs

namespace {

// The WM_COMMAND messages that reached any window of this program, by window and command.
struct Command {
    HWND window;
    WPARAM command;
    bool operator==(const Command& other) const { return window == other.window && command == other.command; }
};
std::vector<Command> g_commands;

LRESULT CALLBACK RecordingWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) g_commands.push_back({hwnd, wParam});
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

INT_PTR CALLBACK RecordingDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND) g_commands.push_back({hwnd, wParam});
    return message == WM_INITDIALOG;
}

void PrintTo(const Command& c, std::ostream* out)
{
    *out << "WM_COMMAND " << c.command << " to " << c.window;
}

// The program's cyclowis.exe, found from this test program's place in the build.
std::string MeterProgram()
{
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, sizeof path));
    return self.substr(0, self.find_last_of("\\/") + 1) + METER_PROGRAM_FROM_TESTS;
}

// Starts the program as a user would a second time, handles this program's messages until it
// ends, and returns its exit code and how long it ran; a start that has not ended after two
// minutes is ended and reported as exit code 259 (STILL_ACTIVE).
struct SecondStart {
    DWORD exitCode;
    DWORD ms;
};
SecondStart StartAgain()
{
    std::string command = "\"" + MeterProgram() + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    const DWORD start = GetTickCount();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
        return {0, 0};
    }
    CloseHandle(process.hThread);
    bool ended = false;
    while (!ended && GetTickCount() - start < 120000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        ended = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0;
    }
    const DWORD ms = GetTickCount() - start;
    DWORD exitCode = STILL_ACTIVE;
    if (ended) GetExitCodeProcess(process.hProcess, &exitCode);
    else TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return {exitCode, ms};
}

// A handle published as the meter's dialog is sent the command only when it is the meter dialog
// (the dialog class, the meter dialog's caption) of the published process. Any other window of
// that process (a reused handle now naming another window) counts as no dialog published yet: the
// start waits for one, as for a meter that is still starting, up to 10 s, and ends.
TEST(OneMeter, ASecondStartSendsItsCommandOnlyToTheMeterDialogOfThePublishedProcess)
{
    ASSERT_TRUE(ClaimTheSessionsMeter()) << "another meter runs in this session";

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OneMeterTestWindow";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    const HINSTANCE module = GetModuleHandleA(nullptr);
    const struct {
        const char* what;
        HWND window;
        bool isTheMeter;
    } cases[] = {
        {"a window of another class with the meter dialog's caption",
         CreateWindowA("OneMeterTestWindow", "Cyclowisp", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                       module, nullptr),
         false},
        {"a dialog with another caption, the About box",
         CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, RecordingDlgProc, 0), false},
        {"the meter dialog", CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_METER), nullptr, RecordingDlgProc, 0),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(c.window, nullptr);
        PublishMeterWindow(c.window);
        g_commands.clear();

        const SecondStart run = StartAgain();

        EXPECT_EQ(run.exitCode, 0u) << "the second start's exit code";
        if (c.isTheMeter) {
            EXPECT_EQ(g_commands, (std::vector<Command>{{c.window, IDM_PROPERTIES}}));
        } else {
            EXPECT_EQ(g_commands, std::vector<Command>{});
            EXPECT_GE(run.ms, 10000u) << "the second start did not wait for a meter dialog";
        }
    }
    for (const auto& c : cases) DestroyWindow(c.window);
}

}  // namespace
