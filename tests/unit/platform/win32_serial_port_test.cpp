#include "platform/win32/win32_serial_port.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <numeric>
#include <string>
#include <vector>

#include "config/config_block.hpp"
#include "link/serial_bounds.hpp"
#include "link/serial_link.hpp"
#include "platform/win32/wide_text.hpp"

namespace dl250t {
namespace {

using ::testing::ElementsAre;

const HANDLE kPort = reinterpret_cast<HANDLE>(0x5A5A);

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(value));
    return text;
}

std::string pointer(const void* p) {
    return p == nullptr ? "null" : "set";
}

// Windows as a test sees it: every call is written down with its arguments,
// any call can be made to fail, and reads hand out scripted chunks.
class RecordingCommApi final : public CommApi {
public:
    HANDLE createFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                      LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                      DWORD flagsAndAttributes, HANDLE templateFile) override {
        record("CreateFileW " + wideToUtf8(fileName) + " access=" + hex(desiredAccess) +
               " share=" + hex(shareMode) + " security=" + pointer(securityAttributes) +
               " disposition=" + std::to_string(creationDisposition) +
               " flags=" + hex(flagsAndAttributes) + " template=" + pointer(templateFile));
        return failing == "CreateFileW" ? INVALID_HANDLE_VALUE : kPort;
    }
    BOOL getCommState(HANDLE file, LPDCB dcb) override {
        record("GetCommState" + handle(file) + " length=" + std::to_string(dcb->DCBlength));
        *dcb = portState;
        return succeeds("GetCommState");
    }
    BOOL buildCommDcb(LPCWSTR definition, LPDCB dcb) override {
        record("BuildCommDCBW " + wideToUtf8(definition));
        // What the description names, and nothing else.
        dcb->BaudRate = CBR_115200;
        dcb->Parity = NOPARITY;
        dcb->ByteSize = 8;
        dcb->StopBits = ONESTOPBIT;
        return succeeds("BuildCommDCBW");
    }
    BOOL setCommState(HANDLE file, LPDCB dcb) override {
        record("SetCommState" + handle(file));
        stateSet = *dcb;
        return succeeds("SetCommState");
    }
    BOOL setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS t) override {
        if (!reading) {
            record("SetCommTimeouts" + handle(file) + " " + std::to_string(t->ReadIntervalTimeout) +
                   "/" + std::to_string(t->ReadTotalTimeoutMultiplier) + "/" +
                   std::to_string(t->ReadTotalTimeoutConstant) + "/" +
                   std::to_string(t->WriteTotalTimeoutMultiplier) + "/" +
                   std::to_string(t->WriteTotalTimeoutConstant));
        }
        timeouts = *t;
        return succeeds("SetCommTimeouts");
    }
    BOOL setupComm(HANDLE file, DWORD inQueue, DWORD outQueue) override {
        record("SetupComm" + handle(file) + " " + std::to_string(inQueue) + " " +
               std::to_string(outQueue));
        return succeeds("SetupComm");
    }
    BOOL purgeComm(HANDLE file, DWORD flags) override {
        record("PurgeComm" + handle(file) + " " + hex(flags));
        return succeeds("PurgeComm");
    }
    BOOL writeFile(HANDLE file, LPCVOID, DWORD bytesToWrite, LPDWORD bytesWritten,
                   LPOVERLAPPED overlapped) override {
        record("WriteFile" + handle(file) + " " + std::to_string(bytesToWrite) +
               " overlapped=" + pointer(overlapped));
        timeoutsOfWrite = timeouts;
        *bytesWritten = std::min(bytesToWrite, writeLimit);
        return succeeds("WriteFile");
    }
    BOOL readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                  LPOVERLAPPED overlapped) override {
        ++readCalls;
        EXPECT_EQ(file, kPort);
        EXPECT_EQ(overlapped, nullptr);
        // Zero total timeouts would let a silent port hold the read forever.
        EXPECT_TRUE(timeouts.ReadTotalTimeoutConstant > 0 ||
                    timeouts.ReadTotalTimeoutMultiplier > 0);
        EXPECT_LE(timeouts.ReadTotalTimeoutConstant, 568u);
        *bytesRead = 0;
        if (chunks.empty()) {
            return TRUE;
        }
        std::vector<std::uint8_t> chunk = std::move(chunks.front());
        chunks.pop_front();
        if (chunk.empty()) {
            return FALSE;  // an empty chunk stands for a platform error
        }
        const DWORD n = std::min<DWORD>(bytesToRead, static_cast<DWORD>(chunk.size()));
        std::copy_n(chunk.begin(), n, static_cast<std::uint8_t*>(buffer));
        *bytesRead = n;
        return TRUE;
    }
    BOOL closeHandle(HANDLE object) override {
        record("CloseHandle" + handle(object));
        return TRUE;
    }

    std::string failing;  // the call that fails
    DCB portState{};      // what GetCommState finds on the port
    DCB stateSet{};       // what SetCommState was given
    COMMTIMEOUTS timeouts{};
    COMMTIMEOUTS timeoutsOfWrite{};                // in effect during the last WriteFile
    DWORD writeLimit = MAXDWORD;                   // bytes a WriteFile takes before its timeout
    std::deque<std::vector<std::uint8_t>> chunks;  // one per ReadFile
    int readCalls = 0;
    bool reading = false;  // timeouts set during a read are not part of the log
    std::vector<std::string> calls;

