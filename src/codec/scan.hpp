// Byte scanning many bytes at a time: whitespace runs and the next byte a string must look at.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <bit>
#include <cstring>

#include "codec/portable.hpp"

#if defined(TC_SSE2)
#include <emmintrin.h>
#elif defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace tc {

#if !defined(TC_SSE2) && defined(__ARM_NEON)
// NEON has no byte mask move: the lanes of a compare (all ones or zeros) are narrowed to four
// bits each, so the first set lane is countr_zero(mask) / 4, and no lane set is a zero mask.
inline uint64_t lane_mask(uint8x16_t lanes) {
  return vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(vreinterpretq_u16_u8(lanes), 4)), 0);
}
inline size_t first_lane(uint64_t mask) { return static_cast<size_t>(std::countr_zero(mask)) >> 2; }
inline uint8x16_t load16(const char* p) { return vld1q_u8(reinterpret_cast<const uint8_t*>(p)); }

// Lanes of a quote, a backslash or a control byte, and (with `high`) of a byte of 0x80 or more.
inline uint8x16_t string_special_lanes(uint8x16_t v, bool high) {
  const uint8x16_t hit = vorrq_u8(vorrq_u8(vceqq_u8(v, vdupq_n_u8('"')), vceqq_u8(v, vdupq_n_u8('\\'))),
                                  vcltq_u8(v, vdupq_n_u8(0x20)));
  return high ? vorrq_u8(hit, vcgeq_u8(v, vdupq_n_u8(0x80))) : hit;
}
#endif

inline bool is_json_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
inline bool is_decimal_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// skip_space past a run of more than one byte: a line break and its indentation, as
// pretty-printed payloads have before nearly every token, 16 bytes at a time.
const char* skip_space_run(const char* p, const char* end);

// The first position at or after `p` that is not JSON whitespace (or `end`).
inline const char* skip_space(const char* p, const char* end) {
  // Every whitespace byte is at most 0x20: most tokens are settled by one comparison, and
  // most of the rest are a single space.
  if (p < end && static_cast<unsigned char>(*p) > 0x20) return p;
  if (end - p >= 2 && *p == ' ' && static_cast<unsigned char>(p[1]) > 0x20) return p + 1;
  return skip_space_run(p, end);
}

// An indentation byte (a space or a tab) sixteen times over, as fill_ahead compares with it.
struct alignas(16) IndentFill {
  char bytes[16];
};
constexpr IndentFill indent_fill(char c) {
  IndentFill fill{};
  for (char& b : fill.bytes) b = c;
  return fill;
}

// Whether the `count` bytes at `p` are all the byte of `fill`; `count` is under 32 and 32 bytes
// from `p` are readable. Checks a guessed indentation: the guess, not the bytes, says where the
// next token is, so the check stays off the path from one token to the next.
TC_ALWAYS_INLINE bool fill_ahead(const char* p, unsigned count, const IndentFill& fill) {
#if defined(TC_SSE2)
  const __m128i fill_bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(fill.bytes));
  const auto matches = [&](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, fill_bytes)));
  };
  const uint32_t wanted = (uint32_t{1} << count) - 1;
  uint32_t found = matches(p);
  if (count > 16) found |= matches(p + 16) << 16;  // deep lines only: most indents are shallower
  return (found & wanted) == wanted;
#else
  for (unsigned i = 0; i < count; ++i) {
    if (p[i] != fill.bytes[0]) return false;
  }
  return true;
#endif
}

// The bytes of a block of 16 by class, bit i for byte i: quotes, backslashes and control bytes;
// continuation bytes; the leads of two-, three- and four-byte sequences; and the bytes never
// well formed where they stand (C0, C1, F5..FF; E0 and F0 with an overlong, ED with a surrogate
// and F4 with a too large second byte; such a lead before an ASCII byte too, which the slow
// check then settles).
struct Utf8BlockMasks {
  unsigned special, continuation, lead2, lead3, lead4, refused;
};

// How many leading bytes of the block are plain ASCII or whole, well-formed UTF-8 sequences, up
// to the first quote, backslash or control byte, or up to the last sequence that does not end in
// the block. 0 when the block does not settle it, which leaves the bytes to be checked one
// sequence at a time. Runs of non-Latin text pass here 16 bytes at a time instead of a branchy
// check per character.
inline size_t utf8_prefix_of(const Utf8BlockMasks& m) {
  const auto continuations_of = [](unsigned two, unsigned three, unsigned four) {
    return (two << 1) | (three << 1) | (three << 2) | (four << 1) | (four << 2) | (four << 3);
  };
  auto end = static_cast<unsigned>(count_trailing_zeros(m.special | 0x10000u));
  if (end == 16 && (continuations_of(m.lead2, m.lead3, m.lead4) >> 16) != 0) {
    end = 31u - count_leading_zeros(m.lead2 | m.lead3 | m.lead4);  // stop before the last lead
  }
  const unsigned region = (1u << end) - 1;
  const bool whole =
      continuations_of(m.lead2 & region, m.lead3 & region, m.lead4 & region) == (m.continuation & region);
  return whole && (m.refused & region) == 0 ? end : 0;
}

