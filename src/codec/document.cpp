// The document: {"columns":[…],"rows":[[…],…],"constants":{…}} written once into a buffer of
// its exact size, mostly by copying cell texts.
#include "codec/document.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>

#include "codec/call_memory.hpp"
#include "codec/fault.hpp"
#include "codec/portable.hpp"
#include "codec/prefault.hpp"

namespace tc {
namespace {

// Writes into a buffer of a given size and never past its end: every put looks at the room
// left before it writes, and a put that would not fit throws InternalFault instead. The size
// comes from the layout, which counts the same pieces the writer puts; should the two ever
// disagree, the call fails with nothing written beyond the buffer.
class Writer {
 public:
  Writer(char* out, size_t size) : p_(out), end_(out + size) {}
  void put(char c) {
    if (p_ == end_) overrun();
    *p_++ = c;
  }
  void put(std::string_view text) {
    if (room() < text.size()) overrun();
    copy_bytes(p_, text.data(), text.size());
    p_ += text.size();
  }
  // A cell's text and the comma after it: the cell arena keeps room to read a fixed block
  // past any cell, so a short cell away from the document's end is one fixed-size copy, with
  // no branch on its length. The room that copy needs covers the comma too.
  void put_cell(std::string_view text) {
    constexpr size_t kCellBlock = ByteBuffer::kShortCopy;
    if (text.size() <= kCellBlock && room() > kCellBlock) {
      std::memcpy(p_, text.data(), kCellBlock);
      p_ += text.size();
      *p_++ = ',';
      return;
    }
    put(text);
    put(',');
  }
  // `count` times "null,", copied from a prepared run. Away from the document's end the copy
  // goes in fixed-size blocks: it may write past the run, but only into bytes of the document
  // that are written again afterwards. One first block covers most runs, so the number of
  // blocks, which varies from run to run, is rarely looked at.
  void put_nulls(size_t count) {
    const size_t bytes = count * 5;
    if (count <= kNullRun && static_cast<size_t>(end_ - p_) >= bytes + kFirstBlock) {
      std::memcpy(p_, kNulls.data(), kFirstBlock);
      for (size_t done = kFirstBlock; done < bytes; done += kBlock) {
        std::memcpy(p_ + done, kNulls.data() + done, kBlock);
      }
      p_ += bytes;
      return;
    }
    if (room() < bytes) overrun();
    while (count > 0) {
      size_t chunk = count < kNullRun ? count : kNullRun;
      std::memcpy(p_, kNulls.data(), chunk * 5);
      p_ += chunk * 5;
      count -= chunk;
    }
  }
  // "null", with room to read a block past it as put_cell does.
  static std::string_view null_cell() { return {kNulls.data(), 4}; }
  // Puts `c` in place of the last byte written.
  void replace_last(char c) { p_[-1] = c; }
  void rewind(char* to) { p_ = to; }
  [[nodiscard]] char* position() const { return p_; }
  [[nodiscard]] char* end() const { return end_; }
  [[nodiscard]] size_t room() const { return static_cast<size_t>(end_ - p_); }

 private:
  static constexpr size_t kNullRun = 512;
  static constexpr size_t kBlock = 64;
  static constexpr size_t kFirstBlock = 4 * kBlock;
  // One block more than the run, so a block copy that starts inside the run stays inside.
  static constexpr std::array<char, kNullRun * 5 + kBlock> kNulls = [] {
    std::array<char, kNullRun * 5 + kBlock> run{};
    for (size_t i = 0; i < run.size(); ++i) run[i] = "null,"[i % 5];
    return run;
  }();
  [[noreturn, gnu::cold, gnu::noinline]] static void overrun() { throw InternalFault("document size mismatch"); }

  char* p_;
  char* const end_;
};

struct PlacedCell {
  uint32_t column;
  std::string_view text;
};

// One row, written cell by cell in column order, with "null" wherever the row has no cell.
// Each cell is written followed by a comma; the last comma becomes the closing bracket.
class RowWriter {
 public:
  RowWriter(size_t columns, Writer& out) : columns_(columns), out_(out) { out_.put('['); }

