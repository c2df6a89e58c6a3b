#include "ui/map/map_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/map_data.h"
#include "ui/map/map_painter.h"

namespace korvel::ui {
namespace {

// One wheel notch or one +/− is a quarter closer; the view stays between the whole country
// seen from afar and a few streets.
constexpr double kStep = 1.25;
constexpr double kMinZoom = 1.0 / 64;
constexpr double kMaxZoom = 512;

QToolButton* MapButton(QWidget* parent, const char* name, const QString& text, const QString& tip) {
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRaise(false);
    return b;
}

}  // namespace

MapWidget::MapWidget(std::shared_ptr<const MapData> map, QWidget* parent)
    : QWidget(parent), map_(std::move(map)) {
    setObjectName(QStringLiteral("MapView"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
    setCursor(Qt::OpenHandCursor);
    zoomIn_ = MapButton(this, "ZoomIn", QStringLiteral("+"), QStringLiteral("放大（滚轮、+）"));
    zoomOut_ = MapButton(this, "ZoomOut", QStringLiteral("−"), QStringLiteral("缩小（滚轮、-）"));
    fit_ = MapButton(this, "FitRoute", QStringLiteral("全程"), QStringLiteral("显示全程（Home）"));
    connect(zoomIn_, &QToolButton::clicked, this,
            [this] { ZoomAt(kStep, QPointF(width() / 2.0, height() / 2.0)); });
    connect(zoomOut_, &QToolButton::clicked, this,
            [this] { ZoomAt(1 / kStep, QPointF(width() / 2.0, height() / 2.0)); });
    connect(fit_, &QToolButton::clicked, this, [this] { FitRoute(); });
    for (QToolButton* b : {zoomIn_, zoomOut_, fit_}) b->setVisible(map_ != nullptr);
    PlaceButtons();
}

void MapWidget::SetMap(std::shared_ptr<const MapData> map) {
    map_ = std::move(map);
    for (QToolButton* b : {zoomIn_, zoomOut_, fit_}) b->setVisible(map_ != nullptr);
    FitRoute();
}

void MapWidget::SetRoute(std::vector<RouteLeg> legs) {
    legs_ = std::move(legs);
    FitRoute();
}

void MapWidget::SetJourney(const Timetable& planned, const Journey& journey) {
    std::vector<RouteLeg> legs;
    if (map_) {
        // The map's timetable may be of another load: the trains are found by number.
        for (const JourneyLeg& leg : journey.legs) {
            legs.push_back(TrainLeg(map_->Typed(), planned.Number(leg.train), leg.row.fromStopNo,
                                    leg.row.toStopNo));
        }
    }
    SetRoute(std::move(legs));
}

void MapWidget::FitRoute() {
    zoom_ = 1;
    pan_ = {};
    Rebuild();
}

void MapWidget::ZoomAt(double factor, QPointF at) {
    const double zoom = std::clamp(zoom_ * factor, kMinZoom, kMaxZoom);
    factor = zoom / zoom_;
    // The point under `at` keeps its place: it lies (at - centre - pan) / zoom from the
    // fitted view's centre before and after.
    const QPointF centre(width() / 2.0, height() / 2.0);
    pan_ = at - centre - factor * (at - centre - pan_);
    zoom_ = zoom;
    Rebuild();
}

void MapWidget::PanBy(QPointF delta) {
    pan_ += delta;
    Rebuild();
}

void MapWidget::Rebuild() {
    if (!map_) {
        scene_ = MapScene{};  // nothing of an earlier map's
        update();
        return;
    }
    MapSceneOptions o;
    o.width = std::max(1, width());
    o.height = std::max(1, height());
    o.zoom = zoom_;
    o.pan = {pan_.x(), pan_.y()};
    scene_ = BuildMapScene(map_->Network(), legs_, o);
    update();
}

void MapWidget::PaintPage(QPainter& painter, const QRect& page) const {
    if (!map_ || page.isEmpty()) return;
    // The page holds about a thousand of the screen's pixels across: names and lines keep
    // the size they have in the window relative to the map.
    const double scale = std::max(0.1, page.width() / 1000.0);
    MapSceneOptions o;
    o.width = std::max(1, static_cast<int>(page.width() / scale));
    o.height = std::max(1, static_cast<int>(page.height() / scale));
    const MapScene scene = BuildMapScene(map_->Network(), legs_, o);
    painter.save();
    painter.translate(page.topLeft());
    painter.scale(scale, scale);
    painter.setClipRect(QRectF(0, 0, o.width, o.height));
    PaintMapScene(painter, scene);
    painter.restore();
}

void MapWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!map_) {
        painter.fillRect(rect(), Qt::white);
        painter.drawText(rect(), Qt::AlignCenter,
                         QStringLiteral("此时刻表没有车站坐标，无法显示地图。"));
        return;
    }
    PaintMapScene(painter, scene_);
}

void MapWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceButtons();
    Rebuild();
}

void MapWidget::PlaceButtons() {
    const int size = 26, gap = 4;
    int x = width() - gap - 44;
    fit_->setGeometry(x, gap, 44, size);
    x -= gap + size;
    zoomOut_->setGeometry(x, gap, size, size);
    x -= gap + size;
    zoomIn_->setGeometry(x, gap, size, size);
}

void MapWidget::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !map_) return;
    ZoomAt(std::pow(kStep, notches), event->position());
    event->accept();
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const QPointF now = event->position();
    PanBy(now - dragFrom_);
    dragFrom_ = now;
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    setCursor(Qt::OpenHandCursor);
}

void MapWidget::keyPressEvent(QKeyEvent* event) {
    const QPointF centre(width() / 2.0, height() / 2.0);
    // An arrow moves the view an eighth of the window, the way it points.
    const double dx = width() / 8.0, dy = height() / 8.0;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomAt(kStep, centre);
            break;
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            ZoomAt(1 / kStep, centre);
            break;
        case Qt::Key_Left:
            PanBy({dx, 0});
            break;
        case Qt::Key_Right:
            PanBy({-dx, 0});
            break;
        case Qt::Key_Up:
            PanBy({0, dy});
            break;
        case Qt::Key_Down:
            PanBy({0, -dy});
            break;
        case Qt::Key_Home:
            FitRoute();
            break;
        default:
            return QWidget::keyPressEvent(event);
    }
    event->accept();
}

MapTabs AddMapTabs(QWidget* window, const QString& firstTitle, std::shared_ptr<const MapData> map) {
    MapTabs t;
    if (!map) return t;
    t.tabs = new QTabWidget(window);
    t.tabs->setObjectName(QStringLiteral("Tabs"));
    t.tabs->setDocumentMode(true);
    t.firstPage = new QWidget;
    t.firstPage->setObjectName(QStringLiteral("ListPage"));
    t.map = new MapWidget(std::move(map));
    t.tabs->addTab(t.firstPage, firstTitle);
    t.tabs->addTab(t.map, QStringLiteral("地图"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(t.tabs);
    return t;
}

}  // namespace korvel::ui
