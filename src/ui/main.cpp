// Korvel时刻: the desktop program. Creates the main window, which starts loading the
// timetable at once, and runs until the window is closed.
#include <QApplication>
#include <QStringList>
#include <iostream>
#include <memory>
#include <utility>

#include "online/qt/web_browser.h"
#include "ui/app_setup.h"
#include "ui/dialogs/settings.h"
#include "ui/main_window.h"
#include "ui/startup_trace.h"
#include "update/store.h"

int main(int argc, char** argv) {
    // First of all: the first use of a QString may already read the system locale.
    korvel::ui::PrepareChineseLocale();
    korvel::ui::TraceStartupBegin();
    korvel::ui::QuietWebEngineStartup();
    korvel::ui::PrepareWebEngine();
    QApplication app(argc, argv);
    korvel::ui::SetUpApplication(app);
    korvel::ui::TraceStartupMark("application");

    // --timetable DIR: the four table streams korvel-ttbuild wrote, instead of the embedded
    // timetable.
    korvel::StartOptions options;
    const QStringList arguments = QApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--timetable"));
    if (at > 0 && at + 1 < arguments.size()) {
        options.timetableFolder = arguments[at + 1].toStdString();
    } else {
        // The chosen installed timetable when it verifies, else the previous, else the
        // embedded one; the status bar says why when it is not the chosen one. The one
        // settled on was loaded to be checked: the window takes those tables over.
        auto tables = std::make_shared<korvel::StoredTables>();
        const korvel::update::StartupTimetable start =
            korvel::update::Store(korvel::update::DefaultStoreRoot()).ChooseStartup(tables.get());
        options.timetableFolder = start.folder;
        options.timetableName = start.name;
        if (!start.folder.empty()) options.timetableTables = std::move(tables);
        if (!start.note.empty()) {
            // The panel has room for the gist; the details go to standard error.
            std::cerr << "korvel: " << start.note << "\n";
            options.timetableNote = korvel::update::StartupStatusNote(start);
        }
    }

    korvel::ui::KeepSettingsAcrossRuns();
    korvel::ui::MainWindow window;
    korvel::ui::TraceStartupMark("window-created");
    window.Start(std::move(options));
    korvel::ui::TraceStartupMark("form-created");
    window.show();
    korvel::ui::TraceStartupWindow(window);
    return app.exec();
}
