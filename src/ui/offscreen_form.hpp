#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "ui/in_memory_form_view.hpp"
#include "ui/settings_form.hpp"

namespace dl250t {

// The settings form without a window: its controls kept as data, so that a
// program without a window decodes, range-adjusts and encodes settings exactly
// as the window does (the same texts, the same rounding through them, the same
// warnings). Its messages, which the window would show in boxes, go to
// `messages`; it never asks for a file.
class OffscreenForm {
public:
    using Messages = std::function<void(std::string_view text)>;

    OffscreenForm(Messages messages, std::string programName);
    OffscreenForm(const OffscreenForm&) = delete;
    OffscreenForm& operator=(const OffscreenForm&) = delete;

    SettingsForm& form() { return form_; }
    // The controls as the form shows them, and to set the few a program
    // changes itself (the serial number).
    FormView& controls() { return view_; }
    const FormView& controls() const { return view_; }

private:
    class MessageSink final : public Prompter {
    public:
        explicit MessageSink(Messages messages) : messages_(std::move(messages)) {}
        void showMessage(std::string_view text, std::string_view, MessageIcon) override {
            if (messages_) {
                messages_(text);
            }
        }
        std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }

    private:
        Messages messages_;
    };

    InMemoryFormView view_;
    MessageSink sink_;
    SettingsForm form_;
};

}  // namespace dl250t
