// Message texts, one per error code, and the line/column of an error point.
#include "codec/errors.hpp"

#include <array>

#include "codec/portable.hpp"

namespace tc {
namespace {

constexpr std::array<std::string_view, static_cast<size_t>(ErrorCode::kCount)> kMessages = {
    "",
    "EOF while parsing a value",
    "EOF while parsing a list",
    "EOF while parsing an object",
    "EOF while parsing a string",
    "expected `:`",
    "expected `,` or `]`",
    "expected `,` or `}`",
    "expected ident",
    "expected value",
    "invalid escape",
    "invalid number",
    "number out of range",
    "invalid unicode code point",
    "control character (\\u0000-\\u001F) found while parsing a string",
    "key must be a string",
    "lone leading surrogate in hex escape",
    "unexpected end of hex escape",
    "trailing comma",
    "trailing characters",
    "recursion limit exceeded",
    "invalid type",
};
static_assert(kMessages.back() == "invalid type", "message table and ErrorCode disagree");

}  // namespace

std::string_view error_message(ErrorCode code) { return kMessages[static_cast<size_t>(code)]; }

TC_COLD std::string describe_error(const ParseError& error, std::string_view payload) {
  // Line feeds counted are those strictly before the error point; the column counts the
  // offending byte itself, or for a boundary the bytes of its line before it.
  const ReadStatus& at = error.status;
  size_t limit = at.offset < payload.size() ? at.offset : payload.size();
  size_t line = 1;
  size_t line_start = 0;
  for (size_t i = 0; i < limit; ++i) {
    if (payload[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  size_t column = at.offset - line_start + (at.point == PointKind::kAtByte ? 1 : 0);
  std::string text(at.code == ErrorCode::kInvalidType ? std::string_view(error.detail)
                                                         : error_message(at.code));
  text += " at line ";
  text += std::to_string(line);
  text += " column ";
  text += std::to_string(column);
  return text;
}

}  // namespace tc
