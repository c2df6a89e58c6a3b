// The small text rules every module shares: integers and decimals, clock times, CSV, short byte
// strings.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "data/clock.h"
#include "data/csv.h"
#include "data/decimal.h"
#include "data/short_bytes.h"

namespace korvel {
namespace {

using Values = std::vector<std::string>;

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

TEST(IntegerFamilyTest, EachReaderTakesOnlyItsForm) {
    // The streams' form: a '+' too, and the field's range decides.
    EXPECT_EQ(SignedIntegerInRange("+12", -32768, 32767), 12);
    EXPECT_EQ(SignedIntegerInRange("-32768", -32768, 32767), -32768);
    EXPECT_FALSE(SignedIntegerInRange("32768", -32768, 32767).has_value());
    EXPECT_FALSE(SignedIntegerInRange("99999999999999999999", -32768, 32767).has_value());
    for (const char* bad : {"", "+", "-", " 1", "1 ", "1.0", "+-1"}) {
        EXPECT_FALSE(SignedIntegerInRange(bad, -100, 100).has_value()) << bad;
    }
    // Counts this program writes have one spelling each.
    EXPECT_EQ(CanonicalCount<std::uint64_t>("0"), 0u);
    EXPECT_EQ(CanonicalCount<std::uint64_t>("18446744073709551615"), UINT64_MAX);
    for (const char* bad : {"", "00", "007", "-1", "+1", "18446744073709551616", "1\n"}) {
        EXPECT_FALSE(CanonicalCount<std::uint64_t>(bad).has_value()) << bad;
    }
}

TEST(DecimalNumberTest, PointSeparatedNumbersOnly) {
    EXPECT_EQ(DecimalNumber("3.5"), 3.5);
    EXPECT_EQ(DecimalNumber("-2"), -2.0);
    EXPECT_EQ(DecimalNumber(".5"), 0.5);
    EXPECT_EQ(DecimalNumber("1e3"), 1000.0);
    for (const char* bad :
         {"", "-", ".", "+1", " 1", "1,5", "3,5", "inf", "-nan", "0x10", "1e999", "38/41"}) {
        EXPECT_FALSE(DecimalNumber(bad).has_value()) << bad;
    }
}

TEST(ClockMinutesTest, TwoDigitsEachWithinTheDay) {
    EXPECT_EQ(ClockMinutes("00:00"), 0);
    EXPECT_EQ(ClockMinutes("07:08"), 7 * 60 + 8);
    EXPECT_EQ(ClockMinutes("23:59"), 23 * 60 + 59);
    for (const char* bad : {"", "7:08", "8:5", "07:8", "24:00", "23:60", "07-08", "07:08 ", "0a:00",
                            "-99:00", "+7:08"}) {
        EXPECT_FALSE(ClockMinutes(bad).has_value()) << bad;
    }
}

TEST(ClockTextTest, TimeOfDayOfAnyMinute) {
    EXPECT_EQ(ClockText(0), "00:00");
    EXPECT_EQ(ClockText(7 * 60 + 8), "07:08");
    EXPECT_EQ(ClockText(23 * 60 + 59), "23:59");
    EXPECT_EQ(ClockText(1440 + 65), "01:05");  // the next day
    EXPECT_EQ(ClockText(-60), "23:00");        // the day before
    for (int m = 0; m < 1440; ++m) EXPECT_EQ(ClockMinutes(ClockText(m)), m);
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

TEST(ReadCsvTest, QuotesBlanksAndLineEnds) {
    const CsvText t = ReadCsv(
        "\xEF\xBB\xBF"
        "a, b ,\"c,\"\"d\"\"\"\r\n"
        "\r\n"
        "  \n"
        "\"two\r\nlines\",,x\n"
        "last");
    EXPECT_EQ(t.unterminatedLine, 0);
    ASSERT_EQ(t.records.size(), 3u);
    EXPECT_EQ(t.records[0].values, (Values{"a", "b", "c,\"d\""}));
    EXPECT_EQ(t.records[0].line, 1);
    EXPECT_EQ(t.records[0].columns, (std::vector<int>{4, 6, 10}));  // the mark's bytes count
    EXPECT_EQ(t.records[0].endColumn, 19);
    EXPECT_EQ(t.records[1].values, (Values{"two\nlines", "", "x"}));
    EXPECT_EQ(t.records[1].line, 4);
    EXPECT_EQ(t.records[2].values, (Values{"last"}));
    EXPECT_EQ(t.records[2].line, 6);
    EXPECT_EQ(t.records[2].endColumn, 5);

    const CsvText open = ReadCsv("a\nb,\"open\nstill open");
    EXPECT_EQ(open.unterminatedLine, 2);
    EXPECT_EQ(open.records.size(), 1u);
    EXPECT_TRUE(ReadCsv("").records.empty());
}

// What is written is read back as it was, but for a CR before a line feed.
TEST(ReadCsvTest, ReadsWhatCsvFieldWrites) {
    const Values values = {"北京,南", "say \"hi\"", "x\r\ny", "", "\xB1\xB1"};
    std::string line;
    for (const std::string& v : values) line += (line.empty() ? "" : ",") + CsvField(v);
    const CsvText t = ReadCsv(line + "\r\n");
    ASSERT_EQ(t.records.size(), 1u);
    EXPECT_EQ(t.records[0].values, (Values{"北京,南", "say \"hi\"", "x\ny", "", "\xB1\xB1"}));
}

// Every length that takes a different path, a difference at every position: a byte compared
// or copied twice, or one left out, shows.
TEST(ShortBytesTest, EveryLengthEveryPosition) {
    for (std::size_t n = 0; n <= 40; ++n) {
        std::string a(n, '\0');
        for (std::size_t i = 0; i < n; ++i) a[i] = static_cast<char>(0xA1 + i * 7);
        std::string b = a;
        EXPECT_TRUE(SameBytes(a, b)) << n;
        for (std::size_t i = 0; i < n; ++i) {
            b[i] = static_cast<char>(b[i] ^ 0x80);
            EXPECT_FALSE(SameBytes(a, b)) << n << " differing at " << i;
            b[i] = a[i];
        }
        EXPECT_FALSE(SameBytes(a, a + "x"));
        if (n == 0) continue;
        std::string to(n + 2, '-');
        CopyBytes(to.data() + 1, a.data(), n);
        EXPECT_EQ(to, "-" + a + "-") << n;
    }
}

}  // namespace
}  // namespace korvel
