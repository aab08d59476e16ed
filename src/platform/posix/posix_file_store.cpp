#include "platform/posix/posix_file_store.hpp"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

#include "config/temporary_name.hpp"
#include "platform/signal_cleanup.hpp"

namespace dl250t {

namespace {

// Links followed at most, as the kernel does, before a path counts as a loop.
constexpr int kMaxLinkHops = 40;

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a path leads to once every link is followed; the path itself when
// it names nothing yet. Nothing for a loop or an unreadable link.
std::optional<std::string> followLinks(std::string path) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            return errno == ENOENT ? std::optional(path) : std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) {
            return path;
        }
        std::array<char, PATH_MAX> target{};
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            return std::nullopt;
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : folderOf(path) + "/" + next;
    }
    return std::nullopt;
}

// fsync, where a file system that cannot flush at all (EINVAL) has nothing
// to wait for; any other error (EIO, ENOSPC found late) means that the data
// may not be on disk.
bool flushedToDisk(int fd) {
    return fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
}

class PosixFileReplacement final : public FileReplacement {
public:
    PosixFileReplacement(std::string target, std::string temporary, int fd,
                         std::unique_ptr<SignalCleanup::TemporaryFile> registration)
        : target_(std::move(target)),
          temporary_(std::move(temporary)),
          fd_(fd),
          registration_(std::move(registration)) {}

    ~PosixFileReplacement() override { discard(); }
    PosixFileReplacement(const PosixFileReplacement&) = delete;
    PosixFileReplacement& operator=(const PosixFileReplacement&) = delete;

    bool commit(std::span<const std::uint8_t> bytes) override {
        if (fd_ < 0 || registration_ == nullptr) {
            return false;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                discard();
                return false;
            }
        }
        // On disk before it takes the target's place: after a power cut the
        // target must hold the old content or the whole new one, never an
        // empty or partial file.
        const bool synced = flushedToDisk(fd_);
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!synced || !closed || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
            discard();
            return false;
        }
        registration_.reset();
        // The rename is a change of the folder, which has to reach the disk too.
        return syncFolder();
    }

private:
    bool syncFolder() const {
        const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) {
            return true;  // nothing to flush through; the file itself is on disk
        }
        const bool flushed = flushedToDisk(folder);
        ::close(folder);
        return flushed;
    }

    void discard() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (registration_ != nullptr) {
            ::unlink(temporary_.c_str());
            registration_.reset();
        }
    }

    std::string target_;
    std::string temporary_;
    int fd_;
    std::unique_ptr<SignalCleanup::TemporaryFile> registration_;
};

}  // namespace

FileStart PosixFileStore::readStart(const std::string& path, std::size_t maxBytes) {
    FileStart result;
    // Only a regular file is opened at all: opening a device may do something
    // of its own, and a pipe with no writer blocks the open.
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return result;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return result;
    }
    // The name may lead elsewhere by now: the descriptor decides.
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return result;
    }
    result.status = FileStart::Status::Ok;
    std::array<std::uint8_t, 4096> chunk{};
    while (result.bytes.size() < maxBytes) {
        const std::size_t wanted = std::min(chunk.size(), maxBytes - result.bytes.size());
        const ssize_t n = ::read(fd, chunk.data(), wanted);
        if (n > 0) {
            result.bytes.insert(result.bytes.end(), chunk.begin(), chunk.begin() + n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            result.status = FileStart::Status::ReadFailed;
            break;
        }
    }
    ::close(fd);
    return result;
}

std::unique_ptr<FileReplacement> PosixFileStore::beginReplacing(const std::string& path) {
    if (path.empty() || path.back() == '/') {
        return nullptr;
    }
    // What the name leads to now, through any link: a folder, a device, a
    // pipe or a socket is never replaced.
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 ? !S_ISREG(info.st_mode) : errno != ENOENT) {
        return nullptr;
    }
    // Saving through a link replaces the file it leads to, not the link.
    const auto target = followLinks(path);
    if (!target) {
        return nullptr;
    }
    std::optional<struct stat> existing;
    if (lstat(target->c_str(), &info) == 0) {
        // A file the user may not write stays as it is, as it would if it
        // were written in place.
        const int probe = ::open(target->c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (probe < 0) {
            return nullptr;
        }
        const bool regular = fstat(probe, &info) == 0 && S_ISREG(info.st_mode);
        ::close(probe);
        if (!regular) {
            return nullptr;
        }
        existing = info;
    } else if (errno != ENOENT) {
        return nullptr;
    }

    // A short name whatever the target's: a name near the file system's
    // limit leaves no room to add to it.
    const std::string folder = folderOf(*target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = folder + "/" + temporaryFileName();
        auto registration = std::make_unique<SignalCleanup::TemporaryFile>(temporary);
        // 0666 less the umask, as a new file would get; a replaced file gets
        // the mode of the old one below.
        const int fd =
            ::open(temporary.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return nullptr;
        }
        if (existing) {
            // The owner first: a change of owner may clear mode bits.
            if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
                // Only the superuser gives files away; the file stays ours.
            }
            fchmod(fd, existing->st_mode & 07777);
        }
        return std::make_unique<PosixFileReplacement>(*target, temporary, fd,
                                                      std::move(registration));
    }
    return nullptr;
}

}  // namespace dl250t
