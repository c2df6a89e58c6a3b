#include "ui/dialogs/window_fit.h"

#include <QApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/dialogs/settings.h"

namespace korvel::ui {

namespace {

// The frame a window manager puts around a window before the window is shown and its real
// frame known: a title bar and thin borders, in the window's own (scaled) pixels.
QMargins ExpectedFrame(const QWidget* window) {
    if (window->isVisible()) {
        const QRect frame = window->frameGeometry();
        const QRect client = window->geometry();
        const QMargins real(client.left() - frame.left(), client.top() - frame.top(),
                            frame.right() - client.right(), frame.bottom() - client.bottom());
        if (real.top() > 0) return real;
    }
    return QMargins(4, 32, 4, 4);
}

}  // namespace

ScrollCanvas::ScrollCanvas(QWidget* window, QSize least)
    : QScrollArea(window), canvas_(new QWidget), least_(least) {
    setObjectName(QStringLiteral("ScrollCanvas"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setFocusPolicy(Qt::NoFocus);
    setBackgroundRole(QPalette::Window);
    canvas_->setObjectName(QStringLiteral("Canvas"));
    canvas_->resize(least);
    setWidget(canvas_);
    // A control that takes the keyboard focus scrolls into view, however it got the focus.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && canvas_->isAncestorOf(now)) ensureWidgetVisible(now, 8, 8);
    });
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(this);
}

void ScrollCanvas::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    FitCanvas();
}

void ScrollCanvas::SetLeastHeightFor(std::function<int(int)> leastHeight) {
    leastHeightFor_ = std::move(leastHeight);
    FitCanvas();
}

int ScrollCanvas::LeastHeight(int width) const {
    return leastHeightFor_ ? std::max(least_.height(), leastHeightFor_(width)) : least_.height();
}

void ScrollCanvas::FitCanvas() {
    // The room without scroll bars; a bar in one direction takes its width from the other
    // (and a vertical bar may leave too little width, which brings the horizontal one).
    QSize room = maximumViewportSize();
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    bool wide = room.width() < least_.width();
    if (wide) room.rheight() -= bar;
    if (room.height() < LeastHeight(std::max(room.width(), least_.width()))) {
        room.rwidth() -= bar;
        if (!wide && room.width() < least_.width()) {
            wide = true;
            room.rheight() -= bar;
        }
    }
    const int width = std::max(room.width(), least_.width());
    const QSize size(width, std::max(room.height(), LeastHeight(width)));
    if (canvas_->size() != size) canvas_->resize(size);
    emit canvasResized(size);
}

void FitToScreen(QWidget* window, QSize preferred) {
    const QScreen* screen = window->isVisible() ? window->screen() : nullptr;
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        window->resize(preferred);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QMargins frame = ExpectedFrame(window);
    const QSize room(area.width() - frame.left() - frame.right(),
                     area.height() - frame.top() - frame.bottom());
    const QSize size = preferred.boundedTo(room).expandedTo(window->minimumSize());
    window->resize(size);
    const int outerWidth = size.width() + frame.left() + frame.right();
    const int outerHeight = size.height() + frame.top() + frame.bottom();
    const int x = area.left() + std::max(0, (area.width() - outerWidth) / 2);
    const int y = area.top() + std::max(0, (area.height() - outerHeight) / 2);
    // move() places the frame's corner for a top-level window.
    window->move(x, y);
}

void RestoreWindowPlace(QWidget* window, const QString& key) {
    const QByteArray kept = KeptValue(key).toByteArray();
    if (kept.isEmpty()) return;
    const QRect before = window->geometry();
    if (!window->restoreGeometry(kept)) return;
    // A screen that has gone since (a laptop without its monitor): centred again instead.
    bool onScreen = false;
    for (const QScreen* screen : QGuiApplication::screens())
        onScreen = onScreen || screen->availableGeometry().intersects(window->geometry());
    if (!onScreen) window->setGeometry(before);
}

}  // namespace korvel::ui
