// The byte scans that look at many bytes at a time (SSE2, AVX2 or NEON, as built and as the
// processor has) against byte-by-byte references, from every start of random buffers held in
// exact-size allocations (so a sanitizer build sees any read past the end).
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "codec/scan.hpp"
#include "codec/strings.hpp"
#include "codec/unicode_escapes.hpp"

namespace {

const char* reference_skip_space(const char* p, const char* end) {
  while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
  return p;
}

// Mostly whitespace, with bytes next to it in value (0x00, 0x0B, 0x1F, 0x21), high bytes and digits.
char random_byte(std::mt19937& rng) {
  constexpr std::string_view kBytes{"    \n\n\r\t\t\x0b\x0c\x1f\x21\x00\x80\xff\"a{0123456789/:", 31};
  return kBytes[rng() % kBytes.size()];
}

size_t reference_find_string_special(const char* input, size_t size, size_t pos) {
  for (; pos < size; ++pos) {
    const auto c = static_cast<unsigned char>(input[pos]);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) return pos;
  }
  return size;
}

size_t reference_skip_digits(const char* input, size_t size, size_t pos) {
  while (pos < size && input[pos] >= '0' && input[pos] <= '9') ++pos;
  return pos;
}

// What a string scan from `pos` may pass over: whole well-formed UTF-8 sequences, escapes written
// back as they stand, other bytes but a quote, a backslash or a control byte; and it must stop
// at the end or at a byte that needs a closer look. The scans differ in how far they get.
bool scan_result_is_sound(const char* input, size_t size, size_t pos, size_t stop) {
  if (stop < pos || stop > size) return false;
  size_t i = pos;
  while (i < stop) {
    const auto c = static_cast<unsigned char>(input[i]);
    size_t length = 1;
    if (c == '"' || c < 0x20) return false;
    if (c == '\\') length = tc::kept_escape_length(input + i, size - i);
    if (c >= 0x80) length = tc::utf8_sequence_length(input, size, i);
    if (length == 0) return false;
    i += length;
  }
  return i == stop && (stop == size || reference_find_string_special(input, size, stop) == stop);
}

// String text from pieces (ASCII runs, non-Latin text, escapes kept and rewritten, broken UTF-8,
// control bytes, quotes); `starts` receives where each piece begins.
std::string string_text(std::mt19937& rng, std::vector<size_t>& starts) {
  constexpr std::string_view kPieces[] = {
      "a", "hello world, ", "0123456789abcdef0123", "\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x9a\x80",
      "\\n", "\\\"", "\\u001b", "\\u00e9", "\\/", "\\x", "\"", "\x01", "\x80", "\xc3", "\xed\xa0\x80",
      "\xf4\x90\x80\x80", "\\"};
  std::string text;
  const size_t count = rng() % 24;
  for (size_t i = 0; i < count; ++i) {
    starts.push_back(text.size());
    const size_t pick = rng() % 8 < 5 ? rng() % 6 : rng() % std::size(kPieces);
    text += kPieces[pick];
  }
  starts.push_back(text.size());
  return text;
}

bool string_scans_are_sound(std::mt19937& rng) {
  for (int round = 0; round < 20000; ++round) {
    std::vector<size_t> starts;
    const std::string text = string_text(rng, starts);
    const std::unique_ptr<char[]> buffer(new char[text.size()]);
    std::memcpy(buffer.get(), text.data(), text.size());
    const char* input = buffer.get();
    const size_t size = text.size();
    for (size_t pos : starts) {
      const tc::StringScan widest = tc::widest_string_scan();
      const size_t scans[] = {tc::skip_string_text_narrow(input, size, pos), widest(input, size, pos),
                              tc::skip_string_text(input, size, pos, &tc::skip_string_text_narrow),
                              tc::skip_string_text(input, size, pos, widest), tc::find_string_special(input, size, pos)};
      for (size_t stop : scans) {
        if (!scan_result_is_sound(input, size, pos, stop)) {
          std::printf("FAIL string scan: text of %zu bytes, start %zu, stopped at %zu\n", size, pos, stop);
          return false;
        }
      }
      if (tc::find_string_special(input, size, pos) != reference_find_string_special(input, size, pos)) {
        std::printf("FAIL find_string_special: text of %zu bytes, start %zu\n", size, pos);
        return false;
      }
    }
  }
  return true;
}

