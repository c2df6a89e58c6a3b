// korvel-cli: the headless start-up report and table dumps, run as a process on the embedded
// timetable, and in-process with injected blobs for the failure paths.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli_run.h"
#include "data/blob.h"
#include "data/gbk.h"
#include "data/schema.h"
#include "data/table_stream.h"
#include "resources/resources.h"

namespace korvel {
namespace {

using cli_test::CliRun;
using cli_test::Lines;
using cli_test::RunCli;

// Splits one CSV line of the dump (quoted values may hold commas and doubled quotes).
std::vector<std::string> CsvSplit(const std::string& line) {
    std::vector<std::string> values(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                values.back() += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == ',' && !quoted) {
            values.emplace_back();
        } else {
            values.back() += c;
        }
    }
    return values;
}

// Record counts of the embedded tables, loaded in-process.
std::map<std::string, std::uint32_t> EmbeddedCounts() {
    StoredTables tables;
    LoadFlags flags;
    const cli::TimetableLoad load = cli::LoadTimetable(tables, flags);
    std::map<std::string, std::uint32_t> counts;
    for (const LoadEvent& e : load.events) counts[std::string(LoadTableName(e.table))] = e.records;
    return counts;
}

TEST(CliProcess, LoadReportsEveryTableAndTheStartUpTime) {
    const CliRun r = RunCli("load");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto expected = EmbeddedCounts();
    ASSERT_EQ(expected.size(), 4u);

    std::map<std::string, std::uint32_t> reported;
    bool startUp = false, notice = false;
    for (const std::string& line : Lines(r.out)) {
        std::istringstream in(line);
        std::string name, word;
        std::uint32_t count = 0;
        in >> name;
        if (name == "Start-up:") {
            startUp = line.find(" ms") != std::string::npos;
        } else if (expected.count(name)) {
            ASSERT_TRUE(in >> count >> word) << line;
            EXPECT_EQ(word, "records");
            EXPECT_NE(line.find(" ms"), std::string::npos) << line;
            reported[name] = count;
        } else if (line.find("2019 timetable") != std::string::npos) {
            // A sample build must say so rather than pass for the 2019 timetable.
            const bool sample = EmbeddedTimetableKind() != "builder";
            notice =
                line.find(sample ? "sample timetable" : "public sources") != std::string::npos &&
                line.find("fares") != std::string::npos;
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
        }
    }
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(startUp);
    EXPECT_TRUE(notice);
#if defined(KORVEL_EMBEDDED_PLACEHOLDER)
    EXPECT_EQ(reported["KMTrain"], 8u);
    EXPECT_EQ(reported["KMPy"], 5u);
#endif
}

TEST(CliProcess, DumpByStopIndexKeepsEachTrainsStopsTogetherInStopOrder) {
    const CliRun r = RunCli("dump KMTrain --index SIDNo");
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "ID,Station,S_No,A_Time,D_Time,R_Date,Distance,P1,P2,P3,P4");
    EXPECT_EQ(lines.size() - 1, EmbeddedCounts()["KMTrain"]);

    std::set<std::string> finished;
    std::string current;
    long lastNo = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto v = CsvSplit(lines[i]);
        ASSERT_EQ(v.size(), 11u) << lines[i];
        const long no = std::stol(v[2]);
        if (v[0] != current) {
            ASSERT_FALSE(finished.count(v[0])) << "stops of " << v[0] << " are split at line " << i;
            if (!current.empty()) {
                finished.insert(current);
                // Train numbers in byte order of their GBK text.
                EXPECT_LT(Utf8ToGbk(current), Utf8ToGbk(v[0]));
            }
            current = v[0];
        } else {
            ASSERT_GT(no, lastNo) << "stop order broken for " << v[0] << " at line " << i;
        }
        lastNo = no;
    }
}

TEST(CliProcess, DumpInLoadOrderHasTheSameRecords) {
    const CliRun byIndex = RunCli("dump KMTrain --index SIDNo");
    const CliRun loadOrder = RunCli("dump kmtrain");
    ASSERT_EQ(loadOrder.rc, 0) << loadOrder.err;
    auto a = Lines(byIndex.out), b = Lines(loadOrder.out);
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a[0], b[0]);
    std::multiset<std::string> sa(a.begin(), a.end()), sb(b.begin(), b.end());
    EXPECT_EQ(sa, sb);

    const CliRun py = RunCli("dump KMPy");
    ASSERT_EQ(py.rc, 0);
    EXPECT_EQ(Lines(py.out)[0], "Station,Shortcode");
}

