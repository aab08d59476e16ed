#include "platform/journal_files.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace dl250t {

// A journal file through POSIX calls. It is opened with O_APPEND, so that
// each line lands at the end of the file whoever else appends to it, and only
// when it is a regular file: a pipe or a device would hang or swallow the
// lines. A line is one write() followed by fsync(). Room for the next line is
// reserved beyond the end of the file before a module is written, so that a
// full file system stops the line before a module goes unrecorded. A symbolic
// link is followed to a file that exists, but never creates one: a link that
// leads nowhere is refused.
class PosixJournalFile final : public JournalFile {
public:
    explicit PosixJournalFile(std::string path);
    ~PosixJournalFile() override;
    PosixJournalFile(const PosixJournalFile&) = delete;
    PosixJournalFile& operator=(const PosixJournalFile&) = delete;

    bool open(std::string_view header) override;
    bool stillAtPath() const override;
    std::optional<std::uint64_t> size() override;
    std::optional<std::string> read(std::uint64_t offset, std::size_t maxBytes) override;
    bool reserve(std::size_t bytes) override;
    bool append(std::string_view bytes) override;
    bool lock() override;
    void unlock() override;
    void holdMark(std::uint64_t key) override;
    void releaseMark(std::uint64_t key) override;
    bool markHeldElsewhere(std::uint64_t key) override;
    std::string problem() const override { return problem_; }

private:
    bool fail(std::string_view what, int error);
    void close();
    void markLock(short type, std::uint64_t key);

    std::string path_;
    int fd_ = -1;
    bool locked_ = false;
    std::string problem_;
};

