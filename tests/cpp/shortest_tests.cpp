// The shortest-digit float conversion must agree with std::to_chars (the standard's shortest
// round trip, nearest on ties) on every kind of double: random bit patterns, subnormals,
// powers of two and their neighbours (where the rounding interval is lopsided), short decimals.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "codec/shortest.hpp"

namespace {

// Digits without trailing zeros and the exponent of the first digit.
struct Shortest {
  std::string digits;
  int exponent;
  bool operator==(const Shortest&) const = default;
};

Shortest from_to_chars(double x) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
  (void)ec;
  std::string all(text, end);
  const size_t e = all.find('e');
  Shortest s{"", std::stoi(all.substr(e + 1))};
  for (size_t i = 0; i < e; ++i) {
    if (all[i] != '.') s.digits += all[i];
  }
  while (s.digits.size() > 1 && s.digits.back() == '0') s.digits.pop_back();
  return s;
}

Shortest from_codec(double x) {
  tc::Decimal d = tc::shortest_decimal(x);
  while (d.digits % 10 == 0) {
    d.digits /= 10;
    ++d.exponent;
  }
  std::string digits = std::to_string(d.digits);
  return {digits, d.exponent + static_cast<int>(digits.size()) - 1};
}

int failures = 0;

void check(double x) {
  if (!(x > 0) || !std::isfinite(x)) return;
  const Shortest want = from_to_chars(x), got = from_codec(x);
  if (want == got) return;
  if (++failures <= 10) {
    std::printf("FAIL %.17g: want %se%d, got %se%d\n", x, want.digits.c_str(), want.exponent, got.digits.c_str(),
                got.exponent);
  }
}

double from_bits(uint64_t bits) {
  double x;
  std::memcpy(&x, &bits, sizeof x);
  return std::fabs(x);
}

}  // namespace

int main() {
  std::mt19937_64 rng(20261207);
  for (uint64_t t = 1; t < 200000; ++t) check(from_bits(t));  // the smallest subnormals
  for (int e = -1074; e <= 1023; ++e) {
    const double p = std::ldexp(1.0, e);
    check(p);
    check(std::nextafter(p, 0.0));
    check(std::nextafter(p, INFINITY));
  }
  for (int i = 0; i < 1000000; ++i) check(from_bits(rng()));
  for (int i = 0; i < 200000; ++i) {
    check(static_cast<double>(rng() % 1000000000) / std::pow(10.0, static_cast<double>(rng() % 20)));
  }
  for (double x : {1.7976931348623157e308, 2.2250738585072014e-308, 0.1, 0.3, 1e22, 1e23, 9007199254740993.0}) check(x);
  std::printf("%s: %d mismatches\n", failures == 0 ? "PASS" : "FAIL", failures);
  return failures == 0 ? 0 : 1;
}
