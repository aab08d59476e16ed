#include "output_file.hpp"

#include <ostream>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"

namespace dl250t::cli {

int saveOutput(const std::string& output, ConfigBlock& block, std::ostream& out,
               std::ostream& err) {
    if (output == "-") {
        stampHeaderAndCrc(block);
        const ConfigBlock fileForm = configFileForm(block);
        out.write(reinterpret_cast<const char*>(fileForm.data()), kBlockSize);
        return statusAfterOutput(static_cast<bool>(out.flush()), kExitOk, err);
    }
    PosixFileStore files;
    const Outcome saved = saveConfigFile(files, output, block);
    if (saved != Outcome::FileWritten) {
        err << output << ": " << outcomeText(saved) << '\n';
        return kExitFileNotWritten;
    }
    return kExitOk;
}

}  // namespace dl250t::cli
