// The 地图 tab of the train and journey windows over a small timetable with station places:
// the tab is there, the route is fitted inside the view and stays fitted after zoom and pan
// are undone, the attribution is painted, a journey's change is marked and the map follows
// the journey chosen in the list, and the printed train window ends with the map's page.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "app/map_data.h"
#include "dialogs_test_util.h"
#include "ui/dialogs/journey_dialog.h"
#include "ui/dialogs/train_dialog.h"
#include "ui/map/map_widget.h"

namespace korvel {
namespace {

using test::App;
using test::G;

// Z9 北京西 - 汉口 as the dialog tests have it, and K1 郑州 - 洛阳 - 西安 to change to.
class MapViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        std::vector<test::Stop> stops = test::SampleStops();
        stops.push_back({"K1", G("郑州"), 1, "", "05:00", "0", 0});
        stops.push_back({"K1", G("洛阳"), 2, "07:00", "07:05", "2:0", 124});
        stops.push_back({"K1", G("西安"), 3, "10:00", "", "5:0", 511});
        test::BuildKMTrain(tables.KMTrain, stops);
        // Every station a place on a rough line south from Beijing, but 邯郸 none and 许昌
        // an estimated one; then west to Xi'an.
        StationCoords places;
        const char* south[] = {"北京西", "保定", "石家庄", "邢台",   "邯郸", "安阳",
                               "新乡",   "郑州", "许昌",   "驻马店", "信阳", "汉口"};
        for (int i = 0; i < 12; ++i) {
            if (i == 4) continue;
            places[G(south[i])] = {116.3 - 0.2 * i, 39.9 - 0.73 * i, i == 8};
        }
        places[G("洛阳")] = {112.4, 34.6, false};
        places[G("西安")] = {108.9, 34.3, false};
        map = std::make_shared<const MapData>(std::make_shared<const Timetable>(tables),
                                              std::move(places));
    }

    DetailWindowModel Z9() {
        std::optional<DetailWindowModel> m = DetailWindowModel::Build(
            map->Typed(), test::Section(map->Typed(), "Z9", G("北京西"), 12, 1229, 815));
        EXPECT_TRUE(m.has_value());
        return std::move(*m);
    }

    StoredTables tables;
    std::shared_ptr<const MapData> map;
};

// Whether every stop of the scene lies inside the widget, and how far apart the ends are.
bool AllInside(const ui::MapWidget& w) {
    for (const MapStop& s : w.Scene().stops) {
        if (!QRectF(w.rect()).contains(QPointF(s.at.x, s.at.y))) return false;
    }
    return !w.Scene().stops.empty();
}

double Span(const ui::MapWidget& w) {
    const MapPoint a = w.Scene().stops.front().at, b = w.Scene().stops.back().at;
    return std::hypot(a.x - b.x, a.y - b.y);
}

// Dark pixels in the bottom right corner, where the attribution is written.
int InkInCorner(QWidget& w) {
    const QImage image = w.grab().toImage();
    const double scale = image.width() / static_cast<double>(w.width());
    int ink = 0;
    for (int y = image.height() - static_cast<int>(20 * scale); y < image.height(); ++y) {
        for (int x = image.width() - static_cast<int>(200 * scale); x < image.width(); ++x) {
            ink += qGray(image.pixel(x, y)) < 160;
        }
    }
    return ink;
}

