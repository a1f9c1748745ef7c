// The reader: one recursive-descent pass that validates the grammar and writes compact text.
//
// Rows (objects directly inside the top-level array) are split into members: each value's
// compact text goes to the cell arena and the member records its key id and length. Nested
// values are written whole, as compact text, into the same arena; those that are compact
// already are copied as they stand (compact_copy.hpp). Keys are interned; the key
// that followed the previous key last time is tried first, which in a table of similar rows
// turns almost every key into one comparison.
//
// Duplicate keys are found with a per-key stamp of the object that holds it: rows replace the
// earlier member; a nested object with a repeat is rewritten once when it closes, keeping each
// key at its first position with its last value. A nested object that overwrites the stamp of
// an enclosing object, still open, logs it and restores it on close, so that object's view of
// its own keys survives; a stamp of an object already closed is overwritten freely.
#include "codec/reader.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "codec/compact_copy.hpp"
#include "codec/layout.hpp"
#include "codec/number.hpp"
#include "codec/portable.hpp"
#include "codec/prefault.hpp"
#include "codec/record_stack.hpp"
#include "codec/scan.hpp"
#include "codec/strings.hpp"

namespace tc {
namespace {

constexpr unsigned kDepthStart = 128;
// Nested values that copy_compact_value could not settle before it is no longer tried.
constexpr unsigned kCompactCopyMisses = 16;
// Tables taken from the heap one by one (a large payload's, or a caller's own).
std::pmr::memory_resource* const kHeap = std::pmr::new_delete_resource();
constexpr std::string_view kRowPrefix = "expected a JSON object row, got: ";
constexpr std::string_view kInvalidPrefix = "invalid row-oriented JSON: ";

// Positions are pointers into the payload, passed in and handed back by value so that they
// stay in registers: every step takes the position it starts at and returns the one just past
// what it read, or nullptr once it has recorded an error in `error_`.
using Pos = const char*;

class Reader {
 public:
  Reader(std::string_view payload, RowTable& table, const ReadOptions& options)
      : begin_(payload.data()),
        end_(payload.data() + payload.size()),
        table_(table),
        cells_(table.cells),
        key_state_(table.memory()),
        stats_(table.memory()),
        open_members_(table.memory()),
        saved_stamps_(table.memory()),
        string_scan_(options.string_scan),
        guess_indentation_(options.guess_indentation),
        reuse_repeated_values_(options.reuse_repeated_values),
        read_number_rows_(options.read_number_rows),
        read_number_runs_(options.read_number_runs),
        compact_copy_misses_left_(options.copy_compact_values ? kCompactCopyMisses : 0) {
    // Cell text is rarely longer than the payload, and a member rarely takes under 16 bytes
    // of it; reserving that much up front saves regrowth copies, and pages never written are
    // never touched. The cells go where the tables go, unless those come from the heap one by
    // one: then they are a block of their own, which grows in place where it can.
    if (table.memory() != kHeap) {
      cells_.start_in(table.memory(), payload.size() + 64);
    } else {
      cells_.reserve(payload.size() + 64);
    }
    table_.members.reserve(payload.size() / 16);
    table_.row_ends.reserve(payload.size() / 256);
    table_.row_keys.reserve(32);
    table_.keys.expect_payload(payload.size());
    key_state_.reserve(64);
    stats_.reserve(64);
    open_serials_[0] = UINT64_MAX;  // no object is at depth 0: a fresh key's stamp is of none
  }

  ReadStatus read_payload();
  void hand_over_stats();
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
    uint8_t depth;
  };

