// The Schubfach method (R. Giulietti): the rounding interval of a double is scaled by a
// 126-bit approximation of a power of ten chosen so that at most two candidates of the
// shortest length fall inside it, and the candidates are compared with exact integer checks.
#include "codec/shortest.hpp"

#include <cstring>

#include "codec/portable.hpp"
#include "codec/pow10_table.hpp"

namespace tc {
namespace {

constexpr int kPrecision = 53;
constexpr int kMinExponent = -1074;  // exponent of the smallest subnormal's unit
constexpr uint64_t kHiddenBit = uint64_t{1} << (kPrecision - 1);
constexpr uint64_t kMask63 = (uint64_t{1} << 63) - 1;

// floor(e · log10 2), floor(e · log10 (3/4 · 2)) and floor(e · log2 10) over the ranges used.
int floor_log10_pow2(int e) { return static_cast<int>((int64_t{e} * 661971961083LL) >> 41); }
int floor_log10_three_quarters_pow2(int e) { return static_cast<int>((int64_t{e} * 661971961083LL - 274743187321LL) >> 41); }
int floor_log2_pow10(int e) { return static_cast<int>((int64_t{e} * 913124641741LL) >> 38); }

uint64_t multiply_high(uint64_t a, uint64_t b) {
  return tc::multiply_high(a, b);
}

// Rounds (g · cp) / 2^127 to odd: the scaled bound, with a sticky low bit for inexactness.
uint64_t round_to_odd(uint64_t g1, uint64_t g0, uint64_t cp) {
  const uint64_t x1 = multiply_high(g0, cp);
  const uint64_t y0 = g1 * cp;
  const uint64_t y1 = multiply_high(g1, cp);
  const uint64_t z = (y0 >> 1) + x1;
  const uint64_t vbp = y1 + (z >> 63);
  return vbp | (((z & kMask63) + kMask63) >> 63);
}

Decimal to_decimal(int q, uint64_t c) {
  const uint64_t out = c & 1;
  const uint64_t cb = c << 2;
  const uint64_t cbr = cb + 2;
  uint64_t cbl;
  int k;
  if (c != kHiddenBit || q == kMinExponent) {
    cbl = cb - 2;
    k = floor_log10_pow2(q);
  } else {
    cbl = cb - 1;  // the spacing below a power of two is half the spacing above it
    k = floor_log10_three_quarters_pow2(q);
  }
  const int h = q + floor_log2_pow10(-k) + 2;
  const uint64_t* g = kPow10Table[k - kPow10TableMinK];
  const uint64_t vb = round_to_odd(g[0], g[1], cb << h);
  const uint64_t vbl = round_to_odd(g[0], g[1], cbl << h);
  const uint64_t vbr = round_to_odd(g[0], g[1], cbr << h);
  const uint64_t s = vb >> 2;
  if (s >= 10) {
    // One digit shorter: is exactly one of the two multiples of ten around s inside? (Any
    // length goes, one digit included: no minimum of two digits is kept.)
    const uint64_t sp10 = 10 * (s / 10);
    const uint64_t tp10 = sp10 + 10;
    const bool upin = vbl + out <= sp10 << 2;
    const bool wpin = (tp10 << 2) + out <= vbr;
    if (upin != wpin) return {upin ? sp10 : tp10, k};
  }
  const uint64_t t = s + 1;
  const bool uin = vbl + out <= s << 2;
  const bool win = (t << 2) + out <= vbr;
  if (uin != win) return {uin ? s : t, k};
  // Both inside: the nearer one, ties to even.
  const int64_t cmp = static_cast<int64_t>(vb - ((s + t) << 1));
  return {cmp < 0 || (cmp == 0 && (s & 1) == 0) ? s : t, k};
}

}  // namespace

Decimal shortest_decimal(double positive) {
  uint64_t bits;
  std::memcpy(&bits, &positive, sizeof bits);
  const uint64_t fraction = bits & (kHiddenBit - 1);
  const int biased = static_cast<int>(bits >> (kPrecision - 1)) & 0x7FF;
  if (biased != 0) {
    const int mq = -kMinExponent + 1 - biased;  // minus the exponent of the unit
    const uint64_t c = kHiddenBit | fraction;
    if (mq > 0 && mq < kPrecision) {
      const uint64_t integer = c >> mq;  // a whole number below 2^53 is its own shortest text
      if (integer << mq == c) return {integer, 0};
    }
    return to_decimal(-mq, c);
  }
  return to_decimal(kMinExponent, fraction);  // subnormal
}

}  // namespace tc