private:
    void record(std::string call) { calls.push_back(std::move(call)); }
    std::string handle(HANDLE file) const { return file == kPort ? "" : " (wrong handle)"; }
    BOOL succeeds(const std::string& call) const { return failing == call ? FALSE : TRUE; }
};

// A port as a previous program may have left it: every kind of flow control
// on, bytes replaced or dropped on errors, the modem lines as handshakes.
DCB portLeftByAnotherProgram() {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = CBR_9600;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = FALSE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fNull = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fAbortOnError = TRUE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    return dcb;
}

const std::vector<std::string> kOpenSequence{
    "CreateFileW \\\\.\\COM7 access=0xC0000000 share=0x0 security=null disposition=3 flags=0x0 "
    "template=null",
    "GetCommState length=28",
    "BuildCommDCBW baud=115200 parity=N data=8 stop=1",
    "SetCommState",
    "SetCommTimeouts 1/1/50/0/0",
    "SetupComm 1024 1024",
    "PurgeComm 0xF",
};

struct Win32SerialPortTest : ::testing::Test {
    Win32SerialPortTest() { api.portState = portLeftByAnotherProgram(); }

    RecordingCommApi api;
    Win32SerialPortFactory ports{api};
};

TEST_F(Win32SerialPortTest, OpenMakesExactlyTheSystemsCallsInOrderAndCloseReleasesThePort) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM7"));
    EXPECT_EQ(api.calls, kOpenSequence);
    link.close();
    EXPECT_EQ(api.calls.back(), "CloseHandle");
    EXPECT_EQ(api.calls.size(), kOpenSequence.size() + 1);
}

TEST_F(Win32SerialPortTest, ARefusedStepClosesThePortAndNothingFollowsIt) {
    // Each configuration step in turn; a refused purge does not matter.
    for (std::size_t step = 0; step < kOpenSequence.size(); ++step) {
        const std::string call = kOpenSequence[step].substr(0, kOpenSequence[step].find(' '));
        api.failing = call;
        api.calls.clear();
        SerialLink link(ports);
        const bool opened = link.open("COM7");
        link.close();

        std::vector<std::string> expected(kOpenSequence.begin(),
                                          kOpenSequence.begin() + static_cast<long>(step) + 1);
        if (call != "CreateFileW") {
            if (call == "PurgeComm") {
                expected = kOpenSequence;
            }
            expected.push_back("CloseHandle");
        }
        EXPECT_EQ(opened, call == "PurgeComm") << call;
        EXPECT_EQ(api.calls, expected) << call;
    }
}

