// A small recursive reader that accepts only text in the canonical compact form.
#include "compact_json.hpp"

#include <charconv>
#include <cstdint>
#include <set>
#include <system_error>
#include <utility>

#include "float_text.hpp"

namespace tc::fuzz {
namespace {

// Far beyond any nesting a payload can reach; bounds this reader's recursion.
constexpr std::size_t kMaxDepth = 1000;
constexpr std::string_view kMaxUnsigned = "18446744073709551615";
constexpr std::string_view kMaxNegativeMagnitude = "9223372036854775808";

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int lower_hex_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Digit strings without leading zeros compare as numbers by length, then bytes.
bool digits_exceed(std::string_view digits, std::string_view limit) {
  return digits.size() != limit.size() ? digits.size() > limit.size() : digits > limit;
}

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is ill-formed
// (overlong forms, surrogates and code points above U+10FFFF are ill-formed).
std::size_t utf8_sequence_length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char b0 = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) length = 2;
  else if (b0 >= 0xE0 && b0 <= 0xEF) length = 3;
  else if (b0 >= 0xF0 && b0 <= 0xF4) length = 4;
  else return 0;
  if (b0 == 0xE0) low = 0xA0;
  if (b0 == 0xED) high = 0x9F;
  if (b0 == 0xF0) low = 0x90;
  if (b0 == 0xF4) high = 0x8F;
  if (s.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

// True when the codec's float conversion reproduces the double of this canonical float text
// exactly: its digits form an integer S held exactly by a double and the decimal exponent E
// (value = S * 10^E) lies within [-22, 22], so one exactly rounded step makes the value.
bool converts_exactly(std::string_view text) {
  std::uint64_t significand = 0;
  int fraction_digits = 0;
  int exponent = 0;
  bool in_fraction = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') in_fraction = true;
    if (c == 'e') {
      const std::size_t start = text[i + 1] == '+' ? i + 2 : i + 1;
      std::from_chars(text.data() + start, text.data() + text.size(), exponent);
      break;
    }
    if (!is_digit(c)) continue;
    if (significand > (UINT64_MAX - 9) / 10) return false;
    significand = significand * 10 + static_cast<std::uint64_t>(c - '0');
    if (in_fraction) ++fraction_digits;
  }
  const int e = exponent - fraction_digits;
  const auto as_double = static_cast<double>(significand);
  return e >= -22 && e <= 22 && as_double < 18446744073709551616.0 &&
         static_cast<std::uint64_t>(as_double) == significand;
}

class Reader {
 public:
  Reader(std::string_view text, CompactText& out) : text_(text), out_(out) {}

  std::string run() {
    std::string error = value(out_.root, 0);
    if (error.empty() && pos_ != text_.size()) error = fault("bytes after the value");
    return error;
  }

 private:
  std::string fault(std::string_view what) const {
    return std::string(what) + " at byte " + std::to_string(pos_);
  }
  bool at_end() const { return pos_ >= text_.size(); }
  std::string step() {
    ++pos_;
    return "";
  }
  bool next_is(char c) const { return !at_end() && text_[pos_] == c; }

  bool skip_word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::string value(Node& node, std::size_t depth) {
    if (at_end()) return fault("text ends where a value is due");
    const std::size_t begin = pos_;
    std::string error = value_body(node, depth);
    node.text = text_.substr(begin, pos_ - begin);
    return error;
  }

  std::string value_body(Node& node, std::size_t depth) {
    switch (text_[pos_]) {
      case 'n': node.kind = Kind::null; return skip_word("null") ? "" : fault("bad literal");
      case 't': node.kind = Kind::boolean; return skip_word("true") ? "" : fault("bad literal");
      case 'f': node.kind = Kind::boolean; return skip_word("false") ? "" : fault("bad literal");
      case '"': node.kind = Kind::string; return string(node.str);
      case '[': node.kind = Kind::array; return array(node, depth + 1);
      case '{': node.kind = Kind::object; return object(node, depth + 1);
      default: node.kind = Kind::number; return number();
    }
  }

  std::string open(std::size_t depth) {
    ++pos_;
    if (depth > out_.depth) out_.depth = depth;
    return depth > kMaxDepth ? fault("nesting deeper than any payload allows") : "";
  }

  std::string array(Node& node, std::size_t depth) {
    if (std::string error = open(depth); !error.empty()) return error;
    if (next_is(']')) return step();
    for (;;) {
      node.items.emplace_back();
      if (std::string error = value(node.items.back(), depth); !error.empty()) return error;
      if (next_is(']')) return step();
      if (!next_is(',')) return fault("expected `,` or `]` with no whitespace");
      ++pos_;
    }
  }

