// Value equality on compact text. Equal text always means equal values; only where texts
// differ can values still be equal (numbers of other classes or forms, minus zero nested,
// objects with another member order), and only then is the text taken apart.
#include <charconv>
#include <cstdint>
#include <unordered_map>
#include <vector>

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
  if (text.find_first_of(".e") != std::string_view::npos) return Kind::kFloat;
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

// Elements of an array, or alternating keys and values of an object.
std::vector<std::string_view> parts_of(std::string_view container) {
  std::vector<std::string_view> parts;
  size_t pos = 1;
  while (container[pos] != ']' && container[pos] != '}') {
    size_t end = skip_value(container, pos);
    parts.push_back(container.substr(pos, end - pos));
    pos = end;
    if (container[pos] == ',' || container[pos] == ':') ++pos;
  }
  return parts;
}

bool arrays_equal(std::string_view a, std::string_view b) {
  std::vector<std::string_view> x = parts_of(a), y = parts_of(b);
  if (x.size() != y.size()) return false;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!values_equal(x[i], y[i], false)) return false;
  }
  return true;
}

// Keys are unique within an object, so equal size plus every key of one found with an equal
// value in the other is equality. Large objects are matched through a hash index.
bool objects_equal(std::string_view a, std::string_view b) {
  std::vector<std::string_view> x = parts_of(a), y = parts_of(b);
  if (x.size() != y.size()) return false;
  constexpr size_t kScanLimit = 32;
  if (y.size() <= kScanLimit) {
    for (size_t i = 0; i < x.size(); i += 2) {
      size_t j = 0;
      while (j < y.size() && y[j] != x[i]) j += 2;
      if (j == y.size() || !values_equal(x[i + 1], y[j + 1], false)) return false;
    }
    return true;
  }
  std::unordered_map<std::string_view, std::string_view, KeyedHash> index;
  index.reserve(y.size() / 2);
  for (size_t j = 0; j < y.size(); j += 2) index.emplace(y[j], y[j + 1]);
  for (size_t i = 0; i < x.size(); i += 2) {
    auto it = index.find(x[i]);
    if (it == index.end() || !values_equal(x[i + 1], it->second, false)) return false;
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
