// The string scan 32 bytes at a time, for processors with AVX2 (chosen at the first call).
// Non-ASCII text is checked as well-formed UTF-8 a block at a time by table lookups: each
// byte's high nibble, and the high and low nibbles of the byte before it, each select a set of
// possible faults, and a fault is present where all three sets share it. Whether a byte must
// be the second or third continuation of a longer sequence comes from the two and three bytes
// before it. Text in any language then costs about what ASCII text does.
#include "codec/strings.hpp"

#if defined(TC_AVX2_STRING_SCAN)
#include <immintrin.h>

#include <cstdint>

namespace tc {
namespace {

// Faults of a byte and the one before it.
constexpr uint8_t kTooShort = 1 << 0;   // a lead byte not followed by a continuation
constexpr uint8_t kTooLong = 1 << 1;    // a continuation after an ASCII byte
constexpr uint8_t kOverlong3 = 1 << 2;  // E0 followed by 80..9F
constexpr uint8_t kTooLarge = 1 << 3;   // F4 followed by 90..BF, or F5..FF
constexpr uint8_t kSurrogate = 1 << 4;  // ED followed by A0..BF
constexpr uint8_t kOverlong2 = 1 << 5;  // C0 or C1
constexpr uint8_t kTooLarge1000 = 1 << 6;  // F5..FF followed by 80..8F
constexpr uint8_t kOverlong4 = 1 << 6;     // F0 followed by 80..8F
constexpr uint8_t kTwoConts = 1 << 7;  // a continuation after a continuation: right only as
                                       // the third or fourth byte of a sequence
constexpr uint8_t kCarry = kTooShort | kTooLong | kTwoConts;

constexpr uint8_t kByte1High[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,  // ASCII
    kTwoConts, kTwoConts, kTwoConts, kTwoConts,                                      // continuation
    kTooShort | kOverlong2,                                                          // C_
    kTooShort,                                                                       // D_
    kTooShort | kOverlong3 | kSurrogate,                                             // E_
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4,                              // F_
};
constexpr uint8_t kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,            // _0
    kCarry | kOverlong2,                                      // _1
    kCarry,                                                   // _2
    kCarry,                                                   // _3
    kCarry | kTooLarge,                                       // _4
    kCarry | kTooLarge | kTooLarge1000,                       // _5
    kCarry | kTooLarge | kTooLarge1000,                       // _6
    kCarry | kTooLarge | kTooLarge1000,                       // _7
    kCarry | kTooLarge | kTooLarge1000,                       // _8
    kCarry | kTooLarge | kTooLarge1000,                       // _9
    kCarry | kTooLarge | kTooLarge1000,                       // _A
    kCarry | kTooLarge | kTooLarge1000,                       // _B
    kCarry | kTooLarge | kTooLarge1000,                       // _C
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,          // _D
    kCarry | kTooLarge | kTooLarge1000,                       // _E
    kCarry | kTooLarge | kTooLarge1000,                       // _F
};
constexpr uint8_t kByte2High[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,  // ASCII
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,           // 8_
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,                            // 9_
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                            // A_
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,                            // B_
    kTooShort, kTooShort, kTooShort, kTooShort,                                            // lead
};

// The scan's constants, set up once per call: the tables are loaded once, not in each pass.
struct Constants {
  __m256i byte1_high, byte1_low, byte2_high;  // the tables, in both 128-bit lanes (byte
                                              // shuffles look up within a lane)
  __m256i nibble, third_lead, fourth_lead, top_bit, last_control, quote, backslash;
};

[[gnu::target("avx2")]] inline __m256i lanes(const uint8_t (&t)[16]) {
  return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
}

[[gnu::target("avx2")]] inline Constants constants() {
  return {lanes(kByte1High),
          lanes(kByte1Low),
          lanes(kByte2High),
          _mm256_set1_epi8(0x0F),
          _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)),
          _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)),
          _mm256_set1_epi8(static_cast<char>(0x80)),
          _mm256_set1_epi8(0x1F),
          _mm256_set1_epi8('"'),
          _mm256_set1_epi8('\\')};
}

