#include "ui/app_setup.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QTranslator>
#include <utility>

#include "qt_text/qt_text.h"

namespace korvel::ui {

void QuietWebEngineStartup() {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext=false"));
}

void PrepareChineseLocale() {
    if (qEnvironmentVariableIsEmpty("LC_ALL")) qputenv("LC_TIME", "zh_CN.UTF-8");
}

namespace {

// Debian's qtbase_zh_CN lacks the texts of the file icon provider, so the file dialogs' 类型
// column read "Folder" beside Chinese captions. These few are supplied here.
class FileTypeTranslator : public QTranslator {
  public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* source, const char* /*disambiguation*/,
                      int /*n*/) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        static constexpr std::pair<const char*, const char*> kTexts[] = {
            {"Folder", "文件夹"}, {"Drive", "驱动器"}, {"Shortcut", "快捷方式"}, {"File", "文件"}};
        for (const auto& [english, chinese] : kTexts) {
            if (qstrcmp(source, english) == 0) return QString::fromUtf8(chinese);
        }
        return {};
    }
};

}  // namespace

bool InstallQtTranslations(QApplication& app) {
    QApplication::installTranslator(new FileTypeTranslator(&app));
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
