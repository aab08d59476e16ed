#pragma once

#include <windows.h>

#include <string>

#include "ui/prompter.hpp"

namespace dl250t {

// Message boxes and the file chooser of Windows, modal to the window.
class Win32Prompter final : public Prompter {
public:
    explicit Win32Prompter(HWND owner = nullptr) : owner_(owner) {}
    void setOwner(HWND owner) { owner_ = owner; }

    // An OK button only, with the error or the warning icon.
    void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

    // Open wants an existing file. Save may name a new one, and asks before it
    // replaces an existing file; Append may name either and asks nothing.
    std::optional<std::string> chooseFile(const FileRequest& request) override;

    // The chooser's filter as Windows takes it: description and pattern of
    // each entry, each ended by a zero, and a zero after the last entry.
    static std::wstring filterText(const FileRequest& request);

private:
    HWND owner_;
};

}  // namespace dl250t