  void prefault_ahead();
  Pos read_element(Pos p);
  Pos read_row(Pos p);
  TC_ALWAYS_INLINE Pos read_inner_value(Pos p, uint32_t context);
  TC_ALWAYS_INLINE Pos read_member_value(Pos p, uint32_t key);
  TC_NOINLINE Pos read_nested_member_value(Pos p, uint32_t key);
  TC_ALWAYS_INLINE Pos copy_nested_value(Pos p, unsigned set, Separators separators);
  Pos read_value(Pos p, uint32_t context);
  Pos read_array(Pos p, uint32_t context);
  Pos read_object(Pos p, uint32_t context);
  Pos read_number_at(Pos p);
  // Inlined at both its callers, read_array's loop and read_number_rows'.
  TC_ALWAYS_INLINE Pos read_numbers(Pos p);
  TC_NOINLINE Pos read_number_rows(Pos p, bool& done);
  // Whether an array opens at `p` (not the end) with a number right after its '['.
  [[nodiscard]] bool number_row_at(Pos p) const {
    return *p == '[' && end_ - p > 1 && (p[1] == '-' || is_decimal_digit(p[1]));
  }
  Pos read_escaped_string(Pos p, Pos special);
  TC_ALWAYS_INLINE Pos read_string(Pos p);
  TC_ALWAYS_INLINE Pos read_literal(Pos p, std::string_view word);
  TC_ALWAYS_INLINE Pos read_key(Pos p, uint32_t predicted, uint32_t& key);
  TC_ALWAYS_INLINE Pos read_colon(Pos p);
  TC_ALWAYS_INLINE Pos next_line_token(Pos line, unsigned depth, char want);
  TC_ALWAYS_INLINE Pos skip_after_open(Pos p);
  TC_ALWAYS_INLINE Pos after_member(Pos p, bool& done);
  TC_ALWAYS_INLINE Pos open_array(Pos p, bool& done);
  TC_ALWAYS_INLINE Pos after_element(Pos p, bool& done);
  TC_ALWAYS_INLINE void remember_hint(uint32_t context, uint32_t previous, uint32_t key);
  TC_ALWAYS_INLINE uint32_t predict(uint32_t context, uint32_t previous) const;
  TC_ALWAYS_INLINE void add_row_member(uint32_t key, size_t length);
  TC_ALWAYS_INLINE void note_row_cell(uint32_t key, size_t begin, size_t length, bool first_row);
  uint32_t intern_escaped_key(Pos& p, size_t special);
  void rewrite_object(size_t object_begin, size_t first_member);
  void ensure_key_state(uint32_t key) {
    if (key >= key_state_.size()) grow_key_state(key);
  }
  TC_NOINLINE void grow_key_state(uint32_t key);
  uint8_t learn_indent(Pos line, Pos token);

  [[nodiscard]] size_t offset(Pos p) const { return static_cast<size_t>(p - begin_); }
  [[nodiscard]] Pos skip(Pos p) const { return skip_space(p, end_); }
  TC_COLD Pos fail(ReadStatus status) {
    error_ = status;
    return nullptr;
  }
  TC_COLD Pos fail_here(ErrorCode code, Pos p) { return fail(fail_at(code, offset(p))); }
  TC_COLD Pos fail_at_eof(ErrorCode code) { return fail(fail_at_end(code, offset(end_))); }

  const char* const begin_;
  const char* const end_;
  ReadStatus error_;
  unsigned depth_ = kDepthStart;
  // The serial of the last object opened at each depth: while an object is open, the entry at
  // its depth is its own (the objects inside it are deeper). A stamp of a closed object may
  // still match its entry, and is then logged and restored for nothing. Entries are written
  // when an object opens, before any stamp can name their depth.
  std::array<uint64_t, kDepthStart + 1> open_serials_;
  // The guessed indentation of the members or elements of the open object or array at each
  // depth, in a pretty-printed payload (guess_line_start), and the byte it is made of: one for
  // the whole payload, as payloads are indented with spaces or with tabs throughout.
  std::array<uint8_t, kDepthStart + 1> indents_{};
  IndentFill indent_fill_ = indent_fill(' ');
  RowTable& table_;
  ByteBuffer& cells_;
  ByteBuffer key_scratch_;
  ByteBuffer first_non_object_;
  bool saw_non_object_ = false;

  // Per key id.
  static constexpr uint8_t kNoValueSet = 0xFF;
  struct KeyState {
    uint64_t stamp = 0;           // serial of the last object to hold the key
    size_t slot = 0;              // where that object keeps the key's member
    uint32_t next_hint = kNoKey;  // the key that followed this one last time
    uint32_t first_hint = kNoKey; // first key of the last object that was this key's value
    bool is_row_key = false;
    uint8_t depth = 0;            // that object's depth: it is open while open_serials_ has it
    uint8_t value_set = kNoValueSet;  // as a row key with nested values: their hint set
  };
  std::pmr::vector<KeyState> key_state_;  // by key id: one cache line per key

  // What the layout needs per row key, with the first cell kept as arena offsets (the arena
  // may still move) until it is handed over. Gathered until a row repeats a key.
  struct CellStats {
    KeyStats counts;
    size_t first_begin = 0;
    size_t first_length = 0;
  };
  std::pmr::vector<CellStats> stats_;
  bool gathering_stats_ = true;
  uint32_t loose_first_hint_ = kNoKey;  // first key of rows and other objects outside a member
  uint64_t object_serial_ = 0;

  RecordStack<OpenMember> open_members_;
  RecordStack<SavedStamp> saved_stamps_;

