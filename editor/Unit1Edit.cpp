// Undo and redo, the commands on whole frames, and the question about unsaved changes.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <functional>

#include "DXClass.h"
#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

QString EditName(const std::string& key) {
  return QString::fromStdString(Profile.EditNames[key]);
}

// The frame row's menu comes with the right button or the keyboard and selects the column clicked;
// the colour grid's right button paints, so its menu comes from the keyboard only.
class TFrameMenu : public QObject {
 public:
  TFrameMenu(TGrid* grid, bool mouseMenu, QList<QAction*> actions, TGrid** lastGrid)
      : QObject(grid),
        grid_(grid),
        mouseMenu_(mouseMenu),
        actions_(std::move(actions)),
        lastGrid_(lastGrid) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress)
      *lastGrid_ = grid_;
    if (event->type() != QEvent::ContextMenu) return false;
    auto* menuEvent = static_cast<QContextMenuEvent*>(event);
    const bool mouse = menuEvent->reason() == QContextMenuEvent::Mouse;
    int col, row;
    if (mouse && !mouseMenu_) return true;
    if (mouse && grid_->MouseToCell(menuEvent->pos().x(), menuEvent->pos().y(), col, row))
      grid_->MoveCurrent(col, grid_->Row());
    *lastGrid_ = grid_;
    QMenu::exec(actions_, menuEvent->globalPos(), nullptr, grid_);
    return true;
  }

 private:
  TGrid* grid_;
  bool mouseMenu_;
  QList<QAction*> actions_;
  TGrid** lastGrid_;
};

}  // namespace

void TMForm::SetUpEditing() {
  AUndo->setShortcuts(QKeySequence::Undo);
  ARedo->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  const QList<QAction*> frames = {AInsertFrameBefore, AInsertFrameAfter, ADuplicateFrame,
                                  ADeleteColumn,      AMoveFrameLeft,    AMoveFrameRight,
                                  ACopyFrame,         APasteFrame};
  lastGrid_ = EditGrid;
  for (TGrid* grid : {FrameGrid, EditGrid}) {
    grid->addActions(frames);
    grid->installEventFilter(new TFrameMenu(grid, grid == FrameGrid, frames, &lastGrid_));
  }
  // On the colour grid, the keys of the selected cell.
  const std::pair<QAction*, QKeySequence> cellKeys[] = {
      {AAddNewFrame, QKeySequence(Qt::Key_Insert)},
      {ADelFrame, QKeySequence(Qt::Key_Delete)},
      {AMakeOn_Off, QKeySequence(Qt::Key_Space)}};
  for (const auto& [action, key] : cellKeys) {
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    EditGrid->addAction(action);
  }
  // A gesture ends where the user turns to another control or lets a slider go.
  connect(qApp, &QApplication::focusChanged, this, [this] { History.Seal(); });
  for (QSlider* bar : {TrackBar1, TrackBar2, TrackBar3})
    connect(bar, &QSlider::sliderReleased, this, [this] { History.Seal(); });
  UpdateEditActions();
}

uint64_t TMForm::MergeKey(const void* control) const {
  const auto sliding = qobject_cast<const QSlider*>(static_cast<const QObject*>(control));
  // A slider's keyboard steps are steps of their own; its drag is one.
  if (sliding && !sliding->isSliderDown()) return 0;
  return std::hash<const void*>{}(control) ^
         (uint64_t{CurFun} << 8 | uint64_t{SelCol} << 16 | uint64_t{CellElement} << 24 |
          uint64_t{SelElement} << 32);
}

void TMForm::Record(const char* label, int first, int count, const std::function<void()>& edit,
                    uint64_t merge) {
  // A command run by another one belongs to the outer one's step.
  if (History.Recording()) return edit();
  const int page = PageControl2->currentIndex();
  // "Slot operations" acts on the element whose name was clicked, "Selected frame" on its cell.
  const int element = page == PageControl2->indexOf(TabSheet1) ? SelElement : CellElement;
  History.Begin(FunList, first, count, {label, {CurFun, page, SelCol, element}, merge});
  struct TEnd {
    TMForm& form;
    ~TEnd() {
      form.History.End(FunList);
      form.UpdateEditActions();
    }
  } end{*this};
  edit();
}

void TMForm::RecordCurrent(const char* label, const std::function<void(TFunlight&)>& edit,
                           uint64_t merge) {
  if (TFunlight* f = CurrentFunlight())
    Record(
        label, CurFun, 1, [&] { edit(*f); }, merge);
}

void TMForm::UpdateEditActions() {
  const bool playing = Timer1 && Timer1->Enabled();
  const auto caption = [](const std::string& bare, const std::string& named,
                          const std::string& key) {
    return key.empty() ? QString::fromStdString(bare)
                       : QString::fromStdString(named).arg(EditName(key));
  };
  AUndo->setText(caption(Profile.UndoText, Profile.UndoNamedText, History.UndoLabel()));
  ARedo->setText(caption(Profile.RedoText, Profile.RedoNamedText, History.RedoLabel()));
  AUndo->setEnabled(DocActive && !playing && History.CanUndo());
  ARedo->setEnabled(DocActive && !playing && History.CanRedo());
  const TFunlight* f = CurrentFunlight();
  const bool columns = DocActive && !playing && f && FunEdit::ColumnCount(*f) > 0;
  for (QAction* a : {AInsertFrameBefore, AInsertFrameAfter, ADuplicateFrame, ADeleteColumn,
                     AMoveFrameLeft, AMoveFrameRight, ACopyFrame})
    a->setEnabled(columns);
  APasteFrame->setEnabled(columns && ColumnClip.FunType == f->FunType);
  AExportAnimation->setEnabled(DocActive && !playing && f && f->FunType == NormalType);
}

