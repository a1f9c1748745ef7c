// JSON strings: reading a string body straight into its compact (canonical) text.
#pragma once
#include <cstddef>

#include "codec/byte_buffer.hpp"
#include "codec/errors.hpp"

namespace tc {

// Reads the body of a string whose opening quote is just before `pos`, appending its compact
// text (without the quotes) to `out`: raw runs are copied as they stand, each escape is
// replaced by its compact form. Errors are reported in scan order; invalid UTF-8 anywhere in
// the string is reported only at its closing quote. On success `pos` is past the closing quote.
ReadStatus read_string_body(const char* input, size_t size, size_t& pos, ByteBuffer& out);

// Appends the compact text of one code point below U+10000 that is not a surrogate.
void write_code_point(unsigned code_point, ByteBuffer& out);

}  // namespace tc
