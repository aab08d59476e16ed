#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/prompter.hpp"

namespace dl250t {

// Message boxes that can be held back for a while and then shown in the
// order they came. A module Write holds them while its journal has the
// module open: a journal that several stations share keeps the line's
// numbering locked until the module is recorded, and a box waiting for the
// operator must not keep the other stations waiting.
class HeldMessages final : public Prompter {
public:
    explicit HeldMessages(Prompter& shown) : shown_(shown) {}

    void showMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
        if (holding_) {
            held_.push_back({std::string(text), std::string(title), icon});
        } else {
            shown_.showMessage(text, title, icon);
        }
    }

    std::optional<std::string> chooseFile(const FileRequest& request) override {
        return shown_.chooseFile(request);
    }

    void hold() { holding_ = true; }

    // Shows what was held, and every message from now on.
    void release() {
        holding_ = false;
        std::vector<Message> messages;
        messages.swap(held_);
        for (const Message& message : messages) {
            shown_.showMessage(message.text, message.title, message.icon);
        }
    }

private:
    struct Message {
        std::string text;
        std::string title;
        MessageIcon icon;
    };

    Prompter& shown_;
    bool holding_ = false;
    std::vector<Message> held_;
};

}  // namespace dl250t
