// The application as the program sets it up: window captions exactly as the windows set them
// (read back from the X server, where the platform would have appended a display name), Qt's
// own texts in Chinese, and the web engine's start-up report kept off standard error.
#include "ui/app_setup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <cstdlib>

#include "dialogs_test_util.h"
#include "qt_text/qt_text.h"
#include "ui/dialogs/advanced_menu.h"
#include "ui/dialogs/train_dialog.h"
#include "ui/dialogs/transfer_stations_dialog.h"
#include "ui/main_window.h"
#include "views/detail_window.h"
#include "views/transfer_window.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace korvel {
namespace {

using test::G;
using ui::QStringFromGbk;

QApplication& App() {
    static QApplication* app = [] {
        // The captions are only formatted by a real window system; offscreen elsewhere.
        if (!std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("KORVEL_TEXT_BROWSER", "1", 1);
        ui::PrepareChineseLocale();
        ui::QuietWebEngineStartup();
        static int argc = 1;
        static char name[] = "korvel";
        static char* argv[] = {name, nullptr};
        auto* a = new QApplication(argc, argv);
        ui::SetUpApplication(*a);
        return a;
    }();
    return *app;
}

bool OnX11() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

// The caption the X server holds for a window (what the desktop shows), read with xprop.
QString XCaption(QWidget* w) {
    QApplication::processEvents();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(w->winId()), QStringLiteral("_NET_WM_NAME")});
    if (!p.waitForFinished(10000)) return QStringLiteral("<xprop failed>");
    const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const int quote = out.indexOf('"');
    if (quote < 0 || !out.endsWith('"')) return QStringLiteral("<no caption: %1>").arg(out);
    return out.mid(quote + 1, out.size() - quote - 2);
}

// Runs `inside` on the modal window that `open` shows, then closes it.
void WithModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside) {
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        inside(modal);
        modal->close();
    });
    open();
}

TEST(WindowCaptions, ReadExactlyAsTheWindowsSetThem) {
    App();
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Korvel时刻"));
    // No display name is set: the name of the application is what it reports.
    QApplication::setApplicationName(QStringLiteral("probe"));
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QStringLiteral("probe"));
    QApplication::setApplicationName(QStringLiteral("Korvel时刻"));
    if (!OnX11()) GTEST_SKIP() << "captions are read from an X server (run under xvfb-run)";

    ui::MainWindow window;
    window.show();
    EXPECT_EQ(XCaption(&window),
              QStringLiteral("Korvel时刻表，准确及时的列车时刻表提供者，免费预订打折机票、"
                             "特价酒店，使您出行无忧！"));

    QString printBox, errorBox;
    WithModal(
        [&] {
            window.ShowMessage(G(" 打印提示"), G("确实要打印吗？"), MsgButtons::YesNoCancel,
                               MsgIcon::Question);
        },
        [&](QWidget* box) { printBox = XCaption(box); });
    EXPECT_EQ(printBox, QStringLiteral(" 打印提示"));
    WithModal([&] { ui::ShowErrorBox(&window, QStringLiteral("Cannot create file \"x\". y")); },
              [&](QWidget* box) { errorBox = XCaption(box); });
    EXPECT_EQ(errorBox, QStringLiteral("Korvel时刻"));

    MemTable stops;
    test::BuildKMTrain(stops, test::SampleStops());
    const Timetable tt = test::TypedStops(stops);
    std::optional<DetailWindowModel> detail =
        DetailWindowModel::Build(tt, test::Section(tt, "Z9", G("北京西"), 1));
    ASSERT_TRUE(detail);
    ui::TrainDialog detailWindow(*detail, &window);
    detailWindow.show();
    EXPECT_EQ(XCaption(&detailWindow), QStringLiteral("车次:Z9"));

    TransferWindowModel transfer;
    transfer.AddRow({G("郑州"), "689", "540", "1229", "07:12", "05:30", "12:42", "2", "4"});
    transfer.FinishFill();
    ui::TransferStationsDialog transferWindow(transfer, &window);
    transferWindow.show();
    const QString caption = XCaption(&transferWindow);
    EXPECT_EQ(caption, QStringFromGbk(transfer.Caption()));
    EXPECT_TRUE(caption.startsWith(QStringLiteral("两地共有"))) << caption.toStdString();
    EXPECT_FALSE(caption.contains(QStringLiteral("—")));
}

