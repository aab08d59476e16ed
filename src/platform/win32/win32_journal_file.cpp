#include "platform/journal_files.hpp"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/win32/wide_text.hpp"
#include "platform/win32/win32_file_store.hpp"

namespace dl250t {

// A journal file through the Win32 W calls. It is opened for appending only
// (FILE_APPEND_DATA), so that each line lands at the end of the file whoever
// else appends to it, and only when it is a disk file: a pipe or a device
// would hang or swallow the lines. A line is one WriteFile under a lock on
// the file, followed by FlushFileBuffers. Before a module is written the disk
// must have room for its line. A link is followed to a file that exists, but
// never creates one.
class Win32JournalFile final : public JournalFile {
public:
    explicit Win32JournalFile(std::string path);
    ~Win32JournalFile() override;
    Win32JournalFile(const Win32JournalFile&) = delete;
    Win32JournalFile& operator=(const Win32JournalFile&) = delete;

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
    bool fail(std::string_view what, unsigned long error);
    void close();

    std::string path_;
    void* file_ = nullptr;  // the open HANDLE, or nullptr
    bool locked_ = false;
    std::string problem_;
};

namespace {

HANDLE handleOf(void* file) {
    return static_cast<HANDLE>(file);
}

// The journal's lock and the marks are byte-range locks far beyond any
// journal's end, so that they never keep a reader from the lines: the lock one
// byte, each mark the byte at its key above it. Programs of earlier releases
// lock the whole file to append, which takes in these bytes too. A lock goes
// with the handle, so a program that ends however it ends gives its marks
// back.
constexpr std::uint64_t kLockByte = (std::uint64_t{1} << 61) - 1;
constexpr std::uint64_t kMarkBase = std::uint64_t{1} << 61;
constexpr DWORD kLockPatienceMs = 10000;
constexpr DWORD kLockRetryMs = 5;

bool lockByte(HANDLE file, std::uint64_t offset, DWORD flags) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | flags, 0, 1, 0, &at) != 0;
}

void unlockByte(HANDLE file, std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    UnlockFileEx(file, 0, 1, 0, &at);
}

