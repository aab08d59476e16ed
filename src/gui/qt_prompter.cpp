#include "gui/qt_prompter.hpp"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include "gui/qt_text.hpp"

namespace dl250t {

QtPrompter::QtPrompter(QWidget* parent) : parent_(parent) {}

void QtPrompter::showMessage(std::string_view text, std::string_view title, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Warning,
                    qText(title), qText(text), QMessageBox::Ok, parent_);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
}

QStringList QtPrompter::nameFilters(const FileRequest& request) {
    QStringList filters;
    for (const FileFilter& filter : request.filters) {
        QString entry = qText(filter.description);
        // Qt takes the patterns from the parentheses of the description.
        const QString pattern = qText(filter.pattern);
        if (!entry.contains(QLatin1Char('(') + pattern + QLatin1Char(')'))) {
            entry += QStringLiteral(" (%1)").arg(pattern);
        }
        filters.push_back(entry);
    }
    return filters;
}

std::optional<std::string> QtPrompter::chooseFile(const FileRequest& request) {
    QFileDialog dialog(parent_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters(nameFilters(request));
    if (request.mode == FileRequest::Mode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // A file that is added to is not replaced: nothing to confirm.
        dialog.setOption(QFileDialog::DontConfirmOverwrite,
                         request.mode == FileRequest::Mode::Append);
        // "line" becomes line.cfg; "line.v2" keeps its extension.
        dialog.setDefaultSuffix(qText(defaultExtension(request)));
    }
    if (!request.initialName.empty()) {
        dialog.selectFile(qText(request.initialName));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::string();
    }
    // Paths are bytes on this system; hand them on as the file system names them.
    return QFile::encodeName(chosen.front()).toStdString();
}

}  // namespace dl250t
