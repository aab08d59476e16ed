#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace dl250t::bench {

// A `dl250t-cli station` process of a benchmark: a port directory of its own
// (XDG_RUNTIME_DIR=`runtime`), standard output in the file `output` so that
// what it told survives it being killed, its errors dropped.
class StationProcess {
public:
    StationProcess(std::vector<std::string> command, const std::filesystem::path& runtime,
                   std::filesystem::path output);
    ~StationProcess();  // kills it if it still runs
    StationProcess(const StationProcess&) = delete;
    StationProcess& operator=(const StationProcess&) = delete;

    // Until its output has `count` lines; false when it did not start or
    // `patience` went by first.
    bool waitForLines(std::size_t count, std::chrono::milliseconds patience) const;

    // SIGKILL, as a power cut or a crash would end it.
    void kill();

    // SIGTERM, as an operator ends it; true when it then ended with status 0.
    bool stop();

private:
    std::filesystem::path output_;
    pid_t pid_ = -1;
};

}  // namespace dl250t::bench
