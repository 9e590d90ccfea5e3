// Times ReadPat and WritePat on the largest document the editor can make (about 1.5 MB).

#include "DocSupport.h"

#include <cstring>

using namespace UFunStruct;
using namespace DocSupport;

// `--write-largest PATH` only writes the largest document (for the start-up benchmark).
static bool WriteLargest(int argc, char** argv) {
  if (argc < 3 || std::strcmp(argv[1], "--write-largest") != 0) return false;
  SetDocument(LargestDocument());
  WritePat(argv[2]);
  return true;
}

#ifdef GLOWSMITH_HAVE_BENCHMARK

#include <benchmark/benchmark.h>

namespace {

void BM_WritePat(benchmark::State& State) {
  TTempDir Dir;
  SetDocument(LargestDocument());
  const std::string Path = (Dir / "largest.pat").string();
  for (auto _ : State) WritePat(Path);
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(Path)));
}
BENCHMARK(BM_WritePat)->Unit(benchmark::kMillisecond);

void BM_ReadPat(benchmark::State& State) {
  TTempDir Dir;
  SetDocument(LargestDocument());
  const std::string Path = (Dir / "largest.pat").string();
  WritePat(Path);
  for (auto _ : State) benchmark::DoNotOptimize(ReadPat(Path));
  State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(Path)));
}
BENCHMARK(BM_ReadPat)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (WriteLargest(argc, argv)) return 0;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

#else

#include <algorithm>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (WriteLargest(argc, argv)) return 0;
  TTempDir Dir;
  SetDocument(LargestDocument());
  const std::string Path = (Dir / "largest.pat").string();
  const int Rounds = 50;
  auto Time = [&](auto Action) {
    double Best = 1e9, Sum = 0;
    for (int i = 0; i < Rounds; ++i) {
      const auto Start = std::chrono::steady_clock::now();
      Action();
      const double Ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start)
              .count();
      Best = std::min(Best, Ms);
      Sum += Ms;
    }
    return std::pair{Best, Sum / Rounds};
  };
  const auto [WriteBest, WriteMean] = Time([&] { WritePat(Path); });
  const auto [ReadBest, ReadMean] = Time([&] { ReadPat(Path); });
  std::printf("file size %ju bytes\n", static_cast<uintmax_t>(std::filesystem::file_size(Path)));
  std::printf("WritePat: best %.2f ms, mean %.2f ms\n", WriteBest, WriteMean);
  std::printf("ReadPat:  best %.2f ms, mean %.2f ms\n", ReadBest, ReadMean);
  return 0;
}

#endif
