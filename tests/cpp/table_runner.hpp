// A minimal table runner for the codec's C++ tests: each case is a payload and the exact
// result of tc::columnarize_json, output bytes or error text.
#pragma once
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codec/document.hpp"

namespace tc::test {

struct Case {
  std::string name;
  std::string payload;
  bool ok = false;
  std::string expected;  // the output when ok, else the whole error text
};

using Table = std::vector<Case>;

inline Case output_case(std::string name, std::string payload, std::string output) {
  return {std::move(name), std::move(payload), true, std::move(output)};
}

// A payload rejected while parsing: `description` is the message with its position.
inline Case parse_error_case(std::string name, std::string payload, std::string_view description) {
  return {std::move(name), std::move(payload), false, "invalid row-oriented JSON: " + std::string(description)};
}

// A payload rejected for a non-object element, shown as `shown`.
inline Case row_error_case(std::string name, std::string payload, std::string_view shown) {
  return {std::move(name), std::move(payload), false, "expected a JSON object row, got: " + std::string(shown)};
}

// `text` with non-printable bytes as \xNN, for failure reports.
inline std::string printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out.push_back(c);
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out += escaped;
  }
  return out;
}

// Runs the transform on an exact-size heap copy of the payload, so ASan sees reads past its end.
inline TransformResult transform_exact(std::string_view payload, const ReadOptions& options = {}) {
  const std::unique_ptr<char[]> copy(new char[payload.size()]);
  if (!payload.empty()) std::memcpy(copy.get(), payload.data(), payload.size());
  return columnarize_json(std::string_view(copy.get(), payload.size()), options);
}

// Two ways of reading the same payload must agree: each of `count` payloads from `next_payload`
// is read with `first_way` and with `second_way`. Prints the first few that differ and a closing
// count under `what`; true when none differ.
template <class NextPayload>
bool same_both_ways(const char* what, int count, NextPayload next_payload, const ReadOptions& first_way,
                    const ReadOptions& second_way) {
  int differ = 0;
  for (int i = 0; i < count; ++i) {
    const std::string payload = next_payload();
    const TransformResult first = transform_exact(payload, first_way);
    const TransformResult second = transform_exact(payload, second_way);
    if ((first.ok != second.ok || first.text != second.text) && ++differ <= 5) {
      std::printf("DIFFER on %s\n  one way:   %s\n  the other: %s\n", printable(payload).c_str(),
                  printable(first.text).c_str(), printable(second.text).c_str());
    }
  }
  std::printf("%s: %d payloads, %d differ\n", what, count, differ);
  return differ == 0;
}

inline bool run_case(const Case& c) {
  TransformResult got;
  try {
    got = transform_exact(c.payload);
  } catch (const std::exception& e) {
    got = {false, std::string("exception: ") + e.what()};
  }
  if (got.ok == c.ok && got.text == c.expected) return true;
  std::printf("FAIL %s\n  payload:  %s\n  expected: %s %s\n  got:      %s %s\n", c.name.c_str(),
              printable(c.payload).c_str(), c.ok ? "output" : "error", printable(c.expected).c_str(),
              got.ok ? "output" : "error", printable(got.text).c_str());
  return false;
}

// Runs every case of `table`, prints each failure and a closing count; true when all pass.
inline bool run_table(std::string_view table_name, const Table& table) {
  int passed = 0, failed = 0;
  for (const Case& c : table) (run_case(c) ? passed : failed) += 1;
  std::printf("%.*s: %d passed, %d failed\n", static_cast<int>(table_name.size()), table_name.data(),
              passed, failed);
  return failed == 0;
}

}  // namespace tc::test
