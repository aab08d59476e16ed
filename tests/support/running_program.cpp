#include "support/running_program.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

extern char** environ;

namespace dl250t::testing {

RunningProgram::RunningProgram(const std::vector<std::string>& command,
                               const std::string& runtimeDir, bool input) {
    int out[2];
    int err[2];
    int in[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
        (input && pipe2(in, O_CLOEXEC) != 0)) {
        ADD_FAILURE() << "no pipes";
        return;
    }
    std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + runtimeDir};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with("XDG_RUNTIME_DIR=")) {
            environment.emplace_back(*entry);
        }
    }
    const auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> list;
        for (std::string& text : texts) {
            list.push_back(text.data());
        }
        list.push_back(nullptr);
        return list;
    };
    std::vector<std::string> args = command;
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (input) {
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    }
    // Signals at their defaults, whatever the test process does with them.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) {
        pid_ = -1;
        ADD_FAILURE() << "cannot start " << command.front();
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (input) {
        ::close(in[0]);
        input_ = in[1];
    }
    readers_.emplace_back([this, fd = out[0]] { collect(fd, outLines_); });
    readers_.emplace_back([this, fd = err[0]] { collect(fd, errLines_); });
}

RunningProgram::~RunningProgram() {
    closeInput();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
    }
    finish();
    for (std::thread& reader : readers_) {
        reader.join();
    }
}

bool RunningProgram::waitForLines(std::size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kPatience, [&] {
        return outLines_.size() >= count || outEnded_;
    }) && outLines_.size() >= count;
}

std::vector<std::string> RunningProgram::outLines() {
    std::lock_guard lock(mutex_);
    return outLines_;
}

std::string RunningProgram::errText() {
    std::lock_guard lock(mutex_);
    std::string text;
    for (const std::string& line : errLines_) {
        text += line + "\n";
    }
    return text;
}

void RunningProgram::signal(int number) {
    if (pid_ > 0) {
        kill(pid_, number);
    }
}

bool RunningProgram::input(std::string_view text) {
    // A program that has ended makes the write fail, not the test.
    ::signal(SIGPIPE, SIG_IGN);
    return input_ >= 0 &&
           ::write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void RunningProgram::closeInput() {
    if (input_ >= 0) {
        ::close(input_);
        input_ = -1;
    }
}

int RunningProgram::finish() {
    if (pid_ <= 0) {
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    int status = 0;
    bool killed = false;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            killed = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    for (std::thread& reader : readers_) {
        reader.join();
    }
    readers_.clear();
    return !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunningProgram::collect(int fd, std::vector<std::string>& lines) {
    const bool output = &lines == &outLines_;
    std::string partial;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
        std::lock_guard lock(mutex_);
        partial.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        for (std::size_t end; (end = partial.find('\n')) != std::string::npos;) {
            lines.push_back(partial.substr(0, end));
            partial.erase(0, end + 1);
        }
        changed_.notify_all();
    }
    ::close(fd);
    std::lock_guard lock(mutex_);
    if (!partial.empty()) {
        lines.push_back(partial);
    }
    if (output) {
        outEnded_ = true;
    }
    changed_.notify_all();
}

}  // namespace dl250t::testing
