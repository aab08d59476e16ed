#pragma once

#include <memory>

#include "config/file_store.hpp"

namespace dl250t {

// The files of the system the program runs on, named by UTF-8 paths.
std::unique_ptr<FileStore> makeSystemFileStore();

}  // namespace dl250t
