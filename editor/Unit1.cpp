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
#include <memory>
#include <new>
#include <utility>

#include "AboutForm.h"
#include "DXClass.h"
#include "DXDraws.h"
#include "FileAssociation.h"
#include "Profile.h"
#include "UFunStruct.h"

void TShape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), brush_);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

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

namespace {

template <typename W>
W* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* w = new W(parent);
  w->setObjectName(name);
  w->setGeometry(left, top, width, height);
  return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width = -1) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(name);
  l->adjustSize();
  l->move(left, top);
  if (width > 0) l->resize(width, l->height());
  return l;
}

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& title, int left, int top,
                     int width, int height) {
  auto* g = Make<QGroupBox>(parent, name, left, top, width, height);
  g->setTitle(title);
  return g;
}

QSpinBox* MakeSpin(QWidget* parent, const char* name, int left, int top, int width, int min,
                   int max, int step) {
  auto* s = Make<QSpinBox>(parent, name, left, top, width, 22);
  s->setRange(min, max);
  s->setSingleStep(step);
  return s;
}

// A colour bar: position 0 at the top (the channel's 15), as on the original bars, with the groove
// filled below the handle so that a fuller bar reads as more of the colour.
class TColourBar : public QSlider {
 public:
  using QSlider::QSlider;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    opt.subControls =
        QStyle::SC_SliderGroove | QStyle::SC_SliderHandle | QStyle::SC_SliderTickmarks;
    // Mirror the direction and the value together: the handle stays where it is, the fill turns.
    opt.upsideDown = !opt.upsideDown;
    opt.sliderPosition = opt.maximum + opt.minimum - opt.sliderPosition;
    opt.sliderValue = opt.maximum + opt.minimum - opt.sliderValue;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
  }
};

QSlider* MakeTrackBar(QWidget* parent, const char* name, int left, int top) {
  auto* t = Make<TColourBar>(parent, name, left, top, 25, 78);
  t->setOrientation(Qt::Vertical);
  t->setRange(0, 15);
  t->setTickInterval(2);
  t->setTickPosition(QSlider::TicksRight);
  t->setInvertedAppearance(true);  // position 0 at the top, as on the original bars
  t->setInvertedControls(true);
  t->setFocusPolicy(Qt::NoFocus);
  t->setValue(15);
  return t;
}

}  // namespace

