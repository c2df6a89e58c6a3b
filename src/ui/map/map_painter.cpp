#include "ui/map/map_painter.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <vector>

#include "qt_text/qt_text.h"
#include "views/map_scene.h"

namespace korvel::ui {
namespace {

// The same colours as the SVG: legs take turns between two, so that a change shows at a
// glance; change stations are ringed in orange.
QColor LegColour(int leg) {
    return leg % 2 == 0 ? QColor(0xc0, 0x39, 0x2b) : QColor(0x1f, 0x5f, 0xbf);
}
const QColor kInk(0x33, 0x33, 0x33);
const QColor kNote(0x55, 0x55, 0x55);
const QColor kChange(0xe6, 0x7e, 0x22);
const QColor kNetwork(0xd2, 0xd2, 0xd2);  // fainter than the SVG's: a screen shows more of it

QFont LabelFont(double pixels, bool bold) {
    InstallFontSubstitutes();
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("宋体")});
    font.setPixelSize(std::max(1, static_cast<int>(pixels + 0.5)));
    font.setBold(bold);
    return font;
}

QPointF At(const MapPoint& p) {
    return {p.x, p.y};
}

void PaintRoute(QPainter& painter, const MapScene& scene) {
    painter.setBrush(Qt::NoBrush);
    for (const MapLine& line : scene.route) {
        QPen pen(LegColour(line.leg), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        if (line.dashed) pen.setDashPattern({8.0 / 3, 5.0 / 3});
        painter.setPen(pen);
        QPolygonF points;
        points.reserve(static_cast<qsizetype>(line.points.size()));
        for (const MapPoint& p : line.points) points << At(p);
        painter.drawPolyline(points);
    }
}

void PaintStops(QPainter& painter, const MapScene& scene) {
    for (const MapStop& stop : scene.stops) {
        const bool major = stop.kind != MapStopKind::Call;
        const double r = major ? 6 : 3.5;
        QPen pen = stop.kind == MapStopKind::Change ? QPen(kChange, 3) : QPen(kInk, 1.5);
        if (stop.estimated) pen.setDashPattern({2.0 / pen.widthF(), 2.0 / pen.widthF()});
        painter.setPen(pen);
        painter.setBrush(stop.estimated ? QColor(Qt::white) : kInk);
        painter.drawEllipse(At(stop.at), r, r);
    }
}

void PaintLabels(QPainter& painter, const MapScene& scene) {
    if (scene.labels.empty()) return;
    const double pixels = scene.labels.front().height;
    const QFont plain = LabelFont(pixels, false), bold = LabelFont(pixels, true);
    for (const MapLabel& label : scene.labels) {
        painter.setFont(label.emphasised ? bold : plain);
        const QRectF box(label.at.x, label.at.y, label.width, label.height);
        // A light halo keeps a name readable where it crosses the network's lines.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(255, 255, 255, 190));
        painter.drawRect(box.adjusted(-1, 0, 1, 0));
        painter.setPen(kInk);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip,
                         QStringFromGbk(label.text));
    }
}

void PaintNotes(QPainter& painter, const MapScene& scene) {
    painter.setPen(kNote);
    if (!scene.unlocated.empty()) {
        QString names;
        for (const std::string& n : scene.unlocated) {
            names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + QStringFromGbk(n);
        }
        painter.setFont(LabelFont(12, false));
        painter.drawText(QRectF(8, 6, scene.width - 16, 18), Qt::AlignLeft | Qt::AlignVCenter,
                         QStringLiteral("地图上未标出（无坐标）：") + names);
    }
    painter.setFont(LabelFont(11, false));
    painter.drawText(QRectF(6, scene.height - 22, scene.width - 12, 18),
                     Qt::AlignRight | Qt::AlignBottom, QString::fromUtf8(MapScene::kAttribution));
}

}  // namespace

void PaintMapBackdrop(QPainter& painter, const MapScene& scene) {
    const std::size_t n = scene.backdropFrom.size();
    if (n == 0) return;
    std::vector<QLineF> lines;
    lines.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        lines.emplace_back(At(scene.backdropFrom[i]), At(scene.backdropTo[i]));
    }
    painter.save();
    // Thousands of one-pixel lines: without smoothing they cost a fraction of a frame, and a
    // faint grey needs none.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(kNetwork, 1));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    painter.restore();
}

void PaintMapScene(QPainter& painter, const MapScene& scene) {
    painter.save();
    painter.fillRect(QRectF(0, 0, scene.width, scene.height), Qt::white);
    PaintMapBackdrop(painter, scene);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    PaintRoute(painter, scene);
    PaintStops(painter, scene);
    PaintLabels(painter, scene);
    PaintNotes(painter, scene);
    painter.restore();
}

}  // namespace korvel::ui