// The journal's lock for a look at the file's end and the append after it.
class FileLock {
public:
    FileLock(HANDLE file, bool held)
        : file_(file), locked_(!held && lockByte(file, kLockByte, 0)) {}
    ~FileLock() {
        if (locked_) {
            unlockByte(file_, kLockByte);
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    HANDLE file_;
    bool locked_ = false;
};

// Writes all bytes at the end of the file (the handle appends only).
bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(file, bytes.data(), wanted, &written, nullptr) || written == 0) {
            if (GetLastError() == ERROR_SUCCESS) {
                SetLastError(ERROR_WRITE_FAULT);
            }
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

std::optional<std::uint64_t> sizeOf(HANDLE file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool readAt(HANDLE file, std::uint64_t offset, char* into, DWORD count, DWORD& got) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    got = 0;
    return ReadFile(file, into, count, &got, &at) != 0 || GetLastError() == ERROR_HANDLE_EOF;
}

// Opens the file, through a link too, or creates it where nothing is. A new
// file is created without following a link, so that a link that leads
// nowhere cannot make the journal appear wherever it points; it fails with
// ERROR_CANT_RESOLVE_FILENAME. A file that another station creates meanwhile
// is opened on the next attempt. Appending only: every WriteFile goes to the
// end, whoever else appends.
HANDLE openOrCreate(const std::wstring& path) {
    constexpr DWORD kAccess = FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES;
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    for (int attempt = 0; attempt < 3; ++attempt) {
        HANDLE file = CreateFileW(path.c_str(), kAccess, kShare, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND) {
            return file;
        }
        file = CreateFileW(path.c_str(), kAccess, kShare, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE ||
            (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)) {
            return file;
        }
    }
    SetLastError(ERROR_CANT_RESOLVE_FILENAME);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

Win32JournalFile::Win32JournalFile(std::string path) : path_(std::move(path)) {}

Win32JournalFile::~Win32JournalFile() {
    close();
}

void Win32JournalFile::close() {
    if (file_ != nullptr) {
        CloseHandle(handleOf(file_));
        file_ = nullptr;
    }
    locked_ = false;
}

bool Win32JournalFile::fail(std::string_view what, unsigned long error) {
    problem_ = path_ + ": " + std::string(what);
    if (error != 0) {
        problem_ += ": " + systemMessage(error);
    }
    return false;
}

bool Win32JournalFile::open(std::string_view header) {
    close();
    // Device names (NUL, COM1, pipes) are refused before anything is opened.
    const auto wide = win32FilePath(path_);
    if (!wide) {
        return fail("is not a regular file", 0);
    }
    const HANDLE file = openOrCreate(*wide);
    if (file == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_CANT_RESOLVE_FILENAME) {
            return fail("is a symbolic link that leads nowhere", 0);
        }
        return fail("cannot be opened for appending", GetLastError());
    }
    file_ = file;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        close();
        return fail("is not a regular file", 0);
    }
    // Two stations that create the journal at the same moment write one
    // header between them.
    bool ok = true;
    DWORD error = 0;
    {
        const FileLock lock(file, false);
        const auto size = sizeOf(file);
        if (!size || (*size == 0 && !(writeAll(file, header) && FlushFileBuffers(file)))) {
            ok = false;
            error = GetLastError();
        }
    }
    if (!ok) {
        close();
        return fail("cannot be written", error);
    }
    return true;
}

std::optional<std::uint64_t> Win32JournalFile::size() {
    const auto size = file_ != nullptr ? sizeOf(handleOf(file_)) : std::nullopt;
    if (!size) {
        fail("cannot be examined", file_ != nullptr ? GetLastError() : ERROR_INVALID_HANDLE);
    }
    return size;
}

std::optional<std::string> Win32JournalFile::read(std::uint64_t offset, std::size_t maxBytes) {
    std::string bytes(maxBytes, '\0');
    std::size_t got = 0;
    while (got < maxBytes) {
        DWORD n = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(maxBytes - got, 1u << 20));
        if (file_ == nullptr ||
            !readAt(handleOf(file_), offset + got, bytes.data() + got, wanted, n)) {
            fail("cannot be read", file_ != nullptr ? GetLastError() : ERROR_INVALID_HANDLE);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    bytes.resize(got);
    return bytes;
}

bool Win32JournalFile::stillAtPath() const {
    if (file_ == nullptr) {
        return false;
    }
    const auto wide = win32FilePath(path_);
    if (!wide) {
        return false;
    }
    const HANDLE named = CreateFileW(wide->c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (named == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same = GetFileInformationByHandle(handleOf(file_), &a) &&
                      GetFileInformationByHandle(named, &b) &&
                      a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                      a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

bool Win32JournalFile::reserve(std::size_t bytes) {
    // Windows has no call that reserves room beyond a file's end without
    // growing it; the free space of the disk the journal is on stands in.
    const auto wide = win32FilePath(path_);
    const std::wstring folder =
        wide ? wide->substr(0, wide->find_last_of(L'\\') + 1) : std::wstring();
    ULARGE_INTEGER available{};
    if (folder.empty() || !GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        return true;  // unknown: a full disk still tells when the line is written
    }
    if (available.QuadPart < bytes) {
        return fail("has no room for another line", ERROR_DISK_FULL);
    }
    return true;
}

bool Win32JournalFile::append(std::string_view bytes) {
    if (file_ == nullptr) {
        return fail("cannot be written", ERROR_INVALID_HANDLE);
    }
    const HANDLE file = handleOf(file_);
    bool written = false;
    DWORD error = 0;
    std::optional<std::uint64_t> end;
    {
        const FileLock lock(file, locked_);
        end = sizeOf(file);
        if (end) {
            // A line cut short before (a full disk, a power cut) is ended
            // first, so that it does not swallow this one.
            std::string line;
            char last = '\n';
            DWORD got = 0;
            if (*end > 0 && readAt(file, *end - 1, &last, 1, got) && got == 1 && last != '\n') {
                line = "\r\n";
            }
            line += bytes;
            written = writeAll(file, line);
            error = GetLastError();
        } else {
            error = GetLastError();
        }
    }
    if (!end) {
        return fail("cannot be examined", error);
    }
    if (!written) {
        return fail("cannot be written", error);
    }
    if (!FlushFileBuffers(file)) {
        return fail("cannot be flushed to disk", GetLastError());
    }
    return true;
}

bool Win32JournalFile::lock() {
    if (file_ == nullptr) {
        return fail("is not open", ERROR_INVALID_HANDLE);
    }
    const ULONGLONG deadline = GetTickCount64() + kLockPatienceMs;
    while (!lockByte(handleOf(file_), kLockByte, LOCKFILE_FAIL_IMMEDIATELY)) {
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
            return true;  // a file system without locks: the journal goes on without
        }
        if (GetTickCount64() >= deadline) {
            return fail("is held by another program for more than 10 s", 0);
        }
        Sleep(kLockRetryMs);
    }
    locked_ = true;
    return true;
}

void Win32JournalFile::unlock() {
    if (locked_) {
        unlockByte(handleOf(file_), kLockByte);
        locked_ = false;
    }
}

void Win32JournalFile::holdMark(std::uint64_t key) {
    if (file_ != nullptr) {
        lockByte(handleOf(file_), kMarkBase + key, LOCKFILE_FAIL_IMMEDIATELY);
    }
}

void Win32JournalFile::releaseMark(std::uint64_t key) {
    if (file_ != nullptr) {
        unlockByte(handleOf(file_), kMarkBase + key);
    }
}

bool Win32JournalFile::markHeldElsewhere(std::uint64_t key) {
    // Free when it can be taken; given back at once. A look that fails for
    // another reason counts as held.
    if (file_ == nullptr ||
        !lockByte(handleOf(file_), kMarkBase + key, LOCKFILE_FAIL_IMMEDIATELY)) {
        return true;
    }
    unlockByte(handleOf(file_), kMarkBase + key);
    return false;
}

std::string localTimeText(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    if (localtime_s(&local, &seconds) != 0) {
        return {};
    }
    // The offset from UTC is local time read as if it were UTC, less the time.
    const long long offsetMinutes = (static_cast<long long>(_mkgmtime(&local)) - seconds) / 60;
    std::array<char, 40> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%S", &local);
    const long long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    std::array<char, 8> zone{};
    std::snprintf(zone.data(), zone.size(), "%c%02lld:%02lld", offsetMinutes < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return std::string(text.data(), length) + zone.data();
}

std::string hostName() {
    std::array<wchar_t, 256> name{};
    DWORD length = static_cast<DWORD>(name.size());
    if (!GetComputerNameExW(ComputerNameDnsHostname, name.data(), &length)) {
        return {};
    }
    return wideToUtf8(std::wstring_view(name.data(), length));
}

std::unique_ptr<JournalFile> openJournalFile(const std::string& path) {
    return std::make_unique<Win32JournalFile>(path);
}

// CSV journals only: the Windows build has no database client.
DatabaseConnector databaseConnector() {
    return {};
}

}  // namespace dl250t
