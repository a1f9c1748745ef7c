// A growable byte buffer that never zero-fills: the reader's arena and scratch space.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

namespace tc {

// Owns its bytes (malloc/realloc, so large blocks can grow without a copy). Writers call
// reserve(n) and then write up to n bytes through tail(); every failure is std::bad_alloc.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ByteBuffer(ByteBuffer&& other) noexcept : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
    other.data_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  ~ByteBuffer() { std::free(data_); }

  [[nodiscard]] const char* data() const { return data_; }
  [[nodiscard]] char* data() { return data_; }
  [[nodiscard]] size_t size() const { return size_; }
  [[nodiscard]] std::string_view view() const { return {data_, size_}; }
  [[nodiscard]] std::string_view view(size_t offset, size_t length) const { return {data_ + offset, length}; }

  // Makes room for `extra` more bytes; returns where they go.
  char* reserve(size_t extra) {
    if (capacity_ - size_ < extra) grow(extra);
    return data_ + size_;
  }
  char* tail() { return data_ + size_; }
  void commit(size_t written) { size_ += written; }
  void resize_down(size_t new_size) { size_ = new_size; }
  void clear() { size_ = 0; }

  void push(char c) {
    reserve(1)[0] = c;
    ++size_;
  }
  void append(const char* bytes, size_t length) {
    if (length == 0) return;
    std::memcpy(reserve(length), bytes, length);
    size_ += length;
  }
  void append(std::string_view text) { append(text.data(), text.size()); }

 private:
  void grow(size_t extra) {
    size_t wanted = size_ + extra;
    if (wanted < size_) throw std::bad_alloc();
    size_t next = capacity_ < 256 ? 256 : capacity_ + capacity_ / 2;
    if (next < wanted) next = wanted;
    void* moved = std::realloc(data_, next);
    if (moved == nullptr) throw std::bad_alloc();
    data_ = static_cast<char*>(moved);
    capacity_ = next;
  }

  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace tc