  const StringScan string_scan_;
  const bool guess_indentation_;
  const bool reuse_repeated_values_;
  const bool read_number_rows_;
  const bool read_number_runs_;
  unsigned compact_copy_misses_left_;  // tries of copy_compact_value that may still fail
  // Hints for the copy, by the row member whose value is copied (a few sets, given out to the
  // members in the order their first nested values come, and shared once all are given out):
  // one member's values are alike, and different members' values would keep displacing each
  // other's known keys. Each made at its first try: a small payload's few nested values use one
  // or two.
  static constexpr unsigned kHintSets = 4;
  unsigned sets_given_ = 0;
  std::array<std::optional<CompactCopyHints>, kHintSets> compact_copy_hints_;
  // The last object or array read as a row member's value, by the same sets: its text in the
  // payload and its compact text in the cells. Rows often repeat a nested value whole (an
  // owner, a license, a status object), and the same bytes are the same value.
  struct LastValue {
    const char* text;    // set with a length
    size_t length = 0;   // 0: none, or too short to be worth comparing
    size_t cell_begin;
    size_t cell_length;
  };
  std::array<LastValue, kHintSets> last_values_;  // only the lengths are set at first

  // How far ahead of their use the cell arena and the member list are mapped (bytes).
  size_t cells_mapped_ = 0;
  size_t members_mapped_ = 0;
};

// The arena and the member list of a large payload grow into fresh pages row after row; they
// are mapped a stretch ahead at a time instead of page by page. Checked once per row.
void Reader::prefault_ahead() {
  // `mapped` is how far into a buffer of `room` bytes, `used` of them written, is mapped.
  auto map_ahead = [](char* data, size_t used, size_t room, size_t& mapped) {
    constexpr size_t kStretch = 256 * 1024;
    if (used + kStretch / 2 <= mapped || mapped >= room) return;
    const size_t from = std::max(mapped, used);
    mapped = std::min(from + kStretch, room);
    prefault_for_writing(data + from, mapped - from);
  };
  map_ahead(cells_.data(), cells_.size(), cells_.capacity(), cells_mapped_);
  std::pmr::vector<Member>& members = table_.members;
  map_ahead(reinterpret_cast<char*>(members.data()), members.size() * sizeof(Member),
            members.capacity() * sizeof(Member), members_mapped_);
}

void Reader::grow_key_state(uint32_t key) {
  // Straight to 8 keys: each step costs a call, and a one-key payload should not pay for more.
  key_state_.resize(std::max<size_t>({size_t{key} + 1, 2 * key_state_.size(), 8}));
  stats_.resize(key_state_.size());
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

// `p` is just past the key's opening quote, and the key has an escape or a non-ASCII byte, the
// first of which is at `special`.
uint32_t Reader::intern_escaped_key(Pos& p, size_t special) {
  key_scratch_.clear();
  size_t pos = offset(p);
  if (ReadStatus s = read_string_body(begin_, offset(end_), pos, special, key_scratch_, string_scan_)) {
    fail(s);
    p = nullptr;
    return kNoKey;
  }
  p = begin_ + pos;
  return table_.keys.intern(key_scratch_.view(), key_scratch_.view().find('\\') == std::string_view::npos);
}

// `p` is at the key's opening quote.
Pos Reader::read_key(Pos p, uint32_t predicted, uint32_t& key) {
  ++p;
  if (predicted != kNoKey && table_.keys.matches_raw(predicted, p, end_)) {
    key = predicted;
    return p + table_.keys.body_length(predicted) + 1;
  }
#if defined(TC_SSE2)
  // Mispredicted, as in tables whose rows hold keys in any order, or new: a short plain key is
  // found or added by its 16 bytes, without a scan or a byte compare.
  if (end_ - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned length = count_trailing_zeros(string_specials(bytes) | 0x10000u);
    if (length < 16 && p[length] == '"') {
      key = table_.keys.intern_short(bytes, length);
      ensure_key_state(key);
      return p + length + 1;
    }
  }
#endif
  const size_t special = find_string_special(begin_, offset(end_), offset(p));
  Pos close = begin_ + special;
  if (close < end_ && *close == '"') {  // plain ASCII: the raw bytes are the key's text
    key = table_.keys.intern(std::string_view(p, static_cast<size_t>(close - p)), true);
    p = close + 1;
  } else {
    key = intern_escaped_key(p, special);
    if (p == nullptr) return nullptr;
  }
  ensure_key_state(key);
  return p;
}

// The separators of most payloads are either compact or spaced as `": "` and `", "`: with three
// bytes left, those spellings are settled by a few comparisons before the general path, which
// takes any whitespace and reports what is wrong.
inline bool is_token(char c) { return static_cast<unsigned char>(c) > 0x20; }

Pos Reader::read_colon(Pos p) {
  if (end_ - p >= 3 && p[0] == ':') {
    if (is_token(p[1])) return p + 1;
    if (p[1] == ' ' && is_token(p[2])) return p + 2;
  }
  p = skip(p);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingObject);
  if (*p != ':') return fail_here(ErrorCode::kExpectedColon, p);
  p = skip(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingValue);
  return p;
}

// How far a line's indentation may be guessed (guess_line_start).
constexpr unsigned kMaxGuessedIndent = 31;

// `line` is just past a line break in a pretty-printed payload. The members or elements of one
// object or array share their indentation: `indent` is the last one's, and it is checked rather
// than scanned for (see fill_ahead). Where the next token is, or `line` when the guess fails.
TC_ALWAYS_INLINE Pos guess_line_start(Pos line, Pos end, unsigned indent, const IndentFill& fill) {
  if (end - line > 32 && is_token(line[indent]) && fill_ahead(line, indent, fill)) return line + indent;
  return line;
}

// After a line break that the guess did not settle: the indentation, as the next guess at this
// depth, if it is all spaces or all tabs (as its first byte says, which sets the payload's fill;
// the check of the next guess settles the rest). `token` is at most the end, so a line that has
// any indentation has its first byte.
uint8_t Reader::learn_indent(Pos line, Pos token) {
  const auto indent = static_cast<size_t>(token - line);
  if (indent == 0 || indent > kMaxGuessedIndent || (*line != ' ' && *line != '\t')) return 0;
  if (*line != indent_fill_.bytes[0]) indent_fill_ = indent_fill(*line);
  return static_cast<uint8_t>(indent);
}

// `line` is just past a line break: the next key (`want` a quote), a closing bracket (`want`
// it) or element (`want` 0: any token but `]`), or nullptr for anything else, which the general
// path then reads again. The line is indented as the members or elements at `depth`.
Pos Reader::next_line_token(Pos line, unsigned depth, char want) {
  if (!guess_indentation_) return nullptr;
  uint8_t& indent = indents_[depth];
  const auto fits = [want](char c) { return want != 0 ? c == want : is_token(c) && c != ']'; };
  Pos token = guess_line_start(line, end_, indent, indent_fill_);
  if (token != line && fits(*token)) return token;
  token = skip_space_run(line, end_);
  if (token == end_ || !fits(*token)) return nullptr;
  indent = learn_indent(line, token);
  return token;
}

// `p` is just past the `{` or `[` of the object or array at `depth_`: the first token inside,
// or the end. A line break there is followed by the indentation of the members or elements.
Pos Reader::skip_after_open(Pos p) {
  if (p != end_ && is_token(*p)) return p;  // compact
  if (p == end_ || *p != '\n' || !guess_indentation_) return skip(p);
  const Pos line = p + 1;
  uint8_t& indent = indents_[depth_];
  const Pos token = guess_line_start(line, end_, indent, indent_fill_);
  if (token != line) return token;
  p = skip_space_run(line, end_);
  indent = learn_indent(line, p);
  return p;
}

// After a member's value: `}` ends the object; a comma must lead to another key.
Pos Reader::after_member(Pos p, bool& done) {
  if (end_ - p >= 3) {
    if (p[0] == ',') {
      if (p[1] == '"') return p + 1;
      if (p[1] == ' ' && p[2] == '"') return p + 2;
      // Pretty-printed: the next key on a line of its own.
      if (p[1] == '\n') {
        if (Pos key = next_line_token(p + 2, depth_, '"')) return key;
      }
    } else if (p[0] == '}') {
      done = true;
      return p + 1;
    } else if (p[0] == '\n') {
      // On a line of its own, indented as the member or element that holds it.
      if (Pos close = next_line_token(p + 1, depth_ + 1, '}')) {
        done = true;
        return close + 1;
      }
    }
  }
  p = skip(p);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingObject);
  if (*p == '}') {
    done = true;
    return p + 1;
  }
  if (*p != ',') return fail_here(ErrorCode::kExpectedObjectCommaOrEnd, p);
  p = skip(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingValue);
  if (*p == '}') return fail_here(ErrorCode::kTrailingComma, p);
  if (*p != '"') return fail_here(ErrorCode::kKeyMustBeAString, p);
  return p;
}

