#include "qt_text/qt_text.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>

namespace korvel::ui {

void InstallFontSubstitutes() {
    static const bool done = [] {
        // One face for the whole window: the controls ("宋体"), the grid, the status bar and
        // the start page (written for "Arial") all take the Simplified Chinese sans face, so
        // no serif text stands beside sans text.
        const QStringList ui = {QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("WenQuanYi Micro Hei")};
        for (const char* family : {"宋体", "SimSun", "Arial"})
            QFont::insertSubstitutions(QString::fromUtf8(family), ui);
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

namespace {

void ShowBox(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
    FitCaption(box);
    box.exec();
}

}  // namespace

void ShowErrorBox(QWidget* parent, const QString& text) {
    if (DialogPlatform().errorBox) {
        DialogPlatform().errorBox(parent, text);
        return;
    }
    ShowBox(parent, text, QMessageBox::Critical);
}

void ShowNoticeBox(QWidget* parent, const QString& text) {
    if (DialogPlatform().noticeBox) {
        DialogPlatform().noticeBox(parent, text);
        return;
    }
    ShowBox(parent, text, QMessageBox::Information);
}

int CaptionWidth(const QString& caption, const QFont& font) {
    // Title bars use a bold face, often larger than the box's own; room is left for the
    // window icon and the close, minimise and maximise buttons.
    constexpr int kDecoration = 150;
    QFont title = font;
    title.setBold(true);
    title.setPixelSize(QFontInfo(font).pixelSize() * 5 / 4);
    return QFontMetrics(title).horizontalAdvance(caption) + kDecoration;
}

void FitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    // A spacer across the bottom of the box's grid: the box is sized to its layout.
    grid->addItem(new QSpacerItem(CaptionWidth(box.windowTitle(), box.font()), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace korvel::ui
