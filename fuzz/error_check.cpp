// Checks of a transform error text: its prefix, its message, and where its position points.
#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>
#include <vector>

#include "checks.hpp"
#include "compact_json.hpp"

namespace tc::fuzz {
namespace {

constexpr std::string_view kParsePrefix = "invalid row-oriented JSON: ";
constexpr std::string_view kRowPrefix = "expected a JSON object row, got: ";
constexpr std::string_view kAtLine = " at line ";
constexpr std::string_view kColumn = " column ";

constexpr std::array<std::string_view, 20> kMessages = {
    "EOF while parsing a value", "EOF while parsing a list", "EOF while parsing an object",
    "EOF while parsing a string", "expected `:`", "expected `,` or `]`", "expected `,` or `}`",
    "expected ident", "expected value", "invalid escape", "invalid number", "number out of range",
    "invalid unicode code point",
    R"(control character (\u0000-\u001F) found while parsing a string)", "key must be a string",
    "lone leading surrogate in hex escape", "unexpected end of hex escape", "trailing comma",
    "trailing characters", "recursion limit exceeded"};

struct Position {
  std::size_t line = 0;
  std::size_t column = 0;
};

bool is_known_message(std::string_view message) {
  if (std::find(kMessages.begin(), kMessages.end(), message) != kMessages.end()) return true;
  return message.starts_with("invalid type: ") && message.ends_with(", expected a sequence");
}

// Reads a decimal number without leading zeros that fills `text` exactly.
bool read_decimal(std::string_view text, std::size_t& out) {
  if (text.empty() || (text.size() > 1 && text.front() == '0')) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc{} && end == text.data() + text.size();
}

bool read_position(std::string_view suffix, Position& out) {
  const std::size_t split = suffix.find(kColumn);
  return split != std::string_view::npos && read_decimal(suffix.substr(0, split), out.line) &&
         read_decimal(suffix.substr(split + kColumn.size()), out.column);
}

// What the message says about the byte it points at, where that is fixed.
std::string check_pointed_byte(std::string_view message, unsigned char byte) {
  const bool whitespace = byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
  if (message == "trailing characters" && whitespace) return "trailing characters points at whitespace";
  if (message == "recursion limit exceeded" && byte != '[' && byte != '{') return "recursion limit not at a bracket";
  if (message.starts_with("control character") && byte >= 0x20) return "control character message not at one";
  if (message == "invalid unicode code point" && byte != '"') return "invalid unicode code point not at a quote";
  if (message == "number out of range" && (byte < '0' || byte > '9')) return "number out of range not at a digit";
  return "";
}

// Lines are counted by line feeds; a line's length excludes the line feed that ends it.
// End-of-input messages point exactly at the end; the top-level object's wrong-kind message
// may point before its brace (column 0); every other message points at a byte of the payload.
std::string check_position(std::string_view payload, std::string_view message, Position at) {
  std::vector<std::size_t> line_starts{0};
  for (std::size_t i = 0; i < payload.size(); ++i) {
    if (payload[i] == '\n') line_starts.push_back(i + 1);
  }
  if (at.line < 1 || at.line > line_starts.size()) return "line outside the payload";
  const std::size_t begin = line_starts[at.line - 1];
  const std::size_t end = at.line < line_starts.size() ? line_starts[at.line] - 1 : payload.size();
  if (at.column > end - begin + 1) return "column past the end of its line";
  if (message.starts_with("EOF while parsing")) {
    const bool at_end = at.line == line_starts.size() && at.column == end - begin;
    return at_end ? "" : "end-of-input message not at the end of the payload";
  }
  if (message.starts_with("invalid type: map,")) return "";
  if (at.column == 0 || begin + at.column - 1 >= payload.size()) return "error point outside the payload";
  return check_pointed_byte(message, static_cast<unsigned char>(payload[begin + at.column - 1]));
}

std::string check_parse_error(std::string_view payload, std::string_view description) {
  const std::size_t split = description.rfind(kAtLine);
  if (split == std::string_view::npos) return "parse error without a position";
  const std::string_view message = description.substr(0, split);
  if (!is_known_message(message)) return "unknown parse error message";
  Position at;
  if (!read_position(description.substr(split + kAtLine.size()), at)) return "malformed position";
  return check_position(payload, message, at);
}

// A non-object element is reported only once the whole payload has parsed as an array.
std::string check_row_error(std::string_view payload, std::string_view shown) {
  CompactText element;
  if (std::string error = read_compact(shown, element); !error.empty()) {
    return "shown element is not compact JSON: " + error;
  }
  if (element.root.kind == Kind::object) return "an object reported as a non-object row";
  const std::size_t first = payload.find_first_not_of(" \t\n\r");
  if (first == std::string_view::npos || payload[first] != '[') return "non-object row reported for a non-array";
  return "";
}

}  // namespace

std::string check_error_text(std::string_view payload, std::string_view text) {
  std::string error;
  if (text.starts_with(kRowPrefix)) {
    error = check_row_error(payload, text.substr(kRowPrefix.size()));
  } else if (text.starts_with(kParsePrefix)) {
    error = check_parse_error(payload, text.substr(kParsePrefix.size()));
  } else {
    error = "unknown error prefix";
  }
  return error.empty() ? error : error + ": " + std::string(text);
}

}  // namespace tc::fuzz
