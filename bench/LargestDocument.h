#pragma once

// The largest document the benchmarks work on.

#include <random>
#include <vector>

#include "DocSupport.h"

// 255 repeating normal funlights of 255 frames with a cell on each of the 7 elements: the largest
// document the editor can make.
inline std::vector<UFunStruct::TFunlight> LargestDocument() {
  std::mt19937 Random(7);
  using namespace DocSupport;
  std::vector<TFunlight> List;
  for (int f = 0; f < 255; ++f) {
    List.push_back(Normal(FunIDTable[f % FunIDTable.size()], static_cast<uint16_t>(f), true, {}));
    for (int i = 0; i < 255; ++i) {
      std::vector<TFrameCell> Cells;
      for (uint8_t e = 1; e <= 7; ++e)
        Cells.push_back(Cell(e, Random() % 16, Random() % 16, Random() % 16));
      List.back().Frames.push_back(Frame(static_cast<uint16_t>(Random() % 2000), std::move(Cells)));
    }
    List.back().FrameCount = 255;
  }
  return List;
}
