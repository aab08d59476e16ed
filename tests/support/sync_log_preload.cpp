// Preloaded into a program under test (LD_PRELOAD), this records every
// fsync and rename the program makes, in order, one line each, into the file
// that DL250T_SYNC_LOG names: "fsync PATH" with the path of the descriptor,
// "rename FROM TO". It then lets the call through.

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

void record(const std::string& line) {
    const char* log = getenv("DL250T_SYNC_LOG");
    if (log == nullptr) {
        return;
    }
    const int fd = open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    if (write(fd, text.data(), text.size()) < 0) {
        // Nothing to be done: the test finds the line missing.
    }
    close(fd);
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    char path[PATH_MAX] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
    record("fsync " + std::string(path, length > 0 ? static_cast<std::size_t>(length) : 0));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    record(std::string("rename ") + from + " " + to);
    return real(from, to);
}
