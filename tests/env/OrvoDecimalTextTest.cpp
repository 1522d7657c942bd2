#include "env/OrvoDecimalText.h"

#include "OrvoTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

TEST(OrvoDecimalTextTest, ScalesAndTruncatesOnTheDigits)
{
    const struct
    {
        const char *text;
        int decimals;
        std::optional<qint64> value;
    } cases[] = {
        {"0.29", 2, 29}, // 0.29 * 100 in doubles is 28.999999999999996
        {"2.3", 1, 23},
        {"-2.39", 1, -23}, // toward zero
        {"12.5", 3, 12500},
        {"0.1", 0, 0},
        {"-0.9", 0, 0},
        {"1e3", 0, 1000},
        {"1.5E+2", 1, 1500},
        {"123456e-4", 2, 1234},
        {"000012.50", 2, 1250},
        {"999999999999999999", 0, 999999999999999999},
        {"-999999999999999999", 0, -999999999999999999},
        {"9999999999999999999", 0, std::nullopt},
        {"1e30", 0, std::nullopt},
        {"1e-400", 6, 0},
        {"\t7.25\n", 2, 725},
        {"1 2", 0, std::nullopt},
        {"0x10", 0, std::nullopt},
        {"\u0661", 0, std::nullopt},
        {"1e4000", 0, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.decimals));
        EXPECT_EQ(parseScaledDecimal(QString::fromUtf8(c.text), c.decimals), c.value);
    }
}
