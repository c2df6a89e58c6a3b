// korvel-cli update and timetables: installing signed timetable updates from the publisher's
// catalogue, listing and choosing the installed timetables, and the start-up choice of the
// timetable every other command reads.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <system_error>

#include "cli/commands.h"
#include "data/regular_file.h"
#include "update/names.h"
#include "update/publisher_key.h"
#include "update/updater.h"

namespace korvel::cli {
namespace {

using namespace korvel::update;

std::string& InstalledName() {
    static std::string name;
    return name;
}

// "1.2 MB" style sizes for the progress line.
std::string Size(std::uint64_t bytes) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return buf;
}

int UpdateUsage(std::ostream& err) {
    err << "usage: korvel-cli update [--catalogue URL] [--public-key PUB]\n";
    return kExitUsage;
}

bool LoadPublicKey(const std::string& path, PublicKey& key, std::ostream& err) {
    std::string text, error;
    try {
        if (!path.empty()) text = ReadRegularFileString(path, kMaxKeyFileBytes);
    } catch (const FileReadError& e) {
        err << "korvel-cli update: cannot read the public key " << e.what() << "\n";
        return false;
    }
    const auto parsed = ParsePublicKey(path.empty() ? EmbeddedPublisherKey() : text, error);
    if (!parsed) {
        err << "korvel-cli update: " << (path.empty() ? "built-in key" : path) << ": " << error
            << "\n";
        return false;
    }
    key = *parsed;
    return true;
}

std::string Describe(const InstalledTimetable& t) {
    std::string text = t.name + "  sequence " + std::to_string(t.sequence);
    if (t.manifest) {
        text += "  valid from " + t.manifest->valid_from + "  " +
                std::to_string(t.manifest->trains) + " trains, " +
                std::to_string(t.manifest->stops) + " stops, " +
                std::to_string(t.manifest->stations) + " stations";
    }
    return text;
}

int ListTimetables(const Store& store, std::ostream& out) {
    const Choice choice = store.ReadChoice();
    const StartupTimetable start = store.ChooseStartup();
    out << (start.name.empty() ? "* " : "  ") << "embedded  the timetable built into the program\n";
    for (const InstalledTimetable& t : store.List()) {
        out << (start.name == t.name ? "* " : "  ") << Describe(t);
        if (const std::string bad = FolderMatchesManifest(t.folder); !bad.empty()) {
            out << "  [does not verify: " << bad << "]";
        }
        if (t.name == choice.previous) out << "  (previous)";
        out << "\n";
    }
    if (!start.note.empty()) out << "note: " << start.note << "\n";
    // How fresh the traveller's knowledge of the publisher's timetables is.
    const std::time_t seen = store.NewestCatalogueTime();
    out << "newest catalogue seen: "
        << (seen ? "published " + DescribePublished(seen, std::time(nullptr))
                 : std::string("none yet (korvel-cli update fetches it)"))
        << "\n";
    out << "(* in use; installed under " << store.Root() << ")\n";
    return kExitOk;
}

int UseTimetable(const Store& store, const std::string& name, std::ostream& out,
                 std::ostream& err) {
    std::string error;
    const auto lock = store.TryLock(error);
    if (!lock) {
        err << "korvel-cli timetables: " << error << "\n";
        return kExitFailure;
    }
    const Choice before = store.ReadChoice();
    Choice after{name == "embedded" ? "" : name, before.use};
    if (!after.use.empty()) {
        if (!IsPackageName(name)) {
            err << "korvel-cli timetables: not a timetable name: \"" << PrintableName(name)
                << "\"\n";
            return kExitUsage;
        }
        std::error_code ec;
        if (!std::filesystem::is_directory(store.FolderOf(name), ec)) {
            err << "korvel-cli timetables: " << name << ": no such installed timetable\n";
            return kExitFailure;
        }
        if (const std::string bad = InstalledFolderProblem(store.FolderOf(name)); !bad.empty()) {
            err << "korvel-cli timetables: " << name << " cannot be used: " << bad << "\n";
            return kExitFailure;
        }
    }
    if (after.use == before.use) after.previous = before.previous;
    if (const std::string bad = store.WriteChoice(after); !bad.empty()) {
        err << "korvel-cli timetables: " << bad << "\n";
        return kExitFailure;
    }
    out << "using the " << (after.use.empty() ? "embedded timetable" : "timetable " + name) << "\n";
    return kExitOk;
}

}  // namespace

void ChooseStartupTimetable(std::ostream& err) {
    const Store store(DefaultStoreRoot());
    auto tables = std::make_shared<StoredTables>();
    const StartupTimetable start = store.ChooseStartup(tables.get());
    if (!start.note.empty()) err << "korvel-cli: " << start.note << "\n";
    if (start.folder.empty()) return;
    UseTimetableFolder(start.folder, std::move(tables));
    InstalledName() = start.name;
}

const std::string& InstalledTimetableName() {
    return InstalledName();
}

int RunUpdate(const Args& args, std::ostream& out, std::ostream& err) {
    UpdateOptions options;
    options.catalogueUrl = DefaultCatalogueUrl();
    std::optional<std::string> catalogue, keyPath;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i + 1 >= args.size()) return UpdateUsage(err);
        std::optional<std::string>* option = args[i] == "--catalogue"    ? &catalogue
                                             : args[i] == "--public-key" ? &keyPath
                                                                         : nullptr;
        if (!option) return UpdateUsage(err);
        if (*option) {
            err << "korvel-cli update: " << args[i] << " given twice\n";
            return kExitUsage;
        }
        *option = args[++i];
    }
    if (catalogue) options.catalogueUrl = *catalogue;
    if (!LoadPublicKey(keyPath.value_or(""), options.publicKey, err)) return kExitFailure;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    FetchProgress progress = [&](std::uint64_t now, std::uint64_t total) {
        if (!terminal || total == 0) return true;
        err << "\rdownloading: " << (now * 100 / total) << "% of " << Size(total) << "   "
            << std::flush;
        progressShown = true;
        return true;
    };
    const Store store(DefaultStoreRoot());
    const auto fetcher = MakeCurlFetcher();
    const UpdateResult r = RunUpdate(store, *fetcher, options, progress);
    if (progressShown) err << "\n";
    if (r.outcome == UpdateOutcome::Failed) {
        err << "korvel-cli update: " << r.message << "\n";
        return kExitFailure;
    }
    out << r.message << "\n";
    if (r.cataloguePublished) {
        out << "catalogue published " << DescribePublished(r.cataloguePublished, std::time(nullptr))
            << "\n";
    }
    return kExitOk;
}

int RunTimetables(const Args& args, std::ostream& out, std::ostream& err) {
    const Store store(DefaultStoreRoot());
    if (args.empty()) return ListTimetables(store, out);
    if (args.size() == 2 && args[0] == "use") return UseTimetable(store, args[1], out, err);
    if (args.size() == 2 && args[0] == "remove") {
        std::string error;
        const auto lock = store.TryLock(error);
        if (lock) error = store.Remove(args[1]);
        if (!error.empty()) {
            err << "korvel-cli timetables: " << error << "\n";
            return kExitFailure;
        }
        out << "removed " << args[1] << "\n";
        return kExitOk;
    }
    err << "usage: korvel-cli timetables [use NAME|embedded | remove NAME]\n";
    return kExitUsage;
}

}  // namespace korvel::cli
