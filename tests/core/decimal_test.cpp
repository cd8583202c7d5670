// Decimal text: the digits of the tooltip and the delay label.
#include "core/decimal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Decimal, FormatsBaseTenWithoutPaddingAndReturnsTheEnd)
{
    const struct {
        int32_t value;
        const char* text;
    } cases[] = {{0, "0"}, {5, "5"}, {37, "37"}, {100, "100"}, {-1, "-1"},
                 {2147483647, "2147483647"}, {INT32_MIN, "-2147483648"}};
    for (const auto& c : cases) {
        char buffer[DECIMAL_CHARS + 4];
        memset(buffer, 'x', sizeof buffer);
        char* end = FormatDecimal(buffer, c.value);
        EXPECT_EQ(std::string(buffer), c.text);
        EXPECT_EQ(end, buffer + strlen(c.text));
        EXPECT_EQ(buffer[DECIMAL_CHARS], 'x') << "wrote past the documented room for " << c.text;
    }
}

TEST(Decimal, UsageTipIsTheReadingAsSignedDecimalWithPercentOrEmptyWithoutOne)
{
    const struct {
        bool haveReading;
        uint32_t usage;
        const char* tip;
    } cases[] = {
        {true, 0, "0 %"},
        {true, 37, "37 %"},
        {true, 100, "100 %"},
        {true, 101, "101 %"},
        {true, 0x80000000u, "-2147483648 %"},
        {true, 0xFFFFFFFFu, "-1 %"},
        {false, 37, ""},  // a failed read claims no reading, whatever the variable holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tip);
        char tip[USAGE_TIP_CHARS + 4];
        memset(tip, 'x', sizeof tip);
        FormatUsageTip(tip, c.haveReading, c.usage);
        EXPECT_EQ(std::string(tip), c.tip);
        EXPECT_EQ(tip[USAGE_TIP_CHARS], 'x') << "wrote past the documented room";
    }
}
