#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dl250t {

enum class MessageIcon { Error, Warning };

// One entry of a file chooser's type filter: "配置文件(*.cfg)" with the pattern "*.cfg".
struct FileFilter {
    std::string description;
    std::string pattern;
};

struct FileRequest {
    // Append: a file that need not exist yet and is added to, never replaced.
    enum class Mode { Open, Save, Append } mode = Mode::Open;
    std::string initialName;
    std::vector<FileFilter> filters;
};

// The extension that a chooser naming a file to write gives a name typed
// without one: that of the first filter's pattern ("cfg" of "*.cfg"). None
// for a file to open, nor where that pattern names no single extension
// ("*.*", "*").
std::string defaultExtension(const FileRequest& request);

// Modal questions to the operator: message boxes with an OK button and the
// file chooser. Each call returns only when the operator has answered.
class Prompter {
public:
    virtual ~Prompter() = default;

    virtual void showMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;

    // The chosen path, or nothing when the chooser was cancelled.
    virtual std::optional<std::string> chooseFile(const FileRequest& request) = 0;
};

}  // namespace dl250t