TEST(CliProcess, UsageErrorsExitWithTwo) {
    CliRun r = RunCli("dump KMNope");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("KMNope"), std::string::npos);
    EXPECT_EQ(r.out, "");

    r = RunCli("dump KMList --index SIDNo");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("SIDNo"), std::string::npos);
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(RunCli("dump KMList --index").rc, 2);
    EXPECT_EQ(RunCli("dump").rc, 2);
    EXPECT_EQ(RunCli("dump KMList KMSM").rc, 2);
    EXPECT_EQ(RunCli("load extra").rc, 2);
    EXPECT_EQ(RunCli("").rc, 2);
    r = RunCli("frobnicate");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("frobnicate"), std::string::npos);
    r = RunCli("help");
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.out.find("dump TABLE"), std::string::npos);
}

// --- in-process, with injected blobs ---

using Bytes = std::vector<unsigned char>;

BlobSource StreamsSource(std::map<std::string, std::string> streams) {
    return [streams = std::move(streams)](std::string_view name) -> Bytes {
        std::string key(name);
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto it = streams.find(key);
        if (it == streams.end()) throw BlobError("Resource '" + std::string(name) + "' not found");
        return Bytes(it->second.begin(), it->second.end());
    };
}

std::map<std::string, std::string> TinyStreams() {
    return {
        {"SPY", WriteTableStream(KMPyFields(), KMPyIndexes(), {{"\xB1\xB1\xBE\xA9", "BJ"}})},
        {"SLIST",
         WriteTableStream(KMListFields(), KMListIndexes(),
                          {{"T1", "4", "a", "b", "01:00", "02:00", "1:0", "9", "", "", "", ""}})},
        {"SM", WriteTableStream(KMSMFields(), KMSMIndexes(), {{"\xB1\xB1\xBE\xA9", "1"}})},
        {"STRAIN",
         WriteTableStream(KMTrainFields(), KMTrainIndexes(),
                          {{"T1", "a", "1", "01:00", "01:00", "0", "0", "", "", "", ""},
                           {"T1", "b", "2", "02:00", "02:00", "1:0", "9", "", "", "", ""}})},
    };
}

TEST(CliInProcess, LoadFailureNamesTheTableAndTheError) {
    auto streams = TinyStreams();
    streams.erase("STRAIN");
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunLoadWith(StreamsSource(streams), out, err), 1);
    EXPECT_NE(err.str().find("KMTrain"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("STrain' not found"), std::string::npos) << err.str();
    // The tables that did load are still reported.
    EXPECT_NE(out.str().find("KMPy"), std::string::npos);
    EXPECT_NE(out.str().find("FAILED"), std::string::npos);

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::RunLoadWith(StreamsSource(TinyStreams()), out2, err2), 0) << err2.str();
    EXPECT_EQ(err2.str(), "");
}

TEST(CliInProcess, DumpQuotesValuesAndKeepsUserDefinedCharacters) {
    auto streams = TinyStreams();
    // 思 followed by the user-defined-area character F8B3, and values needing CSV quotes.
    const std::string odd = "\xCB\xBC\xF8\xB3";
    streams["SPY"] = WriteTableStream(KMPyFields(), KMPyIndexes(),
                                      {{odd, "SB"}, {"a,b", "Q\"Q"}, {"line\nbreak", "LB"}});
    std::ostringstream out, err;
    ASSERT_EQ(cli::RunDumpWith({"KMPy"}, StreamsSource(streams), out, err), 0) << err.str();
    const std::string expected =
        "Station,Shortcode\n" + GbkToUtf8(odd) + ",SB\n\"a,b\",\"Q\"\"Q\"\n\"line\nbreak\",LB\n";
    EXPECT_EQ(out.str(), expected);
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(odd)), odd);

    // A damaged table is a load failure, not an empty dump.
    streams.erase("SPY");
    std::ostringstream out3, err3;
    EXPECT_EQ(cli::RunDumpWith({"KMPy"}, StreamsSource(streams), out3, err3), 1);
    EXPECT_NE(err3.str().find("KMPy"), std::string::npos);
    EXPECT_EQ(out3.str(), "");
}

}  // namespace
}  // namespace korvel