// Bit i set where byte i of `v` breaks well-formed UTF-8, given the 32 bytes before it in
// `prev`. A sequence cut short is flagged at the byte that should have continued it.
[[gnu::target("avx2")]] inline uint32_t utf8_faults(__m256i v, __m256i prev, const Constants& k) {
  const __m256i before = _mm256_permute2x128_si256(prev, v, 0x21);  // prev's high lane, v's low lane
  const __m256i prev1 = _mm256_alignr_epi8(v, before, 15);
  const __m256i prev2 = _mm256_alignr_epi8(v, before, 14);
  const __m256i prev3 = _mm256_alignr_epi8(v, before, 13);
  const __m256i prev1_high = _mm256_and_si256(_mm256_srli_epi16(prev1, 4), k.nibble);
  const __m256i prev1_low = _mm256_and_si256(prev1, k.nibble);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), k.nibble);
  const __m256i special = _mm256_and_si256(
      _mm256_and_si256(_mm256_shuffle_epi8(k.byte1_high, prev1_high), _mm256_shuffle_epi8(k.byte1_low, prev1_low)),
      _mm256_shuffle_epi8(k.byte2_high, high));
  // 0x80 where the byte must continue a three- or four-byte sequence begun two or three back.
  const __m256i must_continue = _mm256_and_si256(
      _mm256_or_si256(_mm256_subs_epu8(prev2, k.third_lead), _mm256_subs_epu8(prev3, k.fourth_lead)), k.top_bit);
  const __m256i faults = _mm256_xor_si256(must_continue, special);
  return ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(faults, _mm256_setzero_si256())));
}

// Quote, backslash or control byte.
[[gnu::target("avx2")]] inline uint32_t string_specials_32(__m256i v, const Constants& k) {
  const __m256i control = _mm256_cmpeq_epi8(_mm256_min_epu8(v, k.last_control), v);
  const __m256i hit = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(v, k.quote), _mm256_cmpeq_epi8(v, k.backslash)), control);
  return static_cast<uint32_t>(_mm256_movemask_epi8(hit));
}

// Backslashes.
[[gnu::target("avx2")]] inline uint32_t backslashes_32(__m256i v, const Constants& k) {
  return static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, k.backslash)));
}

[[gnu::target("avx2")]] inline __m256i bytes_equal(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }

// The escapes kept as they stand that take two bytes (\" \\ \b \f \n \r \t) among a block's
// backslashes (bit i for byte i), settled for the whole block at once: text that holds quoted
// text or code has one every few bytes. `next` holds the bytes one place on. Runs of backslashes
// pair up from their first: the escapes start at the run's first backslash and every second one
// after it, found by parity. `escaped` are the bytes that an escape's backslash takes (a
// backslash or the character after the run); `other` are the escapes' backslashes that start
// anything else (\u, \/, a bad one), left to the caller. The block must not begin inside an
// escape.
struct ShortEscapes {
  uint32_t starts;
  uint32_t escaped;
  uint32_t other;
};
[[gnu::target("avx2")]] inline ShortEscapes short_escapes(uint32_t backslashes, __m256i next) {
  constexpr uint32_t kEven = 0x55555555u;
  const uint32_t run_starts = backslashes & ~(backslashes << 1);
  // Adding 1 at the start of each run that starts at an even place carries through that run
  // and clears it, and leaves the other runs as they are.
  const uint32_t even_runs = backslashes & ~(backslashes + (run_starts & kEven));
  const uint32_t starts = (even_runs & kEven) | (backslashes & ~even_runs & ~kEven);
  const __m256i kept = _mm256_or_si256(
      _mm256_or_si256(_mm256_or_si256(bytes_equal(next, '"'), bytes_equal(next, '\\')),
                      _mm256_or_si256(bytes_equal(next, 'b'), bytes_equal(next, 'f'))),
      _mm256_or_si256(_mm256_or_si256(bytes_equal(next, 'n'), bytes_equal(next, 'r')), bytes_equal(next, 't')));
  const auto kept_next = static_cast<uint32_t>(_mm256_movemask_epi8(kept));
  return {starts, starts << 1, starts & ~kept_next};
}

// Whether a block with these backslashes has its two-byte escapes passed at once
// (short_escapes): one at a time costs less where it has one, or where the first starts \u
// (text written with \u for every non-ASCII character), at which the scan stops anyway.
inline bool many_short_escapes(const char* block, uint32_t backslashes) {
  return (backslashes & (backslashes - 1)) != 0 && block[__builtin_ctz(backslashes) + 1] != 'u';
}

// `pos` is a block boundary reached by the scan from `start`. When the bytes before it end
// inside a sequence (whose remaining bytes are from `pos` on), where that sequence begins;
// else `pos`. The bytes from `start` to the result are then whole sequences.
size_t sequence_start(const char* input, size_t start, size_t pos) {
  for (size_t back = 1; back <= 3 && back <= pos - start; ++back) {
    const auto c = static_cast<unsigned char>(input[pos - back]);
    if (c < 0x80) break;
    if (c >= 0xC0) return utf8_lead_length(c) > back ? pos - back : pos;
  }
  return pos;
}

}  // namespace

