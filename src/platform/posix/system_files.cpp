#include "platform/system_files.hpp"
#include "platform/posix/posix_file_store.hpp"

namespace dl250t {

std::unique_ptr<FileStore> makeSystemFileStore() {
    return std::make_unique<PosixFileStore>();
}

}  // namespace dl250t
