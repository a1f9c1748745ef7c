// Value equality on compact text. Equal text always means equal values; only where texts
// differ can values still be equal (numbers of other classes or forms, minus zero nested,
// objects with another member order). Containers are then walked side by side, and indexed
// and compared in full only where an object's keys come in another order.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "codec/byte_buffer.hpp"
#include "codec/hash.hpp"
#include "codec/layout.hpp"
#include "codec/portable.hpp"
#include "codec/scan.hpp"

namespace tc {
namespace {

enum class Kind { kNull, kBoolean, kString, kArray, kObject, kUnsigned, kNegative, kFloat };

Kind kind_of(std::string_view text) {
  switch (text[0]) {
    case 'n': return Kind::kNull;
    case 't': case 'f': return Kind::kBoolean;
    case '"': return Kind::kString;
    case '[': return Kind::kArray;
    case '{': return Kind::kObject;
    default: break;
  }
  for (char c : text) {
    if (c == '.' || c == 'e') return Kind::kFloat;
  }
  return text[0] == '-' ? Kind::kNegative : Kind::kUnsigned;
}

bool is_number(Kind k) { return k == Kind::kUnsigned || k == Kind::kNegative || k == Kind::kFloat; }
bool is_zero_float(std::string_view t) { return t == "0.0" || t == "-0.0"; }
bool is_zero_number(std::string_view t) { return t == "0" || is_zero_float(t); }

// Compact float text is the shortest round-trip form, so reading it back is exact.
double float_of(std::string_view t) {
  return read_double(t.data(), t.data() + t.size());
}

// An integer (given by text and class) equals a double exactly.
bool integer_equals_double(std::string_view text, Kind kind, double d) {
  if (kind == Kind::kUnsigned) {
    uint64_t u = 0;
    std::from_chars(text.data(), text.data() + text.size(), u);
    // 2^64 is the first double out of range; below it the conversion is exact for integers.
    return d >= 0 && d < 18446744073709551616.0 && static_cast<double>(static_cast<uint64_t>(d)) == d &&
           static_cast<uint64_t>(d) == u;
  }
  int64_t i = 0;
  std::from_chars(text.data(), text.data() + text.size(), i);
  return d < 0 && d >= -9223372036854775808.0 && static_cast<double>(static_cast<int64_t>(d)) == d &&
         static_cast<int64_t>(d) == i;
}

// Called only for texts that differ.
bool numbers_equal_exactly(std::string_view a, Kind ka, std::string_view b, Kind kb) {
  // A float's text is the shortest round-trip form, one text per double: two different texts
  // are two different values, except for the two zeros.
  if (ka == Kind::kFloat && kb == Kind::kFloat) return is_zero_float(a) && is_zero_float(b);
  if (ka == Kind::kFloat) return integer_equals_double(b, kb, float_of(a));
  if (kb == Kind::kFloat) return integer_equals_double(a, ka, float_of(b));
  return false;  // integers of one class with different text differ; the classes never meet
}

// One value of a trusted compact text, indexed. A container is followed by its children, in
// order (an object's alternate key and value); `next` is the index just past its subtree.
struct Node {
  size_t begin;
  size_t end;  // the value's text is [begin, end)
  uint32_t next;
  uint32_t children;
};

// Indexes a compact text in one pass, so comparing two values costs time linear in their size
// however deep they nest.
std::vector<Node> index_value(std::string_view t) {
  std::vector<Node> nodes;
  std::vector<uint32_t> open;
  nodes.reserve(32);
  open.reserve(16);
  for (size_t pos = 0; pos < t.size();) {
    const char c = t[pos];
    if (c == ',' || c == ':') {
      ++pos;
      continue;
    }
    if (c == ']' || c == '}') {
      Node& closed = nodes[open.back()];
      open.pop_back();
      closed.end = ++pos;
      closed.next = static_cast<uint32_t>(nodes.size());
      continue;
    }
    if (!open.empty()) ++nodes[open.back()].children;
    const auto index = static_cast<uint32_t>(nodes.size());
    nodes.push_back({pos, 0, index + 1, 0});
    if (c == '[' || c == '{') {
      open.push_back(index);
      ++pos;
      continue;
    }
    size_t end = pos + 1;
    if (c == '"') {
      for (; t[end] != '"'; ++end) {
        if (t[end] == '\\') ++end;
      }
      ++end;
    } else {
      while (end < t.size() && t[end] != ',' && t[end] != ']' && t[end] != '}') ++end;
    }
    nodes[index].end = end;
    pos = end;
  }
  return nodes;
}

// Strict (nested) equality of two indexed values: the number class counts, floats compare by
// IEEE equality (0.0 equals -0.0), objects regardless of member order.
class NestedEquality {
 public:
  NestedEquality(std::string_view a, std::string_view b)
      : text_a_(a), text_b_(b), a_(index_value(a)), b_(index_value(b)) {}
  bool equal() { return equal(0, 0); }