// The result grid's right-click menu offers the print preview, as the stop list's does.
TEST(MainWindowMenu, RightClickMenuOffersThePrintPreview) {
    App();
    ui::MainWindow window;
    QAction* preview = ui::AdvancedMenuAction(window.AdvancedMenu(), QStringLiteral("PreviewItem"));
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->text(), QStringLiteral("打印预览"));
    emit window.AdvancedMenu()->aboutToShow();
    EXPECT_FALSE(preview->isEnabled());  // nothing to preview before a query
}

TEST(QtTranslations, QtsOwnButtonsAndDialogsSpeakChinese) {
    App();
    QMessageBox box(QMessageBox::Question, QStringLiteral(" 打印提示"),
                    QStringLiteral("确实要打印吗？"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.show();  // the buttons take their texts from the platform theme when shown
    EXPECT_TRUE(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("是")))
        << box.button(QMessageBox::Yes)->text().toStdString();
    EXPECT_TRUE(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("否")));
    EXPECT_TRUE(box.button(QMessageBox::Cancel)->text().startsWith(QStringLiteral("取消")));
    box.close();

    QFileDialog save;
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(save.windowTitle(), QStringLiteral("另存为"));
}

// Dates and numbers in Chinese everywhere, the file dialogs' 修改日期 column included (it
// follows the system locale, not the widgets' default).
TEST(QtTranslations, DatesInQtsOwnDialogsAreChinese) {
    App();
    if (!qEnvironmentVariableIsEmpty("LC_ALL")) GTEST_SKIP() << "LC_ALL fixes the locale here";
    EXPECT_EQ(QLocale().language(), QLocale::Chinese);
    EXPECT_EQ(QLocale::system().toString(QDate(2026, 12, 9), QLocale::ShortFormat),
              QStringLiteral("2026/12/9"));
    QFileSystemModel model;
    const QModelIndex root = model.setRootPath(QStringLiteral(KORVEL_SOURCE_DIR));
    QString modified;
    for (int i = 0; i < 250 && modified.isEmpty(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        const QModelIndex readme = model.index(QStringLiteral(KORVEL_SOURCE_DIR "/README.md"));
        modified = model.data(readme.siblingAtColumn(3)).toString();
    }
    EXPECT_TRUE(root.isValid());
    EXPECT_TRUE(modified.contains(QLatin1Char('/'))) << modified.toStdString();
    for (const char* month :
         {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"}) {
        EXPECT_FALSE(modified.contains(QLatin1String(month))) << modified.toStdString();
    }
}

// The 类型 column of the file dialogs: Qt's own catalogue leaves "Folder" in English.
TEST(QtTranslations, FileTypesInQtsOwnDialogsAreChinese) {
    App();
    QFileSystemModel model;
    model.setRootPath(QStringLiteral(KORVEL_SOURCE_DIR));
    QString type;
    for (int i = 0; i < 250 && type.isEmpty(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        const QModelIndex src = model.index(QStringLiteral(KORVEL_SOURCE_DIR "/src"));
        type = model.data(src.siblingAtColumn(2)).toString();
    }
    EXPECT_EQ(type, QStringLiteral("文件夹"));
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Drive"),
              QStringLiteral("驱动器"));
    // Everything else still comes from Qt's own catalogue.
    EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Desk"),
              QStringLiteral("Desk"));
}

TEST(QuietStart, OnlyTheWebEngineReportIsSilenced) {
    App();
    QLoggingCategory report("qt.webenginecontext");
    EXPECT_FALSE(report.isDebugEnabled());
    EXPECT_FALSE(report.isInfoEnabled());
    EXPECT_FALSE(report.isWarningEnabled());
    QLoggingCategory other("qt.webenginecontext.other");
    EXPECT_TRUE(other.isWarningEnabled());
    QLoggingCategory engine("qt.webengine");
    EXPECT_TRUE(engine.isWarningEnabled());
    EXPECT_TRUE(QLoggingCategory::defaultCategory()->isWarningEnabled());
}

}  // namespace
}  // namespace korvel
