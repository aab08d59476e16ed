#pragma once

#include <ostream>

#include "ui/prompter.hpp"

namespace dl250t::cli {

// Message boxes become lines on a stream (the companion's standard error);
// there is nobody to choose a file.
class StreamPrompter final : public Prompter {
public:
    explicit StreamPrompter(std::ostream& out) : out_(out) {}

    void showMessage(std::string_view text, std::string_view, MessageIcon) override {
        out_ << text << '\n';
    }

    std::optional<std::string> chooseFile(const FileRequest&) override { return std::nullopt; }

private:
    std::ostream& out_;
};

}  // namespace dl250t::cli
