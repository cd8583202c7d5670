// The sampling delay on the real meter dialog, with the real HKEY_CURRENT_USER of the Wine prefix.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/system.h"
#include "tests/win32/meter_dialog_fixture.h"

namespace {

const char SETTINGS_KEY[] = "Software\\Cyclowisp";

using Bytes = std::vector<BYTE>;

Bytes DwordBytes(DWORD v)
{
    return Bytes{BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
}

struct RegValue {
    std::string name;
    DWORD type;
    Bytes data;
};

// The key's values, or nothing when the key is missing.
struct KeyState {
    bool exists = false;
    std::vector<RegValue> values;
};

KeyState ReadKey()
{
    KeyState state;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return state;
    state.exists = true;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLen = sizeof name;
        BYTE data[1024];
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) {
            break;
        }
        state.values.push_back({name, type, Bytes(data, data + size)});
    }
    RegCloseKey(key);
    return state;
}

void WriteKey(const KeyState& state)
{
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
    if (!state.exists) return;
    HKEY key;
    char keyClass[] = " ";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, keyClass, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const RegValue& v : state.values) {
        RegSetValueExA(key, v.name.c_str(), 0, v.type, v.data.data(), DWORD(v.data.size()));
    }
    RegCloseKey(key);
}

const RegValue* FindDelay(const KeyState& state)
{
    for (const RegValue& v : state.values) {
        if (v.name == "Delay") return &v;
    }
    return nullptr;
}

std::string KeyClass()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    char cls[64] = "";
    DWORD len = sizeof cls;
    RegQueryInfoKeyA(key, cls, &len, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return cls;
}

// Each test starts without the key and a fresh meter dialog, and leaves the key as it found it.
class Delay : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = ReadKey();
        RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
        dlg_ = CreateMeterDialog();
        ASSERT_NE(dlg_, nullptr) << "meter dialog not created, error " << GetLastError();
    }

    void TearDown() override
    {
        if (dlg_) DestroyWindow(dlg_);
        WriteKey(saved_);
    }

    int Pos() const { return int(SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_GETPOS, 0, 0)); }

    std::string Label() const
    {
        char text[64] = "";
        GetDlgItemTextA(dlg_, IDC_DELAYTEXT, text, sizeof text);
        return text;
    }

    KeyState saved_;
    HWND dlg_ = nullptr;
};

TEST_F(Delay, FirstRunShowsHalfASecondAndStoresIt)
{
    LoadDelay(dlg_);

    EXPECT_EQ(Pos(), 5);
    EXPECT_EQ(Label(), "0.5");
    const KeyState after = ReadKey();
    ASSERT_TRUE(after.exists);
    const RegValue* delay = FindDelay(after);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(delay->type, DWORD(REG_DWORD));
    EXPECT_EQ(delay->data, DwordBytes(5));
    EXPECT_EQ(KeyClass(), " ");
}

TEST_F(Delay, StoredValueIsUsedClampedOrReplacedByTheDefault)
{
    const struct {
        const char* what;
        DWORD type;
        Bytes data;
        int pos;
        const char* label;
        bool rewritten;
    } cases[] = {
        {"0", REG_DWORD, DwordBytes(0), 1, "0.1", false},
        {"37", REG_DWORD, DwordBytes(37), 37, "3.7", false},
        {"200", REG_DWORD, DwordBytes(200), 50, "5.0", false},
        {"0xFFFFFFFF, -1 to the slider", REG_DWORD, DwordBytes(0xFFFFFFFFu), 1, "0.1", false},
        {"a string", REG_SZ, Bytes{'3', '7', 0}, 5, "0.5", true},
        {"a 2-byte REG_DWORD", REG_DWORD, Bytes{37, 0}, 5, "0.5", true},
        {"8 bytes of binary", REG_BINARY, Bytes{37, 0, 0, 0, 0, 0, 0, 0}, 5, "0.5", true},
        {"4 bytes of binary", REG_BINARY, DwordBytes(37), 5, "0.5", true},
        {"an empty REG_DWORD", REG_DWORD, Bytes{}, 5, "0.5", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const KeyState before{true, {{"Delay", c.type, c.data}}};
        WriteKey(before);
        SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_SETPOS, TRUE, 20);

        LoadDelay(dlg_);

        EXPECT_EQ(Pos(), c.pos);
        EXPECT_EQ(Label(), c.label);
        const KeyState after = ReadKey();
        const RegValue* delay = FindDelay(after);
        ASSERT_NE(delay, nullptr);
        if (c.rewritten) {
            EXPECT_EQ(delay->type, DWORD(REG_DWORD));
            EXPECT_EQ(delay->data, DwordBytes(5));
        } else {
            EXPECT_EQ(delay->type, c.type);
            EXPECT_EQ(delay->data, c.data);
        }
    }
}