#if defined(TC_SSE2)
// Bit i set where byte i of `v` is a double quote, a backslash, a control byte or non-ASCII.
inline unsigned string_specials(__m128i v) {
  // Signed compare: bytes 0x80 and up are negative, so "less than 0x20" catches them too.
  const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')),
                                                _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'))),
                                   _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

// 16 bytes of string text, as the string scans look at them.
struct Block16 {
  __m128i v;
  static Block16 load(const char* p) { return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))}; }
  // Quotes, backslashes, control bytes and non-ASCII bytes; non-ASCII bytes.
  [[nodiscard]] unsigned specials() const { return string_specials(v); }
  [[nodiscard]] unsigned high() const { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
  [[nodiscard]] size_t utf8_prefix() const {
    const __m128i next = _mm_srli_si128(v, 1);  // each byte's successor (zero past the block)
    // Signed compares against bytes as signed chars: 0x80..0xFF are -128..-1, below all ASCII.
    const auto below = [](__m128i x, int byte) { return _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(byte))); };
    const auto above = [](__m128i x, int byte) { return _mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(byte))); };
    const auto is = [&](int byte) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(byte))); };
    const auto bits = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    return utf8_prefix_of({
        specials() & ~high(),
        bits(below(v, 0xC0)),
        bits(_mm_and_si128(above(v, 0xBF), below(v, 0xE0))),
        bits(_mm_and_si128(above(v, 0xDF), below(v, 0xF0))),
        bits(_mm_and_si128(above(v, 0xEF), below(v, 0xF8))),
        bits(_mm_or_si128(_mm_or_si128(is(0xC0), is(0xC1)), _mm_and_si128(above(v, 0xF4), below(v, 0x00)))) |
            (bits(is(0xE0)) & bits(below(next, 0xA0))) | (bits(is(0xED)) & ~bits(below(next, 0xA0))) |
            (bits(is(0xF0)) & bits(below(next, 0x90))) | (bits(is(0xF4)) & ~bits(below(next, 0x90))),
    });
  }
};
#define TC_BLOCK16 1
#elif defined(__ARM_NEON) && defined(__aarch64__)
struct Block16 {
  uint8x16_t v;
  static Block16 load(const char* p) { return {load16(p)}; }
  // One bit a lane (all ones or zeros), as the SSE2 form's byte mask gives them.
  static unsigned bits(uint8x16_t lanes) {
    constexpr uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t weighted = vandq_u8(lanes, vld1q_u8(kWeights));
    return static_cast<unsigned>(vaddv_u8(vget_low_u8(weighted))) |
           (static_cast<unsigned>(vaddv_u8(vget_high_u8(weighted))) << 8);
  }
  [[nodiscard]] unsigned specials() const { return bits(string_special_lanes(v, true)); }
  [[nodiscard]] unsigned high() const { return bits(vcgeq_u8(v, vdupq_n_u8(0x80))); }
  [[nodiscard]] size_t utf8_prefix() const {
    const uint8x16_t next = vextq_u8(v, vdupq_n_u8(0), 1);  // each byte's successor (zero past the block)
    const auto in = [](uint8x16_t x, unsigned from, unsigned to) {  // from <= x < to
      return vandq_u8(vcgeq_u8(x, vdupq_n_u8(static_cast<uint8_t>(from))), vcltq_u8(x, vdupq_n_u8(static_cast<uint8_t>(to))));
    };
    const auto is = [&](unsigned byte) { return bits(vceqq_u8(v, vdupq_n_u8(static_cast<uint8_t>(byte)))); };
    return utf8_prefix_of({
        bits(string_special_lanes(v, false)),
        bits(in(v, 0x80, 0xC0)),
        bits(in(v, 0xC0, 0xE0)),
        bits(in(v, 0xE0, 0xF0)),
        bits(in(v, 0xF0, 0xF8)),
        is(0xC0) | is(0xC1) | bits(vcgeq_u8(v, vdupq_n_u8(0xF5))) | (is(0xE0) & bits(in(next, 0x80, 0xA0))) |
            (is(0xED) & ~bits(in(next, 0x80, 0xA0))) | (is(0xF0) & bits(in(next, 0x80, 0x90))) |
            (is(0xF4) & ~bits(in(next, 0x80, 0x90))),
    });
  }
};
#define TC_BLOCK16 1
#endif

