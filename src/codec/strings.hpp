// JSON strings: reading a string body straight into its compact (canonical) text.
#pragma once
#include <cstddef>

#include "codec/byte_buffer.hpp"
#include "codec/errors.hpp"
#include "codec/scan.hpp"

namespace tc {

// Reads the body of a string whose opening quote is just before `pos`, appending its compact
// text (without the quotes) to `out`: raw runs are copied as they stand, each escape is
// replaced by its compact form. Errors are reported in scan order; invalid UTF-8 anywhere in
// the string is reported only at its closing quote. On success `pos` is past the closing quote.
// `special` is where a caller that has looked already found the first byte that needs a closer
// look: the bytes from `pos` up to it are well-formed UTF-8 text and escapes written back as
// they stand, with no other quote, backslash or control byte (as find_string_special or
// skip_string_text give it).
// Further special bytes are found by `scan`.
ReadStatus read_string_body(const char* input, size_t size, size_t& pos, size_t special, ByteBuffer& out,
                            StringScan scan);
inline ReadStatus read_string_body(const char* input, size_t size, size_t& pos, ByteBuffer& out, StringScan scan) {
  return read_string_body(input, size, pos, find_string_special(input, size, pos), out, scan);
}

// Appends the compact text of one code point below U+10000 that is not a surrogate.
void write_code_point(unsigned code_point, ByteBuffer& out);

// The length of the escape at `p` (a backslash, `room` bytes before the payload's end) when
// its compact form is its own text, else 0: \" \\ \b \f \n \r \t, and a control character
// without a short form written \u00xx in lower case, as logs often hold (\u001b). Inline: the
// AVX2 scan meets escapes in two places, and a call from there costs far more than the check.
TC_ALWAYS_INLINE size_t kept_escape_length(const char* p, size_t room) {
  if (room < 2) return 0;
  switch (p[1]) {
    case '"': case '\\': case 'b': case 'f': case 'n': case 'r': case 't': return 2;
    case 'u': break;
    default: return 0;
  }
  if (room < 6 || p[2] != '0' || p[3] != '0') return 0;
  const char last = p[5];
  const bool lower_hex = (last >= '0' && last <= '9') || (last >= 'a' && last <= 'f');
  if (p[4] == '1') return lower_hex ? 6 : 0;
  const bool short_form = last == '8' || last == '9' || last == 'a' || last == 'c' || last == 'd';
  return p[4] == '0' && lower_hex && !short_form ? 6 : 0;
}

// The string text scan 16 bytes at a time (SSE2 or NEON; a byte at a time elsewhere).
size_t skip_string_text_narrow(const char* input, size_t size, size_t pos);

#if defined(__x86_64__) && defined(__GNUC__)
#define TC_AVX2_STRING_SCAN 1
// The string text scan 32 bytes at a time with AVX2, UTF-8 checked by table lookups. Only for a
// processor that has AVX2.
size_t skip_string_text_avx2(const char* input, size_t size, size_t pos);
#endif

// The widest string text scan this processor has, decided once, at the first call.
[[nodiscard]] StringScan widest_string_scan();

}  // namespace tc
