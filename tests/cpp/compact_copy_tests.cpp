// Nested values copied as they stand, or from the cell of the same value in an earlier row, must
// come out exactly as when they are read member by member: random rows of nested objects and
// arrays (repeated keys, keys alike in length or in their first bytes, objects that begin like
// the one before and then differ, objects of up to 140 keys, one of them perhaps again, values that repeat an earlier row's whole, or all but its
// last byte, or with a byte after it, escapes, numbers of every form, whitespace, json's default
// ", " and ": " spacing, deep nesting, broken text; pretty-printed arrays of objects; arrays of
// arrays of numbers; lists of strings), each read with these shortcuts and without them.
#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/compact_copy.hpp"
#include "table_runner.hpp"

namespace {

constexpr std::string_view kKeys[] = {
    "a", "b", "id", "ab", "ba", "name", "abcdefgh", "abcdefgi", "abcdefghX", "abcdefghY", "k\\n",
    "k\\u0041", "\\\"q", "\xc3\xa9", "k\\/", "aaaaaaaaaaaaaaa", "aaaaaaaaaaaaaaaa", "aaaaaaaaaaaaaaaaa",
    "\\u00e9", "sku", "size", "stock", "\xff"};
// Keys and values a copy settles: most payloads are made of these alone.
constexpr std::string_view kPlainKeys[] = {
    "a", "b", "id", "ab", "ba", "abcdefgh", "abcdefgi", "abcdefghX", "abcdefghY", "\xc3\xa9", "aaaaaaaaaaaaaaa",
    "aaaaaaaaaaaaaaaaa", "sku", "abcdefghijklmnop_x", "abcdefghijklmnop_y", "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkx",
    "kkkkkkkkkkkkkkkkkkkkkkkkkkkkky", "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkz"};
constexpr std::string_view kPlainValues[] = {"\"s\"", "1", "-12", "1.5", "0.1", "true", "null", "[]", "{}"};
constexpr std::string_view kStrings[] = {
    "\"s\"", "\"\"", "\"hello world\"", "\"\\n\"", "\"\\u00e9\"", "\"\xc3\xa9\"", "\"\\/\"", "\"a\\u0000b\"",
    "\"\x01\"", "\"\xc3\"", "\"0123456789012345678901234567890123456789\"", "\"\\ud83d\\ude80\"", "\"\\q\""};
constexpr std::string_view kNumbers[] = {
    "0", "-0", "1", "-1", "12", "1.5", "1.50", "1e5", "1E5", "-1.5e-7", "0.1", "0.0001", "0.00001",
    "123456789012345678", "-123456789012345678", "1234567890123456789", "18446744073709551616",
    "3.141592653589793", "0.30000000000000004", "23.464771035345887", "1e400", "-", "01", "1.",
    "2.e3", "1e", "123.456e2", "1" "2345678901234567890", "12.0", "12.10", "0.50", "0.0", "-0.0", "-0.5",
    "0.00012", "0.000012", "12345678901234.5", "123456789012345.5", "0.000012345678901234567",
    "0.00001234567890123456", "-65.613616999999977", "0.1e1", "0e0", "-0e-0", "00.5", "0.0000012", "-0.000001",
    "-9999999999999999999", "-9223372036854775809", "-9223372036854775808"};
constexpr std::string_view kLiterals[] = {"true", "false", "null", "nul", "tru", "falsey"};

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  std::string payload() {
    plain_ = chance(30);
    json_default_ = chance(30);
    spaces_ = json_default_ ? (chance(10) ? 2 : 0) : plain_ ? 0 : chance(25) ? 20 : chance(30) ? 1 : 0;
    std::string text = "[";
    const int rows = std::array<int, 4>{1, 2, 3, 25}[rng_() % 4];
    for (int r = 0; r < rows; ++r) {
      if (r > 0) text.append(",").append(after_separator());
      text += '{';
      const int members = 1 + static_cast<int>(rng_() % 3);
      for (int m = 0; m < members; ++m) {
        if (m > 0) text.append(",").append(after_separator());
        text.append("\"r").append(std::to_string(m)).append("\":").append(after_separator());
        text += member_value(static_cast<size_t>(m));
      }
      if (rng_() % 50 == 0) {
        const int depth = std::array<int, 6>{30, 31, 32, 33, 40, 130}[rng_() % 6];
        text.append(",\"deep\":").append(static_cast<size_t>(depth), '[').append("1").append(static_cast<size_t>(depth), ']');
      }
      text += '}';
    }
    text += ']';
    return plain_ ? text : mutate(text);
  }

