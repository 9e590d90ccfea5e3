// Funlight list and funlight settings.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <utility>

#include "IniFile.h"
#include "Profile.h"
#include "TextDecoding.h"
#include "UFunStruct.h"
#include "Unit1.h"
#include "Unit2.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

// Number of funlights of the document; Count and the list are kept equal, but never trust one
// alone.
int FunlightCount() {
  return static_cast<int>(std::min<size_t>(FunFile.Count, FunList.size()));
}

// "(0A) name": the identifier in upper-case hexadecimal and its name from the element-name file.
QString ItemText(const TIniFile& names, const std::string& codepage, uint8_t id) {
  const std::string name =
      names.ReadString("Funlights", "Funlight" + std::to_string(id), std::string("..."));
  return QString("(%1) ").arg(id, 2, 16, QChar('0')).toUpper() +
         QString::fromStdString(DecodeLanguageText(name, codepage));
}

void SetListRow(QListWidget* list, int row) {
  const QSignalBlocker block(list);
  list->setCurrentRow(row);
}

bool DocumentFull() {
  return FunList.size() >= static_cast<size_t>(MaxFunlights);
}

QString DocumentFullText() {
  return QString::fromStdString(Profile.FunlightListFullMsg);
}

// Whether the press in progress on a list has already run its click handler. Every press starts
// afresh: a press that ends on another row than it began (a drag) gives no click to clear it.
class TPressWatch : public QObject {
 public:
  using QObject::QObject;
  bool Handled = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
      Handled = false;
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

// A list's click handler runs when the user moves the selection, and also when the user clicks the
// item that is already selected (as the original list's click did), but once per click.
void TMForm::BindListClick(QListWidget* list, void (TMForm::*handler)()) {
  auto* press = new TPressWatch(list);
  list->viewport()->installEventFilter(press);
  connect(list, &QListWidget::currentRowChanged, this, [this, handler, press] {
    if (QApplication::mouseButtons() != Qt::NoButton) press->Handled = true;
    Guard([this, handler] { (this->*handler)(); });
  });
  connect(list, &QListWidget::itemClicked, this, [this, handler, press] {
    if (std::exchange(press->Handled, false)) return;
    Guard([this, handler] { (this->*handler)(); });
  });
}

void TMForm::AUpdateListExecute() {
  const TIniFile names(ElementNamesFile());
  const std::string codepage = DataTextCodepage();
  const int remembered = ListBox1->currentRow();
  {
    // Refilling the lists is not a choice of the user: no click handler runs from here.
    const QSignalBlocker block1(ListBox1), block2(ListBox2);
    ListBox1->clear();
    ListBox2->clear();
    ComboBox4->clear();
    const QString marker = " " + QString::fromStdString(Profile.ClubMarker);
    for (int i = 0; i < FunlightCount(); ++i) {
      const TFunlight& f = FunList[static_cast<size_t>(i)];
      const QString text = ItemText(names, codepage, f.FunID);
      ListBox1->addItem(f.FunType == ClubType ? text + marker : text);
      if (f.FunType == NormalType) ListBox2->addItem(text);
    }
    for (uint8_t id : FunIDTable) ComboBox4->addItem(ItemText(names, codepage, id));
    // A remembered row past the end (a shorter document was loaded) falls back to the last one.
    ListBox1->setCurrentRow(std::min(std::max(remembered, 0), ListBox1->count() - 1));
    ListBox2->setCurrentRow(-1);
  }
  {
    const TUpdatingScope updating;
    ListBox1Click();
  }
  ListBox2Click();
  Button15->setEnabled(false);
  Button8->setEnabled(ListBox1->count() > 1);
}

void TMForm::ListBox1Click() {
  const int row = ListBox1->currentRow();
  if (row < 0) return;
  if (!Updating) {
    const QString text = ListBox1->item(row)->text();
    int found = -1;
    for (int i = 0; i < ListBox2->count() && found < 0; ++i)
      if (ListBox2->item(i)->text().compare(text, Qt::CaseInsensitive) == 0) found = i;
    SetListRow(ListBox2, found);
    Button15->setEnabled(found >= 0);
  }
  Execute(AUpdateFunlight);
}

void TMForm::ComboBox4Change() {
  TFunlight* f = CurrentFunlight();
  const int index = ComboBox4->currentIndex();
  if (!f || index < 0 || index >= static_cast<int>(FunIDTable.size())) return;
  f->FunID = FunIDTable[static_cast<size_t>(index)];
  Execute(AUpdateList);
  Execute(AUpdateFunlight);
}

void TMForm::RadioButton1Click() {
  if (TFunlight* f = CurrentFunlight(); f && RadioButton1->isChecked()) f->FunType = NormalType;
}

void TMForm::RadioButton2Click() {
  if (TFunlight* f = CurrentFunlight(); f && RadioButton2->isChecked()) f->FunType = ClubType;
}

void TMForm::CheckBox1Click() {
  TFunlight* f = CurrentFunlight();
  if (f && CheckBox1->isChecked() != f->Repeating) f->Repeating = CheckBox1->isChecked();
}

void TMForm::SpinEdit1Change() {
  if (Updating) return;
  if (TFunlight* f = CurrentFunlight())
    f->HeadValue = static_cast<uint16_t>(std::clamp(SpinEdit1->value(), 0, 65535));
}

void TMForm::SpinEdit5Change() {
  const int v = std::clamp(SpinEdit5->value(), 1, 255);
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  if (f->FunType == NormalType) {
    f->FrameCount = static_cast<uint8_t>(v);
    SetFrameCount(CurFun);
  } else if (f->FunType == ClubType && v != f->StepCount) {
    // Only a change of the count evens the rows out: a row read with fewer cells is written back
    // as read while it is merely shown.
    f->StepCount = static_cast<uint8_t>(v);
    for (TClubFrame& row : f->ClubFrames) {
      row.CellCount = static_cast<uint8_t>(v);
      row.Cells.resize(static_cast<size_t>(v));
    }
  }
  // A funlight of a type the editor does not know keeps its data as read: only the grids follow.
  EditGrid->SetColCount(v);
  FrameGrid->SetColCount(v);
  FillFrameRow();
  // The "Selected frame" page must not stay on a cell whose column is gone.
  if (SelCol >= v) PageControl2->setTabVisible(PageControl2->indexOf(TabSheet2), false);
  EditGrid->update();
}

void TMForm::AAddNewFunExecute() {
  if (DocumentFull()) {
    Message(DocumentFullText(), TMsgIcon::Error);
    return;
  }
  if (!Unit2::SForm) return;
  const int answer = Dialogs().ShowModal(Unit2::SForm);
  if (answer == mrYes)
    AddFunlightOfType(NormalType);
  else if (answer == mrNo)
    AddFunlightOfType(ClubType);
  else
    return;
  FunFile.Count = static_cast<uint8_t>(FunList.size());
  Execute(AUpdateList);
}

void TMForm::AFunCopyExecute() {
  if (!DocActive) return;
  const TFunlight* f = CurrentFunlight();
  if (!f) return;
  if (DocumentFull()) {
    Message(DocumentFullText(), TMsgIcon::Error);
    return;
  }
  TFunlight copy = *f;  // the vectors copy every frame, row and cell
  FunList.push_back(std::move(copy));
  FunFile.Count = static_cast<uint8_t>(FunList.size());
  Execute(AUpdateList);
  ListBox1Click();
}

void TMForm::ADelFunExecute() {
  if (!DocActive) return;
  // The last funlight of a document stays: the list and the editor always need one to show.
  if (FunList.size() < 2 || CurFun >= FunList.size()) return;
  struct TRestore {
    ~TRestore() { DocActive = true; }
  } restore;
  DocActive = false;
  const size_t cur = CurFun;
  if (cur + 1 == FunList.size()) {
    CurFun = static_cast<uint8_t>(cur - 1);
    SetListRow(ListBox1, static_cast<int>(cur - 1));
  }
  FunList.erase(FunList.begin() + static_cast<std::ptrdiff_t>(cur));
  FunFile.Count = static_cast<uint8_t>(FunList.size());
  Execute(AUpdateList);
  ListBox1Click();
}

void TMForm::AFunMoveUpExecute() {
  if (!DocActive || CurFun == 0 || CurFun >= FunList.size()) return;
  std::swap(FunList[CurFun], FunList[CurFun - 1u]);
  --CurFun;
  SetListRow(ListBox1, CurFun);
  Execute(AUpdateList);
  ListBox1Click();
}

void TMForm::AFunMoveDownExecute() {
  if (!DocActive || CurFun + 1u >= FunList.size()) return;
  std::swap(FunList[CurFun], FunList[CurFun + 1u]);
  ++CurFun;
  SetListRow(ListBox1, CurFun);
  Execute(AUpdateList);
  ListBox1Click();
}

}  // namespace Unit1
