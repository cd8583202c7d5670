// Prints the icons of Wine's notification area as text, for scripts that drive the meter from
// the Linux side:  traygrid [COUNT]  prints the first COUNT icons (default: all) side by side,
// 16 rows, '#' black, '.' transparent, '?' any other colour; exits 1 when there are fewer.
#include "tray_capture.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const std::vector<std::string> icons = CaptureTrayIcons();
    const size_t count = argc > 1 ? strtoul(argv[1], nullptr, 10) : icons.size();
    fputs(SideBySide(icons, 0, count).c_str(), stdout);
    return icons.size() >= count && count > 0 ? 0 : 1;
}
