// Damaged timetable folders, made here from the sample timetable's streams: cut, bit-flipped,
// padded, retyped, duplicated, renumbered and out-of-bounds files, with and without the
// manifest, and special files in place of a stream. Each folder is refused with the damaged
// file named, or loads with exactly the tables of the whole folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "app/loaders.h"
#include "data/manifest_build.h"
#include "resources/resources.h"
#include "timetable/timetable_folder.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

// The manifest's order.
constexpr std::array<const char*, 4> kFiles = {"SLIST.stream", "STRAIN.stream", "SM.stream",
                                               "SPY.stream"};
enum File { kList, kStops, kGroups, kCodes, kManifest };

struct Folder {
    std::array<std::string, 5> files;  // the four streams, then manifest.txt ("" for none)
};

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ManifestOf(const Folder& f) {
    return data::FormatManifest(data::ManifestForStreams(
        "2019", "2019-01-01", "test", {f.files[0], f.files[1], f.files[2], f.files[3]}));
}

std::string Name(int file) {
    return file == kManifest ? "manifest.txt" : kFiles[file];
}

fs::path Write(const Folder& f, const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / ("korvel_damaged_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (int i = 0; i < 5; ++i) {
        if (i == kManifest && f.files[i].empty()) continue;
        std::ofstream(dir / Name(i), std::ios::binary) << f.files[i];
    }
    return dir;
}

// Every value of every table in the order the queries read it: equal digests, equal answers.
std::string Digest(StoredTables& t) {
    std::string out;
    for (MemTable* table : {&t.KMPy, &t.KMList, &t.KMSM, &t.KMTrain}) {
        for (table->First(); !table->Eof(); table->Next()) {
            for (const FieldDef& def : table->Fields()) {
                out += table->FieldByName(def.name).AsString();
                out += '\x1f';
            }
            out += '\n';
        }
        out += "--\n";
    }
    return out;
}

class DamagedFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        const fs::path sample(KORVEL_SAMPLE_STREAMS);
        if (!fs::exists(sample / "SLIST.stream")) GTEST_SKIP() << "no sample timetable";
        for (int i = 0; i < 4; ++i) whole_.files[i] = Slurp(sample / kFiles[i]);
        whole_.files[kManifest] = ManifestOf(whole_);
        StoredTables tables;
        const FolderLoad load = LoadTimetableFolder(Write(whole_, "whole").string(), tables);
        ASSERT_TRUE(load.ok && load.verified) << (load.problems.empty() ? "" : load.problems[0]);
        digest_ = Digest(tables);
    }

    // The folder is refused naming `file` (and each of `also`), or loads unchanged.
    void ExpectRefusedOrSame(const Folder& f, int file, const std::string& label,
                             const std::vector<std::string>& also = {}) {
        SCOPED_TRACE(label);
        ++cases_;
        const fs::path dir = Write(f, "case");
        StoredTables tables;
        const FolderLoad load = LoadTimetableFolder(dir.string(), tables);
        if (load.ok) {
            EXPECT_EQ(Digest(tables), digest_) << "loaded with other answers";
            return;
        }
        ASSERT_FALSE(load.problems.empty());
        EXPECT_NE(load.problems[0].find((dir / Name(file)).string()), std::string::npos)
            << load.problems[0];
        for (const std::string& text : also) {
            EXPECT_NE(load.problems[0].find(text), std::string::npos) << load.problems[0];
        }
    }

    void ExpectRefused(const Folder& f, int file, const std::string& label,
                       const std::vector<std::string>& also = {}) {
        StoredTables tables;
        EXPECT_FALSE(LoadTimetableFolder(Write(f, "refused").string(), tables).ok) << label;
        ExpectRefusedOrSame(f, file, label, also);
    }

    // The whole folder with one file replaced, the manifest kept as it was or left out.
    Folder With(int file, std::string bytes, bool manifest) const {
        Folder f = whole_;
        f.files[file] = std::move(bytes);
        if (!manifest) f.files[kManifest].clear();
        return f;
    }

    // The stream with its first occurrence of `from` replaced by `to`.
    std::string Edit(int file, const std::string& from, const std::string& to) const {
        std::string s = whole_.files[file];
        const std::size_t at = s.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) s.replace(at, from.size(), to);
        return s;
    }

    std::size_t DataStart(int file) const {
        const std::string& s = whole_.files[file];
        return s.find("\r\n", s.find("@@TABLEDEF END@@") + 20) + 2;
    }

    Folder whole_;
    std::string digest_;
    int cases_ = 0;
};

