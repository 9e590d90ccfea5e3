#pragma once

// Documents, files of bytes, a document dump and a temporary folder, for tests and benchmarks.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "UFunStruct.h"

namespace DocSupport {

using Bytes = std::vector<uint8_t>;
using namespace UFunStruct;
namespace fs = std::filesystem;

// The whole file, as Bytes or as a std::string.
template <typename T = Bytes>
T ReadBytes(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary | std::ios::ate);
  T Data(In ? static_cast<size_t>(In.tellg()) : 0, 0);
  In.seekg(0).read(reinterpret_cast<char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  return Data;
}

inline void WriteBytes(const fs::path& Path, const Bytes& Data) {
  std::ofstream(Path, std::ios::binary) << std::string(Data.begin(), Data.end());
}

inline TFrameCell Cell(uint8_t Element, uint8_t R, uint8_t G, uint8_t B) {
  return {Element, R, G, B};
}

inline TFrame Frame(uint16_t Duration, std::vector<TFrameCell> Cells) {
  return {Duration, static_cast<uint8_t>(Cells.size()), std::move(Cells)};
}

inline TClubFrame Row(uint8_t Element, uint16_t Upper, uint16_t Lower,
                      std::vector<TClubCell> Cells) {
  return {Element, static_cast<uint8_t>(Cells.size()), Upper, Lower, std::move(Cells)};
}

// A funlight of any type; a clublight's steps are the cells of its first row.
inline TFunlight Other(uint8_t FunType, uint8_t FunID, uint8_t FrameCount, Bytes Data,
                       std::vector<TFrame> Frames = {}, std::vector<TClubFrame> Rows = {}) {
  TFunlight F;
  F.FunType = FunType, F.FunID = FunID, F.FrameCount = FrameCount, F.RawData = std::move(Data);
  F.StepCount = Rows.empty() ? 0 : Rows[0].CellCount;
  F.Frames = std::move(Frames), F.ClubFrames = std::move(Rows);
  return F;
}

inline TFunlight Normal(uint8_t FunID, uint16_t HeadValue, bool Repeating,
                        std::vector<TFrame> Frames) {
  const auto Count = static_cast<uint8_t>(Frames.size());
  TFunlight F = Other(NormalType, FunID, Count, {}, std::move(Frames));
  F.HeadValue = HeadValue, F.Repeating = Repeating;
  return F;
}

inline TFunlight Club(uint8_t FunID, std::vector<TClubFrame> Rows) {
  const auto Count = static_cast<uint8_t>(Rows.size());
  return Other(ClubType, FunID, Count, {}, {}, std::move(Rows));
}

inline void SetDocument(std::vector<TFunlight> List) {
  FunList = std::move(List);
  FunFile.Count = static_cast<uint8_t>(FunList.size());
}

inline void ResetDocument() {
  SetDocument({});
  FunFile = TFunFile{};
  CurFun = SelCol = SelCell = SelElement = CopyTarget = 0;
  EmptyFlag = false;
}

// The text of the EInOutError that Action raises, or "" when it raises none.
inline std::string ErrorOf(auto Action) {
  try {
    Action();
  } catch (const EInOutError& E) {
    return E.what();
  }
  return "";
}

// Every cell: "e:R,G,B" per frame, "e(upper-lower): R,G,B/Param" per rhythm row, " | " between.
// A count that disagrees with its array shows as "#count".
inline std::string CellText(const TFunlight& F) {
  std::ostringstream S;
  const char* Bar = "";
  for (const TFrame& Fr : F.Frames) {
    S << std::exchange(Bar, " | ");
    if (Fr.CellCount != Fr.Cells.size()) S << '#' << +Fr.CellCount << ' ';
    const char* Gap = "";
    for (const TFrameCell& C : Fr.Cells)
      S << std::exchange(Gap, " ") << +C.Element << ':' << +C.R << ',' << +C.G << ',' << +C.B;
  }
  for (const TClubFrame& R : F.ClubFrames) {
    S << std::exchange(Bar, " | ") << +R.Element << '(' << R.UpperFreq << '-' << R.LowerFreq
      << "):";
    if (R.CellCount != R.Cells.size()) S << '#' << +R.CellCount;
    for (const TClubCell& C : R.Cells)
      S << ' ' << +C.R << ',' << +C.G << ',' << +C.B << '/' << +C.Param;
  }
  if (F.FunType == ClubType && F.FrameCount != F.ClubFrames.size()) S << " #rows";
  return S.str();
}

// Everything the document holds, as text, so that a mismatch shows where it is.
inline std::string Describe(const std::vector<TFunlight>& List) {
  std::ostringstream S;
  for (const TFunlight& F : List) {
    S << "size " << F.Size << " frames " << +F.FrameCount << " steps " << +F.StepCount << " id "
      << +F.FunID << " type " << +F.FunType << " head " << F.HeadValue << " repeating "
      << F.Repeating << " raw";
    for (uint8_t b : F.RawData) S << ' ' << +b;
    S << " ms";
    for (const TFrame& Fr : F.Frames) S << ' ' << Fr.Duration;
    S << ": " << CellText(F) << '\n';
  }
  return S.str();
}

// A fresh folder under the system's temporary folder, removed again by the destructor.
class TTempDir {
 public:
  TTempDir() {
    std::random_device Seed;
    do Path_ = fs::temp_directory_path() / ("glowsmith-doc-" + std::to_string(Seed()));
    while (!fs::create_directory(Path_));
  }
  ~TTempDir() {
    std::error_code Ignored;
    // A test may have taken write permission away; give it back so the folder can go.
    for (auto& Entry : fs::recursive_directory_iterator(Path_, Ignored))
      fs::permissions(Entry.path(), fs::perms::owner_all, fs::perm_options::add, Ignored);
    fs::remove_all(Path_, Ignored);
  }
  const fs::path& Path() const { return Path_; }
  fs::path operator/(const std::string& Name) const { return Path_ / Name; }
  // Writes Text to a file below the folder, making its folders, and returns its path.
  fs::path Write(const std::string& Name, const std::string& Text) const {
    fs::create_directories((Path_ / Name).parent_path());
    std::ofstream(Path_ / Name, std::ios::binary) << Text;
    return Path_ / Name;
  }

 private:
  fs::path Path_;
};

}  // namespace DocSupport