  // False, writing nothing, for a column before one already written, or where the document
  // has no room for the cell and the nulls before it. A row tried in the order of its members
  // can run longer than the same row in column order ("null" where a shorter value comes
  // later), and for the last row that would write past the document's end; it is then written
  // in column order, which takes exactly the room the layout counted. Until a row's first gap
  // every cell lands where the row in column order has it, so only then is room looked at.
  bool add(uint32_t column, std::string_view text) {
    if (column < next_) return false;
    if (column != next_) {  // dense rows have no gaps
      const size_t gap = column - next_;
      if (out_.room() < gap * 5 + text.size() + 1) return false;
      out_.put_nulls(gap);
      gapped_ = true;
    } else if (gapped_ && out_.room() < text.size() + 1) {
      return false;
    }
    out_.put_cell(text);
    next_ = size_t{column} + 1;
    return true;
  }
  void finish() {
    if (columns_ == 0) {
      out_.put(']');
      return;
    }
    out_.put_nulls(columns_ - next_);
    out_.replace_last(']');
  }

 private:
  size_t columns_;
  Writer& out_;
  size_t next_ = 0;
  bool gapped_ = false;
};

// Puts a row's cells in column order. Rows out of order are common in sparse tables, where a
// comparison sort mispredicts at nearly every step; instead each cell is dropped into its
// column's place and the places are read back through a bitmap of the columns present. With
// up to 64 words of columns, a second bitmap of the words in use lets every cell be read back
// in one step with no branch on the data.
class ColumnOrder {
 public:
  explicit ColumnOrder(size_t columns)
      : words_((columns + 63) / 64), present_(std::max<size_t>(words_, 64) + 1), text_(columns) {}

  void sort(std::vector<PlacedCell>& cells, size_t count) {
    uint64_t words = 0;
    for (size_t k = 0; k < count; ++k) {
      const PlacedCell& cell = cells[k];
      text_[cell.column] = cell.text;
      present_[cell.column / 64] |= uint64_t{1} << (cell.column % 64);
      words |= uint64_t{1} << (cell.column / 64 % 64);
    }
    if (words_ > 64) {
      sort_wide(cells);
      return;
    }
    // Where no word is left, countr_zero gives 64 and reads present_'s last word, always zero.
    size_t word = 0;
    uint64_t bits = 0;
    for (size_t k = 0; k < count; ++k) {
      const uint64_t spent = uint64_t{0} - static_cast<uint64_t>(bits == 0);
      const auto next_word = static_cast<size_t>(std::countr_zero(words));
      word = (next_word & spent) | (word & ~spent);
      bits = (present_[next_word] & spent) | (bits & ~spent);
      words &= ~((words & (uint64_t{0} - words)) & spent);  // the lowest word, once taken
      const auto column = static_cast<uint32_t>(word * 64 + static_cast<size_t>(std::countr_zero(bits)));
      bits &= bits - 1;
      cells[k] = {column, text_[column]};
    }
    for (size_t k = 0; k < count; ++k) present_[cells[k].column / 64] = 0;
  }

 private:
  void sort_wide(std::vector<PlacedCell>& cells) {
    size_t k = 0;
    for (size_t word = 0; word < words_; ++word) {
      for (uint64_t bits = present_[word]; bits != 0; bits &= bits - 1) {
        const auto column = static_cast<uint32_t>(word * 64 + static_cast<size_t>(std::countr_zero(bits)));
        cells[k++] = {column, text_[column]};
      }
      present_[word] = 0;
    }
  }

