// The departure-time box and the five train-class toggles on the result line, beside the four
// filter boxes. They tell the controller what the user chose; the controller refills the grid
// and, on a new query, tells them to show 全天 and every class again.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QTimeEdit>
#include <QToolButton>

#include "ui/main_window.h"
#include "ui/main_window_parts.h"

namespace korvel::ui {

using namespace window;

namespace {

// Items of the departure-time box: 全天, the four presets, then the custom range.
constexpr int kWholeDay = 0;
constexpr int kCustom = 1 + static_cast<int>(kDepartPresets.size());

struct ClassToggleInfo {
    const char* name;
    const char* caption;
    const char* hint;
    TrainClassSet classes;
};

const std::array<ClassToggleInfo, 5>& ClassToggleInfos() {
    static const std::array<ClassToggleInfo, 5> infos = {{
        {"ClassGC", "GC", "高铁/城际 (G、C 字头)",
         ClassBit(TrainClass::G) | ClassBit(TrainClass::C)},
        {"ClassD", "D", "动车 (D 字头)", ClassBit(TrainClass::D)},
        {"ClassZT", "ZT", "直特/特快 (Z、T 字头)",
         ClassBit(TrainClass::Z) | ClassBit(TrainClass::T)},
        {"ClassK", "K", "快速 (K 字头)", ClassBit(TrainClass::K)},
        {"ClassOther", "其他", "其他列车 (普快、普客、临客等)", ClassBit(TrainClass::O)},
    }};
    return infos;
}

QTime TimeOf(int minutes) {
    return QTime(minutes / 60, minutes % 60);
}

int MinutesOf(const QTime& t) {
    return t.hour() * 60 + t.minute();
}

// The 自定义… dialog: from and to, both inclusive; a start after the end runs past midnight.
std::optional<DepartWindow> AskDepartWindowDialog(QWidget* parent, const DepartWindow& current) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("DepartDialog"));
    dialog.setWindowTitle(Q("发车时间"));
    auto* form = new QFormLayout(&dialog);
    auto* from = new QTimeEdit(TimeOf(current.from), &dialog);
    auto* to = new QTimeEdit(TimeOf(current.to), &dialog);
    for (QTimeEdit* e : {from, to}) e->setDisplayFormat(QStringLiteral("HH:mm"));
    from->setObjectName(QStringLiteral("DepartFrom"));
    to->setObjectName(QStringLiteral("DepartTo"));
    form->addRow(Q("从"), from);
    form->addRow(Q("到"), to);
    auto* hint = new QLabel(Q("含首尾时刻；起点晚于终点时跨过午夜。"), &dialog);
    form->addRow(hint);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(Q("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(Q("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return DepartWindow{MinutesOf(from->time()), MinutesOf(to->time())};
}

}  // namespace

void MainWindow::BuildTimeClassFilter(QWidget* p1, int left, int y) {
    departBox_ = new QComboBox(p1);
    departBox_->setObjectName(QStringLiteral("DepartureWindowBox"));
    departBox_->addItem(Q("全天"));
    for (const DepartWindow& w : kDepartPresets) {
        departBox_->addItem(Q("%1-%2点").arg(w.from / 60).arg((w.to + 1) / 60));
    }
    departBox_->addItem(Q("自定义…"));
    departBox_->setToolTip(Q("发车时间"));
    departBox_->setGeometry(left, y - 1, 64, 21);

    int x = departBox_->geometry().right() + 4;
    const QString style = QStringLiteral(
        "QToolButton { background-color: #F4F4F0; color: #909090; border: 1px solid #B8B8B2;"
        " border-radius: 2px; padding: 0px 2px; }"
        "QToolButton:checked { background-color: #FFE08A; color: #000000;"
        " border: 1px solid #9A7A20; }"
        "QToolButton:hover { border: 1px solid #303030; }"
        "QToolButton:focus { border: 1px solid #303030; }");
    for (std::size_t i = 0; i < classToggles_.size(); ++i) {
        const ClassToggleInfo& info = ClassToggleInfos()[i];
        auto* b = new QToolButton(p1);
        b->setObjectName(QString::fromLatin1(info.name));
        b->setText(Q(info.caption));
        b->setToolTip(Q(info.hint));
        b->setCheckable(true);
        b->setChecked(true);
        b->setFocusPolicy(Qt::StrongFocus);
        b->setStyleSheet(style);
        const int width = b->fontMetrics().horizontalAdvance(b->text()) + 6;
        b->setGeometry(x, y, width, 19);
        x += width + 2;
        classToggles_[i] = b;
    }
}

void MainWindow::WireTimeClassFilter() {
    if (!askDepartWindow) {
        askDepartWindow = [this](const DepartWindow& current) {
            return AskDepartWindowDialog(this, current);
        };
    }
    // `activated` and `clicked` are the user's own changes; ShowTimeClassFilter stays silent.
    connect(departBox_, &QComboBox::activated, this, [this](int index) {
        if (index == kCustom) {
            const std::optional<DepartWindow> chosen = askDepartWindow(customDepart_);
            if (!chosen) {
                departBox_->setCurrentIndex(departIndex_);
                return;
            }
            customDepart_ = *chosen;
        }
        departIndex_ = index;
        TimeClassChanged();
    });
    for (QToolButton* b : classToggles_) {
        connect(b, &QToolButton::clicked, this, [this] { TimeClassChanged(); });
    }
}

void MainWindow::TimeClassChanged() {
    TimeClassFilter f;
    const int index = departBox_->currentIndex();
    if (index == kCustom) {
        f.depart = customDepart_;
    } else if (index > kWholeDay) {
        f.depart = kDepartPresets.at(static_cast<std::size_t>(index - 1));
    }
    f.classes = 0;
    for (std::size_t i = 0; i < classToggles_.size(); ++i) {
        if (classToggles_[i]->isChecked()) f.classes |= ClassToggleInfos()[i].classes;
    }
    departBox_->setToolTip(
        index == kCustom ? Q("发车时间 ") + QString::fromLatin1(DepartWindowText(customDepart_))
                         : Q("发车时间"));
    controller_->SetTimeClassFilter(f);
}

void MainWindow::ShowTimeClassFilter(const TimeClassFilter& filter) {
    int index = kWholeDay;
    if (filter.depart) {
        index = kCustom;
        for (std::size_t i = 0; i < kDepartPresets.size(); ++i) {
            if (*filter.depart == kDepartPresets[i]) index = 1 + static_cast<int>(i);
        }
        if (index == kCustom) customDepart_ = *filter.depart;
    }
    departBox_->setCurrentIndex(index);
    departIndex_ = index;
    departBox_->setToolTip(
        index == kCustom ? Q("发车时间 ") + QString::fromLatin1(DepartWindowText(customDepart_))
                         : Q("发车时间"));
    for (std::size_t i = 0; i < classToggles_.size(); ++i) {
        const TrainClassSet bits = ClassToggleInfos()[i].classes;
        classToggles_[i]->setChecked((filter.classes & bits) == bits);
    }
}

}  // namespace korvel::ui
