// Nested values copied as they stand: a lean walk over the grammar with an explicit stack.
// Keys are not interned: a repeated key is found by comparing the raw text of the object's
// keys so far. That is exact because a key whose text the string scan passes up to its
// closing quote is already its compact text, and two keys are equal exactly when their
// compact texts are. Most objects begin with the same keys as the last object at their level:
// those keys are matched against that object's, bytes and colon in one compare, and need no
// other check (CompactCopyHints).
#include "codec/compact_copy.hpp"

#include <cstdint>
#include <cstring>

#include "codec/number.hpp"
#include "codec/portable.hpp"
#include "codec/scan.hpp"
#include "codec/strings.hpp"

namespace tc {
namespace {

constexpr unsigned kMaxOpenKeys = 64;    // keys of all open objects together
constexpr unsigned kMaxObjectKeys = 24;  // checked one against another; beyond that, by hash

struct OpenKey {
  uint64_t head;
  const char* text;
  size_t length;
};

// The key's first (up to) eight bytes, zero padded: equal heads and lengths settle keys of up
// to eight bytes, and rule out most others before their bytes are compared.
uint64_t key_head(const char* text, size_t length, const char* end) {
  uint64_t head = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (end - text >= 8) {
    std::memcpy(&head, text, 8);
    return length < 8 ? head & ((uint64_t{1} << (8 * length)) - 1) : head;
  }
#else
  (void)end;
#endif
  std::memcpy(&head, text, length < 8 ? length : 8);
  return head;
}

// Adds a key of the wide object being checked; false when the object has it already, or has
// as many keys as the table takes.
bool add_wide_key(WideObjectKeys& wide, const char* text, size_t length, uint64_t head) {
  if (wide.keys == WideObjectKeys::kMaxKeys) return false;
  // The first eight bytes (head) and the last eight: keys often share a long beginning.
  uint64_t tail = 0;
  if (length > 8) std::memcpy(&tail, text + length - 8, 8);
  const uint64_t mixed = (head ^ (tail * 31) ^ length) * 0x9E3779B97F4A7C15ULL;
  for (size_t i = mixed >> 56;; i = (i + 1) % WideObjectKeys::kSlots) {
    WideObjectKeys::Slot& slot = wide.slots[i];
    if (slot.serial != wide.serial) {
      slot = {text, static_cast<uint32_t>(length), wide.serial};
      ++wide.keys;
      return true;
    }
    if (slot.length == length && equal_bytes(slot.text, text, length)) return false;
  }
}

// Starts checking the keys of an object by hash, with the ones it has so far (distinct).
void start_wide_object(CompactCopyHints& hints, const OpenKey* keys, unsigned count) {
  if (!hints.wide) hints.wide = std::make_unique<WideObjectKeys>();
  WideObjectKeys& wide = *hints.wide;
  if (++wide.serial == 0) {  // after 2^32 objects: every slot free again, by hand
    for (WideObjectKeys::Slot& slot : wide.slots) slot.serial = 0;
    wide.serial = 1;
  }
  wide.keys = 0;
  for (unsigned i = 0; i < count; ++i) add_wide_key(wide, keys[i].text, keys[i].length, keys[i].head);
}

// Whether the key text at `text` is `length` bytes (under 16) of plain ASCII, then its closing
// quote. False says nothing.
inline bool plain_key_of_length(const char* text, const char* end, size_t length) {
#if defined(TC_SSE2)
  if (end - text < 16 || length >= 16) return false;
  const unsigned specials = string_specials(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text)));
  return (specials & ((2u << length) - 1)) == (1u << length) && text[length] == '"';
#else
  (void)text, (void)end, (void)length;
  return false;
#endif
}

// Known keys are compared with their closing quote and colon, up to this many bytes, in 16-byte
// blocks: `known_key_reach` is how many bytes such a compare reads.
constexpr size_t kMaxKnownSize = 32;
constexpr size_t known_key_reach(size_t size) { return size <= 16 ? 16 : 32; }

// Whether the `size` bytes at `text` are those at `known` (which has known_key_reach(size)
// bytes to read).
inline bool same_known_key(const char* text, const char* end, const char* known, size_t size) {
  if (static_cast<size_t>(end - text) < known_key_reach(size)) return false;
#if defined(TC_SSE2)
  const auto same_bytes = [&](size_t from) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + from));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(known + from));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)));
  };
  uint32_t same = same_bytes(0);
  if (size > 16) same |= same_bytes(16) << 16;
  return (~same & static_cast<uint32_t>((uint64_t{1} << size) - 1)) == 0;
