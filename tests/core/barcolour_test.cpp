// The bars' colour: the user's choice, a contrast theme, the taskbar flag, the Windows 10 build
// and, on Windows Vista to 8.1, desktop composition, in that order.
#include "core/barcolour.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t WHITE = 0xFFFFFF, BLACK = 0x000000;
constexpr uint32_t YELLOW = 0x00FFFF, GREEN = 0x00FF00, DESERT_TEXT = 0x3D3D3D;  // 0x00BBGGRR

TEST(BarColour, FirstRuleThatAppliesDecides)
{
    using T = TaskbarTheme;
    const struct {
        const char* what;
        BarColourInputs in;  // choice, contrast on, its text colour, taskbar flag, major, build, minor, composition
        bool white;
    } cases[] = {
        // The user's choice overrides everything.
        {"Bars 2 on a light taskbar", {BARS_WHITE, false, BLACK, T::Light, 10, 22631}, true},
        {"Bars 2 in a contrast theme with dark text", {BARS_WHITE, true, BLACK, T::Light, 10, 22631}, true},
        {"Bars 1 on a dark taskbar", {BARS_BLACK, false, BLACK, T::Dark, 10, 22631}, false},
        {"Bars 1 in a contrast theme with light text", {BARS_BLACK, true, WHITE, T::Dark, 10, 22631}, false},
        {"Bars 1 on an old Windows 10", {BARS_BLACK, false, BLACK, T::Unknown, 10, 17763}, false},
        // Any other number is automatic.
        {"Bars 0 follows the dark flag", {BARS_AUTOMATIC, false, BLACK, T::Dark, 10, 22631}, true},
        {"Bars 3 follows the dark flag", {3, false, BLACK, T::Dark, 10, 22631}, true},
        {"Bars 0xFFFFFFFF follows the light flag", {0xFFFFFFFFu, false, BLACK, T::Light, 10, 22631}, false},
        // A contrast theme: the colour of its text, whatever the flag says.
        {"contrast, white text (Black, #1, Aquatic, Dusk, Night sky)", {0, true, WHITE, T::Light, 10, 22631}, true},
        {"contrast, yellow text", {0, true, YELLOW, T::Light, 10, 19045}, true},
        {"contrast, green text", {0, true, GREEN, T::Unknown, 6, 7601}, true},
        {"contrast, black text (White)", {0, true, BLACK, T::Dark, 10, 22631}, false},
        {"contrast, dark grey text (Desert)", {0, true, DESERT_TEXT, T::Dark, 10, 22631}, false},
        {"contrast on an old Windows 10, dark text", {0, true, BLACK, T::Unknown, 10, 14393}, false},
        // The taskbar flag.
        {"dark flag", {0, false, WHITE, T::Dark, 10, 19045}, true},
        {"light flag", {0, false, WHITE, T::Light, 10, 19045}, false},
        {"light flag on an old build", {0, false, WHITE, T::Light, 10, 17763}, false},
        // No flag: white only on Windows 10 builds older than 1903.
        {"no flag, Windows 10 1809", {0, false, BLACK, T::Unknown, 10, 17763}, true},
        {"no flag, Windows 10 1507", {0, false, BLACK, T::Unknown, 10, 10240}, true},
        {"no flag, Windows 10 18361", {0, false, BLACK, T::Unknown, 10, 18361}, true},
        {"no flag, Windows 10 1903", {0, false, BLACK, T::Unknown, 10, 18362}, false},
        {"no flag, Windows 11", {0, false, BLACK, T::Unknown, 10, 22000}, false},
        {"no flag, Windows 7", {0, false, BLACK, T::Unknown, 6, 7601}, false},
        {"no flag, Windows 95 (no version known)", {0, false, BLACK, T::Unknown, 0, 0}, false},
        // Windows Vista to 8.1: glass and tinted taskbars while desktop composition is on.
        {"Vista with composition (Aero)", {0, false, BLACK, T::Unknown, 6, 6002, 0, true}, true},
        {"Vista without composition (Basic, classic)", {0, false, BLACK, T::Unknown, 6, 6002, 0, false}, false},
        {"Windows 7 with composition", {0, false, BLACK, T::Unknown, 6, 7601, 1, true}, true},
        {"Windows 7 without composition (as Wine reports it)", {0, false, BLACK, T::Unknown, 6, 7601, 1, false}, false},
        {"Windows 8 with composition", {0, false, BLACK, T::Unknown, 6, 9200, 2, true}, true},
        {"Windows 8.1 with composition", {0, false, BLACK, T::Unknown, 6, 9600, 3, true}, true},
        {"a Windows 6.4 (10 preview) with composition", {0, false, BLACK, T::Unknown, 6, 9841, 4, true}, false},
        {"XP (5.1) with a composition answer", {0, false, BLACK, T::Unknown, 5, 2600, 1, true}, false},
        {"Windows 11 with composition, no flag", {0, false, BLACK, T::Unknown, 10, 22631, 0, true}, false},
        {"Windows 7 with composition and Bars 1", {BARS_BLACK, false, BLACK, T::Unknown, 6, 7601, 1, true}, false},
        {"Windows 7 with composition, contrast with dark text", {0, true, BLACK, T::Unknown, 6, 7601, 1, true}, false},
        {"Windows 8.1 with composition, a light flag", {0, false, BLACK, T::Light, 6, 9600, 3, true}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(BarsAreWhite(c.in), c.white) << c.what;
}

TEST(BarColour, LuminanceAboveOneHalfIsLight)
{
    const struct {
        uint32_t colorref;
        bool light;
    } cases[] = {
        {WHITE, true},     {BLACK, false},    {YELLOW, true},   {GREEN, true},     {DESERT_TEXT, false},
        {0x0000FF, false},  // pure red: 0.21
        {0xFF0000, false},  // pure blue: 0.07
        {0xBCBCBC, true},   // grey 188: 0.503
        {0xBBBBBB, false},  // grey 187: 0.497
        {0xFFFF00, true},   // cyan: 0.79
    };
    for (const auto& c : cases) EXPECT_EQ(IsLightColour(c.colorref), c.light) << std::hex << c.colorref;
}

}  // namespace
