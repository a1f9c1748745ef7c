// String bodies: fast runs between special bytes, escapes decoded and re-escaped compactly.
#include "codec/strings.hpp"

#include "codec/portable.hpp"
#include "codec/scan.hpp"
#include "codec/unicode_escapes.hpp"

#include <cstring>

namespace tc {
namespace {

// Four hex digits at `pos`. Fewer than four bytes left is the end of the string; a bad digit
// among four points at the fourth.
ReadStatus read_hex4(const char* input, size_t size, size_t& pos, unsigned& value) {
  if (size - pos < 4) return fail_at_end(ErrorCode::kEofWhileParsingString, size);
  const bool good = hex4_value(input + pos, value);
  pos += 4;
  if (!good) return fail_at(ErrorCode::kInvalidEscape, pos - 1);
  return {};
}

// A plain character from U+0080 up, outside the surrogates, as raw UTF-8 at `dst`.
TC_ALWAYS_INLINE char* put_plain_code_point(unsigned cp, char* dst) {
  if (cp < 0x800) {
    dst[0] = static_cast<char>(0xC0 | (cp >> 6));
    dst[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return dst + 2;
  }
  dst[0] = static_cast<char>(0xE0 | (cp >> 12));
  dst[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  dst[2] = static_cast<char>(0x80 | (cp & 0x3F));
  return dst + 3;
}

inline bool is_high_surrogate(unsigned cp) { return (cp & 0xFC00) == 0xD800; }
inline bool is_low_surrogate(unsigned cp) { return (cp & 0xFC00) == 0xDC00; }

// A character past U+FFFF, from its surrogate pair, as raw UTF-8 at `dst`.
TC_ALWAYS_INLINE char* put_surrogate_pair(unsigned high, unsigned low, char* dst) {
  const unsigned cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
  dst[0] = static_cast<char>(0xF0 | (cp >> 18));
  dst[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  dst[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  dst[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return dst + 4;
}

// `pos` is just past "\u". A leading surrogate must be followed at once by a \u trailing one.
ReadStatus read_unicode_escape(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  unsigned first = 0;
  if (ReadStatus s = read_hex4(input, size, pos, first)) return s;
  if (is_low_surrogate(first)) return fail_at(ErrorCode::kLoneLeadingSurrogate, pos - 1);
  if (!is_high_surrogate(first)) {
    write_code_point(first, out);
    return {};
  }
  for (char expected : {'\\', 'u'}) {
    if (pos == size) return fail_at_end(ErrorCode::kEofWhileParsingString, size);
    if (input[pos] != expected) return fail_at(ErrorCode::kUnexpectedEndOfHexEscape, pos);
    ++pos;
  }
  unsigned second = 0;
  if (ReadStatus s = read_hex4(input, size, pos, second)) return s;
  if (!is_low_surrogate(second)) return fail_at(ErrorCode::kLoneLeadingSurrogate, pos - 1);
  char* dst = out.reserve(4);
  out.commit(static_cast<size_t>(put_surrogate_pair(first, second, dst) - dst));
  return {};
}

// The escape at `p` (`room` bytes on) where it is \uXXXX of a plain character or a surrogate
// pair \uD8xx\uDCxx: its UTF-8 stored at `dst` (four bytes of room), `dst` moved past it, and
// the escape's length returned. Else 0, with nothing stored: for any other escape, or one that
// is not well formed, which read_escape reads and reports what is wrong with.
TC_ALWAYS_INLINE size_t decode_unicode_escape(const char* p, size_t room, char*& dst) {
  unsigned cp = 0;
  if (room < 6 || p[0] != '\\' || p[1] != 'u' || !hex4_value(p + 2, cp)) return 0;
  if (is_plain_code_point(cp)) {
    dst = put_plain_code_point(cp, dst);
    return 6;
  }
  unsigned low = 0;
  if (!is_high_surrogate(cp) || room < 12 || p[6] != '\\' || p[7] != 'u' || !hex4_value(p + 8, low) ||
      !is_low_surrogate(low)) {
    return 0;
  }
  dst = put_surrogate_pair(cp, low, dst);
  return 12;
}

#if defined(TC_AVX2_ESCAPE_QUADS)
using EscapeQuads = size_t (*)(const char* p, const char* end, char*& dst);

// The four-at-a-time decoder where the processor has AVX2, decided once, at the first call.
EscapeQuads escape_quads() {
  static const EscapeQuads quads = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &decode_escape_quads_avx2 : nullptr;
  }();
  return quads;
}
#endif

// `pos` is at an escape to rewrite. Text written with only ASCII holds one for every other
// character, in runs (the words of a script) or a few letters apart: each escape that
// decode_unicode_escape takes is decoded where it stands (four at once where four follow and
// the processor has AVX2, two where another follows: a run of them, or a surrogate pair),
// escapes written back as they stand are copied, and the ASCII between them is copied 16 bytes
// at a time, stored before it is looked at. Stops at a byte the caller's loop must look at (a
// quote, an escape it does not take, a control byte, non-ASCII) or where fewer than 16 bytes are
// left, with `pos` there. False, with nothing read or written, when it does not take the first
// escape. The cursors are kept in registers, and room for the text reserved a stretch at a time.
bool read_escaped_text(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  constexpr ptrdiff_t kStretch = 256;     // text written between two reservations
  constexpr size_t kRoom = kStretch + 128;  // and the most one step writes past it
#if defined(TC_AVX2_ESCAPE_QUADS)
  static_assert(kMaxEscapeQuads * 12 + 22 <= kRoom - kStretch, "the groups of four fit the room");
  const EscapeQuads quads = escape_quads();
#endif
  const char* p = input + pos;
  const char* const end = input + size;
  char* start = out.reserve(kRoom);
  char* dst = start;
  const auto make_room = [&] {
    if (dst - start >= kStretch) {
      out.commit(static_cast<size_t>(dst - start));
      start = dst = out.reserve(kRoom);
    }
  };
  for (;;) {  // at a special byte
    make_room();
    size_t kept = 0;
#if defined(TC_UNICODE_PAIRS)
    unsigned first = 0, second = 0;
#endif
#if defined(TC_AVX2_ESCAPE_QUADS)
    // Four at once where four escapes follow (a word of a script, or more).
    const size_t quad_bytes =
        quads != nullptr && end - p >= 28 && p[6] == '\\' && p[18] == '\\' ? quads(p, end, dst) : 0;
    if (quad_bytes != 0) {
      p += quad_bytes;
      if (p < end && *p == '\\') continue;
    } else
#endif
#if defined(TC_UNICODE_PAIRS)
    if (end - p >= 16 && p[6] == '\\' && two_unicode_escapes(p, first, second) &&
        ((is_plain_code_point(first) && is_plain_code_point(second)) ||
         (is_high_surrogate(first) && is_low_surrogate(second)))) {
      dst = is_plain_code_point(first) ? put_plain_code_point(second, put_plain_code_point(first, dst))
                                       : put_surrogate_pair(first, second, dst);
      p += 12;
      if (*p == '\\') continue;
    } else
#endif
    if (const size_t length = decode_unicode_escape(p, static_cast<size_t>(end - p), dst)) {
      p += length;
      if (p < end && *p == '\\') continue;
    } else if (p < end && *p == '\\' && (kept = kept_escape_length(p, static_cast<size_t>(end - p))) != 0) {
      for (size_t i = 0; i < kept; ++i) dst[i] = p[i];
      dst += kept;
      p += kept;
      if (p < end && *p == '\\') continue;
    } else {
      break;
    }
    // One byte of text between two escapes (a space between words, a letter between accented
    // ones) is copied at once, without a scan that would stop at the next escape.
    if (end - p >= 2 && p[1] == '\\' && static_cast<unsigned char>(p[0] - 0x20) < 0x60 && p[0] != '"' &&
        p[0] != '\\') {
      *dst++ = *p++;
      continue;
    }
    // The ASCII up to the next special byte.
    bool found = false;
#if defined(TC_BLOCK16)
    while (end - p >= 16) {
      std::memcpy(dst, p, 16);
      if (const unsigned specials = Block16::load(p).specials()) {
        const unsigned plain = count_trailing_zeros(specials);
        p += plain;
        dst += plain;
        found = true;
        break;
      }
      p += 16;
      dst += 16;
      make_room();
    }
#endif
    if (!found) break;
  }
  out.commit(static_cast<size_t>(dst - start));
  const size_t read = static_cast<size_t>(p - input);
  const bool decoded = read != pos;
  pos = read;
  return decoded;
}

}  // namespace

namespace {

// `pos` is at the backslash.
ReadStatus read_escape(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  if (pos + 1 >= size) return fail_at_end(ErrorCode::kEofWhileParsingString, size);
  char letter = input[pos + 1];
  pos += 2;
  switch (letter) {
    case '"': out.append("\\\"", 2); return {};
    case '\\': out.append("\\\\", 2); return {};
    case '/': out.push('/'); return {};
    case 'b': out.append("\\b", 2); return {};
    case 'f': out.append("\\f", 2); return {};
    case 'n': out.append("\\n", 2); return {};
    case 'r': out.append("\\r", 2); return {};
    case 't': out.append("\\t", 2); return {};
    case 'u': return read_unicode_escape(input, size, pos, out);
    default: return fail_at(ErrorCode::kInvalidEscape, pos - 1);
  }
}

}  // namespace

void write_code_point(unsigned cp, ByteBuffer& out) {
  char* p = out.reserve(6);
  if (cp < 0x20) {
    static constexpr char kHex[] = "0123456789abcdef";
    switch (cp) {
      case 0x08: out.append("\\b", 2); return;
      case 0x09: out.append("\\t", 2); return;
      case 0x0A: out.append("\\n", 2); return;
      case 0x0C: out.append("\\f", 2); return;
      case 0x0D: out.append("\\r", 2); return;
      default:
        p[0] = '\\'; p[1] = 'u'; p[2] = '0'; p[3] = '0';
        p[4] = kHex[cp >> 4];
        p[5] = kHex[cp & 0xF];
        out.commit(6);
        return;
    }
  }
  if (cp == '"' || cp == '\\') {
    p[0] = '\\';
    p[1] = static_cast<char>(cp);
    out.commit(2);
  } else if (cp < 0x80) {
    p[0] = static_cast<char>(cp);
    out.commit(1);
  } else {
    out.commit(static_cast<size_t>(put_plain_code_point(cp, p) - p));
  }
}

StringScan widest_string_scan() {
#if defined(TC_AVX2_STRING_SCAN)
  static const StringScan widest = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? &skip_string_text_avx2 : &skip_string_text_narrow;
  }();
  return widest;
#else
  return &skip_string_text_narrow;
#endif
}

size_t skip_string_text_narrow(const char* input, size_t size, size_t pos) {
#if defined(TC_BLOCK16)
  while (pos + 16 <= size) {
    const Block16 block = Block16::load(input + pos);
    const unsigned high = block.high();
    // The block's special bytes in order. Escapes written back as they stand belong to the
    // text and are passed over in place, without loading the block again.
    unsigned specials = block.specials();
    bool passed_escape = false;
    for (;;) {
      if (specials == 0) {
        pos += 16;
        break;
      }
      const auto first = count_trailing_zeros(specials);
      if (((high >> first) & 1) != 0) {
        if (passed_escape) {  // the block check starts at the block's first byte
          pos += first;
          break;
        }
        const size_t checked = block.utf8_prefix();
        if (checked == 0) return pos + first;  // left to the one-sequence check
        pos += checked;
        break;
      }
      const size_t at = pos + first;
      const size_t kept = input[at] == '\\' ? kept_escape_length(input + at, size - at) : 0;
      if (kept == 0) return at;
      const size_t past = first + kept;
      if (past >= 16) {
        pos += past;
        break;
      }
      specials &= ~((1u << past) - 1);
      passed_escape = true;
    }
  }
#endif
  return find_string_special(input, size, pos);
}

ReadStatus read_string_body(const char* input, size_t size, size_t& pos, size_t special, ByteBuffer& out,
                            StringScan scan) {
  size_t run_start = pos;
  bool bad_utf8 = false;
  // An escape is most often followed by another (text with \u for every non-ASCII character,
  // line breaks in a row): that one is taken at once, without a scan that would stop at it.
  const auto next_special = [&](size_t from) {
    return from < size && input[from] == '\\' ? from : scan(input, size, from);
  };
  for (pos = special;; pos = next_special(pos)) {
    if (pos == size) return fail_at_end(ErrorCode::kEofWhileParsingString, size);
    unsigned char c = static_cast<unsigned char>(input[pos]);
    if (c == '"') {
      out.append_short(input + run_start, pos - run_start, size - run_start);
      ++pos;
      if (bad_utf8) return fail_at(ErrorCode::kInvalidUnicodeCodePoint, pos - 1);
      return {};
    }
    if (c == '\\') {
      if (const size_t kept = kept_escape_length(input + pos, size - pos)) {
        pos += kept;  // written back as it stands: the run goes on
        continue;
      }
      out.append_short(input + run_start, pos - run_start, size - run_start);
      if (!read_escaped_text(input, size, pos, out)) {
        if (ReadStatus s = read_escape(input, size, pos, out)) return s;
      }
      run_start = pos;
      continue;
    }
    if (c < 0x20) return fail_at(ErrorCode::kControlCharacter, pos);
    // Non-ASCII that the block check left (near the payload's end, or not well formed within
    // the block): one sequence.
    size_t length = utf8_sequence_length(input, size, pos);
    if (length == 0) {
      bad_utf8 = true;  // keep scanning: an earlier-found error of another kind wins
      length = 1;
    }
    pos += length;
  }
}

}  // namespace tc
