#include "config/config_file.hpp"

#include <array>
#include <fstream>
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
    // Streams open a path in the system's own encoding of file names (wide on
    // Windows), which the C library's fopen cannot.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return result;
    }
    result.opened = true;
    file.read(reinterpret_cast<char*>(result.block.data()), kBlockSize);
    result.bytesRead = static_cast<std::size_t>(file.gcount());

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
    std::string suffix = ".tmp-";
    const char* digits = "0123456789abcdef";
    std::uint64_t bits = generator();
    for (int i = 0; i < 12; ++i, bits >>= 4) {
        suffix += digits[bits & 0xF];
    }
    // Put together as paths, so that a name the narrow encoding cannot hold
    // survives.
    fs::path name = ".";
    name += target.filename();
    name += suffix;
    return target.parent_path() / name;
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (file_.is_open()) {
        file_.close();
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
        std::filebuf probe;
        if (probe.open(target, std::ios::in | std::ios::out | std::ios::binary) == nullptr) {
            return false;
        }
    }

    // A name that is taken is never opened; with 48 random bits in the name,
    // nobody else makes it between the look and the open.
    for (int attempt = 0; attempt < 8 && !file_.is_open(); ++attempt) {
        const fs::path candidate = temporaryNameFor(target);
        if (fs::exists(fs::symlink_status(candidate, ec))) {
            continue;
        }
        if (file_.open(candidate, std::ios::out | std::ios::binary | std::ios::trunc) != nullptr) {
            temporary_ = candidate;
        }
    }
    if (!file_.is_open()) {
        return false;
    }
    if (fs::exists(status)) {
        fs::permissions(temporary_, status.permissions(), fs::perm_options::replace, ec);
    }
    target_ = target;
    return true;
}

bool AtomicFileWriter::commit(std::span<const std::uint8_t> bytes) {
    if (!file_.is_open()) {
        return false;
    }
    const auto size = static_cast<std::streamsize>(bytes.size());
    const bool written = file_.sputn(reinterpret_cast<const char*>(bytes.data()), size) == size;
    const bool flushed = file_.pubsync() == 0;
    const bool closed = file_.close() != nullptr;
    if (!written || !flushed || !closed) {
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

std::string_view saveOutcomeMessage(SaveOutcome outcome) {
    switch (outcome) {
        case SaveOutcome::Ok:
            return {};
        case SaveOutcome::OpenFailed:
            return kFileOpenFailedText;
        case SaveOutcome::WriteFailed:
            return kFileWriteFailedText;
    }
    return {};
}

bool writeConfigFile(AtomicFileWriter& writer, const ConfigBlock& stampedBlock) {
    ConfigBlock fileForm = stampedBlock;
    scrambleBytes(fileForm.span());
    return writer.commit(fileForm.span());
}

SaveOutcome saveConfigFile(const fs::path& path, ConfigBlock& block) {
    AtomicFileWriter writer;
    if (!writer.open(path)) {
        return SaveOutcome::OpenFailed;
    }
    stampHeaderAndCrc(block);
    return writeConfigFile(writer, block) ? SaveOutcome::Ok : SaveOutcome::WriteFailed;
}

}  // namespace dl250t
