// The reader: one recursive-descent pass that validates the grammar and writes compact text.
//
// Rows (objects directly inside the top-level array) are split into members: each value's
// compact text goes to the cell arena and the member records its key id and length. Nested
// values are written whole, as compact text, into the same arena. Keys are interned; the key
// that followed the previous key last time is tried first, which in a table of similar rows
// turns almost every key into one comparison.
//
// Duplicate keys are found with a per-key stamp of the object that holds it: rows replace the
// earlier member; a nested object with a repeat is rewritten once when it closes, keeping each
// key at its first position with its last value. Nested objects log the stamps they overwrite
// and restore them on close, so an enclosing object's view of its own keys survives.
#include "codec/reader.hpp"

#include <algorithm>
#include <cstring>

#include "codec/number.hpp"
#include "codec/scan.hpp"
#include "codec/strings.hpp"

namespace tc {
namespace {

constexpr unsigned kDepthStart = 128;
constexpr std::string_view kRowPrefix = "expected a JSON object row, got: ";
constexpr std::string_view kInvalidPrefix = "invalid row-oriented JSON: ";

class Reader {
 public:
  Reader(std::string_view payload, RowTable& table)
      : in_(payload.data()), size_(payload.size()), table_(table), cells_(table.cells) {
    // Cell text is rarely longer than the payload; reserving that much up front saves the
    // arena's regrowth copies, and pages never written are never touched.
    cells_.reserve(size_ + 64);
    table_.members.reserve(size_ / 32);
    table_.row_ends.reserve(size_ / 256);
    table_.row_keys.reserve(32);
    key_state_.reserve(64);
  }

  ReadStatus read_payload();
  [[nodiscard]] bool saw_non_object() const { return saw_non_object_; }
  [[nodiscard]] std::string_view first_non_object() const { return first_non_object_.view(); }

 private:
  struct OpenMember {
    uint32_t key;
    size_t value_begin;
    size_t value_end;
  };
  struct SavedStamp {
    uint32_t key;
    uint64_t stamp;
    size_t slot;
  };

  ReadStatus read_element();
  ReadStatus read_row();
  ReadStatus read_value(uint32_t context);
  ReadStatus read_array(uint32_t context);
  ReadStatus read_object(uint32_t context);
  [[gnu::always_inline]] inline ReadStatus read_literal(std::string_view word);
  [[gnu::always_inline]] inline ReadStatus read_key(uint32_t predicted, uint32_t& key);
  [[gnu::always_inline]] inline ReadStatus read_colon();
  [[gnu::always_inline]] inline ReadStatus after_member(bool& done);
  [[gnu::always_inline]] inline ReadStatus open_array(bool& done);
  [[gnu::always_inline]] inline ReadStatus after_element(bool& done);
  [[gnu::always_inline]] inline void remember_hint(uint32_t context, uint32_t previous, uint32_t key);
  [[gnu::always_inline]] inline uint32_t predict(uint32_t context, uint32_t previous) const;
  [[gnu::always_inline]] inline void add_row_member(uint32_t key, size_t length);
  void rewrite_object(size_t object_begin, size_t first_member);
  void ensure_key_state(uint32_t key);

  const char* in_;
  size_t size_;
  size_t pos_ = 0;
  unsigned depth_ = kDepthStart;
  RowTable& table_;
  ByteBuffer& cells_;
  ByteBuffer key_scratch_;
  ByteBuffer first_non_object_;
  bool saw_non_object_ = false;

  // Per key id.
  struct KeyState {
    uint64_t stamp = 0;           // serial of the innermost open object holding the key
    size_t slot = 0;              // where that object keeps the key's member
    uint32_t next_hint = kNoKey;  // the key that followed this one last time
    uint32_t first_hint = kNoKey; // first key of the last object that was this key's value
    bool is_row_key = false;
  };
  std::vector<KeyState> key_state_;  // by key id: one cache line per key
  uint32_t loose_first_hint_ = kNoKey;  // first key of rows and other objects outside a member
  uint64_t object_serial_ = 0;

