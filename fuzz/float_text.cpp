// Canonical float text from std::to_chars' shortest scientific digits.
#include "float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>

namespace tc::fuzz {
namespace {

struct Decimal {
  std::string digits;  // significant digits, no leading or trailing zeros
  int exponent = 0;    // decimal exponent of the first digit
};

// Splits the shortest scientific text of a positive finite value ("d.ddde+XX").
Decimal shortest_decimal(double magnitude) {
  char buffer[64];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                       std::chars_format::scientific);
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t e = text.find('e');
  Decimal out;
  for (const char c : text.substr(0, e)) {
    if (c != '.') out.digits.push_back(c);
  }
  while (out.digits.size() > 1 && out.digits.back() == '0') out.digits.pop_back();
  std::string_view exp = text.substr(e + 1);
  const bool negative = exp.front() == '-';
  if (exp.front() == '-' || exp.front() == '+') exp.remove_prefix(1);
  std::from_chars(exp.data(), exp.data() + exp.size(), out.exponent);
  if (negative) out.exponent = -out.exponent;
  return out;
}

}  // namespace

std::string canonical_float_text(double value) {
  std::string out = std::signbit(value) ? "-" : "";
  if (value == 0) return out + "0.0";
  const Decimal d = shortest_decimal(std::fabs(value));
  const int n = static_cast<int>(d.digits.size());
  const int e = d.exponent;
  if (e >= 16 || e <= -6) {
    out += d.digits.front();
    if (n > 1) out.append(".").append(d.digits, 1);
    out += e < 0 ? "e-" : "e+";
    return out + std::to_string(e < 0 ? -e : e);
  }
  if (e < 0) return out + "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + d.digits;
  if (e >= n - 1) return out + d.digits + std::string(static_cast<std::size_t>(e - (n - 1)), '0') + ".0";
  const auto units = static_cast<std::size_t>(e + 1);
  return out + d.digits.substr(0, units) + "." + d.digits.substr(units);
}

}  // namespace tc::fuzz
