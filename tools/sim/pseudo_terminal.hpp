#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dl250t {

// A pseudo-terminal pair standing in for a serial adapter: the slave side is
// the device a tool opens, the master side is the module's end of the line.
// Both sides are raw. The pair keeps a slave descriptor of its own open, so
// the master never sees a hang-up while tools open and close the device.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool open();
    // Closes both sides; a tool that still has the device open sees it vanish.
    void close();
    bool isOpen() const { return master_ >= 0; }

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

    // Sends bytes towards the device's reader. False when the line is gone.
    bool send(std::span<const std::uint8_t> bytes);

    // What the device's writer sent: up to `wanted` bytes, waiting at most
    // `timeout` in all.
    std::vector<std::uint8_t> receive(std::size_t wanted, std::chrono::milliseconds timeout);

private:
    int master_ = -1;
    int heldSlave_ = -1;
    std::string slavePath_;
};

}  // namespace dl250t