  std::vector<OpenMember> open_members_;
  std::vector<SavedStamp> saved_stamps_;
};

void Reader::ensure_key_state(uint32_t key) {
  if (key_state_.size() <= key) key_state_.resize(std::max<size_t>(size_t{key} + 1, 2 * key_state_.size()));
}

uint32_t Reader::predict(uint32_t context, uint32_t previous) const {
  if (previous != kNoKey) return key_state_[previous].next_hint;
  if (context == kNoKey) return loose_first_hint_;
  return key_state_[context].first_hint;
}

void Reader::remember_hint(uint32_t context, uint32_t previous, uint32_t key) {
  if (previous != kNoKey) {
    key_state_[previous].next_hint = key;
  } else if (context == kNoKey) {
    loose_first_hint_ = key;
  } else {
    key_state_[context].first_hint = key;
  }
}

// `pos_` is at the key's opening quote.
ReadStatus Reader::read_key(uint32_t predicted, uint32_t& key) {
  ++pos_;
  if (predicted != kNoKey && table_.keys.matches_raw(predicted, in_, size_, pos_)) {
    pos_ += table_.keys.body_length(predicted) + 1;
    key = predicted;
    return {};
  }
  const size_t end = find_string_special(in_, size_, pos_);
  if (end < size_ && in_[end] == '"') {  // plain ASCII: the raw bytes are the key's text
    key = table_.keys.intern(std::string_view(in_ + pos_, end - pos_));
    pos_ = end + 1;
  } else {
    key_scratch_.clear();
    if (ReadStatus s = read_string_body(in_, size_, pos_, key_scratch_)) return s;
    key = table_.keys.intern(key_scratch_.view());
  }
  ensure_key_state(key);
  return {};
}

ReadStatus Reader::read_colon() {
  pos_ = skip_space(in_, size_, pos_);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingObject, size_);
  if (in_[pos_] != ':') return fail_at(ErrorCode::kExpectedColon, pos_);
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingValue, size_);
  return {};
}

// After a member's value: `}` ends the object; a comma must lead to another key.
ReadStatus Reader::after_member(bool& done) {
  pos_ = skip_space(in_, size_, pos_);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingObject, size_);
  char c = in_[pos_];
  if (c == '}') {
    ++pos_;
    done = true;
    return {};
  }
  if (c != ',') return fail_at(ErrorCode::kExpectedObjectCommaOrEnd, pos_);
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingValue, size_);
  if (in_[pos_] == '}') return fail_at(ErrorCode::kTrailingComma, pos_);
  if (in_[pos_] != '"') return fail_at(ErrorCode::kKeyMustBeAString, pos_);
  return {};
}

// `pos_` is at an array's `[`: consumes it; an empty array is done at once.
ReadStatus Reader::open_array(bool& done) {
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingList, size_);
  if (in_[pos_] == ']') {
    ++pos_;
    done = true;
  }
  return {};
}

// After an array element: `]` ends the array; a comma must lead to another element.
ReadStatus Reader::after_element(bool& done) {
  pos_ = skip_space(in_, size_, pos_);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingList, size_);
  if (in_[pos_] == ']') {
    ++pos_;
    done = true;
    return {};
  }
  if (in_[pos_] != ',') return fail_at(ErrorCode::kExpectedListCommaOrEnd, pos_);
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingValue, size_);
  if (in_[pos_] == ']') return fail_at(ErrorCode::kTrailingComma, pos_);
  return {};
}

void Reader::add_row_member(uint32_t key, size_t length) {
  std::vector<Member>& members = table_.members;
  members.push_back({key, static_cast<uint32_t>(length < kMaxMemberLength ? length : kMaxMemberLength)});
  for (length -= members.back().length; length > 0; length -= members.back().length) {
    members.push_back({kMoreBytes, static_cast<uint32_t>(length < kMaxMemberLength ? length : kMaxMemberLength)});
  }
}

