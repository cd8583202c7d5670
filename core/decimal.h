// Decimal text without the C library's formatting: base 10, no padding, "-" for negatives.
#pragma once

#include <cstdint>

// Longest text: "-2147483648" and its terminating NUL.
constexpr int DECIMAL_CHARS = 12;

// Writes value at out, NUL-terminated, and returns a pointer to that NUL so that callers can
// append. out must have room for DECIMAL_CHARS bytes.
char* FormatDecimal(char* out, int32_t value);
