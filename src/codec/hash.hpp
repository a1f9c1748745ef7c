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

inline uint64_t keyed_hash(std::string_view bytes, uint64_t seed) {
  constexpr uint64_t kMul0 = 0xa0761d6478bd642fULL;
  constexpr uint64_t kMul1 = 0xe7037ed1a0b428dbULL;
  constexpr uint64_t kMul2 = 0x8ebc6af09c88c6e3ULL;
  const char* p = bytes.data();
  size_t n = bytes.size();
  if (n >= 8 && n <= 16) {  // most keys: two overlapping words, one multiplication
    uint64_t first, last;
    std::memcpy(&first, p, 8);
    std::memcpy(&last, p + n - 8, 8);
    return hash_mix(first ^ seed ^ kMul0, last ^ (seed >> 3) ^ (kMul1 + n));
  }
  uint64_t h = seed ^ hash_mix(n ^ kMul0, kMul1);
  while (n >= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = hash_mix(word ^ kMul1 ^ seed, h ^ kMul2);
    p += 8;
    n -= 8;
  }
  if (n > 0) {  // 1 to 7 bytes, read without a copy of variable length
    uint64_t tail;
    if (n >= 4) {
      uint32_t low, high;
      std::memcpy(&low, p, 4);
      std::memcpy(&high, p + n - 4, 4);
      tail = low | (uint64_t{high} << 32);
    } else {
      tail = (uint64_t{static_cast<unsigned char>(p[0])} << 16) |
             (uint64_t{static_cast<unsigned char>(p[n / 2])} << 8) | static_cast<unsigned char>(p[n - 1]);
    }
    h = hash_mix(tail ^ kMul2 ^ seed, h ^ kMul0);
  }
  return hash_mix(h, kMul1 ^ seed);
}

// For std::unordered_map over views of payload text.
struct KeyedHash {
  uint64_t seed = process_hash_seed();
  size_t operator()(std::string_view bytes) const { return static_cast<size_t>(keyed_hash(bytes, seed)); }
};

}  // namespace tc
