// Journey-time, distance and fare arithmetic.
#include "query/fare_tariff.h"

#include <gtest/gtest.h>

#include "support/test_timetable.h"

namespace korvel {
namespace {

using test::G;

TEST(ElapsedTextTest, PadsHoursAndMinutes) {
    EXPECT_EQ(ElapsedText("0", "0"), "0");
    EXPECT_EQ(ElapsedText("2:9", "2:9"), "0");
    EXPECT_EQ(ElapsedText("0", "4:55"), "04:55");
    EXPECT_EQ(ElapsedText("18", "1:1"), "00:43");
    EXPECT_EQ(ElapsedText("2:9", "37:43"), "35:34");
    EXPECT_EQ(ElapsedText("0", "0:5"), "00:05");
    EXPECT_EQ(ElapsedText("45", "1:30"), "00:45");
    EXPECT_EQ(ElapsedText("10:05", "22:45"), "12:40");
    EXPECT_EQ(ElapsedText("0", "20:0"), "20:00");
    // Only two minute digits after the colon are read; an empty hour part is 0.
    EXPECT_EQ(ElapsedText("0", "1:059"), "01:05");
    EXPECT_EQ(ElapsedText("0", ":30"), "00:30");
}

// A section counts from the departure at the boarding stop: the dwell is added, across
// midnight too; no dwell, or a stop without both times, keeps the run time's own text.
TEST(ElapsedTextTest, DepartureRunTimeAddsTheDwell) {
    EXPECT_EQ(DepartureRunTime("3:37", "23:10", "23:18"), "3:45");
    EXPECT_EQ(DepartureRunTime("14:0", "23:58", "00:03"), "14:5");
    EXPECT_EQ(ElapsedText(DepartureRunTime("3:37", "23:10", "23:18"), "14:56"), "11:11");
    EXPECT_EQ(DepartureRunTime("0", "", "19:10"), "0");
    EXPECT_EQ(DepartureRunTime("2:9", "10:00", "10:00"), "2:9");
    EXPECT_EQ(DepartureRunTime("2:9", "----", "10:00"), "2:9");
}

TEST(RoundHalfUpTest, HalfGoesUp) {
    EXPECT_EQ(RoundHalfUp(2.5), 3);
    EXPECT_EQ(RoundHalfUp(2.4999), 2);
    EXPECT_EQ(RoundHalfUp(0.0), 0);
    EXPECT_EQ(RoundHalfUp(170.9666), 171);
    EXPECT_EQ(RoundHalfUp(-2.5), -2);
    EXPECT_EQ(RoundHalfUp(1e300), 2147483647);
    EXPECT_EQ(RoundHalfUp(-1e300), -2147483647 - 1);
}

TEST(FareArithmeticTest, AbsurdTextsStayDefined) {
    // Huge numbers in the stored texts must not overflow the arithmetic.
    EXPECT_EQ(ElapsedText("0", "99999999:00"), "35791394:07");  // held at the largest minute count
    EXPECT_EQ(ElapsedToMinutes("99999999:00"), 2147483647);
    FareRequest r;
    r.trainNumber = "K1";
    r.trainType = 6;
    r.origin = "a";
    r.boardStation = "b";
    r.trainKm = 10;
    r.trainFares[0] = "1e300";
    r.trainFares[1] = r.trainFares[2] = r.trainFares[3] = "-";
    r.spanKm = 5;
    FillFares(r);
    EXPECT_FALSE(r.fares[0].empty());
}

TEST(BaseFareTest, BandCentresAndRates) {
    struct Case {
        int d;
        double fare;
        int adjusted;
    } cases[] = {{0, 1.1722, 20},          {5, 1.1722, 20},       {19, 1.1722, 20},
                 {20, 1.1722, 20},         {21, 1.46525, 25},     {201, 12.24949, 210},
                 {250, 14.35945, 250},     {1000, 50.9907, 1000}, {2500, 107.109775, 2515},
                 {2810, 115.315175, 2795}, {150, 8.49845, 145},   {400, 21.74431, 390},
                 {6001, 209.2377, 6001}};
    for (const Case& c : cases) {
        int adj = -1;
        EXPECT_NEAR(BaseFare(c.d, &adj), c.fare, 1e-9) << c.d;
        EXPECT_EQ(adj, c.adjusted) << c.d;
    }
    EXPECT_NEAR(BaseFare(400), 21.74431, 1e-9);
}

TEST(BaseFareTest, TablesHaveTheirRows) {
    ASSERT_EQ(DistanceBands().size(), 10u);
    EXPECT_EQ(DistanceBands().front().Intervals.size(), 20u);
    EXPECT_EQ(DistanceBands().back().Intervals.size(), 14u);
    EXPECT_EQ(DistanceBands().back().Intervals.back(), std::make_pair(5901, 6000));
    EXPECT_EQ(DistanceBands()[3].Intervals[7], std::make_pair(981, 1020));
    ASSERT_EQ(RateBands().size(), 6u);
    EXPECT_DOUBLE_EQ(RateBands()[5].Rate, 0.029305);
}

TEST(PriceValueTest, Parts) {
    EXPECT_EQ(PriceValue("38/41/43", 1), 38);
    EXPECT_EQ(PriceValue("38/41/43", 2), 41);
    EXPECT_EQ(PriceValue("38/41/43", 3), 43);
    EXPECT_EQ(PriceValue("54/58", 1), 54);
    EXPECT_EQ(PriceValue("54/58", 2), 58);
    EXPECT_EQ(PriceValue("54/58", 3), 58);
    EXPECT_EQ(PriceValue("3.5", 0), 3.5);
    EXPECT_EQ(PriceValue("3.5", 1), 0);  // no "/"
    EXPECT_EQ(PriceValue("3.5", 2), 0);
    EXPECT_EQ(PriceValue("-", 0), 0);
    EXPECT_EQ(PriceValue("", 1), 0);
    EXPECT_EQ(PriceValue("38/41/43", 0), 0);  // not a number as a whole
    EXPECT_EQ(PriceValue("38/41/43", 4), 0);
    EXPECT_EQ(PriceValue("39.5/42.5/44.5", 3), 44.5);
    EXPECT_EQ(PriceValue("abc/x", 1), 0);
}

TEST(NumberTextTest, ReadsAndWritesWithDot) {
    EXPECT_EQ(FareNumber("143"), 143);
    EXPECT_EQ(FareNumber("3,5"), 0);
    EXPECT_EQ(FareNumber("inf"), 0);
    EXPECT_EQ(FareNumber(" 3"), 0);
    EXPECT_EQ(DecimalText(36), "36");
    EXPECT_EQ(DecimalText(35.5), "35.5");
    EXPECT_EQ(DecimalText(0.1 + 0.2), "0.3");
    EXPECT_NEAR(TwoPercentPart(115.315175), 2.4, 1e-12);
    EXPECT_NEAR(TwoPercentPart(8.49845), 0.2, 1e-12);
    EXPECT_NEAR(TwoPercentPart(50), 1.0, 1e-12);  // already whole tenths
}

TEST(ElapsedMinutesTest, BothDirections) {
    EXPECT_EQ(ElapsedToMinutes("05:30"), 330);
    EXPECT_EQ(ElapsedToMinutes("18"), 18);
    EXPECT_EQ(ElapsedToMinutes("0"), 0);
    EXPECT_EQ(ElapsedToMinutes("2:9"), 129);
    EXPECT_EQ(ElapsedToMinutes("x:30"), 30);
    EXPECT_EQ(ElapsedToMinutes(""), 0);
    // A journey time reads two minute characters at most; a sum of them reads them all.
    EXPECT_EQ(ElapsedToMinutes("1:234"), 294);
    EXPECT_EQ(ElapsedText("0", "1:234"), "01:23");
    EXPECT_EQ(MinutesToElapsed(125), "2:5");
    EXPECT_EQ(MinutesToElapsed(600), "10:0");
    EXPECT_EQ(MinutesToElapsed(0), "0:0");
    EXPECT_EQ(MinutesToElapsed(ElapsedToMinutes("05:30") + ElapsedToMinutes("01:45")), "7:15");
    EXPECT_EQ(MinutesToElapsed(ElapsedToMinutes("01:05") + ElapsedToMinutes("00:00")), "1:5");
}

// The 1043 row from 咸阳 to 宝鸡.
FareRequest Row1043() {
    FareRequest r;
    r.trainNumber = "1043";
    r.trainType = 8;
    r.origin = G("西安");
    r.trainKm = 2810;
    r.trainFares[0] = "143";
    r.trainFares[1] = "-";
    r.trainFares[2] = "280/291/303";
    r.trainFares[3] = "469/492";
    r.boardStation = G("咸阳");
    r.boardKm = 23;
    r.alightKm = 173;
    r.spanKm = 150;
    return r;
}

TEST(ConventionalFaresTest, WorkedExample1043) {
    FareRequest r = Row1043();
    FillFares(r);
    EXPECT_EQ(r.fares[0], "12");
    EXPECT_EQ(r.fares[1], "");
    EXPECT_EQ(r.fares[2], "46/48/50");
    EXPECT_EQ(r.fares[3], "68/72");

    const auto premium = ConventionalPremium(8, 2810, "143", "-", "280/291/303", "469/492");
    ASSERT_TRUE(premium);
    EXPECT_EQ(premium->factor, 1.0);
    EXPECT_TRUE(premium->withAirConditioning);
    const SpanFares f = ConventionalSpanFares(8, 150, 1.0, true);
    EXPECT_EQ(f.hardSeat, 12);
    EXPECT_EQ(f.softSeat, 20);
    EXPECT_EQ(f.hardSleeper[0], 46);
    EXPECT_EQ(f.hardSleeper[2], 50);
    EXPECT_EQ(f.softSleeper[1], 72);
}

TEST(ConventionalFaresTest, SoftSleeperOnlyTrain) {
    // Reference is the upper soft sleeper (class 4): 171 - 1 - 10 = 160 against m1 141,
    // m2 154, so factor 1.0 with the 25 % part kept.
    FareRequest r;
    r.trainNumber = "T9";
    r.trainType = 8;
    r.origin = G("北京");
    r.boardStation = G("天津");
    r.trainKm = 1000;
    r.trainFares[0] = r.trainFares[1] = r.trainFares[2] = "-";
    r.trainFares[3] = "171/180";
    r.spanKm = 500;
    FillFares(r);
    EXPECT_EQ(r.fares[0], "");
    EXPECT_EQ(r.fares[1], "");
    EXPECT_EQ(r.fares[2], "");
    EXPECT_EQ(r.fares[3], "123/128");
}

TEST(ConventionalFaresTest, NoReferenceFareLeavesFaresEmpty) {
    FareRequest r = Row1043();
    r.trainFares[0] = r.trainFares[1] = r.trainFares[2] = r.trainFares[3] = "-";
    FillFares(r);
    EXPECT_EQ(r.fares[0] + r.fares[1] + r.fares[2] + r.fares[3], "");
    EXPECT_FALSE(ConventionalPremium(8, 2810, "-", "-", "-", "-"));
}

TEST(ConventionalFaresTest, HalfYuanSeatAndExpressPart) {
    // A short span: seat fares of 5 or less get 0.5 added, not 1.
    const SpanFares f = ConventionalSpanFares(11, 10, 1.0, false);
    // BaseFare(10) = 1.1722 (20 km), two-percent share 0.1: seat(1) = round(1.2722) = 1.
    EXPECT_EQ(f.hardSeat, 1.5);
    EXPECT_EQ(f.softSeat, 2.5);  // seat(2) = round(2.4444) = 2, + 0.5
    // Express types add round(1.1722) below 100 km, doubled for types 4 to 6 only.
    EXPECT_EQ(ConventionalSpanFares(7, 10, 1.0, false).hardSeat, 2.5);
    EXPECT_EQ(ConventionalSpanFares(6, 10, 1.0, false).hardSeat, 3.5);
}

TEST(FillFaresTest, OriginBoardingCopiesStoredFares) {
    FareRequest r = Row1043();
    r.boardStation = r.origin;
    r.alightFares[0] = "25";
    r.alightFares[1] = "-";
    r.alightFares[2] = "-";
    r.alightFares[3] = "-";
    FillFares(r);
    EXPECT_EQ(r.fares[0], "25");
    EXPECT_EQ(r.fares[1], "-");
    EXPECT_EQ(r.fares[2], "-");
    EXPECT_EQ(r.fares[3], "-");
}

TEST(FillFaresTest, OriginBoardingWithoutStoredFaresComputes) {
    FareRequest r = Row1043();
    r.boardStation = r.origin;
    r.alightFares[0] = r.alightFares[1] = r.alightFares[2] = r.alightFares[3] = "-";
    FillFares(r);
    EXPECT_EQ(r.fares[0], "12");
    EXPECT_EQ(r.fares[2], "46/48/50");
    EXPECT_EQ(r.fares[3], "68/72");
}

FareRequest EmuRow(const char* trainNo, int distance, const char* p1, int span) {
    FareRequest r;
    r.trainNumber = trainNo;
    r.trainType = 1;
    r.origin = G("北京");
    r.boardStation = G("唐山北");
    r.trainKm = distance;
    r.trainFares[0] = p1;
    r.spanKm = span;
    return r;
}

TEST(EmuFaresTest, WorkedExampleD1) {
    FareRequest r = EmuRow("D1", 703, "207", 552);
    r.boardFares[0] = "45";
    r.boardFares[1] = "53";
    r.boardFares[3] = "-";
    r.fares[2] = "untouched";
    FillFares(r);
    EXPECT_EQ(r.fares[0], "171");
    EXPECT_EQ(r.fares[1], "205");
    EXPECT_EQ(r.fares[2], "untouched");  // EmuFares never writes the hard sleeper
    EXPECT_EQ(r.fares[3], "");
}

TEST(EmuFaresTest, DRateSnapping) {
    // 0.29 per km lies within 0.02 of the standard rate: the standard rate, factor 1.
    FareRequest a = EmuRow("D5", 1000, "290", 800);
    FillFares(a);
    EXPECT_EQ(a.fares[0], "248");  // 800 * 0.3097222
    EXPECT_EQ(a.fares[1], "");     // no soft seat at the boarding stop
    // 0.232 per km: factor 0.749 snaps to 0.75, applied only above 700 km.
    FareRequest b = EmuRow("d6", 1000, "232", 701);
    FillFares(b);
    EXPECT_EQ(b.fares[0], "163");  // 701 * 0.3097222 * 0.75
    FareRequest c = EmuRow("D6", 1000, "232", 700);
    FillFares(c);
    EXPECT_EQ(c.fares[0], "217");  // 700 * 0.3097222
    // 0.35 per km is used unchanged.
    FareRequest d = EmuRow("D7", 1000, "350", 100);
    d.boardFares[1] = "10";
    d.boardFares[3] = "100/110";
    FillFares(d);
    EXPECT_EQ(d.fares[0], "35");
    EXPECT_EQ(d.fares[1], "42");     // 35 * 1.199243
    EXPECT_EQ(d.fares[3], "67/75");  // 35 * 1.91651809, 35 * 2.155609769
}

TEST(EmuFaresTest, DifferencesForCAndGTrains) {
    FareRequest r = EmuRow("G7", 1300, "600", 500);
    r.trainType = 2;
    r.boardFares[0] = "100";
    r.alightFares[0] = "90";  // smaller than at the boarding stop
    r.boardFares[1] = "150";
    r.alightFares[1] = "200";
    r.boardFares[3] = "100/110";
    r.alightFares[3] = "300/320";
    r.fares[0] = "old";
    FillFares(r);
    EXPECT_EQ(r.fares[0], "");
    EXPECT_EQ(r.fares[1], "50");
    EXPECT_EQ(r.fares[3], "200/210");

    FareRequest c = EmuRow("C2001", 100, "20", 30);
    c.trainType = 3;
    c.boardFares[0] = "5";
    c.alightFares[0] = "12.5";
    FillFares(c);
    EXPECT_EQ(c.fares[0], "8");  // 7.5 rounds up
    EXPECT_EQ(c.fares[3], "");
}

TEST(EmuFaresTest, G100RuleIgnoresTheStops) {
    FareRequest r = EmuRow("G100", 1300, "600", 300);
    r.trainType = 2;
    r.boardFares[0] = "50";
    r.alightFares[0] = "60";
    FillFares(r);
    EXPECT_EQ(r.fares[0], "333");
    EXPECT_EQ(r.fares[1], "532");
}

TEST(EmuFaresTest, NoWholeFareClearsTheClasses) {
    FareRequest r = EmuRow("G8", 1300, "-", 300);
    r.trainType = 2;
    r.boardFares[0] = "50";
    r.alightFares[0] = "60";
    r.fares[0] = r.fares[1] = r.fares[3] = "old";
    FillFares(r);
    EXPECT_EQ(r.fares[0] + r.fares[1] + r.fares[3], "");
}

}  // namespace
}  // namespace korvel
