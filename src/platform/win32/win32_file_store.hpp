#pragma once

#include <optional>
#include <string>

#include "config/file_store.hpp"

namespace dl250t {

// Files through the Win32 W calls, by UTF-8 paths made wide. Names in the
// device namespace (NUL, CON, COM1, \\.\pipe\..., a drive or volume) and
// names of a file's hidden streams (a.cfg:x) are refused before anything is
// opened, so that no device is touched, no pipe is waited for and nothing is
// written where no one will find it; what does open must be a disk file and
// no folder. Replacing writes a temporary file with a short name of its own
// in the target's folder, flushes it to disk and moves it over the target
// with write-through; the temporary is registered with SignalCleanup while it
// exists, and a read-only target is refused as one the user may not write.
class Win32FileStore final : public FileStore {
public:
    FileStart readStart(const std::string& path, std::size_t maxBytes) override;
    std::unique_ptr<FileReplacement> beginReplacing(const std::string& path) override;
};

// The path that the file calls are given for a UTF-8 path: the full path in
// its long form (\\?\C:\..., \\?\UNC\server\share\...), so that no name is cut
// at 260 characters. Nothing for text that is not UTF-8, an empty path, a
// name in the device namespace, or a stream's name.
std::optional<std::wstring> win32FilePath(const std::string& path);

}  // namespace dl250t
