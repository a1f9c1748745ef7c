// Strict reader of the codec's compact JSON text, used by the fuzz target to check outputs.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tc::fuzz {

enum class Kind { null, boolean, number, string, array, object };

// One value of a checked text. `text` is its span inside the text that was read (valid while
// that text lives); `str` holds a string's decoded bytes; `items` holds an array's elements or
// an object's member values, with the decoded member names in `keys` at the same indexes.
struct Node {
  Kind kind = Kind::null;
  std::string_view text;
  std::string str;
  std::vector<std::string> keys;
  std::vector<Node> items;
};

struct CompactText {
  Node root;
  std::size_t depth = 0;     // deepest nesting of arrays and objects; 0 for a lone scalar
  bool floats_exact = true;  // every float text converts back to its double in one exact step
};

// Reads `text` as exactly one JSON value in the canonical compact form and nothing else: no
// whitespace outside strings, strings valid UTF-8 with only the escapes the writer uses
// (`\"` `\\` `\b` `\t` `\n` `\f` `\r` and lower-case `\u00XX` for other bytes below 0x20),
// integers within the 64-bit classes without leading zeros, floats in their shortest canonical
// layout, no repeated member name in any object. Returns what broke the form, or "" when the
// text is canonical; `out` is then complete.
[[nodiscard]] std::string read_compact(std::string_view text, CompactText& out);

}  // namespace tc::fuzz