// With the manifest beside them, any change to a stream's bytes is refused before parsing.
TEST_F(DamagedFolders, WithTheManifestEveryChangedByteIsRefused) {
    for (int file = 0; file < 4; ++file) {
        const std::string& s = whole_.files[file];
        const std::string name = kFiles[file];
        for (std::size_t cut : {std::size_t{0}, s.size() / 4, s.size() / 2, DataStart(file),
                                s.size() - 3, s.size() - 1}) {
            ExpectRefused(With(file, s.substr(0, cut), true), file,
                          name + " cut at " + std::to_string(cut));
        }
        for (std::size_t at : {std::size_t{66}, s.size() / 3, DataStart(file) + 1, s.size() - 4}) {
            for (int bit : {0, 5}) {
                std::string flipped = s;
                flipped[at] = static_cast<char>(flipped[at] ^ (1 << bit));
                ExpectRefused(With(file, flipped, true), file,
                              name + " bit " + std::to_string(bit) + " at " + std::to_string(at));
            }
        }
        ExpectRefused(With(file, s + std::string(4096, '\0'), true), file, name + " NUL padded");
        ExpectRefused(With(file, s + s.substr(DataStart(file)), true), file, name + " doubled");
    }
    EXPECT_GE(cases_, 4 * 16);
}

TEST_F(DamagedFolders, ADamagedManifestIsRefusedByName) {
    const std::string& m = whole_.files[kManifest];
    const std::vector<std::pair<std::string, std::string>> edits = {
        {"trains ", "trains 1"},
        {"stops ", "stops 9"},
        {"korvel-timetable 1", "x"},
        {"file SM.stream", "file SX.stream"},
        {"valid-from 2019-01-01", "valid-from 2019-02-30"},
        {"\nfile SPY", "\nfile SPY.stream\nfile SPY"}};
    for (const auto& [from, to] : edits) {
        std::string edited = m;
        edited.replace(edited.find(from), from.size(), to);
        ExpectRefused(With(kManifest, edited, true), kManifest, "manifest: " + to);
    }
    ExpectRefused(With(kManifest, m.substr(0, m.size() / 2), true), kManifest, "manifest cut");
    // A manifest that matches the files but whose counts were changed to agree with each
    // other: the record count after parsing still differs.
    std::string counts = m;
    const std::string list = "file SLIST.stream ";
    const std::size_t at = counts.find(list) + list.size();
    const std::size_t sp = counts.find(' ', at);
    const std::size_t rec = counts.find(' ', sp + 1);
    counts.replace(sp + 1, rec - sp - 1, "21");
    counts.replace(counts.find("trains 20"), 9, "trains 21");
    ExpectRefused(With(kManifest, counts, true), kList, "record count", {"manifest says 21"});
}

