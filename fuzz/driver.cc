// Runs a fuzz entry point over files, so that seed and crash inputs stay regression tests
// in builds without libFuzzer. Arguments are files or folders (every regular file inside).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg, ec)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg, ec)) {
        if (entry.is_regular_file()) {
          failures += RunFile(entry.path());
          ++runs;
        }
      }
    } else {
      failures += RunFile(arg);
      ++runs;
    }
  }
  // An empty input is always a valid case for a parser.
  LLVMFuzzerTestOneInput(nullptr, 0);
  std::printf("%d inputs run\n", runs + 1);
  return failures == 0 ? 0 : 1;
}
