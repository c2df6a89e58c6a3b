#include "ui/dialogs/grid_export_qt.h"

#include <QFile>
#include <QFileDialog>

#include "qt_text/qt_text.h"
#include "views/grid_export.h"

namespace korvel::ui {

QString ExportFileFilter() {
    return QStringLiteral("Excel文件(*.csv)");
}

namespace {

std::optional<QString> RunSaveDialog(QWidget* parent) {
    if (DialogPlatform().saveFileName) return DialogPlatform().saveFileName(parent);
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(ExportFileFilter());
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return files.front();
}

}  // namespace

std::optional<std::string> AskExportPath(QWidget* parent) {
    std::optional<QString> name = RunSaveDialog(parent);
    if (!name) return std::nullopt;
    const QString trimmed = name->trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    const QByteArray path = QFile::encodeName(trimmed);
    return std::string(path.constData(), static_cast<std::size_t>(path.size()));
}

bool ExportGridInteractive(QWidget* parent, const TextGrid& grid, GridLayout layout, int rowCount,
                           const std::string& heading) {
    // The lines are built before the dialog opens, from the grid as it is now.
    const std::string text = ExportFileText(BuildExportLines(grid, layout, rowCount, heading));
    std::optional<std::string> path = AskExportPath(parent);
    if (!path) return false;
    if (std::optional<std::string> error = WriteExportFile(*path, text)) {
        ShowErrorBox(parent,
                     QString::fromLocal8Bit(error->data(), static_cast<qsizetype>(error->size())));
        return false;
    }
    return true;
}

}  // namespace korvel::ui
