#include "ui/dialogs/settings.h"

#include <QSettings>

namespace korvel::ui {

namespace {

bool kept = false;

QSettings& Store() {
    static QSettings settings(QStringLiteral("korvel"), QStringLiteral("korvel"));
    return settings;
}

}  // namespace

void KeepSettingsAcrossRuns(bool keep) {
    kept = keep;
}

bool SettingsKept() {
    return kept;
}

QVariant KeptValue(const QString& key, const QVariant& fallback) {
    return kept ? Store().value(key, fallback) : fallback;
}

void Keep(const QString& key, const QVariant& value) {
    if (kept) Store().setValue(key, value);
}

}  // namespace korvel::ui
