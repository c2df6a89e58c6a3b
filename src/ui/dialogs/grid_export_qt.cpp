#include "ui/dialogs/grid_export_qt.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <algorithm>

#include "qt_text/qt_text.h"
#include "ui/dialogs/window_fit.h"
#include "views/grid_export.h"

namespace korvel::ui {

QString ExportFileFilter() {
    return QStringLiteral("CSV 文件 (*.csv)");
}

namespace {

QString ShownName(const std::string& path) {
    return QDir::toNativeSeparators(
        QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size()))));
}

}  // namespace

QString ExportFailureText(const ExportFailure& failure) {
    QString why;
    switch (failure.kind) {
        case ExportFailure::Kind::NoFolder:
            why = QStringLiteral("文件夹不存在。");
            break;
        case ExportFailure::Kind::NoPermission:
            why = QStringLiteral("没有写入这个位置的权限，请换一个文件夹。");
            break;
        case ExportFailure::Kind::NotAFile:
            why = QStringLiteral("这个名字不是普通文件（可能是文件夹）。");
            break;
        case ExportFailure::Kind::DiskFull:
            why = QStringLiteral("磁盘空间不足。");
            break;
        case ExportFailure::Kind::Other:
            why = QStringLiteral("文件写入失败。");
            break;
    }
    return QStringLiteral("无法导出到文件“%1”：%2").arg(ShownName(failure.path), why);
}

void ReportExport(QWidget* parent, const std::string& path, int rows,
                  const std::optional<ExportFailure>& failure) {
    if (failure) {
        ShowErrorBox(parent, ExportFailureText(*failure));
        return;
    }
    ShowNoticeBox(parent,
                  QStringLiteral("已导出到文件“%1”，共%2行。").arg(ShownName(path)).arg(rows));
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
    // Qt's own dialog is taller than a small, strongly scaled screen.
    FitToScreen(&dialog, dialog.sizeHint());
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
    const std::optional<ExportFailure> failure = TryWriteExportFile(*path, text);
    ReportExport(parent, *path, std::min(rowCount, grid.RowCount()), failure);
    return !failure;
}

}  // namespace korvel::ui
