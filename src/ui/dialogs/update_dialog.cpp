#include "ui/dialogs/update_dialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <ctime>

#include "update/publisher_key.h"
#include "update/store.h"

namespace korvel::ui {
namespace {

using namespace korvel::update;

QString U(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// When the newest catalogue seen was published, in local time, and how long ago: a traveller
// who sees "9 天前" knows that what the program offers may not be the publisher's latest.
QString CatalogueAgeText(std::time_t published) {
    if (published == 0) return QStringLiteral("尚未获取");
    const CatalogueAge age = AgeOf(published, std::time(nullptr));
    const QString when =
        QDateTime::fromSecsSinceEpoch(published).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    if (age.count == 0) return QStringLiteral("%1（刚刚）").arg(when);
    const QString unit = age.unit == CatalogueAge::Unit::Days    ? QStringLiteral("天")
                         : age.unit == CatalogueAge::Unit::Hours ? QStringLiteral("小时")
                                                                 : QStringLiteral("分钟");
    return QStringLiteral("%1（%2 %3前）").arg(when, QString::number(age.count), unit);
}

QString Describe(const CatalogueEntry& e) {
    return QStringLiteral("%1（%2起实行，%3 KB）")
        .arg(U(e.name), U(e.validFrom), QString::number((e.size + 1023) / 1024));
}

}  // namespace

QString UpdateFailureText(UpdateFailure failure) {
    switch (failure) {
        case UpdateFailure::BadAddress:
            return QStringLiteral("更新地址无效（只接受 https 地址）。");
        case UpdateFailure::Network:
            return QStringLiteral("无法连接更新服务器，请检查网络连接后再试。");
        case UpdateFailure::Cancelled:
            return QStringLiteral("已取消。");
        case UpdateFailure::CatalogueSignature:
            return QStringLiteral("时刻表目录的签名不是发布者的，目录未被采用。");
        case UpdateFailure::CatalogueDamaged:
            return QStringLiteral("时刻表目录已损坏，无法读取。");
        case UpdateFailure::CatalogueExpired:
            return QStringLiteral("时刻表目录已过期，发布者尚未更新，请以后再试。");
        case UpdateFailure::CatalogueReplayed:
            return QStringLiteral(
                "收到的时刻表目录比以前见过的旧，可能是被重放的旧目录，未被采用。");
        case UpdateFailure::NoTimetable:
            return QStringLiteral("时刻表目录中没有时刻表。");
        case UpdateFailure::Rollback:
            return QStringLiteral("目录中最新的时刻表比以前安装过的旧，未被采用。");
        case UpdateFailure::Busy:
            return QStringLiteral("另一个更新正在进行，请稍后再试。");
        case UpdateFailure::PackageDownload:
            return QStringLiteral("时刻表下载失败，请检查网络连接后再试。");
        case UpdateFailure::PackageSize:
            return QStringLiteral("下载的时刻表不完整（大小与目录不符）。");
        case UpdateFailure::PackageHash:
            return QStringLiteral("下载的时刻表已损坏（校验值与目录不符）。");
        case UpdateFailure::PackageSignature:
            return QStringLiteral("下载的时刻表签名不是发布者的，未被安装。");
        case UpdateFailure::PackageDamaged:
            return QStringLiteral("下载的时刻表无法解开或与目录不符。");
        case UpdateFailure::Storage:
            return QStringLiteral("无法保存下载的时刻表（磁盘已满或没有写入权限）。");
        case UpdateFailure::Install:
            return QStringLiteral("时刻表安装失败。");
        case UpdateFailure::None:
            break;
    }
    return QStringLiteral("失败。");
}

UpdateSetup DefaultUpdateSetup() {
    UpdateSetup setup;
    setup.options.catalogueUrl = DefaultCatalogueUrl();
    std::string error;
    if (auto key = ParsePublicKey(EmbeddedPublisherKey(), error)) setup.options.publicKey = *key;
    setup.storeRoot = DefaultStoreRoot();
    return setup;
}

UpdateDialog::UpdateDialog(QWidget* parent, UpdateSetup setup)
    : QDialog(parent), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("UpdateDialog"));
    setWindowTitle(QStringLiteral("更新时刻表"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("正在使用：")), 0, 0);
    inUse_ = new QLabel(setup_.inUse);
    grid->addWidget(inUse_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("最新可用：")), 1, 0);
    newest_ = new QLabel(QStringLiteral("正在查询…"));
    newest_->setObjectName(QStringLiteral("UpdateNewest"));
    grid->addWidget(newest_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("目录发布：")), 2, 0);
    catalogueAge_ = new QLabel(CatalogueAgeText(Store(setup_.storeRoot).NewestCatalogueTime()));
    catalogueAge_->setObjectName(QStringLiteral("UpdateCatalogueAge"));
    grid->addWidget(catalogueAge_, 2, 1);
    progress_ = new QProgressBar;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    status_ = new QLabel;
    status_->setObjectName(QStringLiteral("UpdateStatus"));
    status_->setWordWrap(true);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Room for three lines with their descenders from the start, so that a long failure
    // neither clips nor makes the dialog jump.
    status_->setMinimumHeight(3 * status_->fontMetrics().lineSpacing() +
                              status_->fontMetrics().descent());
    download_ = new QPushButton(QStringLiteral("下载并安装"));
    download_->setEnabled(false);
    cancel_ = new QPushButton(QStringLiteral("取消"));
    cancel_->setEnabled(false);
    close_ = new QPushButton(QStringLiteral("关闭"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(download_);
    buttons->addWidget(cancel_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    // The dialog grows with a message longer than three lines rather than cutting it.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    layout->addLayout(grid);
    layout->addWidget(progress_);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    connect(download_, &QPushButton::clicked, this, [this] { StartDownload(); });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        cancelled_ = true;
        cancel_->setEnabled(false);
        status_->setText(QStringLiteral("正在取消…"));
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    setup_.options.keepGoing = [this] { return !cancelled_.load(); };

    Run([this] {
        const Store store(setup_.storeRoot);
        const auto fetcher = MakeCurlFetcher();
        const UpdateResult r = CheckForUpdate(store, *fetcher, setup_.options);
        QMetaObject::invokeMethod(
            this, [this, r] { ShowCheck(r); }, Qt::QueuedConnection);
    });
}

UpdateDialog::~UpdateDialog() {
    cancelled_ = true;
    if (worker_.joinable()) worker_.join();
}

void UpdateDialog::Run(std::function<void()> work) {
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread(std::move(work));
}

void UpdateDialog::ShowCheck(const UpdateResult& r) {
    if (r.cataloguePublished != 0) catalogueAge_->setText(CatalogueAgeText(r.cataloguePublished));
    switch (r.outcome) {
        case UpdateOutcome::Available:
            newest_->setText(Describe(*r.package));
            download_->setEnabled(true);
            break;
        case UpdateOutcome::AlreadyNewest:
            newest_->setText(Describe(*r.package) + QStringLiteral("，已安装"));
            break;
        default:
            newest_->setText(QStringLiteral("无法获取"));
            status_->setText(QStringLiteral("查询失败：") + UpdateFailureText(r.failure));
            status_->setToolTip(U(r.message));
            break;
    }
}

void UpdateDialog::StartDownload() {
    download_->setEnabled(false);
    cancel_->setEnabled(true);
    cancelled_ = false;
    shownPercent_ = -1;
    progress_->setValue(0);
    status_->setText(QStringLiteral("正在下载…"));
    Run([this] {
        const Store store(setup_.storeRoot);
        const auto fetcher = MakeCurlFetcher();
        const UpdateResult r = RunUpdate(
            store, *fetcher, setup_.options, [this](std::uint64_t got, std::uint64_t total) {
                const int percent = total ? static_cast<int>(got * 100 / total) : 0;
                if (percent != shownPercent_.exchange(percent)) {
                    QMetaObject::invokeMethod(
                        this, [this, percent] { progress_->setValue(percent); },
                        Qt::QueuedConnection);
                }
                return !cancelled_.load();
            });
        QMetaObject::invokeMethod(
            this, [this, r] { ShowInstalled(r); }, Qt::QueuedConnection);
    });
}

void UpdateDialog::ShowInstalled(const UpdateResult& r) {
    cancel_->setEnabled(false);
    if (r.outcome != UpdateOutcome::Installed) {
        const bool cancelled = cancelled_.load();
        status_->setText(cancelled || r.failure == UpdateFailure::Cancelled
                             ? QStringLiteral("已取消，正在使用的时刻表未变。")
                             : QStringLiteral("更新失败，正在使用的时刻表未变：") +
                                   UpdateFailureText(r.failure));
        status_->setToolTip(U(r.message));
        // Nothing was installed: the bar must not say it is all done.
        progress_->setValue(0);
        download_->setEnabled(r.outcome == UpdateOutcome::Failed && r.package.has_value());
        return;
    }
    progress_->setValue(100);
    const QString name = U(r.package->name);
    status_->setText(QStringLiteral("时刻表 %1 已安装并校验。").arg(name));
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        QStringLiteral("时刻表 %1 已安装，下次启动时使用。\n现在就切换到它吗？").arg(name),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes && setup_.switchTo) {
        setup_.switchTo(r.package->name, Store(setup_.storeRoot).FolderOf(r.package->name));
        accept();
    }
}

void CheckForNewerTimetable(QObject* context, std::function<void(const QString&)> onNewer) {
    QPointer<QObject> guard(context);
    UpdateSetup setup = DefaultUpdateSetup();
    QThread* thread = QThread::create([setup, guard, onNewer] {
        const Store store(setup.storeRoot);
        const auto fetcher = MakeCurlFetcher();
        const UpdateResult r = CheckForUpdate(store, *fetcher, setup.options);
        if (r.outcome != UpdateOutcome::Available) return;
        const QString text =
            QStringLiteral("有新时刻表 %1，可在“高级→更新时刻表…”下载").arg(U(r.package->name));
        QMetaObject::invokeMethod(
            qApp,
            [guard, onNewer, text] {
                if (guard) onNewer(text);
            },
            Qt::QueuedConnection);
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

}  // namespace korvel::ui
