#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTabWidget>
#include <QTranslator>
#include <memory>
#include <new>
#include <utility>

#include "AboutForm.h"
#include "Controls.h"
#include "DXClass.h"
#include "DXDraws.h"
#include "DataFiles.h"
#include "FileAssociation.h"
#include "Profile.h"
#include "UFunStruct.h"

namespace Unit1 {

std::string AppDir;
std::string TempDir;
bool DocActive = false;
bool Updating = false;
TMForm* MForm = nullptr;

UFunStruct::TFunlight* CurrentFunlight() {
  using namespace UFunStruct;
  return CurFun < FunList.size() ? &FunList[CurFun] : nullptr;
}

// A button bound to an action shows the action's caption and enabled state and executes it.
static void BindButton(TMForm* form, QPushButton* button, QAction* action, bool caption = true) {
  if (caption) button->setText(action->text());
  button->setEnabled(action->isEnabled());
  QObject::connect(action, &QAction::changed, button, [button, action, caption] {
    if (caption) button->setText(action->text());
    button->setEnabled(action->isEnabled());
  });
  QObject::connect(button, &QPushButton::clicked, form,
                   [form, action] { form->Guard([=] { form->Execute(action); }); });
}

bool TMForm::Execute(QAction* action) {
  if (!action->isEnabled()) return false;
  auto it = handlers_.find(action);
  if (it == handlers_.end()) return false;
  ++actionDepth_;
  struct Depth {
    int& d;
    ~Depth() { --d; }
  } depth{actionDepth_};
  (this->*(it->second))();
  return true;
}

void TMForm::Guard(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::bad_alloc&) {
    // The library's own text ("std::bad_alloc") means nothing to the user.
    ShowError(QString::fromStdString(Profile.OutOfMemoryMsg));
  } catch (const std::exception& e) {
    ShowError(QString::fromStdString(e.what()));
  }
}

void TMForm::ShowError(const QString& text) {
  Dialogs().ShowMessage(this, QApplication::applicationName(), text, TMsgIcon::Error);
}

void TMForm::Message(const QString& text, TMsgIcon icon) {
  Dialogs().ShowMessage(this, windowTitle(), text, icon);
}

TMForm::TMForm(const TMFormServices& services) : services_(services) {
  MForm = this;
  setupUi(this);
  for (QSlider* bar : {TrackBar1, TrackBar2, TrackBar3}) bar->setStyle(TColourBarStyle::Instance());
  ConnectControls();
  SetUpGrids();
  SetUpPreview();
  SetUpEditing();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  // A fixed window with the system menu and the minimise box only: nothing to maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  adjustSize();
  CentreOnDesktop(this);

  FormCreate();
}

TMForm::~TMForm() {
  FormDestroy();
  if (MForm == this) MForm = nullptr;
}

