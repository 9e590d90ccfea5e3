#include <algorithm>
#include <string>

#include "Bytes.h"
#include "SafeReplace.h"
#include "UFunStruct.h"

// The PAT file: reading and writing the whole document.
namespace UFunStruct {

namespace {

const char* const ReadBeyondEnd = "Read beyond end of file";
const char* const FileTooLarge = "File too large";

// A frame, row or cell that the counts promise but the arrays lack is written as zeros, so the file
// always matches its own counts.
const TFrame& FrameAt(const TFunlight& F, size_t i) {
  static const TFrame Empty;
  return i < F.Frames.size() ? F.Frames[i] : Empty;
}

const TClubFrame& RowAt(const TFunlight& F, size_t i) {
  static const TClubFrame Empty;
  return i < F.ClubFrames.size() ? F.ClubFrames[i] : Empty;
}

template <typename Cell>
const Cell& CellAt(const std::vector<Cell>& Cells, size_t i) {
  static const Cell Empty;
  return i < Cells.size() ? Cells[i] : Empty;
}

size_t DataSize(const TFunlight& F) {
  switch (F.FunType) {
    case NormalType: {
      size_t n = 2;
      for (size_t i = 0; i < F.FrameCount; ++i) {
        n += 1 + 3 * size_t{FrameAt(F, i).CellCount};
        if (i + 1 < F.FrameCount || F.Repeating) n += 2;
      }
      return n + (F.Repeating ? 1 : 0);
    }
    case ClubType: {
      size_t n = 0;
      for (size_t i = 0; i < F.FrameCount; ++i) n += 6 + 3 * size_t{RowAt(F, i).CellCount};
      return n;
    }
    default:
      return F.RawData.size();
  }
}

// ---- reading ----

class TReader {
 public:
  explicit TReader(const std::vector<uint8_t>& Data) : Data_(Data) {}

  size_t Pos() const { return Pos_; }

  uint8_t Byte() {
    Need(1);
    return Data_[Pos_++];
  }

  uint16_t Word() {
    Need(2);
    const auto v = static_cast<uint16_t>(Bytes::BE16(&Data_[Pos_]));
    Pos_ += 2;
    return v;
  }

  void Skip(size_t n) {
    Need(n);
    Pos_ += n;
  }

  std::vector<uint8_t> Raw(size_t n) {
    Need(n);
    std::vector<uint8_t> v(Data_.begin() + Pos_, Data_.begin() + Pos_ + n);
    Pos_ += n;
    return v;
  }

 private:
  void Need(size_t n) const {
    if (Data_.size() - Pos_ < n) throw EInOutError(ReadBeyondEnd);
  }

  const std::vector<uint8_t>& Data_;
  size_t Pos_ = 0;
};

void ReadNormal(TReader& In, TFunlight& F) {
  const size_t Start = In.Pos();
  F.Frames.resize(F.FrameCount);
  F.HeadValue = In.Word();
  for (size_t i = 0; i < F.Frames.size(); ++i) {
    TFrame& Frame = F.Frames[i];
    Frame.CellCount = In.Byte();
    Frame.Cells.resize(Frame.CellCount);
    for (TFrameCell& Cell : Frame.Cells) {
      Cell.Element = In.Byte();
      Cell.R = In.Byte();
      const uint8_t GB = In.Byte();
      Cell.G = GB >> 4;
      Cell.B = GB & 0x0F;
    }
    // Every frame but the last carries a duration; reading it regardless of Size keeps funlights
    // longer than 65535 bytes, whose Size has wrapped, intact.
    if (i + 1 < F.Frames.size()) Frame.Duration = In.Word();
  }

  // What follows the last frame's cells is told by Size: nothing, its duration, or its duration and
  // the closing 00 of a repeating funlight. A wrapped Size is taken modulo 65536.
  const size_t Consumed = In.Pos() - Start;
  size_t Rest;
  if (Consumed <= F.Size) {
    Rest = F.Size - Consumed;
  } else {
    Rest = (F.Size - Consumed) & 0xFFFF;
    if (Rest > 3) Rest = 0;
  }
  if (!F.Frames.empty() && Rest >= 2) {
    F.Frames.back().Duration = In.Word();
    Rest -= 2;
  }
  if (Rest == 1) {
    In.Byte();  // the closing 00; its value is not looked at
    F.Repeating = true;
    Rest = 0;
  }
  // Bytes the layout does not explain are passed over so the next funlight starts where it should.
  In.Skip(Rest);
}

void ReadClub(TReader& In, TFunlight& F) {
  const size_t Start = In.Pos();
  F.ClubFrames.resize(F.FrameCount);
  uint8_t Steps = 0;
  for (TClubFrame& Row : F.ClubFrames) {
    Row.Element = In.Byte();
    Row.CellCount = In.Byte();
    Steps = std::max(Steps, Row.CellCount);
    Row.UpperFreq = In.Word();
    Row.LowerFreq = In.Word();
    Row.Cells.resize(Row.CellCount);
    for (TClubCell& Cell : Row.Cells) {
      Cell.R = In.Byte();
      const uint8_t GB = In.Byte();
      Cell.G = GB >> 4;
      Cell.B = GB & 0x0F;
      Cell.Param = In.Byte();
    }
  }
  F.StepCount = Steps;
  for (TClubFrame& Row : F.ClubFrames) Row.Cells.resize(Steps);

  // Earlier versions wrote uneven rows with a Size of FrameCount * (6 + 3 * StepCount) although
  // fewer cells followed; such a block ends where its rows end. Any other surplus is passed over.
  const size_t Consumed = In.Pos() - Start;
  const uint16_t OldSize = static_cast<uint16_t>(F.FrameCount * (6 + 3 * Steps));
  if (Consumed < F.Size && F.Size != OldSize) In.Skip(F.Size - Consumed);
}

// Reads the file at Path into Data; false, with nothing more read, when it does not begin with the
// format mark. Only up to the length of the largest PAT file is read.
bool LoadPat(const std::string& Path, std::vector<uint8_t>& Data) {
  SafeReplace::TInFile File(Path);
  uint8_t Mark[2];
  if (File.Read(Mark, sizeof Mark) < sizeof Mark) throw EInOutError(ReadBeyondEnd);
  if (Mark[0] != 0x01 || Mark[1] != 0x01) return false;
  if (File.Size() > MaxPatFileSize) throw EInOutError(FileTooLarge);

  // The length looked up is the file read: bytes that a writer appends meanwhile are not taken.
  Data.assign(std::max<size_t>(sizeof Mark, static_cast<size_t>(File.Size())), 0);
  Data[0] = Mark[0];
  Data[1] = Mark[1];
  Data.resize(sizeof Mark + File.Read(Data.data() + sizeof Mark, Data.size() - sizeof Mark));
  return true;
}

// ---- writing ----

class TWriter {
 public:
  void Byte(uint8_t v) { Data_.push_back(v); }
  void Word(uint16_t v) {
    Data_.resize(Data_.size() + 2);
    Bytes::PutBE16(&Data_[Data_.size() - 2], v);
  }
  void Raw(const std::vector<uint8_t>& v) { Data_.insert(Data_.end(), v.begin(), v.end()); }
  void PutWord(size_t At, uint16_t v) { Bytes::PutBE16(&Data_[At], v); }
  size_t Size() const { return Data_.size(); }
  const std::vector<uint8_t>& Data() const { return Data_; }