// Two escapes read at once (SSE2 or NEON, where built) against one at a time with the table:
// 16 bytes from an alphabet of the marks, hex digits of both cases, the bytes just outside
// their ranges and non-ASCII, mostly laid out as two escapes, in exact-size allocations.
bool escape_pairs_agree(std::mt19937& rng) {
#if defined(TC_UNICODE_PAIRS)
  static constexpr char kAlphabet[] = "0123456789abcdefABCDEF/:@G`g\\u\x80\xff\xb0\xc6\x10 ";
  constexpr std::string_view kDigits{kAlphabet, sizeof kAlphabet - 1};
  constexpr std::string_view kCodePoints[] = {"0041", "007f", "0080", "07ff", "0800", "d7ff", "d800", "dbff",
                                              "dc00", "DFFF", "e000", "ffff", "FFFF", "4e2d", "00E9"};
  for (int round = 0; round < 300000; ++round) {
    char block[16];
    for (char& c : block) c = kDigits[rng() % kDigits.size()];
    if (rng() % 4 != 0) {  // laid out as two escapes, perhaps with one byte changed
      for (size_t at : {size_t{0}, size_t{6}}) {
        block[at] = '\\';
        block[at + 1] = 'u';
        if (rng() % 2 == 0) std::memcpy(block + at + 2, kCodePoints[rng() % std::size(kCodePoints)].data(), 4);
      }
      if (rng() % 3 == 0) block[rng() % 12] = kDigits[rng() % kDigits.size()];
    }
    const std::unique_ptr<char[]> exact(new char[16]);
    std::memcpy(exact.get(), block, 16);
    unsigned first = 0, second = 0, expected_first = 0, expected_second = 0;
    const bool taken = tc::two_unicode_escapes(exact.get(), first, second);
    const bool expected = tc::two_unicode_escapes_portable(exact.get(), expected_first, expected_second);
    if (taken != expected || (taken && (first != expected_first || second != expected_second))) {
      std::printf("FAIL two_unicode_escapes on %.12s: %d %04x %04x, one at a time %d %04x %04x\n", block, taken, first,
                  second, expected, expected_first, expected_second);
      return false;
    }
  }
#else
  (void)rng;
  std::printf("escape pairs: read one at a time in this build\n");
#endif
  return true;
}

// Escapes four at a time with AVX2 (where the processor has it) against one at a time: runs of
// escapes of two- and three-byte characters, with ASCII ones, surrogates, hex digits of both
// cases and broken escapes among them, in exact-size allocations.
bool escape_quads_agree(std::mt19937& rng) {
#if defined(TC_AVX2_ESCAPE_QUADS)
  __builtin_cpu_init();
  if (!__builtin_cpu_supports("avx2")) {
    std::printf("escape quads: no AVX2 on this processor\n");
    return true;
  }
  const auto reference = [](const char* p, const char* end, std::string& text) {
    const char* const start = p;
    for (size_t quads = 0; quads < tc::kMaxEscapeQuads && end - p >= 28; ++quads, p += 24) {
      unsigned cps[4];
      bool taken = true;
      for (size_t i = 0; i < 4; ++i) {
        const char* e = p + 6 * i;
        taken = taken && e[0] == '\\' && e[1] == 'u' && tc::hex4_value(e + 2, cps[i]);
        taken = taken && tc::is_plain_code_point(cps[i]) && (cps[i] < 0x800) == (cps[0] < 0x800);
      }
      if (!taken) break;
      for (unsigned cp : cps) {
        if (cp < 0x800) {
          text += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
        } else {
          text += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                   static_cast<char>(0x80 | (cp & 0x3F))};
        }
      }
    }
    return static_cast<size_t>(p - start);
  };
  constexpr unsigned kRanges[][2] = {{0x80, 0x7FF}, {0x800, 0xFFFF}, {0x0, 0x7F}, {0xD800, 0xDFFF}, {0x7F0, 0x810}};
  for (int round = 0; round < 100000; ++round) {
    std::string input;
    const auto& range = kRanges[rng() % 8 < 6 ? rng() % 2 : rng() % std::size(kRanges)];
    const size_t count = rng() % 48;
    for (size_t i = 0; i < count; ++i) {
      const auto& r = rng() % 16 == 0 ? kRanges[rng() % std::size(kRanges)] : range;
      char escape[8];
      const auto cp = static_cast<unsigned>(r[0] + rng() % (r[1] - r[0] + 1));
      std::snprintf(escape, sizeof escape, rng() % 2 ? "\\u%04x" : "\\u%04X", cp);
      input += escape;
    }
    if (rng() % 4 == 0 && !input.empty()) input[rng() % input.size()] = "\\ug/:\x80"[rng() % 6];
    input += std::string(rng() % 30, 'x');
    const std::unique_ptr<char[]> exact(new char[input.size() + 1]);
    std::memcpy(exact.get(), input.data(), input.size() + 1);
    const char* end = exact.get() + input.size();
    std::string expected;
    const size_t expected_read = reference(exact.get(), end, expected);
    char text[tc::kMaxEscapeQuads * 12 + 32];
    char* dst = text;
    const size_t read = tc::decode_escape_quads_avx2(exact.get(), end, dst);
    if (read != expected_read || std::string_view(text, static_cast<size_t>(dst - text)) != expected) {
      std::printf("FAIL decode_escape_quads_avx2 on %.60s: read %zu, one at a time %zu\n", input.c_str(), read,
                  expected_read);
      return false;
    }
  }
