// The document: {"columns":[…],"rows":[[…],…],"constants":{…}} written once into a buffer of
// its exact size, mostly by copying cell texts.
#include "codec/document.hpp"

#include <cstring>

#include "codec/fault.hpp"
#include "codec/layout.hpp"
#include "codec/reader.hpp"

namespace tc {
namespace {

class Writer {
 public:
  explicit Writer(char* out) : p_(out) {}
  void put(char c) { *p_++ = c; }
  void put(std::string_view text) {
    std::memcpy(p_, text.data(), text.size());
    p_ += text.size();
  }
  [[nodiscard]] char* position() const { return p_; }

 private:
  char* p_;
};

void write_rows(const RowTable& rows, const ColumnarLayout& layout, Writer& out) {
  const size_t m = layout.columns.size();
  std::vector<std::string_view> slot(m);
  std::vector<size_t> slot_row(m, SIZE_MAX);  // the row that filled the slot; no clearing per row
  CellCursor cursor(rows);
  CellCursor::Cell cell{};
  for (size_t r = 0; r < rows.row_count(); ++r) {
    const size_t row_end = rows.row_ends[r];
    while (cursor.next(row_end, cell)) {
      const uint32_t column = layout.column_of_key[cell.key];
      if (column == kNotColumn) continue;
      slot[column] = cell.text;
      slot_row[column] = r;
    }
    if (r > 0) out.put(',');
    out.put('[');
    for (size_t c = 0; c < m; ++c) {
      if (c > 0) out.put(',');
      out.put(slot_row[c] == r ? slot[c] : std::string_view("null"));
    }
    out.put(']');
  }
}

}  // namespace

std::string encode_document(const RowTable& rows, const ColumnarLayout& layout) {
  std::string document(layout.output_size, '\0');
  Writer out(document.data());
  out.put(R"({"columns":[)");
  for (size_t c = 0; c < layout.columns.size(); ++c) {
    if (c > 0) out.put(',');
    out.put(rows.keys.quoted(layout.columns[c]));
  }
  out.put(R"(],"rows":[)");
  write_rows(rows, layout, out);
  out.put(R"(],"constants":{)");
  for (size_t i = 0; i < layout.constants.size(); ++i) {
    if (i > 0) out.put(',');
    out.put(rows.keys.quoted(layout.constants[i].key));
    out.put(':');
    out.put(layout.constants[i].value);
  }
  out.put("}}");
  if (out.position() != document.data() + document.size()) throw InternalFault("document size mismatch");
  return document;
}

TransformResult columnarize_json(std::string_view payload) {
  ParsedRows parsed = parse_rows(payload);
  if (!parsed.ok) return {false, std::move(parsed.error)};
  const ColumnarLayout layout = build_layout(parsed.table);
  return {true, encode_document(parsed.table, layout)};
}

}  // namespace tc
