#include "ui/about_box.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
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

AboutBox::AboutBox(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QString::fromUtf8("关于"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(361, 212);
    setFont(SongFont(12));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(0xE3, 0xEF, 0xF3));
    setPalette(palette);
    setAutoFillBackground(true);

    logoImage_ = new QLabel(this);
    logoImage_->setObjectName(QStringLiteral("LogoImage"));
    logoImage_->move(106, 12);
    logoImage_->resize(143, 63);
    logoImage_->setCursor(Qt::PointingHandCursor);
    logoImage_->setToolTip(PublisherHint());
    logoImage_->installEventFilter(this);

    versionLabel_ =
        Place(this, QString::fromUtf8("版本:") + QString::fromUtf8(ProgramVersion.data(), 10), 107,
              88, 14);
    versionLabel_->setObjectName(QStringLiteral("VersionLabel"));

    QFont linkFont = SongFont(14);
    linkFont.setBold(true);
    linkFont.setUnderline(true);
    addressLink_ = Place(this,
                         QString::fromUtf8(kPublisherHomeUrl.data(),
                                           static_cast<qsizetype>(kPublisherHomeUrl.size())),
                         96, 120);
    addressLink_->setObjectName(QStringLiteral("AddressLink"));
    addressLink_->setFont(linkFont);
    QPalette linkPalette = addressLink_->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    addressLink_->setPalette(linkPalette);
    addressLink_->adjustSize();
    addressLink_->setCursor(Qt::PointingHandCursor);
    addressLink_->setToolTip(PublisherHint());
    addressLink_->installEventFilter(this);

    Place(this, QString::fromUtf8("荣誉出品："), 84, 164)
        ->setObjectName(QStringLiteral("CreditCaption"));
    Place(this, QString::fromUtf8("Korvel火车网"), 144, 164)
        ->setObjectName(QStringLiteral("CreditName"));
    QLabel* source = Place(this, QString::fromUtf8("资料提供：铁路客户服务中心"), 85, 183);
    source->setObjectName(QStringLiteral("SourceNote"));
    source->hide();

    // Where the data comes from: the program's timetable is not the railway's own.
    auto* note =
        new QLabel(QString::fromUtf8("内置2019年列车时刻表，整理自公开资料；票价为估算值。"), this);
    note->setObjectName(QStringLiteral("DataNote"));
    labData_ = note;
    note->setFont(SongFont(12));
    note->setAlignment(Qt::AlignHCenter);
    note->setWordWrap(true);
    QPalette notePalette = note->palette();
    notePalette.setColor(QPalette::WindowText, QColor(0x55, 0x55, 0x55));
    note->setPalette(notePalette);
    FitNote();
}

void AboutBox::SetTimetableText(const QString& timetable) {
    // The embedded timetable's origin: its source files ship with the source code.
    const bool embedded = timetable.startsWith(QString::fromUtf8("内置"));
    labData_->setText(timetable +
                      QString::fromUtf8(embedded ? "；源数据见源代码的 data/ 目录" : "") +
                      QString::fromUtf8("；票价为估算值。"));
    labData_->setToolTip(timetable);
    FitNote();
}

void AboutBox::FitNote() {
    // A long timetable name wraps onto more lines than the box was drawn for: the box grows
    // so that the note's last line ("…值。") shows whole. It keeps a margin from the box's
    // edges as the lines above it do.
    constexpr int kMargin = 12;
    constexpr int kTop = 182;  // under the credit line
    const int noteWidth = 361 - 2 * kMargin;
    const int height = labData_->heightForWidth(noteWidth);
    labData_->setGeometry(kMargin, kTop, noteWidth, height);
    setFixedSize(361, std::max(212, kTop + height + kMargin));
}

void AboutBox::AddressClicked() {
    OpenWebLink(WebLink::Logo);
}

void AboutBox::showEvent(QShowEvent* event) {
    // Centred over the main window.
    if (QWidget* owner = parentWidget()) {
        QPoint centre = owner->mapToGlobal(owner->rect().center());
        move(centre - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(event);
}

bool AboutBox::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == addressLink_ || watched == logoImage_) &&
        event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        AddressClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void AboutClicked(QWidget* mainWindow, const QPixmap& logo, const QString& timetable) {
    AboutBox box(mainWindow);
    if (!timetable.isEmpty()) box.SetTimetableText(timetable);
    box.LogoImage()->setPixmap(logo);
    if (!logo.isNull()) box.LogoImage()->resize(logo.size());
    box.VersionLabel()->setText(QString::fromUtf8("版本:") +
                                QString::fromUtf8(ProgramVersion.data(), 10));
    box.exec();
}

}  // namespace korvel::ui
