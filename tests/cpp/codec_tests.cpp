// Exact results of tc::columnarize_json, one table per concern; `codec_tests TABLE` runs one.
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "table_runner.hpp"

namespace {

using tc::test::output_case;
using tc::test::parse_error_case;
using tc::test::row_error_case;
using tc::test::Table;

std::string repeated(std::string_view unit, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += unit;
  return out;
}

// Reading the payload as one array of objects, and which error wins.
Table intake_table() {
  return {
      parse_error_case("empty payload", "", "EOF while parsing a value at line 1 column 0"),
      output_case("empty array", "[]", R"({"columns":[],"rows":[],"constants":{}})"),
      output_case("whitespace around the array", " \t\r\n[{\"a\":1}]\r\n\t ",
                  R"({"columns":["a"],"rows":[[1]],"constants":{}})"),
      parse_error_case("bytes after the array", "[]x", "trailing characters at line 1 column 3"),
      parse_error_case("broken top-level object is not read", R"({"a":)",
                       "invalid type: map, expected a sequence at line 1 column 0"),
      parse_error_case("top-level string", R"("ab")",
                       R"(invalid type: string "ab", expected a sequence at line 1 column 4)"),
      parse_error_case("byte-order mark", "\xEF\xBB\xBF[]", "expected value at line 1 column 1"),
      row_error_case("number before an object", "[1,{}]", "1"),
      row_error_case("first non-object shown in compact form", R"([{}, "a\"b" ,3])", R"("a\"b")"),
      parse_error_case("syntax error wins over an earlier non-object", R"([1,{"a":])",
                       "expected value at line 1 column 9"),
      output_case("127 levels parse", R"([{"a":)" + repeated("[", 125) + repeated("]", 125) + "}]",
                  R"({"columns":["a"],"rows":[[)" + repeated("[", 125) + repeated("]", 125) +
                      R"(]],"constants":{}})"),
      parse_error_case("the 128th level fails at its bracket", R"([{"a":)" + repeated("[", 126),
                       "recursion limit exceeded at line 1 column 132"),
  };
}

// Grammar errors and the positions they point at.
Table grammar_table() {
  return {
      parse_error_case("trailing comma", "[1,]", "trailing comma at line 1 column 4"),
      parse_error_case("trailing comma on its own line", "[\n1,\n]", "trailing comma at line 3 column 1"),
      parse_error_case("comma then the other closer", "[1,}", "expected value at line 1 column 4"),
      parse_error_case("object comma then bracket", R"([{"a":1,])", "key must be a string at line 1 column 9"),
      parse_error_case("end after an object comma", R"([{"a":1,)", "EOF while parsing a value at line 1 column 8"),
      parse_error_case("missing colon", R"([{"a" 1}])", "expected `:` at line 1 column 7"),
  };
}

// Strings: escapes in, escapes out, and the string errors with their positions.
Table strings_table() {
  return {
      output_case("escapes decoded and written back compact",
                  R"([{"k\"\\":"\u00e9\/\u001F\t\n\u0000\b\f\r\ud83d\ude00)" "\x7f" R"("}])",
                  R"({"columns":["k\"\\"],"rows":[[")" "\xc3\xa9" R"(/\u001f\t\n\u0000\b\f\r)"
                  "\xf0\x9f\x98\x80\x7f" R"("]],"constants":{}})"),
      output_case("escaped and plain key are one key, last value wins", R"([{"a":1,"b":2,"\u0061":3}])",
                  R"({"columns":["a","b"],"rows":[[3,2]],"constants":{}})"),
      parse_error_case("raw line feed stays on the line it ends", "[\"ab\n\"]",
                       R"(control character (\u0000-\u001F) found while parsing a string at line 1 column 5)"),
      parse_error_case("invalid UTF-8 points at the closing quote", "[\"\xff\"]",
                       "invalid unicode code point at line 1 column 4"),
      parse_error_case("leading surrogate alone", R"([{"a":"\ud83d"}])",
                       "unexpected end of hex escape at line 1 column 14"),
      parse_error_case("short \\u escape at the end", R"(["\u12)", "EOF while parsing a string at line 1 column 6"),
  };
}

