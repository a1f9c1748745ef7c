// Checks of a successful transform output: its form, its layout invariants, its read-back.
#include <set>
#include <string>

#include "checks.hpp"
#include "compact_json.hpp"

namespace tc::fuzz {
namespace {

// Nesting levels the transform accepts, counting the top-level array.
constexpr std::size_t kDepthLimit = 127;
constexpr std::string_view kReadBackHead = R"({"columns":["columns","rows","constants"],"rows":[[)";
constexpr std::string_view kReadBackTail = R"(]],"constants":{}})";

std::string check_names(const Node& columns, const Node& constants) {
  if (columns.kind != Kind::array) return "\"columns\" is not an array";
  if (constants.kind != Kind::object) return "\"constants\" is not an object";
  std::set<std::string> names;
  for (const Node& name : columns.items) {
    if (name.kind != Kind::string) return "column name " + std::string(name.text) + " is not a string";
    if (!names.insert(name.str).second) return "column " + std::string(name.text) + " appears twice";
  }
  for (std::size_t i = 0; i < constants.keys.size(); ++i) {
    if (names.count(constants.keys[i]) != 0) return "\"" + constants.keys[i] + "\" is a column and a constant";
    if (constants.items[i].kind == Kind::null) return "constant \"" + constants.keys[i] + "\" is null";
  }
  return "";
}

// Column `c` must hold a non-null cell, and with two rows or more it must not hold one and the
// same value in every row (equal canonical texts are equal values, so that key was constant).
std::string check_column(const Node& rows, std::size_t c) {
  bool any_value = false, all_same = true;
  for (const Node& row : rows.items) {
    any_value = any_value || row.items[c].kind != Kind::null;
    all_same = all_same && row.items[c].text == rows.items.front().items[c].text;
  }
  if (!any_value) return "column " + std::to_string(c) + " is null in every row";
  if (rows.items.size() >= 2 && all_same) return "column " + std::to_string(c) + " holds one value in every row";
  return "";
}

std::string check_rows(const Node& rows, const Node& columns, const Node& constants) {
  if (rows.kind != Kind::array) return "\"rows\" is not an array";
  for (std::size_t r = 0; r < rows.items.size(); ++r) {
    const Node& row = rows.items[r];
    if (row.kind != Kind::array) return "row " + std::to_string(r) + " is not an array";
    if (row.items.size() != columns.items.size()) {
      return "row " + std::to_string(r) + " has " + std::to_string(row.items.size()) + " cells for " +
             std::to_string(columns.items.size()) + " columns";
    }
  }
  if (rows.items.size() < 2 && !constants.keys.empty()) return "constants with fewer than two rows";
  for (std::size_t c = 0; c < columns.items.size(); ++c) {
    if (std::string error = check_column(rows, c); !error.empty()) return error;
  }
  return "";
}

// The output is a JSON object, so inside an array it is a one-row payload whose three members
// all become columns. Too deep for the nesting limit there, it must fail on that limit; when
// every float in it converts back exactly, the read-back embeds the three members unchanged.
std::string check_read_back(std::string_view output, const CompactText& doc) {
  std::string wrapped = "[";
  wrapped.append(output).append("]");
  const TransformResult again = transform_exact(wrapped);
  if (doc.depth + 1 > kDepthLimit) {
    if (again.ok || again.text.find("recursion limit exceeded at line 1 column ") == std::string::npos) {
      return "output nested " + std::to_string(doc.depth) + " deep read back inside an array gave: " + again.text;
    }
    return "";
  }
  if (!again.ok) return "output read back inside an array fails: " + again.text;
  const std::vector<Node>& members = doc.root.items;
  const std::string expected = std::string(kReadBackHead) + std::string(members[0].text) + "," +
                               std::string(members[1].text) + "," + std::string(members[2].text) +
                               std::string(kReadBackTail);
  if (doc.floats_exact && again.text != expected) return "output read back inside an array gave: " + again.text;
  return "";
}

}  // namespace

std::string check_output(std::string_view output) {
  CompactText doc;
  if (std::string error = read_compact(output, doc); !error.empty()) return "output is not compact JSON: " + error;
  const Node& root = doc.root;
  if (root.kind != Kind::object || root.keys != std::vector<std::string>{"columns", "rows", "constants"}) {
    return "output is not an object of exactly \"columns\", \"rows\", \"constants\"";
  }
  if (std::string error = check_names(root.items[0], root.items[2]); !error.empty()) return error;
  if (std::string error = check_rows(root.items[1], root.items[0], root.items[2]); !error.empty()) return error;
  return check_read_back(output, doc);
}

}  // namespace tc::fuzz
