#include "platform/posix/posix_port_claims.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "platform/posix/port_directory.hpp"
#include "platform/posix/port_names.hpp"
#include "platform/serial_ports.hpp"

namespace dl250t {

namespace fs = std::filesystem;

namespace {

// A folder every user may create files in but not remove others' files
// from: sticky and writable by all.
bool sharedByAllUsers(const char* folder) {
    struct stat info {};
    return stat(folder, &info) == 0 && S_ISDIR(info.st_mode) &&
           (info.st_mode & (S_IWOTH | S_ISVTX)) == (S_IWOTH | S_ISVTX) &&
           access(folder, W_OK | X_OK) == 0;
}

std::optional<fs::path> lockFolder() {
    for (const char* folder : {"/run/lock", "/tmp"}) {
        if (sharedByAllUsers(folder)) {
            return fs::path(folder);
        }
    }
    return std::nullopt;
}

// The device as one file name: the path below /dev, '/' as '_', every byte
// but letters, digits, '-' and '.' as %XX, so that two devices never share a
// file. A name too long for a file is hashed (FNV-1a) instead.
std::string lockFileName(const fs::path& device) {
    std::string path = device.string();
    for (const std::string_view prefix : {"/dev/", "/"}) {
        if (path.starts_with(prefix)) {
            path.erase(0, prefix.size());
            break;
        }
    }
    std::string name = "dl250t-port-";
    constexpr std::string_view kHex = "0123456789ABCDEF";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.';
        if (plain) {
            name += c;
        } else if (c == '/') {
            name += '_';
        } else {
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        }
    }
    if (name.size() > 200) {
        std::uint64_t hash = 14695981039346656037ull;
        for (const char c : device.string()) {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
        name = "dl250t-port-";
        for (int shift = 60; shift >= 0; shift -= 4) {
            name += kHex[(hash >> shift) & 0xF];
        }
    }
    return name + ".lock";
}

// The lock file, opened read-only (flock needs no more), never through a
// link and never anything but a regular file: a FIFO, folder or device
// planted under the name is not opened for good. An existing file is opened
// without O_CREAT, which a sticky folder refuses for files of other users
// where protected_regular is on. -1 when there is none to be had.
int openLockFile(const fs::path& path) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = open(path.c_str(), kFlags);
        if (fd < 0 && errno == ENOENT) {
            fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
            if (fd < 0 && errno == EEXIST) {
                continue;  // another program made it just now
            }
            if (fd >= 0) {
                // Open to all whatever the umask: programs of other users
                // lock it and stamp it too.
                fchmod(fd, 0666);
            }
        }
        if (fd < 0) {
            return -1;
        }
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            close(fd);
            return -1;
        }
        return fd;
    }
    return -1;
}

enum class Lock { Taken, HeldElsewhere, Failed };

Lock tryLock(int fd) {
    int locked = 0;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0) {
        return Lock::Taken;
    }
    return errno == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Failed;
}

// Whether the device appeared after the lock was last taken: the holder then
// claimed the device that had this name before (a pty number or ttyUSB0 is
// given out again at once), and lets go as soon as it sees that one removed.
bool appearedSinceLocked(const fs::path& device, int fd) {
    struct stat node {};
    struct stat lock {};
    if (stat(device.c_str(), &node) != 0 || fstat(fd, &lock) != 0) {
        return false;
    }
    const timespec appeared = node.st_ctim;
    const timespec locked = lock.st_mtim;
    return appeared.tv_sec != locked.tv_sec ? appeared.tv_sec > locked.tv_sec
                                            : appeared.tv_nsec > locked.tv_nsec;
}

// How long a claim on such a device waits for its holder to let go.
constexpr auto kRetryPause = std::chrono::milliseconds(10);
constexpr int kRetries = 100;

}  // namespace

PosixPortClaims::PosixPortClaims(fs::path portDirectory)
    : portDirectory_(std::move(portDirectory)) {}

PosixPortClaims::~PosixPortClaims() {
    for (const auto& [device, fd] : locks_) {
        close(fd);
    }
}

PortClaims::Claim PosixPortClaims::claim(std::string_view port) {
    if (devices_.contains(port)) {
        return Claim::AlreadyHeld;
    }
    // A name for no port, or for a device that is not there, cannot be
    // opened: there is no module to leave to anyone.
    const auto path = resolvePortName(port, portDirectory_);
    std::error_code error;
    const fs::path device = path ? fs::canonical(*path, error) : fs::path();
    if (!path || error) {
        return Claim::Taken;
    }
    const std::string key = lockFileName(device);
    if (locks_.contains(key)) {
        devices_.emplace(std::string(port), key);
        return Claim::AlreadyHeld;
    }
    const auto folder = lockFolder();
    const int fd = folder ? openLockFile(*folder / key) : -1;
    if (fd < 0) {
        return Claim::Taken;  // cannot be checked: production goes on
    }
    Lock lock = tryLock(fd);
    if (lock == Lock::HeldElsewhere && appearedSinceLocked(device, fd)) {
        for (int retry = 0; retry < kRetries && lock == Lock::HeldElsewhere; ++retry) {
            std::this_thread::sleep_for(kRetryPause);
            lock = tryLock(fd);
        }
    }
    if (lock != Lock::Taken) {
        close(fd);
        return lock == Lock::HeldElsewhere ? Claim::Refused : Claim::Taken;
    }
    // The time of the claim, for a program that finds it held.
    futimens(fd, nullptr);
    locks_.emplace(key, fd);
    devices_.emplace(std::string(port), key);
    return Claim::Taken;
}

void PosixPortClaims::release(std::string_view port) {
    const auto held = devices_.find(port);
    if (held == devices_.end()) {
        return;
    }
    const std::string key = held->second;
    devices_.erase(held);
    for (const auto& [name, device] : devices_) {
        if (device == key) {
            return;  // still held under another name
        }
    }
    if (const auto lock = locks_.find(key); lock != locks_.end()) {
        close(lock->second);
        locks_.erase(lock);
    }
}

std::unique_ptr<PortClaims> makeSystemPortClaims() {
    return std::make_unique<PosixPortClaims>(defaultPortDirectory());
}

}  // namespace dl250t
