// The bars' colour from the user's choice, a contrast theme, the taskbar flag and the version.
#include "core/barcolour.h"

namespace {

// x^2.4 for x in 0..1, as x^2 times the fifth root of x^2, the root found by Newton's method: no
// maths library, whose pow would weigh more than the rest of the program.
double Power24(double x)
{
    const double square = x * x;
    double root = 1.0;  // from above, Newton's steps for r^5 = a fall steadily onto the root
    for (int step = 0; step < 40; ++step) {
        const double r4 = root * root * root * root;
        root -= (r4 * root - square) / (5.0 * r4);
    }
    return square * root;
}

// One sRGB channel, 0..255, as linear light 0..1.
double Linear(uint32_t channel)
{
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : Power24((c + 0.055) / 1.055);
}

}  // namespace

bool IsLightColour(uint32_t colorref)
{
    const double luminance = 0.2126 * Linear(colorref & 0xFF) + 0.7152 * Linear((colorref >> 8) & 0xFF) +
                             0.0722 * Linear((colorref >> 16) & 0xFF);
    return luminance > 0.5;
}

bool BarsAreWhite(const BarColourInputs& inputs)
{
    if (inputs.choice == BARS_BLACK) return false;
    if (inputs.choice == BARS_WHITE) return true;
    // A contrast theme paints the taskbar in its own pair of colours, whatever the flag says.
    if (inputs.highContrast) return IsLightColour(inputs.windowText);
    if (inputs.theme != TaskbarTheme::Unknown) return inputs.theme == TaskbarTheme::Dark;
    if (inputs.majorVersion >= 10) return inputs.buildNumber < FIRST_BUILD_WITH_THEME_FLAG;
    return inputs.majorVersion == 6 && inputs.minorVersion <= 3 && inputs.composition;
}
