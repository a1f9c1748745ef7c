// Column layout and constant folding over the rows the reader produced.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <string_view>
#include <vector>

#include "codec/rows.hpp"

namespace tc {

inline constexpr uint32_t kNotColumn = UINT32_MAX;

// The fixed text between the document's parts; the size computed here and the bytes the
// document writes come from the same pieces.
inline constexpr std::string_view kDocumentOpen = R"({"columns":[)";
inline constexpr std::string_view kBeforeRows = R"(],"rows":[)";
inline constexpr std::string_view kBeforeConstants = R"(],"constants":{)";
inline constexpr std::string_view kDocumentClose = "}}";

struct ColumnarLayout {
  struct Constant {
    uint32_t key;
    std::string_view value;  // the first row's cell text
  };
  explicit ColumnarLayout(std::pmr::memory_resource* memory = std::pmr::get_default_resource())
      : columns(memory), column_of_key(memory), constants(memory) {}

  std::pmr::vector<uint32_t> columns;        // key ids, in order of first appearance
  std::pmr::vector<uint32_t> column_of_key;  // per key id: its column, or kNotColumn
  std::pmr::vector<Constant> constants;      // in order of first appearance
  size_t output_size = 0;                    // exact byte count of the document
};

// Columns are the row keys minus those null or absent in every row, minus the constants: keys
// present in every row of a table of two rows or more with values equal (cells_equal) to the
// first row's non-null value. The layout's tables live in the rows' memory. Throws
// std::bad_alloc when the document could not be held.
[[nodiscard]] ColumnarLayout build_layout(const RowTable& rows);

// Equality of two cells given by their compact texts. Two numbers at the top of a cell compare
// by exact mathematical value whatever their classes (1 equals 1.0, 0 equals -0.0, and
// integers above 2^53 stay distinct); inside arrays and objects the number class counts.
// Objects compare without regard to member order.
[[nodiscard]] bool cells_equal(std::string_view a, std::string_view b);

// Adds one row's cell of a key to the key's figures, all but `first`, which the caller keeps:
// the key's cell in the first row, compared with the cells of later rows. The reader counts by
// this rule as it reads, and build_layout by the same rule when it has to count again.
inline void count_cell(KeyStats& stats, std::string_view cell, bool is_null, bool first_row, std::string_view first) {
  ++stats.rows;
  stats.bytes += cell.size();
  stats.non_null = stats.non_null || !is_null;
  if (first_row) {
    stats.same_as_first = !is_null;
  } else if (stats.same_as_first && !cells_equal(first, cell)) {
    stats.same_as_first = false;
  }
}

}  // namespace tc
