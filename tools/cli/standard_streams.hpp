#pragma once

#include <array>
#include <streambuf>

namespace dl250t::cli {

// Which of the standard descriptors 0, 1 and 2 were closed when the program
// started. Each of them now leads to /dev/null instead, so that no file or
// port the program opens later can land on one and receive what was meant
// for the terminal.
struct StandardDescriptors {
    bool inputClosed = false;
    bool outputClosed = false;

    static StandardDescriptors protect();
};

// Standard output as the companion writes it: every write is checked, and
// once one has failed the stream stays failed. Output to a descriptor that
// was closed at start fails too.
class CheckedOutput final : public std::streambuf {
public:
    explicit CheckedOutput(int fd, bool usable = true);

    // Flushes what is buffered and closes the descriptor, where a file
    // system may report the last write as lost. False when anything written
    // did not arrive.
    bool close();

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    bool flushBuffer();

    int fd_;
    bool usable_;        // false once a write failed, or from the start
    bool lost_ = false;  // something written did not arrive
    std::array<char, 8192> buffer_{};
};

}  // namespace dl250t::cli
