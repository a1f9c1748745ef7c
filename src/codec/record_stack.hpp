// A stack of small trivially copyable records over a memory resource, for bookkeeping that
// grows and shrinks with every object read: its size is a count kept as it changes, where a
// vector's is a pointer difference divided by the record size, and dropping back to a mark is
// one store.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <new>
#include <type_traits>

#include "codec/portable.hpp"

namespace tc {

template <class T>
class RecordStack {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  explicit RecordStack(std::pmr::memory_resource* memory) : memory_(memory) {}
  RecordStack(const RecordStack&) = delete;
  RecordStack& operator=(const RecordStack&) = delete;
  ~RecordStack() {
    if (data_ != nullptr) memory_->deallocate(data_, capacity_ * sizeof(T), alignof(T));
  }

  [[nodiscard]] size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  void push(const T& record) {
    if (size_ == capacity_) grow();
    data_[size_++] = record;
  }
  // Drops the records from `mark` (at most size()) on.
  void truncate(size_t mark) { size_ = mark; }

 private:
  // Room for typical nesting at once at first, then twice as much each time.
  TC_NOINLINE void grow() {
    constexpr size_t kFirst = 32;
    if (capacity_ > SIZE_MAX / sizeof(T) / 2) throw std::bad_alloc();
    const size_t bigger = capacity_ == 0 ? kFirst : 2 * capacity_;
    T* const data = static_cast<T*>(memory_->allocate(bigger * sizeof(T), alignof(T)));
    if (size_ != 0) std::memcpy(data, data_, size_ * sizeof(T));
    if (data_ != nullptr) memory_->deallocate(data_, capacity_ * sizeof(T), alignof(T));
    data_ = data;
    capacity_ = bigger;
  }

  std::pmr::memory_resource* memory_;
  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace tc
