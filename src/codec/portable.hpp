// What differs between the compilers and C++ libraries the codec is built with (GCC, Clang and
// MSVC; libstdc++, libc++ and Microsoft's), in one place: function attributes, bit counts,
// checked and 128-bit arithmetic, reading a double, and whether SSE2 intrinsics may be used.
// Each has the builtin where the compiler has one and plain C++ everywhere else.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <version>

#if defined(_WIN32)
#include <locale.h>
#elif defined(__APPLE__)
#include <xlocale.h>
#else
#include <locale.h>
#endif

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
#include <charconv>
#endif

#if defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
#include <intrin.h>
#endif

// TC_ALWAYS_INLINE (declares the function inline too), TC_NOINLINE and TC_COLD.
// TC_INLINE_LAMBDA goes after a lambda's parameters.
#if defined(__GNUC__)
#define TC_ALWAYS_INLINE [[gnu::always_inline]] inline
#define TC_NOINLINE [[gnu::noinline]]
#define TC_COLD [[gnu::cold]]
#define TC_INLINE_LAMBDA __attribute__((always_inline))
#elif defined(_MSC_VER)
#define TC_ALWAYS_INLINE __forceinline
#define TC_NOINLINE __declspec(noinline)
#define TC_COLD
#define TC_INLINE_LAMBDA
#else
#define TC_ALWAYS_INLINE inline
#define TC_NOINLINE
#define TC_COLD
#define TC_INLINE_LAMBDA
#endif

// TC_SSE2: SSE2 intrinsics (<emmintrin.h>) may be used. GCC and Clang say so for every x86-64
// target; MSVC never defines __SSE2__, though every x64 processor has it.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TC_SSE2 1
#endif

namespace tc {

// The number of zero bits below the lowest set bit, and above the highest; `x` is not zero.
// The builtins skip the zero check the standard functions make.
inline unsigned count_trailing_zeros(uint32_t x) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(x));
#else
  return static_cast<unsigned>(std::countr_zero(x));
#endif
}
inline unsigned count_leading_zeros(uint32_t x) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_clz(x));
#else
  return static_cast<unsigned>(std::countl_zero(x));
#endif
}
inline unsigned count_leading_zeros(uint64_t x) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_clzll(x));
#else
  return static_cast<unsigned>(std::countl_zero(x));
#endif
}

// sum = a + b, product = a × b, modulo 2^64; true when the exact result does not fit.
inline bool add_overflows(uint64_t a, uint64_t b, uint64_t* sum) {
#if defined(__GNUC__)
  return __builtin_add_overflow(a, b, sum);
#else
  *sum = a + b;
  return *sum < a;
#endif
}
inline bool multiply_overflows(uint64_t a, uint64_t b, uint64_t* product) {
#if defined(__GNUC__)
  return __builtin_mul_overflow(a, b, product);
#else
  *product = a * b;
  return a != 0 && b > std::numeric_limits<uint64_t>::max() / a;
#endif
}

// An unsigned 128-bit value in two halves.
struct Wide {
  uint64_t high;
  uint64_t low;
};

// a × b in full, in plain C++: four 32-bit products.
constexpr Wide multiply_wide_portable(uint64_t a, uint64_t b) {
  const uint64_t a_low = a & 0xFFFFFFFF, a_high = a >> 32;
  const uint64_t b_low = b & 0xFFFFFFFF, b_high = b >> 32;
  const uint64_t low_low = a_low * b_low;
  const uint64_t high_low = a_high * b_low;
  const uint64_t low_high = a_low * b_high;
  const uint64_t middle = (low_low >> 32) + (high_low & 0xFFFFFFFF) + low_high;
  return {a_high * b_high + (high_low >> 32) + (middle >> 32), (middle << 32) | (low_low & 0xFFFFFFFF)};
}

// a × b in full: one multiplication where the compiler has a 128-bit type or an intrinsic.
inline Wide multiply_wide(uint64_t a, uint64_t b) {
#if defined(__SIZEOF_INT128__)
  const auto product = static_cast<unsigned __int128>(a) * b;
  return {static_cast<uint64_t>(product >> 64), static_cast<uint64_t>(product)};
#elif defined(_MSC_VER) && !defined(__clang__) && defined(_M_X64)
  Wide product{};
  product.low = _umul128(a, b, &product.high);
  return product;
#else
  return multiply_wide_portable(a, b);
#endif
}

// The high 64 bits of a × b.
inline uint64_t multiply_high(uint64_t a, uint64_t b) { return multiply_wide(a, b).high; }

// a − b as a signed 64-bit value when it lies strictly between −2^bits and 2^bits (bits < 63);
// false, with `difference` untouched, when it does not.
constexpr bool narrow_difference(Wide a, Wide b, unsigned bits, int64_t& difference) {
  const uint64_t low = a.low - b.low;
  const uint64_t high = a.high - b.high - (a.low < b.low ? 1 : 0);
  const uint64_t limit = uint64_t{1} << bits;
  // Without branches: which way the sign goes is as good as random where this is used.
  const bool fits = ((high == 0) & (low < limit)) | ((high == ~uint64_t{0}) & (low > 0 - limit));
  difference = fits ? static_cast<int64_t>(low) : difference;
  return fits;
}

// The double that the decimal text [first, last) in C syntax (no leading '+', no spaces)
// stands for, rounded to nearest, subnormals included; 0 when it is not a number. strtod in
// the C locale, not the process's, so that a locale never changes the decimal point: for C++
// libraries without a reader of doubles that ignores locales (libc++ has none; older
// libstdc++ neither). A stream imbued with the classic locale is no substitute: libc++ then
// reads every subnormal as 0.
inline double read_double_in_c_locale(const char* first, const char* last) {
  char small[64];
  std::string large;
  const auto length = static_cast<size_t>(last - first);
  char* text = small;
  if (length >= sizeof small) {
    large.assign(first, last);
    text = large.data();
  } else {
    std::memcpy(small, first, length);
    small[length] = '\0';
  }
  // Made once per process; if it cannot be made (no memory), the process's locale reads it.
#if defined(_WIN32)
  static const _locale_t c_locale = _create_locale(LC_NUMERIC, "C");
  return c_locale != nullptr ? _strtod_l(text, nullptr, c_locale) : std::strtod(text, nullptr);
#else
  static const locale_t c_locale = newlocale(LC_NUMERIC_MASK, "C", locale_t{});
  return c_locale != locale_t{} ? strtod_l(text, nullptr, c_locale) : std::strtod(text, nullptr);
#endif
}

// As read_double_in_c_locale, by std::from_chars where the library has it for doubles.
inline double read_double(const char* first, const char* last) {
#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
  double value = 0;
  std::from_chars(first, last, value);
  return value;
#else
  return read_double_in_c_locale(first, last);
#endif
}

}  // namespace tc
