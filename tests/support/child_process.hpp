#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace dl250t::testing {

// How a child's standard streams are set up. By default its input is empty
// and its output and errors are captured.
struct ChildStreams {
    std::optional<std::string> input = {};      // text to read from standard input
    std::optional<std::string> inputPath = {};  // a file (or folder) opened for reading instead
    bool inputClosed = false;
    std::optional<std::string> outputPath = {};  // opened for writing instead of capturing
    bool outputClosed = false;
    // Extra environment entries, NAME=VALUE.
    std::vector<std::string> environment = {};
    // Where the child runs; empty for the test's own working directory.
    std::string directory = {};
};

struct ChildResult {
    bool hung = false;    // still running when the limit came, and killed then
    int exitStatus = -1;  // when it exited
    int signal = 0;       // when a signal ended it
    std::string out;
    std::string err;

    bool exitedWith(int status) const { return !hung && signal == 0 && exitStatus == status; }
};

// A program run as a child process, with signals at their defaults and none
// blocked, whatever the test process does with them.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& command,
                          const ChildStreams& streams = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Collects the output until the child ends; one that is still running
    // after `limit` is killed and counts as hung. The limit only keeps a
    // hanging program from hanging the test.
    ChildResult finish(std::chrono::milliseconds limit = std::chrono::seconds(20));

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string inputFile_;
};

inline ChildResult runChild(const std::vector<std::string>& command,
                            const ChildStreams& streams = {}) {
    return ChildProcess(command, streams).finish();
}

}  // namespace dl250t::testing
