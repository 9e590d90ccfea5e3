#include "PatJson.h"

#include <algorithm>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <utility>

#include "SafeReplace.h"

namespace PatJson {

namespace {

using nlohmann::ordered_json;
using namespace UFunStruct;

// Larger than the JSON of the largest document, however it is spaced; a larger file is refused
// before it is read into memory.
constexpr uint64_t MaxJsonFileSize = uint64_t{1} << 30;

std::string HexBytes(const uint8_t* p, size_t n) {
  static const char Digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    s += Digits[p[i] >> 4];
    s += Digits[p[i] & 15];
  }
  return s;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& s) {
  const auto Digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  if (s.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> Bytes(s.size() / 2);
  for (size_t i = 0; i < Bytes.size(); ++i) {
    const int High = Digit(s[2 * i]), Low = Digit(s[2 * i + 1]);
    if (High < 0 || Low < 0) return std::nullopt;
    Bytes[i] = static_cast<uint8_t>(High * 16 + Low);
  }
  return Bytes;
}

// ---- writing ----

// The PAT writer gives a frame, row or cell that a count promises but the arrays lack as zeros.
template <typename T>
const T& At(const std::vector<T>& v, size_t i) {
  static const T Empty;
  return i < v.size() ? v[i] : Empty;
}

// G and B as the file holds them: one byte, G in its high four bits.
void PutColour(ordered_json& J, uint8_t R, uint8_t G, uint8_t B) {
  const auto GB = static_cast<uint8_t>(G * 16 + B);
  J["r"] = R;
  J["g"] = GB >> 4;
  J["b"] = GB & 15;
}

ordered_json FunlightJson(const TFunlight& F) {
  ordered_json J;
  J["id"] = HexBytes(&F.FunID, 1);
  if (F.FunType == NormalType) {
    J["type"] = "normal";
    J["headValue"] = F.HeadValue;
    J["repeat"] = F.Repeating;
    ordered_json& Frames = J["frames"] = ordered_json::array();
    for (size_t i = 0; i < F.FrameCount; ++i) {
      const TFrame& Frame = At(F.Frames, i);
      ordered_json FrameJ;
      FrameJ["duration"] = Frame.Duration;
      ordered_json& Cells = FrameJ["cells"] = ordered_json::array();
      for (size_t c = 0; c < Frame.CellCount; ++c) {
        const TFrameCell& Cell = At(Frame.Cells, c);
        ordered_json CellJ;
        CellJ["element"] = Cell.Element;
        PutColour(CellJ, Cell.R, Cell.G, Cell.B);
        Cells.push_back(std::move(CellJ));
      }
      Frames.push_back(std::move(FrameJ));
    }
  } else if (F.FunType == ClubType) {
    J["type"] = "clublight";
    ordered_json& Rows = J["rows"] = ordered_json::array();
    for (size_t i = 0; i < F.FrameCount; ++i) {
      const TClubFrame& Row = At(F.ClubFrames, i);
      ordered_json RowJ;
      RowJ["element"] = Row.Element;
      RowJ["upperFrequency"] = Row.UpperFreq;
      RowJ["lowerFrequency"] = Row.LowerFreq;
      ordered_json& Steps = RowJ["steps"] = ordered_json::array();
      // Only the row's own cells: a row read shorter than the others is written back as read.
      for (size_t c = 0; c < Row.CellCount; ++c) {
        const TClubCell& Cell = At(Row.Cells, c);
        ordered_json StepJ;
        PutColour(StepJ, Cell.R, Cell.G, Cell.B);
        StepJ["param"] = Cell.Param;
        Steps.push_back(std::move(StepJ));
      }
      Rows.push_back(std::move(RowJ));
    }
  } else {
    J["type"] = F.FunType;
    J["frameCount"] = F.FrameCount;
    J["data"] = HexBytes(F.RawData.data(), F.RawData.size());
  }
  return J;
}

// Two-space indentation, but an object or array of plain values (a cell, a step) on one line, so
// that a changed colour is one changed line.
void Print(const ordered_json& V, int Indent, std::string& Out) {
  if (!V.is_structured() || V.empty()) {
    Out += V.dump();
    return;
  }
  const bool Lines =
      std::any_of(V.begin(), V.end(), [](const auto& E) { return E.is_structured(); });
  Out += V.is_object() ? '{' : '[';
  bool First = true;
  for (auto It = V.begin(); It != V.end(); ++It) {
    const bool Later = !std::exchange(First, false);
    if (Later) Out += ',';
    if (Lines)
      Out.append("\n").append(Indent + 2, ' ');
    else if (Later)
      Out += ' ';
    if (V.is_object()) Out.append(ordered_json(It.key()).dump()).append(": ");
    Print(*It, Indent + 2, Out);
  }
  if (Lines) Out.append("\n").append(Indent, ' ');
  Out += V.is_object() ? '}' : ']';
}

// ---- reading ----

// A rule broken at a place of the JSON text, given as a JSON Pointer.
struct TBroken {
  std::string Path, Rule;
};

std::string PointerToken(const std::string& Key) {
  std::string s;
  for (char c : Key) s += c == '~' ? "~0" : c == '/' ? "~1" : std::string(1, c);
  return s;
}

// One value of the JSON text with its place.
class TValue {
 public:
  TValue(const ordered_json& V, std::string Path) : V_(V), Path_(std::move(Path)) {}

  [[noreturn]] void Fail(std::string Rule) const { throw TBroken{Path_, std::move(Rule)}; }

  // An object whose keys are all among Keys.
  void Keys(std::initializer_list<std::string_view> Keys) const {
    if (!V_.is_object()) Fail("must be an object");
    for (auto It = V_.begin(); It != V_.end(); ++It)
      if (std::find(Keys.begin(), Keys.end(), It.key()) == Keys.end())
        throw TBroken{Path_ + "/" + PointerToken(It.key()), "is not a known key"};
  }

  TValue operator[](const char* Key) const {
    if (!V_.is_object()) Fail("must be an object");
    const auto It = V_.find(Key);
    if (It == V_.end()) throw TBroken{Path_ + "/" + Key, "missing"};
    return TValue(*It, Path_ + "/" + Key);
  }

  std::vector<TValue> Array(size_t Max) const {
    if (!V_.is_array()) Fail("must be an array");
    if (V_.size() > Max) Fail("must have at most " + std::to_string(Max) + " entries");
    std::vector<TValue> Items;
    for (size_t i = 0; i < V_.size(); ++i)
      Items.emplace_back(V_[i], Path_ + "/" + std::to_string(i));
    return Items;
  }

  // Non-negative whole numbers are all that the parser keeps unsigned.
  bool IsWhole(uint64_t Max) const { return V_.is_number_unsigned() && V_.get<uint64_t>() <= Max; }

  uint16_t Word() const {
    if (!IsWhole(65535)) Fail("must be a whole number from 0 to 65535");
    return static_cast<uint16_t>(V_.get<uint64_t>());
  }

  uint8_t Byte(uint8_t Max = 255) const {
    if (!IsWhole(Max)) Fail("must be a whole number from 0 to " + std::to_string(Max));
    return static_cast<uint8_t>(V_.get<uint64_t>());
  }

  bool Flag() const {
    if (!V_.is_boolean()) Fail("must be true or false");
    return V_.get<bool>();
  }

  // Text of hexadecimal digits, two per byte.
  std::optional<std::vector<uint8_t>> HexData() const {
    return V_.is_string() ? ParseHex(V_.get_ref<const std::string&>()) : std::nullopt;
  }

  const ordered_json& Json() const { return V_; }

 private:
  const ordered_json& V_;
  std::string Path_;
};

const char* const TypeRule =
    "must be \"normal\", \"clublight\" or the number of another type (0, 3 to 255)";

uint8_t ReadType(const TValue& J) {
  const ordered_json& V = J.Json();
  if (V == "normal") return NormalType;
  if (V == "clublight") return ClubType;
  if (!J.IsWhole(255) || V == ClubType || V == NormalType) J.Fail(TypeRule);
  return V.get<uint8_t>();
}

void ReadNormal(const TValue& J, TFunlight& F) {
  J.Keys({"id", "type", "headValue", "repeat", "frames"});
  F.HeadValue = J["headValue"].Word();
  F.Repeating = J["repeat"].Flag();
  for (const TValue& FrameJ : J["frames"].Array(255)) {
    FrameJ.Keys({"duration", "cells"});
    TFrame& Frame = F.Frames.emplace_back();
    Frame.Duration = FrameJ["duration"].Word();
    for (const TValue& CellJ : FrameJ["cells"].Array(255)) {
      CellJ.Keys({"element", "r", "g", "b"});
      Frame.Cells.push_back(
          {CellJ["element"].Byte(), CellJ["r"].Byte(), CellJ["g"].Byte(15), CellJ["b"].Byte(15)});
    }
    Frame.CellCount = static_cast<uint8_t>(Frame.Cells.size());
  }
  F.FrameCount = static_cast<uint8_t>(F.Frames.size());
}

// As the PAT reader leaves a clublight: every row as long as the longest, each keeping its count.
void ReadClub(const TValue& J, TFunlight& F) {
  J.Keys({"id", "type", "rows"});
  for (const TValue& RowJ : J["rows"].Array(255)) {
    RowJ.Keys({"element", "upperFrequency", "lowerFrequency", "steps"});
    TClubFrame& Row = F.ClubFrames.emplace_back();
    Row.Element = RowJ["element"].Byte();
    Row.UpperFreq = RowJ["upperFrequency"].Word();
    Row.LowerFreq = RowJ["lowerFrequency"].Word();
    for (const TValue& StepJ : RowJ["steps"].Array(255)) {
      StepJ.Keys({"r", "g", "b", "param"});
      Row.Cells.push_back(
          {StepJ["r"].Byte(), StepJ["g"].Byte(15), StepJ["b"].Byte(15), StepJ["param"].Byte()});
    }
    Row.CellCount = static_cast<uint8_t>(Row.Cells.size());
    F.StepCount = std::max(F.StepCount, Row.CellCount);
  }
  for (TClubFrame& Row : F.ClubFrames) Row.Cells.resize(F.StepCount);
  F.FrameCount = static_cast<uint8_t>(F.ClubFrames.size());
}

void ReadOther(const TValue& J, TFunlight& F) {
  J.Keys({"id", "type", "frameCount", "data"});
  F.FrameCount = J["frameCount"].Byte();
  const TValue Data = J["data"];
  const auto Bytes = Data.HexData();
  if (!Bytes) Data.Fail("must be hexadecimal digits, two per byte");
  // Its Size in the file is 16-bit.
  if (Bytes->size() > 65535) Data.Fail("must hold at most 65535 bytes");
  F.RawData = *Bytes;
}

TFunlight ReadFunlight(const TValue& J) {
  TFunlight F;
  F.FunType = ReadType(J["type"]);
  const TValue Id = J["id"];
  const auto IdByte = Id.HexData();
  if (!IdByte || IdByte->size() != 1) Id.Fail("must be two hexadecimal digits");
  F.FunID = IdByte->front();
  if (F.FunType == NormalType)
    ReadNormal(J, F);
  else if (F.FunType == ClubType)
    ReadClub(J, F);
  else
    ReadOther(J, F);
  return F;
}

}  // namespace

std::string Write(const std::vector<TFunlight>& Funlights) {
  ordered_json Doc;
  ordered_json& List = Doc["funlights"] = ordered_json::array();
  for (const TFunlight& F : Funlights) List.push_back(FunlightJson(F));
  std::string Out;
  Print(Doc, 0, Out);
  return Out + "\n";
}

bool Read(const std::string& Text, std::vector<TFunlight>& Funlights, std::string& Error) {
  try {
    const ordered_json Doc = ordered_json::parse(Text);
    const TValue Root(Doc, "");
    Root.Keys({"funlights"});
    std::vector<TFunlight> List;
    for (const TValue& F : Root["funlights"].Array(MaxFunlights)) List.push_back(ReadFunlight(F));
    Funlights = std::move(List);
    return true;
  } catch (const TBroken& B) {
    Error = (B.Path.empty() ? "/" : B.Path) + ": " + B.Rule;
  } catch (const ordered_json::exception& E) {
    // "[json.exception.parse_error.101] parse error at line 2, column 5: syntax error ..."
    const std::string What = E.what();
    const size_t At = What.find("line ");
    Error = At == std::string::npos ? What : What.substr(At);
  }
  return false;
}

bool PatFileToJson(const std::string& PatPath, std::string& Json, std::string& Error) {
  try {
    if (!ReadPat(PatPath)) {
      Error = PatPath + ": not a funlight file";
      return false;
    }
  } catch (const EInOutError& E) {
    Error = PatPath + ": " + E.what();
    return false;
  }
  Json = Write(FunList);
  return true;
}

bool JsonFileToPat(const std::string& JsonPath, const std::string& PatPath, std::string& Error) {
  std::string Text;
  try {
    SafeReplace::TInFile In(JsonPath);
    if (In.Size() > MaxJsonFileSize) throw EInOutError("File too large");
    Text.resize(In.Size());
    Text.resize(In.Read(reinterpret_cast<uint8_t*>(Text.data()), Text.size()));
  } catch (const EInOutError& E) {
    Error = JsonPath + ": " + E.what();
    return false;
  }
  std::vector<TFunlight> List;
  if (!Read(Text, List, Error)) {
    Error = JsonPath + ": " + Error;
    return false;
  }
  ClearFunList();
  FunList = std::move(List);
  FunFile.Count = static_cast<uint8_t>(FunList.size());
  try {
    WritePat(PatPath);
  } catch (const EInOutError& E) {
    Error = PatPath + ": " + E.what();
    return false;
  }
  return true;
}

}  // namespace PatJson
