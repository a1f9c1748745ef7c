// A growable byte buffer that never zero-fills: the reader's arena and scratch space.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory_resource>
#include <new>
#include <string_view>

#include "codec/portable.hpp"

namespace tc {

// Copies n bytes with a few fixed-size moves for short runs (no library call), memcpy else.
inline void copy_bytes(char* dst, const char* src, size_t n) {
  if (n >= 8 && n <= 16) {
    std::memcpy(dst, src, 8);
    std::memcpy(dst + n - 8, src + n - 8, 8);
  } else if (n >= 4 && n < 8) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + n - 4, src + n - 4, 4);
  } else if (n < 4) {
    for (size_t i = 0; i < n; ++i) dst[i] = src[i];
  } else {
    std::memcpy(dst, src, n);
  }
}

// Byte equality of two short-or-long runs, without a library call for up to 16 bytes.
inline bool equal_bytes(const char* a, const char* b, size_t n) {
  if (n >= 8 && n <= 16) {
    uint64_t a0, b0, a1, b1;
    std::memcpy(&a0, a, 8);
    std::memcpy(&b0, b, 8);
    std::memcpy(&a1, a + n - 8, 8);
    std::memcpy(&b1, b + n - 8, 8);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
  if (n >= 4 && n < 8) {
    uint32_t a0, b0, a1, b1;
    std::memcpy(&a0, a, 4);
    std::memcpy(&b0, b, 4);
    std::memcpy(&a1, a + n - 4, 4);
    std::memcpy(&b1, b + n - 4, 4);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
  if (n < 4) {
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
  return std::memcmp(a, b, n) == 0;
}

// Owns its bytes (malloc/realloc, so large blocks can grow without a copy), or takes them
// from a memory resource when started with start_in: a small payload's buffers then come out
// of the call's own block instead of the heap. Writers call reserve(n), write up to n bytes
// where it points, then commit(written); every failure is std::bad_alloc.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept
      : data_(other.data_), size_(other.size_), capacity_(other.capacity_), memory_(other.memory_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
    other.memory_ = nullptr;
  }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
      release();
      data_ = other.data_;
      size_ = other.size_;
      capacity_ = other.capacity_;
      memory_ = other.memory_;
      other.data_ = nullptr;
      other.size_ = other.capacity_ = 0;
      other.memory_ = nullptr;
    }
    return *this;
  }
  ~ByteBuffer() { release(); }

  // Takes room for `capacity` bytes from `memory`, where this buffer keeps its bytes from now
  // on. Only for a buffer that holds nothing yet.
  void start_in(std::pmr::memory_resource* memory, size_t capacity) {
    release();
    data_ = static_cast<char*>(memory->allocate(capacity, 1));
    size_ = 0;
    capacity_ = capacity;
    memory_ = memory;
  }

  [[nodiscard]] const char* data() const { return data_; }
  [[nodiscard]] char* data() { return data_; }
  [[nodiscard]] size_t size() const { return size_; }
  [[nodiscard]] size_t capacity() const { return capacity_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  [[nodiscard]] std::string_view view(size_t offset, size_t length) const { return {data_ + offset, length}; }

  // Makes room for `extra` more bytes; returns where they go.
  char* reserve(size_t extra) {
    if (capacity_ - size_ < extra) grow(extra);
    return data_ + size_;
  }
  void commit(size_t written) { size_ += written; }
  void resize_down(size_t new_size) { size_ = new_size; }
  void clear() { size_ = 0; }

  void push(char c) {
    reserve(1)[0] = c;
    ++size_;
  }
  void append(const char* bytes, size_t length) {
    copy_bytes(reserve(length), bytes, length);
    size_ += length;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }

  // Appends n bytes from `src`, of which `src_room` may be read, as one fixed 32-byte copy
  // when n is at most 32 (the bytes past n are written but not kept). Copies sized by n
  // branch on it, and on text of varying lengths those branches are mispredicted.
  TC_ALWAYS_INLINE void append_short(const char* src, size_t n, size_t src_room) {
    if (n <= kShortCopy && src_room >= kShortCopy) {
      std::memcpy(reserve(kShortCopy), src, kShortCopy);
      size_ += n;
    } else {
      append(src, n);
    }
  }
  static constexpr size_t kShortCopy = 32;

  // As append_short, and text up to 128 bytes (links, hashes, sentences) as one fixed 128-byte
  // copy where the buffer has that room already, instead of the library copy, which branches
  // on the length again and again.
  TC_ALWAYS_INLINE void append_text(const char* src, size_t n, size_t src_room) {
    if (n > kShortCopy && n <= kTextCopy && src_room >= kTextCopy && capacity_ - size_ >= kTextCopy) {
      std::memcpy(data_ + size_, src, kTextCopy);
      size_ += n;
    } else {
      append_short(src, n, src_room);
    }
  }
  static constexpr size_t kTextCopy = 128;

 private:
  void grow(size_t extra) {
    size_t wanted = size_ + extra;
    if (wanted < size_) throw std::bad_alloc();
    size_t next = capacity_ < 256 ? 256 : capacity_ + capacity_ / 2;
    if (next < wanted) next = wanted;
    if (memory_ != nullptr) {
      char* moved = static_cast<char*>(memory_->allocate(next, 1));
      if (size_ != 0) std::memcpy(moved, data_, size_);
      memory_->deallocate(data_, capacity_, 1);
      data_ = moved;
      capacity_ = next;
      return;
    }
    void* moved = std::realloc(data_, next);
    if (moved == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(moved);
    capacity_ = next;
  }
  void release() noexcept {
    if (memory_ != nullptr) {
      memory_->deallocate(data_, capacity_, 1);
    } else {
      std::free(data_);
    }
  }

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  std::pmr::memory_resource* memory_ = nullptr;  // where the bytes come from; null: malloc
};

}  // namespace tc