void TMForm::ConnectControls() {
  // Every action but ANewFile (a caption only) runs its handler through the error wrapper.
  const std::pair<QAction*, void (TMForm::*)()> actions[] = {
      {AOpenFile, &TMForm::AOpenFileExecute},
      {ASave, &TMForm::ASaveExecute},
      {ASaveAs, &TMForm::ASaveAsExecute},
      {AExportAnimation, &TMForm::AExportAnimationExecute},
      {AOpenFromPhone, &TMForm::AOpenFromPhoneExecute},
      {ASaveToPhone, &TMForm::ASaveToPhoneExecute},
      {AExit, &TMForm::AExitExecute},
      {AShowAbout, &TMForm::AShowAboutExecute},
      {ARegisterPAT, &TMForm::ARegisterPATExecute},
      {AMFormCreate, &TMForm::AMFormCreateExecute},
      {ASaveActiv, &TMForm::ASaveActivExecute},
      {AUpdateList, &TMForm::AUpdateListExecute},
      {AUpdateFunlight, &TMForm::AUpdateFunlightExecute},
      {AUpdateSlots, &TMForm::AUpdateSlotsExecute},
      {AAddNewFun, &TMForm::AAddNewFunExecute},
      {AFunCopy, &TMForm::AFunCopyExecute},
      {ADelFun, &TMForm::ADelFunExecute},
      {AFunMoveUp, &TMForm::AFunMoveUpExecute},
      {AFunMoveDown, &TMForm::AFunMoveDownExecute},
      {AAddNewFrame, &TMForm::AAddNewFrameExecute},
      {ADelFrame, &TMForm::ADelFrameExecute},
      {AAddAllFrames, &TMForm::AAddAllFramesExecute},
      {ADelAllFrames, &TMForm::ADelAllFramesExecute},
      {AClearAllFrames, &TMForm::AClearAllFramesExecute},
      {ACopyAllFrames, &TMForm::ACopyAllFramesExecute},
      {APreColor, &TMForm::APreColorExecute},
      {AMakeSelect, &TMForm::AMakeSelectExecute},
      {AMakeEmpty, &TMForm::AMakeEmptyExecute},
      {AMakePrevCol, &TMForm::AMakePrevColExecute},
      {AMakeOn_Off, &TMForm::AMakeOn_OffExecute},
      {ASearchProfiles, &TMForm::ASearchProfilesExecute},
      {ALoadProfile, &TMForm::ALoadProfileExecute},
      {ALoadProfilePics, &TMForm::ALoadProfilePicsExecute},
      {ASearchLangs, &TMForm::ASearchLangsExecute},
      {AReadLanguage, &TMForm::AReadLanguageExecute},
      {AReadOptions, &TMForm::AReadOptionsExecute},
      {ASaveOptions, &TMForm::ASaveOptionsExecute},
      {AUndo, &TMForm::AUndoExecute},
      {ARedo, &TMForm::ARedoExecute},
      {AInsertFrameBefore, &TMForm::AInsertFrameBeforeExecute},
      {AInsertFrameAfter, &TMForm::AInsertFrameAfterExecute},
      {ADuplicateFrame, &TMForm::ADuplicateFrameExecute},
      {ADeleteColumn, &TMForm::ADeleteColumnExecute},
      {AMoveFrameLeft, &TMForm::AMoveFrameLeftExecute},
      {AMoveFrameRight, &TMForm::AMoveFrameRightExecute},
      {ACopyFrame, &TMForm::ACopyFrameExecute},
      {APasteFrame, &TMForm::APasteFrameExecute}};
  for (const auto& [action, handler] : actions) {
    handlers_[action] = handler;
    connect(action, &QAction::triggered, this,
            [this, handler] { Guard([=, this] { (this->*handler)(); }); });
  }

  const std::pair<QPushButton*, QAction*> buttons[] = {
      {Button14, ARegisterPAT},   {Button5, AAddNewFun},      {Button10, AFunCopy},
      {Button8, ADelFun},         {Button7, AClearAllFrames}, {Button9, AAddAllFrames},
      {Button13, ACopyAllFrames}, {Button4, ADelAllFrames},   {Button2, AMakePrevCol},
      {Button6, AMakeOn_Off},     {Button1, AAddNewFrame},    {Button3, ADelFrame}};
  for (const auto& [button, action] : buttons) BindButton(this, button, action);
  // The arrow glyphs of the Wingdings font are not available everywhere: the buttons keep the
  // plain arrows of the form.
  BindButton(this, Button11, AFunMoveUp, false);
  BindButton(this, Button12, AFunMoveDown, false);

  On(ComboBox1, &QComboBox::activated, &TMForm::ComboBox1Change);
  On(ComboBox2, &QComboBox::activated, &TMForm::ComboBox2Change);
  BindListClick(ListBox1, &TMForm::ListBox1Click);
  On(ComboBox4, &QComboBox::activated, &TMForm::ComboBox4Change);
  On(RadioButton1, &QRadioButton::toggled, &TMForm::RadioButton1Click);
  On(RadioButton2, &QRadioButton::toggled, &TMForm::RadioButton2Click);
  On(CheckBox1, &QCheckBox::toggled, &TMForm::CheckBox1Click);
  On(SpinEdit1, &QSpinBox::valueChanged, &TMForm::SpinEdit1Change);
  On(SpinEdit5, &QSpinBox::valueChanged, &TMForm::SpinEdit5Change);
  On(ComboBox3, &QComboBox::activated, &TMForm::ComboBox3Change);
  On(SpinEdit2, &QSpinBox::valueChanged, &TMForm::SpinEdit2Change);
  On(SpinEdit3, &QSpinBox::valueChanged, &TMForm::SpinEdit3Change);
  On(SpinEdit4, &QSpinBox::valueChanged, &TMForm::SpinEdit4Change);
  On(TrackBar1, &QSlider::valueChanged, &TMForm::TrackBar1Change);
  On(TrackBar2, &QSlider::valueChanged, &TMForm::TrackBar2Change);
  On(TrackBar3, &QSlider::valueChanged, &TMForm::TrackBar3Change);
  BindListClick(ListBox2, &TMForm::ListBox2Click);
  On(Button15, &QPushButton::clicked, &TMForm::Button15Click);
  On(Button18, &QPushButton::clicked, &TMForm::Button18Click);
  On(Button19, &QPushButton::clicked, &TMForm::Button19Click);
  On(Button20, &QPushButton::clicked, &TMForm::Button20Click);
  On(Button21, &QPushButton::clicked, &TMForm::Button21Click);
  On(CheckBox7, &QCheckBox::toggled, &TMForm::CheckBox7Click);
  On(CheckBox8, &QCheckBox::toggled, &TMForm::CheckBox8Click);
}

