// JSON numbers: reading number text into its canonical compact form, and float text.
#pragma once
#include <cstddef>
#include <cstdint>

#include "codec/byte_buffer.hpp"
#include "codec/errors.hpp"
#include "codec/portable.hpp"
#include "codec/scan.hpp"

namespace tc {

// Reads the number that starts at `pos` (a minus sign or a digit) and appends its compact text
// to `out`: integers in range as written, every other number as a float in its normal form.
// On success `pos` is just past the number.
ReadStatus read_number(const char* input, size_t size, size_t& pos, ByteBuffer& out);

// Reads numbers as read_number does while a comma (with a space after it or not) and another
// number follow, appending their compact texts with a comma between each two: runs of numbers,
// as vectors and coordinates are, read in one call. On success `pos` is just past the last.
ReadStatus read_number_run(const char* input, size_t size, size_t& pos, ByteBuffer& out);

// Where the number that starts at `p` (in the payload [begin, begin + size)) ends when its text
// is already its compact text, as read_number would write it: an integer of up to 18 digits
// ("-0" aside, a float), or a plain decimal in its written form, which reads as the double whose
// shortest text it is: at most 15 significant digits, no zero at the end of the fraction unless
// it is the only fraction digit of a non-zero integer part ("12.0"), and below one, at most four
// zeros after the point (0.000001 is written with an exponent). nullptr for any other number,
// and for what is not a number: read_number settles those, errors included. Inline: the walks
// that copy compact values as they stand call it for every number.
TC_ALWAYS_INLINE const char* compact_number_end(const char* begin, size_t size, const char* p) {
  const char* const end = begin + size;
  const char* const first = p + (*p == '-' ? 1 : 0);
  if (first == end || !is_decimal_digit(*first)) return nullptr;
  const char* int_end = first + 1;
  if (*first != '0') {
    int_end = begin + skip_digits(begin, size, static_cast<size_t>(int_end - begin));
    if (int_end - first > 18) return nullptr;
  } else if (int_end != end && is_decimal_digit(*int_end)) {
    return nullptr;  // a leading zero: an error
  }
  if (int_end == end || (*int_end != '.' && *int_end != 'e' && *int_end != 'E')) {
    return *first == '0' && first != p ? nullptr : int_end;  // -0 is a float
  }
  if (*int_end != '.') return nullptr;
  const size_t frac_begin = static_cast<size_t>(int_end + 1 - begin);
  const size_t frac_end = skip_digits(begin, size, frac_begin);
  const size_t frac_digits = frac_end - frac_begin;
  if (frac_digits == 0 || (frac_end < size && (begin[frac_end] == 'e' || begin[frac_end] == 'E'))) return nullptr;
  const bool ends_in_zero = begin[frac_end - 1] == '0';
  if (*first != '0') {
    const auto digits = static_cast<size_t>(int_end - first) + frac_digits;
    return digits <= 15 && (!ends_in_zero || frac_digits == 1) ? begin + frac_end : nullptr;
  }
  if (ends_in_zero) return nullptr;  // 0.0 is zero; 0.50 loses its last digit
  const size_t zeros = leading_zero_digits(begin + frac_begin, begin + frac_end, size - frac_begin);
  return zeros <= 4 && frac_digits - zeros <= 15 ? begin + frac_end : nullptr;
}

// Appends the compact text of a finite double (shortest round-trip digits, laid out as
// `1.5`, `100.0`, `0.00001`, `1e+16`, `1e-6`, `-0.0`) into `out`, which has room for
// kMaxFloatText bytes: the text is at most 25 bytes, and the rest may be written over.
inline constexpr size_t kMaxFloatText = 40;
size_t write_float(double value, char* out);

// Lays out a decimal digit string d1..dn (no trailing zeros) whose first digit stands for
// 10^exponent. Used for floats whose digits are already known to be the shortest.
size_t write_float_digits(bool negative, const char* digits, size_t count, int exponent, char* out);

}  // namespace tc
