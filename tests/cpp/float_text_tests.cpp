// Floats as printers of doubles write them: whatever way the reader settles a float's written
// form (the text kept, cut by a digit, cut at its padding, or the full search), it must be the
// shortest text of the double the fixed steps make of it, as write_float lays it out. Texts:
// plain decimals of doubles of every size from 10^-6 up printed with 15 to 17 digits ("%.17g"
// pads shortest texts with zeros or nines), texts with an exponent part of doubles of any size,
// their last digits moved, and the same below zero. The same texts are read in runs too, as
// arrays hold them, among numbers of other kinds.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/byte_buffer.hpp"
#include "codec/number.hpp"

namespace {

int failures = 0;
int checked = 0;

// The fixed steps for a decimal of at most 19 digits, with an exponent part or none: S as a
// double, scaled once by the double nearest 10^|E| (after steps of 10^308 where |E| is larger).
double fixed_steps(const std::string& text) {
  uint64_t s = 0;
  long exponent = 0;
  bool in_fraction = false;
  size_t i = text[0] == '-' ? 1 : 0;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      in_fraction = true;
      continue;
    }
    s = s * 10 + static_cast<uint64_t>(text[i] - '0');
    exponent -= in_fraction ? 1 : 0;
  }
  if (i < text.size()) exponent += std::strtol(text.c_str() + i + 1, nullptr, 10);
  const auto power = [](long k) { return std::strtod(("1e" + std::to_string(k)).c_str(), nullptr); };
  double x = static_cast<double>(s);
  for (; exponent < -308 && x != 0; exponent += 308) x /= power(308);
  x = exponent >= 0 ? x * power(exponent) : x / power(-exponent);
  return text[0] == '-' ? -x : x;
}

void check(const std::string& text) {
  size_t digits = 0;  // of S: zeros before the first other digit add nothing, nor does the exponent
  for (size_t i = 0; i < text.size() && text[i] != 'e'; ++i) {
    digits += text[i] >= '0' && text[i] <= '9' && (digits != 0 || text[i] != '0') ? 1 : 0;
  }
  if (text.find_first_of(".e") == std::string::npos || digits > 19) return;
  const std::string payload = text + ",";  // what follows a number in a row
  tc::ByteBuffer got;
  size_t pos = 0;
  if (tc::read_number(payload.data(), payload.size(), pos, got) || pos != text.size()) {
    if (++failures <= 10) std::printf("FAIL %s: not read\n", text.c_str());
    return;
  }
  char want[tc::kMaxFloatText];
  const std::string_view expected(want, tc::write_float(fixed_steps(text), want));
  ++checked;
  if (got.view() == expected) return;
  if (++failures <= 10) {
    std::printf("FAIL %s: got %.*s, want %.*s\n", text.c_str(), static_cast<int>(got.view().size()),
                got.view().data(), static_cast<int>(expected.size()), expected.data());
  }
}

// What read_number writes for a text alone.
std::string read_alone(const std::string& text) {
  const std::string payload = text + ",";
  tc::ByteBuffer got;
  size_t pos = 0;
  if (tc::read_number(payload.data(), payload.size(), pos, got)) return "(error)";
  return std::string(got.view());
}

// Runs of numbers as an array holds them, compact or spaced: read_number_run must write what
// read_number writes for each, commas between, and stop after the last. Some are numbers of
// other kinds (integers, trailing zeros, many zeros after the point, exponents), which the run
// reads another way.
std::vector<std::string> pending_run;
int checked_runs = 0;