// The grid's shape has no properties a form could set.
void TMForm::SetUpGrids() {
  FrameGrid->SetDefaultColWidth(36);
  FrameGrid->SetDefaultRowHeight(24);
  FrameGrid->SetRowCount(2);
  FrameGrid->SetFixedRows(1);
  FrameGrid->SetColCount(50);
  FrameGrid->SetEditing(true);
  EditGrid->SetDefaultColWidth(36);
  EditGrid->SetDefaultRowHeight(24);
  EditGrid->SetColCount(50);
  EditGrid->SetRowCount(7);
  EditGrid->SetHorizontalScrollBar(true);
  SlotGrid->SetDefaultColWidth(81);
  SlotGrid->SetDefaultRowHeight(24);
  SlotGrid->SetColCount(1);
  SlotGrid->SetRowCount(7);
  SlotGrid->SetRowSelect(true);
  SlotGrid->SetGridLines(false);
  SlotGrid->SetBorder(false);  // no border: its rows line up with the colour grid's
  SlotGrid->SetBackground(palette().color(QPalette::Button));

  auto guard = [this](auto f) { Guard(f); };
  FrameGrid->OnSetEditText = [=, this](int c, int r, const QString& v) {
    guard([&] { FrameGridSetEditText(c, r, v); });
  };
  FrameGrid->OnSelectCell = [=, this](int c, int r, bool& can) {
    guard([&] { FrameGridSelectCell(c, r, can); });
  };
  EditGrid->OnDrawCell = [this](int c, int r, const QRect& rect, TGridDrawState s) {
    EditGridDrawCell(c, r, rect, s);
  };
  EditGrid->OnSelectCell = [=, this](int c, int r, bool& can) {
    guard([&] { EditGridSelectCell(c, r, can); });
  };
  EditGrid->OnTopLeftChanged = [=, this] { guard([&] { EditGridTopLeftChanged(); }); };
  // The frame row scrolls itself when a half-visible column is clicked; the colour grid follows,
  // so that durations and colours stay in line.
  FrameGrid->OnTopLeftChanged = [this] { EditGrid->SetLeftCol(FrameGrid->LeftCol()); };
  EditGrid->OnMouseDown = [=, this](Qt::MouseButton b, Qt::KeyboardModifiers s, Qt::MouseButtons bs,
                                    int x,
                                    int y) { guard([&] { EditGridMouseDown(b, s, bs, x, y); }); };
  EditGrid->OnMouseMove = [=, this](Qt::KeyboardModifiers s, Qt::MouseButtons bs, int x, int y) {
    guard([&] { EditGridMouseMove(s, bs, x, y); });
  };
  SlotGrid->OnSelectCell = [=, this](int c, int r, bool& can) {
    guard([&] { SlotGridSelectCell(c, r, can); });
  };
}

void TMForm::SetUpPreview() {
  DXDraw->OnInitializeSurface = [this] { Guard([this] { DXDrawInitializeSurface(); }); };

  // The image list is no QObject: a child object owns it, so it goes with the window.
  struct TImageListOwner : QObject {
    using QObject::QObject;
    std::unique_ptr<TDXImageList> List = std::make_unique<TDXImageList>();
  };
  auto* owner = new TImageListOwner(this);
  owner->setObjectName("ImageList");
  ImageList = owner->List.get();
  for (const char* slot : {"0", "1", "2", "3", "4", "5", "6"})
    ImageList->Add(slot, QColor(255, 0, 255));
  ImageList->Add("Circle", ColorFromWin(0xAABBCC));

  Timer1 = new TDXTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetActiveOnly(true);
  Timer1->OnTimer = [this] { Guard([this] { Timer1Timer(); }); };
}

