#include "module_labels.hpp"

#include "cli_app.hpp"
#include "config/file_store.hpp"
#include "platform/journal_files.hpp"
#include "platform/module_text.hpp"
#include "platform/system_files.hpp"
#include "production/label_template.hpp"

namespace dl250t::cli {

namespace {

// Label templates are a few kilobytes, a few hundred with a graphic in them;
// anything larger is no label.
constexpr std::size_t kMaxTemplateBytes = std::size_t{4} << 20;

}  // namespace

bool ModuleLabels::print(const ModuleRecord& record) {
    const std::string label =
        renderLabel(template_, {
                                   .serial = record.serial.value_or(SerialNumber()),
                                   .board = record.board,
                                   .module = moduleTextToUtf8(record.moduleName),
                                   .version = moduleTextToUtf8(record.moduleVersion),
                                   .line = line_,
                                   .station = hostName(),
                                   .time = localTimeText(record.time),
                               });
    return printer_->print(label);
}

int prepareLabels(const TraceOptions& options, std::string line, std::string_view command,
                  std::ostream& err, std::unique_ptr<ModuleLabels>& labels) {
    labels.reset();
    if (!options.labelTemplate) {
        return kExitOk;
    }
    const auto complain = [&](const std::string& problem, int status) {
        err << "dl250t-cli " << command << ": " << problem << '\n';
        return status;
    };
    const FileStart read =
        makeSystemFileStore()->readStart(*options.labelTemplate, kMaxTemplateBytes + 1);
    if (read.status != FileStart::Status::Ok) {
        return complain(*options.labelTemplate + ": the label template cannot be read", kExitUsage);
    }
    if (read.bytes.empty()) {
        return complain(*options.labelTemplate + ": the label template is empty", kExitUsage);
    }
    if (read.bytes.size() > kMaxTemplateBytes) {
        return complain(*options.labelTemplate + ": more than " +
                            std::to_string(kMaxTemplateBytes) + " bytes, no label template",
                        kExitUsage);
    }
    std::string problem;
    const auto destination = parseLabelDestination(*options.printer, problem);
    if (!destination) {
        return complain(problem, kExitUsage);
    }
    auto printer = makeLabelPrinter(*destination, problem);
    if (printer == nullptr) {
        // A host that is not known cannot be printed to; anything else this
        // system cannot print to was the wrong thing to ask for.
        const bool tcp = destination->kind == LabelDestination::Kind::Tcp;
        return complain(problem, tcp ? kExitLabelFailed : kExitUsage);
    }
    labels = std::make_unique<ModuleLabels>(std::string(read.bytes.begin(), read.bytes.end()),
                                            std::move(printer), std::move(line));
    return kExitOk;
}

std::function<bool(const ModuleRecord&)> labelStep(ModuleLabels* labels) {
    if (labels == nullptr) {
        return {};
    }
    return [labels](const ModuleRecord& record) { return labels->print(record); };
}

}  // namespace dl250t::cli
