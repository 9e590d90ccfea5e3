#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "EditHistory.h"
#include "FunEdit.h"
#include "ui_Unit1.h"

class IOptionsStore;
class QTranslator;
class TDirectDrawSurface;
class TDXImageList;
class TDXTimer;
class TSForm;
class TAForm;
namespace P2KAPI {
class TP2KAPI;
}
class IPhonePlatform;
class IStatusPoster;

namespace UFunStruct {
struct TFunlight;
struct TClubCell;
}  // namespace UFunStruct

namespace Unit1 {

class TMForm;

// Folder of the program's data (beside the executable, or installed: DataFolder) and the user's
// temporary folder, each with a trailing separator.
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
  // Folder holding Profiles/ and Languages/; empty means DataFolder of the executable's folder.
  QString AppDir;
};

// The controls, actions and menus are members of Ui::TMForm (Unit1.ui), each named as its
// objectName.
class TMForm : public QMainWindow, public Ui::TMForm {
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
  // One picture of the preview: the phone with the lights of frame k of f (none past its frames);
  // lit carries the single-colour elements' state from one frame to the next. The preview's tick
  // and the animation export both draw with it.
  void DrawFrame(TDirectDrawSurface& surface, const UFunStruct::TFunlight* f, int k,
                 std::array<bool, 8>& lit);

  // ---- Animation export
  void AExportAnimationExecute();
  // Writes f as an animated GIF of the preview's pictures, in the current profile, to path; the
  // file is replaced only once the whole animation is made. The message of a refusal or failure,
  // empty when written.
  QString ExportAnimation(const UFunStruct::TFunlight& f, const std::string& path);
  // glowsmith --export-gif OUT --funlight ID [--profile NAME] FILE: the exit code; messages go to
  // standard error.
  int ExportAnimationCommand(const std::string& out, const std::string& id,
                             const std::string& profile, const std::string& file);

  // ---- Languages and options
  void ASearchLangsExecute();
  void AReadLanguageExecute();
  // The keys the language load reads, in its order, each with its target.
  std::vector<TLanguageKey> LanguageKeys();
  void AReadOptionsExecute();
  void ASaveOptionsExecute();
  void ComboBox1Change();
  void ComboBox2Change();

  // ---- Undo, redo, whole frames and unsaved changes (Unit1Edit.cpp)
  // Runs edit, which changes the funlights [first, first + count), as one step of the history
  // named by the language key label; merge joins it to the step before (see EditHistory).
  void Record(const char* label, int first, int count, const std::function<void()>& edit,
              uint64_t merge = 0);
  // The same for an edit of the current funlight, when there is one.
  void RecordCurrent(const char* label, const std::function<void(UFunStruct::TFunlight&)>& edit,
                     uint64_t merge = 0);
  // A merge key for the edits of one control on the current cell, while its gesture lasts.
  uint64_t MergeKey(const void* control) const;
  void AUndoExecute();
  void ARedoExecute();
  // The Undo and Redo captions and enabled states, the frame commands' enabled states.
  void UpdateEditActions();
  void AInsertFrameBeforeExecute();
  void AInsertFrameAfterExecute();
  void ADuplicateFrameExecute();
  void ADeleteColumnExecute();
  void AMoveFrameLeftExecute();
  void AMoveFrameRightExecute();
  void ACopyFrameExecute();
  void APasteFrameExecute();
  // With "Ask to save changes" on and the document changed: Save, Discard or Cancel. False when
  // the user cancelled (or the save failed): the command that asked must not go on.
  bool ConfirmDiscard();
  // A new document was loaded: nothing to undo, nothing changed.
  void DocumentLoaded();

  EditHistory::THistory History;
  FunEdit::TColumnClip ColumnClip;

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

  // Made in code: the preview's image list and timer, and the phone page's driver notice.
  TDXImageList* ImageList = nullptr;
  TDXTimer* Timer1 = nullptr;
  // Shown when the system has no phone driver, so that no phone can ever be found.
  QLabel* NoDriverLabel = nullptr;
  // Shown while the phone is found but this user may not open it.
  QLabel* NoAccessLabel = nullptr;

  // The phone link and where its status notices are posted; created by FormCreate, freed by
  // FormDestroy.
  IStatusPoster* StatusPoster = nullptr;
  P2KAPI::TP2KAPI* P2K = nullptr;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void ConnectControls();
  void SetUpEditing();
  // The column the frame commands act on: the frame row's when it has the focus, else the grid's.
  int SelectedColumn() const;
  void ColumnCommand(const char* label, const std::function<int(UFunStruct::TFunlight&, int)>& f);
  void GoToPlace(const EditHistory::TPlace& place);
  void SetUpGrids();
  void SetUpPreview();
  // Qt's own texts (standard buttons, file dialogs) in the language file's locale.
  void InstallQtTexts(const std::string& locale);
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
  uint64_t gesture_ = 0;       // the right-button drag under way
  TGrid* lastGrid_ = nullptr;  // the grid of the frame commands' column
  std::unique_ptr<QTranslator> qtTexts_;

 public:
  // Right-button drag: the cell painted last.
  int LastPaintedCol = 0;
  int LastPaintedRow = 0;
  // Element of the cell that the "Selected frame" page shows (SelCol is its column). Set only by
  // selecting a cell: clicking an element name changes SelElement, never the page's cell.
  uint8_t CellElement = 0;
};

}  // namespace Unit1
