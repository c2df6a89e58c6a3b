// The main window's query boxes: the three station boxes, the train-number box, the six
// query buttons and the 高级 / 关于 buttons with the advanced menu.
#include <QAction>
#include <QCursor>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QValidator>

#include "data/gbk.h"
#include "online/qt/web_panels_qt.h"
#include "ui/about_box.h"
#include "ui/dialogs/copy_rows.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/update_dialog.h"
#include "ui/main_window.h"
#include "ui/main_window_parts.h"
#include "ui/shortcut.h"
#include "ui/station_combo.h"

namespace korvel::ui {

using namespace window;

namespace {

// TrainNumberBox turns every letter typed into upper case.
class UpperCaseValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

// A named widget at its place in the window.
template <class W>
W* Placed(W* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

}  // namespace

void MainWindow::BuildQueryBoxes(QWidget* p1) {
    constexpr int top = kQueryTop;
    constexpr int height = 46;
    const QFont groupFont = SongFont(12);

    auto* zz = Placed(new QGroupBox(Q("站站查询"), p1), "GroupZZ", {14, top, 448, height});
    PlainLabel(zz, Q("发站"), {8, 21});
    departureBox_ = Placed(new StationCombo(zz), "DepartureBox", {34, 17, 96, 22});
    PlainLabel(zz, Q("到站"), {134, 21});
    arrivalBox_ = Placed(new StationCombo(zz), "ArrivalBox", {160, 17, 96, 22});
    // Four buttons share the group's right part; 换乘方案 needs the room of four characters.
    directButton_ = QueryButton(zz, "DirectButton", "查询", {260, 16, 40, 24});
    swapButton_ = QueryButton(zz, "SwapButton", "反向", {303, 16, 40, 24});
    transferButton_ = QueryButton(zz, "TransferButton", "中转", {346, 16, 40, 24});
    journeyButton_ = QueryButton(zz, "JourneyButton", "换乘方案", {389, 16, 54, 24});

    auto* cc = Placed(new QGroupBox(Q("车次查询"), p1), "GroupCC", {468, top, 152, height});
    trainNumberBox_ = Placed(new QLineEdit(cc), "TrainNumberBox", {8, 17, 82, 22});
    trainNumberBox_->setValidator(new UpperCaseValidator(trainNumberBox_));
    trainButton_ = QueryButton(cc, "TrainButton", "查询", {94, 16, 53, 24});

    auto* cz = Placed(new QGroupBox(Q("车站全部车次查询"), p1), "GroupCZ", {626, top, 174, height});
    stationGroup_ = cz;
    stationBox_ = Placed(new StationCombo(cz), "StationBox", {8, 17, 102, 22});
    stationButton_ = QueryButton(cz, "StationButton", "查询", {115, 16, 53, 24});

    for (QGroupBox* g : {zz, cc, cz}) g->setFont(groupFont);

    transferButton_->setToolTip(Q("中转查询：列出可以换车的车站，选一个看两段车次"));
    journeyButton_->setToolTip(Q("换乘方案：在单独的窗口里规划含换乘的完整行程"));

    advancedButton_ = QueryButton(p1, "AdvancedButton", "高级", {826, top + 16, 64, 24});
    aboutButton_ = QueryButton(p1, "AboutButton", "关于", {900, top + 16, 64, 24});

    // The three boxes start with twelve empty items.
    const QStringList twelve(12, QString());
    for (StationCombo* box : {departureBox_, arrivalBox_, stationBox_}) box->SetItems(twelve);
}

void MainWindow::WireQueryBoxes() {
    MainController& c = *controller_;

    connect(directButton_, &QPushButton::clicked, this,
            [&c] { c.StationPairClicked(PairQuery::Direct); });
    connect(transferButton_, &QPushButton::clicked, this,
            [&c] { c.StationPairClicked(PairQuery::Transfer); });
    connect(swapButton_, &QPushButton::clicked, this, [&c] { c.SwapClicked(); });
    connect(journeyButton_, &QPushButton::clicked, this, [&c] { c.JourneyClicked(); });
    connect(trainButton_, &QPushButton::clicked, this, [&c] { c.TrainClicked(); });
    connect(stationButton_, &QPushButton::clicked, this, [&c] { c.StationClicked(); });

    const std::pair<StationCombo*, Control> boxes[3] = {{departureBox_, Control::DepartureBox},
                                                        {arrivalBox_, Control::ArrivalBox},
                                                        {stationBox_, Control::StationBox}};
    for (const auto& [box, control] : boxes) {
        box->userChanged = [&c, control] { c.StationBoxEdited(control); };
    }
    departureBox_->enterPressed = [&c] { c.DepartureBoxKeyPressed('\r'); };
    arrivalBox_->enterPressed = [&c] { c.ArrivalBoxKeyPressed('\r'); };
    stationBox_->enterPressed = [&c] { c.StationBoxKeyPressed('\r'); };
    // The train-number box has no list to pick from: Enter runs its query.
    connect(trainNumberBox_, &QLineEdit::returnPressed, this,
            [&c] { c.TrainNumberKeyPressed('\r'); });
}

void MainWindow::ReportShortcut(bool written, int folder) {
    const QString dir = QString::fromStdString(SpecialFolderPath(folder));
    const QString name = QString::fromUtf8(kShortcutLinkName.data(),
                                           static_cast<qsizetype>(kShortcutLinkName.size()));
    QString text;
    if (written) {
        text = Q("已创建快捷方式：") + dir + QLatin1Char('/') + name + QStringLiteral(".desktop");
    } else if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
        text = Q("没有找到桌面文件夹") + (dir.isEmpty() ? QString() : Q("（") + dir + Q("）")) +
               Q("，快捷方式未能创建。");
    } else {
        text = Q("快捷方式未能创建：无法写入文件夹 ") + dir + Q("。");
    }
    ShowMessage(GbkFromQString(Q("创建快捷方式")), GbkFromQString(text), MsgButtons::Ok,
                written ? MsgIcon::Information : MsgIcon::Warning);
}

void MainWindow::WireMenu() {
    MainController& c = *controller_;

    AdvancedMenuCallbacks menu;
    menu.popup = [&c] { c.ShowAdvancedMenu(); };
    menu.PrintClicked = [&c] { c.PrintClicked(); };
    menu.PreviewClicked = [this, &c] {
        PreviewGrid(this, c.Grid(), GridLayout::Main, c.ShownCount(), c.ResultHeading());
    };
    menu.ExportClicked = [&c] { c.ExportClicked(); };
    menu.DesktopShortcutClicked = [this] {
        ReportShortcut(ui::DesktopShortcutClicked(RunningExecutablePath()), kDesktopFolder);
    };
    menu.StartMenuShortcutClicked = [this] {
        ReportShortcut(ui::StartMenuShortcutClicked(RunningExecutablePath()), kProgramsFolder);
    };
    menu.UpdateClicked = [this] { UpdateClicked(); };
    menu.AboutClicked = [this] {
        ui::AboutClicked(this, logo_pixmap_, QStringFromGbk(controller_->TimetableText()));
    };
    advancedMenu_ = BuildAdvancedMenu(this, menu);
    advancedButton_->setMenu(advancedMenu_);
    // The menu's keys work in the whole window: its actions belong to the window too (and
    // show their keys in the menu). Print and export are enabled whenever rows are shown.
    const std::pair<const char*, QKeySequence> keys[] = {
        {"PrintItem", QKeySequence::Print},
        {"ExportItem", QKeySequence(Qt::CTRL | Qt::Key_E)},
        {"AboutItem", QKeySequence::HelpContents},
    };
    for (const auto& [name, sequence] : keys) {
        if (QAction* a = AdvancedMenuAction(advancedMenu_, QString::fromLatin1(name))) {
            a->setShortcut(sequence);
            a->setShortcutVisibleInContextMenu(true);
            addAction(a);
        }
    }
    KeepWindowKeysFromTextBoxes(this, QKeySequence(Qt::CTRL | Qt::Key_E));
    // Ctrl+F: back to 发站 for the next question, its text ready to be typed over.
    AddWindowShortcut(this, QKeySequence::Find, [this] {
        departureBox_->setFocus(Qt::ShortcutFocusReason);
        departureBox_->lineEdit()->selectAll();
    });
    // The open menu takes the mouse, so the button never hears the pointer leave it and would
    // keep its hover face; once the menu has gone, it looks where the pointer really is.
    connect(advancedMenu_, &QMenu::aboutToHide, this, [this] {
        // The chosen item runs before the button hears that its menu has closed: a dialog
        // it opens (print, export, update) must not find the button still pressed.
        advancedButton_->setDown(false);
        advancedButton_->update();
        QTimer::singleShot(0, advancedButton_, [b = advancedButton_] {
            const bool under = b->rect().contains(b->mapFromGlobal(QCursor::pos()));
            b->setAttribute(Qt::WA_UnderMouse, under);
            b->update();
        });
    });
    connect(aboutButton_, &QPushButton::clicked, this, [this] {
        ui::AboutClicked(this, logo_pixmap_, QStringFromGbk(controller_->TimetableText()));
    });
    connect(updateButton_, &QPushButton::clicked, this, [] { WebPanels::UpdateButtonClicked(); });
}

StationCombo* MainWindow::Combo(Control box) const {
    return qobject_cast<StationCombo*>(ControlWidget(box));
}

void MainWindow::SetComboItems(Control box, const std::vector<std::string>& items) {
    StationCombo* combo = Combo(box);
    if (!combo) return;
    QStringList list;
    list.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items) list.push_back(QStringFromGbk(item));
    combo->SetItems(list);
}

void MainWindow::OpenDropDown(Control box) {
    if (StationCombo* combo = Combo(box)) combo->showPopup();
}

void MainWindow::SetCaretToEnd(Control box) {
    if (StationCombo* combo = Combo(box)) combo->SetCaretToEnd();
}

void MainWindow::UpdateClicked() {
    UpdateSetup setup = DefaultUpdateSetup();
    setup.inUse = QStringFromGbk(controller_->TimetableText());
    setup.switchTo = [this](const std::string& name, const std::string& folder) {
        SwitchTimetable(name, folder);
    };
    UpdateDialog dialog(this, std::move(setup));
    dialog.exec();
}

void MainWindow::SwitchTimetable(const std::string& name, const std::string& folder) {
    StartOptions options;
    options.post = [this](std::function<void()> call) {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    };
    options.timetableFolder = folder;
    options.timetableName = name;
    controller_->ReloadTimetable(std::move(options));
    SetStatusText(kTimetableNotePanel, Utf8ToGbk("已切换到时刻表 " + name));
}

}  // namespace korvel::ui
