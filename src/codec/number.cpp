// Number reading. The float conversion follows fixed steps (significand S, decimal exponent E,
// then one multiplication or division by a power of ten) rather than correct rounding: the
// resulting double decides both constant folding and the text written back.
#include "codec/number.hpp"

#include "codec/portable.hpp"
#include "codec/scan.hpp"
#include "codec/shortest.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace tc {
namespace {

constexpr uint64_t kU64Max = UINT64_MAX;

constexpr std::array<double, 309> make_powers() {
  std::array<double, 309> table{};
  // Literals, not repeated multiplication: each entry must be the double nearest 10^k.
#define TC_P10(k) table[k] = 1e##k
  TC_P10(0); TC_P10(1); TC_P10(2); TC_P10(3); TC_P10(4); TC_P10(5); TC_P10(6); TC_P10(7); TC_P10(8); TC_P10(9);
  TC_P10(10); TC_P10(11); TC_P10(12); TC_P10(13); TC_P10(14); TC_P10(15); TC_P10(16); TC_P10(17); TC_P10(18); TC_P10(19);
  TC_P10(20); TC_P10(21); TC_P10(22); TC_P10(23); TC_P10(24); TC_P10(25); TC_P10(26); TC_P10(27); TC_P10(28); TC_P10(29);
  TC_P10(30); TC_P10(31); TC_P10(32); TC_P10(33); TC_P10(34); TC_P10(35); TC_P10(36); TC_P10(37); TC_P10(38); TC_P10(39);
  TC_P10(40); TC_P10(41); TC_P10(42); TC_P10(43); TC_P10(44); TC_P10(45); TC_P10(46); TC_P10(47); TC_P10(48); TC_P10(49);
  TC_P10(50); TC_P10(51); TC_P10(52); TC_P10(53); TC_P10(54); TC_P10(55); TC_P10(56); TC_P10(57); TC_P10(58); TC_P10(59);
  TC_P10(60); TC_P10(61); TC_P10(62); TC_P10(63); TC_P10(64); TC_P10(65); TC_P10(66); TC_P10(67); TC_P10(68); TC_P10(69);
  TC_P10(70); TC_P10(71); TC_P10(72); TC_P10(73); TC_P10(74); TC_P10(75); TC_P10(76); TC_P10(77); TC_P10(78); TC_P10(79);
  TC_P10(80); TC_P10(81); TC_P10(82); TC_P10(83); TC_P10(84); TC_P10(85); TC_P10(86); TC_P10(87); TC_P10(88); TC_P10(89);
  TC_P10(90); TC_P10(91); TC_P10(92); TC_P10(93); TC_P10(94); TC_P10(95); TC_P10(96); TC_P10(97); TC_P10(98); TC_P10(99);
  TC_P10(100); TC_P10(101); TC_P10(102); TC_P10(103); TC_P10(104); TC_P10(105); TC_P10(106); TC_P10(107); TC_P10(108); TC_P10(109);
  TC_P10(110); TC_P10(111); TC_P10(112); TC_P10(113); TC_P10(114); TC_P10(115); TC_P10(116); TC_P10(117); TC_P10(118); TC_P10(119);
  TC_P10(120); TC_P10(121); TC_P10(122); TC_P10(123); TC_P10(124); TC_P10(125); TC_P10(126); TC_P10(127); TC_P10(128); TC_P10(129);
  TC_P10(130); TC_P10(131); TC_P10(132); TC_P10(133); TC_P10(134); TC_P10(135); TC_P10(136); TC_P10(137); TC_P10(138); TC_P10(139);
  TC_P10(140); TC_P10(141); TC_P10(142); TC_P10(143); TC_P10(144); TC_P10(145); TC_P10(146); TC_P10(147); TC_P10(148); TC_P10(149);
  TC_P10(150); TC_P10(151); TC_P10(152); TC_P10(153); TC_P10(154); TC_P10(155); TC_P10(156); TC_P10(157); TC_P10(158); TC_P10(159);
  TC_P10(160); TC_P10(161); TC_P10(162); TC_P10(163); TC_P10(164); TC_P10(165); TC_P10(166); TC_P10(167); TC_P10(168); TC_P10(169);
  TC_P10(170); TC_P10(171); TC_P10(172); TC_P10(173); TC_P10(174); TC_P10(175); TC_P10(176); TC_P10(177); TC_P10(178); TC_P10(179);
  TC_P10(180); TC_P10(181); TC_P10(182); TC_P10(183); TC_P10(184); TC_P10(185); TC_P10(186); TC_P10(187); TC_P10(188); TC_P10(189);
  TC_P10(190); TC_P10(191); TC_P10(192); TC_P10(193); TC_P10(194); TC_P10(195); TC_P10(196); TC_P10(197); TC_P10(198); TC_P10(199);
  TC_P10(200); TC_P10(201); TC_P10(202); TC_P10(203); TC_P10(204); TC_P10(205); TC_P10(206); TC_P10(207); TC_P10(208); TC_P10(209);
  TC_P10(210); TC_P10(211); TC_P10(212); TC_P10(213); TC_P10(214); TC_P10(215); TC_P10(216); TC_P10(217); TC_P10(218); TC_P10(219);
  TC_P10(220); TC_P10(221); TC_P10(222); TC_P10(223); TC_P10(224); TC_P10(225); TC_P10(226); TC_P10(227); TC_P10(228); TC_P10(229);
  TC_P10(230); TC_P10(231); TC_P10(232); TC_P10(233); TC_P10(234); TC_P10(235); TC_P10(236); TC_P10(237); TC_P10(238); TC_P10(239);
  TC_P10(240); TC_P10(241); TC_P10(242); TC_P10(243); TC_P10(244); TC_P10(245); TC_P10(246); TC_P10(247); TC_P10(248); TC_P10(249);
  TC_P10(250); TC_P10(251); TC_P10(252); TC_P10(253); TC_P10(254); TC_P10(255); TC_P10(256); TC_P10(257); TC_P10(258); TC_P10(259);
  TC_P10(260); TC_P10(261); TC_P10(262); TC_P10(263); TC_P10(264); TC_P10(265); TC_P10(266); TC_P10(267); TC_P10(268); TC_P10(269);
  TC_P10(270); TC_P10(271); TC_P10(272); TC_P10(273); TC_P10(274); TC_P10(275); TC_P10(276); TC_P10(277); TC_P10(278); TC_P10(279);
  TC_P10(280); TC_P10(281); TC_P10(282); TC_P10(283); TC_P10(284); TC_P10(285); TC_P10(286); TC_P10(287); TC_P10(288); TC_P10(289);
  TC_P10(290); TC_P10(291); TC_P10(292); TC_P10(293); TC_P10(294); TC_P10(295); TC_P10(296); TC_P10(297); TC_P10(298); TC_P10(299);
  TC_P10(300); TC_P10(301); TC_P10(302); TC_P10(303); TC_P10(304); TC_P10(305); TC_P10(306); TC_P10(307); TC_P10(308);
#undef TC_P10
  return table;
}
constexpr std::array<double, 309> kPowersOfTen = make_powers();

// base^0 .. base^(N - 1), all below 2^64.
template <size_t N>
constexpr std::array<uint64_t, N> integer_powers(uint64_t base) {
  std::array<uint64_t, N> table{};
  uint64_t p = 1;
  for (uint64_t& entry : table) {
    entry = p;
    p *= base;
  }
  return table;
}
constexpr std::array<uint64_t, 20> kIntegerPowersOfTen = integer_powers<20>(10);
constexpr std::array<uint64_t, 28> kIntegerPowersOfFive = integer_powers<28>(5);  // 5^27: the last below 2^64

// Whether `count` digits, the first not zero, fit an integer's class: u64, or i64 below zero.
// Up to 18 digits always do; at the largest count that can, the digits compare as text.
inline bool integer_fits(const char* digits, size_t count, bool negative) {
  if (count <= 18) return true;
  if (negative) return count == 19 && std::memcmp(digits, "9223372036854775808", 19) <= 0;
  return count == 19 || (count == 20 && std::memcmp(digits, "18446744073709551615", 20) <= 0);
}

// S × 10 + digit would pass the largest u64.
inline bool significand_overflows(uint64_t s, unsigned digit) {
  return s >= kU64Max / 10 && (s > kU64Max / 10 || digit > kU64Max % 10);
}

// The fixed conversion steps: x = S as double, scaled by one power of ten. False on overflow.
// E is taken within the range of int32 first.
bool scale_to_double(uint64_t significand, int64_t exponent, double& result) {
  double x = static_cast<double>(significand);
  int64_t e = std::clamp<int64_t>(exponent, INT32_MIN, INT32_MAX);
  while (e > 308 || e < -308) {
    if (x == 0.0) {
      result = x;
      return true;
    }
    if (e > 0) return false;
    x /= 1e308;
    e += 308;
  }
  if (e >= 0) {
    x *= kPowersOfTen[static_cast<size_t>(e)];
    if (std::isinf(x)) return false;
  } else {
    x /= kPowersOfTen[static_cast<size_t>(-e)];
  }
  result = x;
  return true;
}

}  // namespace

