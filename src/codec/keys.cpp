// Key interning: open addressing over dense ids, with the process's keyed hash.
#include "codec/keys.hpp"

#include <cstring>
#include <new>
#include <random>

namespace tc {
namespace {

uint64_t read_entropy() {
  uint64_t value = 0x9E3779B97F4A7C15ULL;
  try {
    std::random_device device;
    value ^= (uint64_t{device()} << 32) ^ device();
  } catch (...) {
    value ^= reinterpret_cast<uintptr_t>(&value);  // no entropy source: address bits
  }
  return value;
}

}  // namespace

uint64_t process_hash_seed() {
  static const uint64_t seed = read_entropy();
  return seed;
}

// Nothing is allocated until the first key: a table is built empty and moved more than once on
// its way to the reader, and a small payload should not pay for that.
KeyTable::KeyTable(std::pmr::memory_resource* memory)
    : entries_(memory), slots_(memory), seed_(process_hash_seed()) {}

void KeyTable::allocate_slots() {
  slots_.assign(first_slots_, kNoKey);
  entries_.reserve(first_slots_ / 4);
  text_.start_in(slots_.get_allocator().resource(), 1024);  // a small payload's keys, without growing
}

void KeyTable::grow_slots() {
  std::pmr::vector<uint32_t> bigger(slots_.size() * 2, kNoKey, slots_.get_allocator());
  const size_t mask = bigger.size() - 1;
  for (uint32_t id = 0; id < entries_.size(); ++id) {
    size_t i = entries_[id].hash & mask;
    while (bigger[i] != kNoKey) i = (i + 1) & mask;
    bigger[i] = id;
  }
  slots_.swap(bigger);
}

uint32_t KeyTable::intern(std::string_view body, bool plain) {
  if (slots_.empty()) allocate_slots();
  // A body under 16 bytes is kept, and hashed, as its two zero-padded words.
  const size_t n = body.size();
  uint64_t words[2] = {0, 0};
  if (n < 16) {
    words[0] = load_partial(body.data(), n < 8 ? n : 8);
    words[1] = n > 8 ? load_partial(body.data() + 8, n - 8) : 0;
  }
  const uint64_t h = n < 16 ? hash_words(words[0], words[1], n, seed_) : keyed_hash(body, seed_);
  size_t mask = slots_.size() - 1;
  size_t i = static_cast<size_t>(h) & mask;
  // Slots hold ids; the stored hash is the low 32 bits, compared before the bytes.
  for (; slots_[i] != kNoKey; i = (i + 1) & mask) {
    const Entry& e = entries_[slots_[i]];
    if (e.hash == static_cast<uint32_t>(h) && e.length == body.size() &&
        equal_bytes(text_.data() + e.offset + 2, body.data(), body.size())) {
      return slots_[i];
    }
  }
  return add(i, body.data(), n, words, h, plain);
}

uint32_t KeyTable::add(size_t slot, const char* body, size_t length, const uint64_t words[2], uint64_t hash,
                       bool plain) {
  if (entries_.size() >= UINT32_MAX - 1 || length >= UINT32_MAX) throw std::bad_alloc();
  const uint32_t id = static_cast<uint32_t>(entries_.size());
  Entry entry{words[0], words[1], text_.size(), static_cast<uint32_t>(length), static_cast<uint32_t>(hash), plain};
  // Kept as ,"key": with room to copy a fixed block past it.
  char* const dst = text_.reserve(length + 4 + ByteBuffer::kShortCopy);
  dst[0] = ',';
  dst[1] = '"';
  copy_bytes(dst + 2, body, length);
  dst[length + 2] = '"';
  dst[length + 3] = ':';
  text_.commit(length + 4);
  entries_.push_back(entry);
  slots_[slot] = id;
  if (entries_.size() * 4 > slots_.size()) grow_slots();  // at most a quarter full: probes rarely collide
  return id;
}

}  // namespace tc
