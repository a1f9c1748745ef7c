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
  // `block` is used first; the first block taken from the heap after it has `heap_block` bytes
  // at least.
  BumpArena(std::byte* block, size_t size, size_t heap_block)
      : next_(reinterpret_cast<uintptr_t>(block)), end_(next_ + size), next_block_(heap_block) {}
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

// A payload's tables (members, keys, layout: a dozen of them), its cells and, when small, its
// document are carved out of memory owned by the call and dropped together at its end,
// instead of each being allocated and released on its own: first a block inside the call,
// enough for a payload of a few KiB, then one block from the heap sized for the whole call.
//
// That one block also keeps a process's calls on payloads from tens of KiB to a few MiB off
// fresh pages. Taken table by table, the pieces either stay under the size from which glibc's
// malloc maps memory on its own while together passing the size at which it hands the top of
// the heap back to the system, or are mapped on their own one by one: each call then grew the
// heap into fresh pages again and paid a fault per page, 10 to 45% of a call on payloads of
// 50 KiB to 2.5 MiB. One block above that size is mapped on its own the first time, and its
// release raises both sizes past it, as for any large block: from then on such calls reuse
// the same heap memory. Elsewhere it is simply one allocation instead of a dozen.
//
// Payloads past 4 MiB take their tables from the heap one by one, so that a table that grows
// gives its old storage back: their block would pass the 32 MiB up to which glibc raises those
// sizes, and there the peak matters more than the allocations.
class CallMemory {
 public:
  explicit CallMemory(size_t payload_size)
      : arena_(block_, sizeof block_, heap_block(payload_size)),
        resource_(payload_size <= kArenaPayload ? static_cast<std::pmr::memory_resource*>(&arena_)
                                                : std::pmr::new_delete_resource()) {}
  CallMemory(const CallMemory&) = delete;
  CallMemory& operator=(const CallMemory&) = delete;

  [[nodiscard]] std::pmr::memory_resource* resource() const { return resource_; }

 private:
  static constexpr size_t kArenaPayload = 4 * 1024 * 1024;
  // Far above the 128 KiB from which glibc maps a block on its own (the default), so that its
  // release raises that size, and with it the size at which the heap's top is handed back to
  // twice the block: the call's other memory (the result bytes) then fits below it too. Cells
  // and tables mostly take 1.6 times the payload, a wide sparse table's up to 3.4 times. Pages
  // never written are never touched.
  static constexpr size_t heap_block(size_t payload_size) {
    constexpr size_t kMinimum = 1024 * 1024;
    const size_t wanted = 4 * payload_size + 64 * 1024;
    return payload_size <= kArenaPayload && wanted > kMinimum ? wanted : kMinimum;
  }
  // Enough for the tables of a payload of a few KiB.
  alignas(std::max_align_t) std::byte block_[16 * 1024];
  BumpArena arena_;
  std::pmr::memory_resource* resource_;
};

}  // namespace tc
