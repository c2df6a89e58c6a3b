// The main window's keyboard path (Enter on the query buttons, in the train-number box and on
// the grid), the departure-time and class filters on the result line, and the small faults of
// its face: the 高级 button after its menu, sorted narrow headers, message-box captions, the
// scroll position after a sort or filter and the scroll bar's thumb.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <set>

#include "support/main_window_test_util.h"
#include "ui/dialogs/advanced_menu.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/result_table.h"
#include "ui/station_combo.h"

namespace korvel {
namespace {

using test::G;
using test::U;

QPushButton* Button(ui::MainWindow& w, Control c) {
    return qobject_cast<QPushButton*>(w.ControlWidget(c));
}

void QueryDirect(ui::MainWindow& w, const char* from, const char* to) {
    w.SetText(Control::DepartureBox, G(from));
    w.SetText(Control::ArrivalBox, G(to));
    Button(w, Control::DirectButton)->click();
}

// Closes each modal dialog (detail, transfer, custom time) as it comes up; keeps the titles.
struct DialogCloser {
    DialogCloser() {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!d || !d->isVisible()) return;
            titles.push_back(d->windowTitle());
            d->reject();
        });
        timer.start();
    }
    QTimer timer;
    QStringList titles;
};

// Gives `x` the keyboard focus, its window activated first.
bool Focus(QWidget* x) {
    x->window()->activateWindow();
    x->setFocus(Qt::OtherFocusReason);
    return test::PumpUntil([x] { return x->hasFocus(); }, 2000);
}

// --- Enter --------------------------------------------------------------------------------

TEST(MainWindowKeysTest, EnterAndKeypadEnterClickTheFocusedQueryButton) {
    auto w = test::LoadedWindow();
    test::ModalAnswerer answerer;  // empty boxes: each query reports the missing input
    for (Control c : {Control::DirectButton, Control::SwapButton, Control::TransferButton,
                      Control::TrainButton, Control::StationButton}) {
        QPushButton* b = Button(*w, c);
        QSignalSpy clicks(b, &QPushButton::clicked);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            ASSERT_TRUE(Focus(b)) << b->objectName().toStdString();
            QTest::keyClick(b, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        }
        EXPECT_EQ(clicks.count(), 2) << b->objectName().toStdString();
    }
    EXPECT_EQ(answerer.Seen().size(), 10u);
}

TEST(MainWindowKeysTest, EnterInTheTrainBoxAndOnASelectedGridRow) {
    auto w = test::LoadedWindow();
    auto* ecc = w->ControlWidget(Control::TrainNumberBox);
    ecc->setFocus();
    QTest::keyClicks(ecc, QStringLiteral("t109"));
    QTest::keyClick(ecc, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(w->Controller().ShownCount(), 1);

    ui::ResultTableView* grid = w->Grid();
    grid->setFocus();
    DialogCloser closer;
    QTest::keyClick(grid, Qt::Key_Return);  // no row selected yet: nothing opens
    QApplication::processEvents();
    EXPECT_TRUE(closer.titles.isEmpty());
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_EQ(closer.titles.size(), 1);
    EXPECT_TRUE(closer.titles[0].contains(QStringLiteral("T109")))
        << closer.titles[0].toStdString();
}

// --- the window's face --------------------------------------------------------------------

TEST(MainWindowFaceTest, AdvancedButtonLosesItsHoverFaceWhenItsMenuCloses) {
    auto w = test::LoadedWindow();
    QPushButton* b = Button(*w, Control::AdvancedButton);
    QCursor::setPos(w->mapToGlobal(QPoint(5, w->height() - 5)));  // far from the button
    b->setAttribute(Qt::WA_UnderMouse, true);                     // as the pointer left it
    QTimer::singleShot(50, [&] { w->AdvancedMenu()->hide(); });
    b->showMenu();
    test::PumpUntil([&] { return !b->testAttribute(Qt::WA_UnderMouse); }, 2000);
    EXPECT_FALSE(b->testAttribute(Qt::WA_UnderMouse));
    EXPECT_FALSE(b->isDown());
}

// An item of the 高级 menu that opens a dialog (here the print question) finds the button
// no longer pressed: the menu has closed.
TEST(MainWindowFaceTest, AdvancedButtonIsNotPressedUnderTheDialogItsItemOpens) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    QPushButton* b = Button(*w, Control::AdvancedButton);
    bool asked = false;
    bool downUnderBox = true;
    QTimer::singleShot(50, [&] {
        QAction* print = ui::AdvancedMenuAction(w->AdvancedMenu(), QStringLiteral("PrintItem"));
        w->AdvancedMenu()->hide();  // as the menu does before it runs the chosen item
        QTimer::singleShot(20, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                asked = true;
                downUnderBox = b->isDown();
                box->reject();
            }
        });
        print->trigger();
    });
    b->showMenu();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(downUnderBox);
}

