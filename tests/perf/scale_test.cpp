// korvel-scale's copies: new numbers that stay unique and distinct from the originals' first
// numbers, clock times shifted around the clock, and every other value unchanged.
#include "scale/scale.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "data/memtable.h"
#include "data/table_stream.h"

namespace korvel {
namespace {

TEST(ScaleNumbers, EveryPartOfANumberGetsTheCopySuffix) {
    EXPECT_EQ(ScaledTrainId("G1", 0), "G1");
    EXPECT_EQ(ScaledTrainId("G1", 3), "G1-3");
    EXPECT_EQ(ScaledTrainId("Z98/Z95", 9), "Z98-9/Z95-9");
    EXPECT_EQ(ScaledTrainId("", 2), "-2");
    // 35 bytes is the field's size; a number that would grow beyond it is refused.
    EXPECT_EQ(ScaledTrainId(std::string(33, 'K'), 1).size(), 35u);
    EXPECT_THROW(ScaledTrainId(std::string(34, 'K'), 1), ScaleError);
    EXPECT_THROW(ScaledTrainId("K1/K2/K3/K4/K5/K6/K7/K8/K9", 10), ScaleError);
}

TEST(ScaleNumbers, ClockTimesWrapAroundMidnight) {
    EXPECT_EQ(ShiftClock("09:00", 34), "09:34");
    EXPECT_EQ(ShiftClock("23:50", 17), "00:07");
    EXPECT_EQ(ShiftClock("00:05", -10), "23:55");
    EXPECT_EQ(ShiftClock("", 17), "");
    EXPECT_EQ(ShiftClock("24:00", 17), "24:00");
    EXPECT_EQ(ShiftClock("9:00", 17), "9:00");
    EXPECT_EQ(ShiftClock("ab:cd", 17), "ab:cd");
}

MemTable Load(const std::string& stream) {
    MemTable t;
    TableStreamFormat f;
    LoadFromTableStream(t, stream, &f);
    return t;
}

TEST(ScaleTimetable, CopiesEveryTrainWithItsStops) {
    TimetableStreams in = ReadStreamsFrom(KORVEL_SAMPLE_STREAMS);
    EXPECT_THROW(ScaleTimetable(in, 0), ScaleError);
    EXPECT_EQ(ScaleTimetable(in, 1).text, in.text);

    const TimetableStreams out = ScaleTimetable(in, 3);
    EXPECT_EQ(out.text[0], in.text[0]);  // SPY: the same stations
    EXPECT_EQ(out.text[3], in.text[3]);  // SM: the same groups
    for (std::size_t slot : {std::size_t{1}, std::size_t{2}}) {
        MemTable a = Load(in.text[slot]);
        MemTable b = Load(out.text[slot]);
        const std::uint32_t n = a.RecordCount();
        ASSERT_GT(n, 0u);
        ASSERT_EQ(b.RecordCount(), 3 * n);
        std::set<std::string> originalFirst;
        for (std::uint32_t r = 0; r < n; ++r) {
            const std::string id(a.FieldByName("ID").ViewAt(r));
            originalFirst.insert(id.substr(0, id.find('/')));
        }
        // Each copy's row, found by its number and stop number.
        Field* aSno = a.FindField("S_No");
        Field* bSno = b.FindField("S_No");
        std::map<std::pair<std::string, std::int32_t>, std::uint32_t> where;
        std::pair<std::string, std::int32_t> previous;
        for (std::uint32_t c = 0; c < b.RecordCount(); ++c) {
            std::pair<std::string, std::int32_t> key(b.FieldByName("ID").ViewAt(c),
                                                     bSno ? bSno->IntegerAt(c) : 0);
            EXPECT_TRUE(c == 0 || previous <= key) << "rows out of order at " << key.first;
            EXPECT_TRUE(where.emplace(key, c).second) << "repeated " << key.first;
            previous = key;
        }
        for (int copy = 0; copy < 3; ++copy) {
            for (std::uint32_t r = 0; r < n; ++r) {
                const std::string id = ScaledTrainId(a.FieldByName("ID").ViewAt(r), copy);
                auto it = where.find({id, aSno ? aSno->IntegerAt(r) : 0});
                ASSERT_NE(it, where.end()) << id;
                const std::uint32_t c = it->second;
                if (copy > 0) {
                    EXPECT_EQ(originalFirst.count(id.substr(0, id.find('/'))), 0u) << id;
                }
                for (const FieldDef& fd : a.Fields()) {
                    const std::string orig(a.FieldByName(fd.name).ViewAt(r));
                    const std::string got(b.FieldByName(fd.name).ViewAt(c));
                    if (AsciiIEquals(fd.name, "ID")) {
                        EXPECT_EQ(got, id);
                    } else if (AsciiIEquals(fd.name, "A_Time") || AsciiIEquals(fd.name, "D_Time")) {
                        EXPECT_EQ(got, ShiftClock(orig, CopyShiftMinutes(copy)));
                    } else {
                        EXPECT_EQ(got, orig) << fd.name;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace korvel
