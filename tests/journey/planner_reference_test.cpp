// The planner against the plain reference of journey_reference.h, on the program's own
// embedded timetable and on the sample timetable: with up to one change the answer equals
// the hand-paired journeys after the Pareto filter, with two changes the naive rounds; every
// journey is checked against the timetable.
#include <gtest/gtest.h>

#include <memory>

#include "../query/sample_streams.h"
#include "app/loaders.h"
#include "data/gbk.h"
#include "journey/journey_text.h"
#include "journey/planner.h"
#include "journey_reference.h"
#include "resources/resources.h"

namespace korvel {
namespace {

std::string Describe(const std::set<test::Triple>& s) {
    std::string out;
    for (const auto& [d, a, c] : s) {
        out += JourneyClockText(d) + "-" + JourneyClockText(a) + "/" + std::to_string(c) + " ";
    }
    return out;
}

class ReferenceCheck {
  public:
    explicit ReferenceCheck(StoredTables& t) : t_(t), index_(t), ref_(t) {}

    // Plans the pair and compares with the reference; returns the number of journeys.
    std::size_t Compare(const std::string& from, const std::string& to, JourneyOptions o) {
        const bool arrival = o.windowOf == JourneyWindowOf::Arrival;
        SCOPED_TRACE(GbkToUtf8(from) + " -> " + GbkToUtf8(to) +
                     (arrival ? " arrive " : " window ") + JourneyClockText(o.windowStart) + "-" +
                     JourneyClockText(o.windowEnd) + " changes " + std::to_string(o.maxTransfers));
        const std::vector<Journey> js = FindJourneys(index_, t_, from, to, o);
        const test::RefSides sides(t_, ref_, from, to);
        for (const Journey& j : js) EXPECT_EQ(test::CheckJourney(ref_, sides, o, j), "");
        std::set<test::Triple> expected;
        if (sides.sameCity) o.maxTransfers = 0;
        if (o.maxTransfers <= 1) {
            expected = test::ParetoSet(
                arrival ? test::PairedArrivals(ref_, sides, o, o.maxTransfers == 1)
                        : test::PairedJourneys(ref_, sides, o, o.maxTransfers == 1));
        } else {
            expected =
                test::ParetoSet(arrival ? test::RoundArrivals(ref_, sides, o, o.maxTransfers + 1)
                                        : test::RoundJourneys(ref_, sides, o, o.maxTransfers + 1));
        }
        const std::set<test::Triple> got = test::Triples(js);
        EXPECT_EQ(got.size(), js.size()) << "a journey is shown twice";
        EXPECT_EQ(got, expected) << "planner " << Describe(got) << "\nreference "
                                 << Describe(expected);
        return js.size();
    }

    const test::RefTimetable& Ref() const { return ref_; }
    const JourneyIndex& Index() const { return index_; }

  private:
    StoredTables& t_;
    JourneyIndex index_;
    test::RefTimetable ref_;
};

JourneyOptions Window(int from, int to, int changes) {
    JourneyOptions o;
    o.windowStart = from;
    o.windowEnd = to;
    o.maxTransfers = changes;
    return o;
}

JourneyOptions Arrive(int from, int to, int changes) {
    JourneyOptions o = Window(from, to, changes);
    o.windowOf = JourneyWindowOf::Arrival;
    return o;
}

// --- the embedded timetable ---------------------------------------------------------------

class EmbeddedJourneys : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tables_ = new StoredTables;
        LoadTimetableFromBlobs(*tables_, [](std::string_view name) { return ReadBlob(name); });
        check_ = new ReferenceCheck(*tables_);
    }
    static void TearDownTestSuite() {
        delete check_;
        delete tables_;
    }
    // A spread of served stations, and the big junctions where most journeys change.
    static std::vector<std::string> Stations(std::size_t count) {
        std::vector<std::string> out;
        for (const char* name : {"北京", "上海", "广州", "武汉", "郑州", "西安", "成都"}) {
            if (std::find(check_->Ref().names.begin(), check_->Ref().names.end(),
                          Utf8ToGbk(name)) != check_->Ref().names.end())
                out.push_back(Utf8ToGbk(name));
        }
        const auto& names = check_->Ref().names;
        const std::size_t step = std::max<std::size_t>(1, names.size() / count);
        for (std::size_t i = step / 2; i < names.size() && out.size() < count; i += step) {
            out.push_back(names[i]);
        }
        return out;
    }
    static StoredTables* tables_;
    static ReferenceCheck* check_;
};
StoredTables* EmbeddedJourneys::tables_ = nullptr;
ReferenceCheck* EmbeddedJourneys::check_ = nullptr;

