// Runs the transform under the fuzz target's checks: determinism, then output or error text.
#include "checks.hpp"

#include <cstring>
#include <memory>
#include <new>

#include "codec/fault.hpp"

namespace tc::fuzz {
namespace {

// Payloads this small have small outputs; memory can only run out through a fault.
constexpr std::size_t kSmallPayload = 8192;
constexpr std::string_view kEndOfInputError = "invalid row-oriented JSON: EOF while parsing";

// The reader without its shortcuts: nested values member by member, whitespace as it comes,
// repeated values read again, arrays of numbers in arrays one by one, and each number of an
// array as one element.
ReadOptions general_reader() {
  ReadOptions options;
  options.copy_compact_values = false;
  options.guess_indentation = false;
  options.reuse_repeated_values = false;
  options.read_number_rows = false;
  options.read_number_runs = false;
  return options;
}

// Whitespace after the payload changes no result, except where the payload ended too early.
std::string check_trailing_whitespace(std::string_view payload, const TransformResult& result) {
  if (!result.ok && result.text.starts_with(kEndOfInputError)) return "";
  const TransformResult padded = transform_exact(std::string(payload) + " \n");
  if (padded.ok == result.ok && padded.text == result.text) return "";
  return "whitespace after the payload changed the result to: " + padded.text;
}

}  // namespace

TransformResult transform_exact(std::string_view payload, const ReadOptions& options) {
  const std::unique_ptr<char[]> copy(new char[payload.size()]);
  if (!payload.empty()) std::memcpy(copy.get(), payload.data(), payload.size());
  return columnarize_json(std::string_view(copy.get(), payload.size()), options);
}

std::string check_columnarize(std::string_view payload) {
  try {
    const TransformResult first = transform_exact(payload);
    const TransformResult second = transform_exact(payload);
    if (first.ok != second.ok || first.text != second.text) {
      return "two runs on one payload differ:\n  " + first.text + "\n  " + second.text;
    }
    const TransformResult general = transform_exact(payload, general_reader());
    if (general.ok != first.ok || general.text != first.text) {
      return "the general reader gives otherwise:\n  " + first.text + "\n  " + general.text;
    }
    std::string violation = first.ok ? check_output(first.text) : check_error_text(payload, first.text);
    return violation.empty() ? check_trailing_whitespace(payload, first) : violation;
  } catch (const InternalFault& fault) {
    return std::string("internal fault: ") + fault.what();
  } catch (const std::bad_alloc&) {
    return payload.size() <= kSmallPayload ? "std::bad_alloc on a small payload" : "";
  }
}

}  // namespace tc::fuzz