// Without a manifest the checks alone refuse these, naming the file, and the line and field
// where one row is at fault.
TEST_F(DamagedFolders, WithoutAManifestTheChecksRefuseDamage) {
    struct Case {
        int file;
        std::string from, to, label;
        std::vector<std::string> also;
    };
    const std::vector<Case> cases = {
        {kStops, "S_No=Integer", "S_No=WideString", "stop number as text", {"S_No"}},
        {kStops, "\"ID\",\"Station\"", "\"IE\",\"Station\"", "header loses ID", {"ID"}},
        {kStops, "\"\"SIDNo\"\",UNIQ", "\"\"SIDNo\"\"", "not unique", {"SIDNo"}},
        {kStops,
         "\"1043\",\"\xCF\xCC\xD1\xF4\",\"2\"",
         "\"1043\",\"\xCF\xCC\xD1\xF4\",\"62\"",
         "stop numbers with a gap",
         {"line 22", "S_No"}},
        {kStops, "\"1:20\"", "\"99999999:00\"", "run time", {"line 22", "R_Date"}},
        {kStops, "\"87\",", "\"2147483647\",", "distance", {"line 22", "Distance"}},
        {kStops, "\"10:25\"", "\"25:61\"", "clock", {"line 21", "A_Time"}},
        {kStops, "\"\",\"10:00\"", "\"\",\"\"", "origin without departure", {"line 20", "D_Time"}},
        {kStops,
         "\"11:20\",\"11:23\"",
         "\"\",\"11:23\"",
         "stop without arrival",
         {"line 22", "A_Time"}},
        {kStops,
         "\"12:30\",\"12:42\"",
         "\"12:30\",\"\"",
         "stop without departure",
         {"line 23", "D_Time"}},
        {kStops,
         "\"9:10\",\"676\"",
         "\"2:00\",\"676\"",
         "run time going back",
         {"line 24", "R_Date"}},
        {kStops,
         "\"9:10\",\"676\"",
         "\"9:10\",\"100\"",
         "distance going back",
         {"line 24", "Distance"}},
        {kStops,
         "\"19:10\",\"19:40\"",
         "\"19:15\",\"19:40\"",
         "arrival off its run time",
         {"line 24", "A_Time"}},
        {kStops, "\"37/39/41\"", "\"1e20/39/41\"", "fare", {"line 21", "P3"}},
        {kStops,
         "\"1043\",\"\xCF\xCC\xD1\xF4\"",
         "\"1044\",\"\xCF\xCC\xD1\xF4\"",
         "a stop of no listed train",
         {"S_No"}},
        {kStops, "\"2810\",", "\"281\",", "terminus cut in its distance", {"Distance"}},
        {kList, "\"4651\",\"9\"", "\"4651\",\"\"", "null train type", {"NType"}},
        {kList, "\"C2005\"", "\"4651\"", "duplicate train", {"SID"}},
        {kGroups, "\"Gp\",", "\"Gq\",", "header names no field", {"Gp"}},
    };
    for (const Case& c : cases) {
        ExpectRefused(With(c.file, Edit(c.file, c.from, c.to), false), c.file, c.label, c.also);
    }
    for (int file = 0; file < 4; ++file) {
        const std::string& s = whole_.files[file];
        const std::string name = kFiles[file];
        ExpectRefused(With(file, s.substr(0, DataStart(file)), false), file, name + " no records");
        ExpectRefused(With(file, s + std::string(64, '\0'), false), file, name + " NUL padded",
                      {"NUL"});
        // A record again: a duplicate key, or a repeated stop number.
        if (file != kCodes) {
            const std::size_t line = DataStart(file);
            const std::string first = s.substr(line, s.find("\r\n", line) + 2 - line);
            ExpectRefused(With(file, s + first, false), file, name + " row repeated");
        }
    }
    // Cut at a line break: stops without their train, or trains without their stops. Either
    // file may be the one at fault: the line named is in one, the message names the other.
    for (const auto& [file, named] : {std::pair{kList, kStops}, std::pair{kStops, kList}}) {
        const std::string& s = whole_.files[file];
        const std::size_t cut = s.find("\r\n", s.size() / 2) + 2;
        ExpectRefused(With(file, s.substr(0, cut), false), named,
                      std::string(kFiles[file]) + " cut at a line", {kFiles[file]});
    }
}