  std::string object(Node& node, std::size_t depth) {
    if (std::string error = open(depth); !error.empty()) return error;
    if (next_is('}')) return step();
    std::set<std::string> seen;
    for (;;) {
      if (!next_is('"')) return fault("member name is not a string");
      std::string key;
      if (std::string error = string(key); !error.empty()) return error;
      if (!seen.insert(key).second) return fault("repeated member name in one object");
      if (!next_is(':')) return fault("expected `:` with no whitespace");
      ++pos_;
      node.keys.push_back(std::move(key));
      node.items.emplace_back();
      if (std::string error = value(node.items.back(), depth); !error.empty()) return error;
      if (next_is('}')) return step();
      if (!next_is(',')) return fault("expected `,` or `}` with no whitespace");
      ++pos_;
    }
  }

  std::string string(std::string& decoded) {
    ++pos_;
    for (;;) {
      if (at_end()) return fault("text ends inside a string");
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') return step();
      if (c < 0x20) return fault("raw control byte in a string");
      if (c == '\\') {
        if (std::string error = escape(decoded); !error.empty()) return error;
        continue;
      }
      const std::size_t length = c < 0x80 ? 1 : utf8_sequence_length(text_.substr(pos_));
      if (length == 0) return fault("ill-formed UTF-8 in a string");
      decoded.append(text_.substr(pos_, length));
      pos_ += length;
    }
  }

  std::string escape(std::string& decoded) {
    static constexpr std::string_view kLetters = "\"\\btnfr";
    static constexpr std::string_view kBytes = "\"\\\b\t\n\f\r";
    if (text_.size() - pos_ < 2) return fault("text ends inside an escape");
    const char letter = text_[pos_ + 1];
    if (const std::size_t i = kLetters.find(letter); i != std::string_view::npos) {
      decoded.push_back(kBytes[i]);
      pos_ += 2;
      return "";
    }
    const std::string_view hex = text_.substr(pos_ + 2, 4);
    if (letter != 'u' || hex.size() < 4 || hex[0] != '0' || hex[1] != '0') {
      return fault("escape the compact form never writes");
    }
    const int high = lower_hex_value(hex[2]), low = lower_hex_value(hex[3]);
    const int byte = high * 16 + low;
    if (high < 0 || low < 0 || byte >= 0x20 || kBytes.find(static_cast<char>(byte)) != std::string_view::npos) {
      return fault("\\u escape the compact form never writes");
    }
    decoded.push_back(static_cast<char>(byte));
    pos_ += 6;
    return "";
  }

  std::string number() {
    const std::size_t begin = pos_;
    const bool negative = skip_word("-");
    if (at_end() || !is_digit(text_[pos_])) return fault("byte that starts no value");
    const std::size_t digits_begin = pos_;
    if (!skip_word("0")) skip_digits();
    const std::size_t digits_end = pos_;
    bool is_float = false;
    if (skip_word(".")) {
      is_float = true;
      if (skip_digits() == 0) return fault("point without digits");
    }
    if (skip_word("e")) {
      is_float = true;
      if (!skip_word("+") && !skip_word("-")) return fault("exponent without its sign");
      if (next_is('0') || skip_digits() == 0) return fault("exponent digits not canonical");
    }
    const std::string_view text = text_.substr(begin, pos_ - begin);
    if (is_float) return check_float(text);
    const std::string_view digits = text_.substr(digits_begin, digits_end - digits_begin);
    if (negative && digits == "0") return fault("integer minus zero");
    if (digits_exceed(digits, negative ? kMaxNegativeMagnitude : kMaxUnsigned)) {
      return fault("integer outside the 64-bit classes");
    }
    return "";
  }

  std::size_t skip_digits() {
    const std::size_t begin = pos_;
    while (pos_ < text_.size() && is_digit(text_[pos_])) ++pos_;
    return pos_ - begin;
  }

  std::string check_float(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return fault("float text out of range");
    const std::string canonical = canonical_float_text(value);
    if (canonical != text) {
      return fault("float `" + std::string(text) + "` not in canonical form `" + canonical + "`");
    }
    if (!converts_exactly(text)) out_.floats_exact = false;
    return "";
  }

  std::string_view text_;
  CompactText& out_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string read_compact(std::string_view text, CompactText& out) {
  out = CompactText{};
  return Reader(text, out).run();
}

}  // namespace tc::fuzz