// Number classes, the float conversion steps and the float text layout.
Table numbers_table() {
  return {
      output_case("float layouts", R"([{"a":1e-400,"b":1e16,"c":1e15,"d":0.00001,"e":0.000001,"f":1.50,"g":-0}])",
                  R"({"columns":["a","b","c","d","e","f","g"],)"
                  R"("rows":[[0.0,1e+16,1000000000000000.0,0.00001,1e-6,1.5,-0.0]],"constants":{}})"),
      output_case("conversion steps, not the nearest double", R"([{"a":9007199254740993.0}])",
                  R"({"columns":["a"],"rows":[[9007199254740994.0]],"constants":{}})"),
      output_case("integer class limits",
                  R"([{"a":18446744073709551615,"b":18446744073709551616,"c":-9223372036854775808,"d":-9223372036854775809}])",
                  R"({"columns":["a","b","c","d"],"rows":[[18446744073709551615,1.8446744073709552e+19,)"
                  R"(-9223372036854775808,-9.223372036854776e+18]],"constants":{}})"),
      parse_error_case("exponent digits read to the last", "[1e99999999999]",
                       "number out of range at line 1 column 14"),
  };
}

// Columns, constant folding and dropped keys.
Table layout_table() {
  return {
      output_case("one row: null key dropped, no constants", R"([{"a":1,"b":null,"c":"x"}])",
                  R"({"columns":["a","c"],"rows":[[1,"x"]],"constants":{}})"),
      output_case("constant leaves the columns", R"([{"a":1,"b":2},{"a":1,"b":3}])",
                  R"({"columns":["b"],"rows":[[2],[3]],"constants":{"a":1}})"),
      output_case("first-appearance order", R"([{"b":1,"a":2},{"c":3,"a":2}])",
                  R"({"columns":["b","c"],"rows":[[1,null],[null,3]],"constants":{"a":2}})"),
      output_case("missing from one row is not constant", R"([{"a":1},{"a":1},{}])",
                  R"({"columns":["a"],"rows":[[1],[1],[null]],"constants":{}})"),
      output_case("all-null key vanishes", R"([{"a":null},{"a":null}])",
                  R"({"columns":[],"rows":[[],[]],"constants":{}})"),
      output_case("float first: its form is the constant", R"([{"a":1.0},{"a":1}])",
                  R"({"columns":[],"rows":[[],[]],"constants":{"a":1.0}})"),
      output_case("equal values across three classes", R"([{"a":-5},{"a":-5.0},{"a":-5e0}])",
                  R"({"columns":[],"rows":[[],[],[]],"constants":{"a":-5}})"),
      output_case("ids one apart above 2^53 stay a column", R"([{"a":9007199254740993},{"a":9007199254740992}])",
                  R"({"columns":["a"],"rows":[[9007199254740993],[9007199254740992]],"constants":{}})"),
      output_case("integer and float compared by exact value", R"([{"a":9007199254740993},{"a":9007199254740992.0}])",
                  R"({"columns":["a"],"rows":[[9007199254740993],[9007199254740992.0]],"constants":{}})"),
      output_case("largest integer and 2^64 differ", R"([{"a":18446744073709551615},{"a":18446744073709551616}])",
                  R"({"columns":["a"],"rows":[[18446744073709551615],[1.8446744073709552e+19]],"constants":{}})"),
      output_case("nested numbers keep their class", R"([{"a":[1]},{"a":[1.0]}])",
                  R"({"columns":["a"],"rows":[[[1]],[[1.0]]],"constants":{}})"),
      output_case("object equality ignores key order", R"([{"a":{"x":1,"y":2}},{"a":{"y":2,"x":1}}])",
                  R"({"columns":[],"rows":[[],[]],"constants":{"a":{"x":1,"y":2}}})"),
  };
}

struct NamedTable {
  std::string_view name;
  Table (*make)();
};

constexpr NamedTable kTables[] = {
    {"intake", intake_table},   {"grammar", grammar_table}, {"strings", strings_table},
    {"numbers", numbers_table}, {"layout", layout_table},
};

}  // namespace

int main(int argc, char** argv) {
  const std::string_view wanted = argc > 1 ? argv[1] : "";
  bool ran = false, all_passed = true;
  for (const NamedTable& table : kTables) {
    if (!wanted.empty() && wanted != table.name) continue;
    ran = true;
    all_passed = tc::test::run_table(table.name, table.make()) && all_passed;
  }
  if (!ran) std::printf("no table named %.*s\n", static_cast<int>(wanted.size()), wanted.data());
  return ran && all_passed ? 0 : 1;
}
