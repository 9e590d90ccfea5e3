// Colour grid, selection, profiles and element names.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <optional>

#include "DXDraws.h"
#include "DataFiles.h"
#include "FunEdit.h"
#include "IniFile.h"
#include "Profile.h"
#include "TextDecoding.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

// Silver and white in a 2 x 2 checker, anchored at the grid's origin. Made once: the grid paints up
// to 255 x 7 cells at a time.
const QBrush& UnusedPattern() {
  static const QBrush pattern = [] {
    QImage image(2, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, 0xFFC0C0C0);
    image.setPixel(1, 1, 0xFFC0C0C0);
    image.setPixel(1, 0, 0xFFFFFFFF);
    image.setPixel(0, 1, 0xFFFFFFFF);
    return QBrush(image);
  }();
  return pattern;
}

void ShowPage(QTabWidget* pages, QWidget* page, bool visible) {
  pages->setTabVisible(pages->indexOf(page), visible);
}

}  // namespace

std::string TMForm::ElementNamesFile() {
  return AppDir + "Profiles/Langs/" + Profile.ProfileName + "." + Profile.LangExt;
}

std::string TMForm::DataTextCodepage() {
  const TIniFile language(AppDir + "Languages/" + Profile.Language + ".lng");
  return language.ReadString("Language", "Codepage", std::string());
}

void TMForm::AUpdateFunlightExecute() {
  const bool wasUpdating = Updating;
  // A duration being typed belongs to the funlight shown so far; what was typed is already in it.
  FrameGrid->CloseEditor();
  const int row = ListBox1->currentRow();
  TFunlight* f = row >= 0 && static_cast<size_t>(row) < FunList.size() ? &FunList[row] : nullptr;
  if (!f) {
    // A document without funlights: an empty editor from which only adding works.
    for (QAction* a : {AFunCopy, ADelFun, AFunMoveUp, AFunMoveDown, AClearAllFrames, ACopyAllFrames,
                       ADelAllFrames})
      a->setEnabled(false);
    SpinEdit5->setEnabled(false);
    CheckBox1->setEnabled(false);
    ComboBox4->setCurrentIndex(-1);
    EditGrid->SetColCount(1);
    FrameGrid->SetColCount(1);
    FrameGrid->SetCell(0, 0, QString());
    FrameGrid->SetCell(0, 1, QString());
    if (!wasUpdating) PageControl2->setCurrentWidget(TabSheet3);
    ShowPage(PageControl2, TabSheet1, false);
    ShowPage(PageControl2, TabSheet2, false);
    UpdateEditActions();
    EditGrid->update();
    return;
  }
  CurFun = static_cast<uint8_t>(row);
  const bool normal = f->FunType == NormalType;
  const bool club = f->FunType == ClubType;

  SpinEdit5->setEnabled(true);
  AFunCopy->setEnabled(true);
  AClearAllFrames->setEnabled(normal);
  ACopyAllFrames->setEnabled(normal);
  ADelAllFrames->setEnabled(true);
  ADelFun->setEnabled(true);
  AFunMoveDown->setEnabled(CurFun + 1 < FunFile.Count);
  AFunMoveUp->setEnabled(CurFun > 0);

  QString text = ListBox1->item(row)->text();
  const QString marker = " " + QString::fromStdString(Profile.ClubMarker);
  if (club && text.endsWith(marker)) text.chop(marker.size());
  ComboBox4->setCurrentIndex(ComboBox4->findText(text));

  CheckBox1->setEnabled(normal);
  if (normal || club) {
    (normal ? RadioButton1 : RadioButton2)->setChecked(true);
  } else {
    // A type the editor does not know is neither: clear both without writing a type into it.
    for (QRadioButton* b : {RadioButton1, RadioButton2}) {
      b->setAutoExclusive(false);
      b->setChecked(false);
      b->setAutoExclusive(true);
    }
  }
  CheckBox1->setChecked(f->Repeating);

  // The spin edit's change handler brings the funlight and both grids to the value shown; when the
  // value does not change it does not run by itself, so run it whenever they disagree.
  // Showing the funlight is no edit of it: nothing here is an undo step.
  const int count = club ? f->StepCount : f->FrameCount;
  Updating = true;
  SpinEdit5->setValue(std::max(count, 1));
  f = &FunList[CurFun];
  const int shown = SpinEdit5->value();
  const int now = club ? f->StepCount : f->FrameCount;
  if (now != shown || EditGrid->ColCount() != shown || FrameGrid->ColCount() != shown ||
      (normal && f->Frames.size() != static_cast<size_t>(shown)))
    SpinEdit5Change();
  SpinEdit1->setValue(f->HeadValue);
  Updating = wasUpdating;

  FillFrameRow();
  if (!wasUpdating) PageControl2->setCurrentWidget(TabSheet3);
  ShowPage(PageControl2, TabSheet1, false);
  ShowPage(PageControl2, TabSheet2, false);
  UpdateEditActions();
  EditGrid->update();
}

void TMForm::FillFrameRow() {
  // A duration has up to five digits (65535); each must show whole in the narrow columns.
  FrameGrid->FitDigits(5);
  const TFunlight* f = CurrentFunlight();
  const bool normal = f && f->FunType == NormalType;
  for (int i = 1; i <= FrameGrid->ColCount(); ++i) {
    const size_t frame = static_cast<size_t>(i - 1);
    FrameGrid->SetCell(i - 1, 0, QString::number(i));
    FrameGrid->SetCell(i - 1, 1,
                       normal && frame < f->Frames.size()
                           ? QString::number(f->Frames[frame].Duration)
                           : QString());
  }
}

