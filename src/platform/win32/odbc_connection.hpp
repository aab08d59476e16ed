#pragma once

#include <memory>
#include <string>
#include <vector>

#include "production/database_connection.hpp"

namespace dl250t {

// The names PostgreSQL's ODBC driver (psqlODBC) is installed under: by its
// Windows installer, and by unixODBC's odbc-postgresql (which Wine's odbc32
// hands its calls to).
inline const std::vector<std::wstring> kPostgresOdbcDrivers = {L"PostgreSQL Unicode(x64)",
                                                               L"PostgreSQL Unicode"};

// A database connection through ODBC and the first of `drivers` that is
// installed. Every call runs on a thread of its own and is waited for no
// longer than its limit: a driver call that never returns (a server that
// stopped answering) strands that thread and its connection, not the
// station.
std::unique_ptr<DatabaseConnection> makeOdbcConnection(
    std::vector<std::wstring> drivers = kPostgresOdbcDrivers);

}  // namespace dl250t
