// Times ReadPat and WritePat on the largest document the editor can make (about 1.5 MB), and how
// fast ReadPat refuses a huge file.

#include <cstring>

#include "DocSupport.h"
#include "LargestDocument.h"

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

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

// The largest single allocation since it was last reset, to show that refusing a huge file does
// not take memory in proportion to it.
static std::atomic<size_t> LargestAllocation{0};

[[gnu::noinline]] void* operator new(size_t Size) {
  size_t Seen = LargestAllocation.load(std::memory_order_relaxed);
  while (Size > Seen && !LargestAllocation.compare_exchange_weak(Seen, Size)) {
  }
  if (void* p = std::malloc(Size ? Size : 1)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

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

// ReadPat on a sparse file of 1 GB that begins with Start: refused, whatever it holds further on.
void RefuseHugeFile(benchmark::State& State, const Bytes& Start) {
  TTempDir Dir;
  const auto Path = Dir / "huge.pat";
  WriteBytes(Path, Start);
  std::filesystem::resize_file(Path, uintmax_t{1} << 30);
  LargestAllocation = 0;
  for (auto _ : State) {
    try {
      if (ReadPat(Path.string())) State.SkipWithError("the huge file was read");
    } catch (const EInOutError&) {
    }
  }
  State.counters["largest_alloc"] = static_cast<double>(LargestAllocation.load());
  if (LargestAllocation > MaxPatFileSize) State.SkipWithError("allocated more than a PAT file");
}

void BM_RefuseHugeNonPat(benchmark::State& State) {
  RefuseHugeFile(State, {0x00, 0x00});
}
BENCHMARK(BM_RefuseHugeNonPat)->Unit(benchmark::kMicrosecond);

void BM_RefuseHugePat(benchmark::State& State) {
  RefuseHugeFile(State, {0x01, 0x01, 0x00, 0x00, 0x01});
}
BENCHMARK(BM_RefuseHugePat)->Unit(benchmark::kMicrosecond);

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
