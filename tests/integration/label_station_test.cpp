// Labels and JSON records as a production line gets them: dl250t-cli station
// and write over simulated modules, a local listener standing in for the
// network label printer, and the journal they leave.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli_app.hpp"
#include "config/config_file.hpp"
#include "platform/posix/posix_file_store.hpp"
#include "production/csv_journal.hpp"
#include "sim/simulated_module.hpp"
#include "support/running_program.hpp"
#include "support/temp_dir.hpp"

namespace dl250t {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::RunningProgram;

const std::string kCli = DL250T_CLI_PROGRAM;

// A network printer's raw port on the loopback: every connection is one job,
// kept whole once the sender has closed it.
class PrinterStandIn {
public:
    PrinterStandIn() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    ~PrinterStandIn() {
        shutdown(fd_, SHUT_RDWR);
        if (accepting_.joinable()) {
            accepting_.join();
        }
        close(fd_);
    }

    // Without listen(), a connection is refused as by a printer that is off.
    void listenForJobs() {
        ASSERT_EQ(listen(fd_, 8), 0);
        accepting_ = std::thread([this] {
            for (int job; (job = accept(fd_, nullptr, nullptr)) >= 0; close(job)) {
                std::string bytes;
                char chunk[4096];
                for (ssize_t n; (n = read(job, chunk, sizeof chunk)) > 0;) {
                    bytes.append(chunk, static_cast<std::size_t>(n));
                }
                const std::lock_guard lock(mutex_);
                jobs_.push_back(bytes);
                received_.notify_all();
            }
        });
    }

    std::string destination() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // The jobs once `count` have arrived, or when the sender took too long.
    std::vector<std::string> jobs(std::size_t count) {
        std::unique_lock lock(mutex_);
        received_.wait_for(lock, testing::kPatience, [&] { return jobs_.size() >= count; });
        return jobs_;
    }

private:
    int fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port_ = 0;
    std::thread accepting_;
    std::mutex mutex_;
    std::condition_variable received_;
    std::vector<std::string> jobs_;
};

std::vector<nlohmann::json> jsonLines(const std::vector<std::string>& lines) {
    std::vector<nlohmann::json> objects;
    for (const std::string& line : lines) {
        objects.push_back(nlohmann::json::parse(line, nullptr, false));
        EXPECT_TRUE(objects.back().is_object()) << line;
    }
    return objects;
}

// The settled lines of a CSV journal as column → value.
std::vector<std::map<std::string, std::string>> journalLines(const fs::path& journal) {
    std::ifstream in(journal, std::ios::binary);
    std::vector<std::map<std::string, std::string>> lines;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        const auto fields = parseCsvLine(line.substr(0, line.size() - 1));
        EXPECT_TRUE(fields && fields->size() == kJournalColumns.size()) << line;
        std::map<std::string, std::string> columns;
        for (std::size_t i = 0; fields && i < fields->size(); ++i) {
            columns[std::string(kJournalColumns[i])] = (*fields)[i];
        }
        if (columns["outcome"] != kReservedOutcome) {
            lines.push_back(columns);
        }
    }
    return lines;
}

constexpr std::string_view kTemplate = "^XA^FO20,20^FD{serial_text}^FS^BCN^FD{serial}^FS^XZ\r\n";

struct LabelStationTest : ::testing::Test {
    LabelStationTest() {
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all, fs::perm_options::replace);
        PosixFileStore files;
        ConfigBlock block = makeInitialWorkingBlock();
        EXPECT_EQ(saveConfigFile(files, settings, block), Outcome::FileWritten);
        std::ofstream(labelTemplate, std::ios::binary) << kTemplate;
    }

    std::vector<std::string> station(const std::string& printer,
                                     std::vector<std::string> options) const {
        std::vector<std::string> command{kCli,    "station",  settings.string(), "--journal",
                                         journal, "--label",  labelTemplate,     "--printer",
                                         printer, "--serial", "000000005000"};
        command.insert(command.end(), options.begin(), options.end());
        return command;
    }

    // Plugs a module in and out once the station has written `lines` lines.
    std::unique_ptr<SimulatedModule> configure(RunningProgram& program, std::size_t lines,
                                               const char* fault = "none") const {
        SimulatedModuleOptions options;
        options.portDirectory = runtime / "dl250t" / "ports";
        options.comNumber = 3;
        options.fault = *parseSimulatedFault(fault);
        auto simulated = std::make_unique<SimulatedModule>(options);
        EXPECT_TRUE(simulated->plugIn()) << simulated->lastError();
        EXPECT_TRUE(program.waitForLines(lines)) << program.errText();
        simulated->unplug();
        return simulated;
    }

    static std::string label(const char* serial, const char* text) {
        std::string label(kTemplate);
        label.replace(label.find("{serial_text}"), 13, text);
        label.replace(label.find("{serial}"), 8, serial);
        return label;
    }

    testing::TempDir dir;
    fs::path runtime = dir / "run";
    fs::path settings = dir / "line.cfg";
    fs::path journal = dir / "journal.csv";
    fs::path labelTemplate = dir / "label.zpl";
};

