#include "config/config_file.hpp"

#include <algorithm>

namespace dl250t {

LoadedConfigFile loadConfigFile(FileStore& files, const std::string& path) {
    LoadedConfigFile result;
    const FileStart start = files.readStart(path, kBlockSize);
    if (start.status == FileStart::Status::OpenFailed) {
        return result;
    }
    result.opened = true;
    result.bytesRead = std::min(start.bytes.size(), kBlockSize);
    std::copy_n(start.bytes.begin(), result.bytesRead, result.block.bytes.begin());
    if (start.status == FileStart::Status::ReadFailed) {
        result.readFailed = true;
        return result;
    }
    if (result.bytesRead < kBlockSize) {
        result.check = BlockCheck::LengthMismatch;
        return result;
    }
    scrambleBytes(result.block.span());
    result.check = validateBlock(result.block, result.bytesRead);
    return result;
}

ConfigBlock configFileForm(const ConfigBlock& stampedBlock) {
    ConfigBlock fileForm = stampedBlock;
    scrambleBytes(fileForm.span());
    return fileForm;
}

bool writeConfigFile(FileReplacement& file, const ConfigBlock& stampedBlock) {
    return file.commit(configFileForm(stampedBlock).span());
}

Outcome saveConfigFile(FileStore& files, const std::string& path, ConfigBlock& block) {
    const std::unique_ptr<FileReplacement> file = files.beginReplacing(path);
    if (file == nullptr) {
        return Outcome::FileOpenFailed;
    }
    stampHeaderAndCrc(block);
    return writeConfigFile(*file, block) ? Outcome::FileWritten : Outcome::FileWriteFailed;
}

}  // namespace dl250t
