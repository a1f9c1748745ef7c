// Nested values copied as they stand. Most objects and arrays inside rows are compact text
// already (no whitespace, strings and numbers in their written form, no key twice), so their
// output is their own bytes: they are checked, not rebuilt member by member.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "codec/byte_buffer.hpp"
#include "codec/scan.hpp"

namespace tc {

// The keys of one object with more keys than are checked one against another, by hash. Slots of
// other objects than `serial` are free: one such object is checked here at a time.
struct WideObjectKeys {
  static constexpr unsigned kSlots = 256;
  static constexpr unsigned kMaxKeys = kSlots / 2;
  struct Slot {
    const char* text;
    uint32_t length;
    uint32_t serial;  // of the object the key is in; 0 for none
  };
  Slot slots[kSlots] = {};
  uint32_t serial = 0;  // of the object being checked
  unsigned keys = 0;    // its keys so far
};

// What one value's walk leaves for the next (of the same row member, as the reader keeps them).
//  - The length of the key at each place (nesting level, position in its object), which the
//    next object there most likely repeats.
//  - For the outer levels, the keys last seen at each position, with the colon after them:
//    an object that begins with the same keys as the last one there needs no other check for
//    them. Kept only as a run of places from position 0 that holds the first keys of one
//    object, so that they are known to be distinct.
struct CompactCopyHints {
  static constexpr unsigned kLevels = 16;
  static constexpr unsigned kPlaces = 16;
  static constexpr unsigned kKnownLevels = 4;
  static constexpr unsigned kKnownPlaces = 24;
  // The known keys' places are left unset: only those the run covers are read.
  CompactCopyHints() : key_lengths{}, known_keys{} {}
  unsigned char key_lengths[kLevels][kPlaces];
  unsigned char known_keys[kKnownLevels];                // how many places of the run are set
  unsigned char known_size[kKnownLevels][kKnownPlaces];  // key, closing quote and colon: at most 32
  const char* known_text[kKnownLevels][kKnownPlaces];    // in the payload
  std::unique_ptr<WideObjectKeys> wide;                  // made at the first object that needs it
};

// How a copied value's separators are spaced: not at all, or as json's default writes them
// (", " and ": ": one space after a comma or a colon, none anywhere else).
enum class Separators { compact, spaced };

// Reads the object or array whose opening bracket is at `p` (payload `[begin, end)`) and appends
// its compact text to `out`: runs already compact are copied whole, strings and numbers not in
// their written form are written again, and where `separators` is spaced, the space after a
// separator is left out. Returns the position just past the value, or nullptr when the value is
// not settled here: whitespace inside it other than that space, a grammar error, an object with
// a key given twice or a key with an escape that is rewritten, in spaced text a number that is
// written again, more than `max_levels` levels of nesting, or more keys open than are tracked
// (an object of more than WideObjectKeys::kMaxKeys keys, or two objects of many keys open at
// once). Nothing is reported then; the caller drops what was appended and reads the value the
// general way, which reports any error. Strings are scanned with `scan`.
const char* copy_compact_value(const char* begin, const char* end, const char* p, unsigned max_levels,
                               CompactCopyHints& hints, ByteBuffer& out, StringScan scan, Separators separators);


}  // namespace tc