void TMForm::AUpdateSlotsExecute() {
  const TIniFile names(ElementNamesFile());
  const std::string codepage = DataTextCodepage();
  ComboBox3->clear();
  for (int n = 1; n <= 7; ++n) {
    const std::string key = "Element0" + std::to_string(n);
    const std::string fallback = "(0" + std::to_string(n) + ") ...";
    const QString name = QString::fromStdString(
        DecodeLanguageText(names.ReadString("Elements", key, fallback), codepage));
    SlotGrid->SetCell(0, n - 1, name);
    ComboBox3->addItem(name);
  }
}

void TMForm::EditGridDrawCell(int ACol, int ARow, const QRect& Rect, TGridDrawState) {
  QPainter* canvas = EditGrid->Canvas();
  if (!canvas) {
    // Called to repaint one cell at once: the grid paints it with the next paint event.
    EditGrid->InvalidateCell(ACol, ARow);
    return;
  }
  if (!DocActive) return;
  const TFunlight* f = CurrentFunlight();
  // Only a paint event has a canvas, and it paints the grid's own cells.
  if (!f) return;
  const uint8_t e = static_cast<uint8_t>(ARow + 1);
  const std::optional<FunEdit::TColour> cell = FunEdit::ColourAt(*f, e, ACol);
  if (!cell || (IsAbsent(e) && CheckBox2->isChecked())) {
    canvas->fillRect(Rect, UnusedPattern());
    return;
  }
  uint32_t colour = ColorOf(cell->R, cell->G, cell->B);
  // A single-colour element is lit by bit 0 of blue, in its own fixed colour.
  if (IsSingleColour(e)) colour = (cell->B & 1) ? static_cast<uint32_t>(ElementKind(e)) : 0;
  canvas->fillRect(Rect, ColorFromWin(colour));
}

void TMForm::EditGridSelectCell(int ACol, int ARow, bool&) {
  if (!DocActive || !CurrentFunlight() || ACol < 0 || ACol >= NoCell || ARow < 0 || ARow > 6 ||
      (IsAbsent(ARow + 1) && CheckBox2->isChecked())) {
    ShowPage(PageControl2, TabSheet2, false);
    return;
  }
  // Selecting the element below shows "Slot operations" too.
  ShowPage(PageControl2, TabSheet2, true);
  Updating = true;
  bool canSelect = true;
  SlotGridSelectCell(0, ARow, canSelect);
  Updating = false;
  PageControl2->setCurrentWidget(TabSheet2);
  // The names column marks the element of the selected cell; its page is already filled above.
  SlotGrid->MoveCurrent(0, ARow);
  SelCol = static_cast<uint8_t>(ACol);
  CellElement = static_cast<uint8_t>(ARow + 1);
  SelCell = FindCell(CellElement, SelCol);
  AAddNewFrame->setEnabled(false);
  if (SelCell != NoCell) {
    Execute(AMakeSelect);
    ElName->setText(SlotGrid->Cell(0, ARow));
  } else {
    Execute(AMakeEmpty);
  }
}

void TMForm::SlotGridSelectCell(int, int ARow, bool&) {
  const TFunlight* f = CurrentFunlight();
  if (!DocActive || !f || ARow < 0 || ARow > 6) return;
  ShowPage(PageControl2, TabSheet1, true);
  if (!Updating) PageControl2->setCurrentWidget(TabSheet1);
  ElName->setText(SlotGrid->Cell(0, ARow));
  SelElement = static_cast<uint8_t>(ARow + 1);
  CopyTarget = SelElement;
  ComboBox3->setCurrentIndex(ARow);
  const uint8_t idx = f->FunType == ClubType ? FindCell(SelElement, 0) : NoCell;
  const bool hasRow = idx != NoCell;
  SpinEdit3->setEnabled(hasRow);
  SpinEdit4->setEnabled(hasRow);
  Updating = true;
  SpinEdit3->setValue(hasRow ? f->ClubFrames[idx].UpperFreq : 0);
  SpinEdit4->setValue(hasRow ? f->ClubFrames[idx].LowerFreq : 0);
  Updating = false;
}

void TMForm::EditGridTopLeftChanged() {
  SlotGrid->SetTopRow(EditGrid->TopRow());
  FrameGrid->SetLeftCol(EditGrid->LeftCol());
}

void TMForm::ASearchProfilesExecute() {
  ComboBox2->clear();
  for (const std::string& name : ListBaseNames(AppDir + "Profiles", "prof"))
    ComboBox2->addItem(QString::fromStdString(name));
}

void TMForm::ALoadProfileExecute() {
  Profile.ElementCount = 6;
  const TIniFile profile(AppDir + "Profiles/" + Profile.ProfileName + ".prof");
  for (int n = 1; n <= 7; ++n) {
    const int32_t value =
        profile.ReadInteger("Colors", "Color0" + std::to_string(n), AbsentElement);
    // Below -2 means nothing: such an element is absent like -2.
    Profile.ElementColour[static_cast<size_t>(n)] = std::max(value, AbsentElement);
  }
  if (Profile.ElementColour[7] != AbsentElement) Profile.ElementCount = 7;
  EditGrid->SetRowCount(Profile.ElementCount);
  SlotGrid->SetRowCount(Profile.ElementCount);
}

}  // namespace Unit1
