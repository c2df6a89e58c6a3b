// The window's side of updates: the 更新时刻表 dialog against a server on 127.0.0.1 (check,
// download with progress, switch in place, 取消), and the status bar naming the installed
// timetable afterwards.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "support/main_window_test_util.h"
#include "ui/dialogs/update_dialog.h"
#include "update_fixture.h"

namespace korvel::update_test {
namespace {

using test::PumpUntil;

class UpdateWindowTest : public UpdateFixture {
  public:
    ui::UpdateSetup Setup(ui::MainWindow& window) {
        ui::UpdateSetup setup;
        setup.inUse = ui::QStringFromGbk(window.Controller().TimetableText());
        setup.options = Options();
        setup.storeRoot = Root();
        setup.switchTo = [&window](const std::string& name, const std::string& folder) {
            window.SwitchTimetable(name, folder);
        };
        return setup;
    }
};

TEST_F(UpdateWindowTest, DownloadsInstallsAndSwitchesInPlace) {
    Publish("tt-1", 1);
    auto w = test::LoadedWindow();
    test::ModalAnswerer yes(QMessageBox::Yes);
    ui::UpdateDialog dialog(w.get(), Setup(*w));
    dialog.show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.DownloadButton()->isEnabled(); }));
    // The catalogue just fetched was published moments ago.
    EXPECT_TRUE(dialog.CatalogueAgeLabel()->text().endsWith(QStringLiteral("（刚刚）")))
        << dialog.CatalogueAgeLabel()->text().toStdString();
    dialog.grab().save(test::ShotDir() + QStringLiteral("/update_dialog.png"));
    dialog.DownloadButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return !yes.Seen().empty(); }));
    EXPECT_TRUE(yes.Seen()[0].text.contains(QStringLiteral("现在就切换")));
    EXPECT_EQ(dialog.Progress()->value(), 100);
    // Reloaded in place: the status bar names the installed timetable once it has loaded.
    ASSERT_TRUE(PumpUntil([&] {
        return w->StatusPanel(kTimetableStatusPanel)
            ->toolTip()
            .startsWith(QStringLiteral("已安装时刻表 tt-1"));
    }));
    EXPECT_TRUE(w->IsEnabled(Control::DirectButton));
    EXPECT_EQ(w->Controller().Tables().KMList.RecordCount(), 20u);  // the sample's trains
    w->grab().save(test::ShotDir() + QStringLiteral("/main_window_installed_timetable.png"));
}

TEST_F(UpdateWindowTest, CancelStopsTheDownloadAndKeepsTheTimetable) {
    Publish("tt-1", 1);
    ASSERT_EQ(Update().outcome, UpdateOutcome::Installed);
    server_.Set("/tt-2.korvel-tt", {Behaviour::StallMidBody, Publish("tt-2", 2)});
    auto w = test::LoadedWindow();
    ui::UpdateSetup setup = Setup(*w);
    setup.options.limits.stallTimeout = std::chrono::milliseconds(20000);
    ui::UpdateDialog dialog(w.get(), setup);
    dialog.show();
    ASSERT_TRUE(PumpUntil([&] { return dialog.DownloadButton()->isEnabled(); }));
    dialog.DownloadButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return dialog.Progress()->value() > 0; }));
    EXPECT_TRUE(dialog.CancelButton()->isEnabled());
    dialog.CancelButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return dialog.StatusLabel()->text().startsWith("已取消"); }, 5000));
    EXPECT_EQ(TheStore().ReadChoice().use, "tt-1");
    EXPECT_TRUE(WorkFiles().empty());
}

// A failure is told in Chinese (the engine's English line, with its details, in the tooltip),
// and the bar does not stay full after a failed install.
TEST_F(UpdateWindowTest, FailuresAreToldInChineseAndEmptyTheBar) {
    std::string bytes = Publish("tt-1", 1);
    bytes[bytes.size() / 2] ^= 1;
    server_.Set("/tt-1.korvel-tt", {Behaviour::Serve, bytes});
    test::App();
    ui::UpdateSetup setup;  // no main window to switch: nothing gets installed
    setup.inUse = QStringLiteral("内置2019年时刻表");
    setup.options = Options();
    setup.storeRoot = Root();
    {
        ui::UpdateDialog dialog(nullptr, setup);
        dialog.show();
        ASSERT_TRUE(PumpUntil([&] { return dialog.DownloadButton()->isEnabled(); }));
        dialog.DownloadButton()->click();
        ASSERT_TRUE(PumpUntil([&] { return dialog.StatusLabel()->text().startsWith("更新失败"); }));
        EXPECT_TRUE(dialog.StatusLabel()->text().contains(QStringLiteral("校验值")))
            << dialog.StatusLabel()->text().toStdString();
        EXPECT_TRUE(dialog.StatusLabel()->toolTip().contains(QStringLiteral("SHA-256")));
        EXPECT_EQ(dialog.Progress()->value(), 0);
        dialog.grab().save(test::ShotDir() + QStringLiteral("/update_dialog_failed.png"));
    }
    server_.Set("/catalogue.json", {Behaviour::Status, "", 500});
    ui::UpdateDialog dialog(nullptr, setup);
    dialog.show();
    ASSERT_TRUE(PumpUntil([&] { return !dialog.StatusLabel()->text().isEmpty(); }));
    EXPECT_EQ(dialog.StatusLabel()->text(),
              QStringLiteral("查询失败：无法连接更新服务器，请检查网络连接后再试。"));
    EXPECT_FALSE(dialog.StatusLabel()->text().contains(QStringLiteral("catalogue")));
}

TEST_F(UpdateWindowTest, StartUpCheckNamesANewerTimetableWithTheBuiltInKey) {
    // Signed with the committed test key pair, whose public half the program has built in.
    std::string secret, error;
    ASSERT_TRUE(ReadWholeFile(KORVEL_SOURCE_DIR "/packaging/timetable-publisher-test.key", secret));
    const auto key = ParseSecretKey(secret, error);
    ASSERT_TRUE(key) << error;
    keys_.secretKey = *key;
    Publish("tt-1", 1);
    ::setenv("KORVEL_CATALOGUE_URL", server_.Url("/catalogue.json").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ + "/xdg").c_str(), 1);
    test::App();
    QObject context;
    QString said;
    ui::CheckForNewerTimetable(&context, [&](const QString& text) { said = text; });
    EXPECT_TRUE(PumpUntil([&] { return !said.isEmpty(); }, 10000));
    EXPECT_TRUE(said.startsWith(QStringLiteral("有新时刻表 tt-1"))) << said.toStdString();
    EXPECT_FALSE(fs::exists(dir_ + "/xdg/korvel/timetables/tt-1"));  // nothing downloaded
    ::unsetenv("KORVEL_CATALOGUE_URL");
    ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace korvel::update_test
