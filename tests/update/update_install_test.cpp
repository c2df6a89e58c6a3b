// Updates end to end against a real HTTP server on 127.0.0.1: what installs, and every way an
// update must fail with a message naming what failed and the timetable in use unchanged.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstring>
#include <fstream>
#include <map>

#include "data/memtable.h"
#include "data/table_stream.h"
#include "support/file_faults.h"
#include "update_fixture.h"

namespace korvel::update_test {
namespace {

TEST_F(UpdateFixture, InstallsNewerKeepsPreviousAndFallsBackWhenDamaged) {
    Publish("tt-1", 1);
    UpdateResult r = Update();
    ASSERT_EQ(r.outcome, UpdateOutcome::Installed) << r.message;
    Publish("tt-2", 2);
    r = Update();
    ASSERT_EQ(r.outcome, UpdateOutcome::Installed) << r.message;
    EXPECT_NE(r.message.find("tt-2"), std::string::npos);
    r = Update();
    EXPECT_EQ(r.outcome, UpdateOutcome::AlreadyNewest) << r.message;

    const Store store = TheStore();
    EXPECT_EQ(store.ReadChoice().use, "tt-2");
    EXPECT_EQ(store.ReadChoice().previous, "tt-1");
    EXPECT_EQ(store.ChooseStartup().name, "tt-2");
    EXPECT_TRUE(WorkFiles().empty());

    // A damaged installed timetable is not used: the previous one is, and the note says why.
    std::ofstream(Root() + "/tt-2/SM.stream", std::ios::app) << "x";
    StartupTimetable start = store.ChooseStartup();
    EXPECT_EQ(start.name, "tt-1");
    EXPECT_NE(start.note.find("tt-2 cannot be used (SM.stream"), std::string::npos) << start.note;
    std::ofstream(Root() + "/tt-1/manifest.txt", std::ios::app) << "x";
    start = store.ChooseStartup();
    EXPECT_EQ(start.folder, "");
    EXPECT_NE(start.note.find("using the embedded timetable"), std::string::npos);

    // Removing: never the one in use; the previous one may go.
    EXPECT_NE(store.Remove("tt-2"), "");
    EXPECT_EQ(store.Remove("tt-1"), "");
    EXPECT_EQ(store.ReadChoice().previous, "");
    // A removed package does not come back through an older catalogue (rollback).
    EXPECT_EQ(store.HighestSequence(), 2u);
}

// A package its publisher signed may still hold a timetable this program cannot use: its
// streams match the signed manifest, so only the checks every timetable folder gets find it.
TEST_F(UpdateFixture, SignedPackageWithAnEmptyTableIsNotInstalled) {
    const fs::path folder = dir_ + "/emptied";
    fs::create_directories(folder);
    for (const char* f : {"SLIST.stream", "STRAIN.stream", "SM.stream"}) {
        fs::copy_file(fs::path(KORVEL_SAMPLE_STREAMS) / f, folder / f);
    }
    std::string spy;
    ASSERT_TRUE(ReadWholeFile(std::string(KORVEL_SAMPLE_STREAMS) + "/SPY.stream", spy));
    MemTable table;
    TableStreamFormat format;
    LoadFromTableStream(table, spy, &format);
    std::ofstream(folder / "SPY.stream", std::ios::binary)
        << WriteTableStream(table.Fields(), table.Indexes(), {});

    const Package p = PackFolder(folder.string(), "tt-empty", 1, {"tt-empty", "2019-07-01", "t"});
    fs::create_directories(Root());
    const std::string error = TheStore().Install(p);
    EXPECT_NE(error.find("SPY.stream"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(Root() + "/tt-empty"));
    EXPECT_EQ(TheStore().ReadChoice().use, "");
    EXPECT_TRUE(WorkFiles().empty());
}

struct Sabotage {
    const char* what;
    std::function<void(UpdateFixture&)> apply;
    const char* message;  // part of the failure message
    UpdateFailure kind;   // what the window words for the user
};

class Refusals : public UpdateFixture {};

TEST_F(Refusals, EachFailsNamingWhatFailedAndLeavesTheTimetableInUse) {
    const KeyPair other = GenerateKeyPair();
    const std::vector<Sabotage> cases = {
        {"catalogue by another key",
         [&](UpdateFixture& f) {
             f.ServeCatalogue(FormatCatalogue(f.catalogue_), other.secretKey);
         },
         "catalogue: signature by another key", UpdateFailure::CatalogueSignature},
        {"package by another key",
         [&](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt.minisig",
                           {Behaviour::Serve, SignMessage(other.secretKey, "x", "x")});
         },
         "tt-2.korvel-tt: signature by another key", UpdateFailure::PackageSignature},
        {"bytes differ from the hash",
         [](UpdateFixture& f) {
             std::string bytes = f.Publish("tt-2", 2);
             bytes[bytes.size() / 2] ^= 1;
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::Serve, bytes});
         },
         "SHA-256 differs from the catalogue's", UpdateFailure::PackageHash},
        {"rollback: older than one installed and removed before",
         [](UpdateFixture& f) { std::ofstream(f.Root() + "/sequence.txt") << "5\n"; },
         "(sequence 2) is older than one installed before (sequence 5)", UpdateFailure::Rollback},
        {"expired catalogue",
         [](UpdateFixture& f) { f.Publish("tt-2", 2, std::time(nullptr) - 60); },
         "catalogue expired on", UpdateFailure::CatalogueExpired},
        {"404",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::Status, "", 404});
         },
         "HTTP status 404", UpdateFailure::PackageDownload},
        {"500",
         [](UpdateFixture& f) {
             f.server_.Set("/catalogue.json", {Behaviour::Status, "", 500});
         },
         "catalogue download failed", UpdateFailure::Network},
        {"redirect to another scheme",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt",
                           {Behaviour::Redirect, "https://127.0.0.1:1/tt-2.korvel-tt"});
         },
         "redirect to another scheme refused", UpdateFailure::PackageDownload},
        {"stall mid-body",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::StallMidBody, f.Publish("tt-2", 2)});
         },
         "timed out", UpdateFailure::PackageDownload},
        {"more bytes than announced",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::MoreThanAnnounced, f.Publish("tt-2", 2)});
         },
         "larger than", UpdateFailure::PackageDownload},
        {"a server trickling 8 bytes a second",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::Trickle, f.Publish("tt-2", 2)});
         },
         "too slow (under 1024 bytes a second over 1500 ms)", UpdateFailure::PackageDownload},
        {"an older catalogue replayed",
         [](UpdateFixture& f) {
             f.catalogue_.published -= 3600;
             f.ServeCatalogue(FormatCatalogue(f.catalogue_), f.keys_.secretKey);
         },
         "before the newest one seen", UpdateFailure::CatalogueReplayed},
        {"a catalogue without a publication time, after one with",
         [](UpdateFixture& f) {
             f.catalogue_.published = 0;
             f.ServeCatalogue(FormatCatalogue(f.catalogue_), f.keys_.secretKey);
         },
         "published without a time, before the newest one seen", UpdateFailure::CatalogueReplayed},
        {"truncated",
         [](UpdateFixture& f) {
             f.server_.Set("/tt-2.korvel-tt", {Behaviour::Truncated, f.Publish("tt-2", 2)});
         },
         "download failed", UpdateFailure::PackageDownload},
    };
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    const Catalogue installed = catalogue_;
    for (const Sabotage& s : cases) {
        SCOPED_TRACE(s.what);
        catalogue_ = installed;
        Publish("tt-2", 2);
        s.apply(*this);
        const UpdateResult r = Update();
        EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
        EXPECT_NE(r.message.find(s.message), std::string::npos) << r.message;
        EXPECT_EQ(r.failure, s.kind) << r.message;
        EXPECT_EQ(TheStore().ReadChoice().use, "tt-1");
        EXPECT_EQ(TheStore().ChooseStartup().name, "tt-1");
        EXPECT_FALSE(fs::exists(Root() + "/tt-2"));
        EXPECT_TRUE(WorkFiles().empty());
        std::ofstream(Root() + "/sequence.txt") << "1\n";
    }
}

