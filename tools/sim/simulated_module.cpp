#include "sim/simulated_module.hpp"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <random>
#include <stdexcept>

#include "config/config_file.hpp"
#include "config/module_identity.hpp"
#include "config/rate_defaults.hpp"
#include "config/settings_codec.hpp"
#include "platform/posix/port_directory.hpp"
#include "platform/posix/port_names.hpp"
#include "platform/system_files.hpp"

namespace dl250t {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view kReadRequestText = "ATR0";
constexpr std::string_view kWriteHeaderText = "ATW0";
constexpr std::string_view kAckText = "ATOK";
constexpr std::string_view kShortAckText = "ATO";
constexpr std::string_view kWrongAckText = "ATER";
// The byte a corrupt-store fault changes.
constexpr std::size_t kCorruptedByte = block::kNetworkIdLow;
// A request that stalls half-way for this long is dropped, so that the next
// one is understood.
constexpr auto kStalledRequest = std::chrono::milliseconds(500);

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool startsLikeRequest(const std::vector<std::uint8_t>& bytes) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 4);
    const auto matches = [&](std::string_view request) {
        return std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n),
                          request.begin());
    };
    return matches(kReadRequestText) || matches(kWriteHeaderText);
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t b : bytes) {
        std::array<char, 4> part{};
        std::snprintf(part.data(), part.size(), text.empty() ? "%02X" : " %02X", b);
        text += part.data();
    }
    return text;
}

// The identity a 433 MHz node of the 10 dBm class with a 26 MHz crystal
// reports: the type at byte 28 ('N'), the power class at 30 ('1'), the band at
// 31..32 ("33") and the crystal at 34 ('6').
constexpr std::string_view kFactoryIdentity = "Lorandix AMR Ver Moudle N 13306";
constexpr std::uint8_t kFactoryVersionMajor = 1;
constexpr std::uint8_t kFactoryVersionMinor = 8;

// What the factory sets for a node of a meter-reading network. The meters
// speak a protocol whose frames run from 68 to 16, with six-byte addresses
// from the second byte, the length at the tenth and twelve bytes around the
// data, a broadcast address of 99s, wildcards of AAs, and four wake-up bytes.
ModuleSettings factorySettings() {
    ModuleSettings s;
    // The 42nd module of a production run started at 2024-05-24 14:27:12 UTC:
    // the tool numbers modules from the time the run started.
    s.serialText = "66 50 A3 C0 00 2A";
    s.networkId = 1001;
    s.startFrequencyMHz = 433.875;  // a whole number of frequency steps
    s.defaultRateIndex = 7;         // 9.6kbps
    s.rateUpperIndex = 5;           // 38.4kbps
    s.rateLowerIndex = 10;          // 2.4kbps
    s.rfPowerIndex = 0;             // +10dBm
    s.sleepEnabled = 1;
    s.sleepRatio = 100;
    s.repeatEnabled = 1;
    s.deviceCountIndex = 1;  // one meter
    s.hostBootTimeMs = 500;
    s.responseTimeoutMs = 1000;
    s.syncIntervalS = 600;
    s.uartBaudIndex = 4;  // 9600, with start bit low, no parity and one stop bit
    s.frameStartSync = 0x68;
    s.frameEndSync = 0x16;
    s.frameCheckIndex = 3;  // head and tail
    s.addressLength = 6;
    s.downlinkAddressOffset = 1;
    s.uplinkAddressOffset = 1;
    s.lengthOffset = 9;
    s.lengthCorrection = 12;
    s.broadcastWildcard = 0x99;
    s.multicastWildcard = 0xAA;
    s.uartWakeBytes = 4;
    // The timings and the channel plan as choosing the two rates derives them.
    deriveDefaultRateTimings(s);
    deriveRateUpperLimitValues(s);
    applyChannelPlan(s, false);
    return s;
}

ConfigBlock makeFactoryBlock() {
    ConfigBlock block;
    std::copy(kFactoryIdentity.begin(), kFactoryIdentity.end(),
              block.bytes.begin() + block::kIdentity);
    block[block::kVersionMajor] = kFactoryVersionMajor;
    block[block::kVersionMinor] = kFactoryVersionMinor;

    // Encoded the way the tool writes a module, with the module's identity.
    ModuleSettings identityTexts;
    ModuleIdentity identity;
    decodeIdentity(block, identityTexts, identity);
    ModuleSettings settings = factorySettings();
    EncodeHooks hooks;
    hooks.warn = [](const std::string& warning) {
        throw std::logic_error("factory setting out of range: " + warning);
    };
    encodeSettings(settings, identity, block, hooks);
    stampHeaderAndCrc(block);
    return block;
}

}  // namespace