// ---------------------------------------------------------------------------------------------
// Document commands

void TMForm::AMFormCreateExecute() {
  AppDir = services_.AppDir.isEmpty()
               ? DataFolder(QCoreApplication::applicationDirPath().toStdString())
               : services_.AppDir.toStdString();
  if (AppDir.empty() || AppDir.back() != '/') AppDir += '/';
  Execute(AReadOptions);
  PageControl1->setTabVisible(PageControl1->indexOf(Tab1), true);
  PageControl1->setTabVisible(PageControl1->indexOf(Tab2), false);
  PageControl1->setTabVisible(PageControl1->indexOf(Tab3), false);
  PageControl1->setCurrentIndex(0);
  if (!services_.Arguments.empty()) {
    const std::string& path = services_.Arguments.front();
    if (!LoadDocument(path, QFile::decodeName(QByteArray::fromStdString(path)))) return;
    RefreshAfterLoad();
    PageControl1->setCurrentIndex(1);
  }
}

void TMForm::SetDocCaption(const std::string& path) {
  setWindowTitle(QString("Nerevy's Glowsmith %1 - [%2]")
                     .arg(AboutForm::AForm ? AboutForm::AForm->Label2->text() : QString())
                     .arg(QFileInfo(QString::fromStdString(path)).fileName()));
}

void TMForm::AOpenFileExecute() {
  if (!ConfirmDiscard()) return;
  const auto chosen = Dialogs().OpenFileName(this);
  if (!chosen) return;
  const std::string path = chosen->toStdString();
  // The name and caption follow the document only once the file has been read.
  if (!LoadDocument(path, *chosen)) return;
  SetDocCaption(path);
  RefreshAfterLoad();
}

bool TMForm::LoadDocument(const std::string& path, const QString& shownName) {
  // A file that is not a funlight file never becomes the document's file, so that a later Save
  // cannot overwrite it.
  if (!UFunStruct::ReadPat(path)) {
    Message(QString::fromStdString(Profile.NotFunlightFileMsg).arg(shownName), TMsgIcon::Error);
    return false;
  }
  UFunStruct::FunFile.FileName = path;
  DocumentLoaded();
  return true;
}

void TMForm::RefreshAfterLoad() {
  Execute(AUpdateList);
  {
    const QSignalBlocker block(ListBox1);
    ListBox1->setCurrentRow(ListBox1->count() > 0 ? 0 : -1);
  }
  Execute(AUpdateFunlight);
  Execute(ASaveActiv);
  AAddNewFun->setEnabled(true);
  UpdateEditActions();
  EditGrid->update();
}

void TMForm::ASaveActivExecute() {
  DocActive = true;
  for (QWidget* tab : {Tab1, Tab2, Tab3})
    PageControl1->setTabVisible(PageControl1->indexOf(tab), true);
  ASave->setEnabled(true);
  ASaveAs->setEnabled(true);
  ASaveToPhone->setEnabled(true);
}

void TMForm::ASaveExecute() {
  UFunStruct::WritePat(UFunStruct::FunFile.FileName);
  History.MarkSaved();
}

void TMForm::ASaveAsExecute() {
  const auto chosen = Dialogs().SaveFileName(this);
  if (!chosen) return;
  UFunStruct::FunFile.FileName = chosen->toStdString();
  SetDocCaption(UFunStruct::FunFile.FileName);
  UFunStruct::WritePat(UFunStruct::FunFile.FileName);
  History.MarkSaved();
}

void TMForm::AExitExecute() {
  close();
}

void TMForm::AShowAboutExecute() {
  if (AboutForm::AForm) Dialogs().ShowModal(AboutForm::AForm);
}

void TMForm::ARegisterPATExecute() {
  RegisterPatFileType(QCoreApplication::applicationFilePath().toStdString());
}

void TMForm::closeEvent(QCloseEvent* e) {
  bool close = false;
  Guard([&] { close = closed_ || ConfirmDiscard(); });
  if (!close) return e->ignore();
  if (!closed_) {
    closed_ = true;
    FormClose();
  }
  e->accept();
}

void TMForm::FormClose() {
  DocActive = false;
  Guard([this] { Execute(ASaveOptions); });
}

}  // namespace Unit1
