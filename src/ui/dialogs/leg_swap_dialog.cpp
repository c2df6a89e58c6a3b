#include "ui/dialogs/leg_swap_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "journey/journey_fares.h"
#include "journey/journey_text.h"
#include "qt_text/gbk_qt.h"
#include "views/row_text.h"

namespace korvel::ui {

namespace {

QString LegLine(const Timetable& tt, const JourneyLeg& l) {
    return QStringFromGbk(tt.Number(l.train)) + QStringLiteral("  ") +
           QStringFromGbk(StationText(tt, l.fromStation)) + QStringLiteral(" ") +
           QString::fromStdString(JourneyClockText(l.depart)) + QString::fromUtf8(" → ") +
           QStringFromGbk(StationText(tt, l.toStation)) + QStringLiteral(" ") +
           QString::fromStdString(JourneyClockText(l.arrive));
}

QString FaresText(const Timetable& tt, const JourneyLeg& l, std::optional<FareClass> fareClass) {
    const std::array<std::string, 4>& names = FareClassNames();
    QString text;
    if (fareClass && l.fare != kNoFare) {
        text += QStringFromGbk(names[static_cast<int>(*fareClass)]) + QStringLiteral(" ") +
                QString::fromStdString(YuanText(l.fare)) + QString::fromUtf8("元  ");
    }
    for (int c = 0; c < 4; ++c) {
        text += QStringLiteral(" ") + QStringFromGbk(names[c]) + QStringLiteral(" ") +
                QStringFromGbk(FareCellText(tt, l.row, c));
    }
    return text;
}

}  // namespace

std::optional<std::size_t> ChooseLegAlternative(QWidget* parent, const Timetable& tt,
                                                const JourneyLeg& current,
                                                const std::vector<JourneyLeg>& alternatives,
                                                std::optional<FareClass> fareClass) {
    const QString title = QString::fromUtf8("换一趟车");
    if (alternatives.empty()) {
        QMessageBox box(QMessageBox::NoIcon, title,
                        LegLine(tt, current) + QString::fromUtf8("\n没有别的车次能接上前后的车。"),
                        QMessageBox::Ok, parent);
        box.setObjectName(QStringLiteral("MessageBox"));
        box.exec();
        return std::nullopt;
    }
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("LegSwapDialog"));
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QString::fromUtf8("现在：") + LegLine(tt, current) +
                                     QStringLiteral("  ") + FaresText(tt, current, fareClass),
                                 &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("AlternativesList"));
    for (const JourneyLeg& l : alternatives) {
        const char* when = l.depart < current.depart ? "早  " : "晚  ";
        list->addItem(QString::fromUtf8(when) + LegLine(tt, l) + QStringLiteral("  ") +
                      FaresText(tt, l, fareClass));
    }
    list->setCurrentRow(0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("换乘这趟"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog.resize(720, 360);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return static_cast<std::size_t>(list->currentRow());
}

}  // namespace korvel::ui
