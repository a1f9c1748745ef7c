// The transform from many threads at once, as the module runs it with the interpreter lock
// released (and on interpreters without one): every thread gets the single-threaded result for
// every payload. Built with -DTC_SANITIZE_THREAD=ON, ThreadSanitizer also reports any state the
// calls share unguarded.
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "codec/call_memory.hpp"
#include "codec/document.hpp"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 200;

// Payloads that take the reader's, the layout's and the writer's different paths.
std::vector<std::string> payloads() {
  std::vector<std::string> all = {
      "[]",
      R"([{"id":1,"kind":"user","n":1.50},{"id":2,"kind":"user","n":1E2,"tag":null}])",
      R"([{"a":{"x":[1,2,{"y":"z"}]},"b":"caf\u00e9 \"q\""},{"a":{"x":[1,2,{"y":"z"}]},"b":"é"}])",
      R"([{"a":1},{"b":2},{"c":3.25e-7,"a":-0.0}])",
      R"([{"a":1},2])",
      R"([{"a":1,}])",
      "[{\"s\":\"\xff\"}]",
  };
  std::string wide = "[";
  for (int r = 0; r < 300; ++r) {
    if (r != 0) wide += ',';
    wide += "{\"id\":" + std::to_string(r) + ",\"name\":\"row " + std::to_string(r * 7919) +
            "\",\"score\":" + std::to_string(r) + "." + std::to_string(r % 97) +
            ",\"tags\":[\"a\",\"b\"],\"same\":\"x\"" + (r % 3 == 0 ? ",\"rare\":true" : "") + "}";
  }
  all.push_back(wide + "]");
  return all;
}

// The result as the module's call path makes it: the call's own memory, the document
// prepared, then written into a buffer of its exact size.
tc::TransformResult through_call_memory(const std::string& payload) {
  const tc::CallMemory memory(payload.size());
  const tc::PreparedDocument document(payload, memory.resource());
  if (!document.ok()) return {false, document.rows.error};
  std::string out(document.size(), '\0');
  document.write(out.data());
  return {true, out};
}

}  // namespace

int main() {
  const std::vector<std::string> inputs = payloads();
  std::vector<tc::TransformResult> expected;
  for (const std::string& payload : inputs) expected.push_back(tc::columnarize_json(payload));

  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        for (size_t i = 0; i < inputs.size(); ++i) {
          const size_t k = (i + static_cast<size_t>(t)) % inputs.size();  // threads out of step
          const tc::TransformResult got =
              (round + t) % 2 == 0 ? tc::columnarize_json(inputs[k]) : through_call_memory(inputs[k]);
          if (got.ok != expected[k].ok || got.text != expected[k].text) ++mismatches[static_cast<size_t>(t)];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  int failures = 0;
  for (int t = 0; t < kThreads; ++t) failures += mismatches[static_cast<size_t>(t)];
  std::printf("%d threads x %d rounds x %zu payloads: %d mismatches\n", kThreads, kRounds, inputs.size(), failures);
  return failures == 0 ? 0 : 1;
}
