#include "platform/label_printers.hpp"

// winsock2.h before windows.h, which would bring the old winsock.h.
#include <windows.h>
#include <winsock2.h>
#include <winspool.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <vector>

#include "platform/win32/wide_text.hpp"

namespace dl250t {

namespace {

using Clock = std::chrono::steady_clock;

// A printer that does not answer holds the line up for no longer than this:
// the connection, then the whole label.
constexpr auto kConnectTime = std::chrono::seconds(3);
constexpr auto kSendTime = std::chrono::seconds(5);

std::string seconds(std::chrono::seconds time) {
    return std::to_string(time.count()) + " s";
}

std::string systemMessage(DWORD error) {
    std::array<wchar_t, 512> text{};
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message = wideToUtf8(std::wstring_view(text.data(), length));
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : message;
}

// A file or a device, opened for each label and appended to. Written with
// overlapped I/O, so that a pipe or device that takes nothing more fails the
// label after kSendTime instead of holding the line.
class FileLabelPrinter final : public LabelPrinter {
public:
    FileLabelPrinter(std::string path, std::wstring wide)
        : path_(std::move(path)), wide_(std::move(wide)) {}

    bool print(std::string_view label) override {
        const std::string failed = append(label);
        problem_ = failed.empty() ? std::string() : path_ + ": " + failed;
        return failed.empty();
    }

    std::string problem() const override { return problem_; }

private:
    std::string append(std::string_view label) const {
        // A device (\\.\ names) is never created as a file.
        const DWORD disposition = wide_.starts_with(L"\\\\.\\") ? OPEN_EXISTING : OPEN_ALWAYS;
        const HANDLE file = CreateFileW(wide_.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return systemMessage(GetLastError());
        }
        const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::string failed;
        const auto deadline = Clock::now() + kSendTime;
        while (failed.empty() && !label.empty() && done != nullptr) {
            OVERLAPPED at{};
            // The end of the file, whoever else appends.
            at.Offset = 0xFFFFFFFF;
            at.OffsetHigh = 0xFFFFFFFF;
            at.hEvent = done;
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(label.size(), 1u << 20));
            DWORD written = 0;
            if (!WriteFile(file, label.data(), wanted, nullptr, &at) &&
                GetLastError() != ERROR_IO_PENDING) {
                failed = systemMessage(GetLastError());
                break;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (WaitForSingleObject(done, static_cast<DWORD>(std::max<std::int64_t>(left, 0))) !=
                WAIT_OBJECT_0) {
                CancelIoEx(file, &at);
                failed = "the label did not go out within " + seconds(kSendTime);
            }
            if (!GetOverlappedResult(file, &at, &written, TRUE) && failed.empty()) {
                failed = systemMessage(GetLastError());
            }
            if (failed.empty() && written == 0) {
                failed = "nothing could be written";
            }
            label.remove_prefix(std::min<std::size_t>(written, label.size()));
        }
        if (done == nullptr) {
            failed = systemMessage(GetLastError());
        } else {
            CloseHandle(done);
        }
        CloseHandle(file);
        return failed;
    }

    std::string path_;
    std::wstring wide_;
    std::string problem_;
};

// A printer of the Windows spooler, sent the label as one raw job: the
// spooler hands the bytes to the printer as they are.
class SpoolerLabelPrinter final : public LabelPrinter {
public:
    SpoolerLabelPrinter(std::string name, std::wstring wide)
        : name_(std::move(name)), wide_(std::move(wide)) {}

    bool print(std::string_view label) override {
        const std::string failed = spool(label);
        problem_ = failed.empty() ? std::string() : "printer:" + name_ + ": " + failed;
        return failed.empty();
    }

    std::string problem() const override { return problem_; }

private:
    std::string spool(std::string_view label) const {
        HANDLE printer = nullptr;
        if (!OpenPrinterW(const_cast<wchar_t*>(wide_.c_str()), &printer, nullptr)) {
            return systemMessage(GetLastError());
        }
        std::wstring document = L"dl250t label";
        std::wstring datatype = L"RAW";
        DOC_INFO_1W info{};
        info.pDocName = document.data();
        info.pOutputFile = nullptr;
        info.pDatatype = datatype.data();
        std::string failed;
        if (StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&info)) == 0) {
            failed = systemMessage(GetLastError());
        } else {
            while (failed.empty() && !label.empty()) {
                DWORD written = 0;
                const DWORD wanted =
                    static_cast<DWORD>(std::min<std::size_t>(label.size(), 1u << 20));
                if (!WritePrinter(printer, const_cast<char*>(label.data()), wanted, &written) ||
                    written == 0) {
                    failed = systemMessage(GetLastError());
                }
                label.remove_prefix(std::min<std::size_t>(written, label.size()));
            }
            // A job ended after a failure is left to the spooler as it is.
            if (!EndDocPrinter(printer) && failed.empty()) {
                failed = systemMessage(GetLastError());
            }
        }
        ClosePrinter(printer);
        return failed;
    }

    std::string name_;
    std::wstring wide_;
    std::string problem_;
};

