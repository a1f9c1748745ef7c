// The plain C++ forms of what portable.hpp wraps, against the compiler's own forms where it has
// them: the 128-bit product and difference on random and edge values, and reading doubles.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "codec/portable.hpp"

namespace {

int failures = 0;

void check(bool ok, const char* what, uint64_t a, uint64_t b) {
  if (ok) return;
  if (++failures <= 10) std::printf("FAIL %s: a=%016" PRIx64 " b=%016" PRIx64 "\n", what, a, b);
}

// multiply_wide_portable against a × b computed in four 32-bit parts by another route:
// the low half wraps, and the high half is checked through 128-bit types where there are some.
void check_product(uint64_t a, uint64_t b) {
  const tc::Wide product = tc::multiply_wide_portable(a, b);
  check(product.low == a * b, "low half of the product", a, b);
  const tc::Wide wide = tc::multiply_wide(a, b);
  check(wide.high == product.high && wide.low == product.low, "product against the compiler's", a, b);
#if defined(__SIZEOF_INT128__)
  const auto exact = static_cast<unsigned __int128>(a) * b;
  check(product.high == static_cast<uint64_t>(exact >> 64), "high half of the product", a, b);
#endif
}

// narrow_difference against the signed 128-bit difference, for bounds 2^62 and 2^bits.
void check_difference(tc::Wide x, tc::Wide y, unsigned bits) {
  int64_t got = 12345;
  const bool fits = tc::narrow_difference(x, y, bits, got);
#if defined(__SIZEOF_INT128__)
  const auto wx = (static_cast<unsigned __int128>(x.high) << 64) | x.low;
  const auto wy = (static_cast<unsigned __int128>(y.high) << 64) | y.low;
  const auto exact = static_cast<__int128>(wx - wy);
  const __int128 limit = __int128{1} << bits;
  const bool want = exact > -limit && exact < limit;
  check(fits == want, "whether the difference fits", x.low, y.low);
  check(!fits || got == static_cast<int64_t>(exact), "the difference", x.low, y.low);
#endif
  check(fits || got == 12345, "difference left untouched", x.low, y.low);
}

void products_and_differences() {
  const uint64_t edges[] = {0, 1, 2, 0xFFFFFFFF, 0x100000000, 0xFFFFFFFFFFFFFFFF, 0x8000000000000000,
                            0x7FFFFFFFFFFFFFFF, 0xDEADBEEFCAFEBABE, 10000000000000000000u};
  for (uint64_t a : edges) {
    for (uint64_t b : edges) check_product(a, b);
  }
  // Differences right at the bounds, both signs.
  for (unsigned bits : {1u, 32u, 62u}) {
    const uint64_t limit = uint64_t{1} << bits;
    for (uint64_t base : {uint64_t{0}, uint64_t{5}, ~uint64_t{0} - 3}) {
      for (int64_t delta : {int64_t{0}, int64_t{1}, int64_t{-1}}) {
        const tc::Wide y = {7, base};
        const uint64_t up = base + limit + static_cast<uint64_t>(delta);
        check_difference({7 + (up < base ? 1u : 0u), up}, y, bits);
        const uint64_t down = base - limit + static_cast<uint64_t>(delta);
        check_difference({7 - (down > base ? 1u : 0u), down}, y, bits);
      }
    }
  }
  std::mt19937_64 rng(20261208);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t a = rng() >> (rng() % 64), b = rng() >> (rng() % 64);
    check_product(a, b);
    const tc::Wide x = tc::multiply_wide(a, b);
    const uint64_t near = rng() >> (rng() % 64);
    const tc::Wide y = {x.high - (i % 3 == 0 ? 1 : 0), x.low - near};
    check_difference(x, y, 62);
    check_difference(x, {rng() >> 60, rng()}, static_cast<unsigned>(rng() % 63));
  }
}

// Both readers of doubles, on fixed texts and on 17-digit texts of random doubles: the same
// double back.
void reading_doubles() {
  const char* texts[] = {"0.0", "-0.0", "1.5", "100.0", "1e+16", "1e-06", "5e-324", "1.7976931348623157e+308",
                         "2.2250738585072014e-308", "0.1", "123456789012345.67"};
  const double values[] = {0.0, -0.0, 1.5, 100.0, 1e16, 1e-6, 5e-324, 1.7976931348623157e308,
                           2.2250738585072014e-308, 0.1, 123456789012345.67};
  for (size_t i = 0; i < std::size(texts); ++i) {
    const std::string text = texts[i];
    for (double got : {tc::read_double(text.data(), text.data() + text.size()),
                       tc::read_double_in_c_locale(text.data(), text.data() + text.size())}) {
      check(got == values[i] && std::signbit(got) == std::signbit(values[i]), texts[i], i, 0);
    }
  }
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    double d;
    do {
      const uint64_t bits = rng();
      std::memcpy(&d, &bits, sizeof d);
    } while (!std::isfinite(d));
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%.17g", d);
    for (double got : {tc::read_double(text, text + length), tc::read_double_in_c_locale(text, text + length)}) {
      uint64_t want_bits, got_bits;
      std::memcpy(&want_bits, &d, sizeof d);
      std::memcpy(&got_bits, &got, sizeof got);
      check(got_bits == want_bits, "a double read back", want_bits, got_bits);
    }
  }
}

}  // namespace

int main() {
  products_and_differences();
  reading_doubles();
  if (failures != 0) {
    std::printf("%d failures\n", failures);
    return 1;
  }
  std::printf("portable: all checks passed\n");
  return 0;
}