 private:
  bool chance(unsigned percent) { return rng_() % 100 < percent; }
  template <size_t N>
  std::string_view pick(const std::string_view (&items)[N]) { return items[rng_() % N]; }
  std::string gap() { return chance(spaces_) ? std::string(" \n\t  ").substr(rng_() % 4, 1 + rng_() % 2) : ""; }
  // After a comma or a colon: one space where spaced as json's default writes it.
  std::string after_separator() { return json_default_ ? std::string(1, ' ').append(gap()) : gap(); }

  // Often the value this member had in an earlier row: whole, with its last byte changed or
  // with a byte after it; a member of another name may have had it too.
  std::string member_value(size_t member) {
    std::string& last = last_values_[chance(20) ? rng_() % last_values_.size() : member];
    if (last.empty() || !chance(40)) return last = (rng_() % 2) ? object(1) : array(1);
    switch (rng_() % 6) {
      case 0: return last.substr(0, last.size() - 1) + std::string(1, "]}1\" "[rng_() % 5]);
      case 1: return last + std::string(1, "]}, \""[rng_() % 5]);
      default: return last;
    }
  }
  std::string value(int depth) {
    if (depth < 6 && chance(25)) return object(depth + 1);
    if (depth < 6 && chance(15)) return array(depth + 1);
    if (plain_) return std::string(pick(kPlainValues));
    const auto kind = rng_() % 10;
    if (kind < 4) return std::string(chance(30) ? pick(kStrings) : "\"txt\"");
    if (kind < 8) return chance(40) ? std::string(pick(kNumbers)) : std::to_string(static_cast<int>(rng_() % 2000001) - 1000000);
    return std::string(chance(15) ? pick(kLiterals) : kLiterals[rng_() % 3]);
  }
  // Mostly the keys of the last object at this depth, as they were or with one change: cut
  // short, one left out, or one of them again at the end. Otherwise keys picked at random.
  std::vector<std::string_view> keys(int depth) {
    std::vector<std::string_view>& last = last_keys_[static_cast<size_t>(depth)];
    std::vector<std::string_view> keys;
    if (!last.empty() && chance(60)) {
      keys = last;
      switch (rng_() % 4) {
        case 0: keys.resize(rng_() % (keys.size() + 1)); break;
        case 1: keys.erase(keys.begin() + static_cast<ptrdiff_t>(rng_() % keys.size())); break;
        case 2: keys.push_back(keys[rng_() % keys.size()]); break;
        default: break;
      }
    } else if (depth <= 2 && chance(plain_ ? 8 : 2)) {
      keys = wide_keys();
    } else {
      const int count = chance(3) ? 26 + static_cast<int>(rng_() % 6) : static_cast<int>(rng_() % 6);
      for (int i = 0; i < count; ++i) keys.push_back(plain_ ? pick(kPlainKeys) : pick(kKeys));
    }
    last = keys;
    return keys;
  }
  // Keys of an object wider than the copy checks one against another: 20 to 140 distinct ones,
  // short and long, often one of them again further on.
  std::vector<std::string_view> wide_keys() {
    static const std::vector<std::string> names = [] {
      std::vector<std::string> all;
      for (int i = 0; i < 150; ++i) all.push_back((i % 3 == 0 ? "wide_key_with_a_long_name_" : "w") + std::to_string(i));
      return all;
    }();
    std::vector<std::string_view> keys;
    const size_t count = 20 + rng_() % 121;
    const size_t first = rng_() % (names.size() - count + 1);
    for (size_t i = 0; i < count; ++i) keys.push_back(names[first + i]);
    if (chance(50)) {  // mostly past the keys checked one against another
      const size_t at = count > 24 && chance(80) ? 24 + rng_() % (count - 23) : rng_() % (count + 1);
      keys.insert(keys.begin() + static_cast<ptrdiff_t>(at), keys[rng_() % count]);
    }
    return keys;
  }
  std::string object(int depth) {
    std::string text = "{";
    text += gap();
    bool first = true;
    for (std::string_view key : keys(depth)) {
      if (!first) text.append(",").append(after_separator());
      first = false;
      text.append("\"").append(key).append("\"").append(gap()).append(":").append(after_separator()).append(value(depth));
    }
    return text.append(gap()).append("}");
  }
  std::string array(int depth) {
    // Now and then a vector: numbers only, mostly of one kind, as data sets write them; or a
    // list of strings, mostly plain, as tags and names come.
    const bool numbers = chance(20);
    const bool strings = !numbers && chance(20);
    const int count = static_cast<int>(rng_() % (numbers || strings ? 13 : 5));
    const auto kind = static_cast<unsigned>(rng_() % 3);
    std::string text = "[";
    text += gap();
    for (int i = 0; i < count; ++i) {
      if (i > 0) text.append(",").append(after_separator());
      if (strings) {
        text += chance(85) ? "\"tag" + std::to_string(rng_() % 100) + "\"" : std::string(pick(kStrings));
        continue;
      }
      text += numbers ? number(chance(80) ? kind : static_cast<unsigned>(rng_() % 3)) : value(depth);
    }
    return text.append(gap()).append("]");
  }
  // An integer, a float in its written form (few digits) or one printed with all its digits.
  std::string number(unsigned kind) {
    char text[40];
    const double x = static_cast<double>(rng_()) / 1e9 - 2.0;
    if (kind == 0) return std::to_string(static_cast<int>(rng_() % 20001) - 10000);
    if (kind == 1) std::snprintf(text, sizeof text, "%.*f", 1 + static_cast<int>(rng_() % 6), x * 10);
    if (kind == 2) std::snprintf(text, sizeof text, "%.17g", x * 100);
    return chance(10) ? std::string(pick(kNumbers)) : text;
  }
  // Now and then one byte dropped, one put in, or the text cut short.
  std::string mutate(std::string text) {
    if (chance(60)) return text;
    const size_t at = rng_() % text.size();
    switch (rng_() % 3) {
      case 0: return text.erase(at, 1);
      case 1: return text.insert(at, 1, ",:{}[]\" \\1e.-"[rng_() % 13]);
      default: return text.substr(0, at);
    }
  }

