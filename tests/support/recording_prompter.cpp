#include "support/recording_prompter.hpp"

#include <utility>

namespace dl250t::testing {
namespace {

// Runs a hook unless one is already running, so that a hook whose events open
// further boxes cannot recurse without end.
template <typename Hook, typename Argument>
void runHook(const Hook& hook, const Argument& argument, bool& inHook) {
    if (!hook || inHook) {
        return;
    }
    inHook = true;
    try {
        hook(argument);
    } catch (...) {
        inHook = false;
        throw;
    }
    inHook = false;
}

}  // namespace

void RecordingPrompter::showMessage(std::string_view text, std::string_view title,
                                    MessageIcon icon) {
    messages_.push_back({std::string(text), std::string(title), icon});
    // A copy: the hook may show further boxes, which grow the record.
    const RecordedMessage shown = messages_.back();
    runHook(messageHook_, shown, inHook_);
}

std::optional<std::string> RecordingPrompter::chooseFile(const FileRequest& request) {
    fileRequests_.push_back(request);
    // Answers go to requests in the order they were asked, also when a hook
    // opens another chooser before this one returns.
    std::optional<std::string> answer;
    if (!fileAnswers_.empty()) {
        answer = std::move(fileAnswers_.front());
        fileAnswers_.pop_front();
    }
    const FileRequest asked = request;
    runHook(fileHook_, asked, inHook_);
    return answer;
}

void RecordingPrompter::queueFileAnswer(std::optional<std::string> path) {
    fileAnswers_.push_back(std::move(path));
}

void RecordingPrompter::whileMessageOpen(std::function<void(const RecordedMessage&)> hook) {
    messageHook_ = std::move(hook);
}

void RecordingPrompter::whileFileChooserOpen(std::function<void(const FileRequest&)> hook) {
    fileHook_ = std::move(hook);
}

std::vector<std::string> RecordingPrompter::messageTexts() const {
    std::vector<std::string> texts;
    texts.reserve(messages_.size());
    for (const auto& message : messages_) {
        texts.push_back(message.text);
    }
    return texts;
}

void RecordingPrompter::clearRecord() {
    messages_.clear();
    fileRequests_.clear();
}

}  // namespace dl250t::testing
