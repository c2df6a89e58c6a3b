// The window names the timetable in use in its status bar, and a damaged timetable folder's
// file in the failure panel.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/main_window_test_util.h"

namespace korvel {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<ui::MainWindow> WindowOnFolder(const fs::path& dir) {
    auto w = test::NewWindow();
    StartOptions options;
    options.timetableFolder = dir.string();
    w->Start(options);
    w->Controller().WaitForLoaders();
    for (int i = 0; i < 50; ++i) QApplication::processEvents();
    return w;
}

TEST(MainWindowTimetableTest, StatusBarNamesTheFolderOrTheDamagedFile) {
    const fs::path sample = KORVEL_SAMPLE_STREAMS;
    if (!fs::exists(sample / "SLIST.stream")) GTEST_SKIP() << "no sample timetable";
    auto w = WindowOnFolder(sample);
    // The whole text is the tooltip; the panel shows its ends when it is too long.
    const QString text = w->StatusPanel(4)->toolTip();
    // The builder writes a manifest beside the streams, so the folder is checked against it.
    EXPECT_TRUE(text.startsWith(QString::fromUtf8("时刻表目录 ") +
                                QString::fromStdString(sample.string()) +
                                QString::fromUtf8("（已按清单核对）: ")))
        << text.toStdString();
    EXPECT_TRUE(w->StatusPanel(4)->text().startsWith(QString::fromUtf8("时刻表目录")));
    EXPECT_TRUE(w->StatusPanel(4)->text().endsWith(QString::fromUtf8("车站")));
    EXPECT_EQ(w->StatusPanel(1)->text(), QStringLiteral("Korvel时刻在手，出差旅行无忧！"));
    w->grab().save(test::ShotDir() + QStringLiteral("/main_window_timetable_folder.png"));

    // Per process: the ×2 run of these tests goes at the same time as this one.
    const fs::path damaged = fs::path(::testing::TempDir()) /
                             ("korvel_ui_damaged_timetable_" + std::to_string(::getpid()));
    fs::remove_all(damaged);
    fs::create_directories(damaged);
    for (const char* f : {"SLIST.stream", "STRAIN.stream", "SM.stream"}) {
        fs::copy_file(sample / f, damaged / f);
    }
    auto broken = WindowOnFolder(damaged);
    // The panel shows what it has room for; its tooltip holds the whole message.
    EXPECT_TRUE(broken->StatusPanel(1)->text().startsWith(QStringLiteral("时刻表加载失败")));
    EXPECT_TRUE(broken->StatusPanel(1)->toolTip().contains(
        QString::fromStdString((damaged / "SPY.stream").string())))
        << broken->StatusPanel(1)->toolTip().toStdString();
    EXPECT_TRUE(broken->StatusPanel(4)->text().isEmpty());
    EXPECT_FALSE(broken->IsEnabled(Control::DepartureBox));
    fs::remove_all(damaged);
}

}  // namespace
}  // namespace korvel
