// The version-file decision over arbitrary response bodies: every outcome gives one of the
// three label texts, only a body holding one version text announces anything, and a failed
// or refused fetch never does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "online/version_check.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t control = data[0];
    korvel::HttpOutcome http;
    http.completed = (control & 1) != 0;
    http.status = (control & 2) != 0 ? 200 : (control & 4) != 0 ? 404 : 0;
    http.oversized = (control & 8) != 0;
    http.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    const bool online = (control & 16) != 0;

    const korvel::VersionDecision d = korvel::DecideVersion(online, http);
    const std::string cleaned = korvel::CleanVersionBody(http.body);
    Check(cleaned.size() <= http.body.size());

    const bool usable = online && http.completed && http.status == 200 && !http.oversized &&
                        http.body.size() <= korvel::kMaxVersionBodyBytes;
    switch (d.verdict) {
        case korvel::VersionVerdict::NotConnected:
            Check(d.label == korvel::NotConnectedText());
            Check(!usable || !korvel::IsVersionText(cleaned));
            break;
        case korvel::VersionVerdict::UpToDate:
            Check(usable && korvel::IsVersionText(d.version) && d.version == cleaned);
            Check(d.label == korvel::UpToDateText());
            Check(d.version <= korvel::ProgramVersion);
            break;
        case korvel::VersionVerdict::NewVersion:
            Check(usable && korvel::IsVersionText(d.version) && d.version == cleaned);
            Check(d.label == korvel::NewVersionText(d.version));
            Check(d.version > korvel::ProgramVersion);
            break;
    }
    // The label never carries more than a version text of the body.
    Check(d.label.size() <= korvel::NewVersionText("0000.00.00").size());
    return 0;
}
