#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "config/config_block.hpp"
#include "sim/pseudo_terminal.hpp"
#include "sim/simulated_fault.hpp"

namespace dl250t {

// One byte on the line at 115200 baud: start bit, 8 data bits, stop bit.
inline constexpr std::chrono::nanoseconds kLineByteTime{86'806};

// The block a simulated module holds unless told otherwise: a 433 MHz node
// as it leaves the factory, encoded from its settings as the tool writes them.
ConfigBlock defaultSimulatedBlock();

struct SimulatedModuleOptions {
    std::filesystem::path portDirectory;
    int comNumber = 0;  // 0: the lowest number from 1 that has no link yet
    ConfigBlock block = defaultSimulatedBlock();
    bool pace = false;  // send at the line rate instead of all at once
    SimulatedFault fault;
    // When set, every stored block is also saved there, once it is acknowledged.
    std::filesystem::path storeFile;
    // One line per event, from whichever thread saw it.
    std::function<void(std::string_view)> onEvent;
};

// A module on a pseudo-terminal. Plugging in creates the pair and the link
// COMn in the port directory and starts answering on a thread of its own:
// "ATR0" with the block it holds, a written block (518 bytes from "ATW0") by
// storing it and answering "ATOK". Unplugging, or destroying the module,
// stops the thread, removes the link and closes the line.
class SimulatedModule {
public:
    explicit SimulatedModule(SimulatedModuleOptions options);
    ~SimulatedModule();
    SimulatedModule(const SimulatedModule&) = delete;
    SimulatedModule& operator=(const SimulatedModule&) = delete;

    // False, with lastError() saying why, when the port directory is refused,
    // the COM name is taken or the pseudo-terminal cannot be made.
    bool plugIn();
    void unplug();

    // False once unplugged, including by a hang-up fault.
    bool isPluggedIn() const { return pluggedIn_; }
    std::string portName() const;
    std::string devicePath() const;
    std::string lastError() const;

    void setFault(const SimulatedFault& fault);
    void setPace(bool pace);

    // The block the next read request is answered with.
    ConfigBlock block() const;
    void setBlock(const ConfigBlock& block);

    std::size_t readRequests() const;
    std::size_t storedCount() const;
    std::optional<ConfigBlock> lastStored() const;

    // Puts bytes on the line unasked, as a module might after a reset.
    bool sendUnsolicited(std::span<const std::uint8_t> bytes);

private:
    void run();
    void handle(std::vector<std::uint8_t>& received,
                std::chrono::steady_clock::time_point firstReceived);
    void answerRead();
    void answerWrite(const ConfigBlock& written);
    // Sends an answer as the fault shapes it; false when the line went dead.
    bool sendAnswer(std::span<const std::uint8_t> bytes, const SimulatedFault& fault);
    bool sendBytes(std::span<const std::uint8_t> bytes, bool pace);
    bool waitWritable();
    bool sleepFor(std::chrono::nanoseconds duration);
    void hangUp();
    void removeLink();
    void event(const std::string& text);

    SimulatedModuleOptions options_;
    mutable std::mutex mutex_;  // guards the fields below it
    ConfigBlock block_;
    SimulatedFault fault_;
    bool pace_ = false;
    std::size_t readRequests_ = 0;
    std::vector<ConfigBlock> stored_;
    std::string portName_;
    std::string devicePath_;
    std::string lastError_;

    std::mutex lineMutex_;  // guards closing the line against sendUnsolicited
    PseudoTerminal line_;
    std::filesystem::path link_;
    std::atomic<bool> pluggedIn_{false};
    std::atomic<bool> stopping_{false};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
};

}  // namespace dl250t
