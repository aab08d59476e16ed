#pragma once

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input. A broken one aborts, which the
// fuzzing engine reports as a crash and saves the input for.
#define DL250T_FUZZ_CHECK(condition)                                                              \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)