size_t write_float_digits(bool negative, const char* digits, size_t count, int exponent, char* out) {
  char* p = out;
  if (negative) *p++ = '-';
  if (count == 0) {  // zero
    std::memcpy(p, "0.0", 3);
    return static_cast<size_t>(p + 3 - out);
  }
  const int n = static_cast<int>(count);
  if (exponent >= 16 || exponent <= -6) {
    *p++ = digits[0];
    if (n > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, count - 1);
      p += count - 1;
    }
    *p++ = 'e';
    *p++ = exponent < 0 ? '-' : '+';
    auto [end, ec] = std::to_chars(p, p + 8, exponent < 0 ? -exponent : exponent);
    (void)ec;
    return static_cast<size_t>(end - out);
  }
  if (exponent >= 0) {
    if (exponent >= n - 1) {
      std::memcpy(p, digits, count);
      p += count;
      for (int i = n - 1; i < exponent; ++i) *p++ = '0';
      *p++ = '.';
      *p++ = '0';
    } else {
      size_t whole = static_cast<size_t>(exponent) + 1;
      std::memcpy(p, digits, whole);
      p += whole;
      *p++ = '.';
      std::memcpy(p, digits + whole, count - whole);
      p += count - whole;
    }
    return static_cast<size_t>(p - out);
  }
  *p++ = '0';
  *p++ = '.';
  for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
  std::memcpy(p, digits, count);
  p += count;
  return static_cast<size_t>(p - out);
}

namespace {

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The eight digits of v (below 10^8), leading zeros included, as four independent pairs.
void write_eight_digits(uint32_t v, char* out) {
  const uint32_t high = v / 10000;
  const uint32_t low = v % 10000;
  std::memcpy(out, kPairs + 2 * (high / 100), 2);
  std::memcpy(out + 2, kPairs + 2 * (high % 100), 2);
  std::memcpy(out + 4, kPairs + 2 * (low / 100), 2);
  std::memcpy(out + 6, kPairs + 2 * (low % 100), 2);
}

constexpr size_t kDigitsWidth = 17;

// All 17 digits of v (below 10^17), leading zeros included, into out[0, 17); returns where the
// significant ones begin. Fixed work, no chain of divisions.
size_t write_digits(uint64_t v, char* out) {
  const uint64_t high = v / 100000000;
  write_eight_digits(static_cast<uint32_t>(v % 100000000), out + 9);
  write_eight_digits(static_cast<uint32_t>(high % 100000000), out + 1);
  out[0] = static_cast<char>('0' + high / 100000000);
  // Digit count from the bit length, corrected by one comparison.
  const int guess = ((64 - count_leading_zeros(v | 1)) * 1233) >> 12;
  const size_t count = static_cast<size_t>(guess) + (v >= kIntegerPowersOfTen[static_cast<size_t>(guess)] ? 1 : 0);
  return kDigitsWidth - count;
}

// The shortest decimal of a finite positive double, without zeros at the end of its digits.
Decimal trimmed_shortest(double positive) {
  Decimal decimal = shortest_decimal(positive);
  while (decimal.digits % 10 == 0) {
    decimal.digits /= 10;
    ++decimal.exponent;
  }
  return decimal;
}

// Where a float's digits are split by the point (I.F, as most floats in data are), they are
// laid out with two fixed-size copies, the point written between them, rather than copies
// sized by the digit count; the rest is write_float_digits'. `out` has kMaxFloatText bytes of
// room, and the copies may write past the text (never past that room) bytes that are not kept.
size_t write_decimal(bool negative, Decimal decimal, char* out) {
  constexpr size_t kCopy = 16;
  char digits[kDigitsWidth + kCopy];  // a fixed-size copy may read past the last digit
  const size_t first = write_digits(decimal.digits, digits);
  const size_t count = kDigitsWidth - first;
  const int exponent = decimal.exponent + static_cast<int>(count) - 1;
  if (exponent >= 0 && static_cast<size_t>(exponent) + 1 < count) {  // then count - whole < kCopy too
    static_assert(1 + kCopy + 1 + kCopy <= kMaxFloatText, "a sign, the copies and the point fit");
    const auto whole = static_cast<size_t>(exponent) + 1;  // below count, so at most 16
    char* p = out;
    *p = '-';
    p += negative ? 1 : 0;
    std::memcpy(p, digits + first, kCopy);
    p[whole] = '.';
    std::memcpy(p + whole + 1, digits + first + whole, kCopy);
    return static_cast<size_t>(p - out) + count + 1;
  }
  return write_float_digits(negative, digits + first, count, exponent, out);
}

}  // namespace

