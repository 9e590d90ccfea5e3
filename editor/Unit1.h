#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Grid.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QTimer;
class QWidget;

class IOptionsStore;
class TDXDraw;
class TDXImageList;
class TDXTimer;
class TSForm;
class TAForm;
namespace P2KAPI {
class TP2KAPI;
}
class IPhonePlatform;
class IStatusPoster;

// A plain filled rectangle, like the original shape control.
class TShape : public QWidget {
 public:
  using QWidget::QWidget;
  QColor BrushColor() const { return brush_; }
  void SetBrushColor(const QColor& c) {
    brush_ = c;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor brush_ = Qt::white;
};

namespace UFunStruct {
struct TFunlight;
struct TClubCell;
}  // namespace UFunStruct

namespace Unit1 {

class TMForm;

// Folder of the executable and the user's temporary folder, each with a trailing separator.
extern std::string AppDir;
extern std::string TempDir;
// A document is loaded and the editing pages are in use.
extern bool DocActive;
// Set while the program itself changes control values, so change handlers do not write back.
extern bool Updating;
extern TMForm* MForm;
// Preview: index of the frame the next tick shows.
extern int16_t PlayPos;

// Phone command state of the main window.
extern bool PhoneFileFound;
extern bool PendingOpen;
extern bool PendingSave;
extern uint8_t ClublightsByte;
extern uint8_t C380Byte;
extern bool ClublightsChanged;
extern bool C380Changed;

// Sets Updating for a scope and clears it afterwards, also when the scope is left by an error, so
// that a failed refresh cannot leave every change handler switched off.
struct TUpdatingScope {
  TUpdatingScope() { Updating = true; }
  ~TUpdatingScope() { Updating = false; }
  TUpdatingScope(const TUpdatingScope&) = delete;
  TUpdatingScope& operator=(const TUpdatingScope&) = delete;
};

// The funlight CurFun names, or null when it names none (an empty document).
UFunStruct::TFunlight* CurrentFunlight();
// Step Step of Element's rhythm row in the current clublight, about to be changed; null when there
// is none. A row read with fewer cells than the funlight has steps is given them all first, so
// that the change is saved.
UFunStruct::TClubCell* ClubCellToChange(int Element, int Step);

// One row of the language key table: where a text of the language file goes.
struct TLanguageKey {
  const char* Section;
  const char* Key;
  std::function<void(const QString&)> Set;
  const char* Default = "";  // English, for a language file without the key
};

// What the main window needs from the platform; tests hand in scripted or simulated ones.
struct TMFormServices {
  IDialogs* Dialogs = nullptr;
  IOptionsStore* Options = nullptr;
  IPhonePlatform* Phone = nullptr;
  // Arguments after the program name, as the system handed them over: the first one is the PAT
  // file to open, its name in bytes that need not be valid text.
  std::vector<std::string> Arguments;
  // Folder holding Profiles/ and Languages/; empty means the executable's folder.
  QString AppDir;
};

class TMForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMForm(const TMFormServices& services);
  ~TMForm() override;

  // Runs an action's execute handler when the action is enabled, as the original action list did.
  // Exceptions pass through to the outermost Guard.
  bool Execute(QAction* action);
  // The one error wrapper: runs f and shows any error in the application's error box.
  void Guard(const std::function<void()>& f);
  void ShowError(const QString& text);
  // A message box titled with the window caption.
  void Message(const QString& text, TMsgIcon icon);

  IDialogs& Dialogs() { return *services_.Dialogs; }
  const TMFormServices& Services() const { return services_; }
  P2KAPI::TP2KAPI* Phone() { return P2K; }

  // ---- Part: main window and document commands
  void FormCreate();
  void FormClose();
  void FormDestroy();
  void AMFormCreateExecute();
  void AOpenFileExecute();
  void ASaveExecute();
  void ASaveAsExecute();
  void AExitExecute();
  void AShowAboutExecute();
  void ARegisterPATExecute();
  void ASaveActivExecute();
  void SetDocCaption(const std::string& path);
  // Reads path as the document and makes it the document's file. A file that is not a funlight
  // file is reported (as shownName) and leaves everything as it was.
  bool LoadDocument(const std::string& path, const QString& shownName);
  // The refresh after every load: lists, first funlight, editing pages, save commands.
  void RefreshAfterLoad();

  // ---- Funlight list and settings
  void AUpdateListExecute();
  void ListBox1Click();
  void ComboBox4Change();
  void RadioButton1Click();
  void RadioButton2Click();
  void CheckBox1Click();
  void SpinEdit1Change();
  void SpinEdit5Change();
  void AAddNewFunExecute();
  void AFunCopyExecute();
  void ADelFunExecute();
  void AFunMoveUpExecute();
  void AFunMoveDownExecute();

