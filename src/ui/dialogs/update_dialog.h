// "更新时刻表": shows the timetable in use and the newest the publisher offers, downloads and
// installs it on a worker thread with a progress bar and a working 取消, then offers to
// switch to it at once. Nothing is downloaded before the user clicks 下载并安装.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "update/updater.h"

class QLabel;
class QObject;
class QProgressBar;
class QPushButton;

namespace korvel::ui {

struct UpdateSetup {
    QString inUse;                  // the timetable in use, as the status bar names it
    update::UpdateOptions options;  // catalogue address, the publisher's key, limits
    std::string storeRoot;          // where timetables are installed
    // Reloads the window on an installed timetable (name, folder), in place.
    std::function<void(const std::string&, const std::string&)> switchTo;
};

// The catalogue address and key the program uses (KORVEL_CATALOGUE_URL may point elsewhere),
// and the user's store.
UpdateSetup DefaultUpdateSetup();

class UpdateDialog : public QDialog {
    Q_OBJECT

  public:
    UpdateDialog(QWidget* parent, UpdateSetup setup);
    // Cancels a running download and waits for the worker.
    ~UpdateDialog() override;

    QPushButton* DownloadButton() const { return download_; }
    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* StatusLabel() const { return status_; }
    QLabel* CatalogueAgeLabel() const { return catalogueAge_; }

  private:
    void Run(std::function<void()> work);
    void ShowCheck(const update::UpdateResult& result);
    void StartDownload();
    void ShowInstalled(const update::UpdateResult& result);

    UpdateSetup setup_;
    QLabel* inUse_;
    QLabel* newest_;
    QLabel* catalogueAge_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* download_;
    QPushButton* cancel_;
    QPushButton* close_;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> shownPercent_{-1};
};

// A failed check or update in the window's words; the engine's English line (with the
// details) goes into the tooltip.
QString UpdateFailureText(update::UpdateFailure failure);

// When online: checks the catalogue on a worker thread and calls `onNewer` on the
// user-interface thread with the text for the status bar when a newer timetable exists.
// Downloads nothing. `context` going away drops the answer.
void CheckForNewerTimetable(QObject* context, std::function<void(const QString&)> onNewer);

}  // namespace korvel::ui
