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

#include "FunEdit.h"
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

QString DocumentFullText() {
  return QString::fromStdString(Profile.FunlightListFullMsg);
}

// Moves the current funlight one place and keeps it selected.
void MoveCurrent(TMForm& form, int delta) {
  if (!DocActive) return;
  const int from = CurFun;
  int to = -1;
  form.Record("s213", std::min(from, from + delta), 2,
              [&] { to = FunEdit::MoveFunlight(FunList, from, delta); });
  if (to < 0) return;
  CurFun = static_cast<uint8_t>(to);
  SetListRow(form.ListBox1, to);
  form.Execute(form.AUpdateList);
  form.ListBox1Click();
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
  bool set = false;
  RecordCurrent("s214",
                [&](TFunlight& f) { set = FunEdit::SetFunID(f, ComboBox4->currentIndex()); });
  if (!set) return;
  Execute(AUpdateList);
  Execute(AUpdateFunlight);
}

void TMForm::RadioButton1Click() {
  if (RadioButton1->isChecked())
    RecordCurrent("s215", [](TFunlight& f) { f.FunType = NormalType; });
}

void TMForm::RadioButton2Click() {
  if (RadioButton2->isChecked()) RecordCurrent("s215", [](TFunlight& f) { f.FunType = ClubType; });
}

void TMForm::CheckBox1Click() {
  RecordCurrent("s217", [this](TFunlight& f) { f.Repeating = CheckBox1->isChecked(); });
}

void TMForm::SpinEdit1Change() {
  if (Updating) return;
  RecordCurrent(
      "s216", [this](TFunlight& f) { FunEdit::SetHeadValue(f, SpinEdit1->value()); },
      MergeKey(SpinEdit1));
}

void TMForm::SpinEdit5Change() {
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  int v = 0;
  const auto count = [&](TFunlight& fun) { v = FunEdit::SetCount(fun, SpinEdit5->value()); };
  // While a funlight is shown, its count is only brought to what the spin edit can show.
  Updating ? count(*f) : RecordCurrent("s218", count, MergeKey(SpinEdit5));
  // A funlight of a type the editor does not know keeps its data as read: only the grids follow.
  EditGrid->SetColCount(v);
  FrameGrid->SetColCount(v);
  FillFrameRow();
  // The "Selected frame" page must not stay on a cell whose column is gone.
  if (SelCol >= v) PageControl2->setTabVisible(PageControl2->indexOf(TabSheet2), false);
  EditGrid->update();
}

void TMForm::AAddNewFunExecute() {
  if (FunEdit::Full(FunList)) {
    Message(DocumentFullText(), TMsgIcon::Error);
    return;
  }
  if (!Unit2::SForm) return;
  const int answer = Dialogs().ShowModal(Unit2::SForm);
  if (answer != mrYes && answer != mrNo) return;
  Record("s210", static_cast<int>(FunList.size()), 0,
         [&] { FunEdit::AddFunlight(FunList, FunFile, answer == mrYes ? NormalType : ClubType); });
  Execute(AUpdateList);
}

void TMForm::AFunCopyExecute() {
  if (!DocActive || !CurrentFunlight()) return;
  bool copied = false;
  Record("s211", static_cast<int>(FunList.size()), 0,
         [&] { copied = FunEdit::CopyFunlight(FunList, FunFile, CurFun); });
  if (!copied) {
    Message(DocumentFullText(), TMsgIcon::Error);
    return;
  }
  Execute(AUpdateList);
  ListBox1Click();
}

void TMForm::ADelFunExecute() {
  if (!DocActive) return;
  const int cur = CurFun;
  int next = -1;
  Record("s212", cur, 1, [&] { next = FunEdit::DeleteFunlight(FunList, FunFile, cur); });
  if (next < 0) return;
  struct TRestore {
    ~TRestore() { DocActive = true; }
  } restore;
  DocActive = false;
  if (next != cur) {
    CurFun = static_cast<uint8_t>(next);
    SetListRow(ListBox1, next);
  }
  Execute(AUpdateList);
  ListBox1Click();
}

void TMForm::AFunMoveUpExecute() {
  MoveCurrent(*this, -1);
}

void TMForm::AFunMoveDownExecute() {
  MoveCurrent(*this, 1);
}

}  // namespace Unit1
