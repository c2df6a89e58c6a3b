// Korvel时刻: the desktop program. Creates the main window, which starts loading the
// timetable at once, and runs until the window is closed.
#include <QApplication>

#include "online/qt/web_browser.h"
#include "ui/dialogs/qt_text.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    korvel::PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
    QApplication::setApplicationDisplayName(QStringLiteral("Korvel时刻"));
    korvel::ui::InstallFontSubstitutes();
    QApplication::setFont(korvel::ui::SongFont(12));

    korvel::ui::TFrmKorvel window;
    window.FormCreate();
    window.show();
    return app.exec();
}
