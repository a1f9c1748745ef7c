// Byte scanning many bytes at a time: whitespace runs and the next byte a string must look at.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/portable.hpp"

#if defined(TC_SSE2)
#include <emmintrin.h>
#endif

namespace tc {

inline bool is_json_space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
inline bool is_decimal_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// The first position at or after `p` that is not JSON whitespace (or `end`).
inline const char* skip_space(const char* p, const char* end) {
  // Every whitespace byte is at most 0x20: most tokens are settled by one comparison, and
  // most of the rest are a single space.
  if (p < end && static_cast<unsigned char>(*p) > 0x20) return p;
  if (end - p >= 2 && *p == ' ' && static_cast<unsigned char>(p[1]) > 0x20) return p + 1;
  while (p < end && static_cast<unsigned char>(*p) <= 0x20 && is_json_space(*p)) ++p;
  return p;
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

// For the 16 bytes of `v`: how many leading bytes are plain ASCII or whole,
// well-formed UTF-8 sequences, up to the first quote, backslash or control byte, or up to the
// last sequence that does not end in the block. 0 when the block does not settle it, which
// leaves the bytes to be checked one sequence at a time. Runs of non-Latin text pass here 16
// bytes at a time instead of a branchy check per character.
inline size_t utf8_block_prefix(__m128i v) {
  const __m128i next = _mm_srli_si128(v, 1);  // each byte's successor (zero past the block)
  // Signed compares against bytes as signed chars: 0x80..0xFF are -128..-1, below all ASCII.
  const auto below = [](__m128i x, int byte) { return _mm_cmplt_epi8(x, _mm_set1_epi8(static_cast<char>(byte))); };
  const auto above = [](__m128i x, int byte) { return _mm_cmpgt_epi8(x, _mm_set1_epi8(static_cast<char>(byte))); };
  const auto is = [&](int byte) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(byte))); };
  const auto bits = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
  const unsigned special = string_specials(v) & ~bits(v);  // quote, backslash, control
  const unsigned continuation = bits(below(v, 0xC0));
  const unsigned lead2 = bits(_mm_and_si128(above(v, 0xBF), below(v, 0xE0)));
  const unsigned lead3 = bits(_mm_and_si128(above(v, 0xDF), below(v, 0xF0)));
  const unsigned lead4 = bits(_mm_and_si128(above(v, 0xEF), below(v, 0xF8)));
  // Never well formed: C0, C1, F5..FF; E0 and F0 with an overlong, ED with a surrogate and F4
  // with a too large second byte. (A refused ASCII successor falls to the slow check too.)
  const unsigned refused = bits(_mm_or_si128(_mm_or_si128(is(0xC0), is(0xC1)),
                                             _mm_and_si128(above(v, 0xF4), below(v, 0x00)))) |
                           (bits(is(0xE0)) & bits(below(next, 0xA0))) | (bits(is(0xED)) & ~bits(below(next, 0xA0))) |
                           (bits(is(0xF0)) & bits(below(next, 0x90))) | (bits(is(0xF4)) & ~bits(below(next, 0x90)));
  const auto continuations_of = [](unsigned two, unsigned three, unsigned four) {
    return (two << 1) | (three << 1) | (three << 2) | (four << 1) | (four << 2) | (four << 3);
  };
  unsigned end = count_trailing_zeros(special | 0x10000u);
  if (end == 16 && (continuations_of(lead2, lead3, lead4) >> 16) != 0) {
    end = 31u - count_leading_zeros(lead2 | lead3 | lead4);  // stop before the last lead
  }
  const unsigned region = (1u << end) - 1;
  const bool whole = continuations_of(lead2 & region, lead3 & region, lead4 & region) == (continuation & region);
  return whole && (refused & region) == 0 ? end : 0;
}
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
#endif
  for (; pos < size; ++pos) {
    unsigned char c = static_cast<unsigned char>(input[pos]);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return pos;
  }
  return size;
}

// Inside a string: the first index at or after `pos` that needs a closer look (or `size`): a
// double quote, a backslash, a control byte, or a non-ASCII byte that the 16-byte check does
// not settle. Well-formed UTF-8 text is passed over a block at a time, ASCII or not, so that
// text in any language costs about what ASCII text does; skip_string_text_from also passes
// over escapes that are written back as they stand. Most strings end within their first 16
// bytes, all ASCII: that case is settled inline, the rest in skip_string_text_from.
size_t skip_string_text_from(const char* input, size_t size, size_t pos);
inline size_t skip_string_text(const char* input, size_t size, size_t pos) {
#if defined(TC_SSE2)
  if (pos + 16 <= size) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input + pos));
    const unsigned specials = string_specials(v);
    const auto first = count_trailing_zeros(specials | 0x10000u);
    if (first < 16 && ((static_cast<unsigned>(_mm_movemask_epi8(v)) >> first) & 1) == 0) return pos + first;
  }
#endif
  return skip_string_text_from(input, size, pos);
}

// First index at or after `pos` whose byte is not a decimal digit (or `size`).
inline size_t skip_digits(const char* input, size_t size, size_t pos) {
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
#endif
  while (pos < size && is_decimal_digit(input[pos])) ++pos;
  return pos;
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