  std::mt19937 rng_;
  unsigned spaces_ = 0;
  bool plain_ = false;  // keys and values the copy settles, nothing broken, no whitespace but the spacing below
  bool json_default_ = false;  // a space after every comma and colon
  std::array<std::vector<std::string_view>, 8> last_keys_;
  std::array<std::string, 3> last_values_;
};

// Rows whose member values are objects of many keys, compact, each as its own payload: 20 to
// 140 keys, short and long, one of them given twice at every position or none, another such
// object inside, or two side by side.
class WideObjects {
 public:
  std::string payload() {
    const size_t count = kCounts[step_ % std::size(kCounts)];
    const size_t repeat_at = (step_ / std::size(kCounts)) % (count + 2);  // count + 1: none
    ++step_;
    std::string row = "{\"r\":" + object(count, repeat_at, 0);
    if (step_ % 3 == 0) row += ",\"s\":{\"inner\":" + object(count / 2, count, 1000) + ",\"next\":" + object(30, 40, 2000) + "}";
    return "[" + row + "}," + row + "}]";
  }

 private:
  static constexpr size_t kCounts[] = {20, 24, 25, 26, 60, 127, 128, 129, 140};
  // `count` keys from number `first`, with the key at `repeat_at % count` again at `repeat_at`
  // when that is within the object.
  static std::string object(size_t count, size_t repeat_at, size_t first) {
    std::string text = "{";
    for (size_t i = 0; i <= count; ++i) {
      if (i == count && repeat_at != count) break;
      const size_t k = first + (i == repeat_at ? repeat_at % (count > 0 ? count : 1) : i);
      if (text.size() > 1) text += ',';
      text += (k % 3 == 0 ? "\"a_key_long_enough_to_compare_in_full_" : "\"k") + std::to_string(k) + "\":" + std::to_string(i);
    }
    return text + "}";
  }
  size_t step_ = 0;
};

