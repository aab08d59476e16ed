#include "support/child_process.hpp"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace dl250t::testing {

namespace {

// Opens a file onto one of the standard descriptors of the child.
void redirect(const char* path, int flags, int target) {
    const int fd = ::open(path, flags | O_NOCTTY);
    if (fd < 0) {
        _exit(126);
    }
    if (fd != target) {
        dup2(fd, target);
        ::close(fd);
    }
}

// Reads what is there without blocking; false once the other end is closed.
bool collect(int fd, std::string& into) {
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0) {
            into.append(buffer.data(), static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && errno == EAGAIN;
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& command, const ChildStreams& streams) {
    if (streams.input) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dl250t-input-XXXXXX").string();
        const int fd = mkstemp(pattern.data());
        if (fd < 0 || ::write(fd, streams.input->data(), streams.input->size()) !=
                          static_cast<ssize_t>(streams.input->size())) {
            throw std::runtime_error("cannot write the child's input");
        }
        ::close(fd);
        inputFile_ = pattern;
    }
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make pipes for the child");
    }
    std::vector<char*> argv;
    for (const std::string& arg : command) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    // Everything the child needs is made here: after a fork only
    // async-signal-safe calls are allowed, and a test may run threads.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    for (const std::string& extra : streams.environment) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.starts_with(name); });
        environment.push_back(extra);
    }
    std::vector<char*> envp;
    for (const std::string& entry : environment) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    const char* inputPath = streams.inputPath    ? streams.inputPath->c_str()
                            : inputFile_.empty() ? "/dev/null"
                                                 : inputFile_.c_str();
    const char* outputPath = streams.outputPath ? streams.outputPath->c_str() : nullptr;
    const char* directory = streams.directory.empty() ? nullptr : streams.directory.c_str();

    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("cannot start the child");
    }
    if (pid_ == 0) {
        for (int signalNumber : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
            signal(signalNumber, SIG_DFL);
        }
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);

        dup2(err[1], 2);
        if (streams.outputClosed) {
            ::close(1);
        } else if (outputPath != nullptr) {
            redirect(outputPath, O_WRONLY, 1);
        } else {
            dup2(out[1], 1);
        }
        if (streams.inputClosed) {
            ::close(0);
        } else {
            redirect(inputPath, O_RDONLY, 0);
        }
        if (directory != nullptr && chdir(directory) != 0) {
            _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
    fcntl(outFd_, F_SETFL, O_NONBLOCK);
    fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    for (int fd : {outFd_, errFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (!inputFile_.empty()) {
        ::unlink(inputFile_.c_str());
    }
}

ChildResult ChildProcess::finish(std::chrono::milliseconds limit) {
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool outOpen = true;
    bool errOpen = true;
    int status = 0;
    for (;;) {
        if (outOpen) {
            outOpen = collect(outFd_, result.out);
        }
        if (errOpen) {
            errOpen = collect(errFd_, result.err);
        }
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        if (ended == pid_) {
            collect(outFd_, result.out);
            collect(errFd_, result.err);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            result.hung = true;
            break;
        }
        pollfd watched[2] = {{outOpen ? outFd_ : -1, POLLIN, 0},
                             {errOpen ? errFd_ : -1, POLLIN, 0}};
        poll(watched, 2, 5);
    }
    pid_ = -1;
    if (!result.hung) {
        if (WIFEXITED(status)) {
            result.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    return result;
}

}  // namespace dl250t::testing