// Ctrl+P, Ctrl+E, Ctrl+F and F1 work in the whole window; print and export only with rows.
TEST(MainWindowKeysTest, PrintExportFindAndHelpKeys) {
    auto w = test::LoadedWindow();
    ASSERT_TRUE(Focus(w->ControlWidget(Control::TrainNumberBox)));
    {
        test::ModalAnswerer answerer;
        QTest::keySequence(w.get(), QKeySequence::Print);  // nothing shown: nothing asked
        EXPECT_TRUE(answerer.Seen().empty());
    }
    QueryDirect(*w, "北京", "上海");
    ASSERT_TRUE(Focus(w->ControlWidget(Control::TrainNumberBox)));
    {
        test::ModalAnswerer answerer(QMessageBox::No);
        QTest::keySequence(w.get(), QKeySequence::Print);
        ASSERT_EQ(answerer.Seen().size(), 1u);
        EXPECT_EQ(answerer.Seen()[0].text, QStringLiteral("确实要打印吗？"));
    }
    // Ctrl+E while typing in a station box: the export, not the box's end-of-line key.
    ASSERT_TRUE(Focus(w->Combo(Control::ArrivalBox)->lineEdit()));
    int asked = 0;
    ui::DialogPlatform().saveFileName = [&asked](QWidget*) -> std::optional<QString> {
        ++asked;
        return std::nullopt;
    };
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(Qt::CTRL | Qt::Key_E));
    ui::DialogPlatform() = {};
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(Focus(w->ControlWidget(Control::TrainNumberBox)));  // back from the question
    QTest::keySequence(w.get(), QKeySequence::Find);
    EXPECT_EQ(QApplication::focusWidget(), w->ControlWidget(Control::DepartureBox));
    EXPECT_EQ(w->Combo(Control::DepartureBox)->lineEdit()->selectedText(), QStringLiteral("北京"));
    DialogCloser closer;
    QTest::keyClick(w.get(), Qt::Key_F1);
    EXPECT_EQ(closer.titles, QStringList({QStringLiteral("关于")}));
    for (QPushButton* b : {Button(*w, Control::TransferButton), Button(*w, Control::JourneyButton),
                           Button(*w, Control::UpdateButton)})
        EXPECT_FALSE(b->toolTip().isEmpty()) << b->text().toStdString();
}

TEST(MainWindowFaceTest, SortedHeaderCaptionsFitTheirColumns) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    ASSERT_GT(w->Controller().ShownCount(), 1);
    for (int c = 0; c < ResultGrid::kColumns; ++c) {
        ui::ClickLabel* l = w->HeaderLabel(c);
        for (int click = 0; click < 2; ++click) {  // ↑ then ↓
            QTest::mouseClick(l, Qt::LeftButton);
            ASSERT_TRUE(l->font().bold()) << c;
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width() - 2)
                << l->text().toStdString();
        }
    }
    // The marker moved on: the last column's neighbour is plain and full-size again.
    EXPECT_FALSE(w->HeaderLabel(13)->font().bold());
    EXPECT_EQ(w->HeaderLabel(8)->font().pixelSize(), w->font().pixelSize());
}