class Socket {
public:
    explicit Socket(SOCKET socket) : socket_(socket) {}
    ~Socket() {
        if (socket_ != INVALID_SOCKET) {
            closesocket(socket_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return socket_; }

private:
    SOCKET socket_;
};

// Until the socket is ready to write (or has failed); false when the
// deadline passed first.
bool waitToWrite(SOCKET socket, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    const auto wait = std::max<std::int64_t>(left, 0);
    timeval timeout{static_cast<long>(wait / 1'000'000), static_cast<long>(wait % 1'000'000)};
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    return select(0, nullptr, &writable, &failed, &timeout) > 0;
}

struct Address {
    sockaddr_storage address{};
    int length = 0;
    int family = 0;
};

// A network printer's raw port: one connection per label, shut down once
// every byte was handed to the connection.
class TcpLabelPrinter final : public LabelPrinter {
public:
    TcpLabelPrinter(std::string shown, std::vector<Address> addresses)
        : shown_(std::move(shown)), addresses_(std::move(addresses)) {}

    bool print(std::string_view label) override {
        const std::string failed = deliver(label);
        problem_ = failed.empty() ? std::string() : shown_ + ": " + failed;
        return failed.empty();
    }

    std::string problem() const override { return problem_; }

private:
    std::string deliver(std::string_view label) const {
        std::string failed = "no address";
        const auto connectDeadline = Clock::now() + kConnectTime;
        for (const Address& address : addresses_) {
            const Socket socket(::socket(address.family, SOCK_STREAM, IPPROTO_TCP));
            u_long nonBlocking = 1;
            if (socket.get() == INVALID_SOCKET ||
                ioctlsocket(socket.get(), FIONBIO, &nonBlocking) != 0) {
                failed = systemMessage(static_cast<DWORD>(WSAGetLastError()));
                continue;
            }
            failed = connectTo(socket.get(), address, connectDeadline);
            if (failed.empty()) {
                return sendAll(socket.get(), label);
            }
        }
        return failed;
    }

    static std::string connectTo(SOCKET socket, const Address& address,
                                 Clock::time_point deadline) {
        if (connect(socket, reinterpret_cast<const sockaddr*>(&address.address), address.length) ==
            0) {
            return {};
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK) {
            return systemMessage(static_cast<DWORD>(WSAGetLastError()));
        }
        if (!waitToWrite(socket, deadline)) {
            return "no answer within " + seconds(kConnectTime);
        }
        int error = 0;
        int length = sizeof error;
        if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) !=
            0) {
            error = WSAGetLastError();
        }
        return error == 0 ? std::string() : systemMessage(static_cast<DWORD>(error));
    }

    static std::string sendAll(SOCKET socket, std::string_view label) {
        const auto deadline = Clock::now() + kSendTime;
        while (!label.empty()) {
            const int wanted = static_cast<int>(std::min<std::size_t>(label.size(), 1u << 20));
            const int sent = send(socket, label.data(), wanted, 0);
            if (sent > 0) {
                label.remove_prefix(static_cast<std::size_t>(sent));
            } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
                if (!waitToWrite(socket, deadline)) {
                    return "the label did not go out within " + seconds(kSendTime);
                }
            } else {
                return systemMessage(static_cast<DWORD>(WSAGetLastError()));
            }
        }
        // The end of the job; what the printer said is dropped unread.
        if (shutdown(socket, SD_SEND) != 0) {
            return systemMessage(static_cast<DWORD>(WSAGetLastError()));
        }
        std::array<char, 256> ignored{};
        while (recv(socket, ignored.data(), static_cast<int>(ignored.size()), 0) > 0) {
        }
        return {};
    }

    std::string shown_;
    std::vector<Address> addresses_;
    std::string problem_;
};

std::unique_ptr<LabelPrinter> makeTcpPrinter(const LabelDestination& destination,
                                             std::string& problem) {
    const std::string shown = "tcp://" + destination.host + ":" + destination.port;
    // Winsock stays started for the rest of the program.
    static const bool started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const auto host = utf8ToWide(destination.host);
    const auto port = utf8ToWide(destination.port);
    if (!started || !host || !port) {
        problem = shown + ": the network cannot be used";
        return nullptr;
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    if (const int error = GetAddrInfoW(host->c_str(), port->c_str(), &hints, &found); error != 0) {
        problem = shown + ": " + systemMessage(static_cast<DWORD>(error));
        return nullptr;
    }
    std::vector<Address> addresses;
    for (const ADDRINFOW* at = found; at != nullptr; at = at->ai_next) {
        if (at->ai_addrlen <= sizeof(sockaddr_storage)) {
            Address address;
            std::memcpy(&address.address, at->ai_addr, at->ai_addrlen);
            address.length = static_cast<int>(at->ai_addrlen);
            address.family = at->ai_family;
            addresses.push_back(address);
        }
    }
    FreeAddrInfoW(found);
    return std::make_unique<TcpLabelPrinter>(shown, std::move(addresses));
}

}  // namespace

std::unique_ptr<LabelPrinter> makeLabelPrinter(const LabelDestination& destination,
                                               std::string& problem) {
    if (destination.kind == LabelDestination::Kind::Tcp) {
        return makeTcpPrinter(destination, problem);
    }
    const auto wide = utf8ToWide(destination.name);
    if (!wide) {
        problem = destination.name + ": not valid UTF-8";
        return nullptr;
    }
    if (destination.kind == LabelDestination::Kind::Spooler) {
        return std::make_unique<SpoolerLabelPrinter>(destination.name, *wide);
    }
    return std::make_unique<FileLabelPrinter>(destination.name, *wide);
}

}  // namespace dl250t