// `p` is at an array's `[`: consumes it; an empty array is done at once.
Pos Reader::open_array(Pos p, bool& done) {
  p = skip_after_open(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingList);
  if (*p == ']') {
    done = true;
    return p + 1;
  }
  return p;
}

// After an array element: `]` ends the array; a comma must lead to another element.
Pos Reader::after_element(Pos p, bool& done) {
  if (end_ - p >= 3) {
    if (p[0] == ',') {
      if (is_token(p[1]) && p[1] != ']') return p + 1;
      if (p[1] == ' ' && is_token(p[2]) && p[2] != ']') return p + 2;
      if (p[1] == '\n') {
        if (Pos element = next_line_token(p + 2, depth_, 0)) return element;
      }
    } else if (p[0] == ']') {
      done = true;
      return p + 1;
    } else if (p[0] == '\n') {
      // On a line of its own, indented as the member or element that holds it.
      if (Pos close = next_line_token(p + 1, depth_ + 1, ']')) {
        done = true;
        return close + 1;
      }
    }
  }
  p = skip(p);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingList);
  if (*p == ']') {
    done = true;
    return p + 1;
  }
  if (*p != ',') return fail_here(ErrorCode::kExpectedListCommaOrEnd, p);
  p = skip(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingValue);
  if (*p == ']') return fail_here(ErrorCode::kTrailingComma, p);
  return p;
}

