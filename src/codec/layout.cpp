// The layout is built from what is known per row key: whether some row holds it non-null, in
// how many rows it occurs, how many bytes its cells take, and whether every row holds a value
// equal to the first row's. The reader gathers that as it goes; only where a row repeats a
// key is it counted again here, in one pass over the rows' cells.
#include "codec/layout.hpp"

#include <new>

#include "codec/portable.hpp"
namespace tc {
namespace {

// Checked size arithmetic: a document that cannot be addressed cannot be allocated either.
struct SizeSum {
  uint64_t total = 0;
  void add(uint64_t n) {
    if (add_overflows(total, n, &total)) throw std::bad_alloc();
  }
  void add_product(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    if (multiply_overflows(a, b, &product)) throw std::bad_alloc();
    add(product);
  }
};

// The reader gathers these while it reads; they are counted here only for rows that repeat a key.
std::pmr::vector<KeyStats> gather_stats(const RowTable& rows) {
  std::pmr::vector<KeyStats> stats(rows.keys.size(), rows.memory());
  CellCursor cursor(rows);
  CellCursor::Cell cell{};
  for (size_t r = 0; r < rows.row_count(); ++r) {
    const size_t row_end = rows.row_ends[r];
    while (cursor.next(row_end, cell)) {
      KeyStats& s = stats[cell.key];
      if (r == 0) s.first = cell.text;
      count_cell(s, cell.text, cell.text == "null", r == 0, s.first);
    }
  }
  return stats;
}

size_t document_size(const RowTable& rows, const ColumnarLayout& layout, const std::pmr::vector<KeyStats>& stats) {
  const uint64_t n = rows.row_count();
  const uint64_t m = layout.columns.size();
  SizeSum size;
  size.add(kDocumentOpen.size());
  for (uint32_t key : layout.columns) size.add(rows.keys.quoted(key).size());
  if (m > 1) size.add(m - 1);
  size.add(kBeforeRows.size());
  if (n > 0) {
    size.add_product(n, 2 + (m > 1 ? m - 1 : 0));  // brackets and commas of each row
    size.add(n - 1);
    uint64_t cells_present = 0;
    for (uint32_t key : layout.columns) {
      size.add(stats[key].bytes);
      cells_present += stats[key].rows;
    }
    uint64_t all_cells = 0;
    if (multiply_overflows(n, m, &all_cells)) throw std::bad_alloc();
    size.add_product(all_cells - cells_present, 4);  // "null" for every absent cell
  }
  size.add(kBeforeConstants.size());
  for (const ColumnarLayout::Constant& c : layout.constants) {
    size.add(rows.keys.quoted(c.key).size() + 1 + c.value.size());
  }
  if (layout.constants.size() > 1) size.add(layout.constants.size() - 1);
  size.add(kDocumentClose.size());
  if (size.total > SIZE_MAX / 2) throw std::bad_alloc();
  return static_cast<size_t>(size.total);
}

}  // namespace

ColumnarLayout build_layout(const RowTable& rows) {
  std::pmr::vector<KeyStats> counted(rows.memory());
  if (!rows.stats_gathered) counted = gather_stats(rows);
  const std::pmr::vector<KeyStats>& stats = rows.stats_gathered ? rows.key_stats : counted;
  const uint64_t row_count = rows.row_count();
  ColumnarLayout layout(rows.memory());
  layout.column_of_key.assign(rows.keys.size(), kNotColumn);
  layout.columns.reserve(rows.row_keys.size());
  for (uint32_t key : rows.row_keys) {
    const KeyStats& s = stats[key];
    if (!s.non_null) continue;  // null or absent in every row: dropped
    if (row_count >= 2 && s.same_as_first && s.rows == row_count) {
      layout.constants.push_back({key, s.first});
      continue;
    }
    layout.column_of_key[key] = static_cast<uint32_t>(layout.columns.size());
    layout.columns.push_back(key);
  }
  layout.output_size = document_size(rows, layout, stats);
  return layout;
}

}  // namespace tc
