// Builds a small but varied funlight document with the document API and writes it as a PAT file.
//   glowsmith_make_sample OUTPUT.pat

#include <cstdio>
#include <vector>

#include "UFunStruct.h"

using namespace UFunStruct;

namespace {

struct Rgb {
  uint8_t R, G, B;
};

// Appends a normal funlight whose frame i lights every element of Lit[i] in Colours[i].
void AddNormal(uint8_t FunID, bool Repeating, uint16_t HeadValue,
               const std::vector<uint16_t>& Durations, const std::vector<std::vector<uint8_t>>& Lit,
               const std::vector<std::vector<Rgb>>& Colours) {
  AddFunlightOfType(NormalType);
  const int Index = static_cast<int>(FunList.size()) - 1;
  TFunlight& F = FunList[Index];
  F.FunID = FunID;
  F.Repeating = Repeating;
  F.HeadValue = HeadValue;
  F.FrameCount = static_cast<uint8_t>(Durations.size());
  SetFrameCount(Index);
  for (size_t i = 0; i < F.Frames.size(); ++i) {
    TFrame& Frame = F.Frames[i];
    Frame.Duration = Durations[i];
    for (size_t e = 0; e < Lit[i].size(); ++e) {
      const Rgb& C = Colours[i][e % Colours[i].size()];
      Frame.Cells.push_back(TFrameCell{Lit[i][e], C.R, C.G, C.B});
    }
    Frame.CellCount = static_cast<uint8_t>(Frame.Cells.size());
  }
}

void AddClub(uint8_t FunID) {
  AddFunlightOfType(ClubType);
  const int Index = static_cast<int>(FunList.size()) - 1;
  TFunlight& F = FunList[Index];
  F.FunID = FunID;
  F.FrameCount = 3;
  F.StepCount = 4;
  SetClubFrameCount(Index);
  // Bass, middle and treble bands on elements 1 to 3.
  const uint16_t Bands[3][2] = {{250, 40}, {2000, 250}, {8000, 2000}};
  const Rgb Steps[3][4] = {{{15, 0, 0}, {15, 8, 0}, {8, 0, 0}, {0, 0, 0}},
                           {{0, 15, 0}, {0, 15, 8}, {0, 8, 0}, {0, 0, 0}},
                           {{0, 0, 15}, {8, 0, 15}, {0, 0, 8}, {0, 0, 0}}};
  for (size_t r = 0; r < 3; ++r) {
    TClubFrame& Row = F.ClubFrames[r];
    Row.UpperFreq = Bands[r][0];
    Row.LowerFreq = Bands[r][1];
    Row.CellCount = F.StepCount;
    for (uint8_t s = 0; s < F.StepCount; ++s)
      Row.Cells.push_back(TClubCell{Steps[r][s].R, Steps[r][s].G, Steps[r][s].B,
                                    static_cast<uint8_t>(40 * s + 20)});
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.pat\n", argv[0]);
    return 2;
  }
  ClearFunList();
  const Rgb Red{15, 0, 0}, Orange{15, 8, 0}, Yellow{15, 15, 0}, Green{0, 15, 0}, Cyan{0, 15, 15},
      Blue{0, 0, 15}, Violet{10, 0, 15}, White{15, 15, 15}, Dim{3, 3, 6};

  // A rainbow running across all seven elements, over and over.
  std::vector<uint16_t> RunDurations;
  std::vector<std::vector<uint8_t>> RunLit;
  std::vector<std::vector<Rgb>> RunColours;
  const Rgb Rainbow[7] = {Red, Orange, Yellow, Green, Cyan, Blue, Violet};
  for (uint8_t i = 0; i < 7; ++i) {
    RunDurations.push_back(150);
    RunLit.push_back({uint8_t(i + 1), uint8_t((i + 1) % 7 + 1)});
    RunColours.push_back({Rainbow[i], Rainbow[(i + 3) % 7]});
  }
  AddNormal(1, true, 0, RunDurations, RunLit, RunColours);

  // Two slow white flashes, ending dark.
  AddNormal(2, false, 0, {300, 200, 300, 0},
            {{1, 2, 3, 4, 5, 6, 7}, {}, {1, 2, 3, 4, 5, 6, 7}, {1, 7}},
            {{White}, {}, {White}, {Dim}});

  // A blue and red police light on the outer elements.
  AddNormal(5, true, 1, {100, 100, 100, 100, 500}, {{1, 2}, {6, 7}, {1, 2}, {6, 7}, {3, 4, 5}},
            {{Blue}, {Red}, {Blue}, {Red}, {Violet, Dim, Violet}});

  // A green pulse that swells and fades.
  AddNormal(
      10, true, 0, {200, 200, 400, 200, 200},
      {{4}, {3, 4, 5}, {1, 2, 3, 4, 5, 6, 7}, {3, 4, 5}, {4}},
      {{{0, 4, 0}}, {{0, 8, 0}, {0, 15, 0}, {0, 8, 0}}, {Green, Cyan}, {{0, 8, 0}}, {{0, 4, 0}}});

  // A short orange blink that does not repeat.
  AddNormal(128, false, 0, {250, 250, 0}, {{1, 3, 5, 7}, {2, 4, 6}, {1, 3, 5, 7}},
            {{Orange}, {Yellow}, {Orange}});

  AddClub(148);

  FunFile.Count = static_cast<uint8_t>(FunList.size());
  try {
    WritePat(argv[1]);
  } catch (const EInOutError& E) {
    std::fprintf(stderr, "%s: %s\n", argv[1], E.what());
    return 1;
  }
  std::printf("%s: %u funlights, %u bytes of funlight data\n", argv[1], unsigned{FunFile.Count},
              unsigned{FunFile.TotalSize});
  return 0;
}
