// Which colour the graph's bars take so that they stand out from the taskbar: decided from plain
// inputs that the notification code reads from the system.
#pragma once

#include <cstdint>

// The user's own choice, the stored value "Bars": anything but these two means automatic.
constexpr uint32_t BARS_AUTOMATIC = 0;
constexpr uint32_t BARS_BLACK = 1;
constexpr uint32_t BARS_WHITE = 2;

// What the shell's taskbar flag (SystemUsesLightTheme) says: a 4-byte REG_DWORD of 0 is dark, of
// any other number light; a missing value, or one of another type or size, says nothing.
enum class TaskbarTheme { Unknown, Light, Dark };

// The first Windows 10 build whose shell has the taskbar flag (version 1903). Earlier builds of
// Windows 10 have a dark taskbar and no flag.
constexpr uint32_t FIRST_BUILD_WITH_THEME_FLAG = 18362;

struct BarColourInputs {
    uint32_t choice;         // the stored "Bars" value; BARS_AUTOMATIC when missing or mistyped
    bool highContrast;       // a contrast theme is on
    uint32_t windowText;     // that theme's text colour, 0x00BBGGRR
    TaskbarTheme theme;      // the taskbar flag
    uint32_t majorVersion;   // the system's real version; 0 when unknown
    uint32_t buildNumber;
    uint32_t minorVersion = 0;
    bool composition = false;  // desktop composition is on (asked only of Windows 6.0 to 6.3)
};

// White or black bars, by the first rule that applies: the user's choice; while a contrast theme
// is on, the theme's text colour (white bars when it is light); the taskbar flag; white on a
// Windows 10 build older than the flag; white on Windows Vista to 8.1 (6.0 to 6.3) with desktop
// composition on, whose glass or tinted taskbars are dark; black everywhere else (the classic
// and Basic themes, and Wine's trays, are light).
bool BarsAreWhite(const BarColourInputs& inputs);

// Whether a colour's relative luminance (sRGB, as for contrast ratios) is above one half.
bool IsLightColour(uint32_t colorref);