ConfigBlock defaultSimulatedBlock() {
    static const ConfigBlock block = makeFactoryBlock();
    return block;
}

SimulatedModule::SimulatedModule(SimulatedModuleOptions options)
    : options_(std::move(options)),
      block_(options_.block),
      fault_(options_.fault),
      pace_(options_.pace) {}

SimulatedModule::~SimulatedModule() {
    unplug();
}

void SimulatedModule::event(const std::string& text) {
    if (options_.onEvent) {
        options_.onEvent(text);
    }
}

bool SimulatedModule::plugIn() {
    if (pluggedIn_ || thread_.joinable()) {
        unplug();
    }
    const auto fail = [this](std::string why) {
        std::lock_guard lock(mutex_);
        lastError_ = std::move(why);
        return false;
    };
    const PortDirectoryState state = preparePortDirectory(options_.portDirectory);
    if (state != PortDirectoryState::Ready) {
        return fail("port directory " + options_.portDirectory.string() + " " +
                    std::string(portDirectoryStateText(state)));
    }
    if (!line_.open()) {
        return fail("cannot create a pseudo-terminal");
    }

    const auto tryLink = [this](int number) {
        const fs::path link = options_.portDirectory / comName(number);
        if (symlink(line_.slavePath().c_str(), link.c_str()) == 0) {
            return true;
        }
        struct stat target {};
        // A link left behind by a module that is gone is taken over.
        if (errno == EEXIST && stat(link.c_str(), &target) != 0 && errno == ENOENT &&
            unlink(link.c_str()) == 0) {
            return symlink(line_.slavePath().c_str(), link.c_str()) == 0;
        }
        return false;
    };
    int number = options_.comNumber;
    if (number != 0) {
        if (!tryLink(number)) {
            line_.close();
            return fail(comName(number) + " is already plugged in");
        }
    } else {
        for (number = 1; number <= kMaxComNumber && !tryLink(number); ++number) {
        }
        if (number > kMaxComNumber) {
            line_.close();
            return fail("no free COM number");
        }
    }

    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        unlink((options_.portDirectory / comName(number)).c_str());
        line_.close();
        return fail("cannot create a pipe");
    }
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
    link_ = options_.portDirectory / comName(number);
    {
        std::lock_guard lock(mutex_);
        portName_ = comName(number);
        devicePath_ = line_.slavePath();
        lastError_.clear();
    }
    stopping_ = false;
    pluggedIn_ = true;
    event("plugged in as " + portName_ + " -> " + devicePath_);
    thread_ = std::thread([this] { run(); });
    return true;
}

void SimulatedModule::unplug() {
    if (thread_.joinable()) {
        stopping_ = true;
        const char wake = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    if (wakeRead_ >= 0) {
        ::close(wakeRead_);
        ::close(wakeWrite_);
        wakeRead_ = wakeWrite_ = -1;
    }
    if (pluggedIn_) {
        removeLink();
        std::lock_guard lock(lineMutex_);
        line_.close();
        pluggedIn_ = false;
        event("unplugged " + portName());
    }
}

void SimulatedModule::removeLink() {
    // Only our own link goes; another module may have taken the name since.
    std::error_code ec;
    if (!link_.empty() && fs::read_symlink(link_, ec) == fs::path(line_.slavePath())) {
        fs::remove(link_, ec);
    }
}

void SimulatedModule::hangUp() {
    removeLink();
    pluggedIn_ = false;
    {
        std::lock_guard lock(lineMutex_);
        line_.close();
    }
    event("unplugged " + portName());
}

std::string SimulatedModule::portName() const {
    std::lock_guard lock(mutex_);
    return portName_;
}

std::string SimulatedModule::devicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

std::string SimulatedModule::lastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

void SimulatedModule::setFault(const SimulatedFault& fault) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
}

void SimulatedModule::setPace(bool pace) {
    std::lock_guard lock(mutex_);
    pace_ = pace;
}

ConfigBlock SimulatedModule::block() const {
    std::lock_guard lock(mutex_);
    return block_;
}

void SimulatedModule::setBlock(const ConfigBlock& block) {
    std::lock_guard lock(mutex_);
    block_ = block;
}

std::size_t SimulatedModule::readRequests() const {
    std::lock_guard lock(mutex_);
    return readRequests_;
}

std::size_t SimulatedModule::storedCount() const {
    std::lock_guard lock(mutex_);
    return stored_.size();
}

std::optional<ConfigBlock> SimulatedModule::lastStored() const {
    std::lock_guard lock(mutex_);
    if (stored_.empty()) {
        return std::nullopt;
    }
    return stored_.back();
}

bool SimulatedModule::sendUnsolicited(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(lineMutex_);
    return line_.isOpen() && line_.send(bytes);
}

