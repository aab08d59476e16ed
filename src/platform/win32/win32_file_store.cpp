#include "platform/win32/win32_file_store.hpp"

#include <windows.h>

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "config/temporary_name.hpp"
#include "platform/signal_cleanup.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

bool isDriveRoot(std::wstring_view path) {
    return path.size() >= 3 &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

bool startsWithUnc(std::wstring_view path) {
    return path.size() >= 4 && (path[0] == L'U' || path[0] == L'u') &&
           (path[1] == L'N' || path[1] == L'n') && (path[2] == L'C' || path[2] == L'c') &&
           path[3] == L'\\';
}

// A colon after the drive names a stream of the file (a.cfg:x, a.cfg::$DATA),
// which NTFS keeps hidden beside the file's own bytes: no file anyone will
// find, so it is refused as a device is. `path` follows the long prefix.
bool namesAStream(std::wstring_view path) {
    return path.find(L':', isDriveRoot(path) ? 2 : 0) != std::wstring_view::npos;
}

std::optional<std::wstring> fullPathOf(const std::wstring& path) {
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return std::nullopt;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return std::nullopt;
    }
    full.resize(length);
    return full;
}

// Closes a handle when it goes out of scope.
class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (valid()) {
            CloseHandle(handle_);
        }
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A file on a disk, and neither a folder nor a device: what GetFileType calls
// a disk is also a volume or a drive opened whole.
std::optional<BY_HANDLE_FILE_INFORMATION> diskFileInformation(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
        return std::nullopt;
    }
    return info;
}

