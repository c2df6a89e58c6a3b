#include "ui/station_combo.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>

namespace korvel::ui {

namespace {

class FixedHeightDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        s.setHeight(StationCombo::kItemHeight);
        return s;
    }
};

}  // namespace

StationCombo::StationCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // The list must never finish or replace what the user types, nor collect typed texts.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
    setMaxVisibleItems(kDropDownRows);

    list_ = new QListView(this);
    // A separate top-level window that is never activated and never takes the focus, so the
    // keyboard stays in the box while the list is open.
    list_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    list_->setAttribute(Qt::WA_ShowWithoutActivating);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->viewport()->setFocusPolicy(Qt::NoFocus);
    list_->verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    list_->setItemDelegate(new FixedHeightDelegate(list_));
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setModel(model());
    list_->viewport()->installEventFilter(this);
    list_->hide();

    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { NotifyChanged(); });
    // Keyboard or wheel steps through the items while the list is closed.
    connect(this, qOverload<int>(&QComboBox::activated), this, [this] { NotifyChanged(); });
}

StationCombo::~StationCombo() {
    qApp->removeEventFilter(this);
}

void StationCombo::SetItems(const QStringList& items) {
    QLineEdit* edit = lineEdit();
    const QString text = edit->text();
    const int caret = edit->cursorPosition();
    {
        const QSignalBlocker blockCombo(this);
        const QSignalBlocker blockEdit(edit);
        clear();
        addItems(items);
        setCurrentIndex(-1);
        edit->setText(text);
        edit->setCursorPosition(caret);
    }
    if (PopupVisible()) showPopup();  // resize to the new items
}

void StationCombo::SetTextQuietly(const QString& text) {
    QLineEdit* edit = lineEdit();
    if (edit->text() == text) return;
    const QSignalBlocker blockCombo(this);
    const QSignalBlocker blockEdit(edit);
    edit->setText(text);
}

void StationCombo::SetCaretToEnd() {
    lineEdit()->end(false);
}

bool StationCombo::PopupVisible() const {
    return list_->isVisible();
}

void StationCombo::showPopup() {
    const int rows = std::clamp(count(), 1, kDropDownRows);
    const int frame = 2 * list_->frameWidth();
    int width = this->width();
    if (count() > kDropDownRows) width = std::max(width, this->width());
    list_->setFont(font());
    list_->resize(width, rows * kItemHeight + frame);
    list_->move(mapToGlobal(QPoint(0, height())));
    list_->clearSelection();
    list_->setCurrentIndex(QModelIndex());
    list_->scrollToTop();
    if (!list_->isVisible()) {
        list_->show();
        // A click anywhere else closes the list.
        qApp->installEventFilter(this);
    }
}

void StationCombo::hidePopup() {
    if (!list_->isVisible()) return;
    list_->hide();
    qApp->removeEventFilter(this);
}

void StationCombo::NotifyChanged() {
    if (userChanged) userChanged();
}

void StationCombo::PickRow(int row) {
    if (row < 0 || row >= count()) return;
    hidePopup();
    SetTextQuietly(itemText(row));
    NotifyChanged();
}

namespace {

bool AllAsciiLetters(const QString& text) {
    if (text.isEmpty()) return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
    });
}

}  // namespace

bool StationCombo::TakeFirstListed() {
    if (!AllAsciiLetters(currentText().trimmed())) return false;
    // The list may be older than the text (the boxes were swapped, or the text was set by
    // the program): the change handler lists the stations for the letters as they are now.
    NotifyChanged();
    hidePopup();
    if (!AllAsciiLetters(currentText()) || count() == 0 || itemText(0).isEmpty()) return false;
    SetTextQuietly(itemText(0));
    NotifyChanged();
    return true;
}

bool StationCombo::event(QEvent* event) {
    // Tab leaves the box before any key handler sees it: the letters are taken first, then
    // the focus moves on as usual.
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            TakeFirstListed();
            hidePopup();
        }
    }
    return QComboBox::event(event);
}

void StationCombo::MoveHighlight(int delta) {
    if (count() == 0) return;
    int row = list_->currentIndex().isValid() ? list_->currentIndex().row() + delta
                                              : (delta > 0 ? 0 : count() - 1);
    row = std::clamp(row, 0, count() - 1);
    const QModelIndex index = model()->index(row, 0);
    list_->setCurrentIndex(index);
    list_->scrollTo(index);
    // Stepping through the open list puts the item into the box, as a pick does.
    SetTextQuietly(itemText(row));
    NotifyChanged();
    // The change handler may have replaced the list (an empty item empties the box).
    if (row < count()) {
        list_->setCurrentIndex(model()->index(row, 0));
    }
}

void StationCombo::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            TakeFirstListed();
            hidePopup();
            if (enterPressed) enterPressed();
            event->accept();
            return;
        case Qt::Key_Escape:
            if (PopupVisible()) {
                hidePopup();
                event->accept();
                return;
            }
            break;
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (PopupVisible()) {
                MoveHighlight(event->key() == Qt::Key_Down ? 1 : -1);
                event->accept();
                return;
            }
            if (event->modifiers() & Qt::AltModifier) {
                showPopup();
                event->accept();
                return;
            }
            break;
        case Qt::Key_F4:
            PopupVisible() ? hidePopup() : showPopup();
            event->accept();
            return;
        default:
            break;
    }
    QComboBox::keyPressEvent(event);
}

void StationCombo::focusOutEvent(QFocusEvent* event) {
    hidePopup();
    QComboBox::focusOutEvent(event);
}

bool StationCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = list_->indexAt(mouse->position().toPoint());
        if (index.isValid()) PickRow(index.row());
        return true;
    }
    if (PopupVisible() && event->type() == QEvent::MouseButtonPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        const bool inList = w && (w == list_ || list_->isAncestorOf(w));
        const bool inBox = w && (w == this || isAncestorOf(w));
        if (!inList && !inBox) hidePopup();
    }
    if (PopupVisible() && watched == window() &&
        (event->type() == QEvent::Move || event->type() == QEvent::WindowDeactivate ||
         event->type() == QEvent::Hide)) {
        hidePopup();
    }
    return QComboBox::eventFilter(watched, event);
}

}  // namespace korvel::ui
