// Undo and redo of one edit on the largest documents, and the history's memory over 500 edits.
//
// The largest document the editor makes (255 funlights of 255 frames of 7 cells) and the largest
// file there is (255 clublights of 255 rows of 255 steps): the median time of an undo and of a
// redo of one edit of one funlight, then 500 edits of random funlights with the history's own
// count of its bytes, its peak, and the process's peak resident size.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "DocSupport.h"
#include "EditHistory.h"
#include "FunEdit.h"
#include "LargestDocument.h"

using namespace UFunStruct;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<TFunlight> LargestFile() {
  std::vector<TFunlight> List;
  std::vector<TClubFrame> Rows;
  for (int r = 0; r < 255; ++r)
    Rows.push_back(DocSupport::Row(uint8_t(r % 7 + 1), 1000, 10, std::vector<TClubCell>(255)));
  for (int f = 0; f < 255; ++f) {
    List.push_back(DocSupport::Club(uint8_t(f + 1), Rows));
    List.back().StepCount = 255;
  }
  return List;
}

double MedianMs(std::vector<double> Ms) {
  std::sort(Ms.begin(), Ms.end());
  return Ms[Ms.size() / 2];
}

long PeakRssKiB() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return Usage.ru_maxrss;
}

void Run(const char* Name, std::vector<TFunlight> List) {
  TFunFile File;
  File.Count = static_cast<uint8_t>(List.size());
  EditHistory::THistory History;
  History.Begin(List, 100, 1, {"s231"});
  FunEdit::ToggleOnOff(List[100], 1, 3);
  History.End(List);
  std::vector<double> Undo, Redo;
  for (int i = 0; i < 200; ++i) {
    auto t0 = Clock::now();
    History.Undo(List, File);
    auto t1 = Clock::now();
    History.Redo(List, File);
    auto t2 = Clock::now();
    Undo.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    Redo.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }
  std::printf("%s: undo %.3f ms, redo %.3f ms (median of 200)\n", Name, MedianMs(Undo),
              MedianMs(Redo));

  const long RssBefore = PeakRssKiB();
  std::mt19937 Random(1);
  size_t Peak = 0;
  for (int i = 0; i < 500; ++i) {
    const int F = static_cast<int>(Random() % List.size());
    History.Begin(List, F, 1, {"s229"});
    FunEdit::InsertColumn(List[F], 0, 0) || FunEdit::ToggleOnOff(List[F], 1, 1);
    FunEdit::SetHeadValue(List[F], i + 1);
    History.End(List);
    Peak = std::max(Peak, History.Bytes());
  }
  std::printf(
      "%s: 500 edits keep %zu steps, %.1f MiB (peak %.1f MiB, bound 64 MiB); "
      "peak resident size grew by %.1f MiB\n",
      Name, History.Count(), History.Bytes() / 1048576.0, Peak / 1048576.0,
      (PeakRssKiB() - RssBefore) / 1024.0);
}

}  // namespace

int main() {
  Run("largest document", LargestDocument());
  Run("largest file", LargestFile());
}
