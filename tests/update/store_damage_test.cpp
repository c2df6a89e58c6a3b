// An installed timetable damaged on disk: whatever stands in place of one of the store's
// files (a FIFO, a folder, a link to /dev/zero, a 2 GiB sparse file, nothing, tables that
// match a rewritten manifest but fail the checks), the start-up falls back to the previous
// timetable, then to the embedded one, saying which file and why, and never waits or aborts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "data/gbk.h"
#include "data/memtable.h"
#include "data/table_stream.h"
#include "update/package.h"
#include "update/store.h"

namespace korvel::update_test {
namespace {

namespace fs = std::filesystem;
using namespace korvel::update;

enum class Damage { Fifo, Folder, DevZero, Sparse, Missing, FailsTableChecks };

struct DamageCase {
    Damage damage;
    const char* name;
    const char* reason;  // part of the note that says why
};

constexpr DamageCase kDamages[] = {
    {Damage::Fifo, "FIFO", "not a regular file"},
    {Damage::Folder, "folder", "not a regular file"},
    {Damage::DevZero, "link to /dev/zero", "not a regular file"},
    {Damage::Sparse, "2 GiB sparse file", "larger than"},
    {Damage::Missing, "missing", "No such file"},
    {Damage::FailsTableChecks, "tables that fail the checks", "record"},
};

class StoreDamage : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvel_store_damage_XXXXXX";
        dir_ = ::mkdtemp(pattern);
        root_ = dir_ + "/store";
        Install("tt-1", 1);
        Install("tt-2", 2);
        std::ofstream(root_ + "/choice.txt") << "use tt-2\nprevious tt-1\n";
        std::ofstream(root_ + "/sequence.txt") << "2\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The sample timetable as the installed NAME, as an install leaves it.
    void Install(const std::string& name, int sequence) {
        const fs::path folder = root_ + "/" + name;
        fs::create_directories(folder);
        for (const char* f :
             {"manifest.txt", "SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream"}) {
            fs::copy_file(fs::path(KORVEL_SAMPLE_STREAMS) / f, folder / f);
        }
        std::ofstream(folder / "package.txt")
            << "name " << name << "\nsequence " << sequence << "\n";
    }

    // `path` replaced by the damage.
    void Apply(Damage damage, const std::string& path) {
        fs::remove_all(path);
        switch (damage) {
            case Damage::Fifo:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            case Damage::Folder:
                fs::create_directory(path);
                break;
            case Damage::DevZero:
                fs::create_symlink("/dev/zero", path);
                break;
            case Damage::Sparse:
                std::ofstream(path).close();
                fs::resize_file(path, std::uintmax_t{2} << 30);
                break;
            case Damage::Missing:
                break;
            case Damage::FailsTableChecks:
                EmptyTableWithMatchingManifest(path);
                break;
        }
    }

    // The stream's records dropped and the manifest written anew to match: every file
    // matches the manifest, and only the table checks can refuse it.
    void EmptyTableWithMatchingManifest(const std::string& path) {
        const fs::path folder = fs::path(path).parent_path();
        std::string bytes;
        ASSERT_TRUE(
            ReadWholeFile(fs::path(KORVEL_SAMPLE_STREAMS) / fs::path(path).filename(), bytes));
        MemTable table;
        TableStreamFormat format;
        LoadFromTableStream(table, bytes, &format);
        std::ofstream(path, std::ios::binary)
            << WriteTableStream(table.Fields(), table.Indexes(), {});
        fs::remove(folder / "manifest.txt");
        const Package p = PackFolder(folder.string(), "x", 1, {"x", "2019-07-01", "t"});
        for (const PackageFile& f : p.files) {
            if (f.name == "manifest.txt") std::ofstream(folder / f.name) << f.bytes;
        }
    }

    std::string dir_, root_;
};

TEST_F(StoreDamage, EachDamagedFileFallsBackToThePreviousThenTheEmbeddedSayingWhy) {
    for (const DamageCase& d : kDamages) {
        for (const char* file :
             {"manifest.txt", "SLIST.stream", "STRAIN.stream", "SM.stream", "SPY.stream"}) {
            // An emptied same-city table is a real timetable's; the others are refused.
            if (d.damage == Damage::FailsTableChecks && std::string(file) == "SM.stream") continue;
            if (d.damage == Damage::FailsTableChecks && std::string(file) == "manifest.txt")
                continue;
            SCOPED_TRACE(std::string(d.name) + " as " + file);
            TearDown();
            SetUp();
            Apply(d.damage, root_ + "/tt-2/" + file);
            const Store store(root_);
            // The one settled on is handed over loaded; the damaged one left nothing behind.
            StoredTables tables;
            StartupTimetable start = store.ChooseStartup(&tables);
            EXPECT_EQ(tables.KMList.RecordCount(), 20u);
            EXPECT_EQ(start.name, "tt-1");
            EXPECT_EQ(start.rejected, "tt-2");
            EXPECT_NE(start.why.find(file), std::string::npos) << start.why;
            EXPECT_NE(start.why.find(d.reason), std::string::npos) << start.why;
            EXPECT_NE(start.note.find("using the previous one, tt-1"), std::string::npos);
            EXPECT_NE(GbkToUtf8(StartupStatusNote(start))
                          .rfind("已改用时刻表 tt-1：时刻表 tt-2 无法使用（", 0),
                      std::string::npos);

            Apply(d.damage, root_ + "/tt-1/" + file);
            start = store.ChooseStartup(&tables);
            EXPECT_EQ(start.folder, "");
            EXPECT_EQ(tables.KMTrain.RecordCount(), 0u);
            EXPECT_NE(start.note.find("tt-1, cannot be used either"), std::string::npos);
            EXPECT_NE(start.note.find("using the embedded timetable"), std::string::npos);
            // Listing the store reads the same files.
            EXPECT_EQ(store.List().size(), 2u);
        }
    }
}

// The store's own files: an unreadable choice starts the embedded timetable and says so; an
// unreadable sequence or catalogue time reads as none, and an install refuses to overwrite
// a sequence file it cannot read.
TEST_F(StoreDamage, TheStoresOwnFilesNeverHang) {
    for (const DamageCase& d : kDamages) {
        if (d.damage == Damage::Missing || d.damage == Damage::FailsTableChecks) continue;
        SCOPED_TRACE(d.name);
        TearDown();
        SetUp();
        Apply(d.damage, root_ + "/choice.txt");
        Apply(d.damage, root_ + "/sequence.txt");
        Apply(d.damage, root_ + "/catalogue.txt");
        const Store store(root_);
        const StartupTimetable start = store.ChooseStartup();
        EXPECT_EQ(start.folder, "");
        EXPECT_NE(start.why.find("choice.txt: "), std::string::npos) << start.why;
        EXPECT_NE(start.why.find(d.reason), std::string::npos) << start.why;
        EXPECT_NE(GbkToUtf8(StartupStatusNote(start))
                      .rfind("已改用内置时刻表：时刻表选择无法读取（choice.txt: ", 0),
                  std::string::npos);
        EXPECT_EQ(store.HighestSequence(), 0u);
        EXPECT_EQ(store.NewestCatalogueTime(), 0);

        const Package p = PackFolder(KORVEL_SAMPLE_STREAMS, "tt-3", 3, {"tt-3", "2019-07-01", "t"});
        const std::string error = store.Install(p);
        EXPECT_NE(error.find("choice.txt: "), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(root_ + "/tt-3"));
    }
}

}  // namespace
}  // namespace korvel::update_test