// First index at or after `pos` whose byte is a double quote, a backslash, a control byte
// (below 0x20) or a non-ASCII byte (0x80 and up), or `size`.
inline size_t find_string_special(const char* input, size_t size, size_t pos) {
#if defined(TC_SSE2)
  while (pos + 16 <= size) {
    const unsigned mask = string_specials(_mm_loadu_si128(reinterpret_cast<const __m128i*>(input + pos)));
    if (mask != 0) return pos + count_trailing_zeros(mask);
    pos += 16;
  }
#elif defined(__ARM_NEON)
  while (pos + 16 <= size) {
    const uint64_t mask = lane_mask(string_special_lanes(load16(input + pos), true));
    if (mask != 0) return pos + first_lane(mask);
    pos += 16;
  }
#endif
  for (; pos < size; ++pos) {
    unsigned char c = static_cast<unsigned char>(input[pos]);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return pos;
  }
  return size;
}

// Inside a string: the first index at or after `pos` that needs a closer look (or `size`): a
// double quote, a backslash, a control byte, or a non-ASCII byte that the check does not
// settle. Well-formed UTF-8 text is passed over a block at a time, ASCII or not, so that text
// in any language costs about what ASCII text does; escapes that are written back as they stand
// are passed over too. A string text scan, of which there are several (strings.hpp); they differ
// only in how far they get at once.
using StringScan = size_t (*)(const char* input, size_t size, size_t pos);

// Most strings end within their first 16 bytes, all ASCII: that case is settled inline, the
// rest by `scan`. Always inlined: where the compiler kept a copy of it out of line, strings were
// read several percent slower.
TC_ALWAYS_INLINE size_t skip_string_text(const char* input, size_t size, size_t pos, StringScan scan) {
#if defined(TC_SSE2)
  if (pos + 16 <= size) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input + pos));
    const unsigned specials = string_specials(v);
    const auto first = count_trailing_zeros(specials | 0x10000u);
    if (first < 16 && ((static_cast<unsigned>(_mm_movemask_epi8(v)) >> first) & 1) == 0) return pos + first;
  }
#elif defined(__ARM_NEON)
  if (pos + 16 <= size) {
    const uint64_t mask = lane_mask(string_special_lanes(load16(input + pos), true));
    const size_t first = pos + first_lane(mask);
    if (mask != 0 && static_cast<unsigned char>(input[first]) < 0x80) return first;
  }
#endif
  return scan(input, size, pos);
}

// First index at or after `pos` whose byte is not a decimal digit (or `size`).
TC_ALWAYS_INLINE size_t skip_digits(const char* input, size_t size, size_t pos) {
#if defined(TC_SSE2)
  const __m128i below_zero = _mm_set1_epi8('0' - 1);
  const __m128i above_nine = _mm_set1_epi8('9' + 1);
  while (pos + 16 <= size) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input + pos));
    // Signed compares: bytes 0x80 and up are negative, so they are not digits either.
    __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, below_zero), _mm_cmplt_epi8(v, above_nine));
    unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(digit)) & 0xFFFFu;
    if (other != 0) return pos + count_trailing_zeros(other);
    pos += 16;
  }
#elif defined(__ARM_NEON)
  while (pos + 16 <= size) {
    const uint8x16_t digit = vcltq_u8(vsubq_u8(load16(input + pos), vdupq_n_u8('0')), vdupq_n_u8(10));
    const uint64_t other = lane_mask(vmvnq_u8(digit));
    if (other != 0) return pos + first_lane(other);
    pos += 16;
  }
#endif
  while (pos < size && is_decimal_digit(input[pos])) ++pos;
  return pos;
}

// The zeros at the start of the digits [p, end), `room` bytes being readable from `p`: fewer
// than eight, as after the point of most numbers below one, are counted from one eight-byte
// load, without a loop whose length changes from one number to the next. Inlined: as a call,
// left to the compiler, it cost arrays of floats below one 4 to 5% of their time.
TC_ALWAYS_INLINE size_t leading_zero_digits(const char* p, const char* end, size_t room) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (room >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    word ^= 0x3030303030303030ULL;  // a zero byte for each '0'
    if (word != 0) return std::min(static_cast<size_t>(std::countr_zero(word)) / 8, static_cast<size_t>(end - p));
  }
#else
  (void)room;
#endif
  const char* q = p;
  while (q < end && *q == '0') ++q;
  return static_cast<size_t>(q - p);
}

