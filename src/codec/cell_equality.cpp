// Value equality on compact text. Equal text always means equal values; only where texts
// differ can values still be equal (numbers of other classes or forms, minus zero nested,
// objects with another member order), and only then is the text taken apart.
#include <charconv>
#include <cstdint>
#include <unordered_map>

#include "codec/hash.hpp"
#include "codec/layout.hpp"

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

// Compact float text is the shortest round-trip form, so reading it back is exact.
double float_of(std::string_view t) {
  double value = 0;
  std::from_chars(t.data(), t.data() + t.size(), value);
  return value;
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

bool numbers_equal_exactly(std::string_view a, Kind ka, std::string_view b, Kind kb) {
  if (ka == Kind::kFloat && kb == Kind::kFloat) return float_of(a) == float_of(b);
  if (ka == Kind::kFloat) return integer_equals_double(b, kb, float_of(a));
  if (kb == Kind::kFloat) return integer_equals_double(a, ka, float_of(b));
  return false;  // integers of one class with different text differ; the classes never meet
}

// End of the compact value that starts at `pos`.
size_t skip_value(std::string_view t, size_t pos) {
  int depth = 0;
  do {
    char c = t[pos];
    if (c == '"') {
      for (++pos; t[pos] != '"'; ++pos) {
        if (t[pos] == '\\') ++pos;
      }
      ++pos;
    } else if (c == '[' || c == '{') {
      ++depth;
      ++pos;
    } else if (c == ']' || c == '}') {
      --depth;
      ++pos;
    } else if (c == ',' || c == ':') {
      ++pos;
    } else {
      while (pos < t.size() && t[pos] != ',' && t[pos] != ']' && t[pos] != '}') ++pos;
    }
  } while (depth > 0);
  return pos;
}

bool values_equal(std::string_view a, std::string_view b, bool top);

// Walks the parts of a compact array (its elements) or object (alternating keys and values).
class Parts {
 public:
  explicit Parts(std::string_view container) : text_(container), pos_(1) {}
  bool next(std::string_view& part) {
    if (text_[pos_] == ']' || text_[pos_] == '}') return false;
    const size_t end = skip_value(text_, pos_);
    part = text_.substr(pos_, end - pos_);
    pos_ = end;
    if (text_[pos_] == ',' || text_[pos_] == ':') ++pos_;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_;
};

size_t count_parts(std::string_view container) {
  Parts parts(container);
  std::string_view part;
  size_t n = 0;
  while (parts.next(part)) ++n;
  return n;
}

bool arrays_equal(std::string_view a, std::string_view b) {
  Parts x(a), y(b);
  std::string_view u, v;
  for (;;) {
    const bool more_x = x.next(u), more_y = y.next(v);
    if (more_x != more_y) return false;
    if (!more_x) return true;
    if (!values_equal(u, v, false)) return false;
  }
}

// The value under `key` in a compact object, found by a scan.
bool find_member(std::string_view object, std::string_view key, std::string_view& value) {
  Parts parts(object);
  std::string_view k, v;
  while (parts.next(k) && parts.next(v)) {
    if (k == key) {
      value = v;
      return true;
    }
  }
  return false;
}

// Keys are unique within an object, so equal size plus every key of one found with an equal
// value in the other is equality. Small objects are searched by a scan, large ones through a
// hash index (so objects of many keys in another order still compare in linear time).
bool objects_equal(std::string_view a, std::string_view b) {
  {
    // Most unequal objects differ in their first member already: settle that before counting.
    Parts first(a);
    std::string_view key, value, other;
    if (first.next(key) && first.next(value) && (!find_member(b, key, other) || !values_equal(value, other, false))) {
      return false;
    }
  }
  const size_t size = count_parts(a);
  if (size != count_parts(b)) return false;
  Parts x(a);
  std::string_view key, value, other;
  constexpr size_t kScanLimit = 2 * 16;
  if (size <= kScanLimit) {
    while (x.next(key) && x.next(value)) {
      if (!find_member(b, key, other) || !values_equal(value, other, false)) return false;
    }
    return true;
  }
  std::unordered_map<std::string_view, std::string_view, KeyedHash> index;
  index.reserve(size / 2);
  Parts y(b);
  while (y.next(key) && y.next(value)) index.emplace(key, value);
  while (x.next(key) && x.next(value)) {
    auto it = index.find(key);
    if (it == index.end() || !values_equal(value, it->second, false)) return false;
  }
  return true;
}

bool values_equal(std::string_view a, std::string_view b, bool top) {
  if (a == b) return true;
  const Kind ka = kind_of(a), kb = kind_of(b);
  if (is_number(ka) && is_number(kb)) {
    if (top) return numbers_equal_exactly(a, ka, b, kb);
    return ka == Kind::kFloat && kb == Kind::kFloat && is_zero_float(a) && is_zero_float(b);
  }
  if (ka != kb) return false;
  if (ka == Kind::kArray) return arrays_equal(a, b);
  if (ka == Kind::kObject) return objects_equal(a, b);
  return false;
}

}  // namespace

bool cells_equal(std::string_view a, std::string_view b) { return values_equal(a, b, true); }

}  // namespace tc
