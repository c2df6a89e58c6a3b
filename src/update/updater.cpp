#include "update/updater.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "data/manifest.h"

namespace korvel::update {
namespace {

UpdateResult Failure(UpdateFailure kind, std::string message) {
    UpdateResult r;
    r.outcome = UpdateOutcome::Failed;
    r.failure = kind;
    r.message = std::move(message);
    return r;
}

UpdateFailure FetchFailure(const FetchResult& r, UpdateFailure otherwise) {
    return r.cancelled ? UpdateFailure::Cancelled : otherwise;
}

// The newest package, unless it would go back behind what was installed before (rollback).
UpdateResult Compare(const Store& store, const Catalogue& catalogue) {
    const CatalogueEntry* newest = NewestPackage(catalogue);
    if (!newest) return Failure(UpdateFailure::NoTimetable, "the catalogue lists no timetable");
    UpdateResult r;
    r.package = *newest;
    const std::uint64_t highest = store.HighestSequence();
    if (newest->sequence < highest) {
        r.outcome = UpdateOutcome::Failed;
        r.failure = UpdateFailure::Rollback;
        r.message = "refused: the catalogue's newest timetable " + newest->name + " (sequence " +
                    std::to_string(newest->sequence) + ") is older than one installed before " +
                    "(sequence " + std::to_string(highest) + ")";
    } else if (newest->sequence == highest) {
        r.outcome = UpdateOutcome::AlreadyNewest;
        r.message = "already the newest timetable: " + newest->name;
    } else {
        r.outcome = UpdateOutcome::Available;
        r.message = "newer timetable available: " + newest->name + " (valid from " +
                    newest->validFrom + ")";
    }
    return r;
}

// A catalogue published before the newest one seen is an old list replayed (or a publisher
// gone back in time): either way it may hide a newer timetable, so it is refused. A newer one
// becomes the newest seen; without the lock (another update running) it is only checked.
std::string CheckFreshness(const Store& store, const Catalogue& catalogue, bool locked) {
    const std::time_t newest = store.NewestCatalogueTime();
    if (catalogue.published < newest) {
        return "refused: the catalogue was published " +
               (catalogue.published ? "at " + FormatUtcTime(catalogue.published)
                                    : std::string("without a time")) +
               ", before the newest one seen (" + FormatUtcTime(newest) +
               "); an old catalogue may be replayed";
    }
    return locked ? store.NoteCatalogueTime(catalogue.published) : std::string();
}

FetchProgress KeepGoing(const UpdateOptions& options) {
    if (!options.keepGoing) return {};
    return [&options](std::uint64_t, std::uint64_t) { return options.keepGoing(); };
}

std::string FetchSignature(Fetcher& fetcher, const std::string& url, const UpdateOptions& options,
                           std::string& text, bool* cancelled) {
    FetchLimits limits = options.limits;
    limits.maxBytes = kMaxSignatureBytes;
    const FetchResult r = FetchToString(fetcher, url, limits, text, KeepGoing(options));
    *cancelled = r.cancelled;
    return r.ok ? std::string() : "signature download failed: " + r.error;
}

// Downloads the package into `path`; "" or what failed.
std::string Download(Fetcher& fetcher, const std::string& url, const CatalogueEntry& entry,
                     const UpdateOptions& options, const std::string& path,
                     const FetchProgress& progress, UpdateFailure& kind) {
    kind = UpdateFailure::Storage;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return path + ": cannot create";
    FetchLimits limits = options.limits;
    limits.maxBytes = entry.size;  // a server sending more than the catalogue says is refused
    const FetchResult r = fetcher.Fetch(
        url, limits,
        [&out](std::string_view bytes) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            return static_cast<bool>(out);
        },
        progress);
    out.close();
    if (!r.ok) {
        // A file that takes no more stops the download too: that is the disk, not the network.
        kind = !out ? UpdateFailure::Storage : FetchFailure(r, UpdateFailure::PackageDownload);
        return r.cancelled ? "download cancelled" : "download failed: " + r.error;
    }
    if (!out) return path + ": cannot write (disk full?)";
    return {};
}

// Size, hash and signature of the downloaded bytes, then the package inside; "" or why not.
std::string VerifyDownload(const std::string& bytes, const CatalogueEntry& entry,
                           const PublicKey& key, const std::string& signature,
                           UpdateFailure& kind) {
    kind = UpdateFailure::PackageSize;
    if (bytes.size() != entry.size) {
        return "package " + entry.file + ": " + std::to_string(bytes.size()) +
               " bytes, the catalogue says " + std::to_string(entry.size) + " (truncated?)";
    }
    kind = UpdateFailure::PackageHash;
    if (data::Sha256Hex(bytes) != entry.sha256) {
        return "package " + entry.file + ": SHA-256 differs from the catalogue's";
    }
    kind = UpdateFailure::PackageSignature;
    if (std::string bad = VerifySignature(key, bytes, signature); !bad.empty()) {
        return "package " + entry.file + ": " + bad;
    }
    return {};
}

}  // namespace