 private:
  std::vector<uint8_t> Data_;
};

uint8_t PackGB(uint8_t G, uint8_t B) {
  return static_cast<uint8_t>(G * 16 + B);
}

void WriteFunlight(TWriter& Out, const TFunlight& F) {
  Out.Word(F.Size);
  Out.Byte(F.FrameCount);
  Out.Word(0);
  Out.Byte(F.FunID);
  Out.Byte(F.FunType);
  if (F.FunType == ClubType) {
    for (size_t i = 0; i < F.FrameCount; ++i) {
      const TClubFrame& Row = RowAt(F, i);
      Out.Byte(Row.Element);
      Out.Byte(Row.CellCount);
      Out.Word(Row.UpperFreq);
      Out.Word(Row.LowerFreq);
      for (size_t c = 0; c < Row.CellCount; ++c) {
        const TClubCell& Cell = CellAt(Row.Cells, c);
        Out.Byte(Cell.R);
        Out.Byte(PackGB(Cell.G, Cell.B));
        Out.Byte(Cell.Param);
      }
    }
  } else if (F.FunType == NormalType) {
    Out.Word(F.HeadValue);
    for (size_t i = 0; i < F.FrameCount; ++i) {
      const TFrame& Frame = FrameAt(F, i);
      Out.Byte(Frame.CellCount);
      for (size_t c = 0; c < Frame.CellCount; ++c) {
        const TFrameCell& Cell = CellAt(Frame.Cells, c);
        Out.Byte(Cell.Element);
        Out.Byte(Cell.R);
        Out.Byte(PackGB(Cell.G, Cell.B));
      }
      if (i + 1 < F.FrameCount || F.Repeating) Out.Word(Frame.Duration);
    }
    if (F.Repeating) Out.Byte(0);
  } else {
    Out.Raw(F.RawData);
  }
}

bool ValidIndex(int Index) {
  return Index >= 0 && static_cast<size_t>(Index) < FunList.size();
}

}  // namespace

uint16_t CalcSize(int Index) {
  if (!ValidIndex(Index)) return 0;
  return static_cast<uint16_t>(DataSize(FunList[Index]));
}

void UpdateSize(int Index) {
  if (ValidIndex(Index)) FunList[Index].Size = CalcSize(Index);
}

bool ReadPat(const std::string& Path) {
  std::vector<uint8_t> Data;
  if (!LoadPat(Path, Data)) return false;
  TReader In(Data);
  In.Skip(2);
  const uint16_t TotalSize = In.Word();
  const uint8_t Count = In.Byte();

  // Built aside and swapped in only once the whole file has been read.
  std::vector<TFunlight> List(Count);
  for (TFunlight& F : List) {
    F.Repeating = false;
    F.Size = In.Word();
    F.FrameCount = In.Byte();
    In.Skip(2);
    F.FunID = In.Byte();
    F.FunType = In.Byte();
    if (F.FunType == ClubType)
      ReadClub(In, F);
    else if (F.FunType == NormalType)
      ReadNormal(In, F);
    else
      F.RawData = In.Raw(F.Size);
  }

  ClearFunList();
  FunList = std::move(List);
  FunFile.TotalSize = TotalSize;
  FunFile.Count = Count;
  return true;
}

void WritePat(const std::string& Path) {
  // Count is kept equal to the list's length; should they ever differ, only funlights that exist
  // are written and the header counts them.
  const size_t Count = std::min<size_t>(FunFile.Count, FunList.size());
  TWriter Out;
  Out.Word(0x0101);
  Out.Word(0);
  Out.Byte(static_cast<uint8_t>(Count));
  for (size_t i = 0; i < Count; ++i) {
    UpdateSize(static_cast<int>(i));
    WriteFunlight(Out, FunList[i]);
  }
  const uint16_t TotalSize = static_cast<uint16_t>(Out.Size() - Count - 5);
  Out.PutWord(2, TotalSize);

  SafeReplace::Replace(Path, Out.Data());
  FunFile.TotalSize = TotalSize;
}

}  // namespace UFunStruct
