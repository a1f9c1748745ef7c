// Pretty-printed payloads read with the indentation guessed from the line before must come out
// exactly as when every line's indentation is scanned: random nested rows written with
// indentations of any width (tabs, CRLF line ends, lines indented unlike their siblings, deep
// nesting past what is guessed), then now and then broken (a byte dropped, put in or changed,
// the text cut short), so that the errors, lines and columns are compared too.
#include <random>
#include <string>
#include <string_view>

#include "table_runner.hpp"

namespace {

constexpr std::string_view kKeys[] = {"id", "name", "a", "created_at", "k\\n", "\xc3\xa9t\xc3\xa9", "url"};
constexpr std::string_view kScalars[] = {"1", "-2.5e3", "true", "null", "\"s\"", "\"a longer string, past 16 bytes\"",
                                         "\"\\u00e9\"", "false", "0", "[]", "{}"};

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  std::string payload() {
    unit_ = std::string(rng_() % 9, chance(15) ? '\t' : ' ');
    line_end_ = chance(10) ? "\r\n" : "\n";
    jitter_ = chance(20);
    std::string text = "[";
    const int rows = 1 + static_cast<int>(rng_() % 6);
    for (int r = 0; r < rows; ++r) {
      text += r > 0 ? "," : "";
      newline(text, 1);
      text += object(1, 0);
    }
    newline(text, 0);
    text += "]";
    return mutate(text);
  }

 private:
  bool chance(unsigned percent) { return rng_() % 100 < percent; }

  void newline(std::string& text, int depth) {
    text += line_end_;
    for (int i = 0; i < depth; ++i) text += unit_;
    if (jitter_ && chance(30)) text += chance(50) ? " " : "\t";
  }
  std::string value(int depth, int nesting) {
    const int deep = chance(2) ? 12 : 4;
    if (nesting < deep && chance(25)) return object(depth + 1, nesting + 1);
    if (nesting < deep && chance(15)) return array(depth + 1, nesting + 1);
    return std::string(kScalars[rng_() % std::size(kScalars)]);
  }
  std::string object(int depth, int nesting) {
    const int members = static_cast<int>(rng_() % 5);
    if (members == 0) return "{}";
    std::string text = "{";
    for (int m = 0; m < members; ++m) {
      text += m > 0 ? "," : "";
      newline(text, depth + 1);
      text.append("\"").append(kKeys[rng_() % std::size(kKeys)]).append("\": ").append(value(depth + 1, nesting));
    }
    newline(text, depth);
    return text + "}";
  }
  std::string array(int depth, int nesting) {
    const int count = static_cast<int>(rng_() % 5);
    if (count == 0) return "[]";
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
      text += i > 0 ? "," : "";
      newline(text, depth + 1);
      text += value(depth + 1, nesting);
    }
    newline(text, depth);
    return text + "]";
  }
  // Half the payloads broken in one place, often in the whitespace the guess checks or at a
  // separator next to it.
  std::string mutate(std::string text) {
    if (chance(50)) return text;
    size_t at = rng_() % text.size();
    if (!chance(30)) {
      const size_t near = text.find_first_of(chance(50) ? " " : ",\n{}[]", at);
      at = near == std::string::npos ? at : near;
    }
    switch (rng_() % 4) {
      case 0: return text.erase(at, 1);
      case 1: return text.insert(at, 1, ",:{}[]\" \t\n\x0b\x01x1"[rng_() % 15]);
      case 2: text[at] = " \t\r\n\x0b\x0cx\",}]"[rng_() % 11]; return text;
      default: return text.substr(0, at);
    }
  }

  std::mt19937 rng_;
  std::string unit_;
  std::string line_end_;
  bool jitter_ = false;
};

}  // namespace

int main() {
  Generator generate(20261208);
  tc::ReadOptions scanned;
  scanned.guess_indentation = false;
  const bool same = tc::test::same_both_ways("indentation guessed", 40000, [&] { return generate.payload(); },
                                             tc::ReadOptions{}, scanned);
  return same ? 0 : 1;
}
