#include "config/config_file.hpp"

#include <array>
#include <random>
#include <string>
#include <system_error>

namespace dl250t {

namespace fs = std::filesystem;

LoadedConfigFile loadConfigFile(const fs::path& path) {
    LoadedConfigFile result;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return result;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return result;
    }
    result.opened = true;
    result.bytesRead = std::fread(result.block.data(), 1, kBlockSize, file);
    std::fclose(file);

    if (result.bytesRead < kBlockSize) {
        result.check = BlockCheck::LengthMismatch;
        return result;
    }
    scrambleBytes(result.block.span());
    result.check = validateBlock(result.block, result.bytesRead);
    return result;
}

namespace {

// The name a temporary gets: hidden, beside the target, unlikely to collide.
fs::path temporaryNameFor(const fs::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    std::string name = "." + target.filename().string() + ".tmp-";
    const char* digits = "0123456789abcdef";
    std::uint64_t bits = generator();
    for (int i = 0; i < 12; ++i, bits >>= 4) {
        name += digits[bits & 0xF];
    }
    return target.parent_path() / name;
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temporary_.empty()) {
        std::error_code ec;
        fs::remove(temporary_, ec);
        temporary_.clear();
    }
}

bool AtomicFileWriter::open(const fs::path& requested) {
    discard();
    std::error_code ec;
    // Saving through a link replaces the file it points to, not the link.
    fs::path target = fs::weakly_canonical(requested, ec);
    if (ec) {
        target = requested;
    }
    if (target.filename().empty()) {
        return false;
    }
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status)) {
        if (fs::is_directory(status)) {
            return false;
        }
        // A file the user may not write stays as it is, as it would if we wrote
        // it in place.
        std::FILE* probe = std::fopen(target.c_str(), "r+b");
        if (probe == nullptr) {
            return false;
        }
        std::fclose(probe);
    }

    for (int attempt = 0; attempt < 8 && file_ == nullptr; ++attempt) {
        const fs::path candidate = temporaryNameFor(target);
        file_ = std::fopen(candidate.c_str(), "wbx");
        if (file_ != nullptr) {
            temporary_ = candidate;
        }
    }
    if (file_ == nullptr) {
        return false;
    }
    if (fs::exists(status)) {
        fs::permissions(temporary_, status.permissions(), fs::perm_options::replace, ec);
    }
    target_ = target;
    return true;
}

bool AtomicFileWriter::commit(std::span<const std::uint8_t> bytes) {
    if (file_ == nullptr) {
        return false;
    }
    const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file_);
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (written != bytes.size() || !flushed || !closed) {
        discard();
        return false;
    }
    std::error_code ec;
    fs::rename(temporary_, target_, ec);
    if (ec) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

bool writeConfigFile(AtomicFileWriter& writer, const ConfigBlock& stampedBlock) {
    ConfigBlock fileForm = stampedBlock;
    scrambleBytes(fileForm.span());
    return writer.commit(fileForm.span());
}

Outcome saveConfigFile(const fs::path& path, ConfigBlock& block) {
    AtomicFileWriter writer;
    if (!writer.open(path)) {
        return Outcome::FileOpenFailed;
    }
    stampHeaderAndCrc(block);
    return writeConfigFile(writer, block) ? Outcome::FileWritten : Outcome::FileWriteFailed;
}

}  // namespace dl250t
