// One timetable update: fetch the signed catalogue, pick the newest package, download it,
// verify size, SHA-256 and signature before anything is unpacked, install it and make it the
// timetable in use. Runs on any thread (the window runs it on a worker); the progress
// callback may cancel.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>

#include "update/catalogue.h"
#include "update/http.h"
#include "update/signature.h"
#include "update/store.h"

namespace korvel::update {

struct UpdateOptions {
    std::string catalogueUrl;
    PublicKey publicKey;
    FetchLimits limits;   // maxBytes is set per file (catalogue, signature, package)
    std::time_t now = 0;  // 0: the clock's time
    // Asked while the catalogue and signatures download; false stops them (a window that
    // closes does not wait for a slow server). Empty: never stops.
    std::function<bool()> keepGoing;
};

// Available: CheckForUpdate found a newer package (nothing was downloaded).
enum class UpdateOutcome { Installed, Available, AlreadyNewest, Failed };

// What kind of failure a Failed outcome was, for a window to word in its own language (the
// message names the details in English).
enum class UpdateFailure {
    None,
    BadAddress,          // the catalogue address is refused (not https, ...)
    Network,             // the catalogue or its signature could not be downloaded
    Cancelled,           // the user stopped it
    CatalogueSignature,  // the catalogue is not signed by the publisher's key
    CatalogueDamaged,    // it cannot be read
    CatalogueExpired,    // the publisher has not renewed it
    CatalogueReplayed,   // older than one seen before
    NoTimetable,         // it lists none
    Rollback,            // its newest timetable is older than one installed before
    Busy,                // another update holds the store
    PackageDownload,     // the package or its signature could not be downloaded
    PackageSize,         // fewer or more bytes than the catalogue says
    PackageHash,         // SHA-256 differs from the catalogue's
    PackageSignature,    // not signed by the publisher's key
    PackageDamaged,      // cannot be unpacked, or names another package
    Storage,             // the download cannot be kept (disk full, permissions)
    Install,             // the unpacked timetable could not be installed or did not check
};

struct UpdateResult {
    UpdateOutcome outcome = UpdateOutcome::Failed;
    UpdateFailure failure = UpdateFailure::None;  // with Failed
    std::string message;  // one line for the user, naming what failed (English, UTF-8)
    std::optional<CatalogueEntry> package;  // the newest package of the catalogue, when read
    std::time_t cataloguePublished = 0;     // when that catalogue was published, 0 unknown
};

// The catalogue fetched, its signature verified, its expiry checked; nullopt with `error`.
std::optional<Catalogue> FetchCatalogue(Fetcher& fetcher, const UpdateOptions& options,
                                        std::string& error, UpdateFailure* kind = nullptr);

// Fetches the catalogue and says whether it lists something newer than the store holds
// (Available or AlreadyNewest); downloads nothing.
UpdateResult CheckForUpdate(const Store& store, Fetcher& fetcher, const UpdateOptions& options);

UpdateResult RunUpdate(const Store& store, Fetcher& fetcher, const UpdateOptions& options,
                       const FetchProgress& progress = {});

}  // namespace korvel::update