// Many damages of each stream without the manifest, made systematically: the file cut, a
// byte dropped, a byte put in (a quote, a comma, a line break, a letter, a GBK lead or trail
// byte), a bit flipped, a record dropped, repeated or moved. Every refusal names the file and
// the line, and the field (or index) where the damage lies in one; a folder that loads has
// the same tables, unless the damage made other values that are still valid ones. Those are
// counted apart and must be few: each is a value no check can know to be wrong.
TEST_F(DamagedFolders, EachRefusalNamesFileLineAndField) {
    struct Counts {
        int refused = 0, noLine = 0, noPlace = 0, same = 0, other = 0;
    } n;
    std::vector<std::string> otherTables;
    const std::regex line(R"(: line [0-9]+[:,])");
    const std::regex place(R"(line [0-9]+, (field|index|after field) [A-Za-z_0-9]+: )");
    auto run = [&](int file, const std::string& bytes, const std::string& label) {
        SCOPED_TRACE(label);
        const fs::path dir = Write(With(file, bytes, false), "audit");
        StoredTables tables;
        const FolderLoad load = LoadTimetableFolder(dir.string(), tables);
        if (load.ok) {
            if (Digest(tables) == digest_) {
                ++n.same;
            } else {
                ++n.other;
                otherTables.push_back(label);
            }
            return;
        }
        ++n.refused;
        ASSERT_FALSE(load.problems.empty());
        const std::string& problem = load.problems[0];
        bool namesFile = false;
        for (const char* name : kFiles)
            namesFile = namesFile || problem.starts_with((dir / name).string() + ":");
        EXPECT_TRUE(namesFile) << problem;
        if (!std::regex_search(problem, line)) {
            ++n.noLine;
            ADD_FAILURE() << "no line: " << problem;
        } else if (!std::regex_search(problem, place)) {
            ++n.noPlace;
            // Only faults of a whole line or of the file's frame have no field.
            EXPECT_TRUE(problem.find("empty line") != std::string::npos ||
                        problem.find("no records") != std::string::npos ||
                        problem.find("version line") != std::string::npos ||
                        problem.find("table definition") != std::string::npos ||
                        problem.find("line break") != std::string::npos)
                << problem;
        }
    };
    const std::string inserts[] = {"\"", ",", "\r", "\n", "x", "\xB3", "\x81", "\x7f"};
    for (int file = 0; file < 4; ++file) {
        const std::string& s = whole_.files[file];
        const std::string name = kFiles[file];
        std::vector<std::size_t> at = {20, 70, DataStart(file) - 5, DataStart(file) + 1};
        for (int k = 1; k < 16; ++k)
            at.push_back(DataStart(file) + (s.size() - DataStart(file)) * k / 16);
        for (const std::size_t i : at) {
            const std::string where = name + " at " + std::to_string(i);
            run(file, s.substr(0, i), where + " cut");
            run(file, s.substr(0, i) + s.substr(i + 1), where + " byte dropped");
            for (const std::string& b : inserts) {
                run(file, s.substr(0, i) + b + s.substr(i), where + " byte put in");
            }
            for (int bit : {0, 3, 7}) {
                std::string flipped = s;
                flipped[i] = static_cast<char>(flipped[i] ^ (1 << bit));
                run(file, flipped, where + " bit " + std::to_string(bit) + " flipped");
            }
        }
        // Whole records: the first, one in the middle and the last dropped, repeated, or
        // moved one down.
        std::vector<std::size_t> starts;
        for (std::size_t i = DataStart(file); i < s.size(); i = s.find("\r\n", i) + 2)
            starts.push_back(i);
        for (const std::size_t r : {std::size_t{0}, starts.size() / 2, starts.size() - 2}) {
            const std::size_t b = starts[r], e = starts[r + 1];
            const std::size_t e2 = r + 2 < starts.size() ? starts[r + 2] : s.size();
            const std::string rec = s.substr(b, e - b);
            const std::string where = name + " record " + std::to_string(r);
            run(file, s.substr(0, b) + s.substr(e), where + " dropped");
            run(file, s.substr(0, e) + rec + s.substr(e), where + " repeated");
            run(file, s.substr(0, b) + s.substr(e, e2 - e) + rec + s.substr(e2), where + " moved");
        }
    }
    std::cout << "damaged folders: " << n.refused << " refused (" << n.noLine << " without a line, "
              << n.noPlace << " without a field), " << n.same << " loaded the same tables, "
              << n.other << " loaded other tables\n";
    for (const std::string& label : otherTables) std::cout << "  other tables: " << label << "\n";
    EXPECT_EQ(n.noLine, 0);
    // Those that load other tables made values that are still valid ones: a distance or fare
    // that still lies between its neighbours (or a terminus's fare, which the train list need
    // not repeat), a pinyin code with a letter more or less, a same-city row dropped at its
    // line break (a group may have one station), the pinyin rows in another order (the order
    // the station input lists them in). 15 when written.
    EXPECT_LE(n.other, 15);
}

// Whatever stands in place of a stream is refused quickly, through the start-up loaders.
TEST_F(DamagedFolders, SpecialFilesAreRefusedQuickly) {
    const std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> kinds = {
        {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
        {"dev-zero", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); }},
        {"folder", [](const fs::path& p) { fs::create_directory(p); }},
        {"sparse", [](const fs::path& p) {
             const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY, 0600);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::ftruncate(fd, off_t{2} << 30), 0);
             ::close(fd);
         }}};
    for (const auto& [kind, make] : kinds) {
        SCOPED_TRACE(kind);
        Folder f = whole_;
        f.files[kManifest].clear();
        const fs::path dir = Write(f, "special");
        fs::remove(dir / "STRAIN.stream");
        make(dir / "STRAIN.stream");
        StoredTables tables;
        LoadFlags flags;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        {
            TimetableLoader::Options options;
            options.folder = dir.string();
            TimetableLoader loader(tables, flags, options);
            loader.Start();
            loader.Join();
            error = loader.Error(LoadTable::KMTrain);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(flags.Loaded(LoadTable::KMTrain));
        EXPECT_NE(error.find((dir / "STRAIN.stream").string()), std::string::npos) << error;
        fs::remove_all(dir);
    }
}

// The embedded timetable passes every check a folder must pass.
TEST(EmbeddedTimetableChecks, TheEmbeddedTimetablePassesTheFolderChecks) {
    StoredTables tables;
    EXPECT_NO_THROW(LoadTimetableFromBlobs(
        tables, [](std::string_view name) { return ReadBlob(name); }, true));
}

}  // namespace
}  // namespace korvel
