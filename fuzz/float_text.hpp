// The canonical text of a float in the codec's compact form, built independently of the codec.
#pragma once
#include <string>

namespace tc::fuzz {

// Shortest round-trip digits of a finite `value`, laid out as the compact form writes floats:
// `0.0`/`-0.0` for zeros, exponent form (`1e+16`, `1.5e-7`) when the decimal exponent of the
// first digit is >= 16 or <= -6, otherwise positional with at least one fraction digit.
[[nodiscard]] std::string canonical_float_text(double value);

}  // namespace tc::fuzz
