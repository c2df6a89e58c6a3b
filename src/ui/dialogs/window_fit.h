// Windows that fit any screen: the content of a window lies on a canvas inside a scroll area
// that fills the window. The canvas is never smaller than the layout it was drawn for, so a
// window on a small (or strongly scaled) screen scrolls rather than cuts controls off; a
// larger window hands its extra room to the canvas, whose owner lays its children out for it.
#pragma once

#include <QScrollArea>
#include <QSize>
#include <QString>
#include <functional>

namespace korvel::ui {

class ScrollCanvas : public QScrollArea {
    Q_OBJECT

  public:
    // Fills `window` (a layout without margins) and holds a canvas at least `least` big.
    ScrollCanvas(QWidget* window, QSize least);

    QWidget* Canvas() const { return canvas_; }
    QSize Least() const { return least_; }
    // A layout that wraps on a narrow canvas needs more height there: the least height for a
    // canvas `width` wide (never below Least()'s).
    void SetLeastHeightFor(std::function<int(int width)> leastHeight);

  signals:
    // The canvas has a new size (at least Least()): lay the children out for it.
    void canvasResized(QSize size);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void FitCanvas();
    int LeastHeight(int width) const;

    QWidget* canvas_;
    QSize least_;
    std::function<int(int)> leastHeightFor_;
};

// Sizes and places a top-level window for a client area of `preferred` inside the available
// area of its screen (of the primary screen before it is shown), with room for the window
// frame: smaller than preferred where the screen is, centred, and never with its title bar
// above or left of the area.
void FitToScreen(QWidget* window, QSize preferred);

// Puts a top-level window back where the user left it (the place and size kept under
// `key`), unless nothing is kept or that place is no longer on any screen.
void RestoreWindowPlace(QWidget* window, const QString& key);

}  // namespace korvel::ui
