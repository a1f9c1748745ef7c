// Where one transform keeps its tables.
#pragma once
#include <cstddef>
#include <memory_resource>
#include <optional>

namespace tc {

// A small payload's tables (members, keys, layout: a dozen of them) are carved out of one
// block owned by the call and dropped together at its end, instead of each being allocated
// and released on its own. Large payloads take their tables from the heap one by one, so that
// a table that grows gives its old storage back.
class CallMemory {
 public:
  explicit CallMemory(size_t payload_size) {
    if (payload_size <= kSmallPayload) {
      resource_ = &arena_.emplace(block_, sizeof block_, std::pmr::new_delete_resource());
    }
  }
  CallMemory(const CallMemory&) = delete;
  CallMemory& operator=(const CallMemory&) = delete;

  [[nodiscard]] std::pmr::memory_resource* resource() const { return resource_; }

 private:
  static constexpr size_t kSmallPayload = 64 * 1024;
  // Enough for the tables of a payload of a few KiB; larger ones continue in blocks from the
  // heap, still released only at the end.
  alignas(std::max_align_t) std::byte block_[16 * 1024];
  std::optional<std::pmr::monotonic_buffer_resource> arena_;
  std::pmr::memory_resource* resource_ = std::pmr::new_delete_resource();
};

}  // namespace tc