// `pos_` is at the row's `{`; a row sits at the second level, below any depth limit.
ReadStatus Reader::read_row() {
  --depth_;
  const uint64_t serial = ++object_serial_;
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingObject, size_);
  if (in_[pos_] == '}') {
    ++pos_;
  } else {
    if (in_[pos_] != '"') return fail_at(ErrorCode::kKeyMustBeAString, pos_);
    uint32_t previous = kNoKey;
    for (bool done = false; !done;) {
      uint32_t key = kNoKey;
      if (ReadStatus s = read_key(predict(kNoKey, previous), key)) return s;
      remember_hint(kNoKey, previous, key);
      if (ReadStatus s = read_colon()) return s;
      const size_t begin = cells_.size();
      if (ReadStatus s = read_value(key)) return s;
      if (key_state_[key].stamp == serial) {
        table_.members[key_state_[key].slot].key = kReplacedMember;
      } else {
        key_state_[key].stamp = serial;
        if (!key_state_[key].is_row_key) {
          key_state_[key].is_row_key = true;
          table_.row_keys.push_back(key);
        }
      }
      key_state_[key].slot = table_.members.size();
      add_row_member(key, cells_.size() - begin);
      previous = key;
      if (ReadStatus s = after_member(done)) return s;
    }
  }
  ++depth_;
  table_.row_ends.push_back(table_.members.size());
  return {};
}

ReadStatus Reader::read_literal(std::string_view word) {
  if (size_ - pos_ >= word.size() && std::memcmp(in_ + pos_, word.data(), word.size()) == 0) {
    pos_ += word.size();
  } else {
    for (size_t i = 1; i < word.size(); ++i) {
      if (pos_ + i == size_) return fail_at_end(ErrorCode::kEofWhileParsingValue, size_);
      if (in_[pos_ + i] != word[i]) return fail_at(ErrorCode::kExpectedIdent, pos_ + i);
    }
  }
  cells_.append(word);
  return {};
}

// `pos_` is at the value's first byte (never at the end).
ReadStatus Reader::read_value(uint32_t context) {
  switch (in_[pos_]) {
    case '"': {
      // Most strings are plain ASCII without escapes: their text is already compact.
      const size_t end = find_string_special(in_, size_, pos_ + 1);
      if (end < size_ && in_[end] == '"') {
        cells_.append(in_ + pos_, end + 1 - pos_);
        pos_ = end + 1;
        return {};
      }
      ++pos_;
      cells_.push('"');
      if (ReadStatus s = read_string_body(in_, size_, pos_, cells_)) return s;
      cells_.push('"');
      return {};
    }
    case '{': return read_object(context);
    case '[': return read_array(context);
    case 'n': return read_literal("null");
    case 't': return read_literal("true");
    case 'f': return read_literal("false");
    case '-': case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return read_number(in_, size_, pos_, cells_);
    default: return fail_at(ErrorCode::kExpectedValue, pos_);
  }
}

ReadStatus Reader::read_array(uint32_t context) {
  if (depth_ == 1) return fail_at(ErrorCode::kRecursionLimitExceeded, pos_);
  --depth_;
  cells_.push('[');
  bool done = false;
  if (ReadStatus s = open_array(done)) return s;
  if (done) cells_.push(']');
  while (!done) {
    if (ReadStatus s = read_value(context)) return s;
    if (ReadStatus s = after_element(done)) return s;
    cells_.push(done ? ']' : ',');
  }
  ++depth_;
  return {};
}

