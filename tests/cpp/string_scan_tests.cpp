// Every string scan, 16 bytes at a time (SSE2 or NEON) and the widest this processor has (32
// bytes at a time with AVX2), must give the same result as a scan a byte at a time on any
// payload: random strings of text, escapes and broken UTF-8, each read both ways.
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/strings.hpp"
#include "table_runner.hpp"

namespace {

// Pieces of string bodies, with weights: ASCII runs, non-Latin text, escapes kept and
// rewritten, broken escapes, control bytes, and every way UTF-8 can be malformed.
struct Piece {
  std::string_view bytes;
  int weight;
};
constexpr Piece kPieces[] = {
    {"a", 30}, {"bc", 10}, {"hello world ", 10}, {" ", 10}, {"\xc3\xa9", 8}, {"\xe2\x80\xa6", 6},
    {"\xf0\x9f\x9a\x80", 4}, {"\xe8\xaf\xb7\xe6\xb1\x82", 4}, {"\\\"", 3}, {"\\\\", 2}, {"\\n", 2},
    {"\\u0001", 2}, {"\\u001b", 2}, {"\\u00e9", 1}, {"\\ud83d\\ude80", 1}, {"\\/", 1}, {"\\x", 1},
    {"\\u12", 1}, {"\\u001F", 1}, {"\\u0008", 1}, {"\\t", 1}, {"\x01", 1}, {"\x1f", 1}, {"\x80", 1},
    {"\xc0\xaf", 1}, {"\xc2", 1}, {"\xe0\x80\x80", 1}, {"\xed\xa0\x80", 1}, {"\xf4\x90\x80\x80", 1},
    {"\xf5", 1}, {"\xe2\x80", 1}, {"\xf0\x9f\x9a", 1}, {"\xbf", 1}, {"\xdf\xbf", 2}, {"\xef\xbf\xbf", 2},
    {"\xf4\x8f\xbf\xbf", 2}, {"\xe0\xa0\x80", 2}, {"\xf0\x90\x80\x80", 2}, {"\"", 1},
};

std::string random_payload(std::mt19937& rng) {
  static const std::vector<int> weights = [] {
    std::vector<int> w;
    for (const Piece& p : kPieces) w.push_back(p.weight);
    return w;
  }();
  std::discrete_distribution<size_t> piece(weights.begin(), weights.end());
  const size_t counts[] = {1, 4, 16, 40, 64, 120, 250};
  const size_t count = counts[rng() % std::size(counts)];
  std::string body(rng() % 40, 'x');  // shifts the pieces against the 32-byte blocks
  for (size_t i = 0; i < count; ++i) body += kPieces[piece(rng)].bytes;
  switch (rng() % 4) {
    case 0: return R"([{"k":")" + body + "\"" + std::string(rng() % 40, ' ') + "}]";
    case 1: return R"([{")" + body + R"(":1}])";
    case 2: return R"([{"k":[")" + body + R"("]}])";
    default: return R"([{"k":")" + body + (rng() % 2 ? "\"" : "");  // unterminated, near the end
  }
}

// The portable scan: stops at every byte that may need a closer look.
size_t byte_at_a_time(const char* input, size_t size, size_t pos) {
  for (; pos < size; ++pos) {
    const auto c = static_cast<unsigned char>(input[pos]);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return pos;
  }
  return size;
}

}  // namespace

int main() {
  tc::ReadOptions narrow, widest, bytes;
  narrow.string_scan = &tc::skip_string_text_narrow;
  bytes.string_scan = &byte_at_a_time;
  std::mt19937 rng(20261208);
  const auto next = [&] { return random_payload(rng); };
  bool same = tc::test::same_both_ways("16-byte string scan", 50000, next, narrow, bytes);
  if (widest.string_scan != narrow.string_scan) {
    same = tc::test::same_both_ways("widest string scan", 50000, next, widest, bytes) && same;
  } else {
    std::printf("widest string scan: the 16-byte one on this processor\n");
  }
  return same ? 0 : 1;
}
