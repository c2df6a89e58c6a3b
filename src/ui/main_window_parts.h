// Small pieces the main window's source files share: the timetable panel's layout
// constants, colour helpers and the flat query-button face.
#pragma once

#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include "qt_text/qt_text.h"
#include "ui/result_table.h"

namespace korvel::ui::window {

inline constexpr int kGridLeft = 14;
inline constexpr int kGridTop = 43;
inline constexpr int kGridWidth = 960;
inline constexpr int kGridHeight = 305;
inline constexpr int kBandTop = 1;
inline constexpr int kHeaderTop = 22;
inline constexpr int kStripHeight = 20;
// The start page under the query boxes (it gives its height up first on a short screen),
// and the fewest grid rows a short window keeps.
inline constexpr int kStartPageHeight = 169;
inline constexpr int kMinGridRows = 5;
inline constexpr int kMinGridHeight = kMinGridRows * (kResultRowHeight + 1) + 2;
// The query boxes' row under the grid and the result line under it.
inline constexpr int kQueryTop = 351;
inline constexpr int kResultLineTop = 400;
// A window narrower than the layout wraps the query row in two, the second this much lower;
// below this width it scrolls sideways as a whole.
inline constexpr int kWrapStep = 48;
inline constexpr int kNarrowWidth = 640;

inline QString Q(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Left edge of a grid column inside the timetable panel: the grid's frame, then every
// column before it with its 1-px grid line.
inline int ColumnLeft(int column) {
    int x = kGridLeft + 1;
    for (int i = 0; i < column; ++i) x += ResultColumnWidths()[i] + 1;
    return x;
}

inline void FillBackground(QWidget* w, QColor colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, colour);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

inline void SetTextColour(QWidget* w, QColor colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    pal.setColor(QPalette::Text, colour);
    w->setPalette(pal);
}

inline QPushButton* QueryButton(QWidget* parent, const char* name, const char* caption,
                                QRect geometry) {
    auto* b = new QPushButton(Q(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: #F4F4F0; border: 1px solid #9A9A94; border-radius: 2px; }"
        "QPushButton:hover { background-color: #FFC73C; }"
        "QPushButton:pressed { background-color: #F0B020; }"
        "QPushButton:disabled { color: #A0A0A0; }"
        "QPushButton:focus { border: 1px solid #303030; }"
        "QPushButton::menu-indicator { subcontrol-position: right center; right: 3px; }"));
    // Enter and keypad Enter click the button that has the focus, as Space does; outside a
    // dialog Qt's buttons ignore Enter unless they are auto-default.
    b->setAutoDefault(true);
    return b;
}

inline QLabel* PlainLabel(QWidget* parent, const QString& text, QPoint at) {
    auto* l = new QLabel(text, parent);
    l->move(at);
    l->adjustSize();
    return l;
}

}  // namespace korvel::ui::window