TEST_F(Delay, KeyWithoutTheValueGetsTheDefault)
{
    WriteKey(KeyState{true, {{"Other", REG_SZ, Bytes{'x', 0}}}});

    LoadDelay(dlg_);

    EXPECT_EQ(Pos(), 5);
    const KeyState after = ReadKey();
    const RegValue* delay = FindDelay(after);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(delay->data, DwordBytes(5));
    EXPECT_EQ(after.values.size(), 2u) << "the other value must stay";
}

TEST_F(Delay, SliderKeepsOneToFiftyAndTheLabelShowsSeconds)
{
    const struct {
        int requested;
        int pos;
        const char* label;
    } cases[] = {
        {1, 1, "0.1"}, {5, 5, "0.5"}, {10, 10, "1.0"}, {37, 37, "3.7"}, {50, 50, "5.0"},
        {0, 1, "0.1"}, {51, 50, "5.0"}, {-7, 1, "0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.requested);
        InitDelaySlider(dlg_, c.requested);
        EXPECT_EQ(Pos(), c.pos);
        EXPECT_EQ(Label(), c.label);
    }
    EXPECT_EQ(SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_GETRANGEMIN, 0, 0), 1);
    EXPECT_EQ(SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_GETRANGEMAX, 0, 0), 50);
    // Automatic ticks every 5 positions between the two ends: 6, 11, ... 46, and the ends.
    EXPECT_EQ(SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_GETNUMTICS, 0, 0), 11);

    // The label follows the slider, not what was last set through InitDelaySlider.
    SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_SETPOS, TRUE, 23);
    ShowDelayText(dlg_);
    EXPECT_EQ(Label(), "2.3");
}

