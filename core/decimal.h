// Decimal text without the C library's formatting: base 10, no padding, "-" for negatives; and
// the tooltip text made of it.
#pragma once

#include <cstdint>

// Longest text: "-2147483648" and its terminating NUL.
constexpr int DECIMAL_CHARS = 12;

// Writes value at out, NUL-terminated, and returns a pointer to that NUL so that callers can
// append. out must have room for DECIMAL_CHARS bytes.
char* FormatDecimal(char* out, int32_t value);

// Room for the longest tooltip, "-2147483648 %", and its NUL; the shell's tooltip holds 64 bytes.
constexpr int USAGE_TIP_CHARS = DECIMAL_CHARS + 2;

// The tooltip of one tick: the reading taken as a signed 32-bit value followed by " %" ("37 %"),
// or empty when the tick has no good reading, rather than a stale or made-up number.
void FormatUsageTip(char tip[USAGE_TIP_CHARS], bool haveReading, uint32_t usage);