void SimulatedModule::run() {
    std::vector<std::uint8_t> received;
    Clock::time_point lastReceived = Clock::now();
    Clock::time_point firstReceived = lastReceived;
    while (!stopping_ && line_.isOpen()) {
        std::array<pollfd, 2> fds{{{line_.masterFd(), POLLIN, 0}, {wakeRead_, POLLIN, 0}}};
        const int timeoutMs = received.empty() ? -1 : 100;
        if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR) {
            break;
        }
        if (fds[1].revents != 0) {
            continue;  // the loop head sees the stop request
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::array<std::uint8_t, 1024> chunk{};
            const ssize_t n = ::read(line_.masterFd(), chunk.data(), chunk.size());
            if (n > 0) {
                if (received.empty()) {
                    firstReceived = Clock::now();
                }
                received.insert(received.end(), chunk.begin(), chunk.begin() + n);
                lastReceived = Clock::now();
                handle(received, firstReceived);
            }
        } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            sleepFor(std::chrono::milliseconds(10));
        }
        if (!received.empty() && Clock::now() - lastReceived > kStalledRequest) {
            event("incomplete request dropped (" + std::to_string(received.size()) + " bytes)");
            received.clear();
        }
    }
}

void SimulatedModule::handle(std::vector<std::uint8_t>& received, Clock::time_point firstReceived) {
    // A paced module hears a request no sooner than the line can carry it:
    // a pseudo-terminal delivers the tool's bytes at once, a UART does not.
    const auto heard = [&](std::size_t length) {
        bool pace = false;
        {
            std::lock_guard lock(mutex_);
            pace = pace_;
        }
        if (pace) {
            std::this_thread::sleep_until(firstReceived +
                                          kLineByteTime * static_cast<std::int64_t>(length));
        }
        firstReceived = Clock::now();
    };
    while (!received.empty() && line_.isOpen()) {
        std::size_t stray = 0;
        while (!received.empty() && !startsLikeRequest(received)) {
            received.erase(received.begin());
            ++stray;
        }
        if (stray > 0) {
            event("ignored " + std::to_string(stray) + " stray bytes");
        }
        if (received.size() < kReadRequestText.size()) {
            return;
        }
        if (std::equal(kReadRequestText.begin(), kReadRequestText.end(), received.begin())) {
            received.erase(received.begin(), received.begin() + 4);
            heard(kReadRequestText.size());
            answerRead();
        } else if (received.size() >= kBlockSize) {
            ConfigBlock written;
            std::copy_n(received.begin(), kBlockSize, written.bytes.begin());
            received.erase(received.begin(), received.begin() + kBlockSize);
            heard(kBlockSize);
            answerWrite(written);
        } else {
            return;  // the rest of a written block is still on its way
        }
    }
}

void SimulatedModule::answerRead() {
    SimulatedFault fault;
    ConfigBlock answer;
    {
        std::lock_guard lock(mutex_);
        ++readRequests_;
        fault = fault_;
        answer = block_;
    }
    event("request ATR0");
    std::size_t length = kBlockSize;
    switch (fault.kind) {
        case SimulatedFault::Kind::Silent:
            event("no answer (silent)");
            return;
        case SimulatedFault::Kind::Short:
            length = std::min(fault.offset, kBlockSize);
            break;
        case SimulatedFault::Kind::BadCrc:
            answer[block::kCrc] ^= 0xFF;
            break;
        case SimulatedFault::Kind::BadKeyword:
            answer[block::kIdentity] = 'l';
            stampHeaderAndCrc(answer);
            break;
        case SimulatedFault::Kind::Garbage: {
            std::mt19937 random{std::random_device{}()};
            for (std::uint8_t& b : answer.bytes) {
                b = static_cast<std::uint8_t>(random());
            }
            // Never by chance a valid block.
            answer[block::kIdentity] = static_cast<std::uint8_t>(~'L');
            break;
        }
        default:
            break;
    }
    if (sendAnswer(std::span(answer.bytes).first(length), fault)) {
        event("block sent (" + std::to_string(length) + " bytes)");
    }
}

