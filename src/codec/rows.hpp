// The rows of a payload, as the reader leaves them: every cell's compact text in one arena and,
// per row, its members as (key id, cell length) pairs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string_view>
#include <vector>

#include "codec/byte_buffer.hpp"
#include "codec/keys.hpp"

namespace tc {

// One member of a row. Cells lie back to back in `RowTable::cells` in member order, so a
// cell's offset is the sum of the lengths before it; that keeps a member at 8 bytes.
struct Member {
  uint32_t key;
  uint32_t length;
};
// A member whose key came again later in the same row: the later value replaced it.
inline constexpr uint32_t kReplacedMember = UINT32_MAX;
// More bytes of the cell before it (cells of 4 GiB and more take several members).
inline constexpr uint32_t kMoreBytes = UINT32_MAX - 1;
inline constexpr uint32_t kMaxMemberLength = UINT32_MAX;

// Per row key, what the layout needs from the rows.
struct KeyStats {
  uint64_t rows = 0;           // rows holding the key
  uint64_t bytes = 0;          // total length of those cells
  std::string_view first;      // the first row's cell, when the first row holds the key
  bool non_null = false;
  bool same_as_first = false;  // present in the first row, non-null there, equal in every row so far
};

struct RowTable {
  // The tables live in `memory`, as does everything the later stages build from them.
  explicit RowTable(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
      : members(memory), row_ends(memory), row_keys(memory), keys(memory), key_stats(memory) {}

  ByteBuffer cells;                     // compact text of every cell, in payload order, with
                                        // room to read ByteBuffer::kShortCopy bytes past the last
  std::pmr::vector<Member> members;     // every row's members, in payload order
  std::pmr::vector<size_t> row_ends;    // index in `members` just past each row's last member
  std::pmr::vector<uint32_t> row_keys;  // keys of the rows (not of nested objects), first sight first
  KeyTable keys;                        // every key, row-level and nested
  // By key id, gathered while reading; not gathered (stats_gathered false) when some row
  // repeats a key, since a replaced cell cannot be taken back out of them.
  std::pmr::vector<KeyStats> key_stats;
  bool stats_gathered = false;

  [[nodiscard]] size_t row_count() const { return row_ends.size(); }
  [[nodiscard]] std::pmr::memory_resource* memory() const { return members.get_allocator().resource(); }
};

// Walks the live cells of rows in order: replaced members are skipped, long cells joined.
class CellCursor {
 public:
  explicit CellCursor(const RowTable& table) : members_(table.members.data()), cells_(table.cells.data()) {}
  // Where a cursor is: its next member and that member's cell.
  struct Place {
    size_t index;
    size_t offset;
  };
  CellCursor(const RowTable& table, Place at) : CellCursor(table) {
    index_ = at.index;
    offset_ = at.offset;
  }
  [[nodiscard]] Place place() const { return {index_, offset_}; }

  struct Cell {
    uint32_t key;
    std::string_view text;
  };
  // Next live cell of the row that ends at member index `row_end`; false at the row's end.
  bool next(size_t row_end, Cell& cell) {
    while (index_ < row_end) {
      const Member& m = members_[index_++];
      size_t length = m.length;
      while (index_ < row_end && members_[index_].key == kMoreBytes) length += members_[index_++].length;
      const size_t offset = offset_;
      offset_ += length;
      if (m.key != kReplacedMember) {
        cell = {m.key, std::string_view(cells_ + offset, length)};
        return true;
      }
    }
    return false;
  }

 private:
  // The table's arrays themselves, not the table: a writer's stores through char pointers
  // would make every cell load them again. Pointers, so a cursor can be saved and restored.
  const Member* members_;
  const char* cells_;
  size_t index_ = 0;
  size_t offset_ = 0;
};

}  // namespace tc
