// The transform: payload bytes in, columnar document bytes or an error text out.
#pragma once
#include <string>
#include <string_view>

namespace tc {

struct RowTable;
struct ColumnarLayout;

// Exactly one of: the output document (ok) or the whole error text of a rejected payload.
struct TransformResult {
  bool ok = false;
  std::string text;
};

// Writes the document of a layout: exactly layout.output_size bytes.
[[nodiscard]] std::string encode_document(const RowTable& rows, const ColumnarLayout& layout);

// Pure function of the payload bytes; touches no shared state. Throws only std::bad_alloc
// and tc::InternalFault.
[[nodiscard]] TransformResult columnarize_json(std::string_view payload);

}  // namespace tc
