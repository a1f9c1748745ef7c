// Tests of the fuzz target's checks themselves: each must reject the fault it is there for and
// accept sound results, or a fuzz run that finds nothing proves nothing.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "checks.hpp"

namespace {

struct OutputCase {
  std::string_view output;
  bool sound;
};

struct ErrorCase {
  std::string_view payload;
  std::string_view text;
  bool sound;
};

const std::vector<OutputCase> kOutputCases = {
    {R"({"columns":[],"rows":[],"constants":{}})", true},
    {R"({"columns":["a","b"],"rows":[[1.5,null],[1e+16,"\u001f\n"]],"constants":{"c":[1,{"d":-2}]}})", true},
    {R"({"columns":["a"],"rows":[[[0.00001,1e-6,100.0,-0.0,5e-324,1.7976931348623157e+308,12.5]]],"constants":{}})", true},
    {R"({"columns":[],"rows":[],"constants":{}} )", false},
    {R"({"columns":[], "rows":[],"constants":{}})", false},
    {R"({"rows":[],"columns":[],"constants":{}})", false},
    {R"({"columns":[],"rows":[],"constants":{},"extra":1})", false},
    {R"({"columns":["a","a"],"rows":[[1,2],[3,4]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[1],[2]],"constants":{"a":1}})", false},
    {R"({"columns":["a"],"rows":[[1,2]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[null],[null]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[1],[1]],"constants":{}})", false},
    {R"({"columns":[],"rows":[[]],"constants":{"a":1}})", false},
    {R"({"columns":[],"rows":[[],[]],"constants":{"a":null}})", false},
    {R"({"columns":["a"],"rows":[[1.50]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[1E2]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[1e16]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[0.30000000000000001]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[["\/"]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[["\u0041"]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[["\u001F"]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[["\u000a"]],"constants":{}})", false},
    {"{\"columns\":[\"a\"],\"rows\":[[\"\xff\"]],\"constants\":{}}", false},
    {R"({"columns":["a"],"rows":[[{"x":1,"x":2}]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[-0]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[01]],"constants":{}})", false},
    {R"({"columns":["a"],"rows":[[18446744073709551616]],"constants":{}})", false},
};

const std::vector<ErrorCase> kErrorCases = {
    {"[1,]", "invalid row-oriented JSON: trailing comma at line 1 column 4", true},
    {"{\"a\":", "invalid row-oriented JSON: invalid type: map, expected a sequence at line 1 column 0", true},
    {"", "invalid row-oriented JSON: EOF while parsing a value at line 1 column 0", true},
    {"[\"a\n\"]", R"(invalid row-oriented JSON: control character (\u0000-\u001F) found while parsing a string at line 1 column 4)", true},
    {"[1]", "expected a JSON object row, got: 1", true},
    {"[1,]", "invalid row-oriented JSON: trailing comma", false},
    {"[1,]", "invalid JSON: trailing comma at line 1 column 4", false},
    {"[1,]", "invalid row-oriented JSON: odd comma at line 1 column 4", false},
    {"[1,]", "invalid row-oriented JSON: trailing comma at line 2 column 1", false},
    {"[1,]", "invalid row-oriented JSON: trailing comma at line 1 column 6", false},
    {"[1,]", "invalid row-oriented JSON: trailing comma at line 01 column 4", false},
    {"[1,", "invalid row-oriented JSON: EOF while parsing a value at line 1 column 2", false},
    {"[] x", "invalid row-oriented JSON: trailing characters at line 1 column 3", false},
    {"[1,]", "invalid row-oriented JSON: trailing comma at line 1 column 0", false},
    {"[{}]", "expected a JSON object row, got: {}", false},
    {"[[1,2]]", "expected a JSON object row, got: [1, 2]", false},
    {"5", "expected a JSON object row, got: 5", false},
};

bool report(bool sound, const std::string& violation, std::string_view what) {
  if (violation.empty() == sound) return true;
  std::printf("FAIL %s\n  %s\n", std::string(what).c_str(),
              sound ? ("sound result rejected: " + violation).c_str() : "faulty result accepted");
  return false;
}

}  // namespace

int main() {
  int passed = 0, failed = 0;
  for (const OutputCase& c : kOutputCases) {
    (report(c.sound, tc::fuzz::check_output(c.output), c.output) ? passed : failed) += 1;
  }
  for (const ErrorCase& c : kErrorCases) {
    (report(c.sound, tc::fuzz::check_error_text(c.payload, c.text), c.text) ? passed : failed) += 1;
  }
  std::printf("checks: %d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
