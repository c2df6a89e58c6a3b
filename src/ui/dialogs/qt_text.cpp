#include "ui/dialogs/qt_text.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringDecoder>
#include <QStringEncoder>

namespace korvel::ui {

QString QStringFromGbk(std::string_view gbk) {
    // Constructed by name: encodingForName("GBK") has no enum value for it.
    QStringDecoder decoder("GBK");
    return decoder.decode(QByteArrayView(gbk.data(), static_cast<qsizetype>(gbk.size())));
}

std::string GbkFromQString(const QString& text) {
    QStringEncoder encoder("GBK");
    QByteArray bytes = encoder.encode(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

void InstallFontSubstitutes() {
    static const bool done = [] {
        const QStringList song = {QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                                  QStringLiteral("Noto Sans CJK SC"),
                                  QStringLiteral("WenQuanYi Micro Hei")};
        QFont::insertSubstitutions(QStringLiteral("宋体"), song);
        QFont::insertSubstitutions(QStringLiteral("SimSun"), song.mid(1));
        const QStringList kai = {QStringLiteral("KaiTi"), QStringLiteral("AR PL UKai CN"),
                                 QStringLiteral("Noto Serif CJK SC"),
                                 QStringLiteral("WenQuanYi Micro Hei")};
        QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"), kai);
        return true;
    }();
    (void)done;
}

QFont SongFont(int pixelSize) {
    InstallFontSubstitutes();
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixelSize);
    return font;
}

PlatformHooks& DialogPlatform() {
    static PlatformHooks hooks;
    return hooks;
}

void ShowErrorBox(QWidget* parent, const QString& text) {
    if (DialogPlatform().errorBox) {
        DialogPlatform().errorBox(parent, text);
        return;
    }
    QMessageBox::critical(parent, QApplication::applicationDisplayName(), text);
}

}  // namespace korvel::ui