// The path a handle leads to, once every link is followed, in the long form.
// The buffer holds the longest path there is: Wine does not say how much a
// smaller one lacks (nor does it find paths longer than 260 characters).
std::optional<std::wstring> finalPathOf(HANDLE file) {
    constexpr DWORD kLongestPath = 32768;
    std::wstring path(kLongestPath, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(file, path.data(), kLongestPath,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kLongestPath) {
        return std::nullopt;
    }
    path.resize(length);
    return path;
}

class Win32FileReplacement final : public FileReplacement {
public:
    Win32FileReplacement(std::wstring target, std::wstring temporary, HANDLE file,
                         std::unique_ptr<SignalCleanup::TemporaryFile> registration)
        : target_(std::move(target)),
          temporary_(std::move(temporary)),
          file_(file),
          registration_(std::move(registration)) {}

    ~Win32FileReplacement() override { discard(); }
    Win32FileReplacement(const Win32FileReplacement&) = delete;
    Win32FileReplacement& operator=(const Win32FileReplacement&) = delete;

    bool commit(std::span<const std::uint8_t> bytes) override {
        if (file_ == INVALID_HANDLE_VALUE || registration_ == nullptr) {
            return false;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const DWORD wanted = static_cast<DWORD>(
                std::min<std::size_t>(bytes.size() - done, std::numeric_limits<DWORD>::max() / 2));
            DWORD written = 0;
            if (!WriteFile(file_, bytes.data() + done, wanted, &written, nullptr) || written == 0) {
                discard();
                return false;
            }
            done += written;
        }
        // On disk before it takes the target's place, and the move itself
        // written through: after a power cut the target holds the old
        // content or the whole new one, never an empty or partial file.
        const bool flushed = FlushFileBuffers(file_) != FALSE;
        const bool closed = CloseHandle(file_) != FALSE;
        file_ = INVALID_HANDLE_VALUE;
        if (!flushed || !closed ||
            !MoveFileExW(temporary_.c_str(), target_.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            discard();
            return false;
        }
        registration_.reset();
        return true;
    }

private:
    void discard() {
        if (file_ != INVALID_HANDLE_VALUE) {
            CloseHandle(file_);
            file_ = INVALID_HANDLE_VALUE;
        }
        if (registration_ != nullptr) {
            DeleteFileW(temporary_.c_str());
            registration_.reset();
        }
    }

    std::wstring target_;
    std::wstring temporary_;
    HANDLE file_;
    std::unique_ptr<SignalCleanup::TemporaryFile> registration_;
};

}  // namespace

std::optional<std::wstring> win32FilePath(const std::string& path) {
    const auto wide = utf8ToWide(path);
    if (!wide || wide->empty() || wide->find(L'\0') != std::wstring::npos) {
        return std::nullopt;
    }
    // Already in the long form: a path on a drive or a share is taken as it
    // is; anything else there (\\?\COM1, \\?\pipe\...) is a device.
    if (wide->starts_with(kLongPrefix)) {
        const std::wstring_view rest = std::wstring_view(*wide).substr(kLongPrefix.size());
        return (isDriveRoot(rest) || startsWithUnc(rest)) && !namesAStream(rest) ? wide
                                                                                 : std::nullopt;
    }
    // The full path names a device as \\.\NAME, whether it was written so or
    // as NUL, C:\folder\con.cfg or COM1.
    const auto full = fullPathOf(*wide);
    if (!full || full->starts_with(kDevicePrefix) || full->starts_with(kLongPrefix) ||
        namesAStream(*full)) {
        return std::nullopt;
    }
    if (isDriveRoot(*full)) {
        return std::wstring(kLongPrefix) + *full;
    }
    if (full->starts_with(L"\\\\")) {
        return std::wstring(kLongPrefix) + L"UNC\\" + full->substr(2);
    }
    return std::nullopt;
}

FileStart Win32FileStore::readStart(const std::string& path, std::size_t maxBytes) {
    FileStart result;
    const auto wide = win32FilePath(path);
    if (!wide) {
        return result;
    }
    // Others may go on reading, writing, renaming or removing the file; a
    // folder does not open without backup semantics.
    const OwnedHandle file(CreateFileW(wide->c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid() || !diskFileInformation(file.get())) {
        return result;
    }
    result.status = FileStart::Status::Ok;
    std::array<std::uint8_t, 4096> chunk{};
    while (result.bytes.size() < maxBytes) {
        const DWORD wanted =
            static_cast<DWORD>(std::min(chunk.size(), maxBytes - result.bytes.size()));
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk.data(), wanted, &got, nullptr)) {
            result.status = FileStart::Status::ReadFailed;
            break;
        }
        if (got == 0) {
            break;
        }
        result.bytes.insert(result.bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    return result;
}

std::unique_ptr<FileReplacement> Win32FileStore::beginReplacing(const std::string& path) {
    if (path.empty() || path.back() == '/' || path.back() == '\\') {
        return nullptr;
    }
    auto target = win32FilePath(path);
    if (!target) {
        return nullptr;
    }
    // What the name leads to now, through any link, opened as a writer
    // would open it: a file the user may not write, or another program
    // holds against writers, stays as it is, as it would if it were written
    // in place. Opening it changes nothing.
    {
        const OwnedHandle existing(CreateFileW(
            target->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (existing.valid()) {
            // The read-only attribute binds even where the open did not
            // heed it (an administrator, a file system without it).
            const auto info = diskFileInformation(existing.get());
            if (!info || (info->dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
                return nullptr;
            }
            // Saving through a link replaces the file it leads to.
            const DWORD attributes = GetFileAttributesW(target->c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES ||
                ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                 !(target = finalPathOf(existing.get())))) {
                return nullptr;
            }
        } else if (GetLastError() != ERROR_FILE_NOT_FOUND ||
                   GetFileAttributesW(target->c_str()) != INVALID_FILE_ATTRIBUTES) {
            // Not there at all is a new file; anything else (no such folder,
            // no access, a folder, a link that leads nowhere) is not replaced.
            return nullptr;
        }
    }

    // A short name whatever the target's: a name near the file system's
    // limit leaves no room to add to it.
    const std::size_t separator = target->rfind(L'\\');
    if (separator == std::wstring::npos) {
        return nullptr;
    }
    const std::wstring folder = target->substr(0, separator + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring temporary = folder + *utf8ToWide(temporaryFileName());
        auto registration = std::make_unique<SignalCleanup::TemporaryFile>(wideToUtf8(temporary));
        // Nobody else may read or write it meanwhile; a stop may remove it
        // while it is open.
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue;
            }
            return nullptr;
        }
        return std::make_unique<Win32FileReplacement>(*target, temporary, file,
                                                      std::move(registration));
    }
    return nullptr;
}

}  // namespace dl250t