TEST_F(MapViewTest, TrainWindowMapFitsZoomsPansAndNamesItsSource) {
    DetailWindowModel model = Z9();
    ui::TrainDialog window(model, nullptr, map);
    ASSERT_NE(window.Tabs(), nullptr);
    ASSERT_EQ(window.Tabs()->count(), 2);
    EXPECT_EQ(window.Tabs()->tabText(1), QStringLiteral("地图"));
    window.resize(700, 500);
    window.show();
    window.Tabs()->setCurrentIndex(1);
    QApplication::processEvents();
    ui::MapWidget& m = *window.Map();
    ASSERT_TRUE(m.isVisible());

    // Fitted on open: every placed stop inside, 邯郸 listed rather than dropped, 许昌 hollow.
    ASSERT_EQ(m.Scene().stops.size(), 11u);
    EXPECT_TRUE(AllInside(m));
    EXPECT_EQ(m.Scene().unlocated, std::vector<std::string>{G("邯郸")});
    EXPECT_EQ(m.Scene().stops.front().kind, MapStopKind::Origin);
    EXPECT_TRUE(m.Scene().stops[7].estimated);
    EXPECT_GT(InkInCorner(m), 20);
    const double fitted = Span(m);
    const MapPoint first = m.Scene().stops.front().at;

    // + closer by a quarter about the middle; a drag moves the map with the mouse; an arrow
    // key moves the view the way it points (the map the other way); Home fits again.
    m.setFocus();
    QTest::keyClick(&m, Qt::Key_Plus);
    EXPECT_NEAR(Span(m), fitted * 1.25, 1e-6);
    QTest::keyClick(&m, Qt::Key_Minus);
    EXPECT_NEAR(Span(m), fitted, 1e-6);
    const QPoint from(300, 200);
    QTest::mousePress(&m, Qt::LeftButton, {}, from);
    QTest::mouseMove(&m, from + QPoint(40, -30));
    QTest::mouseRelease(&m, Qt::LeftButton, {}, from + QPoint(40, -30));
    EXPECT_NEAR(m.Scene().stops.front().at.x, first.x + 40, 1e-6);
    EXPECT_NEAR(m.Scene().stops.front().at.y, first.y - 30, 1e-6);
    const double x = m.Scene().stops.front().at.x;
    QTest::keyClick(&m, Qt::Key_Right);
    EXPECT_LT(m.Scene().stops.front().at.x, x);
    QTest::keyClick(&m, Qt::Key_Home);
    EXPECT_NEAR(m.Scene().stops.front().at.x, first.x, 1e-6);
    // The wheel zooms about the pointer: the stop under it stays put.
    const QPointF under(m.Scene().stops.back().at.x, m.Scene().stops.back().at.y);
    QWheelEvent wheel(under, m.mapToGlobal(under), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&m, &wheel);
    EXPECT_NEAR(m.Scene().stops.back().at.x, under.x(), 1e-6);
    EXPECT_NEAR(Span(m), fitted * 1.25 * 1.25, 1e-6);
    window.grab().save(test::ShotDir() + "/train_map.png");
}

TEST_F(MapViewTest, JourneyMapMarksTheChangeAndFollowsTheChosenJourney) {
    const Timetable& tt = map->Typed();
    auto leg = [&](const char* train, const char* from, const char* to, int fromSNo, int toSNo) {
        JourneyLeg l;
        l.train = tt.FindTrain(train);
        l.fromStation = tt.FindStation(G(from));
        l.toStation = tt.FindStation(G(to));
        l.row.train = l.train;
        l.row.fromStopNo = fromSNo;
        l.row.toStopNo = toSNo;
        return l;
    };
    Journey direct, changing;
    direct.legs = {leg("Z9", "北京西", "郑州", 1, 8)};
    changing.legs = {leg("Z9", "北京西", "郑州", 1, 8), leg("K1", "郑州", "西安", 1, 3)};
    changing.transfers = 1;
    JourneyWindowModel model(G("北京西"), G("西安"), [&](auto&, auto&, auto&) {
        // The map's own timetable, lent for as long as the test runs.
        const std::shared_ptr<const Timetable> lent(std::shared_ptr<const Timetable>(), &tt);
        return JourneyAnswer{{direct, changing}, false, lent};
    });
    ui::JourneyDialog window(model, nullptr, map);
    ASSERT_NE(window.Tabs(), nullptr);
    window.resize(900, 600);
    window.show();
    window.Tabs()->setCurrentIndex(1);
    QApplication::processEvents();
    ui::MapWidget& m = *window.Map();
    const std::size_t firstStops = m.Scene().stops.size();
    ASSERT_GT(firstStops, 0u);
    EXPECT_TRUE(AllInside(m));

    // Choosing the other journey in the list puts it on the map, fitted, 郑州 a change.
    QTreeWidget* tree = window.Tree();
    int other = -1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        if (tree->topLevelItem(i)->childCount() == 2) other = i;
    }
    ASSERT_GE(other, 0);
    tree->setCurrentItem(tree->topLevelItem(other));
    EXPECT_EQ(m.Scene().stops.size(), firstStops + 2);
    EXPECT_TRUE(AllInside(m));
    const auto change =
        std::find_if(m.Scene().stops.begin(), m.Scene().stops.end(),
                     [](const MapStop& s) { return s.kind == MapStopKind::Change; });
    ASSERT_NE(change, m.Scene().stops.end());
    EXPECT_EQ(change->name, G("郑州"));
    EXPECT_EQ(m.Scene().stops.back().name, G("西安"));
    EXPECT_GT(InkInCorner(m), 20);
    window.grab().save(test::ShotDir() + "/journey_map.png");
}

TEST_F(MapViewTest, PrintedTrainWindowEndsWithTheMap) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdf = dir.filePath(QStringLiteral("z9.pdf"));
    ui::DialogPlatform().defaultPrinter = [&]() -> std::unique_ptr<QPrinter> {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setPageSize(QPageSize(QPageSize::A4));
        printer->setOutputFileName(pdf);
        return printer;
    };
    DetailWindowModel model = Z9();
    ui::TrainDialog window(model, nullptr, map);
    window.PrintClicked();
    ui::DialogPlatform() = {};
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    // The stop list's page, then the map's.
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"));
    EXPECT_EQ(QString::fromLatin1(bytes).count(page), 2);
}

}  // namespace
}  // namespace korvel