// The value of a run of decimal digits, eight at a time where it can; the value must fit in
// u64 (at most 19 digits after any leading zeros). Out of line, as the float paths were tuned.
TC_NOINLINE inline uint64_t digits_value(const char* p, const char* end) {
  uint64_t s = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; end - p >= 8; p += 8) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    v -= 0x3030303030303030ULL;
    v = v * 10 + (v >> 8);  // each even byte now holds a two-digit pair
    v = ((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32)) +
         ((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32))) >> 32;
    s = s * 100000000 + (v & 0xFFFFFFFFULL);
  }
  if (end - p >= 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    v -= 0x30303030U;
    v = v * 10 + (v >> 8);
    s = s * 10000 + (v & 0xFF) * 100 + ((v >> 16) & 0xFF);
    p += 4;
  }
#endif
  for (; p < end; ++p) s = s * 10 + static_cast<unsigned>(*p - '0');
  return s;
}

#if defined(TC_SSE2)
// The value of the 16 digits whose bytes less '0' are `digits`, the first the most significant
// (bytes cleared to zero count as leading zeros). Pairs, fours and eights of digits are summed
// by multiply-adds; a pair is at most 99 and four digits at most 9,999, so packing them into
// 16 bits never saturates, and eight digits, at most 99,999,999, fit 32.
inline uint64_t block_digits_value(__m128i digits) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i tens = _mm_set_epi16(1, 10, 1, 10, 1, 10, 1, 10);
  const __m128i pairs = _mm_packs_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), tens),
                                        _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), tens));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set_epi16(1, 100, 1, 100, 1, 100, 1, 100));
  const __m128i eights =
      _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set_epi16(1, 10000, 1, 10000, 1, 10000, 1, 10000));
  const auto high = static_cast<uint32_t>(_mm_cvtsi128_si32(eights));
  const auto low = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(eights, 4)));
  return uint64_t{high} * 100000000 + low;
}
#endif

// digits_value of at most 19 digits [p, end), which lie in a text that starts at `input`: where
// 16 bytes of it end at `end`, the last 16 digits (or all, the bytes before them cleared) come
// from one load, without the loops whose lengths change from one number to the next.
TC_ALWAYS_INLINE uint64_t digits_value_within(const char* input, const char* p, const char* end) {
#if defined(TC_SSE2)
  if (end - input >= 16) {
    const __m128i bytes =
        _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16)), _mm_set1_epi8('0'));
    const auto count = static_cast<int>(end - p);
    if (count <= 16) {
      const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
      const __m128i digit = _mm_cmpgt_epi8(index, _mm_set1_epi8(static_cast<char>(15 - count)));
      return block_digits_value(_mm_and_si128(bytes, digit));
    }
    uint64_t head = 0;  // the first one to three of 17 to 19
    for (; p < end - 16; ++p) head = head * 10 + static_cast<unsigned>(*p - '0');
    return head * 10000000000000000ULL + block_digits_value(bytes);
  }
#endif
  (void)input;
  return digits_value(p, end);
}

// How many bytes the UTF-8 sequence begun by `lead` (0xC0 or more) takes when well formed.
inline size_t utf8_lead_length(unsigned char lead) { return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2; }

// Length of the well-formed UTF-8 sequence that starts at `pos` with a byte of 0x80 or more,
// or 0 when it is not well formed (overlong, surrogate, above U+10FFFF, truncated).
inline size_t utf8_sequence_length(const char* input, size_t size, size_t pos) {
  const auto* p = reinterpret_cast<const unsigned char*>(input + pos);
  const size_t available = size - pos;
  const unsigned char lead = p[0];
  auto cont = [&](size_t i, unsigned char lo, unsigned char hi) { return i < available && p[i] >= lo && p[i] <= hi; };
  if (lead < 0xC2) return 0;
  if (lead < 0xE0) return cont(1, 0x80, 0xBF) ? 2 : 0;
  if (lead < 0xF0) {
    unsigned char lo = lead == 0xE0 ? 0xA0 : 0x80;
    unsigned char hi = lead == 0xED ? 0x9F : 0xBF;
    return cont(1, lo, hi) && cont(2, 0x80, 0xBF) ? 3 : 0;
  }
  if (lead < 0xF5) {
    unsigned char lo = lead == 0xF0 ? 0x90 : 0x80;
    unsigned char hi = lead == 0xF4 ? 0x8F : 0xBF;
    return cont(1, lo, hi) && cont(2, 0x80, 0xBF) && cont(3, 0x80, 0xBF) ? 4 : 0;
  }
  return 0;
}

}  // namespace tc
