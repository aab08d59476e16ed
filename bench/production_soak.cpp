// Plugs N simulated modules in and out of a controller in auto-configure mode
// and checks that they got N consecutive serial numbers, none skipped or
// repeated, while the process's descriptors and memory stay flat.
// Usage: production_soak [N]   (default 1000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "production_line.hpp"

int main(int argc, char** argv) {
    using namespace dl250t;
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    ProductionLine line({});
    if (!line.ready()) {
        std::fprintf(stderr, "the port directory watch did not start\n");
        return 2;
    }
    const std::uint64_t first = line.nextSerial();
    auto report = [](const char* when, int done) {
        std::printf("%-6s after %5d modules: %3d open descriptors, %6ld kB resident\n", when, done,
                    openDescriptors(), residentKilobytes());
        std::fflush(stdout);
    };
    report("start", 0);
    const int startDescriptors = openDescriptors();

    // Halfway, at the end of a line of serial numbers.
    const int middle = std::min(count, (count / 2 + 9) / 10 * 10);
    int failures = 0;
    std::uint64_t expected = first;
    for (int i = 0; i < count; ++i) {
        const ProductionLine::Module module = line.configureOne();
        if (!module.written) {
            std::printf("module %d: %s\n", i + 1, module.problem.c_str());
            ++failures;
        } else {
            // Every stored serial number, ten to a line.
            std::printf("%012llx%c", static_cast<unsigned long long>(module.serial),
                        (i + 1) % 10 == 0 || i + 1 == count ? '\n' : ' ');
        }
        if (module.written && module.serial != expected) {
            std::printf("module %d stored serial %012llx, expected %012llx\n", i + 1,
                        static_cast<unsigned long long>(module.serial),
                        static_cast<unsigned long long>(expected));
            ++failures;
        }
        ++expected;
        if (i + 1 == middle) {
            report("middle", i + 1);
        }
    }
    report("end", count);

    const std::uint64_t last = line.nextSerial() - 1;
    std::printf(
        "serial numbers %012llx .. %012llx: %llu stored for %d modules, %d failures, "
        "%d message boxes\n",
        static_cast<unsigned long long>(first), static_cast<unsigned long long>(last),
        static_cast<unsigned long long>(last - first + 1), count, failures, line.messagesShown());
    const bool descriptorsFlat = openDescriptors() == startDescriptors;
    if (!descriptorsFlat) {
        std::printf("open descriptors grew from %d to %d\n", startDescriptors, openDescriptors());
    }
    const bool ok = failures == 0 && last - first + 1 == static_cast<std::uint64_t>(count) &&
                    line.messagesShown() == 0 && descriptorsFlat;
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
