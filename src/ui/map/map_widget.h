// The 地图 tab of the train and journey windows: the route on the railway network, fitted to
// the route when it opens; zoom with the wheel, +/− (keys or buttons), pan by dragging or
// with the arrow keys, 全程 (or Home) fits the route again.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "journey/planner.h"
#include "views/map_scene.h"

class QPainter;
class QTabWidget;
class QToolButton;

namespace korvel {
class MapData;
}

namespace korvel::ui {

class MapWidget : public QWidget {
    Q_OBJECT

  public:
    // `map` may be nullptr (a timetable without station places): the tab then says so.
    explicit MapWidget(std::shared_ptr<const MapData> map, QWidget* parent = nullptr);

    // Another timetable's map (nullptr: none), under the route shown, fitted again.
    void SetMap(std::shared_ptr<const MapData> map);
    const std::shared_ptr<const MapData>& Map() const { return map_; }
    // A new route, fitted to the view.
    void SetRoute(std::vector<RouteLeg> legs);
    // A journey's legs as the route (a change station ringed), fitted to the view; `planned`
    // is the typed timetable the journey was planned on.
    void SetJourney(const Timetable& planned, const Journey& journey);
    // The view fitted to the route again.
    void FitRoute();
    // Zooms by `factor` about `at` (widget pixels), the point under it staying put.
    void ZoomAt(double factor, QPointF at);
    void PanBy(QPointF delta);

    // What is on screen.
    const MapScene& Scene() const { return scene_; }
    double Zoom() const { return zoom_; }
    bool HasMap() const { return map_ != nullptr; }

    // The route fitted to `page` (device pixels of a printer or an image), as the window
    // prints it: a page-sized scene at the screen's scale, then scaled onto the page.
    void PaintPage(QPainter& painter, const QRect& page) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Rebuild();
    void PlaceButtons();

    std::shared_ptr<const MapData> map_;
    std::vector<RouteLeg> legs_;
    MapScene scene_;
    double zoom_ = 1;
    QPointF pan_;
    QPointF dragFrom_;
    bool dragging_ = false;
    QToolButton* zoomIn_;
    QToolButton* zoomOut_;
    QToolButton* fit_;
};

// A window's content and its map as two tabs: the content goes on the first page (put the
// window's ScrollCanvas there), the map on the 地图 page. Only for a timetable with station
// places; without them the window keeps its content alone.
struct MapTabs {
    QTabWidget* tabs = nullptr;
    QWidget* firstPage = nullptr;
    MapWidget* map = nullptr;
};
MapTabs AddMapTabs(QWidget* window, const QString& firstTitle, std::shared_ptr<const MapData> map);

}  // namespace korvel::ui
