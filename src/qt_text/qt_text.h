// The Qt boundary of the dialogs: GBK bytes to and from QString, the fonts the windows ask
// for by their Windows names, colours, and the few platform calls (message box, save dialog,
// printer) that tests replace.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "qt_text/gbk_qt.h"

class QMessageBox;
class QPrinter;
class QWidget;

namespace korvel::ui {

// Maps the Windows font names the windows use ("宋体", "楷体_GB2312", ...) to installed
// Simplified Chinese faces: the windows' names to one sans face, the printouts' 楷体 to a
// brush or serif face. Safe to call more than once.
void InstallFontSubstitutes();
// "宋体" at the given pixel height.
QFont SongFont(int pixelSize = 12);

inline QColor Rgb(unsigned rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The platform calls of printing and export. Each member, when set, replaces the real one;
// tests install recording fakes. Reset with `DialogPlatform() = {}`.
struct PlatformHooks {
    // Modal error box (the caption is the application's). Default: QMessageBox::critical.
    std::function<void(QWidget* parent, const QString& text)> errorBox;
    // Modal box telling that something worked and where its result went. Default:
    // QMessageBox::information.
    std::function<void(QWidget* parent, const QString& text)> noticeBox;
    // The save dialog of an export: the chosen name (not yet trimmed) or nothing when
    // cancelled. Default: a QFileDialog with the filter "Excel文件(*.csv)".
    std::function<std::optional<QString>(QWidget* parent)> saveFileName;
    // The printer a print job goes to; nullptr means there is no default printer.
    // Default: the system's default printer at high resolution.
    std::function<std::unique_ptr<QPrinter>()> defaultPrinter;
    // Whether any printer is installed. Default: QPrinterInfo's list is not empty.
    std::function<bool()> printersInstalled;
    // The save dialog for a PDF file when there is no printer to print on: the chosen name
    // or nothing when cancelled. Default: a QFileDialog with the filter "PDF文件(*.pdf)".
    std::function<std::optional<QString>(QWidget* parent)> pdfFileName;
};
PlatformHooks& DialogPlatform();

void ShowErrorBox(QWidget* parent, const QString& text);
void ShowNoticeBox(QWidget* parent, const QString& text);

// Widens a message box so that the window manager can show its whole caption beside the
// title bar's icon and buttons (Qt sizes a box by its text, and a short text cut "输入错误"
// down to "输…"). Call after the caption is set, before the box is shown.
void FitCaption(QMessageBox& box);
// The width FitCaption gives a box at least, for `caption` in the box's `font`.
int CaptionWidth(const QString& caption, const QFont& font);

}  // namespace korvel::ui