size_t write_float(double value, char* out) {
  const bool negative = std::signbit(value);
  if (value == 0.0) return write_float_digits(negative, "0", 0, 0, out);
  return write_decimal(negative, trimmed_shortest(std::fabs(value)), out);
}

namespace {

// Where the parts of a number's text lie, found in one scan that also checks the grammar.
struct NumberText {
  size_t start;        // the minus sign or first digit
  size_t int_begin;    // integer digits [int_begin, int_end)
  size_t int_end;
  size_t frac_begin;   // fraction digits [frac_begin, frac_end), empty when there is no point
  size_t frac_end;
  size_t end;          // one past the number
  bool negative;
  bool has_point;
  bool has_exponent;
  bool exponent_overflow;  // the exponent's digits passed 2147483647
  bool exponent_negative;
  int32_t exponent;        // the exponent part's value (0 without one)
};

// `int_end`, when not zero, is where the integer digits are already known to end.
ReadStatus scan_number(const char* input, size_t size, size_t pos, size_t int_end, NumberText& t) {
  t = {};
  t.start = pos;
  t.negative = input[pos] == '-';
  if (t.negative) ++pos;
  if (pos == size) return fail_at_end(ErrorCode::kEofWhileParsingValue, size);
  t.int_begin = pos;
  if (input[pos] == '0') {
    ++pos;
    if (pos < size && is_decimal_digit(input[pos])) return fail_at(ErrorCode::kInvalidNumber, pos);
  } else if (is_decimal_digit(input[pos])) {
    pos = int_end != 0 ? int_end : skip_digits(input, size, pos + 1);
  } else {
    return fail_at(ErrorCode::kInvalidNumber, pos);
  }
  t.int_end = t.frac_begin = t.frac_end = pos;
  if (pos < size && input[pos] == '.') {
    t.has_point = true;
    t.frac_begin = ++pos;
    pos = skip_digits(input, size, pos);
    t.frac_end = pos;
    if (pos == t.frac_begin) {
      if (pos == size) return fail_at_end(ErrorCode::kEofWhileParsingValue, size);
      return fail_at(ErrorCode::kInvalidNumber, pos);
    }
  }
  if (pos < size && (input[pos] == 'e' || input[pos] == 'E')) {
    t.has_exponent = true;
    ++pos;
    if (pos < size && (input[pos] == '+' || input[pos] == '-')) {
      t.exponent_negative = input[pos] == '-';
      ++pos;
    }
    if (pos == size) return fail_at_end(ErrorCode::kEofWhileParsingValue, size);
    if (!is_decimal_digit(input[pos])) return fail_at(ErrorCode::kInvalidNumber, pos);
    int32_t value = 0;
    for (; pos < size && is_decimal_digit(input[pos]); ++pos) {
      int32_t digit = input[pos] - '0';
      if (t.exponent_overflow) continue;  // read to the last digit all the same
      if (value >= INT32_MAX / 10 && (value > INT32_MAX / 10 || digit > INT32_MAX % 10)) {
        t.exponent_overflow = true;
        continue;
      }
      value = value * 10 + digit;
    }
    t.exponent = value;
  }
  t.end = pos;
  return {};
}

// Digits are accumulated into S from the left, integer then fraction digits, while S × 10 +
// digit stays within u64. From the first refused digit on nothing more is accumulated: each
// further integer digit raises E by one, further fraction digits are skipped.
void accumulate(const char* input, const NumberText& t, uint64_t& significand, int64_t& exponent) {
  uint64_t s = 0;
  int64_t e = 0;
  const size_t int_digits = t.int_end - t.int_begin;
  const size_t frac_digits = t.frac_end - t.frac_begin;
  // Nearly always every digit fits (at most 19, not counting a lone integer 0 or the zeros
  // after its point, which are counted only when there are too many digits without them): S
  // is then simply the digits, and E the exponent less the count of fraction digits.
  const bool below_one = input[t.int_begin] == '0';
  const size_t digits = below_one ? frac_digits : int_digits + frac_digits;
  if (digits <= 19 ||
      (below_one && digits - leading_zero_digits(input + t.frac_begin, input + t.frac_end, t.end - t.frac_begin) <= 19)) {
    if (below_one) {
      s = digits_value(input + t.frac_begin, input + t.frac_end);  // the zeros add nothing
    } else {
      s = digits_value(input + t.int_begin, input + t.int_end);
      if (frac_digits > 0) {
        const uint64_t frac = digits_value(input + t.frac_begin, input + t.frac_end);
        s = s * kIntegerPowersOfTen[frac_digits] + frac;
      }
    }
    e = -static_cast<int64_t>(frac_digits);
    if (t.has_exponent) e += t.exponent_negative ? -static_cast<int64_t>(t.exponent) : t.exponent;
    significand = s;
    exponent = e;
    return;
  }
  // The integer part starts with a non-zero digit (or is a lone 0): 19 digits always fit, a
  // 20th may, a 21st never does.
  const char* p = input + t.int_begin;
  const char* const int_end = input + t.int_end;
  const char* const sure = p + std::min<size_t>(19, t.int_end - t.int_begin);
  for (; p < sure; ++p) s = s * 10 + static_cast<unsigned>(*p - '0');
  if (p < int_end) {
    const unsigned digit = static_cast<unsigned>(*p - '0');
    if (!significand_overflows(s, digit)) {
      s = s * 10 + digit;
      ++p;
    }
    e = int_end - p;  // refused integer digits; fraction digits cannot fit after 20 digits
  } else {
    p = input + t.frac_begin;
    const char* const frac_end = input + t.frac_end;
    size_t significant = s == 0 ? 0 : t.int_end - t.int_begin;
    if (s == 0) {
      for (; p < frac_end && *p == '0'; ++p) --e;  // leading zeros keep S at 0
    }
    const char* const frac_sure = p + std::min<size_t>(19 - significant, static_cast<size_t>(frac_end - p));
    for (; p < frac_sure; ++p) {
      s = s * 10 + static_cast<unsigned>(*p - '0');
      --e;
    }
    if (p < frac_end && !significand_overflows(s, static_cast<unsigned>(*p - '0'))) {
      s = s * 10 + static_cast<unsigned>(*p - '0');
      --e;
    }
  }
  if (t.has_exponent) e += t.exponent_negative ? -static_cast<int64_t>(t.exponent) : t.exponent;
  significand = s;
  exponent = e;
}

// A short decimal (S below 10^15, |E| <= 22) converts with one exact rounding, and its own
// significant digits are the shortest text of the result: lay them out from the input.
size_t write_short_decimal(const char* input, size_t int_begin, size_t frac_end, bool negative, int64_t exponent,
                           char* out) {
  char digits[24];
  size_t count = 0;
  for (size_t pos = int_begin; pos < frac_end; ++pos) {
    char c = input[pos];
    if (c == '.' || (count == 0 && c == '0')) continue;
    digits[count++] = c;
  }
  const int first_exponent = static_cast<int>(exponent) + static_cast<int>(count) - 1;
  while (count > 0 && digits[count - 1] == '0') --count;
  return write_float_digits(negative, digits, count, first_exponent, out);
}

// m × 10^e rounded once, for m up to 2^53 and |e| at most 22: both factors are exact doubles.
double exact_scale(uint64_t m, int64_t e) {
  const double d = static_cast<double>(m);
  return e < 0 ? d / kPowersOfTen[static_cast<size_t>(-e)] : d * kPowersOfTen[static_cast<size_t>(e)];
}

// Whether S × 10^E (two digits or more, the last not zero) is the shortest text of x, where x is
// S × 10^E rounded once, so that the text reads back as x. The decimals that read back as x
// form an interval around it, and any other text as short that did would bring (S - 1) × 10^E
// or (S + 1) × 10^E into it, as one of them lies between the two. With S below 2^53 and |E|
// small those convert with one rounding too: two divisions settle what the full search for
// the shortest digits would. False means not settled here. Out of line, as shortest_near_text:
// inlined into the loop over a run of numbers, they made it slower.
TC_NOINLINE bool is_own_shortest(uint64_t s, int64_t e, double x) {
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ != 0
  return false;  // wider intermediates (x87) would round twice
#endif
  if (s < 10 || s >= (uint64_t{1} << 53) || e < -22 || e > 22) return false;
  return exact_scale(s - 1, e) != x && exact_scale(s + 1, e) != x;
}

// What the search for the shortest digits makes of x near its text S × 10^E, where settled:
// S or another unit of its decade, or S less its last digit with the new last digit changed.
struct NearText {
  bool settled;
  bool shorter;  // less the last digit
  int step;      // added to the (new) last digit, without a carry
};

// The same question where S has more digits than a double holds (17, mostly), for E from -27
// to -1, answered in integers, with the text one digit shorter as a second answer: texts printed
// with 17 digits read back by the fixed steps mostly as a double whose shortest text has 16 or
// 17. x = m × 2^-q is what the decimals within 2^-q / 2 of it read back as (the ends too, for an
// even m). Scaled by 2^(q + 1) × 10^-E, x is 2m × 10^-E, that reach is 10^-E, and a text
// T × 10^E is T × 2^(q + 1): all integers, and where q is -E or more, all multiples of 2^-E,
// so they are taken divided by it (a unit of text is then 2^(q + 1 + E): small x keep room).
// The search takes the shortest texts within reach, and of those the nearest to x (ties to
// even). So where x lies between multiples of a hundred, neither within reach, it takes the
// multiple of ten on either side of x that is within reach (the nearer, if both are),
// else the unit nearest x if within reach. Where a unit passes 2^59 (x below about 2^(E - 6)),
// only S itself is settled; one digit shorter only up to a unit of 2^54 (x from about 2^(E - 1)).
// Unsettled for a power of two (whose reach is shorter below) or x far from its text.
TC_NOINLINE NearText shortest_near_text(uint64_t s, int64_t e, double x) {
  constexpr NearText kUnsettled = {false, false, 0};
  if (e >= 0 || e < -27 || s < 100) return kUnsettled;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  const int q = 1075 - (static_cast<int>(bits >> 52) & 0x7FF);
  const int shift = q + 1 + static_cast<int>(e);  // a unit of text is 2^shift
  if (fraction == 0 || shift < 1 || shift > 63) return kUnsettled;
  const uint64_t m = fraction | (uint64_t{1} << 52);
  const uint64_t power = kIntegerPowersOfFive[static_cast<size_t>(-e)];  // 10^-E less its twos
  // x less the text, in 128 bits: 2m × 10^-E less S × 2^(q + 1), both divided by 2^-E. Within
  // 2^60, every distance below stays within int64: ten units are at most 2^62.4, and a hundred
  // are taken only up to a unit of 2^54 (2^61), where a text one digit shorter is settled.
  const Wide twice_x = multiply_wide(2 * m, power);
  const Wide text = {s >> (64 - shift), s << shift};
  int64_t d = 0;
  const bool near = narrow_difference(twice_x, text, 60, d);
  const uint64_t reach = power - (m & 1);
  if (shift > 59) {
    // A unit past 2^59 and past twice the reach (x is finer than the text's last digit, as
    // for shorter texts far below one): every other text as short or shorter than S is more
    // than half a unit from x where S is within reach, so S is x's shortest text if it is.
    const uint64_t distance = d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d);
    const bool own = near & (s % 10 != 0) & (reach < (uint64_t{1} << (shift - 1))) & (distance <= reach);
    return {own, false, 0};
  }
  const int64_t unit = int64_t{1} << shift;
  const uint64_t s_tens = s / 10;
  const auto ones = static_cast<int64_t>(s - 10 * s_tens);
  int64_t above_ten = d + ones * unit;  // x above the multiple of ten below S
  int64_t below_ten = (10 - ones) * unit - d;
  bool lower = static_cast<uint64_t>(above_ten) <= reach;
  bool upper = static_cast<uint64_t>(below_ten) <= reach;
  int64_t crossed = 0;  // the multiples of ten around x: S's, or the pair below (-1) or above (1)
  if (!(lower | upper)) {
    if ((above_ten | below_ten) >= 0) {
      // The unit nearest x (ties to even) where it is within reach: S itself, or another unit
      // of S's decade where x lies nearer to it (as where S was printed from a double and the
      // fixed steps, rounding S first, come to a double a few units off). That unit does not
      // end in 0 and x is within half a unit of it, so x is between the multiples of ten around
      // S, out of reach, and those of a hundred are further still: no shorter text is in reach.
      const int64_t half = unit >> 1;
      int64_t step = (d + half) >> shift;  // rounded to the nearest unit, ties up
      int64_t off = d - step * unit;       // x less that unit: from -half up to half
      if (off == -half && ((s + static_cast<uint64_t>(step)) & 1) != 0) {  // a tie goes to the even one
        --step;
        off += unit;
      }
      const auto distance = static_cast<uint64_t>(off < 0 ? -off : off);
      const bool settled = near & (ones + step >= 1) & (ones + step <= 9) & (distance <= reach);
      return {settled, false, static_cast<int>(step)};
    }
    // x, read a few units off S, has crossed one of S's multiples of ten: the pair around it is
    // the next one down or up.
    crossed = above_ten < 0 ? -1 : 1;
    above_ten -= crossed * 10 * unit;
    below_ten += crossed * 10 * unit;
    lower = static_cast<uint64_t>(above_ten) <= reach;
    upper = static_cast<uint64_t>(below_ten) <= reach;
  }
  // One digit shorter: x between the multiples of ten around it, and of a hundred, those of a
  // hundred out of reach; the nearer of those of ten within reach. Without branches: which
  // comes is as good as random from one float to the next.
  const uint64_t tens = s_tens + static_cast<uint64_t>(crossed);
  const bool hundreds_narrow = shift <= 54;
  const int64_t hundred_unit = hundreds_narrow ? unit : 0;
  const int64_t tens_in_hundred = static_cast<int64_t>(s_tens % 10) + crossed;  // kept from 0 to 9 below
  const int64_t above_hundred = above_ten + tens_in_hundred * 10 * hundred_unit;
  const int64_t below_hundred = 100 * hundred_unit - above_hundred;
  const bool take_lower = lower & (!upper | (above_ten < below_ten) | ((above_ten == below_ten) & ((tens & 1) == 0)));
  // The answer's last digit is S's tens digit changed by `step`, from 1 to 9 (a 0 or a 10 would
  // be a multiple of a hundred, in reach).
  const int64_t step = crossed + (take_lower ? 0 : 1);
  const bool between = near & (lower | upper) & (ones != 0) & hundreds_narrow & (above_ten >= 0) & (below_ten >= 0) &
                       (static_cast<uint64_t>(above_hundred) > reach) & (static_cast<uint64_t>(below_hundred) > reach) &
                       (tens_in_hundred >= 0) & (tens_in_hundred <= 9);
  return {between, true, static_cast<int>(step)};
}

