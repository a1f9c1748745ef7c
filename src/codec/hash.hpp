// A keyed hash for tables indexed by payload text. The key is random per process, so inputs
// cannot be prepared to collide.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tc {

uint64_t process_hash_seed();

inline uint64_t hash_mix(uint64_t a, uint64_t b) {
  __uint128_t product = static_cast<__uint128_t>(a) * b;
  return static_cast<uint64_t>(product) ^ static_cast<uint64_t>(product >> 64);
}

inline constexpr uint64_t kHashMul0 = 0xa0761d6478bd642fULL;
inline constexpr uint64_t kHashMul1 = 0xe7037ed1a0b428dbULL;
inline constexpr uint64_t kHashMul2 = 0x8ebc6af09c88c6e3ULL;

// The hash of `n` bytes held in two words, with one multiplication.
inline uint64_t hash_words(uint64_t first, uint64_t last, size_t n, uint64_t seed) {
  return hash_mix(first ^ seed ^ kHashMul0, last ^ (seed >> 3) ^ (kHashMul1 + n));
}

// The first `n` bytes at `p` (at most 8) as a little-endian word, zero padded, read without a
// copy of variable length.
inline uint64_t load_partial(const char* p, size_t n) {
  if (n >= 4) {
    uint32_t low, high;
    std::memcpy(&low, p, 4);
    std::memcpy(&high, p + n - 4, 4);
    return low | (uint64_t{high} >> (8 * (8 - n)) << 32);
  }
  if (n == 0) return 0;
  const auto byte = [p](size_t i) { return uint64_t{static_cast<unsigned char>(p[i])} << (8 * i); };
  return byte(0) | byte(n / 2) | byte(n - 1);
}

inline uint64_t keyed_hash(std::string_view bytes, uint64_t seed) {
  const char* p = bytes.data();
  size_t n = bytes.size();
  if (n >= 8 && n <= 16) {  // most keys: two overlapping words, one multiplication
    uint64_t first, last;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + n - 8, 8);
    return hash_words(first, last, n, seed);
  }
  uint64_t h = seed ^ hash_mix(n ^ kHashMul0, kHashMul1);
  while (n >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = hash_mix(word ^ kHashMul1 ^ seed, h ^ kHashMul2);
    p += 8;
    n -= 8;
  }
  if (n > 0) h = hash_mix(load_partial(p, n) ^ kHashMul2 ^ seed, h ^ kHashMul0);  // 1 to 7 bytes
  return hash_mix(h, kHashMul1 ^ seed);
}

// For std::unordered_map over views of payload text.
struct KeyedHash {
  uint64_t seed = process_hash_seed();
  size_t operator()(std::string_view bytes) const { return static_cast<size_t>(keyed_hash(bytes, seed)); }
};

}  // namespace tc