TEST(MainWindowFaceTest, MessageBoxesAreWideEnoughForTheirCaptions) {
    auto w = test::LoadedWindow();
    std::vector<std::pair<QString, int>> seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen.emplace_back(box->windowTitle(), box->width());
        EXPECT_GE(box->width(), ui::CaptionWidth(box->windowTitle(), box->font()));
        box->buttons().value(0)->click();
    });
    poll.start();
    Button(*w, Control::TrainButton)->click();  // 信息不完整
    w->SetText(Control::StationBox, G("火星"));
    Button(*w, Control::StationButton)->click();  // 输入错误
    poll.stop();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].first, QStringLiteral("输入错误"));
}

TEST(MainWindowFaceTest, SortFilterAndNewQueryShowTheTopOfTheGrid) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    ui::ResultTableView* grid = w->Grid();
    ASSERT_GT(w->Controller().ShownCount(), 2 * grid->VisibleRows());
    auto scrollDown = [&] {
        QApplication::processEvents();
        QScrollBar* bar = grid->verticalScrollBar();
        ASSERT_GT(bar->maximum(), 0);
        bar->setValue(bar->maximum());
        QApplication::processEvents();
        ASSERT_EQ(w->Controller().Grid().TopRow(), bar->maximum());
    };
    auto expectTop = [&](const char* after) {
        QApplication::processEvents();
        EXPECT_EQ(w->Controller().Grid().TopRow(), 0) << after;
        EXPECT_EQ(grid->verticalScrollBar()->value(), 0) << after;
    };
    scrollDown();
    QTest::mouseClick(w->HeaderLabel(9), Qt::LeftButton);
    expectTop("sort");
    scrollDown();
    QTest::mouseClick(w->ControlWidget(Control::EmuOnlyFilter), Qt::LeftButton);
    expectTop("filter box");
    scrollDown();
    w->ClassToggle(0)->click();
    expectTop("class toggle");
    scrollDown();
    QueryDirect(*w, "北京", "上海");
    expectTop("new query");

    // The thumb stands apart from its groove and from the grid behind it.
    const QPalette bar = grid->verticalScrollBar()->palette();
    const int thumb = bar.color(QPalette::Button).lightness();
    EXPECT_GT(bar.color(QPalette::Window).lightness() - thumb, 60);
    EXPECT_GT(ui::ResultGridModel::GridBackground().lightness() - thumb, 60);
}

// --- departure-time and class filters -----------------------------------------------------

TEST(MainWindowFilterTest, TimeAndClassFitTheResultLineWithoutMovingAnything) {
    auto w = test::LoadedWindow();
    EXPECT_EQ(w->size(), QSize(985, 681));
    const QWidget* dc = w->ControlWidget(Control::EmuOnlyFilter);
    EXPECT_EQ(dc->geometry().topLeft(), QPoint(416, 401));
    auto* newVersionLabel = qobject_cast<QLabel*>(w->ControlWidget(Control::NewVersionLabel));
    // The longest text the version label shows, right-aligned in its box.
    const int textLeft = newVersionLabel->geometry().right() -
                         newVersionLabel->fontMetrics().horizontalAdvance(
                             QStringLiteral("发现新版本:2011.12.01，请及时升级。"));

    std::vector<QWidget*> row = {w->DepartBox()};
    for (int i = 0; i < 5; ++i) row.push_back(w->ClassToggle(i));
    int left = dc->geometry().right();
    for (QWidget* x : row) {
        EXPECT_GT(x->x(), left) << x->objectName().toStdString();
        EXPECT_GE(x->y(), dc->y() - 2);
        EXPECT_LE(x->geometry().bottom(), dc->geometry().bottom() + 2);
        left = x->geometry().right();
    }
    EXPECT_LT(left, textLeft);
    EXPECT_EQ(w->DepartBox()->currentText(), QStringLiteral("全天"));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(w->ClassToggle(i)->isChecked());
}