// Whether the text is laid out the way the writer lays out a float's significant digits, so that
// when those digits are the shortest of the value the text is already its written form: at most
// 17 significant digits, the last one not zero, and either a plain decimal (below one, at most
// four zeros after the point) or one digit, a fraction if any, and an exponent written "e+" or
// "e-" without leading zeros, at 16 and up or -6 and down, where the writer takes that layout.
bool has_written_layout(const char* input, const NumberText& t) {
  const size_t int_digits = t.int_end - t.int_begin;
  const size_t frac_digits = t.frac_end - t.frac_begin;
  if (t.has_point && input[t.frac_end - 1] == '0') return false;
  if (!t.has_exponent) {
    if (!t.has_point) return false;
    if (input[t.int_begin] != '0') return int_digits + frac_digits <= 17;
    const size_t zeros = leading_zero_digits(input + t.frac_begin, input + t.frac_end, t.end - t.frac_begin);
    return zeros <= 4 && frac_digits - zeros <= 17;
  }
  if (int_digits != 1 || input[t.int_begin] == '0' || frac_digits > 16 || t.exponent_overflow) return false;
  const size_t e = t.frac_end;  // the exponent part (frac_end is int_end without a point)
  if (input[e] != 'e' || input[e + 1] != (t.exponent_negative ? '-' : '+') || input[e + 2] == '0') return false;
  return t.exponent_negative ? t.exponent >= 6 : t.exponent >= 16;
}

