// JSON numbers: reading number text into its canonical compact form, and float text.
#pragma once
#include <cstddef>
#include <cstdint>

#include "codec/byte_buffer.hpp"
#include "codec/errors.hpp"

namespace tc {

// Reads the number that starts at `pos` (a minus sign or a digit) and appends its compact text
// to `out`: integers in range as written, every other number as a float in its normal form.
// On success `pos` is just past the number.
ReadStatus read_number(const char* input, size_t size, size_t& pos, ByteBuffer& out);

// Appends the compact text of a finite double (shortest round-trip digits, laid out as
// `1.5`, `100.0`, `0.00001`, `1e+16`, `1e-6`, `-0.0`) into `out`, which has room for
// kMaxFloatText bytes: the text is at most 25 bytes, and the rest may be written over.
inline constexpr size_t kMaxFloatText = 40;
size_t write_float(double value, char* out);

// Lays out a decimal digit string d1..dn (no trailing zeros) whose first digit stands for
// 10^exponent. Used for floats whose digits are already known to be the shortest.
size_t write_float_digits(bool negative, const char* digits, size_t count, int exponent, char* out);

}  // namespace tc
