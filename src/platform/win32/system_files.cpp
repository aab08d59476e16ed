#include "platform/system_files.hpp"
#include "platform/win32/win32_file_store.hpp"

namespace dl250t {

std::unique_ptr<FileStore> makeSystemFileStore() {
    return std::make_unique<Win32FileStore>();
}

}  // namespace dl250t
