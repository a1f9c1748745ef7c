// The byte scans that look at many bytes at a time against a byte-by-byte reference, from
// every start of random buffers held in exact-size allocations (so a sanitizer build sees any
// read past the end).
#include <cstdio>
#include <memory>
#include <random>
#include <string_view>

#include "codec/scan.hpp"

namespace {

const char* reference_skip_space(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
  return p;
}

// Mostly whitespace, with bytes next to it in value (0x00, 0x0B, 0x1F, 0x21) and high bytes.
char random_byte(std::mt19937& rng) {
  constexpr std::string_view kBytes = "    \n\n\r\t\t\x0b\x0c\x1f\x21\x00\x80\xff\"a{";
  return kBytes[rng() % kBytes.size()];
}

}  // namespace

int main() {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 20000; ++round) {
    const size_t size = rng() % 80;
    const std::unique_ptr<char[]> buffer(new char[size]);
    const size_t run = rng() % (size + 1);  // a leading run of blanks, then anything
    for (size_t i = 0; i < size; ++i) buffer[i] = i < run ? " \n\r\t"[rng() % 4] : random_byte(rng);
    const char* end = buffer.get() + size;
    for (const char* p = buffer.get(); p <= end; ++p) {
      if (tc::skip_space_run(p, end) != reference_skip_space(p, end) ||
          tc::skip_space(p, end) != reference_skip_space(p, end)) {
        std::printf("FAIL skip_space: size %zu, start %td\n", size, p - buffer.get());
        return 1;
      }
    }
  }
  std::printf("ok: whitespace scans agree with the reference\n");
  return 0;
}
