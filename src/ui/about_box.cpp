#include "ui/about_box.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <exception>
#include <vector>

#include "online/qt/web_browser.h"
#include "online/version_check.h"
#include "online/web_panels.h"
#include "resources/resources.h"

namespace korvel::ui {

namespace {

QFont SongFont(int pixels) {
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(pixels);
    return font;
}

QLabel* Place(QWidget* parent, const QString& text, int x, int y, int pixels = 12) {
    auto* label = new QLabel(text, parent);
    label->setFont(SongFont(pixels));
    label->move(x, y);
    label->adjustSize();
    return label;
}

const QString& PublisherHint() {
    static const QString hint = QString::fromUtf8("点击访问Korvel火车网，旅行资讯专家");
    return hint;
}

}  // namespace

QPixmap LoadLogoPixmap() {
    try {
        std::vector<unsigned char> bytes = ReadBlob("Logo");
        QPixmap pixmap;
        pixmap.loadFromData(bytes.data(), static_cast<uint>(bytes.size()), "BMP");
        return pixmap;
    } catch (const std::exception&) {
        return QPixmap();
    }
}

TFrmAbout::TFrmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QString::fromUtf8("关于"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(361, 212);
    setFont(SongFont(12));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xE3, 0xEF, 0xF3));
    setPalette(palette);
    setAutoFillBackground(true);

    imageLogo_ = new QLabel(this);
    imageLogo_->setObjectName(QStringLiteral("ImageLogo"));
    imageLogo_->move(106, 12);
    imageLogo_->resize(143, 63);
    imageLogo_->setCursor(Qt::PointingHandCursor);
    imageLogo_->setToolTip(PublisherHint());
    imageLogo_->installEventFilter(this);

    labVer_ = Place(this, QString::fromUtf8("版本:") + QString::fromUtf8(ProgramVersion.data(), 10),
                    107, 88, 14);
    labVer_->setObjectName(QStringLiteral("LabVer"));

    QFont linkFont = SongFont(14);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    label2_ = Place(this,
                    QString::fromUtf8(kPublisherHomeUrl.data(),
                                      static_cast<qsizetype>(kPublisherHomeUrl.size())),
                    96, 120);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->setFont(linkFont);
    QPalette linkPalette = label2_->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    label2_->setPalette(linkPalette);
    label2_->adjustSize();
    label2_->setCursor(Qt::PointingHandCursor);
    label2_->setToolTip(PublisherHint());
    label2_->installEventFilter(this);

    Place(this, QString::fromUtf8("荣誉出品："), 84, 164)->setObjectName(QStringLiteral("Label4"));
    Place(this, QString::fromUtf8("Korvel火车网"), 144, 164)
        ->setObjectName(QStringLiteral("Label3"));
    QLabel* source = Place(this, QString::fromUtf8("资料提供：铁路客户服务中心"), 85, 183);
    source->setObjectName(QStringLiteral("Label1"));
    source->hide();

    // Where the data comes from: the program's timetable is not the railway's own.
    auto* note =
        new QLabel(QString::fromUtf8("内置2019年列车时刻表，整理自公开资料；票价为估算值。"), this);
    note->setObjectName(QStringLiteral("LabData"));
    labData_ = note;
    note->setFont(SongFont(12));
    note->setAlignment(Qt::AlignHCenter);
    note->setGeometry(0, 188, 361, 16);
    QPalette notePalette = note->palette();
    notePalette.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    note->setPalette(notePalette);
}

void TFrmAbout::SetTimetableText(const QString& timetable) {
    // The embedded timetable's origin: its source files ship with the source code.
    const bool embedded = timetable.startsWith(QString::fromUtf8("内置"));
    labData_->setText(timetable +
                      QString::fromUtf8(embedded ? "；源数据见源代码的 data/ 目录" : "") +
                      QString::fromUtf8("；票价为估算值。"));
    labData_->setToolTip(timetable);
    labData_->setWordWrap(true);
    labData_->setGeometry(4, 180, 353, 32);
}

void TFrmAbout::Label2Click() {
    OpenWebLink(WebLink::Logo);
}

void TFrmAbout::showEvent(QShowEvent* event) {
    // Centred over the main window.
    if (QWidget* owner = parentWidget()) {
        QPoint centre = owner->mapToGlobal(owner->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

bool TFrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == label2_ || watched == imageLogo_) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        Label2Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void MAboutClick(QWidget* mainWindow, const QPixmap& logo, const QString& timetable) {
    TFrmAbout box(mainWindow);
    if (!timetable.isEmpty()) box.SetTimetableText(timetable);
    box.ImageLogo()->setPixmap(logo);
    if (!logo.isNull()) box.ImageLogo()->resize(logo.size());
    box.LabVer()->setText(QString::fromUtf8("版本:") +
                          QString::fromUtf8(ProgramVersion.data(), 10));
    box.exec();
}

}  // namespace korvel::ui
