// Runs of \uXXXX escapes decoded four at a time with AVX2, for a processor that has it.
#include "codec/unicode_escapes.hpp"

#if defined(TC_AVX2_ESCAPE_QUADS)
#include <immintrin.h>

namespace tc {
namespace {

// Each 128-bit lane holds two escapes: the first 16 bytes from `p`, and from `p + 12`.
[[gnu::target("avx2")]] inline __m256i two_lanes(const char* p) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// The same byte shuffle in both lanes (-1 for a zero byte).
[[gnu::target("avx2")]] inline __m256i in_both_lanes(const int8_t (&bytes)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

constexpr int8_t kMarks[16] = {'\\', 'u', 0, 0, 0, 0, '\\', 'u', 0, 0, 0, 0, 0, 0, 0, 0};
// The code points are 16-bit words 1 and 4 of each lane (bytes 2, 3 and 8, 9).
constexpr int8_t kTwoBytes[16] = {2, 3, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr int8_t kFirstTwoOfThree[16] = {2, 3, -1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr int8_t kLastOfThree[16] = {-1, -1, 2, -1, -1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
constexpr uint32_t kMarkBits = 0x00C300C3u;       // bytes 0, 1, 6 and 7 of each lane
constexpr uint32_t kDigitBits = 0x0F3C0F3Cu;      // bytes 2 to 5 and 8 to 11
constexpr uint32_t kCodePointBits = 0x030C030Cu;  // words 1 and 4

}  // namespace

[[gnu::target("avx2")]] size_t decode_escape_quads_avx2(const char* p, const char* end, char*& dst) {
  const char* const start = p;
  char* out = dst;
  const __m256i marks_wanted = in_both_lanes(kMarks);
  for (size_t quads = 0; quads < kMaxEscapeQuads && end - p >= 28 && p[18] == '\\'; ++quads) {
    const __m256i v = two_lanes(p);
    const __m256i decimal = _mm256_sub_epi8(v, _mm256_set1_epi8('0'));
    const __m256i letter = _mm256_sub_epi8(_mm256_or_si256(v, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    // Unsigned at most: min(x, k) == x.
    const __m256i is_decimal = _mm256_cmpeq_epi8(_mm256_min_epu8(decimal, _mm256_set1_epi8(9)), decimal);
    const __m256i is_letter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
    const auto marks = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, marks_wanted)));
    const auto digits = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(is_decimal, is_letter)));
    if (((marks & kMarkBits) | (digits & kDigitBits)) != (kMarkBits | kDigitBits)) break;
    const __m256i digit = _mm256_blendv_epi8(_mm256_add_epi8(letter, _mm256_set1_epi8(10)), decimal, is_decimal);
    // Word k holds digits 2k (low byte) and 2k + 1: joined, the low byte is their two-digit value;
    // then words 1 and 2 make the first escape's code point, 4 and 5 the second's.
    const __m256i pairs = _mm256_and_si256(_mm256_or_si256(_mm256_slli_epi16(digit, 4), _mm256_srli_epi16(digit, 8)),
                                           _mm256_set1_epi16(0xFF));
    const __m256i cp = _mm256_or_si256(_mm256_slli_epi16(pairs, 8), _mm256_srli_si256(pairs, 2));
    const __m256i high_bits = _mm256_and_si256(cp, _mm256_set1_epi16(static_cast<short>(0xF800)));
    const __m256i ascii = _mm256_cmpeq_epi16(_mm256_and_si256(cp, _mm256_set1_epi16(static_cast<short>(0xFF80))),
                                             _mm256_setzero_si256());
    const __m256i surrogate = _mm256_cmpeq_epi16(high_bits, _mm256_set1_epi16(static_cast<short>(0xD800)));
    const __m256i narrow = _mm256_cmpeq_epi16(high_bits, _mm256_setzero_si256());  // below U+0800
    if ((static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_or_si256(ascii, surrogate))) & kCodePointBits) != 0) break;
    const uint32_t narrow_bits = static_cast<uint32_t>(_mm256_movemask_epi8(narrow)) & kCodePointBits;
    __m256i text;
    size_t width;  // UTF-8 bytes of the lane's two characters
    if (narrow_bits == kCodePointBits) {  // two bytes each: 110xxxxx 10xxxxxx
      const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(cp, 6), _mm256_set1_epi16(0xC0));
      const __m256i next = _mm256_or_si256(_mm256_and_si256(cp, _mm256_set1_epi16(0x3F)), _mm256_set1_epi16(0x80));
      text = _mm256_shuffle_epi8(_mm256_or_si256(lead, _mm256_slli_epi16(next, 8)), in_both_lanes(kTwoBytes));
      width = 4;
    } else if (narrow_bits == 0) {  // three bytes each: 1110xxxx 10xxxxxx 10xxxxxx
      const __m256i lead = _mm256_or_si256(_mm256_srli_epi16(cp, 12), _mm256_set1_epi16(0xE0));
      const __m256i middle = _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi16(cp, 6), _mm256_set1_epi16(0x3F)),
                                             _mm256_set1_epi16(0x80));
      const __m256i last = _mm256_or_si256(_mm256_and_si256(cp, _mm256_set1_epi16(0x3F)), _mm256_set1_epi16(0x80));
      text = _mm256_or_si256(
          _mm256_shuffle_epi8(_mm256_or_si256(lead, _mm256_slli_epi16(middle, 8)), in_both_lanes(kFirstTwoOfThree)),
          _mm256_shuffle_epi8(last, in_both_lanes(kLastOfThree)));
      width = 6;
    } else {
      break;  // of both widths: one at a time
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(text));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + width), _mm256_extracti128_si256(text, 1));
    out += 2 * width;
    p += 24;
  }
  dst = out;
  return static_cast<size_t>(p - start);
}

}  // namespace tc
#endif
