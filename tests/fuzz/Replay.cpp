// Runs a fuzz target over files, as the normal tests do with its committed corpus: every file or
// every file of every folder named on the command line, once each. A finding aborts, as it would
// under the fuzzer.
#include <cstdio>

#include "DocSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int inputs = 0;
  for (const fs::path& path : std::vector<fs::path>(argv + 1, argv + argc)) {
    std::vector<fs::path> files = {path};
    if (fs::is_directory(path)) files.assign(fs::directory_iterator(path), {});
    for (const fs::path& file : files) {
      if (!fs::is_regular_file(file)) continue;
      const std::vector<std::uint8_t> bytes = DocSupport::ReadBytes(file);
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++inputs;
    }
  }
  std::printf("%d inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;  // an empty corpus means a wrong path, not a pass
}