#else
  (void)rng;
  std::printf("escape quads: not built for this processor\n");
#endif
  return true;
}

// The digit values, in one load and eight at a time, against digit by digit: zero to 19 digits
// (nines, zeros and any) with zero to 20 bytes before them, in exact-size buffers, so that a
// load reaching before the text or past the digits shows.
bool digit_values_agree(std::mt19937& rng) {
  for (int round = 0; round < 200000; ++round) {
    const size_t before = rng() % 21;
    const size_t count = rng() % 20;
    const unsigned kind = rng() % 4;  // any digits, nines, zeros, or leading zeros then any
    const std::unique_ptr<char[]> text(new char[before + count]);
    for (size_t i = 0; i < before; ++i) text[i] = "0123456789.-e"[rng() % 13];
    uint64_t expected = 0;
    for (size_t i = 0; i < count; ++i) {
      const bool zero = kind == 2 || (kind == 3 && i < count / 2);
      const char digit = kind == 1 ? '9' : zero ? '0' : static_cast<char>('0' + rng() % 10);
      text[before + i] = digit;
      expected = expected * 10 + static_cast<unsigned>(digit - '0');
    }
    const char* const digits = text.get() + before;
    const uint64_t eights = tc::digits_value(digits, digits + count);
    const uint64_t within = tc::digits_value_within(text.get(), digits, digits + count);
    if (eights != expected || within != expected) {
      std::printf("FAIL digit values: %zu digits after %zu bytes: %llu and %llu, expected %llu\n", count, before,
                  static_cast<unsigned long long>(eights), static_cast<unsigned long long>(within),
                  static_cast<unsigned long long>(expected));
      return false;
    }
  }
  return true;
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
      const auto start = static_cast<size_t>(p - buffer.get());
      if (tc::skip_digits(buffer.get(), size, start) != reference_skip_digits(buffer.get(), size, start)) {
        std::printf("FAIL skip_digits: size %zu, start %zu\n", size, start);
        return 1;
      }
    }
  }
  // Indentation checks: runs of spaces or tabs, then anything, each count up to 31 from every
  // start.
  for (int round = 0; round < 2000; ++round) {
    const char fill = round % 2 == 0 ? ' ' : '\t';
    std::string text(32 + rng() % 40, fill);
    for (char& c : text) c = rng() % 8 == 0 ? random_byte(rng) : c;
    const std::unique_ptr<char[]> exact(new char[text.size()]);  // a read past the end shows
    std::memcpy(exact.get(), text.data(), text.size());
    for (size_t start = 0; start + 32 <= text.size(); ++start) {
      for (unsigned count = 0; count < 32; ++count) {
        if (tc::fill_ahead(exact.get() + start, count, tc::indent_fill(fill)) != (text.find_first_not_of(fill, start) >= start + count)) {
          std::printf("FAIL fill_ahead: %zu bytes, start %zu, count %u\n", text.size(), start, count);
          return 1;
        }
      }
    }
  }
  if (!string_scans_are_sound(rng) || !escape_pairs_agree(rng) || !escape_quads_agree(rng) || !digit_values_agree(rng)) {
    return 1;
  }
  std::printf("ok: whitespace, digit and string scans, digit values and escape decoders agree with the references\n");
  return 0;
}