std::optional<Catalogue> FetchCatalogue(Fetcher& fetcher, const UpdateOptions& options,
                                        std::string& error, UpdateFailure* kind) {
    UpdateFailure ignored = UpdateFailure::None;
    UpdateFailure& failure = kind ? *kind : ignored;
    if (std::string bad = CheckFetchAddress(options.catalogueUrl); !bad.empty()) {
        failure = UpdateFailure::BadAddress;
        error = "catalogue: " + bad;
        return std::nullopt;
    }
    FetchLimits limits = options.limits;
    limits.maxBytes = kMaxCatalogueBytes;
    std::string text;
    const FetchResult r =
        FetchToString(fetcher, options.catalogueUrl, limits, text, KeepGoing(options));
    if (!r.ok) {
        failure = FetchFailure(r, UpdateFailure::Network);
        error = "catalogue download failed: " + r.error;
        return std::nullopt;
    }
    std::string signature;
    const std::string sigUrl = SignatureAddress(options.catalogueUrl);
    bool cancelled = false;
    if (std::string bad = FetchSignature(fetcher, sigUrl, options, signature, &cancelled);
        !bad.empty()) {
        failure = cancelled ? UpdateFailure::Cancelled : UpdateFailure::Network;
        error = "catalogue " + bad;
        return std::nullopt;
    }
    if (std::string bad = VerifySignature(options.publicKey, text, signature); !bad.empty()) {
        failure = UpdateFailure::CatalogueSignature;
        error = "catalogue: " + bad;
        return std::nullopt;
    }
    std::optional<Catalogue> catalogue = ParseCatalogue(text, error);
    if (!catalogue) {
        failure = UpdateFailure::CatalogueDamaged;
        error = "catalogue: " + error;
        return std::nullopt;
    }
    const std::time_t now = options.now ? options.now : std::time(nullptr);
    if (catalogue->expires <= now) {
        failure = UpdateFailure::CatalogueExpired;
        error = "catalogue expired on " + FormatUtcTime(catalogue->expires) +
                " (the publisher has not renewed it; refusing a possibly stale list)";
        return std::nullopt;
    }
    return catalogue;
}

UpdateResult CheckForUpdate(const Store& store, Fetcher& fetcher, const UpdateOptions& options) {
    std::string error;
    UpdateFailure kind = UpdateFailure::None;
    const std::optional<Catalogue> catalogue = FetchCatalogue(fetcher, options, error, &kind);
    if (!catalogue) return Failure(kind, error);
    std::string busy;
    const std::optional<Store::Lock> lock = store.TryLock(busy);
    if (std::string stale = CheckFreshness(store, *catalogue, lock.has_value()); !stale.empty()) {
        return Failure(UpdateFailure::CatalogueReplayed, stale);
    }
    UpdateResult r = Compare(store, *catalogue);
    r.cataloguePublished = catalogue->published;
    return r;
}

UpdateResult RunUpdate(const Store& store, Fetcher& fetcher, const UpdateOptions& options,
                       const FetchProgress& progress) {
    std::string error;
    const std::optional<Store::Lock> lock = store.TryLock(error);
    if (!lock) return Failure(UpdateFailure::Busy, error);
    store.SweepWorkFiles();
    UpdateFailure kind = UpdateFailure::None;
    const std::optional<Catalogue> catalogue = FetchCatalogue(fetcher, options, error, &kind);
    if (!catalogue) return Failure(kind, error);
    if (std::string stale = CheckFreshness(store, *catalogue, true); !stale.empty()) {
        return Failure(UpdateFailure::CatalogueReplayed, stale);
    }
    UpdateResult r = Compare(store, *catalogue);
    r.cataloguePublished = catalogue->published;
    if (r.outcome != UpdateOutcome::Available) return r;
    const CatalogueEntry& entry = *r.package;

    const std::string url = SiblingAddress(options.catalogueUrl, entry.file);
    std::string signature;
    bool cancelled = false;
    if (std::string bad =
            FetchSignature(fetcher, SignatureAddress(url), options, signature, &cancelled);
        !bad.empty()) {
        return Failure(cancelled ? UpdateFailure::Cancelled : UpdateFailure::PackageDownload,
                       "package " + bad);
    }
    const std::string path =
        store.Root() + "/.download-" + entry.name + "-" + std::to_string(::getpid());
    struct Cleanup {
        std::string path;
        ~Cleanup() { std::remove(path.c_str()); }
    } cleanup{path};
    if (std::string bad = Download(fetcher, url, entry, options, path, progress, kind);
        !bad.empty()) {
        return Failure(kind, bad);
    }
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        return Failure(UpdateFailure::Storage, path + ": cannot read back");
    }
    if (std::string bad = VerifyDownload(bytes, entry, options.publicKey, signature, kind);
        !bad.empty()) {
        return Failure(kind, bad);
    }
    std::optional<Package> package = ParsePackage(bytes, error);
    if (!package) return Failure(UpdateFailure::PackageDamaged, entry.file + ": " + error);
    if (package->name != entry.name || package->sequence != entry.sequence) {
        return Failure(UpdateFailure::PackageDamaged,
                       entry.file + ": names another package than the catalogue says");
    }
    bytes.clear();
    if (std::string bad = store.Install(*package); !bad.empty()) {
        return Failure(UpdateFailure::Install, "install failed: " + bad);
    }
    r.outcome = UpdateOutcome::Installed;
    r.message = "installed timetable " + entry.name + " (valid from " + entry.validFrom +
                ", sequence " + std::to_string(entry.sequence) + ") and switched to it";
    return r;
}

}  // namespace korvel::update
