#include "ui/dialogs/copy_rows.h"

#include <QAbstractSpinBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QWidget>
#include <algorithm>

#include "qt_text/qt_text.h"

namespace korvel::ui {

namespace {

QString Joined(const QStringList& cells) {
    QStringList clean;
    for (QString cell : cells) {
        cell.replace(QLatin1Char('\t'), QLatin1Char(' '));
        cell.replace(QLatin1Char('\r'), QLatin1Char(' '));
        cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
        clean << cell;
    }
    return clean.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

}  // namespace

QString TabSeparatedRows(const QStringList& titles, const std::vector<QStringList>& rows) {
    QString text = Joined(titles);
    for (const QStringList& row : rows) text += Joined(row);
    return text;
}

QString GridRowsText(const SelectableGrid& grid, const std::vector<std::string>& titles,
                     int rowCount) {
    QStringList header;
    for (const std::string& t : titles) header << QStringFromGbk(t);
    int first = 0;
    int last = std::min(rowCount, grid.RowCount());
    if (const std::optional<int> selected = grid.Selection();
        selected && *selected >= 0 && *selected < last) {
        first = *selected;
        last = *selected + 1;
    }
    std::vector<QStringList> rows;
    for (int r = first; r < last; ++r) {
        QStringList cells;
        for (int c = 0; c < grid.ColumnCount(); ++c) cells << QStringFromGbk(grid.Cell(c, r));
        rows.push_back(cells);
    }
    return TabSeparatedRows(header, rows);
}

QString GridRowsText(const TextGrid& grid, const std::vector<std::string>& titles,
                     const std::vector<int>& rows, int rowCount) {
    QStringList header;
    for (const std::string& t : titles) header << QStringFromGbk(t);
    std::vector<QStringList> lines;
    for (int r : rows) {
        if (r < 0 || r >= std::min(rowCount, grid.RowCount())) continue;
        QStringList cells;
        for (int c = 0; c < grid.ColumnCount(); ++c) cells << QStringFromGbk(grid.Cell(c, r));
        lines.push_back(cells);
    }
    return TabSeparatedRows(header, lines);
}

void AddCopyShortcut(QWidget* widget, std::function<QString()> text) {
    auto* shortcut = new QShortcut(QKeySequence::Copy, widget);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, widget,
                     [text = std::move(text)] { QGuiApplication::clipboard()->setText(text()); });
}

namespace {

// Keeps the keys' shortcut-override from the text boxes it watches: unclaimed, the key goes
// to the window's shortcut.
class WindowKeysFilter : public QObject {
  public:
    WindowKeysFilter(QObject* parent, QKeySequence keys) : QObject(parent), keys_(keys) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ShortcutOverride &&
            QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()) == keys_) {
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QKeySequence keys_;
};

}  // namespace

void KeepWindowKeysFromTextBoxes(QWidget* window, const QKeySequence& keys) {
    auto* filter = new WindowKeysFilter(window, keys);
    // An editable combo box or a spin box hands the override to its line edit itself.
    for (QWidget* box : window->findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(box) || qobject_cast<QComboBox*>(box) ||
            qobject_cast<QAbstractSpinBox*>(box))
            box->installEventFilter(filter);
    }
}

void AddWindowShortcut(QWidget* window, const QKeySequence& keys, std::function<void()> action) {
    auto* shortcut = new QShortcut(keys, window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window, std::move(action));
}

}  // namespace korvel::ui
