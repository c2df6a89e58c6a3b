// A time field (HH:mm) that takes the time as it is typed.
#pragma once

#include <QKeyEvent>
#include <QString>
#include <QTime>
#include <QTimeEdit>
#include <algorithm>

namespace korvel::ui {

// A time field that takes the time as it is typed, wherever the cursor happens to be: the
// digits after entering it (or after any other key) are the hours, then the minutes, as
// read ("1945" is 19:45, "830" and "8:30" are 08:30, "7" is 07:00 so far). The spin box's
// own editing would insert a digit beside the others and refuse the result unless the
// traveller had first selected the hours.
class TimeField : public QTimeEdit {
  public:
    TimeField(const QTime& time, QWidget* parent) : QTimeEdit(time, parent) {
        setDisplayFormat(QStringLiteral("HH:mm"));
    }

  protected:
    void focusInEvent(QFocusEvent* event) override {
        QTimeEdit::focusInEvent(event);
        typed_.clear();
    }
    void keyPressEvent(QKeyEvent* event) override {
        const QString text = event->text();
        const bool digit = text.size() == 1 && text[0].isDigit();
        const bool colon = text == QStringLiteral(":") || text == QStringLiteral("：");
        if (!digit && !colon) {
            typed_.clear();
            QTimeEdit::keyPressEvent(event);
            return;
        }
        if (colon) {
            if (typed_.size() == 1) typed_.prepend(QLatin1Char('0'));
        } else {
            if (typed_.size() >= 4) typed_.clear();
            typed_ += text;
            // An hour that cannot take a second digit is complete: "8" is 08, "25" is 02:5.
            if (typed_.size() == 1 && typed_[0].digitValue() > 2) typed_.prepend(QLatin1Char('0'));
            if (typed_.size() == 2 && typed_.toInt() > 23) typed_.prepend(QLatin1Char('0'));
        }
        const int hour = typed_.left(2).toInt();
        const int minute = std::min(59, typed_.mid(2).toInt());
        setTime(QTime(hour, typed_.size() > 2 ? minute : 0));
        setSelectedSection(typed_.size() < 2 ? QDateTimeEdit::HourSection
                                             : QDateTimeEdit::MinuteSection);
        event->accept();
    }

  private:
    QString typed_;
};

}  // namespace korvel::ui