#else
  return equal_bytes(text, known, size);
#endif
}

enum class Next { value, key, after_value };

// The walk, for one way of spacing the separators: each has a copy of its own, so that compact
// values pay nothing for the checks of spaced ones.
template <Separators separators>
TC_ALWAYS_INLINE const char* copy_value(const char* begin, const char* end, const char* p, unsigned max_levels,
                                        CompactCopyHints& hints, ByteBuffer& out, StringScan scan) {
  constexpr bool spaced = separators == Separators::spaced;
  const size_t size = static_cast<size_t>(end - begin);
  if (max_levels > CompactCopyHints::kLevels) max_levels = CompactCopyHints::kLevels;
  bool is_object[CompactCopyHints::kLevels];
  unsigned first_key[CompactCopyHints::kLevels];
  unsigned place[CompactCopyHints::kLevels];   // keys of the open object so far
  bool known_run[CompactCopyHints::kLevels];   // every one of them was the known key at its place
  OpenKey keys[kMaxOpenKeys];
  unsigned levels = 0;
  unsigned key_count = 0;
  unsigned wide_level = CompactCopyHints::kLevels;  // the level whose keys are checked by hash, if any
  // Numbers come in runs of one kind: after one that was written again or is long (a float
  // printed with all its digits, mostly, which is its own shortest text now and then), the next
  // goes to the number reader without being checked as it stands. In an array that reader takes
  // the rest of a run of numbers with it (as coordinates come), and then the run's text counts.
  bool rewriting_numbers = false;

  // Bytes from `run` up to the current position are compact as they stand and not yet copied.
  // Runs vary in length: up to 64 bytes they are copied as one fixed 64-byte block, without a
  // branch on the length (the bytes past the run are written but not kept). Inlined: the spaced
  // walk ends a run at every separator, and a call there made it slower.
  const char* run = p;
  const auto copy_run = [&](const char* upto) TC_INLINE_LAMBDA {
    const auto n = static_cast<size_t>(upto - run);
    if (n <= 64 && end - run >= 64) {
      std::memcpy(out.reserve(64), run, 64);
      out.commit(n);
    } else {
      out.append(run, n);
    }
  };
  // `q` when a token starts there, else nullptr. Whitespace is left to the general path:
  // payloads that have it mostly have it between every two tokens.
  const auto token_at = [&](const char* q) { return q < end && static_cast<unsigned char>(*q) > 0x20 ? q : nullptr; };
  // Leaves the space at `space` (in the run) out of the copy. Runs cut at every separator are
  // short, and copied as one 16-byte block: one 64-byte block after another only a few bytes
  // apart made such copies several times slower.
  const auto leave_out_space = [&](const char* space) TC_INLINE_LAMBDA {
    const auto n = static_cast<size_t>(space - run);
    if (n <= 16 && end - run >= 16) {
      std::memcpy(out.reserve(16), run, 16);
      out.commit(n);
    } else {
      copy_run(space);
    }
    run = space + 1;
  };
  // After a comma or a colon: where spaced, one space is taken too, and left out of the copy.
  const auto after_separator = [&](const char* q) -> const char* {
    if (q < end && static_cast<unsigned char>(*q) > 0x20) return q;
    if (!spaced || end - q < 2 || *q != ' ' || static_cast<unsigned char>(q[1]) <= 0x20) return nullptr;
    leave_out_space(q);
    return q + 1;
  };

  Next next = Next::value;
  for (;;) {
    if (next == Next::value) {
      const char c = *p;
      if (c == '"') {
        const size_t special = skip_string_text(begin, size, static_cast<size_t>(p + 1 - begin), scan);
        if (special < size && begin[special] == '"') {
          p = begin + special + 1;
          // In an array, the plain strings right after it (tags, names) are passed in a loop of
          // their own rather than a round of the walk each. One with an escape is left to it.
          if (levels > 0 && !is_object[levels - 1]) {
            while (end - p > 2 && p[0] == ',' && p[1] == '"') {
              const size_t close = skip_string_text(begin, size, static_cast<size_t>(p + 2 - begin), scan);
              if (close >= size || begin[close] != '"') break;
              p = begin + close + 1;
            }
            while (spaced && end - p > 3 && p[0] == ',' && p[1] == ' ' && p[2] == '"') {  // the same, spaced
              const size_t close = skip_string_text(begin, size, static_cast<size_t>(p + 3 - begin), scan);
              if (close >= size || begin[close] != '"') break;
              leave_out_space(p + 1);
              p = begin + close + 1;
            }
          }
        } else {
          copy_run(p);
          out.push('"');
          size_t pos = static_cast<size_t>(p + 1 - begin);
          if (read_string_body(begin, size, pos, special, out, scan)) return nullptr;
          out.push('"');
          run = p = begin + pos;
        }
      } else if (c == '-' || is_decimal_digit(c)) {
        const char* after = rewriting_numbers ? nullptr : compact_number_end(begin, size, p);
        if (after != nullptr) {
          p = after;
          // Likewise the numbers already in their written form right after it in an array.
          if (levels > 0 && !is_object[levels - 1]) {
            while (end - p > 2 && p[0] == ',' && (p[1] == '-' || is_decimal_digit(p[1]))) {
              const char* number_end = compact_number_end(begin, size, p + 1);
              if (number_end == nullptr) break;
              p = number_end;
            }
            while (spaced && end - p > 3 && p[0] == ',' && p[1] == ' ' && (p[2] == '-' || is_decimal_digit(p[2]))) {
              const char* number_end = compact_number_end(begin, size, p + 2);
              if (number_end == nullptr) break;
              leave_out_space(p + 1);
              p = number_end;
            }
          }
        } else {
          // Spaced text whose numbers are written again (floats printed with all their digits,
          // as coordinates often are) is read faster the general way, which takes arrays of
          // such numbers whole.
          if (spaced) return nullptr;
          copy_run(p);
          const size_t before = out.size();
          size_t pos = static_cast<size_t>(p - begin);
          // In an array, the rest of a run of numbers comes with it; a member's value is one
          // number, and what follows it is the copy's to check.
          const bool in_array = levels > 0 && !is_object[levels - 1];
          if ((in_array ? read_number_run : read_number)(begin, size, pos, out)) return nullptr;
          const size_t length = pos - static_cast<size_t>(p - begin);
          rewriting_numbers = out.size() - before != length || length > 17;
          run = p = begin + pos;
        }
      } else if (c == '{' || c == '[') {
        if (levels == max_levels) return nullptr;
        is_object[levels] = c == '{';
        first_key[levels] = key_count;
        place[levels] = 0;
        known_run[levels] = levels < CompactCopyHints::kKnownLevels;
        ++levels;
        p = token_at(p + 1);
        if (p == nullptr) return nullptr;
        if (*p == (c == '{' ? '}' : ']')) {
          --levels;
          ++p;
        } else {
          next = c == '{' ? Next::key : Next::value;
          continue;
        }
      } else if (c == 'n' && end - p >= 4 && std::memcmp(p, "null", 4) == 0) {
        p += 4;
      } else if (c == 't' && end - p >= 4 && std::memcmp(p, "true", 4) == 0) {
        p += 4;
      } else if (c == 'f' && end - p >= 5 && std::memcmp(p, "false", 5) == 0) {
        p += 5;
      } else {
        return nullptr;
      }
      next = Next::after_value;
    }

    if (next == Next::after_value) {
      if (levels == 0) {
        copy_run(p);
        return p;
      }
      p = token_at(p);
      if (p == nullptr) return nullptr;
      const bool in_object = is_object[levels - 1];
      if (*p == ',') {
        p = after_separator(p + 1);
        if (p == nullptr) return nullptr;
        if (in_object) {
          next = Next::key;
        } else {
          if (*p == ']') return nullptr;
          next = Next::value;
          continue;
        }
      } else if (*p == (in_object ? '}' : ']')) {
        ++p;
        --levels;
        key_count = first_key[levels];
        if (levels == wide_level) wide_level = CompactCopyHints::kLevels;
        continue;
      } else {
        return nullptr;
      }
    }

    // next == Next::key: `p` is where a key must start.
    if (*p != '"') return nullptr;
    const char* text = p + 1;
    const unsigned level = levels - 1;
    unsigned& at = place[level];
    if (known_run[level]) {
      // The same bytes as the known key at this place, colon included, are the same key; and
      // as the object's keys so far were the known ones before it, it is not a repeat.
      if (at < hints.known_keys[level]) {
        const size_t size_here = hints.known_size[level][at];
        if (same_known_key(text, end, hints.known_text[level][at], size_here)) {
          ++at;
          p = after_separator(text + size_here);
          if (p == nullptr) return nullptr;
          next = Next::value;
          continue;
        }
      }
      // From here on the object's keys are checked one against another, the known ones too.
      known_run[level] = false;
      if (key_count + at > kMaxOpenKeys) return nullptr;
      for (unsigned i = 0; i < at; ++i) {
        const char* known = hints.known_text[level][i];
        const size_t known_length = hints.known_size[level][i] - 2u;
        keys[key_count++] = {key_head(known, known_length, end), known, known_length};
      }
    }
    const unsigned object_first = first_key[level];
    if (level != wide_level && (key_count == kMaxOpenKeys || key_count - object_first == kMaxObjectKeys)) {
      if (key_count - object_first != kMaxObjectKeys || wide_level != CompactCopyHints::kLevels) return nullptr;
      start_wide_object(hints, keys + object_first, kMaxObjectKeys);
      wide_level = level;
    }
    // The key's length is first taken to be that of the key at the same place last time: the
    // key's end is then known before its bytes are scanned, and the scan only confirms it.
    unsigned char& guess = hints.key_lengths[level][at & (CompactCopyHints::kPlaces - 1)];
    size_t length = guess;
    if (!plain_key_of_length(text, end, length)) {
      const size_t close = skip_string_text(begin, size, static_cast<size_t>(text - begin), scan);
      if (close >= size || begin[close] != '"') return nullptr;
      length = static_cast<size_t>(begin + close - text);
      guess = static_cast<unsigned char>(length < 16 ? length : 16);
    }
    const uint64_t head = key_head(text, length, end);
    if (level == wide_level) {
      if (!add_wide_key(*hints.wide, text, length, head)) return nullptr;  // a repeat, or too many
    } else {
      for (unsigned i = object_first; i < key_count; ++i) {
        if (keys[i].head == head && keys[i].length == length && (length <= 8 || equal_bytes(keys[i].text, text, length))) {
          return nullptr;  // a repeat: the general path keeps the last value at the first position
        }
      }
    }
    // Known from here, so that the run of known places stays the first keys of this one object:
    // the key joins the run if the run reaches it, and the run ends before a key that cannot
    // join (too long for one compare, too near the end, or no colon right after it).
    if (level < CompactCopyHints::kKnownLevels && at < CompactCopyHints::kKnownPlaces && hints.known_keys[level] >= at) {
      const size_t known_size = length + 2;
      if (known_size <= kMaxKnownSize && static_cast<size_t>(end - text) >= known_key_reach(known_size) &&
          text[length + 1] == ':') {
        hints.known_text[level][at] = text;
        hints.known_size[level][at] = static_cast<unsigned char>(known_size);
        hints.known_keys[level] = static_cast<unsigned char>(at + 1);
      } else {
        hints.known_keys[level] = static_cast<unsigned char>(at);
      }
    }
    ++at;
    if (level != wide_level) keys[key_count++] = {head, text, length};
    p = token_at(text + length + 1);
    if (p == nullptr || *p != ':') return nullptr;
    p = after_separator(p + 1);
    if (p == nullptr) return nullptr;
    next = Next::value;
  }
}

// The spaced walk, out of line: inlined beside the compact one, it changed how the compiler
// laid out the reader.
TC_NOINLINE const char* copy_spaced_value(const char* begin, const char* end, const char* p, unsigned max_levels,
                                          CompactCopyHints& hints, ByteBuffer& out, StringScan scan) {
  return copy_value<Separators::spaced>(begin, end, p, max_levels, hints, out, scan);
}

}  // namespace

const char* copy_compact_value(const char* begin, const char* end, const char* p, unsigned max_levels,
                               CompactCopyHints& hints, ByteBuffer& out, StringScan scan, Separators separators) {
  if (separators == Separators::spaced) return copy_spaced_value(begin, end, p, max_levels, hints, out, scan);
  return copy_value<Separators::compact>(begin, end, p, max_levels, hints, out, scan);
}

}  // namespace tc