  // ---- Frame operations
  void FrameGridSetEditText(int ACol, int ARow, const QString& Value);
  void FrameGridSelectCell(int ACol, int ARow, bool& CanSelect);
  void AAddNewFrameExecute();
  void ADelFrameExecute();
  void AAddAllFramesExecute();
  void ADelAllFramesExecute();
  void AClearAllFramesExecute();
  void ACopyAllFramesExecute();
  void ComboBox3Change();
  void SpinEdit2Change();
  void SpinEdit3Change();
  void SpinEdit4Change();

  // ---- Colour grid and selection
  void AUpdateFunlightExecute();
  void AUpdateSlotsExecute();
  void EditGridDrawCell(int ACol, int ARow, const QRect& Rect, TGridDrawState State);
  void EditGridSelectCell(int ACol, int ARow, bool& CanSelect);
  void SlotGridSelectCell(int ACol, int ARow, bool& CanSelect);
  void EditGridTopLeftChanged();
  // The element-name file of the current profile and language, and the code page of the current
  // language, in which the 8-bit names of that file are written.
  static std::string ElementNamesFile();
  static std::string DataTextCodepage();
  // Row 0 of FrameGrid numbers the columns, row 1 shows each frame's duration (empty for a
  // clublight).
  void FillFrameRow();

  // ---- Colour tools
  void TrackBar1Change();
  void TrackBar2Change();
  void TrackBar3Change();
  void APreColorExecute();
  void AMakeSelectExecute();
  void AMakeEmptyExecute();
  void AMakePrevColExecute();
  void AMakeOn_OffExecute();
  void EditGridMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift,
                         Qt::MouseButtons Buttons, int X, int Y);
  void EditGridMouseMove(Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons, int X, int Y);

  // ---- Profiles, skin and preview
  void ASearchProfilesExecute();
  void ALoadProfileExecute();
  void ALoadProfilePicsExecute();
  void ListBox2Click();
  void Button15Click();
  void Timer1Timer();
  void DXDrawInitializeSurface();

  // ---- Languages and options
  void ASearchLangsExecute();
  void AReadLanguageExecute();
  // The keys the language load reads, in its order, each with its target.
  std::vector<TLanguageKey> LanguageKeys();
  void AReadOptionsExecute();
  void ASaveOptionsExecute();
  void ComboBox1Change();
  void ComboBox2Change();

  // ---- Phone commands and Phone Tools
  void PhoneStatusChanged(int Status);
  void AOpenFromPhoneExecute();
  void ASaveToPhoneExecute();
  void Button18Click();
  void Button19Click();
  void Button20Click();
  void Button21Click();
  void CheckBox7Click();
  void CheckBox8Click();

  // ---- Controls (names as on the original window)
  QTabWidget* PageControl1;
  QWidget* Tab1;
  QWidget* Tab2;
  QWidget* Tab3;
  QWidget* Tab5;
  QMenu* File2;
  QMenu* Help1;

  // Setup page
  QGroupBox* GroupBox1;
  QLabel* Label1;
  QComboBox* ComboBox1;
  QLabel* Label2;
  QComboBox* ComboBox2;
  QGroupBox* GroupBox2;
  QCheckBox* CheckBox2;
  QGroupBox* GroupBox11;
  QCheckBox* CheckBox5;
  QGroupBox* GroupBox10;
  QLabel* Label16;
  QPushButton* Button14;
  QLabel* Label28;