void add_to_run(const std::string& text, std::mt19937_64& rng) {
  static const char* const kOthers[] = {"-7",  "120", "1.50", "0.000001234", "0.0", "-0.0", "2e5", "1.5E-3", "0",
                                        "-0.123456789012345678", "1.2345678901234567891"};
  if (rng() % 8 == 0) pending_run.push_back(kOthers[rng() % std::size(kOthers)]);
  pending_run.push_back(text);
  if (rng() % 4 != 0) return;
  const char* const separator = rng() % 2 == 0 ? "," : ", ";
  std::string payload;
  std::string want;
  for (size_t i = 0; i < pending_run.size(); ++i) {
    payload += i == 0 ? "" : separator;
    want += i == 0 ? "" : ",";
    payload += pending_run[i];
    want += read_alone(pending_run[i]);
  }
  const size_t end = payload.size();
  payload += "]";
  tc::ByteBuffer got;
  size_t pos = 0;
  const bool failed = tc::read_number_run(payload.data(), payload.size(), pos, got) || pos != end;
  ++checked_runs;
  if ((failed || got.view() != want) && ++failures <= 10) {
    std::printf("FAIL run %s: got %.*s, want %s\n", payload.c_str(), static_cast<int>(got.view().size()),
                got.view().data(), want.c_str());
  }
  pending_run.clear();
}

// The text with `delta` added to its last digit (carrying through the digits), or "" when that
// would change its layout.
std::string moved(std::string text, int delta) {
  for (size_t i = std::min(text.size(), text.find('e')); i-- > 0 && delta != 0;) {
    if (text[i] == '.' || text[i] == '-') continue;
    const int digit = text[i] - '0' + delta;
    delta = digit >= 0 ? digit / 10 : -((9 - digit) / 10);
    text[i] = static_cast<char>('0' + (digit - 10 * delta));
  }
  const size_t first = text[0] == '-' ? 1 : 0;
  const bool leading_zero = text[first] == '0' && text[first + 1] != '.';
  return delta == 0 && !leading_zero ? text : "";
}

}  // namespace

int main() {
  std::mt19937_64 rng(20261208);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> scale(-6, 15), precision(15, 17), nudge(-60, 60);
  char text[64];
  for (int i = 0; i < 300000; ++i) {
    double x = mantissa(rng);
    for (int k = scale(rng); k > 0; --k) x *= 10;
    for (int k = scale(rng); k < 0; ++k) x /= 10;
    if (i % 3 == 0) {  // a short decimal, so that "%.17g" pads it
      std::snprintf(text, sizeof text, "%.*f", static_cast<int>(rng() % 8), x);
      std::sscanf(text, "%lf", &x);
    }
    std::snprintf(text, sizeof text, "%.*g", precision(rng), i % 2 == 0 ? x : -x);
    if (std::string(text).find('e') != std::string::npos) continue;  // not a plain decimal
    check(text);
    add_to_run(text, rng);
    const std::string other = moved(text, nudge(rng));
    if (!other.empty()) check(other);
  }
  // With an exponent part, the digits of doubles of any size (any bits, or near powers of ten
  // as above) printed as printf does ("e-07") or without the exponent's leading zeros as the
  // writer does ("e-7"), with 15 to 17 digits or the fewest of those that read back.
  std::uniform_int_distribution<int> far_scale(-40, 40);
  for (int i = 0; i < 100000; ++i) {
    double x = 0;
    if (i % 2 == 0) {
      do {
        const uint64_t bits = rng() >> 1;
        std::memcpy(&x, &bits, sizeof x);
      } while (!std::isfinite(x) || x == 0);
    } else {
      x = mantissa(rng) * std::pow(10.0, far_scale(rng));
    }
    int digits = precision(rng);
    if (i % 3 == 0) {
      for (digits = 15; digits < 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, x);
        if (std::strtod(text, nullptr) == x) break;
      }
    }
    std::snprintf(text, sizeof text, "%.*e", digits - 1, i % 4 == 0 ? -x : x);
    std::string written = text;
    if (i % 5 != 0) {  // "e-07" as "e-7"
      const size_t e = written.find('e');
      while (written.size() > e + 3 && written[e + 2] == '0') written.erase(e + 2, 1);
    }
    check(written);
    add_to_run(written, rng);
    const std::string other = moved(written, nudge(rng));
    if (!other.empty()) check(other);
  }
  std::printf("%s: %d of %d texts and %d runs differ\n", failures == 0 ? "PASS" : "FAIL", failures, checked,
              checked_runs);
  return failures == 0 && checked > 600000 && checked_runs > 50000 ? 0 : 1;
}