// Texts printed with 17 digits from a value whose shortest text is much shorter (as "%.17g"
// prints 43.420273 as 43.420273000000009) have a run of zeros or nines before their last one or
// two digits. Such a text is not its own shortest, so the check that could confirm it is
// skipped: only a shortcut, the search decides the same either way.
inline bool looks_padded(const char* text, size_t length) {
  if (length < 6) return false;
  uint32_t word;
  std::memcpy(&word, text + length - 6, 4);
  return word == 0x30303030u || word == 0x39393939u;
}

// A plain decimal that looks padded, where the text before its run of zeros (or of nines, the
// digit before them raised) is x's shortest: is_own_shortest's question, x being that text read
// back. It is then a prefix of the text (the digit before the run ends it, in the same layout,
// and is not a 9 to raise), copied here; false, with nothing written, where not settled. The
// run lies after the point, and the digits from it on are S's, at most 17.
inline bool put_unpadded(const char* text, size_t length, size_t room, uint64_t significand, int64_t exponent,
                         double x, ByteBuffer& out) {
  if (exponent > -6 || static_cast<size_t>(-exponent) >= length ||
      text[length - 1 - static_cast<size_t>(-exponent)] != '.') {
    return false;
  }
  const char pad = text[length - 3];
  size_t cut = length - 6;
  while (text[cut - 1] == pad) --cut;  // stops at the point at the latest
  if (text[cut - 1] == '.') return false;
  const size_t dropped = length - cut;
  const uint64_t kept = significand / kIntegerPowersOfTen[dropped] + (pad == '9' ? 1 : 0);
  const int64_t kept_exponent = exponent + static_cast<int64_t>(dropped);
  if (!is_own_shortest(kept, kept_exponent, x) || exact_scale(kept, kept_exponent) != x) return false;
  out.append_short(text, cut, room);
  out.data()[out.size() - 1] = static_cast<char>(text[cut - 1] + (pad == '9' ? 1 : 0));
  return true;
}