void Reader::add_row_member(uint32_t key, size_t length) {
  std::pmr::vector<Member>& members = table_.members;
  members.push_back({key, static_cast<uint32_t>(length < kMaxMemberLength ? length : kMaxMemberLength)});
  for (length -= members.back().length; length > 0; length -= members.back().length) {
    members.push_back({kMoreBytes, static_cast<uint32_t>(length < kMaxMemberLength ? length : kMaxMemberLength)});
  }
}

void Reader::note_row_cell(uint32_t key, size_t begin, size_t length, bool first_row) {
  CellStats& s = stats_[key];
  const std::string_view text = cells_.view(begin, length);
  // Null or not, decided without a branch: cells of every kind alternate in a wide table.
  bool is_null = false;
  if (cells_.capacity() - begin >= 4) {
    uint32_t word;
    std::memcpy(&word, cells_.data() + begin, 4);
    uint32_t null_word;
    std::memcpy(&null_word, "null", 4);
    is_null = (length == 4) & (word == null_word);
  } else {
    is_null = text == "null";
  }
  if (first_row) {
    s.first_begin = begin;
    s.first_length = length;
  }
  count_cell(s.counts, text, is_null, first_row, cells_.view(s.first_begin, s.first_length));
}

// Called once the arena has stopped moving: the first cells become views into it.
void Reader::hand_over_stats() {
  table_.stats_gathered = gathering_stats_;
  if (!gathering_stats_) return;
  table_.key_stats.resize(table_.keys.size());
  for (uint32_t key : table_.row_keys) {
    const CellStats& s = stats_[key];
    table_.key_stats[key] = s.counts;
    table_.key_stats[key].first = cells_.view(s.first_begin, s.first_length);
  }
}

// `p` is at the row's `{`; a row sits at the second level, below any depth limit.
Pos Reader::read_row(Pos p) {
  --depth_;
  const uint64_t serial = ++object_serial_;
  open_serials_[depth_] = serial;
  p = skip_after_open(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingObject);
  if (*p == '}') {
    ++p;
  } else {
    if (*p != '"') return fail_here(ErrorCode::kKeyMustBeAString, p);
    uint32_t previous = kNoKey;
    const bool first_row = table_.row_ends.empty();
    for (bool done = false; !done;) {
      uint32_t key = kNoKey;
      if (!(p = read_key(p, predict(kNoKey, previous), key))) return nullptr;
      remember_hint(kNoKey, previous, key);
      if (!(p = read_colon(p))) return nullptr;
      const size_t begin = cells_.size();
      p = read_member_value(p, key);
      if (p == nullptr) return nullptr;
      KeyState& state = key_state_[key];
      if (state.stamp == serial) {
        table_.members[state.slot].key = kReplacedMember;
        gathering_stats_ = false;
      } else {
        state.stamp = serial;
        state.depth = static_cast<uint8_t>(depth_);
        if (!state.is_row_key) {
          state.is_row_key = true;
          table_.row_keys.push_back(key);
        }
      }
      state.slot = table_.members.size();
      const size_t length = cells_.size() - begin;
      add_row_member(key, length);
      if (gathering_stats_) note_row_cell(key, begin, length, first_row);
      previous = key;
      if (!(p = after_member(p, done))) return nullptr;
    }
  }
  ++depth_;
  table_.row_ends.push_back(table_.members.size());
  return p;
}

Pos Reader::read_literal(Pos p, std::string_view word) {
  if (static_cast<size_t>(end_ - p) >= word.size() && std::memcmp(p, word.data(), word.size()) == 0) {
    cells_.append(word);
    return p + word.size();
  }
  for (size_t i = 1; i < word.size(); ++i) {
    if (p + i == end_) return fail_at_eof(ErrorCode::kEofWhileParsingValue);
    if (p[i] != word[i]) return fail_here(ErrorCode::kExpectedIdent, p + i);
  }
  return p;  // not reached: a mismatch or the end comes first
}

// `p` is at a string's opening quote. Most strings are well-formed UTF-8 without escapes:
// their text is already compact.
Pos Reader::read_string(Pos p) {
  Pos close = begin_ + skip_string_text(begin_, offset(end_), offset(p) + 1, string_scan_);
  if (close < end_ && *close == '"') {
    cells_.append_text(p, static_cast<size_t>(close + 1 - p), static_cast<size_t>(end_ - p));
    return close + 1;
  }
  return read_escaped_string(p, close);
}