 private:
  std::string_view text(std::string_view t, const Node& n) const { return t.substr(n.begin, n.end - n.begin); }

  bool equal(uint32_t i, uint32_t j) {
    const std::string_view x = text(text_a_, a_[i]), y = text(text_b_, b_[j]);
    const Kind kx = kind_of(x), ky = kind_of(y);
    if (kx != ky) return false;
    if (kx == Kind::kArray) return arrays_equal(i, j);
    if (kx == Kind::kObject) return objects_equal(i, j);
    return x == y || (kx == Kind::kFloat && is_zero_float(x) && is_zero_float(y));
  }

  bool arrays_equal(uint32_t i, uint32_t j) {
    if (a_[i].children != b_[j].children) return false;
    for (uint32_t x = i + 1, y = j + 1; x < a_[i].next; x = a_[x].next, y = b_[y].next) {
      if (!equal(x, y)) return false;
    }
    return true;
  }

  // Keys are unique within an object, so equal size plus every key of one found with an equal
  // value in the other is equality. Large objects are searched through a hash index.
  bool objects_equal(uint32_t i, uint32_t j) {
    if (a_[i].children != b_[j].children) return false;
    constexpr uint32_t kScanLimit = 2 * 16;
    std::unordered_map<std::string_view, uint32_t, KeyedHash> index;
    if (b_[j].children > kScanLimit) {
      index.reserve(b_[j].children / 2);
      for (uint32_t y = j + 1; y < b_[j].next; y = b_[b_[y].next].next) index.emplace(text(text_b_, b_[y]), b_[y].next);
    }
    for (uint32_t x = i + 1; x < a_[i].next; x = a_[a_[x].next].next) {
      const std::string_view key = text(text_a_, a_[x]);
      uint32_t value = 0;
      if (index.empty()) {
        uint32_t y = j + 1;
        while (y < b_[j].next && text(text_b_, b_[y]) != key) y = b_[b_[y].next].next;
        if (y == b_[j].next) return false;
        value = b_[y].next;
      } else {
        auto found = index.find(key);
        if (found == index.end()) return false;
        value = found->second;
      }
      if (!equal(a_[x].next, value)) return false;
    }
    return true;
  }

