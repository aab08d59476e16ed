#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "production/label_destination.hpp"

namespace dl250t {

// A label printer as a station reaches it. Each label is sent on its own (a
// connection, an open of the file, a spooler job), so that a printer switched
// off and on again between two modules is found again.
class LabelPrinter {
public:
    virtual ~LabelPrinter() = default;

    // Sends the label's bytes as they are. False, with problem() saying why,
    // when they did not all reach the printer (for a network printer: were
    // not all acknowledged) within a few seconds: a printer that does not
    // answer never holds the line up for longer.
    virtual bool print(std::string_view label) = 0;

    virtual std::string problem() const = 0;
};

// The printer at `destination`; nullptr, with `problem` saying why, when
// there is none to send to (a host name that is not known, a spooler printer
// on a system without the Windows spooler). A host name is looked up here,
// once, so that a name server that does not answer cannot stop the line later.
std::unique_ptr<LabelPrinter> makeLabelPrinter(const LabelDestination& destination,
                                               std::string& problem);

}  // namespace dl250t
