// The small text rules every module shares: whole-string integers, clock times, CSV values.
#include <gtest/gtest.h>

#include <cstdint>

#include "data/clock.h"
#include "data/csv.h"
#include "data/decimal.h"

namespace korvel {
namespace {

TEST(WholeIntegerTest, OnlyTheWholeTextCounts) {
    EXPECT_EQ(WholeInteger<int>("42"), 42);
    EXPECT_EQ(WholeInteger<int>("-7"), -7);
    EXPECT_EQ(WholeInteger<int>("007"), 7);
    for (const char* bad : {"", "+5", " 5", "5 ", "5x", "1.0", "-", "0x10", "\xA3\xB1"}) {
        EXPECT_FALSE(WholeInteger<int>(bad).has_value()) << bad;
    }
    // Out of range for the type, not wrapped.
    EXPECT_FALSE(WholeInteger<int>("2147483648").has_value());
    EXPECT_EQ(WholeInteger<std::int64_t>("2147483648"), 2147483648LL);
    EXPECT_FALSE(WholeInteger<unsigned>("-1").has_value());
}

TEST(ClockMinutesTest, TwoDigitsEachWithinTheDay) {
    EXPECT_EQ(ClockMinutes("00:00"), 0);
    EXPECT_EQ(ClockMinutes("07:08"), 7 * 60 + 8);
    EXPECT_EQ(ClockMinutes("23:59"), 23 * 60 + 59);
    for (const char* bad : {"", "7:08", "07:8", "24:00", "23:60", "07-08", "07:08 ", "0a:00"}) {
        EXPECT_FALSE(ClockMinutes(bad).has_value()) << bad;
    }
}

TEST(CsvFieldTest, QuotesOnlyWhatNeedsIt) {
    EXPECT_EQ(CsvField("12/34/56"), "12/34/56");
    EXPECT_EQ(CsvField(""), "");
    EXPECT_EQ(CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(CsvField("x\r\ny"), "\"x\r\ny\"");
    // GBK and UTF-8 bytes pass through untouched.
    EXPECT_EQ(CsvField("\xB1\xB1\xBE\xA9"), "\xB1\xB1\xBE\xA9");
    EXPECT_EQ(CsvField("北京,南"), "\"北京,南\"");
}

}  // namespace
}  // namespace korvel