// The rest of put_long_float, out of line: the padded texts, then the full search, whose answer
// is copied where it is the text itself and written otherwise.
TC_NOINLINE void put_searched(const char* text, size_t length, size_t room, bool negative, uint64_t significand,
                              int64_t exponent, double x, ByteBuffer& out) {
  if (looks_padded(text, length) && put_unpadded(text, length, room, significand, exponent, x, out)) return;
  const Decimal decimal = trimmed_shortest(x);
  if (decimal.digits != significand || decimal.exponent != exponent) {
    out.commit(write_decimal(negative, decimal, out.reserve(kMaxFloatText)));
    return;
  }
  out.append_short(text, length, room);
}

// A float whose text has the writer's layout: most long floats were written by a
// shortest-digits writer, or printed with 17 digits. Where x's shortest text is the text
// itself, it is copied; where it is another unit of S's decade, or one digit shorter, it is
// copied with its last digit changed (where that needs no carry). Else it is found by the full
// search and written. S's digits end at `digits_end` (before any exponent part). Inlined: as a
// call it costs both callers 2%.
TC_ALWAYS_INLINE void put_long_float(const char* text, size_t length, size_t digits_end, size_t room, bool negative,
                                     uint64_t significand, int64_t exponent, double x, ByteBuffer& out) {
  if (significand < (uint64_t{1} << 53) && !looks_padded(text, length) && is_own_shortest(significand, exponent, x)) {
    out.append_short(text, length, room);
    return;
  }
  const NearText near = shortest_near_text(significand, exponent, x);
  // A plain decimal with two fraction digits or more ends with S's last two digits, which the
  // answers below change in place (x from 1/2 up, as settled, has no other layout here).
  const bool plain = exponent <= -2 && static_cast<size_t>(1 - exponent) < length &&
                     text[length - 1 - static_cast<size_t>(-exponent)] == '.';
  // S itself is copied as it stands, another unit of S's decade (no carry) with its last digit
  // changed, and S less its last digit, from a plain decimal, with its new last digit changed.
  if (near.settled & (!near.shorter | plain)) {
    const size_t kept = length - static_cast<size_t>(near.shorter);
    const size_t at = digits_end - 1 - static_cast<size_t>(near.shorter);  // the last digit kept
    const char last = static_cast<char>(text[at] + near.step);
    out.append_short(text, kept, room);
    out.data()[out.size() - kept + at] = last;  // written, not read back from the copy just stored
    return;
  }
  put_searched(text, length, room, negative, significand, exponent, x, out);
}

// A copied text whose exponent was written with a leading zero ("e-07", as C and Python print
// exponents from -6 to -9) loses that zero, as the writer leaves it out; a float the writer
// wrote itself has none.
inline void drop_exponent_zero(ByteBuffer& out) {
  char* end = out.data() + out.size();  // a float with an exponent part: four bytes at least
  if (end[-4] == 'e' && end[-3] == '-' && end[-2] == '0') {
    end[-2] = end[-1];
    out.resize_down(out.size() - 1);
  }
}

// A float from its parts S × 10^E and its text [start, end): a short decimal laid out from its
// own digits, else x by the fixed steps, kept as written where its text has the writer's layout
// (`layout`, or that layout but for a leading zero in the exponent: `exponent_zero`) and x is
// not zero, else written. Fails where x is out of range.
TC_ALWAYS_INLINE ReadStatus put_float(const char* input, size_t size, size_t start, size_t end,
                                                   size_t int_begin, size_t frac_end, bool negative,
                                                   uint64_t significand, int64_t exponent, bool layout,
                                                   ByteBuffer& out, bool exponent_zero = false) {
  char* dst = out.reserve(kMaxFloatText);
  if (significand < 1000000000000000ULL && exponent >= -22 && exponent <= 22 && significand != 0) {
    out.commit(write_short_decimal(input, int_begin, frac_end, negative, exponent, dst));
    return {};
  }
  double x = 0;
  if (!scale_to_double(significand, exponent, x)) return fail_at(ErrorCode::kNumberOutOfRange, end - 1);
  if (x != 0.0 && layout) {
    put_long_float(input + start, end - start, frac_end - start, size - start, negative, significand, exponent, x, out);
    if (exponent_zero) drop_exponent_zero(out);
  } else {
    out.commit(write_float(negative ? -x : x, dst));
  }
  return {};
}

// A number I.F or 0.F with no exponent part (a plain decimal): its digits, the integer ones from
// `first_digit` to `int_end`, the point, the fraction's to `frac_end`.
struct PlainDigits {
  size_t frac_digits;
  size_t zeros;   // after "0.", which count as no digit of S
  size_t digits;  // of S
  bool below_one;
  bool ends_in_zero;
  bool decimal;   // a fraction digit at least, and no exponent part after them

  // The writer's layout for a plain decimal: one to 17 digits of S, the last not zero, at most
  // four zeros after "0.".
  [[nodiscard]] bool written_layout() const { return digits - 1 < 17 && !ends_in_zero && zeros <= 4; }
};

