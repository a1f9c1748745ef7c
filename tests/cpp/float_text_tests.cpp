// Plain decimal floats, the texts that printers of doubles make: whatever way the reader settles
// a float's written form (the text kept, cut by a digit, cut at its padding, or the full
// search), it must be the shortest text of the double the fixed steps make of it, S / 10^F, as
// write_float lays it out. Texts: doubles of every size from 10^-6 up printed with 15 to 17
// digits ("%.17g" pads shortest texts with zeros or nines), their last digits moved, and the
// same below zero.
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "codec/byte_buffer.hpp"
#include "codec/number.hpp"

namespace {

int failures = 0;
int checked = 0;

// The fixed steps for a plain decimal of at most 19 digits: S as a double, divided once by
// 10^F (exact for F up to 22).
double fixed_steps(const std::string& text) {
  uint64_t s = 0;
  int fraction_digits = -1;
  for (char c : text) {
    if (c == '.') {
      fraction_digits = 0;
    } else if (c != '-') {
      s = s * 10 + static_cast<uint64_t>(c - '0');
      if (fraction_digits >= 0) ++fraction_digits;
    }
  }
  double power = 1;
  for (int i = 0; i < fraction_digits; ++i) power *= 10;
  const double x = static_cast<double>(s) / power;
  return text[0] == '-' ? -x : x;
}

void check(const std::string& text) {
  size_t digits = 0;
  for (char c : text) digits += c >= '0' && c <= '9' ? 1 : 0;
  if (text.find('.') == std::string::npos || digits > 19) return;
  const std::string payload = text + ",";  // what follows a number in a row
  tc::ByteBuffer got;
  size_t pos = 0;
  if (tc::read_number(payload.data(), payload.size(), pos, got) || pos != text.size()) {
    if (++failures <= 10) std::printf("FAIL %s: not read\n", text.c_str());
    return;
  }
  char want[tc::kMaxFloatText];
  const std::string_view expected(want, tc::write_float(fixed_steps(text), want));
  ++checked;
  if (got.view() == expected) return;
  if (++failures <= 10) {
    std::printf("FAIL %s: got %.*s, want %.*s\n", text.c_str(), static_cast<int>(got.view().size()),
                got.view().data(), static_cast<int>(expected.size()), expected.data());
  }
}

// The text with `delta` added to its last digit (carrying through the digits), or "" when that
// would change its layout.
std::string moved(std::string text, int delta) {
  for (size_t i = text.size(); i-- > 0 && delta != 0;) {
    if (text[i] == '.' || text[i] == '-') continue;
    const int digit = text[i] - '0' + delta;
    delta = digit >= 0 ? digit / 10 : -((9 - digit) / 10);
    text[i] = static_cast<char>('0' + (digit - 10 * delta));
  }
  const size_t first = text[0] == '-' ? 1 : 0;
  const bool leading_zero = text[first] == '0' && text[first + 1] != '.';
  return delta == 0 && !leading_zero ? text : "";
}

}  // namespace

int main() {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> scale(-6, 15), precision(15, 17), nudge(-60, 60);
  char text[64];
  for (int i = 0; i < 300000; ++i) {
    double x = mantissa(rng);
    for (int k = scale(rng); k > 0; --k) x *= 10;
    for (int k = scale(rng); k < 0; ++k) x /= 10;
    if (i % 3 == 0) {  // a short decimal, so that "%.17g" pads it
      std::snprintf(text, sizeof text, "%.*f", static_cast<int>(rng() % 8), x);
      std::sscanf(text, "%lf", &x);
    }
    std::snprintf(text, sizeof text, "%.*g", precision(rng), i % 2 == 0 ? x : -x);
    if (std::string(text).find('e') != std::string::npos) continue;  // not a plain decimal
    check(text);
    const std::string other = moved(text, nudge(rng));
    if (!other.empty()) check(other);
  }
  std::printf("%s: %d of %d texts differ\n", failures == 0 ? "PASS" : "FAIL", failures, checked);
  return failures == 0 && checked > 400000 ? 0 : 1;
}
