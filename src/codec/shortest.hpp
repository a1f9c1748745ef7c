// Shortest round-trip decimal digits of a double.
#pragma once
#include <cstdint>

namespace tc {

// A finite, non-zero, positive double as d × 10^exponent, where the decimal digits of d are the
// shortest that read back as the same double (the nearest of them when several are shortest).
// d may end in zeros.
struct Decimal {
  uint64_t digits;
  int exponent;
};
[[nodiscard]] Decimal shortest_decimal(double positive);

}  // namespace tc
