#include "platform/label_printers.hpp"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

namespace dl250t {

namespace {

using Clock = std::chrono::steady_clock;

// A printer that does not answer holds the line up for no longer than this:
// the connection, then the whole label.
constexpr auto kConnectTime = std::chrono::seconds(3);
constexpr auto kSendTime = std::chrono::seconds(5);

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000));
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Until `fd` is ready for `events` (or has failed, which the next call tells);
// false when the deadline passed first or poll itself failed.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    pollfd watched{fd, events, 0};
    for (;;) {
        const int ready = poll(&watched, 1, millisecondsLeft(deadline));
        if (ready > 0) {
            return true;
        }
        // A signal (a stop asked for) only interrupts the wait.
        if (ready == 0 || errno != EINTR || Clock::now() >= deadline) {
            return false;
        }
    }
}

// Writes all of `bytes` to a descriptor opened non-blocking. Empty when all
// went, else why not.
std::string writeAll(int fd, std::string_view bytes, bool socket, Clock::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t n = socket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                 : ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                return "the label did not go out within " +
                       std::to_string(std::chrono::seconds(kSendTime).count()) + " s";
            }
        } else {
            return n < 0 ? std::strerror(errno) : "nothing could be written";
        }
    }
    return {};
}

// A file or a device, opened for each label and appended to. Never opened so
// that it could block: a pipe that nothing reads is refused at once, and a
// printer that takes nothing more fails the label after kSendTime.
class FileLabelPrinter final : public LabelPrinter {
public:
    explicit FileLabelPrinter(std::string path) : path_(std::move(path)) {}

    bool print(std::string_view label) override {
        // A printer that is unplugged must not come back as a file in /dev.
        const int create = path_.starts_with("/dev/") ? 0 : O_CREAT;
        const Descriptor fd(::open(
            path_.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | create, 0666));
        if (fd.get() < 0) {
            struct stat info {};
            const int error = errno;
            const bool pipe = stat(path_.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
            problem_ =
                path_ + ": " +
                (error == ENXIO && pipe ? "a pipe that nothing reads" : std::strerror(error));
            return false;
        }
        const std::string failed = writeAll(fd.get(), label, false, Clock::now() + kSendTime);
        problem_ = failed.empty() ? std::string() : path_ + ": " + failed;
        return failed.empty();
    }

    std::string problem() const override { return problem_; }

private:
    std::string path_;
    std::string problem_;
};

struct Address {
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
};

// A network printer's raw port: one connection per label, closed once the
// printer has acknowledged every byte.
class TcpLabelPrinter final : public LabelPrinter {
public:
    TcpLabelPrinter(std::string shown, std::vector<Address> addresses)
        : shown_(std::move(shown)), addresses_(std::move(addresses)) {}

    bool print(std::string_view label) override {
        const std::string failed = deliver(label);
        problem_ = failed.empty() ? std::string() : shown_ + ": " + failed;
        return failed.empty();
    }

    std::string problem() const override { return problem_; }

private:
    std::string deliver(std::string_view label) const {
        std::string failed = "no address";
        const auto connectDeadline = Clock::now() + kConnectTime;
        for (const Address& address : addresses_) {
            const Descriptor fd(
                ::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            if (fd.get() < 0) {
                failed = std::strerror(errno);
                continue;
            }
            failed = connectTo(fd.get(), address, connectDeadline);
            if (failed.empty()) {
                return sendAll(fd.get(), label);
            }
        }
        return failed;
    }

    static std::string connectTo(int fd, const Address& address, Clock::time_point deadline) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length) ==
            0) {
            return {};
        }
        if (errno != EINPROGRESS && errno != EINTR) {
            return std::strerror(errno);
        }
        if (!waitFor(fd, POLLOUT, deadline)) {
            return "no answer within " +
                   std::to_string(std::chrono::seconds(kConnectTime).count()) + " s";
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
            error = errno;
        }
        return error == 0 ? std::string() : std::strerror(error);
    }

    static std::string sendAll(int fd, std::string_view label) {
        const auto deadline = Clock::now() + kSendTime;
        if (std::string failed = writeAll(fd, label, true, deadline); !failed.empty()) {
            return failed;
        }
#ifdef SIOCOUTQ
        // Bytes handed to the system may still be lost with the connection:
        // the label is out once the printer has acknowledged all of them.
        for (;;) {
            int pending = 0;
            int error = 0;
            socklen_t length = sizeof error;
            if (ioctl(fd, SIOCOUTQ, &pending) != 0 ||
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                return std::strerror(errno);
            }
            if (error != 0) {
                return std::strerror(error);
            }
            if (pending == 0) {
                break;
            }
            if (Clock::now() >= deadline) {
                return "the printer did not take the whole label within " +
                       std::to_string(std::chrono::seconds(kSendTime).count()) + " s";
            }
            poll(nullptr, 0, 5);
        }
#endif
        // The end of the job, then whatever the printer said is dropped
        // unread, without a reset that could cost it the label's last bytes.
        shutdown(fd, SHUT_WR);
        char ignored[256];
        while (::recv(fd, ignored, sizeof ignored, MSG_DONTWAIT) > 0) {
        }
        return {};
    }

    std::string shown_;
    std::vector<Address> addresses_;
    std::string problem_;
};

std::unique_ptr<LabelPrinter> makeTcpPrinter(const LabelDestination& destination,
                                             std::string& problem) {
    const std::string shown = "tcp://" + destination.host + ":" + destination.port;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int error =
        getaddrinfo(destination.host.c_str(), destination.port.c_str(), &hints, &found);
    if (error != 0) {
        problem = shown + ": " + gai_strerror(error);
        return nullptr;
    }
    std::vector<Address> addresses;
    for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
        if (at->ai_addrlen <= sizeof(sockaddr_storage)) {
            Address address;
            std::memcpy(&address.address, at->ai_addr, at->ai_addrlen);
            address.length = at->ai_addrlen;
            address.family = at->ai_family;
            addresses.push_back(address);
        }
    }
    freeaddrinfo(found);
    return std::make_unique<TcpLabelPrinter>(shown, std::move(addresses));
}

}  // namespace

std::unique_ptr<LabelPrinter> makeLabelPrinter(const LabelDestination& destination,
                                               std::string& problem) {
    switch (destination.kind) {
        case LabelDestination::Kind::Tcp:
            return makeTcpPrinter(destination, problem);
        case LabelDestination::Kind::Path:
            return std::make_unique<FileLabelPrinter>(destination.name);
        case LabelDestination::Kind::Spooler:
            break;
    }
    problem = "printer:" + destination.name +
              ": the Windows spooler is not here; give the printer's device (/dev/usb/lp0) or "
              "tcp://HOST:PORT";
    return nullptr;
}

}  // namespace dl250t
