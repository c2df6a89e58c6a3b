// Korvel时刻: the desktop program. Creates the main window, which starts loading the
// timetable at once, and runs until the window is closed.
#include <QApplication>

#include "online/qt/web_browser.h"
#include "ui/app_setup.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
    korvel::ui::QuietWebEngineStartup();
    korvel::PrepareWebEngine();
    QApplication app(argc, argv);
    korvel::ui::SetUpApplication(app);

    korvel::ui::TFrmKorvel window;
    window.FormCreate();
    window.show();
    return app.exec();
}