TEST(MainWindowFilterTest, TheWidgetsSetTheFiltersAndANewQueryResetsThem) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int all = w->Controller().ShownCount();
    QComboBox* box = w->DepartBox();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    ASSERT_EQ(box->currentText(), QStringLiteral("6-12点"));
    QTest::mouseClick(w->ClassToggle(2), Qt::LeftButton);  // 直特/特快 off
    QTest::mouseClick(w->HeaderLabel(8), Qt::LeftButton);  // 停站, the narrow one
    TimeClassFilter expected;
    expected.depart = kDepartPresets[1];
    expected.classes = kAllTrainClasses & ~(ClassBit(TrainClass::Z) | ClassBit(TrainClass::T));
    EXPECT_EQ(w->Controller().TimeClass(), expected);
    const int shown = w->Controller().ShownCount();
    EXPECT_TRUE(shown > 0 && shown < all);
    EXPECT_EQ(w->Text(Control::ResultLabel), ResultLabelText(shown));

    // 自定义… asks for the window; a cancelled choice keeps the one before.
    w->askDepartWindow = [](const DepartWindow&) { return DepartWindow{19 * 60, 19 * 60 + 33}; };
    QTest::keyClick(box, Qt::Key_End);
    EXPECT_EQ(w->Controller().TimeClass().depart, (DepartWindow{19 * 60, 19 * 60 + 33}));
    EXPECT_TRUE(box->toolTip().contains(QStringLiteral("19:00-19:33")));
    w->askDepartWindow = [](const DepartWindow&) { return std::nullopt; };
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_End);
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_FALSE(w->Controller().TimeClass().depart);

    QueryDirect(*w, "北京", "上海");
    EXPECT_EQ(w->Controller().ShownCount(), all);
    EXPECT_EQ(box->currentIndex(), 0);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(w->ClassToggle(i)->isChecked());
}

// --- high-density screens (run again with QT_SCALE_FACTOR=2) --------------------------------

int Colours(const QImage& image) {
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    }
    return static_cast<int>(colours.size());
}

TEST(MainWindowHighDensityTest, BitmapsScaleSmoothlyAndTheLayoutKeepsItsSize) {
    const QPixmap b1 = test::LoadedWindow()->ToolbarImages().at(0);
    ASSERT_EQ(b1.size(), QSize(74, 31));
    EXPECT_EQ(ui::ForScreen(b1, 1.0).cacheKey(), b1.cacheKey());
    const QPixmap dense = ui::ForScreen(b1, 1.5);
    EXPECT_EQ(dense.size(), QSize(111, 47));
    EXPECT_EQ(dense.deviceIndependentSize().toSize(), QSize(74, 31));
    EXPECT_GT(Colours(dense.toImage()), Colours(b1.toImage()));  // blended, not repeated

    auto w = test::LoadedWindow();
    const qreal dpr = w->devicePixelRatioF();
    EXPECT_EQ(dpr, qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                       ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                       : 1.0);
    EXPECT_EQ(w->size(), QSize(985, 681));
    EXPECT_EQ(w->grab().size(), QSize(985, 681) * dpr);
    auto* logo = w->findChild<QLabel*>(QStringLiteral("LogoImage"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->size(), QSize(143, 63));
    EXPECT_EQ(logo->pixmap().devicePixelRatio(), dpr);
    const QPixmap icon = w->ToolButton(1)->icon().pixmap(QSize(74, 31), dpr);
    EXPECT_EQ(icon.size(), QSize(74, 31) * dpr);
    if (dpr > 1) {
        EXPECT_GT(Colours(icon.toImage()), Colours(b1.toImage()));
    }
}

// Ctrl+C on the grid: the titles and the chosen row (every shown row without a choice) as
// tab-separated lines, ready for a spreadsheet.
TEST(MainWindowCopyTest, CtrlCCopiesTheRowsWithTheirTitles) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int shown = w->Controller().ShownCount();
    ASSERT_GT(shown, 2);
    w->Grid()->setFocus();
    QTest::keyClick(w->Grid(), Qt::Key_C, Qt::ControlModifier);
    QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), shown + 2);  // titles, rows, nothing after the last line break
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("车次\t始发\t终到\t车型\t发站")));
    EXPECT_EQ(lines[0].count(QLatin1Char('\t')), 14);

    ASSERT_TRUE(w->Controller().SelectGridRow(0, 2));
    QTest::keyClick(w->Grid(), Qt::Key_C, Qt::ControlModifier);
    lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    const QStringList cells = lines[1].split(QLatin1Char('\t'));
    ASSERT_EQ(cells.size(), 15);
    for (int c = 0; c < 15; ++c) EXPECT_EQ(cells[c], U(w->Controller().Grid().Cell(c, 2))) << c;
    EXPECT_EQ(ui::TabSeparatedRows({QStringLiteral("a")}, {{QStringLiteral("x\ty\nz")}}),
              QStringLiteral("a\nx y z\n"));
}