// `p` is at the opening quote, and `special` at the first byte of the string that needs a
// closer look (see read_string_body), or at the end.
Pos Reader::read_escaped_string(Pos p, Pos special) {
  size_t pos = offset(p) + 1;
  cells_.push('"');
  if (ReadStatus s = read_string_body(begin_, offset(end_), pos, offset(special), cells_, string_scan_)) return fail(s);
  cells_.push('"');
  return begin_ + pos;
}

Pos Reader::read_number_at(Pos p) {
  size_t pos = offset(p);
  if (ReadStatus s = read_number(begin_, offset(end_), pos, cells_)) return fail(s);
  return begin_ + pos;
}

// A member's value or an array's element: strings and numbers, most values, are read in place.
Pos Reader::read_inner_value(Pos p, uint32_t context) {
  if (*p == '"') return read_string(p);
  if (*p == '-' || is_decimal_digit(*p)) return read_number_at(p);
  return read_value(p, context);
}

// A row member's nested value copied as it stands (see copy_compact_value), with the hints of
// `set`: where it ends, or nullptr with nothing written when the copy does not settle it.
Pos Reader::copy_nested_value(Pos p, unsigned set, Separators separators) {
  std::optional<CompactCopyHints>& hints = compact_copy_hints_[set];
  if (!hints) hints.emplace();
  const size_t begin = cells_.size();
  Pos after = copy_compact_value(begin_, end_, p, depth_ - 1, *hints, cells_, string_scan_, separators);
  if (after == nullptr) {
    cells_.resize_down(begin);
    --compact_copy_misses_left_;
  }
  return after;
}

// Values shorter than this are read again as cheaply as they would be compared.
constexpr size_t kMinRepeatedValue = 32;

// Whether the first 24 and the last 8 bytes of two texts of `length` bytes (kMinRepeatedValue
// at least) are alike: most values that differ from the last one differ there (pretty-printed
// ones begin with a line break and indentation, so eight bytes are not enough), and are told
// apart without a call.
inline bool same_ends(const char* a, const char* b, size_t length) {
  uint64_t differ = 0;
  for (const size_t at : {size_t{0}, size_t{8}, size_t{16}, length - 8}) {
    uint64_t x, y;
    std::memcpy(&x, a + at, 8);
    std::memcpy(&y, b + at, 8);
    differ |= x ^ y;
  }
  return differ == 0;
}

// A row member's value.
Pos Reader::read_member_value(Pos p, uint32_t key) {
  if (*p == '"') return read_string(p);
  if (*p == '-' || is_decimal_digit(*p)) return read_number_at(p);
  if (*p == '{' || *p == '[') return read_nested_member_value(p, key);
  // true, false and null, the other usual values of flags and optional fields: one word
  // compared, one word stored.
  if (end_ - p >= 8) {
    const auto four = [](const char* bytes) {
      uint32_t word;
      std::memcpy(&word, bytes, sizeof word);
      return word;
    };
    const uint32_t head = four(p);
    const size_t length = head == four("true") || head == four("null") ? 4
                          : head == four("fals") && p[4] == 'e'          ? 5
                                                                         : 0;
    if (length != 0) {
      std::memcpy(cells_.reserve(8), p, 8);
      cells_.commit(length);
      return p + length;
    }
  }
  return read_value(p, key);
}

// A row member's object or array. One that is byte for byte the last one read for a
// member of its set has the same compact text, which is copied from that one's cell: the same
// bytes at the same depth are the same value, valid, and end where it ended. Any other is
// first copied as it stands where it is compact already, or where it is an object spaced as
// json's default writes it (after ": ", its first key right after the brace), with the spaces
// left out; when that does not settle it, it is read again the general way, which reports any
// error. The copy is not tried after other whitespace (a payload indented there is indented
// inside its values too), for a spaced array, nor for an array of numbers whose first must be
// written again (a float printed with all its digits): the general way reads those as fast,
// while those kept as they stand stay in the copy's runs. A payload where it keeps failing
// stops trying. Out of line: inlined into the row loop, it made calls on small payloads slower.
Pos Reader::read_nested_member_value(Pos p, uint32_t key) {
  uint8_t& set_of_key = key_state_[key].value_set;
  if (set_of_key == kNoValueSet) set_of_key = static_cast<uint8_t>(sets_given_++ % kHintSets);
  const unsigned set = set_of_key;
  LastValue& last = last_values_[set];
  if (last.length != 0 && static_cast<size_t>(end_ - p) >= last.length && same_ends(p, last.text, last.length) &&
      std::memcmp(p, last.text, last.length) == 0) {
    char* dst = cells_.reserve(last.cell_length);  // may move the cells: the source is read after
    std::memcpy(dst, cells_.data() + last.cell_begin, last.cell_length);
    cells_.commit(last.cell_length);
    return p + last.length;
  }
  const size_t begin = cells_.size();
  Pos after = nullptr;
  if (p[-1] == ':' && compact_copy_misses_left_ != 0 &&
      (*p == '{' || (end_ - p > 1 && ((p[1] != '-' && !is_decimal_digit(p[1])) ||
                                      compact_number_end(begin_, offset(end_), p + 1) != nullptr)))) {
    after = copy_nested_value(p, set, Separators::compact);
  } else if (p[-1] == ' ' && p[-2] == ':' && *p == '{' && end_ - p > 1 && (p[1] == '"' || p[1] == '}') &&
             compact_copy_misses_left_ != 0) {
    after = copy_nested_value(p, set, Separators::spaced);
  }
  if (after == nullptr && (after = read_value(p, key)) == nullptr) return nullptr;
  const auto length = static_cast<size_t>(after - p);
  if (length >= kMinRepeatedValue && reuse_repeated_values_) {
    last = {p, length, begin, cells_.size() - begin};
  } else {
    last.length = 0;
  }
  return after;
}

