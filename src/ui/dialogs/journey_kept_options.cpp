#include "ui/dialogs/journey_kept_options.h"

#include <QString>
#include <QVariant>
#include <algorithm>
#include <optional>

#include "ui/dialogs/settings.h"
#include "views/journey_window.h"

namespace korvel::ui {

namespace {

// A change time kept from an earlier run wins only when the user moved it away from the
// default offered then; otherwise the timetable in use gives it (see OfferedChangeMinutes).
int RestoreChangeMinutes(const char* key, int programDefault, int timetableDefault) {
    auto kept = [](const QString& name) -> std::optional<int> {
        const QVariant v = KeptValue(name);
        bool ok = false;
        const int n = v.toInt(&ok);
        if (!v.isValid() || !ok) return std::nullopt;
        return std::clamp(n, 0, kMaxChangeMinutes);
    };
    const QString name = QString::fromLatin1(key);
    return OfferedChangeMinutes(kept(name), kept(name + QStringLiteral("Default")), programDefault,
                                timetableDefault);
}

}  // namespace

// The choices of the last search, kept across runs (each within its range).
void RestoreJourneyOptions(JourneyOptions& o) {
    auto kept = [](const char* key, int value, int low, int high) {
        return std::clamp(KeptValue(QString::fromLatin1(key), value).toInt(), low, high);
    };
    o.windowStart = kept("journey/windowStart", o.windowStart, 0, kMinutesPerDay - 1);
    o.windowEnd = kept("journey/windowEnd", o.windowEnd, 0, kMinutesPerDay - 1);
    o.windowOf = kept("journey/arriveBy", o.windowOf == JourneyWindowOf::Arrival, 0, 1) == 1
                     ? JourneyWindowOf::Arrival
                     : JourneyWindowOf::Departure;
    o.maxTransfers = kept("journey/maxTransfers", o.maxTransfers, 0, kMaxJourneyTransfers);
    // `o` holds the timetable's defaults here.
    const JourneyOptions program;
    o.minTransfer = RestoreChangeMinutes("journey/minTransfer", program.minTransfer, o.minTransfer);
    o.cityTransfer =
        RestoreChangeMinutes("journey/cityTransfer", program.cityTransfer, o.cityTransfer);
}

void KeepJourneyOptions(const JourneyOptions& o, const JourneyOptions& defaults) {
    Keep(QStringLiteral("journey/windowStart"), o.windowStart);
    Keep(QStringLiteral("journey/windowEnd"), o.windowEnd);
    Keep(QStringLiteral("journey/arriveBy"), o.windowOf == JourneyWindowOf::Arrival ? 1 : 0);
    Keep(QStringLiteral("journey/maxTransfers"), o.maxTransfers);
    Keep(QStringLiteral("journey/minTransfer"), o.minTransfer);
    Keep(QStringLiteral("journey/cityTransfer"), o.cityTransfer);
    Keep(QStringLiteral("journey/minTransferDefault"), defaults.minTransfer);
    Keep(QStringLiteral("journey/cityTransferDefault"), defaults.cityTransfer);
}

}  // namespace korvel::ui
