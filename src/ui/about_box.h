// The about box AboutBox: the main window's logo, the version, the publisher's address and
// a note on where the timetable and fares come from.
#pragma once

#include <QDialog>
#include <QPixmap>

class QLabel;

namespace korvel::ui {

// The LOGO blob as a picture (143 x 63), or a null pixmap when it cannot be read.
QPixmap LoadLogoPixmap();

class AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit AboutBox(QWidget* owner = nullptr);

    QLabel* LogoImage() const { return logoImage_; }
    QLabel* VersionLabel() const { return versionLabel_; }
    QLabel* AddressLink() const { return addressLink_; }

    // Says which timetable is in use and what it holds (in place of the built-in note,
    // on up to two lines), followed by the note on fares.
    void SetTimetableText(const QString& timetable);

    // The home-page address and the logo open the publisher's page.
    static void AddressClicked();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Places the data note under the credits, wrapped, with a margin all round.
    void FitNote();
    QLabel* logoImage_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    QLabel* addressLink_ = nullptr;
    QLabel* labData_ = nullptr;
};

// AboutClicked (also AboutButton): a fresh about box owned by `mainWindow`, showing the main
// window's `logo` and the version, shown modally and destroyed when it closes.
// `timetable`, when given, says which timetable is in use (SetTimetableText).
void AboutClicked(QWidget* mainWindow, const QPixmap& logo, const QString& timetable = {});

}  // namespace korvel::ui