TC_ALWAYS_INLINE PlainDigits plain_digits(const char* input, size_t size, size_t first_digit, size_t int_end,
                                          size_t frac_end) {
  PlainDigits p;
  const size_t frac_begin = int_end + 1;
  p.frac_digits = frac_end - frac_begin;
  p.decimal = p.frac_digits != 0 && (frac_end == size || (input[frac_end] != 'e' && input[frac_end] != 'E'));
  p.below_one = input[first_digit] == '0';
  p.zeros = p.below_one && p.decimal ? leading_zero_digits(input + frac_begin, input + frac_end, size - frac_begin) : 0;
  p.digits = p.below_one ? p.frac_digits - p.zeros : int_end - first_digit + p.frac_digits;
  p.ends_in_zero = input[frac_end - 1] == '0';
  return p;
}

// S of a plain decimal of at most 19 digits.
TC_ALWAYS_INLINE uint64_t plain_significand(const char* input, size_t first_digit, size_t int_end, size_t frac_end,
                                            const PlainDigits& p) {
  const char* const frac_begin = input + int_end + 1;
  // Below one, the digits after the zeros come from one load. With an integer part, the
  // fraction taken the same way measured slower (canada by 1.7%, member floats by 2.8%).
  if (p.below_one) return digits_value_within(input, frac_begin + p.zeros, input + frac_end);
  return digits_value(input + first_digit, input + int_end) * kIntegerPowersOfTen[p.frac_digits] +
         digits_value(frac_begin, input + frac_end);
}

// The usual floats, plain decimals of at most 19 significant digits, read in one go: the same
// steps as the general path below, on what this layout settles at once. False, with nothing
// read, for any other number.
TC_ALWAYS_INLINE bool read_plain_decimal(const char* input, size_t size, size_t& pos, size_t first_digit,
                                         size_t int_end, size_t frac_end, ByteBuffer& out) {
  const PlainDigits p = plain_digits(input, size, first_digit, int_end, frac_end);
  if (!p.decimal || p.digits - 1 >= 19) return false;  // no digit of S (0.0), or too many for one word
  const bool negative = first_digit != pos;
  const int64_t exponent = -static_cast<int64_t>(p.frac_digits);
  if (p.digits <= 15) {
    // Its written form (compact_number_end), or laid out from its own digits.
    if (p.zeros <= 4 && (!p.ends_in_zero || (p.frac_digits == 1 && !p.below_one))) {
      out.append_short(input + pos, frac_end - pos, size - pos);
    } else if (p.frac_digits <= 22) {
      out.commit(write_short_decimal(input, first_digit, frac_end, negative, exponent, out.reserve(kMaxFloatText)));
    } else {
      return false;
    }
    pos = frac_end;
    return true;
  }
  if (p.frac_digits > 308) return false;  // past one power of ten: the general path scales in steps
  const uint64_t significand = plain_significand(input, first_digit, int_end, frac_end, p);
  const double x = static_cast<double>(significand) / kPowersOfTen[p.frac_digits];  // scale_to_double's one step
  if (p.written_layout()) {
    put_long_float(input + pos, frac_end - pos, frac_end - pos, size - pos, negative, significand, exponent, x, out);
  } else {
    out.commit(write_float(negative ? -x : x, out.reserve(kMaxFloatText)));
  }
  pos = frac_end;
  return true;
}

// A plain decimal of a run in the writer's layout (at most 17 digits, the last not zero, at most
// four zeros after "0."), read before the one ahead of it is written. What is written for a
// float turns on x, known late, and the branches on it go either way from one float to the
// next (as on coordinates); the next number, read before those branches, does not wait on them
// (canada's pairs took 0.87 of the time; the same code reading it after them took 1.04).
struct DecimalAhead {
  size_t start = 0;  // the sign or first digit
  size_t end = 0;
  uint64_t significand = 0;  // S, E and x only where not as_written
  int64_t exponent = 0;
  double x = 0;
  bool negative = false;
  bool as_written = false;  // up to 15 digits: already its written form
};

// False, with nothing read, for any other number at `start` (a sign or a digit): those the run
// hands to read_one_number.
TC_ALWAYS_INLINE bool read_decimal_ahead(const char* input, size_t size, size_t start, DecimalAhead& d) {
  const size_t first_digit = start + (input[start] == '-' ? 1 : 0);
  if (size - first_digit < 3) return false;  // a digit, the point and a digit at least
  size_t int_end = first_digit + 1;
  if (input[first_digit] >= '1' && input[first_digit] <= '9') {
    int_end = skip_digits(input, size, int_end);
  } else if (input[first_digit] != '0') {
    return false;
  }
  if (int_end == size || input[int_end] != '.') return false;
  const size_t frac_end = skip_digits(input, size, int_end + 1);
  const PlainDigits p = plain_digits(input, size, first_digit, int_end, frac_end);
  if (!p.decimal || !p.written_layout()) return false;
  d.start = start;
  d.end = frac_end;
  d.negative = first_digit != start;
  d.as_written = p.digits <= 15;
  if (d.as_written) return true;
  d.significand = plain_significand(input, first_digit, int_end, frac_end, p);
  d.exponent = -static_cast<int64_t>(p.frac_digits);
  d.x = static_cast<double>(d.significand) / kPowersOfTen[p.frac_digits];  // as read_plain_decimal
  return true;
}

TC_ALWAYS_INLINE void put_decimal_ahead(const char* input, size_t size, const DecimalAhead& d, ByteBuffer& out) {
  const size_t length = d.end - d.start;
  if (d.as_written) {
    out.append_short(input + d.start, length, size - d.start);
  } else {
    put_long_float(input + d.start, length, length, size - d.start, d.negative, d.significand, d.exponent, d.x, out);
  }
}

