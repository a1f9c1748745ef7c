// Fuzz entry over tc::columnarize_json: every input must give a result with all the checked
// properties; a violation is printed with the payload and stops the process with a trap.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "checks.hpp"

namespace {

// Bytes of the payload shown in a report; the fuzzer saves the whole input anyway.
constexpr std::size_t kShownBytes = 400;

// The payload with non-printable bytes as \xNN, cut after kShownBytes.
std::string printable(std::string_view payload) {
  std::string out;
  for (const char c : payload.substr(0, kShownBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out.push_back(c);
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
    out += escaped;
  }
  return payload.size() > kShownBytes ? out + "..." : out;
}

[[noreturn]] void report_violation(std::string_view payload, const std::string& violation) {
  std::fprintf(stderr, "fuzz_columnarize: property violated: %s\n  payload (%zu bytes): %s\n",
               violation.c_str(), payload.size(), printable(payload).c_str());
  std::fflush(stderr);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  const std::string violation = tc::fuzz::check_columnarize(payload);
  if (!violation.empty()) report_violation(payload, violation);
  return 0;
}
