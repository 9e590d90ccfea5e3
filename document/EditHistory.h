#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "UFunStruct.h"

// Undo and redo of the document's edits. A step keeps the funlights of one range of the list as
// they were before and after the edit (a single funlight for most edits, none or one for adding or
// removing a funlight, two for a move), so that undo and redo cost what the range costs, whatever
// the size of the document.
namespace EditHistory {

using UFunStruct::TFunlight;
using TFunList = std::vector<TFunlight>;

// Where the user was when the step was made, given back on undo and redo. Page is the window's.
struct TPlace {
  int Funlight = 0, Page = 0, Col = 0, Element = 0;
  bool operator==(const TPlace&) const = default;
};

// What an edit is and where it acts: the label names it in the menu (a language key); edits with
// the same non-zero Merge that follow each other make one step until the history is sealed.
struct TEdit {
  TEdit(std::string Label = {}, TPlace Place = {}, uint64_t Merge = 0)
      : Label(std::move(Label)), Place(Place), Merge(Merge) {}
  std::string Label;
  TPlace Place;
  uint64_t Merge;
};

struct TLimits {
  size_t Steps = 500;
  size_t Bytes = 64u << 20;
};

// The memory a funlight takes, as the history counts it.
size_t FunlightBytes(const TFunlight& F);

class THistory {
 public:
  explicit THistory(TLimits Limits = {}) : Limits_(Limits) {}

  // Starts an edit of the funlights [First, First + Count) of List; End takes them again, with as
  // many more or fewer as the edit added or removed. An edit that changed nothing is no step.
  void Begin(const TFunList& List, int First, int Count, TEdit Edit);
  void End(const TFunList& List);
  bool Recording() const { return Open_; }

  bool CanUndo() const { return Done_ > 0; }
  bool CanRedo() const { return Done_ < Steps_.size(); }
  // The labels of the steps that Undo and Redo would take back or make again; "" when none.
  const std::string& UndoLabel() const;
  const std::string& RedoLabel() const;
  // Take back or make again one step in List (File.Count follows); the place of the step. Nothing
  // happens without a step to take.
  TPlace Undo(TFunList& List, UFunStruct::TFunFile& File);
  TPlace Redo(TFunList& List, UFunStruct::TFunFile& File);

  // Ends the merging of the last step: the next edit is a step of its own.
  void Seal() { Sealed_ = true; }
  // A new document: no steps, and unchanged.
  void Clear();
  // The document as it is now is the one on disk.
  void MarkSaved() { Saved_ = CurrentId(); }
  bool Modified() const { return Saved_ != CurrentId(); }

  size_t Count() const { return Steps_.size(); }
  size_t Bytes() const { return Bytes_; }

 private:
  struct TStep {
    TEdit Edit;
    int First = 0;
    TFunList Before, After;
    size_t Bytes = 0;
    uint64_t Id = 0;
  };
  uint64_t CurrentId() const { return Done_ ? Steps_[Done_ - 1].Id : Base_; }
  void Push(TStep Step);
  static size_t StepBytes(const TStep& Step);

  TLimits Limits_;
  std::deque<TStep> Steps_;
  size_t Done_ = 0;  // steps [0, Done_) are done, the rest can be redone
  size_t Bytes_ = 0;
  uint64_t NextId_ = 1;
  uint64_t Saved_ = 0;
  uint64_t Base_ = 0;  // the newest step dropped for the limits: the state before the oldest kept
  bool Sealed_ = true;
  // The edit between Begin and End.
  bool Open_ = false;
  TStep Pending_;
  size_t SizeBefore_ = 0;
};

}  // namespace EditHistory
