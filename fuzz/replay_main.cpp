// Replay driver, linked instead of libFuzzer: runs the fuzz entry once on each file named on
// the command line and on each regular file inside each folder named there (in name order).
// Arguments starting with '-' (libFuzzer flags) are ignored, so both builds take one command.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool run_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::fprintf(stderr, "replay: %s\n", path.c_str());
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

// Adds the inputs named by `arg` to `out`; false when it names nothing readable.
bool collect(const fs::path& arg, std::vector<fs::path>& out) {
  std::error_code ec;
  if (fs::is_regular_file(arg, ec)) {
    out.push_back(arg);
    return true;
  }
  if (!fs::is_directory(arg, ec)) return false;
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(arg, ec)) {
    if (entry.is_regular_file(ec)) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  out.insert(out.end(), files.begin(), files.end());
  return !ec;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  bool named_any = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with('-')) continue;
    named_any = true;
    if (!collect(fs::path(arg), inputs)) {
      std::fprintf(stderr, "replay: cannot read %s\n", argv[i]);
      return 2;
    }
  }
  if (!named_any) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argc > 0 ? argv[0] : "fuzz_columnarize");
    return 2;
  }
  for (const fs::path& path : inputs) {
    if (!run_file(path)) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
  }
  std::printf("replayed %zu inputs: every property held\n", inputs.size());
  return 0;
}
