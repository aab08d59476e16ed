#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dl250t::testing {

// Only keeps a broken program from hanging a test.
inline constexpr auto kPatience = std::chrono::seconds(10);

// A program whose standard output is read line by line as it comes, with a
// port directory of its own (XDG_RUNTIME_DIR) and signals at their defaults.
class RunningProgram {
public:
    // With `input`, standard input is a pipe that input() writes to;
    // otherwise it is the test's own.
    RunningProgram(const std::vector<std::string>& command, const std::string& runtimeDir,
                   bool input = false);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Waits until standard output has at least `count` lines; false when the
    // program ended or took too long.
    bool waitForLines(std::size_t count);

    std::vector<std::string> outLines();
    std::string errText();

    void signal(int number);

    // Writes to the program's standard input; closeInput() ends it.
    bool input(std::string_view text);
    void closeInput();

    // The exit status, or -1 when it did not exit by itself in time (it is
    // killed then) or a signal ended it. Its output has all been read by then.
    int finish();

private:
    void collect(int fd, std::vector<std::string>& lines);

    pid_t pid_ = -1;
    int input_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> outLines_;
    bool outEnded_ = false;
    std::vector<std::string> errLines_;
    std::vector<std::thread> readers_;
};

}  // namespace dl250t::testing
