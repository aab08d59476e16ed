#include "standard_streams.hpp"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace dl250t::cli {

StandardDescriptors StandardDescriptors::protect() {
    StandardDescriptors closed;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) {
            continue;
        }
        // The lowest free descriptor is this one, as the lower ones are open.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            ::close(opened);
        }
        if (fd == 0) {
            closed.inputClosed = true;
        } else if (fd == 1) {
            closed.outputClosed = true;
        }
    }
    return closed;
}

CheckedOutput::CheckedOutput(int fd, bool usable) : fd_(fd), usable_(usable) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

bool CheckedOutput::flushBuffer() {
    const char* next = pbase();
    const char* end = pptr();
    while (next < end && usable_) {
        const ssize_t n = ::write(fd_, next, static_cast<std::size_t>(end - next));
        if (n > 0) {
            next += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            usable_ = false;
        }
    }
    lost_ = lost_ || next < end;
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return !lost_;
}

CheckedOutput::int_type CheckedOutput::overflow(int_type c) {
    if (!flushBuffer()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

std::streamsize CheckedOutput::xsputn(const char* text, std::streamsize count) {
    std::streamsize done = 0;
    while (done < count) {
        if (pptr() == epptr() && !flushBuffer()) {
            return done;
        }
        const std::streamsize part = std::min<std::streamsize>(epptr() - pptr(), count - done);
        std::memcpy(pptr(), text + done, static_cast<std::size_t>(part));
        pbump(static_cast<int>(part));
        done += part;
    }
    return done;
}

int CheckedOutput::sync() {
    return flushBuffer() ? 0 : -1;
}

bool CheckedOutput::close() {
    const bool flushed = flushBuffer();
    const bool closed = fd_ < 0 || ::close(fd_) == 0;
    fd_ = -1;
    usable_ = false;
    return flushed && closed;
}

}  // namespace dl250t::cli