ReadStatus Reader::read_object(uint32_t context) {
  if (depth_ == 1) return fail_at(ErrorCode::kRecursionLimitExceeded, pos_);
  --depth_;
  const size_t object_begin = cells_.size();
  const size_t first_member = open_members_.size();
  const size_t first_saved = saved_stamps_.size();
  const uint64_t serial = ++object_serial_;
  bool rewrite = false;
  cells_.push('{');
  pos_ = skip_space(in_, size_, pos_ + 1);
  if (pos_ == size_) return fail_at_end(ErrorCode::kEofWhileParsingObject, size_);
  if (in_[pos_] != '}') {
    if (in_[pos_] != '"') return fail_at(ErrorCode::kKeyMustBeAString, pos_);
    uint32_t previous = kNoKey;
    for (bool done = false; !done;) {
      uint32_t key = kNoKey;
      if (ReadStatus s = read_key(predict(context, previous), key)) return s;
      remember_hint(context, previous, key);
      if (ReadStatus s = read_colon()) return s;
      const bool repeated = key_state_[key].stamp == serial;
      if (!repeated) {
        saved_stamps_.push_back({key, key_state_[key].stamp, key_state_[key].slot});
        key_state_[key].stamp = serial;
        key_state_[key].slot = open_members_.size();
      }
      if (open_members_.size() > first_member || repeated) cells_.push(',');
      cells_.append(table_.keys.quoted(key));
      cells_.push(':');
      const size_t value_begin = cells_.size();
      if (ReadStatus s = read_value(key)) return s;
      if (repeated) {
        rewrite = true;
        open_members_[key_state_[key].slot].value_begin = value_begin;
        open_members_[key_state_[key].slot].value_end = cells_.size();
      } else {
        open_members_.push_back({key, value_begin, cells_.size()});
      }
      previous = key;
      if (ReadStatus s = after_member(done)) return s;
    }
  } else {
    ++pos_;
  }
  cells_.push('}');
  if (rewrite) rewrite_object(object_begin, first_member);
  for (size_t i = saved_stamps_.size(); i > first_saved; --i) {
    const SavedStamp& saved = saved_stamps_[i - 1];
    key_state_[saved.key].stamp = saved.stamp;
    key_state_[saved.key].slot = saved.slot;
  }
  saved_stamps_.resize(first_saved);
  open_members_.resize(first_member);
  ++depth_;
  return {};
}

// Writes the object again from its members: each key once, at its first position, with its
// last value. Rare (only objects with a repeated key), and linear in the object's text.
void Reader::rewrite_object(size_t object_begin, size_t first_member) {
  ByteBuffer text;
  text.push('{');
  for (size_t i = first_member; i < open_members_.size(); ++i) {
    const OpenMember& m = open_members_[i];
    if (i > first_member) text.push(',');
    text.append(table_.keys.quoted(m.key));
    text.push(':');
    text.append(cells_.data() + m.value_begin, m.value_end - m.value_begin);
  }
  text.push('}');
  cells_.resize_down(object_begin);
  cells_.append(text.view());
}

// One element of the top-level array; `pos_` is at its first byte.
ReadStatus Reader::read_element() {
  if (in_[pos_] == '{') return read_row();
  const size_t begin = cells_.size();
  if (ReadStatus s = read_value(kNoKey)) return s;
  if (!saw_non_object_) {
    saw_non_object_ = true;
    first_non_object_.append(cells_.data() + begin, cells_.size() - begin);
  }
  cells_.resize_down(begin);
  return {};
}

ReadStatus Reader::read_payload() {
  pos_ = skip_space(in_, size_, 0);
  // The caller has already handled an empty payload and a non-array top level.
  --depth_;
  bool done = false;
  if (ReadStatus s = open_array(done)) return s;
  while (!done) {
    if (ReadStatus s = read_element()) return s;
    if (ReadStatus s = after_element(done)) return s;
  }
  ++depth_;
  pos_ = skip_space(in_, size_, pos_);
  if (pos_ != size_) return fail_at(ErrorCode::kTrailingCharacters, pos_);
  return {};
}

[[gnu::cold]] std::string invalid_json(const ParseError& error, std::string_view payload) {
  std::string text(kInvalidPrefix);
  text += describe_error(error, payload);
  return text;
}

}  // namespace

ParsedRows parse_rows(std::string_view payload) {
  ParsedRows result;
  const char* input = payload.data();
  const size_t size = payload.size();
  size_t start = skip_space(input, size, 0);
  if (start == size) {
    result.error = invalid_json({fail_at_end(ErrorCode::kEofWhileParsingValue, size), {}}, payload);
    return result;
  }
  if (input[start] != '[') {
    result.error = invalid_json(describe_top_level(input, size, start), payload);
    return result;
  }
  Reader reader(payload, result.table);
  if (ReadStatus s = reader.read_payload()) {
    result.error = invalid_json({s, {}}, payload);
    return result;
  }
  if (reader.saw_non_object()) {
    result.error = std::string(kRowPrefix);
    result.error += reader.first_non_object();
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace tc