// Several rows: Ctrl-click adds one, Shift-click a range, Ctrl+A all; Ctrl+C copies what is
// chosen, in the grid's order; a plain click or a new order goes back to one row.
TEST(MainWindowCopyTest, ShiftCtrlClicksAndCtrlAChooseSeveralRowsToCopy) {
    auto w = test::LoadedWindow();
    QueryDirect(*w, "北京", "上海");
    const int shown = w->Controller().ShownCount();
    ASSERT_GT(shown, 6);
    ui::ResultTableView* grid = w->Grid();
    auto click = [&](int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods,
                          grid->visualRect(w->GridModel()->index(row, 1)).center());
    };
    auto copiedTrains = [&] {
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QStringList trains;
        const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'));
        for (int i = 1; i + 1 < lines.size(); ++i)
            trains << lines[i].section(QLatin1Char('\t'), 0, 0);
        return trains;
    };
    auto train = [&](int row) { return U(w->Controller().Grid().Cell(0, row)); };
    auto drawn = [&](int row) {
        return w->GridModel()
            ->data(w->GridModel()->index(row, 0), ui::ResultGridModel::SelectedRole)
            .toBool();
    };
    click(1);
    click(4, Qt::ControlModifier);
    EXPECT_EQ(copiedTrains(), QStringList({train(1), train(4)}));
    EXPECT_TRUE(drawn(1) && drawn(4) && !drawn(2));
    click(1, Qt::ControlModifier);  // a second Ctrl-click takes it out again
    EXPECT_EQ(copiedTrains(), QStringList({train(4)}));
    click(2);
    click(5, Qt::ShiftModifier);
    EXPECT_EQ(copiedTrains(), QStringList({train(2), train(3), train(4), train(5)}));
    QTest::keyClick(grid, Qt::Key_Down, Qt::ShiftModifier);  // the range grows from its start
    EXPECT_EQ(copiedTrains().size(), 5);
    EXPECT_EQ(w->Controller().Grid().Selection(), 6);  // Enter opens the row last reached
    QTest::keyClick(grid, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(copiedTrains().size(), shown);
    click(3);
    EXPECT_EQ(copiedTrains(), QStringList({train(3)}));
    click(5, Qt::ShiftModifier);
    w->HeaderLabel(0)->clicked();  // sorted anew: the rows chosen before are gone
    EXPECT_FALSE(w->GridModel()->HasChosenRows());
}

// 创建快捷方式 says what it did: where the shortcut went, or that there is no desktop folder.
TEST(MainWindowShortcutTest, TheDesktopShortcutTellsWhereItWentOrWhyNot) {
    QTemporaryDir home;
    const QByteArray savedHome = qgetenv("HOME");
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedDesktop = qgetenv("XDG_DESKTOP_DIR");
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    qunsetenv("XDG_DESKTOP_DIR");
    auto w = test::LoadedWindow();
    QAction* desktop =
        ui::AdvancedMenuAction(w->AdvancedMenu(), QStringLiteral("DesktopShortcutItem"));
    ASSERT_NE(desktop, nullptr);
    std::vector<test::SeenBox> seen;
    {
        test::ModalAnswerer answerer;
        desktop->trigger();
        QDir(home.path()).mkdir(QStringLiteral("Desktop"));
        desktop->trigger();
        seen = answerer.Seen();
    }
    qputenv("HOME", savedHome);
    savedConfig.isEmpty() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", savedConfig);
    if (!savedDesktop.isEmpty()) qputenv("XDG_DESKTOP_DIR", savedDesktop);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].text.contains(QStringLiteral("没有找到桌面文件夹")))
        << seen[0].text.toStdString();
    EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
    const QString entry = home.path() + QStringLiteral("/Desktop/Korvel时刻.desktop");
    EXPECT_TRUE(seen[1].text.endsWith(entry)) << seen[1].text.toStdString();
    EXPECT_TRUE(QFileInfo::exists(entry));
}

}  // namespace
}  // namespace korvel