// The next most usual floats, read in one go: I.F with an exponent part of up to three digits
// (I not starting with 0) and at most 19 digits. The same steps as the general path below, on
// what this layout settles at once. False, with nothing read or written, for any other number,
// and for a result out of range (the general path reports it). Digits as for read_plain_decimal.
bool read_exponent_form(const char* input, size_t size, size_t& pos, size_t first_digit, size_t int_end,
                        size_t frac_end, ByteBuffer& out) {
  const size_t frac_begin = int_end + 1;
  const size_t frac_digits = frac_end - frac_begin;
  const size_t int_digits = int_end - first_digit;
  const size_t digits = int_digits + frac_digits;
  if (frac_digits == 0 || digits > 19 || frac_end == size || (input[frac_end] != 'e' && input[frac_end] != 'E')) {
    return false;
  }
  const uint64_t significand = digits_value(input + first_digit, input + int_end) * kIntegerPowersOfTen[frac_digits] +
                               digits_value(input + frac_begin, input + frac_end);
  size_t e = frac_end + 1;  // the exponent part: a sign if any, then one to three digits
  const bool sign = e < size && (input[e] == '+' || input[e] == '-');
  const bool exponent_negative = sign && input[e] == '-';
  e += sign ? 1 : 0;
  const size_t exponent_begin = e;
  int64_t value = 0;
  for (; e < size && e - exponent_begin < 4 && is_decimal_digit(input[e]); ++e) value = value * 10 + (input[e] - '0');
  if (e == exponent_begin || e - exponent_begin == 4) return false;
  const int64_t exponent = (exponent_negative ? -value : value) - static_cast<int64_t>(frac_digits);
  // One digit before the point, and the exponent signed and without leading zeros, where the
  // writer uses that layout; or with one, as in "e-07".
  const bool exponent_zero = exponent_negative && e - exponent_begin == 2 && input[exponent_begin] == '0' && value >= 6;
  const bool layout = input[frac_end - 1] != '0' && digits <= 17 && int_digits == 1 && input[frac_end] == 'e' &&
                      sign && (exponent_zero || (input[exponent_begin] != '0' && (exponent_negative ? value >= 6 : value >= 16)));
  // Out of range, nothing is written, and the general path reports it.
  if (put_float(input, size, pos, e, first_digit, frac_end, first_digit != pos, significand, exponent, layout, out,
                exponent_zero)) {
    return false;
  }
  pos = e;
  return true;
}

// read_number's work, inlined into both entries: in read_number_run's loop the position and
// the buffer stay in registers from one number to the next, and no call is made per number
// (arrays of floats took 10% fewer instructions and time).
TC_ALWAYS_INLINE ReadStatus read_one_number(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  // The most common numbers, integers that fit their class, keep their text as it is.
  const bool negative = input[pos] == '-';
  const size_t first_digit = pos + (negative ? 1 : 0);
  size_t int_end = 0;
  if (first_digit < size && input[first_digit] >= '1' && input[first_digit] <= '9') {
    int_end = skip_digits(input, size, first_digit + 1);
    if (integer_fits(input + first_digit, int_end - first_digit, negative) &&
        (int_end == size || (input[int_end] != '.' && input[int_end] != 'e' && input[int_end] != 'E'))) {
      out.append_short(input + pos, int_end - pos, size - pos);
      pos = int_end;
      return {};
    }
  }
  // A float with a point: the digits after it are scanned once, for whichever reader takes it.
  if (int_end != 0) {
    if (int_end < size && input[int_end] == '.') {
      const size_t frac_end = skip_digits(input, size, int_end + 1);
      if (read_plain_decimal(input, size, pos, first_digit, int_end, frac_end, out) ||
          read_exponent_form(input, size, pos, first_digit, int_end, frac_end, out)) {
        return {};
      }
    }
  } else if (first_digit + 1 < size && input[first_digit] == '0' && input[first_digit + 1] == '.') {
    if (read_plain_decimal(input, size, pos, first_digit, first_digit + 1, skip_digits(input, size, first_digit + 2),
                           out)) {
      return {};
    }
  } else if (!negative && first_digit < size && input[first_digit] == '0') {  // 0 ("-0" is a float)
    const char next = first_digit + 1 < size ? input[first_digit + 1] : ' ';
    if (!is_decimal_digit(next) && next != 'e' && next != 'E') {
      out.push('0');
      pos = first_digit + 1;
      return {};
    }
  }
  NumberText t;
  if (ReadStatus s = scan_number(input, size, pos, int_end, t)) return s;
  pos = t.end;
  const size_t int_digits = t.int_end - t.int_begin;
  if (!t.has_point && !t.has_exponent) {
    // An integer keeps its text when it fits its class ("-0" is a float).
    const bool fits = input[t.int_begin] == '0' ? !t.negative : integer_fits(input + t.int_begin, int_digits, t.negative);
    if (fits) {
      out.append_short(input + t.start, t.end - t.start, size - t.start);
      return {};
    }
  }
  if (t.has_point && compact_number_end(input, size, input + t.start) == input + t.end) {
    out.append_short(input + t.start, t.end - t.start, size - t.start);
    return {};
  }
  uint64_t significand = 0;
  int64_t exponent = 0;
  accumulate(input, t, significand, exponent);
  if (t.exponent_overflow) {
    if (significand != 0 && !t.exponent_negative) return fail_at(ErrorCode::kNumberOutOfRange, t.end - 1);
    out.commit(write_float_digits(t.negative, "0", 0, 0, out.reserve(kMaxFloatText)));
    return {};
  }
  return put_float(input, size, t.start, t.end, t.int_begin, t.frac_end, t.negative, significand, exponent,
                   has_written_layout(input, t), out);
}

// Where the next number of a run begins, after the separator at `at` (a comma, or a comma and a
// space); 0 where the run ends at `at`.
TC_ALWAYS_INLINE size_t next_in_run(const char* input, size_t size, size_t at) {
  if (size - at < 3 || input[at] != ',') return 0;
  const size_t next = at + (input[at + 1] == ' ' ? 2 : 1);
  return input[next] == '-' || is_decimal_digit(input[next]) ? next : 0;
}

}  // namespace

ReadStatus read_number(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  return read_one_number(input, size, pos, out);
}

ReadStatus read_number_run(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  size_t at = pos;  // in a register across the run
  DecimalAhead current;
  if (read_decimal_ahead(input, size, at, current)) {
    DecimalAhead following;  // made once for the run: made for each number, canada took 3% longer
    for (;;) {
      const size_t next = next_in_run(input, size, current.end);
      const bool read = next != 0 && read_decimal_ahead(input, size, next, following);
      put_decimal_ahead(input, size, current, out);
      if (next == 0) {
        pos = current.end;
        return {};
      }
      out.push(',');
      if (!read) {  // the rest of the run one number at a time
        at = next;
        break;
      }
      current = following;
    }
  }
  for (;;) {
    if (ReadStatus s = read_one_number(input, size, at, out)) return s;
    const size_t next = next_in_run(input, size, at);
    if (next == 0) break;
    out.push(',');
    at = next;
  }
  pos = at;
  return {};
}

}  // namespace tc
