// The description of a top-level value that is not an array: "invalid type: …, expected a
// sequence". A scalar is read whole first (a fault in it is reported instead); an object is
// not read at all.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "codec/number.hpp"
#include "codec/reader.hpp"
#include "codec/scan.hpp"
#include "codec/strings.hpp"
#include "codec/unprintable_table.hpp"

namespace tc {
namespace {

constexpr std::string_view kExpected = ", expected a sequence";

bool is_unprintable(uint32_t cp) {
  auto it = std::upper_bound(std::begin(kUnprintableRanges), std::end(kUnprintableRanges), cp,
                             [](uint32_t value, const CodePointRange& r) { return value < r.first; });
  return it != std::begin(kUnprintableRanges) && cp <= std::prev(it)->last;
}

// Decodes one character of a compact string body at `i`: an escape or raw UTF-8.
uint32_t next_code_point(std::string_view body, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(body[k]); };
  if (body[i] == '\\') {
    char letter = body[i + 1];
    i += 2;
    switch (letter) {
      case 'b': return 0x08;
      case 'f': return 0x0C;
      case 'n': return 0x0A;
      case 'r': return 0x0D;
      case 't': return 0x09;
      case 'u': {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) {
          char c = body[i++];
          v = v * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
        }
        return v;
      }
      default: return static_cast<unsigned char>(letter);  // \" and \\ .
    }
  }
  unsigned char lead = byte(i);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  const size_t length = utf8_lead_length(lead);
  uint32_t cp = lead & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (byte(i + k) & 0x3F);
  i += length;
  return cp;
}

ParseError invalid_type(std::string_view found, size_t last_byte) {
  ParseError error{fail_at(ErrorCode::kInvalidType, last_byte), "invalid type: "};
  error.detail += found;
  error.detail += kExpected;
  return error;
}

ParseError describe_literal(const char* input, size_t size, size_t pos, std::string_view word,
                            std::string_view found) {
  for (size_t i = 1; i < word.size(); ++i) {
    if (pos + i == size) return {fail_at_end(ErrorCode::kEofWhileParsingValue, size), {}};
    if (input[pos + i] != word[i]) return {fail_at(ErrorCode::kExpectedIdent, pos + i), {}};
  }
  return invalid_type(found, pos + word.size() - 1);
}

}  // namespace

std::string debug_quote(std::string_view body) {
  std::string text = "\"";
  for (size_t i = 0; i < body.size();) {
    size_t start = i;
    uint32_t cp = next_code_point(body, i);
    switch (cp) {
      case '\\': text += "\\\\"; continue;
      case '"': text += "\\\""; continue;
      case '\t': text += "\\t"; continue;
      case '\r': text += "\\r"; continue;
      case '\n': text += "\\n"; continue;
      case 0: text += "\\0"; continue;
      default: break;
    }
    if (is_unprintable(cp)) {
      char hex[12];
      int n = std::snprintf(hex, sizeof hex, "\\u{%x}", static_cast<unsigned>(cp));
      text.append(hex, static_cast<size_t>(n));
    } else if (body[start] == '\\') {
      ByteBuffer utf8;
      write_code_point(cp, utf8);
      text.append(utf8.view());
    } else {
      text.append(body.substr(start, i - start));
    }
  }
  text += '"';
  return text;
}

ParseError describe_top_level(const char* input, size_t size, size_t pos) {
  switch (input[pos]) {
    case 'n': return describe_literal(input, size, pos, "null", "null");
    case 't': return describe_literal(input, size, pos, "true", "boolean `true`");
    case 'f': return describe_literal(input, size, pos, "false", "boolean `false`");
    case '{': {
      ParseError error = invalid_type("map", pos);
      error.status.point = PointKind::kBoundary;  // the byte before the brace: a line feed there counts
      return error;
    }
    case '"': {
      ByteBuffer body;
      size_t end = pos + 1;
      if (ReadStatus s = read_string_body(input, size, end, body, widest_string_scan())) return {s, {}};
      return invalid_type("string " + debug_quote(body.view()), end - 1);
    }
    default: break;
  }
  if (input[pos] == '-' || is_decimal_digit(input[pos])) {
    ByteBuffer text;
    size_t end = pos;
    if (ReadStatus s = read_number(input, size, end, text)) return {s, {}};
    std::string_view number = text.view();
    bool is_float = number.find_first_of(".e") != std::string_view::npos;
    std::string found = is_float ? "floating point `" : "integer `";
    found += number;
    found += '`';
    return invalid_type(found, end - 1);
  }
  return {fail_at(ErrorCode::kExpectedValue, pos), {}};
}

}  // namespace tc
