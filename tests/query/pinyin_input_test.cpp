// Station input by pinyin initials: the letters test, the drop-down items and what the
// change handler decides.
#include "query/pinyin_input.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "data/memtable.h"
#include "data/schema.h"

namespace korvel {
namespace {

const std::string kBeijing = "\xB1\xB1\xBE\xA9";             // 北京
const std::string kBeijingXi = "\xB1\xB1\xBE\xA9\xCE\xF7";   // 北京西
const std::string kBeijingNan = "\xB1\xB1\xBE\xA9\xC4\xCF";  // 北京南
const std::string kBaotou = "\xB0\xFC\xCD\xB7";              // 包头
const std::string kShanghai = "\xC9\xCF\xBA\xA3";            // 上海
const std::string kUserArea = "\xF8\xB3\xB4\xE5";            // user-defined area character + 村

void BuildKMPy(MemTable& t, const std::vector<std::pair<std::string, std::string>>& rows) {
    t.Define(KMPyFields(), KMPyIndexes());
    for (const auto& [station, code] : rows) {
        t.Append();
        t.SetText(0, station);
        t.SetText(1, code);
        t.Post();
    }
    t.BuildIndexes();
}

std::vector<std::string> Padded(std::vector<std::string> items) {
    if (items.size() < 8) items.resize(9);
    return items;
}

TEST(PinyinCode, LettersOnly) {
    EXPECT_TRUE(IsPinyinCode("bj"));
    EXPECT_TRUE(IsPinyinCode("BJX"));
    EXPECT_TRUE(IsPinyinCode("zZ"));
    EXPECT_FALSE(IsPinyinCode(""));
    EXPECT_FALSE(IsPinyinCode("b1"));
    EXPECT_FALSE(IsPinyinCode("b j"));
    EXPECT_FALSE(IsPinyinCode("b-"));
    EXPECT_FALSE(IsPinyinCode(kBeijing));
    EXPECT_FALSE(IsPinyinCode("@"));  // just below 'A'
    EXPECT_FALSE(IsPinyinCode("["));  // just after 'Z'
    EXPECT_FALSE(IsPinyinCode("`"));
    EXPECT_FALSE(IsPinyinCode("{"));
}

struct Py : ::testing::Test {
    MemTable py;
    void SetUp() override {
        BuildKMPy(py, {{kBaotou, "BT"},
                       {kBeijing, "BJ"},
                       {kBeijingXi, "BJX"},
                       {kShanghai, "SH"},
                       {kBeijingNan, "BJN"},
                       {kUserArea, "C"},
                       {"Short", "B"}});
    }
};

TEST_F(Py, PrefixMatchInTableOrderPadded) {
    EXPECT_EQ(StationDropDownItems(py, "bj"), Padded({kBeijing, kBeijingXi, kBeijingNan}));
    EXPECT_EQ(StationDropDownItems(py, "BJ"), Padded({kBeijing, kBeijingXi, kBeijingNan}));
    EXPECT_EQ(StationDropDownItems(py, "bjx"), Padded({kBeijingXi}));
    // A code longer than the Shortcode never matches it.
    EXPECT_EQ(StationDropDownItems(py, "bjxx"), Padded({}));
    EXPECT_EQ(StationDropDownItems(py, "b"),
              Padded({kBaotou, kBeijing, kBeijingXi, kBeijingNan, "Short"}));
    EXPECT_EQ(StationDropDownItems(py, "zzzzzz"), std::vector<std::string>(9));
    // User-defined-area bytes come through unchanged.
    EXPECT_EQ(StationDropDownItems(py, "c").front(), kUserArea);
}

TEST(PinyinItems, PaddingThresholdAndNoLimit) {
    for (int n : {7, 8, 30}) {
        MemTable py;
        std::vector<std::pair<std::string, std::string>> rows;
        for (int i = 0; i < n; ++i) rows.push_back({"S" + std::to_string(i), "YC"});
        rows.push_back({"other", "Y"});
        BuildKMPy(py, rows);
        auto items = StationDropDownItems(py, "yc");
        const std::size_t expected = n == 7 ? 9u : static_cast<std::size_t>(n);
        ASSERT_EQ(items.size(), expected) << n;
        EXPECT_EQ(items[n - 1], "S" + std::to_string(n - 1));
        if (n == 7) {
            EXPECT_EQ(items[7], "");
            EXPECT_EQ(items[8], "");
        }
    }
}

TEST_F(Py, ChangeHandler) {
    auto r = StationBoxEdited(" bj ", &py);
    EXPECT_EQ(r.text, "bj");  // typed text kept as typed, only trimmed
    EXPECT_EQ(r.action, ComboListAction::FillAndOpen);
    EXPECT_EQ(r.items, Padded({kBeijing, kBeijingXi, kBeijingNan}));

    r = StationBoxEdited("bj");
    EXPECT_EQ(r.action, ComboListAction::FillAndOpen);
    EXPECT_TRUE(r.items.empty());

    r = StationBoxEdited("  \t", &py);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.action, ComboListAction::ResetEmpty);
    EXPECT_EQ(r.items, std::vector<std::string>(9));

    r = StationBoxEdited(kBeijing + " ", &py);
    EXPECT_EQ(r.text, kBeijing);
    EXPECT_EQ(r.action, ComboListAction::Leave);

    r = StationBoxEdited("b1", &py);
    EXPECT_EQ(r.action, ComboListAction::Leave);
}

}  // namespace
}  // namespace korvel