// `p` is at the value's first byte (never at the end).
Pos Reader::read_value(Pos p, uint32_t context) {
  switch (*p) {
    case '"': return read_string(p);
    case '{': return read_object(p, context);
    case '[': return read_array(p, context);
    case 'n': return read_literal(p, "null");
    case 't': return read_literal(p, "true");
    case 'f': return read_literal(p, "false");
    case '-': case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9': return read_number_at(p);
    default: return fail_here(ErrorCode::kExpectedValue, p);
  }
}

Pos Reader::read_array(Pos p, uint32_t context) {
  if (depth_ == 1) return fail_here(ErrorCode::kRecursionLimitExceeded, p);
  --depth_;
  cells_.push('[');
  bool done = false;
  if (!(p = open_array(p, done))) return nullptr;
  if (done) cells_.push(']');
  if (!done && depth_ > 1 && read_number_rows_ && number_row_at(p)) {
    if (!(p = read_number_rows(p, done))) return nullptr;
  }
  while (!done) {
    if (read_number_runs_ && (*p == '-' || is_decimal_digit(*p))) {
      if (!(p = read_numbers(p))) return nullptr;
    } else if (!(p = read_inner_value(p, context))) {
      return nullptr;
    }
    if (!(p = after_element(p, done))) return nullptr;
    cells_.push(done ? ']' : ',');
  }
  ++depth_;
  return p;
}

// Numbers in a row, as vectors and coordinates are: read straight into the cells in one call,
// with the commas between them (with a space or not), without the general step between
// elements. Returns where the last number of the run ends.
Pos Reader::read_numbers(Pos p) {
  size_t pos = offset(p);
  if (ReadStatus s = read_number_run(begin_, offset(end_), pos, cells_)) return fail(s);
  return begin_ + pos;
}

// Arrays of numbers as the elements of an array, as coordinates, pairs and matrix rows come:
// `p` is at an element's '[' with a number right after it, and arrays may nest one level
// more. Each such element that holds numbers alone, closed right after the last, is read here
// without the general step for an array, while the next element is one again. Returns where
// the next element starts, for the general step (an element not read here is read there from
// its '[' again, the cells written for it taken back), or past the array with `done` set. An
// error is the one the general step meets first: the same number at the same place.
Pos Reader::read_number_rows(Pos p, bool& done) {
  do {
    const size_t begin = cells_.size();
    cells_.push('[');
    const Pos last = read_numbers(p + 1);
    if (last == nullptr) return nullptr;
    if (last == end_ || *last != ']') {
      cells_.resize_down(begin);
      return p;
    }
    cells_.push(']');
    if (!(p = after_element(last + 1, done))) return nullptr;
    cells_.push(done ? ']' : ',');
  } while (!done && number_row_at(p));
  return p;
}