[[gnu::target("avx2")]] size_t skip_string_text_avx2(const char* input, size_t size, size_t pos) {
  const size_t start = pos;  // at the start of a sequence: what comes before is settled
  const Constants k = constants();
  // Most text that gets here is ASCII (links, hashes, sentences, escapes): its blocks are
  // passed with two compares each. At a non-ASCII byte the general loop takes over, from the
  // block where it is, after bytes that are all ASCII.
  for (bool ascii = true; ascii && pos + 32 <= size;) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + pos));
    uint32_t specials = string_specials_32(v, k);
    uint32_t high = static_cast<uint32_t>(_mm256_movemask_epi8(v));
    // Several escapes in a block (quoted text, code) are passed all at once by the general
    // loop, which takes over from this block.
    if (const auto backslashes = backslashes_32(v, k);
        size - pos >= 33 && many_short_escapes(input + pos, backslashes)) {
      break;
    }
    for (;;) {
      if ((specials | high) == 0) {
        pos += 32;
        break;
      }
      const auto first = static_cast<size_t>(__builtin_ctz(specials | high));
      if (((specials >> first) & 1) == 0) {
        ascii = false;
        break;
      }
      const size_t at = pos + first;
      const size_t kept = input[at] == '\\' ? kept_escape_length(input + at, size - at) : 0;
      if (kept == 0) return at;
      const size_t past = first + kept;
      if (past >= 32) {
        pos += past;
        break;
      }
      const uint32_t after = ~((1u << past) - 1);
      specials &= after;
      high &= after;
    }
  }
  __m256i prev = _mm256_setzero_si256();
  bool prev_non_ascii = false;
  while (pos + 32 <= size) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + pos));
    const auto high = static_cast<uint32_t>(_mm256_movemask_epi8(v));
    // A block after non-ASCII bytes is checked too: a sequence may end in it, or not.
    const uint32_t faults = (high != 0 || prev_non_ascii) ? utf8_faults(v, prev, k) : 0;
    uint32_t specials = string_specials_32(v, k);
    bool escape_past_block = false;  // the block's last byte starts a two-byte escape
    if (const auto backslashes = backslashes_32(v, k);
        size - pos >= 33 && many_short_escapes(input + pos, backslashes)) {
      const ShortEscapes e =
          short_escapes(backslashes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(input + pos + 1)));
      specials = (specials & ~backslashes & ~e.escaped) | e.other;
      escape_past_block = (e.starts >> 31) != 0 && (e.other >> 31) == 0;
    }
    for (;;) {
      // Faults count up to the first special byte, it included: a sequence cut short by a
      // closing quote is flagged at the quote.
      const uint32_t region = specials == 0 ? ~0u : (specials ^ (specials - 1));
      if ((faults & region) != 0) {
        // Left to the check one sequence at a time, from the sequence the fault is in or
        // before it: one the last block left open, else the block's first non-ASCII byte
        // (a block of ASCII alone has faults only after a sequence left open).
        const size_t open = sequence_start(input, start, pos);
        return open < pos ? open : pos + static_cast<size_t>(__builtin_ctz(high | 0x80000000u));
      }
      if (specials == 0) {
        if (escape_past_block) {  // the next block starts past the escape, as below
          prev = _mm256_setzero_si256();
          prev_non_ascii = false;
          pos += 33;
          break;
        }
        prev = v;
        prev_non_ascii = high != 0;
        pos += 32;
        break;
      }
      const auto first = static_cast<size_t>(__builtin_ctz(specials));
      const size_t at = pos + first;
      const size_t kept = input[at] == '\\' ? kept_escape_length(input + at, size - at) : 0;
      if (kept == 0) return at;
      const size_t past = first + kept;
      if (past >= 32) {
        // The escape runs into the next block, which then starts past it: every sequence
        // before the escape is whole, so the bytes before that block count as ASCII.
        prev = _mm256_setzero_si256();
        prev_non_ascii = false;
        pos += past;
        break;
      }
      specials &= ~((1u << past) - 1);
    }
  }
  const size_t rest = sequence_start(input, start, pos);
  // The 16-byte scan is SSE code: clear the upper halves first, or every SSE instruction
  // after this would wait on them (the compiler does it before returns, not before this call).
  _mm256_zeroupper();
  return skip_string_text_narrow(input, size, rest);
}

}  // namespace tc
#endif