  // Edit funlights page
  QListWidget* ListBox1;
  QPushButton* Button11;
  QPushButton* Button12;
  QTabWidget* PageControl2;
  QWidget* TabSheet3;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QLabel* Label7;
  QComboBox* ComboBox4;
  QGroupBox* GroupBox7;
  QRadioButton* RadioButton1;
  QRadioButton* RadioButton2;
  QGroupBox* GroupBox8;
  QSpinBox* SpinEdit5;
  QLabel* Label13;
  QSpinBox* SpinEdit1;
  QCheckBox* CheckBox1;
  QGroupBox* GroupBox5;
  QPushButton* Button5;
  QPushButton* Button10;
  QPushButton* Button8;
  QFrame* Bevel2;
  QLabel* ElName;
  QPushButton* Button7;
  QPushButton* Button9;
  QPushButton* Button13;
  QPushButton* Button4;
  QLabel* Label14;
  QComboBox* ComboBox3;
  QGroupBox* GroupBox4;
  QLabel* Label8;
  QSpinBox* SpinEdit3;
  QLabel* Label12;
  QSpinBox* SpinEdit4;
  QGroupBox* GroupBox6;
  QLabel* Label9;
  QLabel* Label10;
  QLabel* Label11;
  QSlider* TrackBar1;
  QSlider* TrackBar2;
  QSlider* TrackBar3;
  QLineEdit* Edit2;
  QLineEdit* Edit3;
  QLineEdit* Edit4;
  QLabel* Label3;
  TShape* Shape1;
  QPushButton* Button2;
  QGroupBox* GroupBox9;
  QPushButton* Button6;
  QGroupBox* GroupBox3;
  QSpinBox* SpinEdit2;
  QPushButton* Button1;
  QPushButton* Button3;
  TGrid* FrameGrid;
  QLabel* Label6;
  QLabel* Label5;
  TGrid* EditGrid;
  TGrid* SlotGrid;

  // Funlight preview page
  QListWidget* ListBox2;
  QPushButton* Button15;
  QCheckBox* CheckBox4;
  QSlider* TrackBar4;
  QLabel* Label15;
  QLabel* Label17;  // "100 %" at the top end of the speed bar
  QLabel* Label18;  // "50%" at the bottom end
  QLabel* Label19;
  TDXDraw* DXDraw = nullptr;
  TDXImageList* ImageList = nullptr;
  TDXTimer* Timer1 = nullptr;

  // Phone Tools page
  QLabel* Label27;
  QLabel* Label26;
  QPushButton* Button18;
  QPushButton* Button19;
  QGroupBox* GroupBox13;
  QCheckBox* CheckBox7;
  QCheckBox* CheckBox8;
  QPushButton* Button20;
  QPushButton* Button21;
  // Shown when the system has no phone driver, so that no phone can ever be found.
  QLabel* NoDriverLabel = nullptr;

  // ---- Actions
  QAction* ANewFile;
  QAction* AOpenFile;
  QAction* ASave;
  QAction* ASaveAs;
  QAction* AOpenFromPhone;
  QAction* ASaveToPhone;
  QAction* AExit;
  QAction* AShowAbout;
  QAction* ARegisterPAT;
  QAction* AMFormCreate;
  QAction* ASaveActiv;
  QAction* AUpdateList;
  QAction* AUpdateFunlight;
  QAction* AUpdateSlots;
  QAction* AAddNewFun;
  QAction* AFunCopy;
  QAction* ADelFun;
  QAction* AFunMoveUp;
  QAction* AFunMoveDown;
  QAction* AAddNewFrame;
  QAction* ADelFrame;
  QAction* AAddAllFrames;
  QAction* ADelAllFrames;
  QAction* AClearAllFrames;
  QAction* ACopyAllFrames;
  QAction* APreColor;
  QAction* AMakeSelect;
  QAction* AMakeEmpty;
  QAction* AMakePrevCol;
  QAction* AMakeOn_Off;
  QAction* ASearchProfiles;
  QAction* ALoadProfile;
  QAction* ALoadProfilePics;
  QAction* ASearchLangs;
  QAction* AReadLanguage;
  QAction* AReadOptions;
  QAction* ASaveOptions;

  // The phone link and where its status notices are posted; created by FormCreate, freed by
  // FormDestroy.
  IStatusPoster* StatusPoster = nullptr;
  P2KAPI::TP2KAPI* P2K = nullptr;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  QAction* MakeAction(const char* name, const QString& caption, void (TMForm::*handler)());
  void CreateSetupPage();
  void CreateEditPage();
  void CreatePreviewPage();
  void CreatePhonePage();
  void CreateMenus();
  void BindListClick(QListWidget* list, void (TMForm::*handler)());
  // Connects a widget signal to a handler through the error wrapper.
  template <typename Sender, typename Signal>
  void On(Sender* sender, Signal signal, void (TMForm::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Guard([this, handler] { (this->*handler)(); }); });
  }

  TMFormServices services_;
  std::map<QAction*, void (TMForm::*)()> handlers_;
  int actionDepth_ = 0;
  bool closed_ = false;

 public:
  // Right-button drag: the cell painted last.
  int LastPaintedCol = 0;
  int LastPaintedRow = 0;
  // Element of the cell that the "Selected frame" page shows (SelCol is its column). Set only by
  // selecting a cell: clicking an element name changes SelElement, never the page's cell.
  uint8_t CellElement = 0;
};

}  // namespace Unit1
