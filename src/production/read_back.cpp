#include "production/read_back.hpp"

#include "link/module_exchange.hpp"

namespace dl250t {

Outcome readBackAndCompare(SerialPortFactory& ports, std::string_view port,
                           const ConfigBlock& expected, ExchangeReporter& reporter,
                           ModuleRecord::Verify& verify,
                           const std::function<void(const ConfigBlock& stored)>& onMismatch) {
    FailuresOnlyReporter failures(reporter);
    ConfigBlock again;
    const Outcome read = readExchange(ports, port, again, failures);
    if (read != Outcome::ModuleRead) {
        return read;
    }
    if (again != expected) {
        verify = ModuleRecord::Verify::Mismatch;
        if (onMismatch) {
            onMismatch(again);
        }
        reporter.report(Outcome::ModuleVerifyFailed);
        return Outcome::ModuleVerifyFailed;
    }
    verify = ModuleRecord::Verify::Ok;
    return Outcome::ModuleRead;
}

}  // namespace dl250t
