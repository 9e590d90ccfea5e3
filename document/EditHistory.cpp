#include "EditHistory.h"

#include <algorithm>
#include <utility>

namespace EditHistory {

using namespace UFunStruct;

namespace {

TFunList Range(const TFunList& List, size_t First, size_t Count) {
  First = std::min(First, List.size());
  Count = std::min(Count, List.size() - First);
  const auto Begin = List.begin() + static_cast<std::ptrdiff_t>(First);
  return TFunList(Begin, Begin + static_cast<std::ptrdiff_t>(Count));
}

// Puts With where Out lies in List: the list is as the step left it, so Out is there.
void Splice(TFunList& List, TFunFile& File, size_t First, const TFunList& Out,
            const TFunList& With) {
  const auto At = List.begin() + static_cast<std::ptrdiff_t>(First);
  List.erase(At, At + static_cast<std::ptrdiff_t>(Out.size()));
  List.insert(List.begin() + static_cast<std::ptrdiff_t>(First), With.begin(), With.end());
  File.Count = static_cast<uint8_t>(List.size());
}

const std::string NoLabel;

}  // namespace

size_t FunlightBytes(const TFunlight& F) {
  size_t Bytes = sizeof(TFunlight) + F.RawData.capacity();
  for (const TFrame& Frame : F.Frames)
    Bytes += sizeof(TFrame) + Frame.Cells.capacity() * sizeof(TFrameCell);
  for (const TClubFrame& Row : F.ClubFrames)
    Bytes += sizeof(TClubFrame) + Row.Cells.capacity() * sizeof(TClubCell);
  return Bytes;
}

size_t THistory::StepBytes(const TStep& Step) {
  size_t Bytes = sizeof(TStep);
  for (const TFunList* L : {&Step.Before, &Step.After})
    for (const TFunlight& F : *L) Bytes += FunlightBytes(F);
  return Bytes;
}

void THistory::Begin(const TFunList& List, int First, int Count, TEdit Edit) {
  // Past the end means at the end: where a funlight is appended.
  First = std::clamp(First, 0, static_cast<int>(List.size()));
  Pending_ = TStep{};
  Pending_.Edit = std::move(Edit);
  Pending_.First = First;
  Pending_.Before = Range(List, size_t(First), size_t(std::max(Count, 0)));
  SizeBefore_ = List.size();
  Open_ = true;
}

void THistory::End(const TFunList& List) {
  if (!Open_) return;
  Open_ = false;
  TStep Step = std::move(Pending_);
  const auto Grown =
      static_cast<std::ptrdiff_t>(List.size()) - static_cast<std::ptrdiff_t>(SizeBefore_);
  const auto Count = static_cast<std::ptrdiff_t>(Step.Before.size()) + Grown;
  Step.After = Range(List, size_t(Step.First), size_t(std::max<std::ptrdiff_t>(Count, 0)));
  if (Step.After == Step.Before) return;
  // Unsealed, the last step is the newest one, done and not undone since.
  TStep* Top = Sealed_ ? nullptr : &Steps_.back();
  if (Top && Step.Edit.Merge && Top->Edit.Merge == Step.Edit.Merge &&
      Top->First == Step.First && Top->After.size() == Step.Before.size()) {
    // The gesture goes on: the step keeps what was there before it began.
    Bytes_ -= Top->Bytes;
    Top->After = std::move(Step.After);
    if (Top->After == Top->Before) {
      Steps_.pop_back();
      --Done_;
      Sealed_ = true;
      return;
    }
    Top->Id = NextId_++;
    Top->Bytes = StepBytes(*Top);
    Bytes_ += Top->Bytes;
    return;
  }
  Push(std::move(Step));
}

void THistory::Push(TStep Step) {
  // What could be redone is gone once something new is done.
  while (Steps_.size() > Done_) {
    Bytes_ -= Steps_.back().Bytes;
    Steps_.pop_back();
  }
  Step.Id = NextId_++;
  Step.Bytes = StepBytes(Step);
  Bytes_ += Step.Bytes;
  Steps_.push_back(std::move(Step));
  Done_ = Steps_.size();
  Sealed_ = false;
  // The oldest steps go first; the newest one always stays.
  while (Steps_.size() > 1 && (Steps_.size() > Limits_.Steps || Bytes_ > Limits_.Bytes)) {
    Base_ = Steps_.front().Id;
    Bytes_ -= Steps_.front().Bytes;
    Steps_.pop_front();
    --Done_;
  }
}

const std::string& THistory::UndoLabel() const {
  return CanUndo() ? Steps_[Done_ - 1].Edit.Label : NoLabel;
}

const std::string& THistory::RedoLabel() const {
  return CanRedo() ? Steps_[Done_].Edit.Label : NoLabel;
}

TPlace THistory::Undo(TFunList& List, TFunFile& File) {
  if (!CanUndo()) return {};
  Sealed_ = true;
  const TStep& Step = Steps_[--Done_];
  Splice(List, File, size_t(Step.First), Step.After, Step.Before);
  return Step.Edit.Place;
}

TPlace THistory::Redo(TFunList& List, TFunFile& File) {
  if (!CanRedo()) return {};
  const TStep& Step = Steps_[Done_++];
  Splice(List, File, size_t(Step.First), Step.Before, Step.After);
  return Step.Edit.Place;
}

void THistory::Clear() {
  *this = THistory(Limits_);
}

}  // namespace EditHistory
