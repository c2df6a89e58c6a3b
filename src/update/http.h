// Fetching the catalogue and packages over HTTP(S), behind a small interface so that the
// update logic can be tested with any fetcher. The real one is libcurl.
//
// Only https addresses are fetched, and http only for loopback hosts (127.0.0.0/8, ::1,
// localhost), which tests use. A redirect is followed (at most 5) only to an address that
// passes the same rule with the same scheme, so https never falls back to http. The body is
// limited in size, and the transfer in time: a connect time-out, a whole-transfer time-out, a
// stall time-out (no byte for that long) and a lowest rate.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace korvel::update {

struct FetchLimits {
    std::uint64_t maxBytes = 1 << 20;
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds totalTimeout{600000};
    std::chrono::milliseconds stallTimeout{30000};
    // Fewer than minBytesPerSecond on average over a whole lowSpeedWindow aborts the transfer:
    // a server that trickles a few bytes a second would otherwise hold one fetch until the
    // whole-transfer time-out.
    std::uint64_t minBytesPerSecond = 1024;
    std::chrono::milliseconds lowSpeedWindow{30000};
};

// Called as bytes arrive: bytes so far and the announced total (0 when unknown). Returning
// false cancels the transfer.
using FetchProgress = std::function<bool(std::uint64_t received, std::uint64_t total)>;
// Receives the body in pieces; returning false stops the transfer (a write error).
using FetchSink = std::function<bool(std::string_view bytes)>;

struct FetchResult {
    bool ok = false;         // a 200 answer arrived complete, within the limits
    bool cancelled = false;  // the progress callback asked to stop
    int status = 0;          // the HTTP status of the last answer, 0 without one
    std::string error;       // what failed, naming the address, when !ok
};

// Empty when `url` may be fetched (see above), else why not.
std::string CheckFetchAddress(std::string_view url);

class Fetcher {
  public:
    virtual ~Fetcher() = default;
    virtual FetchResult Fetch(const std::string& url, const FetchLimits& limits,
                              const FetchSink& sink, const FetchProgress& progress) = 0;
};

// libcurl's fetcher.
std::unique_ptr<Fetcher> MakeCurlFetcher();

// Fetches into a string (at most limits.maxBytes).
FetchResult FetchToString(Fetcher& fetcher, const std::string& url, const FetchLimits& limits,
                          std::string& body, const FetchProgress& progress = {});

// "https://host/dir/catalogue.json" + "x.korvel-tt" -> "https://host/dir/x.korvel-tt".
std::string SiblingAddress(std::string_view url, std::string_view file);

// The address of a file's signature: ".minisig" after the path, before any query or fragment
// ("https://host/catalogue.json?v=2" -> "https://host/catalogue.json.minisig?v=2").
std::string SignatureAddress(std::string_view url);

}  // namespace korvel::update