TEST_F(EmbeddedJourneys, UpToOneChangeEqualsTheHandPairedJourneys) {
    const std::vector<std::string> s = Stations(24);
    std::size_t pairs = 0, found = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t k : {i + 1, i + 5, i + 11}) {
            if (k >= s.size() || s[i] == s[k]) continue;
            found += check_->Compare(s[i], s[k], Window(0, 1439, 1));
            found += check_->Compare(s[k], s[i], Window(360, 720, 0));
            ++pairs;
        }
    }
    EXPECT_GT(pairs, 40u);
    EXPECT_GT(found, pairs);  // most pairs have answers
}

TEST_F(EmbeddedJourneys, SameCityPairsAndLateWindows) {
    for (auto [a, b] : {std::pair{"北京西", "北京南"},
                        {"北京", "北京南"},
                        {"上海虹桥", "上海"},
                        {"广州南", "广州"}}) {
        check_->Compare(Utf8ToGbk(a), Utf8ToGbk(b), Window(0, 1439, 1));
    }
    // Journeys that start late in the evening arrive the next day or later.
    JourneyOptions late = Window(21 * 60, 23 * 60 + 59, 1);
    ASSERT_GT(check_->Compare(Utf8ToGbk("北京"), Utf8ToGbk("广州"), late), 0u);
    const auto js =
        FindJourneys(check_->Index(), *tables_, Utf8ToGbk("北京"), Utf8ToGbk("广州"), late);
    for (const Journey& j : js) EXPECT_GE(j.arrive, 1440);
}

TEST_F(EmbeddedJourneys, TwoChangesEqualTheNaiveRounds) {
    // Bounded so that the naive rounds stay quick: small stations over the whole day, the
    // big cities over an hour.
    const std::vector<std::string> s = Stations(40);
    for (std::size_t i = 7; i + 9 < s.size(); i += 4)
        check_->Compare(s[i], s[i + 9], Window(0, 1439, 2));
    check_->Compare(Utf8ToGbk("北京"), Utf8ToGbk("乌鲁木齐"), Window(8 * 60, 9 * 60, 2));
    check_->Compare(Utf8ToGbk("哈尔滨"), Utf8ToGbk("三亚"), Window(7 * 60, 8 * 60, 2));
    check_->Compare(Utf8ToGbk("武汉"), Utf8ToGbk("拉萨"), Window(18 * 60, 19 * 60, 2));
}

TEST_F(EmbeddedJourneys, ArrivalWindowsEqualTheReferenceFromTheOtherEnd) {
    const std::vector<std::string> s = Stations(24);
    std::size_t pairs = 0, found = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t k : {i + 3, i + 7}) {
            if (k >= s.size() || s[i] == s[k]) continue;
            found += check_->Compare(s[i], s[k], Arrive(0, 1439, 1));
            found += check_->Compare(s[k], s[i], Arrive(12 * 60, 18 * 60, 0));
            ++pairs;
        }
    }
    EXPECT_GT(found, pairs);
    // Two changes, and windows past midnight either way.
    const std::vector<std::string> few = Stations(40);
    for (std::size_t i = 7; i + 9 < few.size(); i += 8)
        check_->Compare(few[i], few[i + 9], Arrive(0, 1439, 2));
    const std::string beijing = Utf8ToGbk("北京"), shanghai = Utf8ToGbk("上海");
    EXPECT_GT(check_->Compare(beijing, shanghai, Arrive(12 * 60, 18 * 60, 2)), 0u);
    EXPECT_GT(check_->Compare(beijing, Utf8ToGbk("广州"), Arrive(22 * 60, 6 * 60, 1)), 0u);
    EXPECT_GT(check_->Compare(shanghai, beijing, Window(22 * 60, 6 * 60, 1)), 0u);
    check_->Compare(Utf8ToGbk("哈尔滨"), Utf8ToGbk("三亚"), Arrive(7 * 60, 8 * 60, 2));
}

// --- the sample timetable -------------------------------------------------------------

bool LoadSample(StoredTables& t) {
    return test::LoadSampleStreams(t, KORVEL_SAMPLE_STREAMS);
}

TEST(SampleJourneys, EveryPairEqualsTheReference) {
    StoredTables t;
    if (!LoadSample(t)) GTEST_SKIP() << "sample timetable streams not built";
    ReferenceCheck check(t);
    const auto& names = check.Ref().names;
    std::size_t found = 0;
    for (const std::string& a : names) {
        for (const std::string& b : names) {
            if (a == b) continue;
            found += check.Compare(a, b, Window(0, 1439, 1));
            found += check.Compare(a, b, Window(0, 1439, 2));
            found += check.Compare(a, b, Window(20 * 60, 23 * 60 + 59, 2));
            found += check.Compare(a, b, Arrive(0, 1439, 2));
            found += check.Compare(a, b, Arrive(20 * 60, 4 * 60, 1));
        }
    }
    EXPECT_GT(found, names.size());
}

}  // namespace
}  // namespace korvel
