// Row intake: reads the payload as one JSON array whose elements must all be objects.
#pragma once
#include <memory_resource>
#include <string>
#include <string_view>

#include "codec/errors.hpp"
#include "codec/rows.hpp"
#include "codec/strings.hpp"

namespace tc {

// How the reader goes about it. Every choice gives the same bytes and messages; the defaults are
// the fastest, and tests take the others to check that.
struct ReadOptions {
  bool copy_compact_values = true;  // nested values compact already copied as they stand
  bool guess_indentation = true;    // pretty-printed lines read by the last indentation at their
                                    // depth (else as any whitespace is)
  bool reuse_repeated_values = true;  // a row member's object or array that repeats the last one
                                      // read for its member byte for byte copied from that cell
  bool read_number_rows = true;  // compact arrays of numbers as an array's elements read in one go
  bool read_number_runs = true;  // an array's numbers read in one go (else one element at a time)
  StringScan string_scan = widest_string_scan();
};

// The rows, or the whole error text. A syntax error anywhere wins over a non-object element;
// among non-object elements the first is reported.
struct ParsedRows {
  bool ok = false;
  RowTable table;
  std::string error;
};

// One pass over the payload: every cell's compact text is written while it is read. The
// tables are made in `memory`, which must outlive them.
[[nodiscard]] ParsedRows parse_rows(std::string_view payload, std::pmr::memory_resource* memory,
                                    const ReadOptions& options = {});

// The wrong-kind description of a top-level value that is not an array, or the error met
// while reading it. `pos` is at the value's first byte.
[[nodiscard]] ParseError describe_top_level(const char* input, size_t size, size_t pos);

// Debug quoting of a string given by its compact body: "…" with \" \\ \t \r \n \0 and \u{…}
// for characters that do not print.
[[nodiscard]] std::string debug_quote(std::string_view compact_body);

}  // namespace tc