// Rows pretty-printed as a person would look at them, each member an array of objects on lines
// of their own, often the same as in an earlier row: indentation of any width, tabs, CRLF,
// lines indented unlike their siblings, objects that repeat the keys of the one before or not
// (a key twice, too), arrays of such objects inside, and half of the payloads broken next to
// whitespace or a bracket.
class PrettyArrays {
 public:
  std::string payload() {
    unit_ = std::string(1 + rng_() % 4, chance(10) ? '\t' : ' ');
    eol_ = chance(10) ? "\r\n" : "\n";
    std::string text = "[";
    for (int r = 0, rows = 1 + static_cast<int>(rng_() % 5); r < rows; ++r) {
      text += (r > 0 ? "," : "") + eol_ + indent(1) + "{";
      for (int m = 0, members = 1 + static_cast<int>(rng_() % 3); m < members; ++m) {
        std::string& last = last_values_[static_cast<size_t>(m)];
        if (last.empty() || chance(50)) last = objects(2);
        text += (m > 0 ? "," : "") + eol_ + indent(2) + "\"m" + std::to_string(m) + "\": " + last;
      }
      text += eol_ + indent(1) + "}";
    }
    text += eol_ + "]";
    return chance(50) ? text : broken(text);
  }

 private:
  bool chance(unsigned percent) { return rng_() % 100 < percent; }
  std::string indent(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += unit_;
    return chance(3) ? text + " " : text;
  }
  // An array of objects at `depth`, its elements on lines of their own.
  std::string objects(int depth) {
    const int count = static_cast<int>(rng_() % 7);
    std::string text = "[";
    for (int i = 0; i < count; ++i) text += (i > 0 ? "," : "") + eol_ + indent(depth + 1) + object(depth + 1);
    if (count > 0) text += eol_ + indent(depth);
    return text + "]";
  }
  std::string object(int depth) {
    std::vector<std::string_view>& keys = last_keys_[static_cast<size_t>(depth) % last_keys_.size()];
    if (keys.empty() || chance(20)) {
      keys.clear();
      for (int i = 0, count = static_cast<int>(rng_() % 6); i < count; ++i) keys.push_back(kKeys[rng_() % std::size(kKeys)]);
    }
    std::vector<std::string_view> these = keys;
    if (!these.empty() && chance(5)) these.push_back(these[rng_() % these.size()]);
    std::string text = "{";
    for (size_t i = 0; i < these.size(); ++i) {
      text += (i > 0 ? "," : "") + eol_ + indent(depth + 1) + "\"" + std::string(these[i]) + "\": " + value(depth + 1);
    }
    if (!these.empty()) text += eol_ + indent(depth);
    return text + "}";
  }
  std::string value(int depth) {
    if (depth < 8 && chance(10)) return objects(depth);
    // Mostly valid: the text is broken on purpose in half of the payloads already.
    const bool any = chance(2);
    switch (rng_() % 4) {
      case 0: return std::string(kStrings[rng_() % (any ? std::size(kStrings) : 8)]);
      case 1: return std::string(kNumbers[rng_() % (any ? std::size(kNumbers) : 20)]);
      case 2: return std::string(kLiterals[rng_() % 3]);
      default: return std::to_string(rng_() % 100000);
    }
  }
  // One byte dropped, put in or replaced, or the text cut short, next to whitespace or a bracket.
  std::string broken(std::string text) {
    size_t at = text.find_first_of(chance(50) ? " \t\n" : ",{}[]:", rng_() % text.size());
    if (at == std::string::npos) at = rng_() % text.size();
    switch (rng_() % 4) {
      case 0: return text.erase(at, 1);
      case 1: return text.insert(at, 1, ",:{}[]\" \t\n\r\x0bx1"[rng_() % 15]);
      case 2: text[at] = " \t\r\n\x0cx\",}]"[rng_() % 10]; return text;
      default: return text.substr(0, at);
    }
  }