Pos Reader::read_object(Pos p, uint32_t context) {
  if (depth_ == 1) return fail_here(ErrorCode::kRecursionLimitExceeded, p);
  --depth_;
  const size_t object_begin = cells_.size();
  const size_t first_member = open_members_.size();
  const size_t first_saved = saved_stamps_.size();
  const uint64_t serial = ++object_serial_;
  open_serials_[depth_] = serial;
  bool rewrite = false;
  cells_.push('{');
  p = skip_after_open(p + 1);
  if (p == end_) return fail_at_eof(ErrorCode::kEofWhileParsingObject);
  if (*p != '}') {
    if (*p != '"') return fail_here(ErrorCode::kKeyMustBeAString, p);
    uint32_t previous = kNoKey;
    for (bool done = false; !done;) {
      uint32_t key = kNoKey;
      if (!(p = read_key(p, predict(context, previous), key))) return nullptr;
      remember_hint(context, previous, key);
      if (!(p = read_colon(p))) return nullptr;
      KeyState& state = key_state_[key];
      const bool repeated = state.stamp == serial;
      if (!repeated) {
        if (open_serials_[state.depth] == state.stamp) saved_stamps_.push({key, state.stamp, state.slot, state.depth});
        state.stamp = serial;
        state.slot = open_members_.size();
        state.depth = static_cast<uint8_t>(depth_);
      }
      const std::string_view opening = table_.keys.member_opening(key, previous != kNoKey);
      cells_.append_short(opening.data(), opening.size(), ByteBuffer::kShortCopy);  // the key table keeps that room
      const size_t value_begin = cells_.size();
      if (!(p = read_inner_value(p, key))) return nullptr;
      if (repeated) {
        rewrite = true;
        open_members_[key_state_[key].slot].value_begin = value_begin;
        open_members_[key_state_[key].slot].value_end = cells_.size();
      } else {
        open_members_.push({key, value_begin, cells_.size()});
      }
      previous = key;
      if (!(p = after_member(p, done))) return nullptr;
    }
  } else {
    ++p;
  }
  cells_.push('}');
  if (rewrite) rewrite_object(object_begin, first_member);
  for (size_t i = saved_stamps_.size(); i > first_saved; --i) {
    const SavedStamp& saved = saved_stamps_[i - 1];
    key_state_[saved.key].stamp = saved.stamp;
    key_state_[saved.key].slot = saved.slot;
    key_state_[saved.key].depth = saved.depth;
  }
  saved_stamps_.truncate(first_saved);
  open_members_.truncate(first_member);
  ++depth_;
  return p;
}

// Writes the object again from its members: each key once, at its first position, with its
// last value. Rare (only objects with a repeated key), and linear in the object's text.
void Reader::rewrite_object(size_t object_begin, size_t first_member) {
  ByteBuffer text;
  text.push('{');
  for (size_t i = first_member; i < open_members_.size(); ++i) {
    const OpenMember& m = open_members_[i];
    text.append(table_.keys.member_opening(m.key, i > first_member));
    text.append(cells_.data() + m.value_begin, m.value_end - m.value_begin);
  }
  text.push('}');
  cells_.resize_down(object_begin);
  cells_.append(text.view());
}

// One element of the top-level array; `p` is at its first byte.
Pos Reader::read_element(Pos p) {
  if (*p == '{') return read_row(p);
  const size_t begin = cells_.size();
  if (!(p = read_value(p, kNoKey))) return nullptr;
  if (!saw_non_object_) {
    saw_non_object_ = true;
    first_non_object_.append(cells_.data() + begin, cells_.size() - begin);
  }
  cells_.resize_down(begin);
  return p;
}

ReadStatus Reader::read_payload() {
  // The caller has already handled an empty payload and a non-array top level.
  Pos p = skip(begin_);
  --depth_;
  bool done = false;
  if (!(p = open_array(p, done))) return error_;
  const bool large = static_cast<size_t>(end_ - begin_) >= kPrefaultMinimum;
  while (!done) {
    if (large) prefault_ahead();
    if (!(p = read_element(p))) return error_;
    if (!(p = after_element(p, done))) return error_;
  }
  ++depth_;
  p = skip(p);
  if (p != end_) return fail_at(ErrorCode::kTrailingCharacters, offset(p));
  return {};
}

TC_COLD std::string invalid_json(const ParseError& error, std::string_view payload) {
  std::string text(kInvalidPrefix);
  text += describe_error(error, payload);
  return text;
}

}  // namespace

ParsedRows parse_rows(std::string_view payload, std::pmr::memory_resource* memory, const ReadOptions& options) {
  ParsedRows result{false, RowTable(memory), {}};
  const char* input = payload.data();
  const size_t size = payload.size();
  const auto start = static_cast<size_t>(skip_space(input, input + size) - input);
  if (start == size) {
    result.error = invalid_json({fail_at_end(ErrorCode::kEofWhileParsingValue, size), {}}, payload);
    return result;
  }
  if (input[start] != '[') {
    result.error = invalid_json(describe_top_level(input, size, start), payload);
    return result;
  }
  Reader reader(payload, result.table, options);
  if (ReadStatus s = reader.read_payload()) {
    result.error = invalid_json({s, {}}, payload);
    return result;
  }
  if (reader.saw_non_object()) {
    result.error = std::string(kRowPrefix);
    result.error += reader.first_non_object();
    return result;
  }
  // Readers of cells may copy a fixed block past any cell (see ByteBuffer::append_short).
  result.table.cells.reserve(ByteBuffer::kShortCopy);
  reader.hand_over_stats();
  result.ok = true;
  return result;
}

}  // namespace tc
