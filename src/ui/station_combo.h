// An editable station box whose drop-down list opens while the user types and never takes
// the keyboard: the letters keep going into the box, and the list never rewrites them.
#pragma once

#include <QComboBox>
#include <QStringList>
#include <functional>

class QListView;

namespace korvel::ui {

class StationCombo : public QComboBox {
    Q_OBJECT

  public:
    static constexpr int kItemHeight = 14;
    static constexpr int kDropDownRows = 8;

    explicit StationCombo(QWidget* parent = nullptr);
    ~StationCombo() override;

    // Replaces the list items; the edit text and caret stay exactly as they were.
    void SetItems(const QStringList& items);
    // Sets the edit text without running the change handler.
    void SetTextQuietly(const QString& text);
    void SetCaretToEnd();

    // The list opens under the box as a window that never takes the focus.
    void showPopup() override;
    void hidePopup() override;
    bool PopupVisible() const;
    QListView* PopupList() const { return list_; }

    // The user changed the text: typed, deleted, or picked an item.
    std::function<void()> userChanged;
    // Enter in the box; the list (if open) has been closed first, and letters that list
    // at least one station have become the first station listed.
    std::function<void()> enterPressed;

    // Letters in the box (pinyin initials) become the first station their list offers, as
    // if the user had picked it; false, and nothing changes, when the box holds anything
    // else or the letters list no station.
    bool TakeFirstListed();

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void PickRow(int row);
    void MoveHighlight(int delta);
    void NotifyChanged();

    QListView* list_ = nullptr;
};

}  // namespace korvel::ui
