// The document writer against a size that disagrees with the rows: told too few bytes, it
// must stop at the end of the buffer it was given and throw InternalFault; told too many, it
// must throw too. The buffer sits inside a larger block whose bytes after it are a known
// pattern, so a write past its end shows in any build, not only under a sanitizer.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/call_memory.hpp"
#include "codec/document.hpp"
#include "codec/fault.hpp"
#include "table_runner.hpp"

namespace {

constexpr std::size_t kGuard = 4096;
constexpr char kPattern = '\x5a';

struct Payload {
  std::string name;
  std::string text;
};

std::string repeated(std::string_view unit, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += unit;
  return out;
}

// Rows of every form the writer has: dense, gapped, out of column order (last row too), long
// cells, runs of nulls longer than one prepared run, constants, and no columns at all.
std::vector<Payload> payloads() {
  std::string wide = "[{";
  for (int k = 0; k < 1200; ++k) wide += (k ? ",\"k" : "\"k") + std::to_string(k) + "\":" + std::to_string(k);
  wide += "},{\"k1199\":1},{\"k600\":2,\"k3\":3}]";
  const std::string long_text(300, 'x');
  return {
      {"dense", R"([{"a":1,"b":"two"},{"a":3,"b":"four"}])"},
      {"gaps", R"([{"a":1,"b":2,"c":3},{"c":4},{"b":5},{}])"},
      {"last row out of order", R"([{"a":1,"b":2,"c":3},{"c":"a longer cell","a":4}])"},
      {"last row out of order, long cell", "[{\"a\":1,\"b\":2,\"c\":3},{\"c\":\"" + std::string(60, 'w') + "\",\"a\":4}]"},
      {"long cells", "[{\"a\":\"" + long_text + "\",\"b\":1},{\"b\":\"" + long_text + "\"}]"},
      {"cells of 32 and 33 bytes", "[{\"a\":\"" + std::string(30, 'y') + "\",\"b\":\"" + std::string(31, 'z') + "\"}]"},
      {"nulls beyond one run", wide},
      {"constants", R"([{"k":"same","a":1},{"k":"same","a":2}])"},
      {"no columns", R"([{"a":null},{"a":null}])"},
      {"many short rows", "[" + repeated(R"({"a":1,"b":null,"c":"x"},)", 500) + R"({"b":7}])"},
  };
}

// Writes the prepared document as if its size were `stated`; true when it ended as expected.
bool check(const Payload& payload, const tc::PreparedDocument& prepared, tc::PreparedDocument& misstated,
           std::size_t stated) {
  const std::size_t actual = prepared.size();
  misstated.layout.output_size = stated;
  const std::unique_ptr<char[]> block(new char[stated + kGuard]);
  std::memset(block.get(), kPattern, stated + kGuard);
  std::string outcome = "wrote the document";
  try {
    misstated.write(block.get());
  } catch (const tc::InternalFault& fault) {
    outcome = fault.what();
  }
  const bool wanted_fault = stated != actual;
  bool ok = wanted_fault ? outcome == "document size mismatch" : outcome == "wrote the document";
  for (std::size_t i = stated; i < stated + kGuard; ++i) {
    if (block[i] != kPattern) {
      std::printf("FAIL %s, size %zu stated as %zu: byte %zu past the buffer was written\n", payload.name.c_str(),
                  actual, stated, i - stated);
      return false;
    }
  }
  if (ok && !wanted_fault) {
    const tc::TransformResult reference = tc::test::transform_exact(payload.text);
    ok = reference.ok && reference.text == std::string_view(block.get(), stated);
    outcome = "a document unlike columnarize_json's";
  }
  if (!ok) std::printf("FAIL %s, size %zu stated as %zu: %s\n", payload.name.c_str(), actual, stated, outcome.c_str());
  return ok;
}

}  // namespace

int main() {
  bool all_passed = true;
  int checks = 0;
  for (const Payload& payload : payloads()) {
    const tc::CallMemory memory(payload.text.size());
    const tc::PreparedDocument prepared = tc::prepare_document(payload.text, memory.resource());
    tc::PreparedDocument misstated = tc::prepare_document(payload.text, memory.resource());
    if (!prepared.ok()) {
      std::printf("FAIL %s: rejected: %s\n", payload.name.c_str(), prepared.rows.error.c_str());
      all_passed = false;
      continue;
    }
    const std::size_t size = prepared.size();
    // Short by every count of bytes up to 100 (so that some shortfall matches what a refused
    // cell would have saved), by half and by all but one; exact; long by one and many.
    std::vector<std::size_t> shortfalls = {size / 2, size - 1};
    for (std::size_t short_by = 1; short_by <= 100; ++short_by) shortfalls.push_back(short_by);
    for (const std::size_t short_by : shortfalls) {
      if (short_by == 0 || short_by >= size) continue;
      all_passed = check(payload, prepared, misstated, size - short_by) && all_passed;
      ++checks;
    }
    for (const std::size_t long_by : {std::size_t{0}, std::size_t{1}, std::size_t{100}}) {
      all_passed = check(payload, prepared, misstated, size + long_by) && all_passed;
      ++checks;
    }
  }
  std::printf("%d misstated and exact sizes checked: %s\n", checks, all_passed ? "all passed" : "FAILURES");
  return all_passed ? 0 : 1;
}