  std::string_view text_a_, text_b_;
  std::vector<Node> a_, b_;
};

// The length, quotes included, of the strings opening at a[x] and b[y] where they have the same
// text, which for compact text is where they are equal; 0 where they differ. Read side by side
// up to the first difference, which for strings that differ usually comes long before either
// end.
TC_ALWAYS_INLINE size_t same_string_at(std::string_view a, size_t x, std::string_view b, size_t y) {
  size_t i = 1;
  // Eight bytes at a time where both texts have them: equal words without a quote or a
  // backslash are passed whole (links and identifiers often differ only near their end).
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHighs = 0x8080808080808080ULL;
  auto has_byte = [](uint64_t word, char c) {
    const uint64_t w = word ^ (kOnes * static_cast<unsigned char>(c));
    return ((w - kOnes) & ~w & kHighs) != 0;
  };
  while (x + i + 8 <= a.size() && y + i + 8 <= b.size()) {
    uint64_t u, v;
    std::memcpy(&u, a.data() + x + i, 8);
    std::memcpy(&v, b.data() + y + i, 8);
    if (u != v || has_byte(u, '"') || has_byte(u, '\\')) break;
    i += 8;
  }
  for (;; ++i) {
    if (a[x + i] != b[y + i]) return 0;
    if (a[x + i] == '"') return i + 1;
    if (a[x + i] == '\\') {  // the escaped byte is compared as it stands, even a quote
      ++i;
      if (a[x + i] != b[y + i]) return 0;
    }
  }
}

// The length of the scalars (not strings, not containers) opening with the same byte at a[x]
// and b[y] where they have the same text; 0 where they differ. Read side by side up to the
// first difference, or to where both end, which in a container's text is always before its
// end.
TC_ALWAYS_INLINE size_t same_scalar_at(std::string_view a, size_t x, std::string_view b, size_t y) {
  for (size_t i = 1;; ++i) {
    const char c = a[x + i];
    if (c != b[y + i]) return 0;
    if (c == ',' || c == ']' || c == '}') return i;
  }
}

// Whether the scalar at t[pos], inside a container (so that a delimiter follows it), is the
// zero float 0.0 or -0.0. Read byte by byte, never past that delimiter.
inline bool zero_float_at(std::string_view t, size_t pos) {
  if (t[pos] == '-') ++pos;
  const auto delimiter = [](char c) { return c == ',' || c == ']' || c == '}'; };
  return t[pos] == '0' && t[pos + 1] == '.' && t[pos + 2] == '0' && delimiter(t[pos + 3]);
}

// What a walk of two containers side by side settles.
enum class SideBySide { kEqual, kUnequal, kUnsettled };

// Two containers of the same kind, compared member by member and element by element, side by
// side, while their objects hold the same keys in the same order, as the objects of one column
// mostly do: the first member or element that differs settles them unequal, reaching both ends
// together equal. Where an object's keys come in another order (or nesting goes deeper than
// followed here), nothing is settled. Inside containers the number class counts, and equal
// scalars have the same text but for the zeros 0.0 and -0.0.
SideBySide compare_side_by_side(std::string_view a, std::string_view b) {
  constexpr unsigned kMaxDepth = 64;
  bool in_object[kMaxDepth];
  unsigned depth = 0;
  size_t x = 0, y = 0;
  bool at_key = false;
  for (;;) {
    if (at_key) {  // keys that differ may still be the same set in another order
      const size_t key = same_string_at(a, x, b, y);
      if (key == 0) return SideBySide::kUnsettled;
      x += key + 1;  // past the colon
      y += key + 1;
    }
    // At a value in both texts.
    const char c = a[x];
    const bool a_container = c == '{' || c == '[';
    const bool b_container = b[y] == '{' || b[y] == '[';
    if (a_container || b_container) {
      if (c != b[y]) return SideBySide::kUnequal;  // another kind, or a container against a scalar
      ++x;
      ++y;
      const bool a_empty = a[x] == '}' || a[x] == ']';
      const bool b_empty = b[y] == '}' || b[y] == ']';
      if (a_empty != b_empty) return SideBySide::kUnequal;
      if (!a_empty) {
        if (depth == kMaxDepth) return SideBySide::kUnsettled;
        in_object[depth++] = c == '{';
        at_key = c == '{';
        continue;
      }
      ++x;
      ++y;
    } else if (c == '"' || b[y] == '"') {
      const size_t length = c == b[y] ? same_string_at(a, x, b, y) : 0;
      if (length == 0) return SideBySide::kUnequal;
      x += length;
      y += length;
    } else if (const size_t length = c == b[y] ? same_scalar_at(a, x, b, y) : 0; length != 0) {
      x += length;
      y += length;
    } else {  // texts that differ: equal only as the zeros 0.0 and -0.0
      if (!zero_float_at(a, x) || !zero_float_at(b, y)) return SideBySide::kUnequal;
      x += a[x] == '-' ? 4 : 3;
      y += b[y] == '-' ? 4 : 3;
    }
    // After a value: the next member or element of the innermost open container, or its end.
    for (;;) {
      if (depth == 0) return SideBySide::kEqual;
      const bool more_a = a[x] == ',', more_b = b[y] == ',';
      if (more_a != more_b) return SideBySide::kUnequal;  // one has more members or elements
      ++x;
      ++y;
      if (more_a) break;
      --depth;
    }
    at_key = in_object[depth - 1];
  }
}

bool values_equal(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && equal_bytes(a.data(), b.data(), a.size())) return true;
  // Texts that open differently are different values, but for zeros spelled "0", "0.0" and
  // "-0.0": other kinds open with other bytes, and a number's text opens with its sign and
  // first digit, which an equal number of the other class shares (1 and 1.0, 10000000000000000
  // and 1e+16). Most unequal numbers are settled here without reading them through.
  if (a[0] != b[0]) return is_zero_number(a) && is_zero_number(b);
  if (a[0] == '-' || is_decimal_digit(a[0])) {
    // Two numbers whose texts first differ where both hold a digit differ in value: the
    // texts agree before it, so neither has a point or an exponent there that the other
    // lacks, and compact texts of equal values of either class agree in every digit. Most
    // unequal numbers are settled here without finding their class.
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    size_t i = 1;
    while (i < n && a[i] == b[i]) ++i;
    if (i < n && is_decimal_digit(a[i]) && is_decimal_digit(b[i])) return false;
  }
  const Kind ka = kind_of(a), kb = kind_of(b);
  if (is_number(ka) && is_number(kb)) return numbers_equal_exactly(a, ka, b, kb);
  if (ka != kb || (ka != Kind::kArray && ka != Kind::kObject)) return false;
  switch (compare_side_by_side(a, b)) {
    case SideBySide::kEqual: return true;
    case SideBySide::kUnequal: return false;
    case SideBySide::kUnsettled: break;
  }
  return NestedEquality(a, b).equal();
}

}  // namespace

bool cells_equal(std::string_view a, std::string_view b) { return values_equal(a, b); }

}  // namespace tc
