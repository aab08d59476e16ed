#pragma once

#include <QStringList>

#include "ui/prompter.hpp"

class QWidget;

namespace dl250t {

// Message boxes and the file chooser as Qt dialogs, modal to the window.
// The chooser is Qt's own rather than the desktop's, so that it behaves the
// same everywhere, including on displays without a desktop.
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent);

    // An OK button only, with the error or the warning icon.
    void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

    // Open wants an existing file. Save may name a new one, and asks before it
    // replaces an existing file; Append may name either and asks nothing.
    std::optional<std::string> chooseFile(const FileRequest& request) override;

    // The chooser's type filters in Qt's form, e.g. "配置文件(*.cfg)".
    static QStringList nameFilters(const FileRequest& request);

private:
    QWidget* parent_;
};

}  // namespace dl250t