// A catalogue address with a query: the signature's address keeps the query after its path.
TEST_F(UpdateFixture, CatalogueAddressWithAQueryFindsItsSignature) {
    Publish("tt-1", 1);
    const std::string text = FormatCatalogue(catalogue_);
    server_.Set("/catalogue.json?v=2", {Behaviour::Serve, text});
    server_.Set("/catalogue.json.minisig?v=2",
                {Behaviour::Serve, SignMessage(keys_.secretKey, text, "c")});
    server_.Set("/catalogue.json", {Behaviour::Status, "", 404});
    UpdateOptions options = Options();
    options.catalogueUrl = server_.Url("/catalogue.json?v=2");
    const auto fetcher = MakeCurlFetcher();
    const UpdateResult r = RunUpdate(TheStore(), *fetcher, options);
    EXPECT_EQ(r.outcome, UpdateOutcome::Installed) << r.message;
    EXPECT_EQ(r.cataloguePublished, catalogue_.published);
    EXPECT_EQ(TheStore().NewestCatalogueTime(), catalogue_.published);
}

TEST_F(UpdateFixture, SecondUpdateWhileOneRunsIsRefused) {
    Publish("tt-1", 1);
    std::string error;
    const auto held = TheStore().TryLock(error);
    ASSERT_TRUE(held) << error;
    const UpdateResult r = Update();
    EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
    EXPECT_NE(r.message.find("another timetable update is running"), std::string::npos);
    EXPECT_EQ(TheStore().ReadChoice().use, "");
}

