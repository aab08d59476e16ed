#pragma once

#include <chrono>

namespace dl250t {

// USB serial adapters hand a continuous stream over in bursts (an FTDI chip
// sends 62-byte packets about 5 ms apart, the rest after its 16 ms latency
// timer), so a literal 1 ms inter-byte gap would cut healthy replies short.
// Once bytes have started to arrive, a read therefore ends on a pause of at
// least this long, however short the interval timeout it is given; the total
// bound is kept, and a read still returns the moment all wanted bytes are in.
inline constexpr std::chrono::milliseconds kMinimumReadGap{20};

// A write fails when its bytes have not left this long after the time they
// need on the line: an adapter that stops taking bytes must not hold the
// program for ever.
inline constexpr std::chrono::milliseconds kWriteMargin{500};

}  // namespace dl250t
