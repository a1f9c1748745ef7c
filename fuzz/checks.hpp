// The properties that every result of tc::columnarize_json must have, checked by the fuzz target.
#pragma once
#include <string>
#include <string_view>

#include "codec/document.hpp"

namespace tc::fuzz {

// Runs the transform on an exact-size heap copy of `payload`, so that ASan reports any read
// past its end.
[[nodiscard]] TransformResult transform_exact(std::string_view payload, const ReadOptions& options = {});

// Runs the transform on `payload` twice and checks both results: equal (determinism), the same
// as the general reader's (every shortcut of the reader off), and a valid output
// (check_output) or a valid error text (check_error_text); then that whitespace
// appended to the payload leaves the result unchanged, unless it was an end-of-input error.
// Returns the first violated property, or "" when all hold.
[[nodiscard]] std::string check_columnarize(std::string_view payload);

// Checks a successful output: canonical compact JSON, exactly the members "columns", "rows",
// "constants" in that order, names distinct and disjoint, one cell per column in every row,
// no all-null column, no column that should have been folded, and the output read back by the
// transform inside an array. Returns the violated property or "".
[[nodiscard]] std::string check_output(std::string_view output);

// Checks an error text for `payload`: a fixed prefix; a shown non-object element in compact
// form; or a known parse message with a position that points into the payload (end-of-input
// messages exactly at its end). Returns the violated property or "".
[[nodiscard]] std::string check_error_text(std::string_view payload, std::string_view text);

}  // namespace tc::fuzz
