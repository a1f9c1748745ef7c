// Pretty-printed payloads read by guessed indentation against the general path: random nested
// rows in any indentation (tabs, CRLF, lines unlike their siblings, deeper than guessed), half of
// them broken next to a line break, so that errors, lines and columns are compared too.
#include <random>
#include <string>

#include "table_runner.hpp"

namespace {

constexpr const char* kScalars[] = {"1", "-2.5e3", "true", "null", "\"s\"", "\"a string past sixteen bytes\"", "{}", "[]"};
std::mt19937 rng(20261208);
std::string unit, line_end;

bool chance(unsigned percent) { return rng() % 100 < percent; }
std::string indent(int depth) { return depth > 0 ? unit + indent(depth - 1) : ""; }

std::string container(int depth, bool object);
std::string value(int depth) {
  const auto kind = rng() % 4;  // a scalar, an object or an array
  if (kind < 2 || depth > (chance(2) ? 14 : 5)) return kScalars[rng() % std::size(kScalars)];
  return container(depth, kind == 2);
}
std::string container(int depth, bool object) {
  std::string text(1, object ? '{' : '[');
  const int count = static_cast<int>(rng() % 5);
  for (int i = 0; i < count; ++i) {
    text += (i > 0 ? "," : "") + line_end + indent(depth + 1) + (chance(5) ? " " : "");
    if (object) text += "\"k" + std::to_string(rng() % 4) + "\": ";
    text += value(depth + 1);
  }
  if (count > 0) text += line_end + indent(depth);
  return text + (object ? '}' : ']');
}

std::string payload() {
  unit = std::string(rng() % 9, chance(15) ? '\t' : ' ');
  line_end = chance(10) ? "\r\n" : "\n";
  std::string text = "[";
  for (int r = 0, rows = 1 + static_cast<int>(rng() % 6); r < rows; ++r) text += (r > 0 ? "," : "") + line_end + indent(1) + container(1, true);
  text += line_end + "]";
  if (chance(50)) return text;
  size_t at = text.find_first_of(chance(50) ? " " : ",\n{}[]", rng() % text.size());
  at = at == std::string::npos ? rng() % text.size() : at;
  switch (rng() % 4) {
    case 0: return text.erase(at, 1);
    case 1: return text.insert(at, 1, ",:{}[]\" \t\n\x0b\x01x1"[rng() % 15]);
    case 2: text[at] = " \t\r\n\x0b\x0cx\",}]"[rng() % 11]; return text;
    default: return text.substr(0, at);
  }
}

}  // namespace

int main() {
  tc::ReadOptions general;
  general.guess_indentation = false;
  return tc::test::same_both_ways("indentation guessed", 40000, payload, tc::ReadOptions{}, general) ? 0 : 1;
}
