// Whitespace runs, many bytes at a time.
#include "codec/scan.hpp"

namespace tc {

const char* skip_space_run(const char* p, const char* end) {
#if defined(TC_SSE2)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i line_feed = _mm_set1_epi8('\n');
  const __m128i carriage_return = _mm_set1_epi8('\r');
  const __m128i tab = _mm_set1_epi8('\t');
  while (end - p >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i blank = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, line_feed)),
                                       _mm_or_si128(_mm_cmpeq_epi8(v, carriage_return), _mm_cmpeq_epi8(v, tab)));
    const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(blank)) & 0xFFFFu;
    if (other != 0) return p + count_trailing_zeros(other);
    p += 16;
  }
#elif defined(__ARM_NEON)
  while (end - p >= 16) {
    const uint8x16_t v = load16(p);
    const uint8x16_t blank = vorrq_u8(vorrq_u8(vceqq_u8(v, vdupq_n_u8(' ')), vceqq_u8(v, vdupq_n_u8('\n'))),
                                      vorrq_u8(vceqq_u8(v, vdupq_n_u8('\r')), vceqq_u8(v, vdupq_n_u8('\t'))));
    const uint64_t other = lane_mask(vmvnq_u8(blank));
    if (other != 0) return p + first_lane(other);
    p += 16;
  }
#endif
  while (p < end && is_json_space(*p)) ++p;
  return p;
}

}  // namespace tc