QAction* TMForm::MakeAction(const char* name, const QString& caption, void (TMForm::*handler)()) {
  auto* a = new QAction(caption, this);
  a->setObjectName(name);
  if (!handler) return a;  // caption only
  handlers_[a] = handler;
  connect(a, &QAction::triggered, this,
          [this, handler] { Guard([=, this] { (this->*handler)(); }); });
  return a;
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
  setObjectName("MForm");
  setWindowTitle("Glowsmith");

  // Actions, with the enabled states of the start.
  ANewFile = MakeAction("ANewFile", "New", nullptr);
  AOpenFile = MakeAction("AOpenFile", "Open...", &TMForm::AOpenFileExecute);
  ASave = MakeAction("ASave", "Save", &TMForm::ASaveExecute);
  ASaveAs = MakeAction("ASaveAs", "Save as...", &TMForm::ASaveAsExecute);
  AOpenFromPhone = MakeAction("AOpenFromPhone", "Read from phone", &TMForm::AOpenFromPhoneExecute);
  ASaveToPhone = MakeAction("ASaveToPhone", "Save to phone", &TMForm::ASaveToPhoneExecute);
  AExit = MakeAction("AExit", "Exit", &TMForm::AExitExecute);
  AShowAbout = MakeAction("AShowAbout", "About", &TMForm::AShowAboutExecute);
  ARegisterPAT = MakeAction("ARegisterPAT", "Register", &TMForm::ARegisterPATExecute);
  AMFormCreate = MakeAction("AMFormCreate", "", &TMForm::AMFormCreateExecute);
  ASaveActiv = MakeAction("ASaveActiv", "", &TMForm::ASaveActivExecute);
  AUpdateList = MakeAction("AUpdateList", "", &TMForm::AUpdateListExecute);
  AUpdateFunlight = MakeAction("AUpdateFunlight", "", &TMForm::AUpdateFunlightExecute);
  AUpdateSlots = MakeAction("AUpdateSlots", "", &TMForm::AUpdateSlotsExecute);
  AAddNewFun = MakeAction("AAddNewFun", "Add", &TMForm::AAddNewFunExecute);
  AFunCopy = MakeAction("AFunCopy", "Copy", &TMForm::AFunCopyExecute);
  ADelFun = MakeAction("ADelFun", "Delete", &TMForm::ADelFunExecute);
  AFunMoveUp = MakeAction("AFunMoveUp", "Up", &TMForm::AFunMoveUpExecute);
  AFunMoveDown = MakeAction("AFunMoveDown", "Down", &TMForm::AFunMoveDownExecute);
  AAddNewFrame = MakeAction("AAddNewFrame", "Add", &TMForm::AAddNewFrameExecute);
  ADelFrame = MakeAction("ADelFrame", "Remove", &TMForm::ADelFrameExecute);
  AAddAllFrames = MakeAction("AAddAllFrames", "Add to all", &TMForm::AAddAllFramesExecute);
  ADelAllFrames = MakeAction("ADelAllFrames", "Remove from all", &TMForm::ADelAllFramesExecute);
  AClearAllFrames = MakeAction("AClearAllFrames", "Clear all", &TMForm::AClearAllFramesExecute);
  ACopyAllFrames = MakeAction("ACopyAllFrames", "Copy", &TMForm::ACopyAllFramesExecute);
  APreColor = MakeAction("APreColor", "", &TMForm::APreColorExecute);
  AMakeSelect = MakeAction("AMakeSelect", "", &TMForm::AMakeSelectExecute);
  AMakeEmpty = MakeAction("AMakeEmpty", "", &TMForm::AMakeEmptyExecute);
  AMakePrevCol = MakeAction("AMakePrevCol", "Previous colour", &TMForm::AMakePrevColExecute);
  AMakeOn_Off = MakeAction("AMakeOn_Off", "On / Off", &TMForm::AMakeOn_OffExecute);
  ASearchProfiles = MakeAction("ASearchProfiles", "", &TMForm::ASearchProfilesExecute);
  ALoadProfile = MakeAction("ALoadProfile", "", &TMForm::ALoadProfileExecute);
  ALoadProfilePics = MakeAction("ALoadProfilePics", "", &TMForm::ALoadProfilePicsExecute);
  ASearchLangs = MakeAction("ASearchLangs", "", &TMForm::ASearchLangsExecute);
  AReadLanguage = MakeAction("AReadLanguage", "", &TMForm::AReadLanguageExecute);
  AReadOptions = MakeAction("AReadOptions", "", &TMForm::AReadOptionsExecute);
  ASaveOptions = MakeAction("ASaveOptions", "", &TMForm::ASaveOptionsExecute);
  for (QAction* a : {ASave, ASaveAs, ASaveToPhone, AAddNewFun, AFunCopy, ADelFun, AFunMoveUp,
                     AFunMoveDown, AAddNewFrame, ADelFrame})
    a->setEnabled(false);

  CreateMenus();
  auto* central = new QWidget(this);
  central->setObjectName("Client");
  central->setFixedSize(669, 515);
  setCentralWidget(central);
  PageControl1 = Make<QTabWidget>(central, "PageControl1", 0, 0, 669, 515);
  PageControl1->setDocumentMode(true);
  Tab1 = new QWidget;
  Tab1->setObjectName("Tab1");
  Tab2 = new QWidget;
  Tab2->setObjectName("Tab2");
  Tab3 = new QWidget;
  Tab3->setObjectName("Tab3");
  Tab5 = new QWidget;
  Tab5->setObjectName("Tab5");
  PageControl1->addTab(Tab1, "Setup");
  PageControl1->addTab(Tab2, "Edit funlights");
  PageControl1->addTab(Tab3, "Funlight preview");
  PageControl1->addTab(Tab5, "Phone Tools");
  CreateSetupPage();
  CreateEditPage();
  CreatePreviewPage();
  CreatePhonePage();
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

void TMForm::CreateMenus() {
  File2 = menuBar()->addMenu("File");
  File2->setObjectName("File2");
  File2->addAction(AOpenFile);
  File2->addAction(ASave);
  File2->addAction(ASaveAs);
  File2->addSeparator();
  File2->addAction(AOpenFromPhone);
  File2->addAction(ASaveToPhone);
  File2->addSeparator();
  File2->addAction(AExit);
  Help1 = menuBar()->addMenu("Help");
  Help1->setObjectName("Help1");
  Help1->addAction(AShowAbout);
}

void TMForm::CreateSetupPage() {
  GroupBox1 = MakeGroup(Tab1, "GroupBox1", "Language and phone", 8, 8, 321, 121);
  Label1 = MakeLabel(GroupBox1, "Label1", "Language", 16, 24);
  ComboBox1 = Make<QComboBox>(GroupBox1, "ComboBox1", 16, 40, 289, 22);
  Label2 = MakeLabel(GroupBox1, "Label2", "Phone model", 16, 70);
  ComboBox2 = Make<QComboBox>(GroupBox1, "ComboBox2", 16, 86, 289, 22);
  GroupBox2 = MakeGroup(Tab1, "GroupBox2", "Edit funlights", 8, 136, 321, 57);
  CheckBox2 = Make<QCheckBox>(GroupBox2, "CheckBox2", 16, 24, 289, 20);
  CheckBox2->setText("Hide unused slots");
  CheckBox2->setChecked(true);
  GroupBox11 = MakeGroup(Tab1, "GroupBox11", "Funlight preview", 8, 200, 321, 57);
  CheckBox5 = Make<QCheckBox>(GroupBox11, "CheckBox5", 16, 24, 289, 20);
  CheckBox5->setText("Outer display on inner");
  GroupBox10 = MakeGroup(Tab1, "GroupBox10", "File type", 336, 8, 313, 121);
  Label16 = MakeLabel(GroupBox10, "Label16", "Open .pat files with Glowsmith", 16, 24, 281);
  Label16->setWordWrap(true);
  Label16->resize(281, 40);
  Label16->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Button14 = Make<QPushButton>(GroupBox10, "Button14", 16, 80, 281, 25);
  BindButton(this, Button14, ARegisterPAT);
  Label28 = MakeLabel(Tab1, "Label28", "", 8, 264);
  Label28->hide();
  On(ComboBox1, &QComboBox::activated, &TMForm::ComboBox1Change);
  On(ComboBox2, &QComboBox::activated, &TMForm::ComboBox2Change);
}

void TMForm::CreateEditPage() {
  ListBox1 = Make<QListWidget>(Tab2, "ListBox1", 8, 16, 169, 193);
  Button11 = Make<QPushButton>(Tab2, "Button11", 182, 16, 22, 22);
  Button12 = Make<QPushButton>(Tab2, "Button12", 182, 44, 22, 22);
  // The arrow glyphs of the Wingdings font are not available everywhere: plain arrows instead.
  BindButton(this, Button11, AFunMoveUp, false);
  BindButton(this, Button12, AFunMoveDown, false);
  Button11->setText(QString(QChar(0x25B2)));
  Button12->setText(QString(QChar(0x25BC)));

  PageControl2 = Make<QTabWidget>(Tab2, "PageControl2", 208, 16, 455, 193);
  TabSheet3 = new QWidget;
  TabSheet3->setObjectName("TabSheet3");
  TabSheet1 = new QWidget;
  TabSheet1->setObjectName("TabSheet1");
  TabSheet2 = new QWidget;
  TabSheet2->setObjectName("TabSheet2");
  PageControl2->addTab(TabSheet3, "Funlight options");
  PageControl2->addTab(TabSheet1, "Slot operations");
  PageControl2->addTab(TabSheet2, "Selected frame");

  // Funlight options.
  Label7 = MakeLabel(TabSheet3, "Label7", "Funlight", 8, 6);
  ComboBox4 = Make<QComboBox>(TabSheet3, "ComboBox4", 8, 22, 201, 22);
  GroupBox7 = MakeGroup(TabSheet3, "GroupBox7", "Type", 8, 50, 201, 63);
  RadioButton1 = Make<QRadioButton>(GroupBox7, "RadioButton1", 12, 20, 180, 18);
  RadioButton1->setText("Normal");
  RadioButton2 = Make<QRadioButton>(GroupBox7, "RadioButton2", 12, 40, 180, 18);
  RadioButton2->setText("Clublight");
  GroupBox7->setEnabled(false);
  GroupBox8 = MakeGroup(TabSheet3, "GroupBox8", "Frames", 216, 0, 113, 53);
  SpinEdit5 = MakeSpin(GroupBox8, "SpinEdit5", 8, 22, 97, 1, 255, 1);
  SpinEdit5->setValue(1);
  SpinEdit5->setEnabled(false);
  // Typing "12" must not pass through 1 frame on the way: that would drop frames 2 and up.
  SpinEdit5->setKeyboardTracking(false);
  Label13 = MakeLabel(TabSheet3, "Label13", "Head value", 216, 58);
  SpinEdit1 = MakeSpin(TabSheet3, "SpinEdit1", 216, 74, 113, 0, 65535, 100);
  CheckBox1 = Make<QCheckBox>(TabSheet3, "CheckBox1", 8, 122, 201, 20);
  CheckBox1->setText("Repeating");
  CheckBox1->setEnabled(false);
  GroupBox5 = MakeGroup(TabSheet3, "GroupBox5", "Funlights", 336, 0, 105, 137);
  Button5 = Make<QPushButton>(GroupBox5, "Button5", 8, 22, 89, 25);
  Button10 = Make<QPushButton>(GroupBox5, "Button10", 8, 58, 89, 25);
  Button8 = Make<QPushButton>(GroupBox5, "Button8", 8, 94, 89, 25);
  BindButton(this, Button5, AAddNewFun);
  BindButton(this, Button10, AFunCopy);
  BindButton(this, Button8, ADelFun);

  // Slot operations.
  Bevel2 = Make<QFrame>(TabSheet1, "Bevel2", 72, 6, 153, 33);
  Bevel2->setFrameStyle(QFrame::Box | QFrame::Sunken);
  ElName = Make<QLabel>(TabSheet1, "ElName", 80, 16, 137, 16);
  ElName->setAlignment(Qt::AlignCenter);
  Button7 = Make<QPushButton>(TabSheet1, "Button7", 8, 56, 129, 25);
  Button9 = Make<QPushButton>(TabSheet1, "Button9", 152, 56, 129, 25);
  Button13 = Make<QPushButton>(TabSheet1, "Button13", 8, 96, 129, 25);
  Button4 = Make<QPushButton>(TabSheet1, "Button4", 152, 96, 129, 25);
  BindButton(this, Button7, AClearAllFrames);
  BindButton(this, Button9, AAddAllFrames);
  BindButton(this, Button13, ACopyAllFrames);
  BindButton(this, Button4, ADelAllFrames);
  Label14 = MakeLabel(TabSheet1, "Label14", "Copy to", 8, 138);
  ComboBox3 = Make<QComboBox>(TabSheet1, "ComboBox3", 104, 134, 145, 22);
  GroupBox4 = MakeGroup(TabSheet1, "GroupBox4", "Rhythm light", 288, 0, 153, 129);
  Label8 = MakeLabel(GroupBox4, "Label8", "Upper frequency", 16, 22);
  SpinEdit3 = MakeSpin(GroupBox4, "SpinEdit3", 16, 40, 121, 0, 65535, 100);
  Label12 = MakeLabel(GroupBox4, "Label12", "Lower frequency", 16, 70);
  SpinEdit4 = MakeSpin(GroupBox4, "SpinEdit4", 16, 88, 121, 0, 65535, 100);
  SpinEdit3->setEnabled(false);
  SpinEdit4->setEnabled(false);

  // Selected frame.
  GroupBox6 = MakeGroup(TabSheet2, "GroupBox6", "Colour setting", 0, 0, 265, 161);
  Label9 = MakeLabel(GroupBox6, "Label9", "R", 16, 22);
  Label10 = MakeLabel(GroupBox6, "Label10", "G", 48, 22);
  Label11 = MakeLabel(GroupBox6, "Label11", "B", 80, 22);
  TrackBar1 = MakeTrackBar(GroupBox6, "TrackBar1", 8, 37);
  TrackBar2 = MakeTrackBar(GroupBox6, "TrackBar2", 40, 37);
  TrackBar3 = MakeTrackBar(GroupBox6, "TrackBar3", 72, 37);
  Edit2 = Make<QLineEdit>(GroupBox6, "Edit2", 8, 116, 25, 21);
  Edit3 = Make<QLineEdit>(GroupBox6, "Edit3", 40, 116, 25, 21);
  Edit4 = Make<QLineEdit>(GroupBox6, "Edit4", 72, 116, 25, 21);
  for (QLineEdit* e : {Edit2, Edit3, Edit4}) {
    e->setReadOnly(true);
    e->setText("0");
  }
  Label3 = MakeLabel(GroupBox6, "Label3", "Preview", 128, 24, 113);
  Label3->setAlignment(Qt::AlignCenter);
  Shape1 = Make<TShape>(GroupBox6, "Shape1", 144, 48, 81, 49);
  Shape1->SetBrushColor(Qt::black);
  Button2 = Make<QPushButton>(GroupBox6, "Button2", 112, 112, 137, 25);
  BindButton(this, Button2, AMakePrevCol);
  GroupBox6->hide();
  GroupBox9 = MakeGroup(TabSheet2, "GroupBox9", "Setting", 0, 0, 265, 73);
  Button6 = Make<QPushButton>(GroupBox9, "Button6", 48, 24, 169, 33);
  BindButton(this, Button6, AMakeOn_Off);
  GroupBox9->hide();
  GroupBox3 = MakeGroup(TabSheet2, "GroupBox3", "Rhythm light parameter", 280, 0, 153, 73);
  SpinEdit2 = MakeSpin(GroupBox3, "SpinEdit2", 24, 28, 105, 0, 255, 5);
  SpinEdit2->setEnabled(false);
  Button1 = Make<QPushButton>(TabSheet2, "Button1", 304, 88, 113, 25);
  Button3 = Make<QPushButton>(TabSheet2, "Button3", 304, 128, 113, 25);
  BindButton(this, Button1, AAddNewFrame);
  BindButton(this, Button3, ADelFrame);

  // Frame row and colour grid.
  FrameGrid = Make<TGrid>(Tab2, "FrameGrid", 96, 214, 559, 54);
  FrameGrid->SetDefaultColWidth(36);
  FrameGrid->SetDefaultRowHeight(24);
  FrameGrid->SetRowCount(2);
  FrameGrid->SetFixedRows(1);
  FrameGrid->SetColCount(50);
  FrameGrid->SetEditing(true);
  Label6 = MakeLabel(Tab2, "Label6", "Frame", 10, 220);
  Label5 = MakeLabel(Tab2, "Label5", "Duration", 10, 244);
  EditGrid = Make<TGrid>(Tab2, "EditGrid", 96, 272, 559, 196);
  EditGrid->SetDefaultColWidth(36);
  EditGrid->SetDefaultRowHeight(24);
  EditGrid->SetColCount(50);
  EditGrid->SetRowCount(7);
  EditGrid->SetHorizontalScrollBar(true);
  SlotGrid = Make<TGrid>(Tab2, "SlotGrid", 8, 274, 81, 183);
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
}

void TMForm::CreatePreviewPage() {
  // The drawing area stays hidden until the first play.
  DXDraw = new TDXDraw(Tab3);
  DXDraw->move(8, 8);
  DXDraw->hide();
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

  ListBox2 = Make<QListWidget>(Tab3, "ListBox2", 280, 8, 265, 393);
  Button15 = Make<QPushButton>(Tab3, "Button15", 280, 410, 129, 25);
  Button15->setText("Play");
  Button15->setEnabled(false);
  CheckBox4 = Make<QCheckBox>(Tab3, "CheckBox4", 424, 412, 121, 20);
  CheckBox4->setText("Repeating");
  Label15 = MakeLabel(Tab3, "Label15", "Speed", 560, 8);
  TrackBar4 = Make<QSlider>(Tab3, "TrackBar4", 560, 28, 33, 373);
  TrackBar4->setOrientation(Qt::Vertical);
  TrackBar4->setRange(0, 100);
  TrackBar4->setPageStep(25);
  TrackBar4->setTickInterval(10);
  TrackBar4->setTickPosition(QSlider::TicksRight);
  TrackBar4->setInvertedAppearance(true);
  TrackBar4->setInvertedControls(true);
  Label17 = MakeLabel(Tab3, "Label17", "100 %", 596, 30);
  Label18 = MakeLabel(Tab3, "Label18", "50%", 596, 384);
  Label19 = MakeLabel(Tab3, "Label19", "", 8, 440);
  Label19->hide();
  BindListClick(ListBox2, &TMForm::ListBox2Click);
  On(Button15, &QPushButton::clicked, &TMForm::Button15Click);
}

void TMForm::CreatePhonePage() {
  Label27 = MakeLabel(Tab5, "Label27", "Status:", 16, 18);
  Label26 = MakeLabel(Tab5, "Label26", "Disconnected", 80, 18, 200);
  QFont bold = Label26->font();
  bold.setBold(true);
  Label26->setFont(bold);
  QPalette red = Label26->palette();
  red.setColor(QPalette::WindowText, QColor(255, 0, 0));
  Label26->setPalette(red);
  Button18 = Make<QPushButton>(Tab5, "Button18", 16, 44, 113, 25);
  Button18->setText("Connect");
  Button19 = Make<QPushButton>(Tab5, "Button19", 136, 44, 113, 25);
  Button19->setText("Restart");
  GroupBox13 = MakeGroup(Tab5, "GroupBox13", "", 16, 84, 233, 105);
  CheckBox7 = Make<QCheckBox>(GroupBox13, "CheckBox7", 16, 20, 201, 20);
  CheckBox7->setText("Clublights");
  CheckBox8 = Make<QCheckBox>(GroupBox13, "CheckBox8", 16, 44, 201, 20);
  CheckBox8->setText("C380");
  Button20 = Make<QPushButton>(GroupBox13, "Button20", 16, 70, 97, 25);
  Button20->setText("Read");
  Button21 = Make<QPushButton>(GroupBox13, "Button21", 120, 70, 97, 25);
  Button21->setText("Write");
  Button21->setEnabled(false);
  On(Button18, &QPushButton::clicked, &TMForm::Button18Click);
  On(Button19, &QPushButton::clicked, &TMForm::Button19Click);
  On(Button20, &QPushButton::clicked, &TMForm::Button20Click);
  On(Button21, &QPushButton::clicked, &TMForm::Button21Click);
  On(CheckBox7, &QCheckBox::toggled, &TMForm::CheckBox7Click);
  On(CheckBox8, &QCheckBox::toggled, &TMForm::CheckBox8Click);
}

// ---------------------------------------------------------------------------------------------
// Document commands

void TMForm::AMFormCreateExecute() {
  AppDir = (services_.AppDir.isEmpty() ? QCoreApplication::applicationDirPath() : services_.AppDir)
               .toStdString();
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
}

void TMForm::ASaveAsExecute() {
  const auto chosen = Dialogs().SaveFileName(this);
  if (!chosen) return;
  UFunStruct::FunFile.FileName = chosen->toStdString();
  SetDocCaption(UFunStruct::FunFile.FileName);
  UFunStruct::WritePat(UFunStruct::FunFile.FileName);
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