  std::mt19937 rng_{20261209};
  std::string unit_, eol_;
  std::array<std::vector<std::string_view>, 10> last_keys_;
  std::array<std::string, 3> last_values_;
};

// Rows whose member values are arrays of arrays of numbers, as coordinates and matrix rows come,
// compact or with a space after each comma: now and then an element of another kind (an object
// with a number after its member's value among them), a space before a closing bracket, a row
// nested a level deeper, the rows at the deepest level allowed, or the text broken.
class NumberRows {
 public:
  std::string payload() {
    std::string text = "[";
    for (int r = 0, rows = 1 + static_cast<int>(rng_() % 3); r < rows; ++r) {
      text += std::string(r > 0 ? "," : "") + "{\"v\":" + rows_of_numbers(chance(5) ? 120 + static_cast<int>(rng_() % 8) : 0) + "}";
    }
    text += "]";
    if (chance(30)) {
      const size_t at = rng_() % text.size();
      switch (rng_() % 3) {
        case 0: text.erase(at, 1); break;
        case 1: text.insert(at, 1, ",[]- 1.e"[rng_() % 8]); break;
        default: text.resize(at); break;
      }
    }
    return text;
  }

 private:
  bool chance(unsigned percent) { return rng_() % 100 < percent; }
  std::string rows_of_numbers(int extra_depth) {
    const std::string comma = chance(30) ? ", " : ",";
    std::string text = std::string(static_cast<size_t>(extra_depth), '[') + "[";
    for (int i = 0, count = static_cast<int>(rng_() % 6); i < count; ++i) {
      if (i > 0) text += comma;
      if (chance(8)) {
        // another kind of element; an object whose member value may run on into a bare number
        const std::string number(kNumbers[rng_() % std::size(kNumbers)]);
        text += std::array<std::string, 3>{"\"x\"", "[[1,2],[3]]", "{\"a\":" + number + (chance(50) ? comma + "2" : "") + "}"}[rng_() % 3];
        continue;
      }
      text += "[";
      for (int k = 0, numbers = static_cast<int>(rng_() % 4); k < numbers; ++k) {
        text += k > 0 ? comma : "";
        text += chance(20) ? std::string(kNumbers[rng_() % std::size(kNumbers)])
                           : std::to_string(static_cast<int>(rng_() % 2001) - 1000) + (chance(50) ? ".25" : "");
      }
      text += chance(5) ? " ]" : "]";
    }
    return text + "]" + std::string(static_cast<size_t>(extra_depth), ']');
  }

  std::mt19937 rng_{20261209};
};

}  // namespace

int main() {
  Generator generate(20261208);
  tc::ReadOptions copies_only;
  copies_only.reuse_repeated_values = false;
  tc::ReadOptions member_by_member = copies_only;
  member_by_member.copy_compact_values = false;
  member_by_member.read_number_rows = false;
  member_by_member.read_number_runs = false;
  tc::ReadOptions repeats_only;
  repeats_only.copy_compact_values = false;
  const auto next = [&] { return generate.payload(); };
  bool same = tc::test::same_both_ways("nested copies", 30000, next, copies_only, member_by_member);
  same &= tc::test::same_both_ways("repeated nested values", 30000, next, tc::ReadOptions{}, copies_only);
  same &= tc::test::same_both_ways("repeated nested values read member by member", 30000, next, repeats_only,
                                   member_by_member);
  WideObjects wide;
  same &= tc::test::same_both_ways("objects of many keys", 1500, [&] { return wide.payload(); }, copies_only,
                                   member_by_member);
  PrettyArrays pretty;
  same &= tc::test::same_both_ways("repeated pretty-printed arrays of objects", 10000, [&] { return pretty.payload(); },
                                   tc::ReadOptions{}, member_by_member);
  NumberRows number_rows;
  same &= tc::test::same_both_ways("arrays of arrays of numbers", 8000, [&] { return number_rows.payload(); },
                                   tc::ReadOptions{}, member_by_member);
  return same ? 0 : 1;
}