TEST_F(Delay, SaveStoresTheSliderPositionCreatingOrOverwriting)
{
    const struct {
        const char* what;
        KeyState before;
        int requested;
        DWORD stored;
        size_t values;  // in the key afterwards
    } cases[] = {
        {"no key", KeyState{}, 23, 23, 1},
        {"a string and another value", KeyState{true, {{"Delay", REG_SZ, Bytes{'x', 0}},
                                                       {"Other", REG_DWORD, DwordBytes(9)}}},
         23, 23, 2},
        {"a REG_DWORD, slider clamped", KeyState{true, {{"Delay", REG_DWORD, DwordBytes(7)}}},
         200, 50, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteKey(c.before);
        InitDelaySlider(dlg_, c.requested);

        SaveDelay(dlg_);

        const KeyState after = ReadKey();
        ASSERT_TRUE(after.exists);
        EXPECT_EQ(after.values.size(), c.values);
        const RegValue* delay = FindDelay(after);
        ASSERT_NE(delay, nullptr);
        EXPECT_EQ(delay->type, DWORD(REG_DWORD));
        EXPECT_EQ(delay->data, DwordBytes(c.stored));
        EXPECT_EQ(KeyClass(), " ");
    }
}

TEST_F(Delay, MovingTheSliderStoresNothing)
{
    LoadDelay(dlg_);
    SendDlgItemMessageA(dlg_, IDC_DELAY, TBM_SETPOS, TRUE, 20);
    ShowDelayText(dlg_);
    ArmSampleTimer(dlg_);

    const KeyState after = ReadKey();
    const RegValue* delay = FindDelay(after);
    ASSERT_NE(delay, nullptr);
    EXPECT_EQ(delay->data, DwordBytes(5));
}

TEST_F(Delay, TimerZeroTicksAtThePositionsPeriod)
{
    for (int pos : {2, 5}) {
        SCOPED_TRACE(pos);
        InitDelaySlider(dlg_, pos);
        g_timer0Ticks = 0;
        const DWORD start = GetTickCount();
        ArmSampleTimer(dlg_);

        ASSERT_TRUE(PumpUntil([] { return g_timer0Ticks >= 3; }, 30000))
            << "ticks in 30 s: " << g_timer0Ticks;
        // Three periods at least, and not many more: a busy, emulated machine makes ticks late,
        // but not by whole periods, so four periods and two seconds are plenty, and a timer that
        // runs ten times too slow is still caught.
        const DWORD elapsed = GetTickCount() - start;
        const DWORD periods = DWORD(3 * pos * 100);
        EXPECT_GE(elapsed, periods * 8 / 10) << "3 ticks after " << elapsed << " ms";
        EXPECT_LE(elapsed, periods * 4 + 2000) << "3 ticks after " << elapsed << " ms";
    }
    EXPECT_EQ(g_otherTimerTicks, 0);
}

TEST_F(Delay, ArmingAgainReplacesTheRunningTimer)
{
    InitDelaySlider(dlg_, 1);
    ArmSampleTimer(dlg_);
    ASSERT_TRUE(PumpUntil([] { return g_timer0Ticks >= 1; }, 30000)) << "no tick at 100 ms";

    // Re-armed at 5 s: the 100 ms timer must be gone, so no tick arrives for a while.
    InitDelaySlider(dlg_, 50);
    ArmSampleTimer(dlg_);
    MSG msg;
    while (PeekMessageA(&msg, dlg_, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    g_timer0Ticks = 0;
    PumpFor(1500);
    EXPECT_LT(g_timer0Ticks, 2) << "the 100 ms timer still runs";
}

// Only a 4-byte REG_DWORD of 1 asks for Task Manager's figure: any other number, type or size,
// and no value, leave the time-based reading. Nothing is written back.
TEST(Measure, OnlyAFourByteDwordOfOneChoosesTaskManagersFigure)
{
    const KeyState saved = ReadKey();
    const struct {
        const char* what;
        DWORD type;  // REG_NONE: no value
        Bytes data;
        uint32_t choice;
    } cases[] = {
        {"dword 1", REG_DWORD, DwordBytes(1), MEASURE_UTILITY},
        {"no value", REG_NONE, {}, MEASURE_BUSY_TIME},
        {"dword 0", REG_DWORD, DwordBytes(0), MEASURE_BUSY_TIME},
        {"dword 2", REG_DWORD, DwordBytes(2), MEASURE_BUSY_TIME},
        {"dword 0x10001", REG_DWORD, DwordBytes(0x10001), MEASURE_BUSY_TIME},
        {"dword 0xFFFFFFFF", REG_DWORD, DwordBytes(0xFFFFFFFF), MEASURE_BUSY_TIME},
        {"string \"1\"", REG_SZ, {'1', 0}, MEASURE_BUSY_TIME},
        {"binary 1, 4 bytes", REG_BINARY, DwordBytes(1), MEASURE_BUSY_TIME},
        {"qword 1", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, MEASURE_BUSY_TIME},
        {"dword type, 1 byte", REG_DWORD, {1}, MEASURE_BUSY_TIME},
        {"dword type, 2 bytes", REG_DWORD, {1, 0}, MEASURE_BUSY_TIME},
        {"dword type, 8 bytes", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, MEASURE_BUSY_TIME},
        {"dword type, no bytes", REG_DWORD, {}, MEASURE_BUSY_TIME},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KeyState state;
        state.exists = true;
        if (c.type != REG_NONE) state.values.push_back({"Measure", c.type, c.data});
        WriteKey(state);
        EXPECT_EQ(LoadMeasureChoice(), c.choice);
        const KeyState after = ReadKey();
        ASSERT_EQ(after.values.size(), state.values.size()) << "values written";
        if (c.type != REG_NONE) {
            EXPECT_EQ(after.values[0].data, c.data) << "the value changed";
        }
    }
    WriteKey(KeyState{});
    EXPECT_EQ(LoadMeasureChoice(), MEASURE_BUSY_TIME) << "no key";
    WriteKey(saved);
}

// planted.dll sits beside this test program as a DLL planted beside the meter would, where a load
// by bare name looks first.
TEST(SystemLibrary, ComesFromTheSystemDirectoryNeverFromBesideTheProgram)
{
    char planted[MAX_PATH] = "";
    const DWORD programLength = GetModuleFileNameA(nullptr, planted, MAX_PATH);
    ASSERT_GT(programLength, 0u);
    ASSERT_LT(programLength, static_cast<DWORD>(MAX_PATH));
    char* name = strrchr(planted, '\\');
    ASSERT_NE(name, nullptr);
    lstrcpynA(name + 1, "planted.dll", static_cast<int>(planted + MAX_PATH - (name + 1)));
    const HMODULE beside = LoadLibraryA(planted);
    ASSERT_NE(beside, nullptr) << planted << " cannot be loaded";
    FreeLibrary(beside);
    EXPECT_EQ(LoadSystemLibrary("planted.dll"), nullptr);

    const HMODULE dwmapi = LoadSystemLibrary("dwmapi.dll");
    ASSERT_NE(dwmapi, nullptr);
    char path[MAX_PATH] = "", system[MAX_PATH] = "";
    GetModuleFileNameA(dwmapi, path, MAX_PATH);
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path, length, system, length), CSTR_EQUAL) << path;
    // A name too long for any path is no DLL at all.
    EXPECT_EQ(LoadSystemLibrary(std::string(MAX_PATH, 'x').c_str()), nullptr);
}

}  // namespace