  size_t words_;
  std::vector<uint64_t> present_;
  std::vector<std::string_view> text_;
};

// Writes a row straight from its cells while they come in column order, as nearly every row
// does. Returns false, having written part of the row, at the first cell out of order.
TC_ALWAYS_INLINE bool write_row_in_order(CellCursor& cursor, size_t row_end, const ColumnarLayout& layout, Writer& out) {
  RowWriter row(layout.columns.size(), out);
  const uint32_t* const column_of_key = layout.column_of_key.data();  // not reloaded per cell
  CellCursor::Cell cell{};
  while (cursor.next(row_end, cell)) {
    const uint32_t column = column_of_key[cell.key];
    if (column != kNotColumn && !row.add(column, cell.text)) return false;
  }
  row.finish();
  return true;
}

// Tables of up to this many columns write their rows out of order column by column.
constexpr size_t kMaxNarrowColumns = 64;

// Whether the kept cells of a row come in column order, followed without a branch.
class OrderCheck {
 public:
  void see(uint32_t column, bool kept) {
    in_order_ &= static_cast<unsigned>(!kept) | static_cast<unsigned>(int64_t{column} > last_);
    last_ = kept ? int64_t{column} : last_;
  }
  [[nodiscard]] bool in_order() const { return in_order_ != 0; }

