#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

#include "platform/label_printers.hpp"
#include "production/production_journal.hpp"
#include "trace_options.hpp"

namespace dl250t::cli {

// The labels of a line: the template, read once at the start, and the
// printer every module written gets its label from.
class ModuleLabels {
public:
    ModuleLabels(std::string labelTemplate, std::unique_ptr<LabelPrinter> printer, std::string line)
        : template_(std::move(labelTemplate)),
          printer_(std::move(printer)),
          line_(std::move(line)) {}

    // Prints the label of a module written; false, with problem() saying why,
    // when it did not go out.
    bool print(const ModuleRecord& record);
    std::string problem() const { return printer_->problem(); }

private:
    std::string template_;
    std::unique_ptr<LabelPrinter> printer_;
    std::string line_;
};

// The labels the options ask for, in `labels` (nullptr for none), and
// kExitOk; else the exit status after the reason went to err: a template that
// cannot be read or a destination that names none is a wrong command line, a
// printer whose host is not known a label that cannot be sent. `line` is the
// production line's name for {line}.
int prepareLabels(const TraceOptions& options, std::string line, std::string_view command,
                  std::ostream& err, std::unique_ptr<ModuleLabels>& labels);

// The ModuleWriter step that prints a module's label; none without labels.
std::function<bool(const ModuleRecord&)> labelStep(ModuleLabels* labels);

}  // namespace dl250t::cli
