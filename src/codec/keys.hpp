// Interned object keys: each distinct key (by its decoded bytes) gets a dense id, in order of
// first sight. Keys are held by their compact text, which is one-to-one with the bytes.
#pragma once
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <string_view>
#include <vector>

#include "codec/byte_buffer.hpp"
#include "codec/hash.hpp"
#include "codec/portable.hpp"

#if defined(TC_SSE2)
#include <emmintrin.h>
#endif

namespace tc {

inline constexpr uint32_t kNoKey = UINT32_MAX;

class KeyTable {
 public:
  explicit KeyTable(std::pmr::memory_resource* memory);

  [[nodiscard]] uint32_t size() const { return static_cast<uint32_t>(entries_.size()); }
  // The key as it is written: its compact text between double quotes.
  [[nodiscard]] std::string_view quoted(uint32_t id) const {
    const Entry& e = entries_[id];
    return text_.view(e.offset + 1, e.length + 2);
  }
  // The key as it opens a member of a written object: "key": or, after another member, ,"key":
  [[nodiscard]] std::string_view member_opening(uint32_t id, bool after_another) const {
    const Entry& e = entries_[id];
    // Without a branch: a member's place in its object is as good as random to a predictor.
    const size_t first = after_another ? 0 : 1;
    return text_.view(e.offset + first, e.length + 4 - first);
  }

  // Sizes the table, when its first key comes, for a payload of `bytes`: from 1 KiB on it starts
  // with 256 slots, so that a small sparse table's keys do not regrow it on the way. Larger
  // starts cost dense tables (a few dozen keys) more in filling slots than they save.
  void expect_payload(size_t bytes) {
    first_slots_ = std::bit_ceil(std::clamp<size_t>(bytes / 8, kMinSlots, kMaxFirstSlots));
  }

  // The id of the key whose compact text (without quotes) is `body`, added when new. `plain`
  // says the text holds no backslash, which the caller's scan already knows.
  uint32_t intern(std::string_view body, bool plain);

#if defined(TC_SSE2)
  // The id of the plain key of `length` bytes (under 16) that starts `bytes`, added when new.
  // Keys in no predictable order (sparse tables) and keys seen for the first time take one hash
  // of two words, taken from the bytes with a mask, and nearly always one comparison or none.
  uint32_t intern_short(__m128i bytes, uint32_t length) {
    alignas(16) uint64_t words[2];
    const __m128i keep = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kKeepBytes + 16 - length));
    _mm_store_si128(reinterpret_cast<__m128i*>(words), _mm_and_si128(bytes, keep));
    if (slots_.empty()) allocate_slots();
    const uint64_t h = hash_words(words[0], words[1], length, seed_);
    const size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    for (; slots_[i] != kNoKey; i = (i + 1) & mask) {
      const Entry& e = entries_[slots_[i]];
      if (((e.low ^ words[0]) | (e.high ^ words[1])) == 0 && e.length == length) return slots_[i];
    }
    return add(i, reinterpret_cast<const char*>(words), length, words, h, true);
  }
#endif

  // True when the raw bytes at `p` (just past an opening quote, before `end`) are exactly this
  // key's text followed by the closing quote. Only keys without escapes take part, since their
  // raw spelling is unique; a miss says nothing.
  [[nodiscard]] bool matches_raw(uint32_t id, const char* p, const char* end) const {
    const Entry& e = entries_[id];
#if defined(TC_SSE2)
    // Up to 15 bytes: the key and its closing quote against 16 payload bytes at once, with no
    // branch on where they first differ (in a table of keys in any order, that is anywhere).
    if (e.length < 16 && end - p >= 16) {
      const __m128i have = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i want = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text_.data() + e.offset + 2));
      const unsigned differ = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(have, want)));
      return e.plain && (differ & ((2u << e.length) - 1)) == 0;
    }
#endif
    return e.plain && static_cast<size_t>(end - p) > e.length && p[e.length] == '"' &&
           equal_bytes(p, text_.data() + e.offset + 2, e.length);
  }
  [[nodiscard]] uint32_t body_length(uint32_t id) const { return entries_[id].length; }

 private:
  struct Entry {
    uint64_t low, high;  // a body under 16 bytes, zero padded (else zero)
    size_t offset;       // in text_, where the key is kept as ,"key":
    uint32_t length;     // of the body
    uint32_t hash;
    bool plain;
  };
  static constexpr unsigned char kKeepBytes[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                   0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  void allocate_slots();
  void grow_slots();
  // Adds the key `body` (`words` as in Entry) at free slot `slot`: its id.
  uint32_t add(size_t slot, const char* body, size_t length, const uint64_t words[2], uint64_t hash, bool plain);

  static constexpr size_t kMinSlots = 128;
  static constexpr size_t kMaxFirstSlots = 256;

  ByteBuffer text_;  // with room to read ByteBuffer::kShortCopy bytes past the last key
  std::pmr::vector<Entry> entries_;
  std::pmr::vector<uint32_t> slots_;  // open addressing over ids; kNoKey marks a free slot
  uint64_t seed_;
  size_t first_slots_ = kMinSlots;
};

}  // namespace tc