TEST_F(Win32SerialPortTest, TheLineIsRaw115200EightNoneOneWhateverThePortWasLeftWith) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM7"));
    const DCB& dcb = api.stateSet;
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(CBR_115200));
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    // Every byte value passes both ways: no XON/XOFF, no handshakes, nothing
    // replaced, dropped or stopped on a line error.
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fDsrSensitivity, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fNull, 0u);
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
    // What nothing asked to change stays as the port had it.
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.ErrorChar, '?');
}

TEST_F(Win32SerialPortTest, PortNamesBecomeDeviceNames) {
    const std::pair<std::string, std::string> names[] = {
        {"COM7", "\\\\.\\COM7"},
        {"com12", "\\\\.\\COM12"},
        {"COM256", "\\\\.\\COM256"},
        {"\\\\.\\COM3", "\\\\.\\COM3"},
        {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
        {"COM", ""},
        {"COM0", ""},
        {"COM07", ""},
        {"COM7 ", ""},
        {"COMx", ""},
        {"LPT1", ""},
        {"/dev/ttyUSB0", ""},
        {"\\\\.\\", ""},
        {"", ""},
    };
    for (const auto& [name, device] : names) {
        const auto path = win32DevicePath(name);
        EXPECT_EQ(path ? wideToUtf8(*path) : std::string(), device) << name;
    }
    // A name that is no port never reaches CreateFile.
    SerialLink link(ports);
    EXPECT_FALSE(link.open("LPT1"));
    EXPECT_TRUE(api.calls.empty());
}

TEST_F(Win32SerialPortTest, ABlockArrivingIn62BytePacketsIsReadWhole) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM7"));
    std::vector<std::uint8_t> sent(kBlockSize);
    std::iota(sent.begin(), sent.end(), 0);
    for (std::size_t at = 0; at < sent.size(); at += 62) {
        api.chunks.emplace_back(sent.begin() + static_cast<long>(at),
                                sent.begin() + static_cast<long>(std::min(at + 62, sent.size())));
    }
    api.reading = true;
    std::vector<std::uint8_t> received(kBlockSize);
    const ReadResult result = link.read(received);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.count, kBlockSize);
    EXPECT_EQ(received, sent);
    EXPECT_EQ(api.readCalls, 9);
}

TEST_F(Win32SerialPortTest, APlatformErrorEndsTheReadWithTheBytesSoFar) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM7"));
    api.chunks = {{1, 2, 3}, {}};
    api.reading = true;
    std::vector<std::uint8_t> received(kBlockSize, 0xEE);
    const ReadResult result = link.read(received);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.count, 3u);
    EXPECT_THAT(std::vector<std::uint8_t>(received.begin(), received.begin() + 4),
                ElementsAre(1, 2, 3, 0xEE));
}

// Bounded by the block's 45 ms on the line and the margin: an adapter that
// stops taking bytes ends the write as failed, its bytes dropped.
TEST_F(Win32SerialPortTest, AWriteIsOneSynchronousWriteFileOfAllBytesWithABound) {
    SerialLink link(ports);
    ASSERT_TRUE(link.open("COM7"));
    const std::vector<std::uint8_t> block(kBlockSize, 0x11);
    EXPECT_TRUE(link.write(block));
    EXPECT_EQ(api.calls.back(), "WriteFile 518 overlapped=null");
    EXPECT_EQ(api.timeoutsOfWrite.WriteTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(api.timeoutsOfWrite.WriteTotalTimeoutConstant, 45u + kWriteMargin.count());

    api.writeLimit = 100;
    EXPECT_FALSE(link.write(block));
    EXPECT_EQ(api.calls.back(), "PurgeComm 0x5");
    api.writeLimit = MAXDWORD;
    api.failing = "WriteFile";
    EXPECT_FALSE(link.write(block));
}

}  // namespace
}  // namespace dl250t