 private:
  int64_t last_ = -1;
  unsigned in_order_ = 1;
};

// Where the cells and the document go on after a row written by write_row_by_columns.
struct ColumnRow {
  CellCursor::Place cells;
  char* position;
  bool in_order;  // whether the row's cells came in column order after all
};

// A row out of order in a table of 1 to kMaxNarrowColumns columns, its cells from `cells` to
// member `row_end`, written at `position`: each cell is dropped into its column's slot, then
// the row is written column by column, "null" where it has no cell. Tables whose rows leave out
// some keys (optional fields) have most rows out of order, as a key's column comes from the row
// that first holds it; this costs a few steps per column with no branch on which columns a row
// holds, where sorting the row's cells cost several times that. Out of line, and given where
// the cells and the document are as plain values, so that the loop over rows in order keeps
// its own cursor and writer in registers.
TC_NOINLINE ColumnRow write_row_by_columns(const RowTable& rows, CellCursor::Place cells, size_t row_end,
                                           const ColumnarLayout& layout, char* position, char* end) {
  CellCursor cursor(rows, cells);
  Writer out(position, static_cast<size_t>(end - position));
  // Every column starts as "null" and takes the row's cell if it has one: no branch on which
  // columns the row holds, which in a table of optional fields is as good as random.
  struct Slot {  // left uninitialised past the row's columns: only those are read
    const char* text;
    size_t length;
  };
  const size_t columns = layout.columns.size();
  Slot slots[kMaxNarrowColumns + 1];  // the last for cells of no column, never read
  const std::string_view null = Writer::null_cell();
  for (size_t c = 0; c < columns; ++c) slots[c] = {null.data(), null.size()};
  const uint32_t* const column_of_key = layout.column_of_key.data();
  OrderCheck order;
  CellCursor::Cell cell{};
  while (cursor.next(row_end, cell)) {
    const uint32_t column = column_of_key[cell.key];
    const bool kept = column != kNotColumn;
    slots[kept ? column : kMaxNarrowColumns] = {cell.text.data(), cell.text.size()};
    order.see(column, kept);
  }
  out.put('[');
  for (size_t c = 0; c < columns; ++c) out.put_cell(std::string_view(slots[c].text, slots[c].length));
  out.replace_last(']');
  return {cursor.place(), out.position(), order.in_order()};
}

// The rows of a table of 1 to kMaxNarrowColumns columns.
TC_ALWAYS_INLINE void write_narrow_rows(const RowTable& rows, const ColumnarLayout& layout, Writer& out) {
  bool expect_order = true;  // whether the last row came in column order
  CellCursor cursor(rows);
  for (size_t r = 0; r < rows.row_count(); ++r) {
    if (r > 0) out.put(',');
    const size_t row_end = rows.row_ends[r];
    char* const row_start = out.position();
    const CellCursor::Place row_cells = cursor.place();
    if (expect_order && write_row_in_order(cursor, row_end, layout, out)) continue;
    // Out of order (or expected so, after such a row): written again from the row's start.
    const ColumnRow written = write_row_by_columns(rows, row_cells, row_end, layout, row_start, out.end());
    cursor = CellCursor(rows, written.cells);
    out.rewind(written.position);
    expect_order = written.in_order;
  }
}

// The rows of a wider table.
TC_ALWAYS_INLINE void write_rows(const RowTable& rows, const ColumnarLayout& layout, Writer& out) {
  std::vector<PlacedCell> cells;
  std::optional<ColumnOrder> order;  // made at the first row out of order
  bool expect_order = true;          // whether the last row came in column order
  const uint32_t* const column_of_key = layout.column_of_key.data();
  CellCursor cursor(rows);
  CellCursor::Cell cell{};
  for (size_t r = 0; r < rows.row_count(); ++r) {
    if (r > 0) out.put(',');
    const size_t row_end = rows.row_ends[r];
    char* const row_start = out.position();
    const CellCursor row_cursor = cursor;
    if (expect_order && write_row_in_order(cursor, row_end, layout, out)) continue;
    // Out of order (or expected so, after such a row): the cells are gathered, put in column
    // order and written from the start of the row.
    out.rewind(row_start);
    cursor = row_cursor;
    // Gathered without a branch on the column: a cell of no column is written over by the next.
    size_t count = 0;
    OrderCheck row_order;
    while (cursor.next(row_end, cell)) {
      const uint32_t column = column_of_key[cell.key];
      if (count == cells.size()) cells.resize(cells.size() * 2 + 16);
      cells[count] = {column, cell.text};
      const bool kept = column != kNotColumn;
      row_order.see(column, kept);
      count += kept;
    }
    expect_order = row_order.in_order();
    if (!expect_order) {
      if (!order) order.emplace(layout.columns.size());
      order->sort(cells, count);
    }
    // In column order a cell is refused only for want of room: the layout counted too little,
    // and the row would come out with "null" in place of the cell.
    RowWriter row(layout.columns.size(), out);
    bool all_added = true;
    for (size_t k = 0; k < count; ++k) all_added &= row.add(cells[k].column, cells[k].text);
    if (!all_added) throw InternalFault("document size mismatch");
    row.finish();
  }
}

}  // namespace

void encode_document(const RowTable& rows, const ColumnarLayout& layout, char* document) {
  prefault_for_writing(document, layout.output_size);  // a large document is written whole
  Writer out(document, layout.output_size);
  out.put(kDocumentOpen);
  for (size_t c = 0; c < layout.columns.size(); ++c) {
    if (c > 0) out.put(',');
    out.put(rows.keys.quoted(layout.columns[c]));
  }
  out.put(kBeforeRows);
  if (!layout.columns.empty() && layout.columns.size() <= kMaxNarrowColumns) {
    write_narrow_rows(rows, layout, out);
  } else {
    write_rows(rows, layout, out);
  }
  out.put(kBeforeConstants);
  for (size_t i = 0; i < layout.constants.size(); ++i) {
    if (i > 0) out.put(',');
    out.put(rows.keys.quoted(layout.constants[i].key));
    out.put(':');
    out.put(layout.constants[i].value);
  }
  out.put(kDocumentClose);
  if (out.position() != document + layout.output_size) throw InternalFault("document size mismatch");
}

// Built in place, never moved on the way (see PreparedDocument).
PreparedDocument prepare_document(std::string_view payload, std::pmr::memory_resource* memory,
                                  const ReadOptions& options) {
  return PreparedDocument(payload, memory, options);
}

TransformResult columnarize_json(std::string_view payload, const ReadOptions& options) {
  const CallMemory memory(payload.size());
  PreparedDocument prepared = prepare_document(payload, memory.resource(), options);
  if (!prepared.ok()) return {false, std::move(prepared.rows.error)};
  // Written into a block of exactly the document's size, with no terminator or slack after it,
  // so that a sanitizer build sees any write past its end; the result is a copy.
  const std::unique_ptr<char[]> block(new char[prepared.size()]);
  prepared.write(block.get());
  return {true, std::string(block.get(), prepared.size())};
}

}  // namespace tc
