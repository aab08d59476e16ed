#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/prompter.hpp"

namespace dl250t::testing {

struct RecordedMessage {
    std::string text;
    std::string title;
    MessageIcon icon = MessageIcon::Error;

    friend bool operator==(const RecordedMessage&, const RecordedMessage&) = default;
};

// A Prompter that records every message box and file request in order and
// answers file requests from a script.
//
// A real modal box runs a nested event loop, so events can arrive while it is
// open. The optional hooks stand in for that: they run while a box or the file
// chooser is "open", after it has been recorded and before it returns. A hook
// is not re-entered: boxes that open while a hook runs are recorded, but do not
// run the hook again.
class RecordingPrompter final : public Prompter {
public:
    void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override;
    std::optional<std::string> chooseFile(const FileRequest& request) override;

    // The answer to the next file request not yet answered; nullopt cancels.
    // Requests beyond the script are cancelled.
    void queueFileAnswer(std::optional<std::string> path);

    void whileMessageOpen(std::function<void(const RecordedMessage&)> hook);
    void whileFileChooserOpen(std::function<void(const FileRequest&)> hook);

    const std::vector<RecordedMessage>& messages() const { return messages_; }
    const std::vector<FileRequest>& fileRequests() const { return fileRequests_; }

    // Just the texts of the boxes, for compact expectations.
    std::vector<std::string> messageTexts() const;

    // Forgets what was recorded; the script and the hooks stay.
    void clearRecord();

private:
    std::vector<RecordedMessage> messages_;
    std::vector<FileRequest> fileRequests_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::function<void(const RecordedMessage&)> messageHook_;
    std::function<void(const FileRequest&)> fileHook_;
    bool inHook_ = false;
};

}  // namespace dl250t::testing
