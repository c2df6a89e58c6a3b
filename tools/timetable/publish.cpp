#include "timetable/publish.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>

#include "data/atomic_files.h"
#include "data/decimal.h"
#include "data/regular_file.h"
#include "update/catalogue.h"
#include "update/names.h"
#include "update/package.h"
#include "update/signature.h"

namespace korvel::timetable {
namespace fs = std::filesystem;
using namespace korvel::update;

namespace {

constexpr const char* kBuilder = "korvel-ttbuild 2011.09.30";

// "--key value" pairs after the positional words; false on an unknown or valueless option.
bool ParseOptions(const std::vector<std::string>& args, std::vector<std::string>& positional,
                  std::map<std::string, std::string>& options,
                  std::initializer_list<const char*> known,
                  std::initializer_list<const char*> flags) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
            continue;
        }
        bool ok = false;
        for (const char* f : flags) ok = ok || a == f;
        if (ok) {
            options[a] = "1";
            continue;
        }
        for (const char* k : known) ok = ok || a == k;
        if (!ok || i + 1 >= args.size()) return false;
        options[a] = args[++i];
    }
    return true;
}

// A reader of DIR (a web server already serving it) never sees half a file, and two runs
// at once never share a temporary file. `mode` 0600 for secrets.
bool WriteAtomically(const fs::path& path, const std::string& bytes,
                     std::optional<unsigned> mode = std::nullopt) {
    return !data::WriteFileAtomically(path.string(), bytes, mode);
}

std::string Today() {
    const std::string now = FormatUtcTime(std::time(nullptr));
    return now.substr(0, 10);
}

int PackUsage() {
    std::cerr << "usage: korvel-ttbuild pack TTDIR --name NAME --secret SEC --out DIR "
                 "[--sequence N] [--valid-from YYYY-MM-DD] [--expires-days N]\n";
    return 2;
}

// The catalogue already in DIR (an empty one when there is none); false when it is damaged.
bool ReadCatalogue(const fs::path& path, Catalogue& catalogue) {
    std::optional<std::string> text;
    try {
        text = ReadRegularFileStringIfPresent(path.string(), kMaxCatalogueBytes);
    } catch (const FileReadError& e) {
        std::cerr << "korvel-ttbuild: cannot read " << e.what() << "\n";
        return false;
    }
    if (!text) return true;
    std::string error;
    const auto parsed = ParseCatalogue(*text, error);
    if (!parsed) {
        std::cerr << "korvel-ttbuild: " << path.string() << ": " << error << "\n";
        return false;
    }
    catalogue = *parsed;
    return true;
}

// Writes the package, its signature, and the catalogue with it (re)listed and signed.
bool Publish(const fs::path& out, const Package& package, const std::string& bytes,
             std::uint64_t days, const SecretKey& key, Catalogue& catalogue) {
    const std::string& name = package.name;
    const std::string file = name + std::string(kPackageSuffix);
    const std::string comment =
        "korvel timetable " + name + " sequence " + std::to_string(package.sequence);
    std::erase_if(catalogue.packages, [&](const CatalogueEntry& e) { return e.name == name; });
    catalogue.packages.push_back({name, package.sequence, package.manifest.valid_from, bytes.size(),
                                  data::Sha256Hex(bytes), file});
    // Never before the catalogue it replaces, even when this computer's clock went back:
    // travellers who saw that one refuse any published earlier.
    const std::time_t now = std::time(nullptr);
    catalogue.published = std::max(now, catalogue.published);
    catalogue.expires = now + static_cast<std::time_t>(days) * 86400;
    const std::string catalogueText = FormatCatalogue(catalogue);
    const std::string catalogueComment =
        "korvel timetable catalogue, expires " + FormatUtcTime(catalogue.expires);
    // The package and its signature first: the catalogue names them only once both are there.
    return WriteAtomically(out / file, bytes) &&
           WriteAtomically(out / (file + std::string(kSignatureSuffix)),
                           SignMessage(key, bytes, comment)) &&
           WriteAtomically(out / kCatalogueFile, catalogueText) &&
           WriteAtomically(out / (std::string(kCatalogueFile) + std::string(kSignatureSuffix)),
                           SignMessage(key, catalogueText, catalogueComment));
}

}  // namespace

