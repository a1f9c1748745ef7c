// The transform: payload bytes in, columnar document bytes or an error text out.
#pragma once
#include <cstddef>
#include <memory_resource>
#include <string>
#include <string_view>

#include "codec/layout.hpp"
#include "codec/reader.hpp"

namespace tc {

// Exactly one of: the output document (ok) or the whole error text of a rejected payload.
struct TransformResult {
  bool ok = false;
  std::string text;
};

// Writes the document of a layout into `out`, which has room for exactly layout.output_size
// bytes. Throws InternalFault if the count written disagrees.
void encode_document(const RowTable& rows, const ColumnarLayout& layout, char* out);

// A payload read and laid out: the document's exact size is known before a byte of it is
// written, so the caller can provide the final buffer (or fail at once when it cannot). Its
// tables live in the memory given to prepare_document, which must outlive it.
struct PreparedDocument {
  // Built where it stands: the tables are neither moved nor copied on the way.
  PreparedDocument(std::string_view payload, std::pmr::memory_resource* memory, const ReadOptions& options = {})
      : rows(parse_rows(payload, memory, options)), layout(rows.ok ? build_layout(rows.table) : ColumnarLayout(memory)) {}

  ParsedRows rows;        // rows.error holds the whole error text when !ok()
  ColumnarLayout layout;

  [[nodiscard]] bool ok() const { return rows.ok; }
  [[nodiscard]] size_t size() const { return layout.output_size; }
  void write(char* out) const { encode_document(rows.table, layout, out); }
};
[[nodiscard]] PreparedDocument prepare_document(std::string_view payload, std::pmr::memory_resource* memory,
                                                const ReadOptions& options = {});

// Pure function of the payload bytes; touches no shared state. Throws only std::bad_alloc
// and tc::InternalFault.
[[nodiscard]] TransformResult columnarize_json(std::string_view payload, const ReadOptions& options = {});

}  // namespace tc