TEST_F(UpdateFixture, CancelStopsTheDownload) {
    Publish("tt-1", 1);
    const auto fetcher = MakeCurlFetcher();
    const UpdateResult r = RunUpdate(TheStore(), *fetcher, Options(),
                                     [](std::uint64_t got, std::uint64_t) { return got == 0; });
    EXPECT_EQ(r.outcome, UpdateOutcome::Failed);
    EXPECT_NE(r.message.find("cancelled"), std::string::npos) << r.message;
    EXPECT_TRUE(WorkFiles().empty());
}

// Runs an update in a child process; `prepare` runs in the child first. Returns the wait status.
template <typename Prepare>
pid_t UpdateInChild(UpdateFixture& f, Prepare prepare) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        prepare();
        const auto fetcher = MakeCurlFetcher();
        const UpdateResult r = RunUpdate(f.TheStore(), *fetcher, f.Options());
        ::_exit(r.outcome == UpdateOutcome::Failed ? 1 : 0);
    }
    return pid;
}

TEST_F(UpdateFixture, KilledMidDownloadOrInstallNextRunStartsClean) {
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    server_.Set("/tt-2.korvel-tt", {Behaviour::StallMidBody, Publish("tt-2", 2)});
    const pid_t child = UpdateInChild(*this, [] {});
    // Killed once its download has begun.
    for (int i = 0; i < 400 && WorkFiles().empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(WorkFiles().empty());
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // What a kill during the install leaves: half a folder beside, an old one renamed away.
    fs::create_directory(Root() + "/.install-tt-2-99999");
    std::ofstream(Root() + "/.install-tt-2-99999/SLIST.stream") << "half";
    EXPECT_EQ(TheStore().ChooseStartup().name, "tt-1");

    Publish("tt-2", 2);
    const UpdateResult r = Update();
    EXPECT_EQ(r.outcome, UpdateOutcome::Installed) << r.message;
    EXPECT_TRUE(WorkFiles().empty());
    EXPECT_EQ(TheStore().ChooseStartup().name, "tt-2");
}

TEST_F(UpdateFixture, KilledAnywhereLeavesATimetableThatVerifies) {
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    Publish("tt-2", 2);
    // Killed at spread-out moments of download and install: what start-up then picks must
    // verify, and the next update must finish cleanly.
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        const pid_t child = UpdateInChild(*this, [] {});
        std::this_thread::sleep_for(std::chrono::microseconds(500 * i));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const StartupTimetable start = TheStore().ChooseStartup();
        EXPECT_TRUE(start.name == "tt-1" || start.name == "tt-2") << start.note;
        EXPECT_EQ(start.note, "");
        // The next update ends with tt-2 in use, whatever the kill left.
        const UpdateResult again = Update();
        EXPECT_NE(again.outcome, UpdateOutcome::Failed) << again.message;
        EXPECT_EQ(TheStore().ReadChoice().use, "tt-2");
        EXPECT_TRUE(WorkFiles().empty());
        // Back to tt-1 alone for the next round.
        TheStore().WriteChoice({"tt-1", ""});
        fs::remove_all(Root() + "/tt-2");
        std::ofstream(Root() + "/sequence.txt") << "1\n";
    }
}