void TMForm::GoToPlace(const EditHistory::TPlace& place) {
  const int row = std::clamp(place.Funlight, 0, static_cast<int>(FunList.size()) - 1);
  {
    const QSignalBlocker block(ListBox1);
    ListBox1->setCurrentRow(row);
  }
  Execute(AUpdateList);
  PageControl1->setCurrentWidget(Tab2);
  const TFunlight* f = CurrentFunlight();
  if (!f || !FunEdit::ValidElement(place.Element)) return;
  const int element = place.Element - 1;
  // Back on the page the step was made from, with its cell or element selected again.
  if (place.Page == PageControl2->indexOf(TabSheet2) && place.Col < FunEdit::ColumnCount(*f) &&
      FunEdit::ColourAt(*f, place.Element, place.Col)) {
    EditGrid->SetCurrent(place.Col, element);
  } else if (place.Page == PageControl2->indexOf(TabSheet1)) {
    SlotGrid->SetCurrent(0, element);
  }
}

void TMForm::AUndoExecute() {
  if (History.Recording()) return;
  GoToPlace(History.Undo(FunList, FunFile));
  UpdateEditActions();
}

void TMForm::ARedoExecute() {
  if (History.Recording()) return;
  GoToPlace(History.Redo(FunList, FunFile));
  UpdateEditActions();
}

int TMForm::SelectedColumn() const {
  return lastGrid_ == FrameGrid ? FrameGrid->Col() : EditGrid->Col();
}

void TMForm::ColumnCommand(const char* label, const std::function<int(TFunlight&, int)>& f) {
  if (!DocActive || !CurrentFunlight()) return;
  const int col = SelectedColumn();
  int to = -1;
  RecordCurrent(label, [&](TFunlight& fun) { to = f(fun, col); });
  if (to < 0) return;
  {
    const TUpdatingScope updating;  // the funlight stays on the page it is on
    Execute(AUpdateFunlight);
  }
  // The column moved or made is the one selected now, with its cell on the page as a click shows
  // it.
  FrameGrid->MoveCurrent(to, 1);
  EditGrid->SetCurrent(to, EditGrid->Row());
  UpdateEditActions();
}

void TMForm::AInsertFrameBeforeExecute() {
  ColumnCommand(
      "s240", [](TFunlight& f, int col) { return FunEdit::InsertColumn(f, col, col) ? col : -1; });
}

void TMForm::AInsertFrameAfterExecute() {
  ColumnCommand("s241", [](TFunlight& f, int col) {
    return FunEdit::InsertColumn(f, col + 1, col) ? col + 1 : -1;
  });
}

void TMForm::ADuplicateFrameExecute() {
  ColumnCommand("s242", [](TFunlight& f, int col) {
    return FunEdit::DuplicateColumn(f, col) ? col + 1 : -1;
  });
}

void TMForm::ADeleteColumnExecute() {
  ColumnCommand("s243", [](TFunlight& f, int col) {
    return FunEdit::DeleteColumn(f, col) ? std::min(col, FunEdit::ColumnCount(f) - 1) : -1;
  });
}

void TMForm::AMoveFrameLeftExecute() {
  ColumnCommand("s244", [](TFunlight& f, int col) { return FunEdit::MoveColumn(f, col, -1); });
}

void TMForm::AMoveFrameRightExecute() {
  ColumnCommand("s245", [](TFunlight& f, int col) { return FunEdit::MoveColumn(f, col, 1); });
}

void TMForm::ACopyFrameExecute() {
  if (const TFunlight* f = CurrentFunlight())
    ColumnClip = FunEdit::CopyColumn(*f, SelectedColumn());
  UpdateEditActions();
}

void TMForm::APasteFrameExecute() {
  ColumnCommand("s247", [this](TFunlight& f, int col) {
    return FunEdit::PasteColumn(f, col, ColumnClip) ? col : -1;
  });
}

bool TMForm::ConfirmDiscard() {
  if (!DocActive || !CheckBox9->isChecked() || !History.Modified()) return true;
  const QStringList buttons = {QString::fromStdString(Profile.SaveText),
                               QString::fromStdString(Profile.DiscardText),
                               QString::fromStdString(Profile.CancelText)};
  switch (Dialogs().AskToSave(this, windowTitle(), QString::fromStdString(Profile.AskToSaveMsg),
                              buttons)) {
    case IDialogs::Save:
      // A failed save shows its error and keeps the document open.
      return Execute(ASave) && !History.Modified();
    case IDialogs::Discard:
      return true;
    case IDialogs::Cancel:
      break;
  }
  return false;
}

void TMForm::DocumentLoaded() {
  History.Clear();
  ColumnClip = {};
  UpdateEditActions();
}

}  // namespace Unit1
