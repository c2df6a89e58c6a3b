// What the program keeps across runs (QSettings, ~/.config/korvel/korvel.conf): the station
// boxes of the main window and the journey window's choices. Only the program itself keeps
// them; windows made by tests start fresh.
#pragma once

#include <QString>
#include <QVariant>

namespace korvel::ui {

// Turns keeping on (the program calls it once, before its first window); a test that turns
// it on turns it off again.
void KeepSettingsAcrossRuns(bool keep = true);
bool SettingsKept();

// A kept value, or `fallback` when nothing is kept (or keeping is off).
QVariant KeptValue(const QString& key, const QVariant& fallback = {});
// Keeps a value (nothing when keeping is off).
void Keep(const QString& key, const QVariant& value);

}  // namespace korvel::ui
