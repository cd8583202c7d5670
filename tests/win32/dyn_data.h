// The kernel statistic's registry value under HKEY_DYN_DATA, written and removed by the tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

inline const char SAMPLE_KEY[] = "PerfStats\\StatData";
inline const char STATISTIC[] = "KERNEL\\CPUUsage";

inline std::vector<BYTE> Le32(uint32_t value)
{
    return {BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

// HKEY_DYN_DATA is volatile, so keys created under it must be volatile too.
inline void WriteStatistic(DWORD type, const std::vector<BYTE>& bytes)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_DYN_DATA, SAMPLE_KEY, 0, nullptr, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, STATISTIC, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void WriteUsage(uint32_t usage)
{
    WriteStatistic(REG_BINARY, Le32(usage));
}

// Back to what Wine starts with: an empty "PerfStats\StatData" key, no statistic.
inline void RestoreEmptySampleKey()
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_DYN_DATA, SAMPLE_KEY, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, STATISTIC);
    RegCloseKey(key);
}
