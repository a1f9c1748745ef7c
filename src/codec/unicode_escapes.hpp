// \uXXXX escapes: their hex digits read one escape at a time, two at once from one 16-byte load
// (SSE2 or NEON), or four with AVX2, as text written with only ASCII has them: in runs, and in
// surrogate pairs.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/scan.hpp"

namespace tc {

// The value of each byte as a hex digit, or 0xFF.
inline constexpr std::array<unsigned char, 256> kHexDigits = [] {
  std::array<unsigned char, 256> table{};
  for (unsigned c = 0; c < 256; ++c) {
    table[c] = c >= '0' && c <= '9'   ? static_cast<unsigned char>(c - '0')
               : c >= 'a' && c <= 'f' ? static_cast<unsigned char>(c - 'a' + 10)
               : c >= 'A' && c <= 'F' ? static_cast<unsigned char>(c - 'A' + 10)
                                      : 0xFF;
  }
  return table;
}();

// The value of the four hex digits at `p`, looked up in one table with one test for all four;
// false when one of them is no hex digit.
inline bool hex4_value(const char* p, unsigned& value) {
  const auto* digits = reinterpret_cast<const unsigned char*>(p);
  const unsigned a = kHexDigits[digits[0]], b = kHexDigits[digits[1]];
  const unsigned c = kHexDigits[digits[2]], d = kHexDigits[digits[3]];
  value = (a << 12) | (b << 8) | (c << 4) | d;
  return (a | b | c | d) <= 0xF;
}

// A plain character: from U+0080 up, outside the surrogates. Escaped, it is written as raw
// UTF-8 and needs no other check.
inline bool is_plain_code_point(unsigned cp) { return cp >= 0x80 && (cp & 0xF800) != 0xD800; }

// Whether the first 12 bytes at `p` are two escapes \uXXXX\uXXXX (hex digits in either case),
// and their values. One at a time, with the table.
inline bool two_unicode_escapes_portable(const char* p, unsigned& first, unsigned& second) {
  const bool marks = p[0] == '\\' && p[1] == 'u' && p[6] == '\\' && p[7] == 'u';
  const bool first_digits = hex4_value(p + 2, first);  // both values, whatever the marks
  const bool second_digits = hex4_value(p + 8, second);
  return marks && first_digits && second_digits;
}

#if (defined(TC_SSE2) || defined(__ARM_NEON)) && defined(__BYTE_ORDER__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define TC_UNICODE_PAIRS 1
// The same from one 16-byte load (16 bytes must be readable at `p`): each byte's digit value
// is found by its range, then the bytes of each 16-bit lane are joined into two digits, and the
// lanes of an escape into its four.
inline bool two_unicode_escapes(const char* p, unsigned& first, unsigned& second) {
#if defined(TC_SSE2)
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i marks = _mm_cmpeq_epi8(v, _mm_setr_epi8('\\', 'u', 0, 0, 0, 0, '\\', 'u', 0, 0, 0, 0, 0, 0, 0, 0));
  const __m128i decimal = _mm_sub_epi8(v, _mm_set1_epi8('0'));
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(v, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  // Unsigned at most: min(x, k) == x.
  const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  const unsigned found = (static_cast<unsigned>(_mm_movemask_epi8(marks)) & 0x0C3u) |
                         (static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(is_decimal, is_letter))) & 0xF3Cu);
  if (found != 0xFFFu) return false;
  const __m128i digit = _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                                     _mm_andnot_si128(is_decimal, _mm_add_epi8(letter, _mm_set1_epi8(10))));
  // Lane k holds digits 2k (low byte) and 2k + 1: joined, the low byte is their two-digit value.
  const __m128i pairs = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(digit, 4), _mm_srli_epi16(digit, 8)),
                                      _mm_set1_epi16(0xFF));
  // Lanes 1 and 2 are the first escape's digits, 4 and 5 the second's.
  const __m128i joined = _mm_or_si128(_mm_slli_epi16(pairs, 8), _mm_srli_si128(pairs, 2));
  first = static_cast<unsigned>(_mm_extract_epi16(joined, 1));
  second = static_cast<unsigned>(_mm_extract_epi16(joined, 4));
  return true;
#else
  const uint8x16_t v = vld1q_u8(reinterpret_cast<const uint8_t*>(p));
  constexpr uint8_t kMarks[16] = {'\\', 'u', 0, 0, 0, 0, '\\', 'u', 0, 0, 0, 0, 0, 0, 0, 0};
  constexpr uint8_t kMarkLanes[16] = {0xFF, 0xFF, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
  constexpr uint8_t kDigitLanes[16] = {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
  const uint8x16_t marks = vandq_u8(vceqq_u8(v, vld1q_u8(kMarks)), vld1q_u8(kMarkLanes));
  const uint8x16_t decimal = vsubq_u8(v, vdupq_n_u8('0'));
  const uint8x16_t letter = vsubq_u8(vorrq_u8(v, vdupq_n_u8(0x20)), vdupq_n_u8('a'));
  const uint8x16_t is_decimal = vcleq_u8(decimal, vdupq_n_u8(9));
  const uint8x16_t is_digit = vorrq_u8(is_decimal, vcleq_u8(letter, vdupq_n_u8(5)));
  // Every lane of the first 12 that must hold a mark or a digit does; the last 4 count as found.
  const uint8x16_t tail = vextq_u8(vdupq_n_u8(0), vdupq_n_u8(0xFF), 4);
  const uint8x16_t found = vorrq_u8(vorrq_u8(marks, vandq_u8(is_digit, vld1q_u8(kDigitLanes))), tail);
  if (vminvq_u8(found) != 0xFF) return false;
  const uint8x16_t digit = vbslq_u8(is_decimal, decimal, vaddq_u8(letter, vdupq_n_u8(10)));
  const uint16x8_t lanes = vreinterpretq_u16_u8(digit);
  const uint16x8_t pairs = vandq_u16(vorrq_u16(vshlq_n_u16(lanes, 4), vshrq_n_u16(lanes, 8)), vdupq_n_u16(0xFF));
  first = (static_cast<unsigned>(vgetq_lane_u16(pairs, 1)) << 8) | vgetq_lane_u16(pairs, 2);
  second = (static_cast<unsigned>(vgetq_lane_u16(pairs, 4)) << 8) | vgetq_lane_u16(pairs, 5);
  return true;
#endif
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define TC_AVX2_ESCAPE_QUADS 1
// At most this many groups of four are decoded by one call of decode_escape_quads_avx2: each
// reads 24 bytes and writes at most 12, and the last group's stores reach 22 bytes past its start.
inline constexpr size_t kMaxEscapeQuads = 8;

// Decodes escapes four at a time from `p` (at a backslash) while the next four are \uXXXX
// escapes of plain characters all written with as many UTF-8 bytes, two or three: the words of
// a script written with escapes. Their text is stored at `dst`, which moves past it; returns
// how many bytes were read, a multiple of 24 (0 where the first four are not such). Only for a
// processor that has AVX2.
size_t decode_escape_quads_avx2(const char* p, const char* end, char*& dst);
#endif

}  // namespace tc
