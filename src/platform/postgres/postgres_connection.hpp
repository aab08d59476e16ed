#pragma once

#include <memory>
#include <string>

#include "production/database_connection.hpp"

namespace dl250t {

// The client library's name as Debian's libpq5 installs it.
inline constexpr const char* kLibpqName = "libpq.so.5";

// A database connection through libpq, loaded from the library named at the
// first connection. Every wait is a poll() of the connection's socket with
// the time left, so that no call blocks beyond its limit.
std::unique_ptr<DatabaseConnection> makePostgresConnection(std::string library = kLibpqName);

}  // namespace dl250t
