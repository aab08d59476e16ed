#include "platform/postgres/libpq_library.hpp"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

namespace dl250t {

namespace {

std::unique_ptr<LibpqLibrary> load(const std::string& name, std::string& problem) {
    // Local, so that its symbols never stand in for those of another library.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        problem = "the PostgreSQL client library cannot be loaded (" +
                  std::string(error != nullptr ? error : name) +
                  "); install it (on Debian, the package libpq5)";
        return nullptr;
    }
    auto library = std::make_unique<LibpqLibrary>();
    const char* missing = nullptr;
    const auto take = [&](auto& function, const char* symbol) {
        if (missing == nullptr) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                dlsym(handle, symbol));
            missing = function == nullptr ? symbol : nullptr;
        }
    };
    LibpqLibrary& f = *library;
    take(f.connectStartParams, "PQconnectStartParams");
    take(f.connectPoll, "PQconnectPoll");
    take(f.status, "PQstatus");
    take(f.socket, "PQsocket");
    take(f.setNonblocking, "PQsetnonblocking");
    take(f.setNoticeProcessor, "PQsetNoticeProcessor");
    take(f.errorMessage, "PQerrorMessage");
    take(f.finish, "PQfinish");
    take(f.sendQuery, "PQsendQuery");
    take(f.sendQueryParams, "PQsendQueryParams");
    take(f.flush, "PQflush");
    take(f.consumeInput, "PQconsumeInput");
    take(f.isBusy, "PQisBusy");
    take(f.getResult, "PQgetResult");
    take(f.resultStatus, "PQresultStatus");
    take(f.resultErrorMessage, "PQresultErrorMessage");
    take(f.ntuples, "PQntuples");
    take(f.nfields, "PQnfields");
    take(f.getvalue, "PQgetvalue");
    take(f.getisnull, "PQgetisnull");
    take(f.cmdTuples, "PQcmdTuples");
    take(f.cmdStatus, "PQcmdStatus");
    take(f.clear, "PQclear");
    if (missing != nullptr) {
        dlclose(handle);
        problem = "the PostgreSQL client library " + name + " has no " + missing +
                  "; install a current one (on Debian, the package libpq5)";
        return nullptr;
    }
    return library;
}

}  // namespace

const LibpqLibrary* loadLibpq(const std::string& name, std::string& problem) {
    // Stations connect from one thread, tests from several at once. A library
    // that failed is tried again at the next connection: it may have been
    // installed meanwhile.
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<LibpqLibrary>> loaded;
    const std::lock_guard lock(mutex);
    auto& library = loaded[name];
    if (library == nullptr) {
        library = load(name, problem);
    }
    return library.get();
}

}  // namespace dl250t
