// Parse errors as values: a code and where it happened; texts are built only when reported.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tc {

enum class ErrorCode : uint8_t {
  kNone,
  kEofWhileParsingValue,
  kEofWhileParsingList,
  kEofWhileParsingObject,
  kEofWhileParsingString,
  kExpectedColon,
  kExpectedListCommaOrEnd,
  kExpectedObjectCommaOrEnd,
  kExpectedIdent,
  kExpectedValue,
  kInvalidEscape,
  kInvalidNumber,
  kNumberOutOfRange,
  kInvalidUnicodeCodePoint,
  kControlCharacter,
  kKeyMustBeAString,
  kLoneLeadingSurrogate,
  kUnexpectedEndOfHexEscape,
  kTrailingComma,
  kTrailingCharacters,
  kRecursionLimitExceeded,
  kInvalidType,  // the wrong-kind description; its text is carried in ParseError::detail
  kCount,
};

// Where an error points. kAtByte: `offset` is the offending byte itself (a line feed there
// stays on the line it ends). kBoundary: `offset` is a boundary between bytes (the end of the
// input, or just before a top-level object's brace); the position counts every byte before it.
enum class PointKind : uint8_t { kAtByte, kBoundary };

// What the reader's inner steps hand back: kNone, or an error with its point.
struct [[nodiscard]] ReadStatus {
  ErrorCode code = ErrorCode::kNone;
  PointKind point = PointKind::kAtByte;
  size_t offset = 0;

  [[nodiscard]] explicit operator bool() const { return code != ErrorCode::kNone; }
};

inline ReadStatus fail_at(ErrorCode code, size_t offset) { return {code, PointKind::kAtByte, offset}; }
inline ReadStatus fail_at_end(ErrorCode code, size_t size) { return {code, PointKind::kBoundary, size}; }

struct ParseError {
  ReadStatus status;
  std::string detail;  // only for kInvalidType: "invalid type: …, expected a sequence"
};

[[nodiscard]] std::string_view error_message(ErrorCode code);

// "<message> at line L column C", the position computed from the payload.
[[nodiscard]] std::string describe_error(const ParseError& error, std::string_view payload);

}  // namespace tc
