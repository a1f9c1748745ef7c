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
ReadStatus read_string_body(const char* input, size_t size, size_t& pos, size_t special, ByteBuffer& out);
inline ReadStatus read_string_body(const char* input, size_t size, size_t& pos, ByteBuffer& out) {
  return read_string_body(input, size, pos, find_string_special(input, size, pos), out);
}

// Appends the compact text of one code point below U+10000 that is not a surrogate.
void write_code_point(unsigned code_point, ByteBuffer& out);

}  // namespace tc