namespace {

// Waits while another station holds the file.
bool lockExclusive(int fd, int operation) {
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// The journal's lock is a whole-file flock, as programs of earlier releases
// take it to append. Marks are byte-range locks of the open file description
// far beyond any journal's end, one byte for each key: they live as long as
// the descriptor, so they go when the program ends however it ends, and they
// never touch the lines.
constexpr off_t kMarkBase = off_t{1} << 61;
constexpr auto kLockPatience = std::chrono::seconds(10);
constexpr auto kLockRetry = std::chrono::milliseconds(5);

// Writes all bytes; a short write is continued, so that a lone writer's line
// is complete even on a file system that splits writes.
bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool syncToDisk(int fd) {
    while (fsync(fd) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Opens the file at `path`, through a symbolic link too, or creates it where
// nothing is. O_EXCL creates no file at the end of a link, so that a link
// that leads nowhere cannot make the journal appear wherever it points (as
// root: anywhere); it fails with ELOOP. A file that another station creates
// meanwhile is opened on the next attempt.
int openOrCreate(const char* path) {
    // Without O_NONBLOCK opening a pipe would wait for a reader.
    constexpr int kFlags = O_RDWR | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path, kFlags);
        if (fd >= 0 || errno != ENOENT) {
            return fd;
        }
        fd = ::open(path, kFlags | O_CREAT | O_EXCL, 0644);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = ELOOP;
    return -1;
}

}  // namespace

PosixJournalFile::PosixJournalFile(std::string path) : path_(std::move(path)) {}

PosixJournalFile::~PosixJournalFile() {
    close();
}

void PosixJournalFile::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    locked_ = false;
}

bool PosixJournalFile::fail(std::string_view what, int error) {
    problem_ = path_ + ": " + std::string(what);
    if (error != 0) {
        problem_ += ": ";
        problem_ += std::strerror(error);
    }
    return false;
}

bool PosixJournalFile::open(std::string_view header) {
    close();
    fd_ = openOrCreate(path_.c_str());
    if (fd_ < 0) {
        if (errno == ELOOP) {
            return fail("is a symbolic link that leads nowhere", 0);
        }
        return fail("cannot be opened for appending", errno);
    }
    struct stat status {};
    if (fstat(fd_, &status) != 0) {
        const int error = errno;
        close();
        return fail("cannot be examined", error);
    }
    if (!S_ISREG(status.st_mode)) {
        close();
        return fail("is not a regular file", 0);
    }
    // Two stations that create the journal at the same moment write one
    // header between them. A file system without locks still gets its header.
    const bool locked = lockExclusive(fd_, LOCK_EX);
    bool ok = true;
    int error = 0;
    if (fstat(fd_, &status) != 0) {
        ok = false;
        error = errno;
    } else if (status.st_size == 0 && !(writeAll(fd_, header) && syncToDisk(fd_))) {
        ok = false;
        error = errno;
    }
    if (locked) {
        flock(fd_, LOCK_UN);
    }
    if (!ok) {
        close();
        return fail("cannot be written", error);
    }
    return true;
}

std::optional<std::uint64_t> PosixJournalFile::size() {
    struct stat status {};
    if (fd_ < 0 || fstat(fd_, &status) != 0) {
        fail("cannot be examined", fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

std::optional<std::string> PosixJournalFile::read(std::uint64_t offset, std::size_t maxBytes) {
    std::string bytes(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n =
            pread(fd_, bytes.data() + got, maxBytes - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot be read", errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

bool PosixJournalFile::stillAtPath() const {
    struct stat open {};
    struct stat named {};
    return fd_ >= 0 && fstat(fd_, &open) == 0 && stat(path_.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool PosixJournalFile::reserve(std::size_t bytes) {
    const auto end = size();
    if (!end) {
        return false;
    }
#ifdef FALLOC_FL_KEEP_SIZE
    if (fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(*end), static_cast<off_t>(bytes)) !=
        0) {
        // A file system that cannot reserve still tells of a full disk when
        // the line is written.
        if (errno == EOPNOTSUPP || errno == ENOSYS) {
            return true;
        }
        return fail("has no room for another line", errno);
    }
#else
    (void)bytes;
#endif
    return true;
}

bool PosixJournalFile::lock() {
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    while (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno != EWOULDBLOCK) {
            // A file system without locks: the journal goes on without.
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return fail("is held by another program for more than 10 s", 0);
        }
        std::this_thread::sleep_for(kLockRetry);
    }
    locked_ = fd_ >= 0;
    return locked_ || fail("is not open", 0);
}

void PosixJournalFile::unlock() {
    if (locked_) {
        flock(fd_, LOCK_UN);
        locked_ = false;
    }
}

void PosixJournalFile::markLock(short type, std::uint64_t key) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = kMarkBase + static_cast<off_t>(key);
    range.l_len = 1;
    if (fd_ >= 0) {
        fcntl(fd_, F_OFD_SETLK, &range);
    }
}

void PosixJournalFile::holdMark(std::uint64_t key) {
    markLock(F_WRLCK, key);
}

void PosixJournalFile::releaseMark(std::uint64_t key) {
    markLock(F_UNLCK, key);
}

bool PosixJournalFile::markHeldElsewhere(std::uint64_t key) {
    struct flock range {};
    range.l_type = F_WRLCK;
    range.l_whence = SEEK_SET;
    range.l_start = kMarkBase + static_cast<off_t>(key);
    range.l_len = 1;
    // When the look fails, the mark counts as held: a reservation is never
    // called interrupted on a guess.
    return fd_ < 0 || fcntl(fd_, F_OFD_GETLK, &range) != 0 || range.l_type != F_UNLCK;
}

bool PosixJournalFile::append(std::string_view bytes) {
    // The lock keeps the look at the file's last byte and the write together
    // against the other stations; the write alone would be whole without it.
    const bool locked = !locked_ && lockExclusive(fd_, LOCK_EX);
    const auto end = size();
    bool written = false;
    int error = 0;
    if (end) {
        // A line cut short before (a full disk, a power cut) is ended first,
        // so that it does not swallow this one; readers skip it as malformed.
        std::string line;
        char last = '\n';
        if (*end > 0 && pread(fd_, &last, 1, static_cast<off_t>(*end - 1)) == 1 && last != '\n') {
            line = "\r\n";
        }
        line += bytes;
        written = writeAll(fd_, line);
        error = errno;
    }
    if (locked) {
        flock(fd_, LOCK_UN);
    }
    if (!end) {
        return false;
    }
    if (!written) {
        return fail("cannot be written", error);
    }
    if (!syncToDisk(fd_)) {
        return fail("cannot be flushed to disk", errno);
    }
    return true;
}

std::string localTimeText(std::chrono::system_clock::time_point time) {
    const time_t seconds = std::chrono::system_clock::to_time_t(time);
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return {};
    }
    std::array<char, 40> text{};
    const std::size_t length = strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S%z", &local);
    std::string result(text.data(), length);
    // %z gives +0800; ISO 8601 with a date in its extended form wants +08:00.
    if (result.size() >= 5) {
        result.insert(result.size() - 2, 1, ':');
    }
    return result;
}

std::string hostName() {
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

std::unique_ptr<JournalFile> openJournalFile(const std::string& path) {
    return std::make_unique<PosixJournalFile>(path);
}

}  // namespace dl250t
