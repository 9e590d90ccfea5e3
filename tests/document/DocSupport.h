#pragma once

// Helpers shared by the document tests and the benchmark: building documents, files of bytes,
// a readable dump of the document and a per-test temporary folder.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "UFunStruct.h"

namespace DocSupport {

using Bytes = std::vector<uint8_t>;
using namespace UFunStruct;

inline Bytes ReadBytes(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& Path, const Bytes& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
}

inline Bytes Concat(std::initializer_list<Bytes> Parts) {
  Bytes All;
  for (const Bytes& P : Parts) All.insert(All.end(), P.begin(), P.end());
  return All;
}

inline TFrameCell Cell(uint8_t Element, uint8_t R, uint8_t G, uint8_t B) {
  return TFrameCell{Element, R, G, B};
}

inline TFrame Frame(uint16_t Duration, std::vector<TFrameCell> Cells) {
  TFrame F;
  F.Duration = Duration;
  F.CellCount = static_cast<uint8_t>(Cells.size());
  F.Cells = std::move(Cells);
  return F;
}

inline TFunlight Normal(uint8_t FunID, uint16_t HeadValue, bool Repeating,
                        std::vector<TFrame> Frames) {
  TFunlight F;
  F.FunType = NormalType;
  F.FunID = FunID;
  F.HeadValue = HeadValue;
  F.Repeating = Repeating;
  F.FrameCount = static_cast<uint8_t>(Frames.size());
  F.Frames = std::move(Frames);
  return F;
}

inline TClubFrame Row(uint8_t Element, uint16_t Upper, uint16_t Lower,
                      std::vector<TClubCell> Cells) {
  TClubFrame R;
  R.Element = Element;
  R.CellCount = static_cast<uint8_t>(Cells.size());
  R.UpperFreq = Upper;
  R.LowerFreq = Lower;
  R.Cells = std::move(Cells);
  return R;
}

// A clublight whose rows all hold StepCount cells.
inline TFunlight Club(uint8_t FunID, std::vector<TClubFrame> Rows) {
  TFunlight F;
  F.FunType = ClubType;
  F.FunID = FunID;
  F.FrameCount = static_cast<uint8_t>(Rows.size());
  F.StepCount = Rows.empty() ? 0 : Rows.front().CellCount;
  F.ClubFrames = std::move(Rows);
  return F;
}

inline TFunlight Other(uint8_t FunType, uint8_t FunID, uint8_t FrameCount, Bytes Data) {
  TFunlight F;
  F.FunType = FunType;
  F.FunID = FunID;
  F.FrameCount = FrameCount;
  F.RawData = std::move(Data);
  return F;
}

inline void SetDocument(std::vector<TFunlight> List) {
  FunList = std::move(List);
  FunFile.Count = static_cast<uint8_t>(FunList.size());
}

inline void ResetDocument() {
  ClearFunList();
  FunFile = TFunFile{};
  SelElement = 0;
  CopyTarget = 0;
  EmptyFlag = false;
}

// Everything the document holds, as text, so that a mismatch shows where it is.
inline std::string Describe(const std::vector<TFunlight>& List) {
  std::ostringstream S;
  for (size_t i = 0; i < List.size(); ++i) {
    const TFunlight& F = List[i];
    S << "funlight " << i << ": size " << F.Size << " frames " << int{F.FrameCount} << " steps "
      << int{F.StepCount} << " id " << int{F.FunID} << " type " << int{F.FunType} << " head "
      << F.HeadValue << " repeating " << F.Repeating << " raw";
    for (uint8_t b : F.RawData) S << ' ' << int{b};
    S << '\n';
    for (const TFrame& Fr : F.Frames) {
      S << "  frame dur " << Fr.Duration << " count " << int{Fr.CellCount} << ':';
      for (const TFrameCell& C : Fr.Cells)
        S << " [" << int{C.Element} << ' ' << int{C.R} << ' ' << int{C.G} << ' ' << int{C.B} << ']';
      S << '\n';
    }
    for (const TClubFrame& R : F.ClubFrames) {
      S << "  row el " << int{R.Element} << " count " << int{R.CellCount} << " freq " << R.UpperFreq
        << '-' << R.LowerFreq << ':';
      for (const TClubCell& C : R.Cells)
        S << " [" << int{C.R} << ' ' << int{C.G} << ' ' << int{C.B} << ' ' << int{C.Param} << ']';
      S << '\n';
    }
  }
  return S.str();
}

// 255 repeating normal funlights of 255 frames with a cell on each of the 7 elements: the largest
// document the editor can make.
inline std::vector<TFunlight> LargestDocument() {
  std::mt19937 Random(7);
  std::vector<TFunlight> List;
  for (int f = 0; f < 255; ++f) {
    std::vector<TFrame> Frames;
    for (int i = 0; i < 255; ++i) {
      std::vector<TFrameCell> Cells;
      for (uint8_t e = 1; e <= 7; ++e)
        Cells.push_back(Cell(e, Random() % 16, Random() % 16, Random() % 16));
      Frames.push_back(Frame(static_cast<uint16_t>(Random() % 2000), std::move(Cells)));
    }
    List.push_back(Normal(FunIDTable[f % FunIDTable.size()], static_cast<uint16_t>(f), true,
                          std::move(Frames)));
  }
  return List;
}

// A fresh folder under the system's temporary folder, removed again by the destructor.
class TTempDir {
 public:
  TTempDir() {
    std::random_device Seed;
    for (;;) {
      Path_ = std::filesystem::temp_directory_path() /
              ("glowsmith-doc-" + std::to_string(Seed()) + std::to_string(Seed()));
      if (std::filesystem::create_directory(Path_)) break;
    }
  }
  ~TTempDir() {
    std::error_code Ignored;
    // A test may have taken write permission away; give it back so the folder can go.
    for (auto& Entry : std::filesystem::recursive_directory_iterator(Path_, Ignored))
      if (Entry.is_directory(Ignored))
        std::filesystem::permissions(Entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, Ignored);
    std::filesystem::permissions(Path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, Ignored);
    std::filesystem::remove_all(Path_, Ignored);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return Path_; }
  std::filesystem::path operator/(const std::string& Name) const { return Path_ / Name; }

 private:
  std::filesystem::path Path_;
};

}  // namespace DocSupport