void SimulatedModule::answerWrite(const ConfigBlock& written) {
    SimulatedFault fault;
    {
        std::lock_guard lock(mutex_);
        fault = fault_;
    }
    event("request ATW0");
    if (fault.kind == SimulatedFault::Kind::Silent) {
        event("no answer (silent)");
        return;
    }
    const BlockCheck check = validateBlock(written, kBlockSize);
    std::string_view ack = kAckText;
    std::optional<ConfigBlock> stored;
    if (check != BlockCheck::Ok) {
        event("block rejected (" + std::string(blockCheckName(check)) + ")");
        ack = kWrongAckText;
    } else {
        ConfigBlock kept = written;
        if (fault.kind == SimulatedFault::Kind::CorruptStore) {
            kept[kCorruptedByte] ^= 0x01;
            stampHeaderAndCrc(kept);
            event("byte " + std::to_string(kCorruptedByte) + " stored changed");
        }
        {
            std::lock_guard lock(mutex_);
            block_ = kept;
            stored_.push_back(kept);
        }
        event("block stored, serial number " +
              hexBytes(std::span(kept.bytes).subspan(block::kSerial, block::kSerialSize)));
        stored = kept;
    }
    switch (fault.kind) {
        case SimulatedFault::Kind::NoAck:
            event("acknowledgement withheld");
            break;
        case SimulatedFault::Kind::ShortAck:
            ack = kShortAckText;
            break;
        case SimulatedFault::Kind::WrongAck:
            ack = kWrongAckText;
            break;
        default:
            break;
    }
    if (fault.kind != SimulatedFault::Kind::NoAck && sendAnswer(bytesOf(ack), fault)) {
        event("acknowledgement sent (" + std::string(ack) + ")");
    }
    // The copy on disk is made after the answer: it is flushed to disk, which
    // on a busy machine can take longer than the tool waits for "ATOK". The
    // module's thread finishes it before it reads the next request or stops.
    if (stored && !options_.storeFile.empty()) {
        ConfigBlock copy = *stored;
        if (saveConfigFile(*makeSystemFileStore(), options_.storeFile.string(), copy) !=
            Outcome::FileWritten) {
            event("cannot save " + options_.storeFile.string());
        }
    }
}

bool SimulatedModule::sendAnswer(std::span<const std::uint8_t> bytes, const SimulatedFault& fault) {
    bool pace = false;
    {
        std::lock_guard lock(mutex_);
        pace = pace_;
    }
    if (fault.kind == SimulatedFault::Kind::Hangup) {
        const std::size_t sent = std::min(fault.offset, bytes.size());
        sendBytes(bytes.first(sent), pace);
        // Give the bytes time to reach the reader before the line goes.
        sleepFor(std::chrono::milliseconds(5));
        event("hung up after " + std::to_string(sent) + " bytes");
        hangUp();
        return false;
    }
    if (fault.kind == SimulatedFault::Kind::Bursts && fault.offset > 0) {
        for (std::size_t sent = 0; sent < bytes.size(); sent += fault.offset) {
            if (sent > 0 && !sleepFor(fault.pause)) {
                return false;
            }
            if (!sendBytes(bytes.subspan(sent, std::min(fault.offset, bytes.size() - sent)),
                           pace)) {
                return false;
            }
        }
        return true;
    }
    if (fault.kind == SimulatedFault::Kind::Pause && fault.offset < bytes.size()) {
        if (!sendBytes(bytes.first(fault.offset), pace)) {
            return false;
        }
        event("pausing " + std::to_string(fault.pause.count()) + " ms after " +
              std::to_string(fault.offset) + " bytes");
        if (!sleepFor(fault.pause)) {
            return false;
        }
        return sendBytes(bytes.subspan(fault.offset), pace);
    }
    return sendBytes(bytes, pace);
}

bool SimulatedModule::sendBytes(std::span<const std::uint8_t> bytes, bool pace) {
    // Paced bytes are due at fixed times from the start, so that a late
    // wake-up sends what is overdue at once instead of shifting every later byte.
    const Clock::time_point start = Clock::now();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        if (stopping_) {
            return false;
        }
        std::size_t due = bytes.size();
        if (pace) {
            const auto elapsed = Clock::now() - start;
            due = std::min(bytes.size(), static_cast<std::size_t>(elapsed / kLineByteTime) + 1);
        }
        if (due > sent) {
            const ssize_t n = ::write(line_.masterFd(), bytes.data() + sent, due - sent);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                if (!waitWritable()) {
                    return false;
                }
                continue;
            }
            if (!(n < 0 && errno == EINTR)) {
                return false;
            }
            continue;
        }
        std::this_thread::sleep_until(start + kLineByteTime * static_cast<std::int64_t>(sent));
    }
    return true;
}

bool SimulatedModule::waitWritable() {
    std::array<pollfd, 2> fds{{{line_.masterFd(), POLLOUT, 0}, {wakeRead_, POLLIN, 0}}};
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) {
        return false;
    }
    return !stopping_ && (fds[0].revents & (POLLHUP | POLLERR)) == 0;
}

bool SimulatedModule::sleepFor(std::chrono::nanoseconds duration) {
    pollfd wake{wakeRead_, POLLIN, 0};
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(duration).count();
    poll(&wake, 1, static_cast<int>(ms));
    return !stopping_;
}

}  // namespace dl250t
