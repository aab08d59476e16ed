#include "platform/posix/posix_serial_port.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <future>
#include <numeric>
#include <thread>
#include <vector>

#include "config/config_block.hpp"
#include "link/serial_link.hpp"
#include "sim/pseudo_terminal.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> everyByteValue() {
    std::vector<std::uint8_t> bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    return bytes;
}

class PosixSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.open()); }

    testing::TempDir dir;
    PseudoTerminal line;
    PosixSerialPortFactory ports{dir / "ports"};
};

// Leaves the line as a terminal would have it: line editing, echo, CR/LF
// translation, 7-bit input, XON/XOFF, signals.
void makeCooked(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    t.c_iflag |= ICRNL | ISTRIP | IXON | IXOFF;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

TEST_F(PosixSerialPortTest, EveryByteValuePassesUnchangedBothWays) {
    makeCooked(line.slavePath());
    SerialLink link(ports);
    ASSERT_TRUE(link.open(line.slavePath()));
    const std::vector<std::uint8_t> bytes = everyByteValue();

    ASSERT_TRUE(link.write(bytes));
    EXPECT_EQ(line.receive(bytes.size(), 2s), bytes);

    ASSERT_TRUE(line.send(bytes));
    std::vector<std::uint8_t> received(bytes.size());
    const ReadResult result = link.read(received);
    EXPECT_TRUE(result.ok);
    ASSERT_EQ(result.count, bytes.size());
    EXPECT_EQ(received, bytes);
}

TEST_F(PosixSerialPortTest, BytesSentBeforeTheOpenAreNeverDelivered) {
    ASSERT_TRUE(line.send(everyByteValue()));
    std::this_thread::sleep_for(20ms);
    SerialLink link(ports);
    ASSERT_TRUE(link.open(line.slavePath()));
    std::array<std::uint8_t, 8> buffer{};
    const ReadResult result = link.read(buffer);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.count, 0u);
}

TEST_F(PosixSerialPortTest, AReadNeverTakesMoreThanWantedAndTheRestGoesWithTheLink) {
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open(line.slavePath()));
        ASSERT_TRUE(line.send(std::vector<std::uint8_t>{'A', 'T', 'O', 'K', 'x', 'y', 'z'}));
        std::array<std::uint8_t, 6> buffer{0, 0, 0, 0, '-', '-'};
        const ReadResult result = link.read(std::span(buffer).first(4));
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.count, 4u);
        EXPECT_EQ(std::string(buffer.begin(), buffer.end()), "ATOK--");
    }
    SerialLink link(ports);
    ASSERT_TRUE(link.open(line.slavePath()));
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(link.read(buffer).count, 0u);
}

TEST_F(PosixSerialPortTest, ThePortIsHeldExclusivelyUntilClosed) {
    SerialLink first(ports);
    SerialLink second(ports);
    ASSERT_TRUE(first.open(line.slavePath()));
    EXPECT_FALSE(second.open(line.slavePath()));

    // TIOCEXCL keeps out openers that take no lock (all but root), and the
    // flag, which is the tty's own, must not outlive the link.
    int probe = ::open(line.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (getuid() == 0) {
        ASSERT_GE(probe, 0);
        int exclusive = 0;
        ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        first.close();
        ASSERT_EQ(ioctl(probe, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
    } else {
        EXPECT_LT(probe, 0);
        first.close();
        probe = ::open(line.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(probe, 0);
    }
    if (probe >= 0) {
        ::close(probe);
    }
    first.close();
    EXPECT_TRUE(second.open(line.slavePath()));
}

TEST_F(PosixSerialPortTest, OnlyExistingTerminalsOpen) {
    SerialLink link(ports);
    EXPECT_FALSE(link.open((dir / "missing").string()));
    EXPECT_FALSE(link.open("/dev/null"));  // a device, but not a terminal
    EXPECT_FALSE(link.open("ttyUSB0"));    // neither a path nor a COM name
    EXPECT_FALSE(link.isOpen());
}

TEST_F(PosixSerialPortTest, ALineThatGoesAwayIsAReadError) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open(line.slavePath()));
    ASSERT_TRUE(line.send(std::vector<std::uint8_t>(10, 0x55)));
    line.close();
    std::array<std::uint8_t, kBlockSize> buffer{};
    EXPECT_FALSE(link.read(buffer).ok);
    EXPECT_FALSE(link.write(buffer));
}

// An adapter that stops taking bytes (here the line's output is suspended)
// held the write in poll() for ever, and the window with it. The write now
// ends with a failure once the bytes have had their time on the line, and
// the port can be closed and used again.
TEST_F(PosixSerialPortTest, AWriteTheLineDoesNotTakeFailsInsteadOfHanging) {
    const int flow = ::open(line.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(flow, 0);
    {
        SerialLink link(ports);
        ASSERT_TRUE(link.open(line.slavePath()));
        ASSERT_EQ(tcflow(flow, TCOOFF), 0);
        const std::vector<std::uint8_t> block(kBlockSize, 0x55);
        auto writing = std::async(std::launch::async, [&] { return link.write(block); });
        // Only a guard against a hang, not a measure of speed.
        const bool ended = writing.wait_for(20s) == std::future_status::ready;
        ASSERT_EQ(tcflow(flow, TCOON), 0);  // lets a hanging write go, so that the test ends
        EXPECT_TRUE(ended) << "the write hung";
        EXPECT_FALSE(writing.get());
    }
    SerialLink again(ports);
    ASSERT_TRUE(again.open(line.slavePath()));
    ASSERT_TRUE(again.write(everyByteValue()));
    EXPECT_EQ(line.receive(256, 2s), everyByteValue());
    ::close(flow);
}

}  // namespace
}  // namespace dl250t