TEST_F(UpdateFixture, FullDiskFailsAndLeavesTheTimetableInUse) {
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    Publish("tt-2", 2);
    // A file may not grow past 4 KB: the download and the install both run into it.
    const pid_t child = UpdateInChild(*this, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(TheStore().ReadChoice().use, "tt-1");
    EXPECT_FALSE(fs::exists(Root() + "/tt-2"));
    EXPECT_TRUE(WorkFiles().empty());
}

// Every file under `root` (path below it -> bytes), folders as "path/".
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(e.path(), root).string();
        std::string bytes;
        if (e.is_directory()) {
            files[name + "/"];
        } else {
            ReadWholeFile(e.path().string(), bytes);
            files[name] = bytes;
        }
    }
    return files;
}

// All or nothing: a full disk at any rename, or a flush that fails, at any step of an install
// is an error, and the store is then as it was (the new timetable is not in use).
TEST_F(UpdateFixture, InstallFailingAtAnyStepLeavesTheStoreAsItWas) {
    using test::FileFault;
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    const Package p = PackFolder(KORVEL_SAMPLE_STREAMS, "tt-2", 2, {"tt-2", "2019-07-01", "t"});
    // The store's folder is flushed after the swap of the timetable's folder, after the
    // choice and after the sequence: skip 0, 1 and 2.
    const FileFault faults[] = {
        {FileFault::Call::Rename, "/sequence.txt", ENOSPC},
        {FileFault::Call::Rename, "/choice.txt", ENOSPC},
        {FileFault::Call::Rename, "/tt-2", ENOSPC},
        {FileFault::Call::Fsync, "/store", EIO, 0},
        {FileFault::Call::Fsync, "/store", EIO, 1},
        {FileFault::Call::Fsync, "/store", EIO, 2},
        {FileFault::Call::Fsync, "/SM.stream", EIO},
    };
    const auto before = Snapshot(Root());
    for (const FileFault& fault : faults) {
        SCOPED_TRACE(fault.pathEnd + " skip " + std::to_string(fault.skip));
        test::FileFaultScope scope(fault);
        const std::string error = TheStore().Install(p);
        EXPECT_TRUE(scope.Hit());
        EXPECT_NE(error.find(std::strerror(fault.error)), std::string::npos) << error;
        EXPECT_EQ(Snapshot(Root()), before);
    }
    EXPECT_EQ(TheStore().Install(p), "");
    EXPECT_EQ(TheStore().ChooseStartup().name, "tt-2");
    EXPECT_EQ(TheStore().HighestSequence(), 2u);
}

}  // namespace
}  // namespace korvel::update_test