int RunKeygen(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::map<std::string, std::string> o;
    if (!ParseOptions(args, positional, o, {"--public", "--secret"}, {"--force"}) ||
        !positional.empty() || !o.count("--public") || !o.count("--secret")) {
        std::cerr << "usage: korvel-ttbuild keygen --public PUB --secret SEC [--force]\n";
        return 2;
    }
    for (const char* key : {"--public", "--secret"}) {
        if (fs::exists(o[key]) && !o.count("--force")) {
            std::cerr << "korvel-ttbuild: " << o[key] << " exists; --force replaces it\n";
            return 1;
        }
    }
    const KeyPair pair = GenerateKeyPair();
    if (!WriteAtomically(o["--secret"], FormatSecretKey(pair.secretKey), 0600) ||
        !WriteAtomically(o["--public"], FormatPublicKey(pair.publicKey))) {
        std::cerr << "korvel-ttbuild: cannot write the key files\n";
        return 1;
    }
    std::cout << "key " << KeyIdHex(pair.publicKey.id) << ": public " << o["--public"]
              << ", secret " << o["--secret"]
              << " (keep it secret; it is not password-protected)\n";
    return 0;
}

int RunPack(const std::vector<std::string>& args) {
    std::vector<std::string> pos;
    std::map<std::string, std::string> o;
    if (!ParseOptions(
            args, pos, o,
            {"--name", "--secret", "--out", "--sequence", "--valid-from", "--expires-days"}, {}) ||
        pos.size() != 1 || !o.count("--name") || !o.count("--secret") || !o.count("--out")) {
        return PackUsage();
    }
    const std::string name = o["--name"];
    if (!IsPackageName(name)) {
        std::cerr << "korvel-ttbuild: not a package name (1 to 64 of A-Z a-z 0-9 . _ -, not "
                     "starting with '.', not \"embedded\"): \""
                  << PrintableName(name) << "\"\n";
        return 2;
    }
    // A week: long enough for a publisher to renew it, short enough that an old catalogue
    // replayed by someone on the way cannot keep a traveller on an old timetable for long.
    // A given number that is not one, or is 0, is refused. No --sequence: one above the
    // catalogue's highest.
    std::uint64_t days = 7, sequence = 0;
    if (o.count("--expires-days")) {
        days = WholeInteger<std::uint64_t>(o["--expires-days"]).value_or(0);
    }
    if (o.count("--sequence")) sequence = WholeInteger<std::uint64_t>(o["--sequence"]).value_or(0);
    if (days == 0 || days > 3650 || (o.count("--sequence") && sequence == 0)) {
        return PackUsage();
    }
    std::string keyText, error;
    try {
        keyText = ReadRegularFileString(o["--secret"], kMaxKeyFileBytes);
    } catch (const FileReadError& e) {
        std::cerr << "korvel-ttbuild: cannot read " << e.what() << "\n";
        return 1;
    }
    const auto key = ParseSecretKey(keyText, error);
    if (!key) {
        std::cerr << "korvel-ttbuild: " << o["--secret"] << ": " << error << "\n";
        return 1;
    }
    const fs::path out = o["--out"];
    std::error_code ec;
    fs::create_directories(out, ec);
    Catalogue catalogue;
    if (!ReadCatalogue(out / kCatalogueFile, catalogue)) return 1;
    std::uint64_t highest = 0;
    for (const CatalogueEntry& e : catalogue.packages) highest = std::max(highest, e.sequence);
    if (sequence == 0) sequence = highest + 1;
    if (sequence <= highest) {
        std::cerr << "korvel-ttbuild: sequence " << sequence << " is not above the catalogue's "
                  << highest << "; travellers would refuse it\n";
        return 1;
    }

    Package package;
    try {
        const std::string validFrom = o.count("--valid-from") ? o["--valid-from"] : Today();
        package = PackFolder(pos[0], name, sequence, {name, validFrom, kBuilder});
    } catch (const std::exception& e) {
        std::cerr << "korvel-ttbuild: " << e.what() << "\n";
        return 1;
    }
    const std::string bytes = FormatPackage(package);
    if (!Publish(out, package, bytes, days, *key, catalogue)) {
        std::cerr << "korvel-ttbuild: cannot write into " << out.string() << "\n";
        return 1;
    }
    std::cout << "packed " << name << std::string(kPackageSuffix) << " (" << bytes.size()
              << " bytes, sequence " << sequence << ", valid from " << package.manifest.valid_from
              << ", " << package.manifest.trains << " trains) into " << out.string()
              << "; catalogue expires " << FormatUtcTime(catalogue.expires) << "\n";
    return 0;
}

}  // namespace korvel::timetable
