// Where one transform keeps its tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <new>

#include "codec/portable.hpp"

namespace tc {

// Hands out memory from a block by moving a pointer, and from ever larger blocks of the heap
// once that is used up; frees nothing until it goes. Taking memory is a handful of
// instructions, where the library's monotonic resource takes dozens.
class BumpArena final : public std::pmr::memory_resource {
 public:
  BumpArena(std::byte* block, size_t size)
      : next_(reinterpret_cast<uintptr_t>(block)), end_(next_ + size), next_block_(2 * size) {}
  BumpArena(const BumpArena&) = delete;
  BumpArena& operator=(const BumpArena&) = delete;
  ~BumpArena() override {
    while (blocks_ != nullptr) {
      Block* next = blocks_->next;
      ::operator delete(blocks_);
      blocks_ = next;
    }
  }

 private:
  struct alignas(std::max_align_t) Block {
    Block* next;
  };

  void* do_allocate(size_t bytes, size_t alignment) override {
    const uintptr_t at = (next_ + alignment - 1) & ~static_cast<uintptr_t>(alignment - 1);
    if (at <= end_ && bytes <= end_ - at) {
      next_ = at + bytes;
      return reinterpret_cast<void*>(at);
    }
    return allocate_in_new_block(bytes, alignment);
  }
  void do_deallocate(void*, size_t, size_t) override {}
  [[nodiscard]] bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }

  // From a new block, with room for `bytes` at `alignment` at least and twice the last one's size.
  TC_NOINLINE void* allocate_in_new_block(size_t bytes, size_t alignment) {
    const size_t overhead = sizeof(Block) + alignment;
    if (bytes > SIZE_MAX / 2 - overhead) throw std::bad_alloc();
    const size_t size = bytes + overhead > next_block_ ? bytes + overhead : next_block_;
    auto* block = static_cast<Block*>(::operator new(size));
    block->next = blocks_;
    blocks_ = block;
    next_ = reinterpret_cast<uintptr_t>(block + 1);
    end_ = reinterpret_cast<uintptr_t>(block) + size;
    next_block_ = size <= SIZE_MAX / 4 ? 2 * size : size;
    const uintptr_t at = (next_ + alignment - 1) & ~static_cast<uintptr_t>(alignment - 1);
    next_ = at + bytes;
    return reinterpret_cast<void*>(at);
  }

  uintptr_t next_;
  uintptr_t end_;
  size_t next_block_;
  Block* blocks_ = nullptr;
};

// A small payload's tables (members, keys, layout: a dozen of them), and its cells and
// document when they are small, are carved out of one block owned by the call and dropped
// together at its end, instead of each being allocated and released on its own. Large
// payloads take their tables from the heap one by one, so that a table that grows gives its
// old storage back.
class CallMemory {
 public:
  explicit CallMemory(size_t payload_size)
      : arena_(block_, sizeof block_),
        resource_(payload_size <= kSmallPayload ? static_cast<std::pmr::memory_resource*>(&arena_)
                                                : std::pmr::new_delete_resource()) {}
  CallMemory(const CallMemory&) = delete;
  CallMemory& operator=(const CallMemory&) = delete;

  [[nodiscard]] std::pmr::memory_resource* resource() const { return resource_; }

 private:
  static constexpr size_t kSmallPayload = 64 * 1024;
  // Enough for the tables of a payload of a few KiB; larger ones continue in blocks from the
  // heap, still released only at the end.
  alignas(std::max_align_t) std::byte block_[16 * 1024];
  BumpArena arena_;
  std::pmr::memory_resource* resource_;
};

}  // namespace tc
