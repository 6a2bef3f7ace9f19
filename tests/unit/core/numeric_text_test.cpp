#include "core/numeric_text.h"

#include <gtest/gtest.h>

using pvx::core::numericValue;
using pvx::core::roundHalfEven;

TEST(NumericValue, TakesTheLeadingNumber)
{
    const struct {
        const char *text;
        double value;
    } cases[] = {
        {"", 0},       {"abc", 0},      {"250ms", 250},   {"  42", 42},   {"-5", -5},
        {"1.5x", 1.5}, {"65536", 65536}, {"12.3.4", 12.3}, {".5", 0.5},    {"-", 0},
        {"+7", 7},     {"1e5", 1},      {"\t9", 9},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(numericValue(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(NumericValue, HugeNumbersStayFinite)
{
    const QString huge(400, QLatin1Char('9'));
    EXPECT_EQ(numericValue(huge), 0);
    EXPECT_EQ(roundHalfEven(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(roundHalfEven(-1e300), std::numeric_limits<int>::min());
}

TEST(RoundHalfEven, RoundsHalvesToEven)
{
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(2.4), 2);
    EXPECT_EQ(roundHalfEven(2.6), 3);
}
