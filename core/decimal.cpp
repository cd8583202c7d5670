// Decimal text for the tooltip and the delay label.
#include "core/decimal.h"

char* FormatDecimal(char* out, int32_t value)
{
    // Work on the magnitude as unsigned so that -2^31 needs no special case.
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0);
    while (count > 0) *out++ = digits[--count];
    *out = '\0';
    return out;
}

void FormatUsageTip(char tip[USAGE_TIP_CHARS], bool haveReading, uint32_t usage)
{
    tip[0] = '\0';
    if (!haveReading) return;
    char* end = FormatDecimal(tip, static_cast<int32_t>(usage));
    end[0] = ' ';
    end[1] = '%';
    end[2] = '\0';
}
