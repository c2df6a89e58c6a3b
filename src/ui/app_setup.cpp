#include "ui/app_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>

#include "ui/dialogs/qt_text.h"

namespace korvel::ui {

void QuietWebEngineStartup() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext=false"));
}

void PrepareChineseLocale() {
    if (qEnvironmentVariableIsEmpty("LC_ALL")) qputenv("LC_TIME", "zh_CN.UTF-8");
}

bool InstallQtTranslations(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QApplication::installTranslator(translator);
    return true;
}

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
    // The installed desktop entry, for the window system to match windows and entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.korvel"));
    InstallQtTranslations(app);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    InstallFontSubstitutes();
    QApplication::setFont(SongFont(12));
}

}  // namespace korvel::ui