TEST_F(LabelStationTest, EveryModuleWrittenGetsOneLabelAndOneJsonRecord) {
    PrinterStandIn printer;
    printer.listenForJobs();
    RunningProgram program(station(printer.destination(), {"--json", "--count", "2"}), runtime);
    const auto deadline = std::chrono::steady_clock::now() + testing::kPatience;
    while (program.errText().find("station ready") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    configure(program, 1);
    configure(program, 2, "silent");
    configure(program, 3);
    EXPECT_EQ(program.finish(), cli::kExitOk) << program.errText();

    EXPECT_THAT(printer.jobs(2),
                ::testing::ElementsAre(label("000000005000", "00 00 00 00 50 00"),
                                       label("000000005001", "00 00 00 00 50 01")));
    const auto records = jsonLines(program.outLines());
    ASSERT_EQ(records.size(), 4u);
    const auto check = [&](std::size_t i, const char* serial, const char* outcome,
                           const nlohmann::json& label) {
        SCOPED_TRACE(i);
        EXPECT_EQ(records[i]["serial"], serial);
        EXPECT_EQ(records[i]["outcome"], outcome);
        EXPECT_EQ(records[i]["label"], label);
        EXPECT_EQ(records[i]["port"], "COM3");
        EXPECT_TRUE(records[i]["milliseconds"].is_number());
    };
    check(0, "00 00 00 00 50 00", "ok", "sent");
    check(1, "00 00 00 00 50 01", "串口响应超时！", nullptr);
    check(2, "00 00 00 00 50 01", "ok", "sent");
    EXPECT_EQ(
        records[3],
        nlohmann::json::parse(
            R"({"written":2,"failed":1,"first":"00 00 00 00 50 00","last":"00 00 00 00 50 01"})"));
    const auto lines = journalLines(journal);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].at("label"), "sent");
    EXPECT_EQ(lines[1].at("label"), "");
    EXPECT_EQ(lines[2].at("label"), "sent");
}

// A module without its label breaks the trace: the station stops by itself
// before the next module; the module and its journal line stay.
TEST_F(LabelStationTest, PrinterThatRefusesTheLabelStopsTheStation) {
    PrinterStandIn printer;
    RunningProgram program(station(printer.destination(), {}), runtime);
    ASSERT_TRUE(program.waitForLines(1)) << program.errText();
    const auto module = configure(program, 2);
    EXPECT_EQ(program.finish(), cli::kExitLabelFailed);
    EXPECT_THAT(program.errText(), HasSubstr("its label was not printed: " + printer.destination() +
                                             ": Connection refused"));
    EXPECT_THAT(program.outLines(), ::testing::Contains("modules written: 1"));
    ASSERT_EQ(module->storedCount(), 1u);
    const auto lines = journalLines(journal);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].at("outcome"), "ok");
    EXPECT_EQ(lines[0].at("serial"), "00 00 00 00 50 00");
    EXPECT_EQ(lines[0].at("label"), "failed");
}

// write appends each label to a file; --json prints the attempt alone on
// standard output, for write and read alike.
TEST_F(LabelStationTest, WriteAppendsLabelsToAFileAndPrintsItsRecordAsJson) {
    SimulatedModuleOptions options;
    options.portDirectory = runtime / "dl250t" / "ports";
    options.comNumber = 4;
    SimulatedModule module(options);
    ASSERT_TRUE(module.plugIn()) << module.lastError();
    const fs::path labels = dir / "labels.zpl";
    const auto run = [&](std::vector<std::string> args) {
        std::istringstream in;
        std::ostringstream out, err;
        const int status = cli::runCli(args, in, out, err);
        EXPECT_EQ(status, cli::kExitOk) << err.str();
        return nlohmann::json::parse(out.str(), nullptr, false);
    };
    for (const auto& [serial, text] : {std::pair{"000000007000", "00 00 00 00 70 00"},
                                       std::pair{"000000007001", "00 00 00 00 70 01"}}) {
        const auto record = run({"write", "--port", module.devicePath(), settings, "--label",
                                 labelTemplate, "--printer", labels, "--serial", serial, "--json"});
        EXPECT_EQ(record["outcome"], "ok");
        EXPECT_EQ(record["serial"], text);
        EXPECT_EQ(record["label"], "sent");
    }
    std::ifstream in(labels, std::ios::binary);
    EXPECT_EQ(
        std::string(std::istreambuf_iterator<char>(in), {}),
        label("000000007000", "00 00 00 00 70 00") + label("000000007001", "00 00 00 00 70 01"));
    const auto read =
        run({"read", "--port", module.devicePath(), "-o", dir / "read.cfg", "--json"});
    EXPECT_EQ(read["outcome"], "ok");
    EXPECT_EQ(read["serial"], "00 00 00 00 70 01");
    EXPECT_EQ(read["label"], nullptr);
}

}  // namespace
}  // namespace dl250t
