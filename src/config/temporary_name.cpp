#include "config/temporary_name.hpp"

#include <chrono>
#include <cstdint>
#include <random>
#include <string_view>

namespace dl250t {

std::string temporaryFileName() {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator = [] {
        std::uint64_t seed = 0;
        try {
            seed = std::random_device{}();
        } catch (...) {
            // No entropy source: the clock and where this thread's state
            // lies (placed anew in every process) still differ.
        }
        static thread_local const char here = 0;
        seed ^= static_cast<std::uint64_t>(
                    std::chrono::steady_clock::now().time_since_epoch().count()) ^
                (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&here)) << 16);
        return std::mt19937_64(seed);
    }();
    std::string name = ".dl250t-";
    for (int i = 0; i < 6; ++i) {
        name += kAlphabet[generator() % kAlphabet.size()];
    }
    return name;
}

}  // namespace dl250t
