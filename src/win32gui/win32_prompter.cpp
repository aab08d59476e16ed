#include "win32gui/win32_prompter.hpp"

#include <commdlg.h>

#include <vector>

#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

// Room for the longest path Windows takes.
constexpr std::size_t kPathUnits = 32768;

std::wstring wide(std::string_view text) {
    return utf8ToWide(text).value_or(L"");
}

}  // namespace

void Win32Prompter::showMessage(std::string_view text, std::string_view title, MessageIcon icon) {
    const UINT type = MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONWARNING);
    MessageBoxW(owner_, wide(text).c_str(), wide(title).c_str(), type);
}

std::wstring Win32Prompter::filterText(const FileRequest& request) {
    std::wstring filter;
    for (const FileFilter& entry : request.filters) {
        filter += wide(entry.description);
        filter += L'\0';
        filter += wide(entry.pattern);
        filter += L'\0';
    }
    filter += L'\0';
    return filter;
}

std::optional<std::string> Win32Prompter::chooseFile(const FileRequest& request) {
    const std::wstring filter = filterText(request);
    // "line" becomes line.cfg; "line.v2" keeps its extension.
    const std::wstring extension = wide(defaultExtension(request));
    std::vector<wchar_t> path(kPathUnits, L'\0');
    const std::wstring initial = wide(request.initialName);
    if (initial.size() < path.size()) {
        std::copy(initial.begin(), initial.end(), path.begin());
    }
    OPENFILENAMEW chooser = {};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner_;
    chooser.lpstrFilter = filter.c_str();
    chooser.nFilterIndex = 1;
    chooser.lpstrFile = path.data();
    chooser.nMaxFile = static_cast<DWORD>(path.size());
    chooser.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // The program's working folder stays where it was.
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    BOOL chosen = FALSE;
    switch (request.mode) {
        case FileRequest::Mode::Open:
            chooser.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
            chosen = GetOpenFileNameW(&chooser);
            break;
        case FileRequest::Mode::Save:
            chooser.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
            chosen = GetSaveFileNameW(&chooser);
            break;
        case FileRequest::Mode::Append:
            // A file that is added to is not replaced: nothing to confirm.
            chooser.Flags |= OFN_PATHMUSTEXIST;
            chosen = GetSaveFileNameW(&chooser);
            break;
    }
    if (!chosen) {
        return std::nullopt;
    }
    return wideToUtf8(path.data());
}

}  // namespace dl250t
