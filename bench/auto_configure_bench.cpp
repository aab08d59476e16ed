// Auto-configure latency: from the moment a module's port appears in the
// port directory to the tool's receipt of its acknowledgement, with modules
// that send at the real line rate. Usage: auto_configure_bench [N] (default 50)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "production_line.hpp"

int main(int argc, char** argv) {
    using namespace dl250t;
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    ProductionLine line({.pace = true});
    if (!line.ready()) {
        std::fprintf(stderr, "the port directory watch did not start\n");
        return 2;
    }
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        const auto module = line.configureOne();
        if (!module.written) {
            std::fprintf(stderr, "module %d: %s\n", i + 1, module.problem.c_str());
            return 1;
        }
        ms.push_back(module.plugToAcknowledged.count());
    }
    std::sort(ms.begin(), ms.end());
    const double wire = (4 + 518 + 518 + 4) * 10.0 / 115.2;
    const double target = wire + 30.0;
    const double median = ms[ms.size() / 2];
    std::printf(
        "%-22s median %7.2f ms  (min %7.2f, max %7.2f, %d plug-ins)  wire %6.1f ms  "
        "ratio %.3f  target <= %.1f ms: %s\n",
        "Auto-configure", median, ms.front(), ms.back(), count, wire, median / wire, target,
        median <= target ? "met" : "NOT met");
    return 0;
}
