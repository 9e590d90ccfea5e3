// Phone commands and the Phone Tools page.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "AboutForm.h"
#include "InOutError.h"
#include "P2KAPI.h"
#include "PhoneCopy.h"
#include "PhonePlatform.h"
#include "Profile.h"
#include "QtStatusPoster.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

bool PhoneFileFound = false;
bool PendingOpen = false;
bool PendingSave = false;
uint8_t ClublightsByte = 0;
uint8_t C380Byte = 0;
bool ClublightsChanged = false;
bool C380Changed = false;

namespace {

// The phone options live in one seem record, one byte each.
constexpr uint16_t kOptionsSeem = 0x0032;
constexpr uint16_t kOptionsRecord = 1;
constexpr uint16_t kClublightsOffset = 99;
constexpr uint16_t kC380Offset = 89;
constexpr uint8_t kShownBit = 0x08;
constexpr uint8_t kWrittenBits = 0x0C;

// The machine the link runs on when the caller supplied none.
std::unique_ptr<IPhonePlatform> OwnedPlatform;

// The link was left to its watcher at the last close: the platform it runs on must stay.
bool PlatformInUse = false;

// The search at the last connection got no answer: the phone may have gone before it was asked.
bool SearchFailed = false;

// The last diagnostic line of the link logged on the user-interface thread, that is, by a
// transfer; the watcher's search lines are of no use in a failure message.
std::thread::id UiThread;
std::string LastTransferLine;

void RememberLogLine(const std::string& line) {
  if (std::this_thread::get_id() == UiThread) LastTransferLine = line;
}

// A file beside the local copy that holds a copy in the making; removed on every way out of the
// command unless it has become the copy.
class TPartFile {
 public:
  explicit TPartFile(std::string path) : Path(std::move(path)) { Remove(); }
  ~TPartFile() { Remove(); }
  TPartFile(const TPartFile&) = delete;
  TPartFile& operator=(const TPartFile&) = delete;
  const std::string& Name() const { return Path; }
  // Renames the part over target, which is replaced, never written through (a link there is
  // replaced by the file). False when the rename failed.
  bool Become(const std::string& target) {
    std::error_code error;
    std::filesystem::rename(Path, target, error);
    if (!error) Path.clear();
    return !error;
  }
  // The part stays where it is.
  void Keep() { Path.clear(); }

 private:
  // Removes a link itself, not what it names.
  void Remove() {
    std::error_code ignored;
    if (!Path.empty()) std::filesystem::remove(Path, ignored);
  }
  std::string Path;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and destruction of the link

void TMForm::FormCreate() {
  QString temp = QDir::tempPath();
  if (!temp.endsWith('/')) temp += '/';
  TempDir = temp.toStdString();

  IPhonePlatform* platform = Services().Phone;
  if (!platform) {
    // A platform left to a watcher by an earlier window stays with it.
    if (PlatformInUse) static_cast<void>(OwnedPlatform.release());
    PlatformInUse = false;
    OwnedPlatform = CreateSystemPhonePlatform();
    platform = OwnedPlatform.get();
  }
  NoDriverLabel = new QLabel(Tab5);
  NoDriverLabel->setObjectName("NoDriverLabel");
  NoDriverLabel->setTextFormat(Qt::PlainText);
  NoDriverLabel->move(16, 200);
  NoDriverLabel->setVisible(!platform->HasPhoneDriver());
  NoAccessLabel = new QLabel(Tab5);
  NoAccessLabel->setObjectName("NoAccessLabel");
  NoAccessLabel->setTextFormat(Qt::PlainText);
  NoAccessLabel->move(16, 200);
  NoAccessLabel->hide();
  // The watcher reports no search that finds nothing: the page looks once a second.
  auto* accessCheck = new QTimer(this);
  connect(accessCheck, &QTimer::timeout, NoAccessLabel,
          [this, platform] { NoAccessLabel->setVisible(platform->AccessDenied()); });
  accessCheck->start(1000);
  SearchFailed = false;
  UiThread = std::this_thread::get_id();
  LastTransferLine.clear();
  P2KAPI::OnLog = RememberLogLine;
  StatusPoster = new TQtStatusPoster(this);
  P2K = new P2KAPI::TP2KAPI(*platform, *StatusPoster);
  // The status arrives from the event loop, outside every action: it needs the error wrapper of
  // its own.
  P2K->OnStatus = [this](int status) { Guard([this, status] { PhoneStatusChanged(status); }); };
  P2KAPI::PhoneFiles = new P2KAPI::TFileList;
}

void TMForm::FormDestroy() {
  if (P2K) {
    // Closing waits about a second at most for a watcher held up in a driver call; one that is
    // left posts and logs nothing more, but still uses the platform.
    PlatformInUse = P2KAPI::TP2KAPI::Free(P2K);
    P2K = nullptr;
  }
  delete StatusPoster;
  StatusPoster = nullptr;
  delete P2KAPI::PhoneFiles;
  P2KAPI::PhoneFiles = nullptr;
  P2KAPI::OnLog = nullptr;
  if (!PlatformInUse) OwnedPlatform.reset();
}

// ---------------------------------------------------------------------------------------------
// Helpers of the commands below

namespace {

void ShowState(QLabel* label, const std::string& text, const QColor& colour) {
  label->setTextFormat(Qt::PlainText);
  label->setText(QString::fromStdString(text));
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, colour);
  label->setPalette(palette);
  if (label->sizeHint().width() > label->width())
    label->resize(label->sizeHint().width(), label->height());
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Forgets the failure details of earlier commands before a new transfer.
void BeginTransfer(P2KAPI::TP2KAPI& link) {
  link.LastError.clear();
  link.LastFailure = P2KAPI::TFailure::None;
  LastTransferLine.clear();
}

// Why a transfer failed, as the language says it.
QString Reason(P2KAPI::TFailure failure) {
  switch (failure) {
    case P2KAPI::TFailure::NotConnected:
      return Text(Profile.NotConnectedMsg);
    case P2KAPI::TFailure::NoAnswer:
      return Text(Profile.PhoneNoAnswerText);
    case P2KAPI::TFailure::TransferFailed:
      return Text(Profile.PhoneTransferFailedText);
    case P2KAPI::TFailure::BadAnswer:
      return Text(Profile.PhoneBadAnswerText);
    case P2KAPI::TFailure::Refused:
      return Text(Profile.PhoneRefusedText);
    case P2KAPI::TFailure::None:
      break;
  }
  return {};
}

// The message for a failed transfer: what failed, the reason, then the link's own diagnostic in
// brackets for whoever has to look further.
QString FailureText(const QString& what, const P2KAPI::TP2KAPI& link) {
  QString text = what;
  const QString reason = Reason(link.LastFailure);
  if (!reason.isEmpty()) text += "\n" + reason;
  const std::string& detail = link.LastError.empty() ? LastTransferLine : link.LastError;
  if (!detail.empty()) text += "\n(" + Text(detail) + ")";
  return text;
}

QString WithName(const std::string& text, const std::string& name) {
  return Text(text).arg(Text(name));
}

// Looks for funlight.pat under its two names. A search that got no answer is not taken for a
// phone without the file.
void SearchFunlightFile(P2KAPI::TP2KAPI& link) {
  P2KAPI::TSearchResult result = link.SearchPhoneFiles(P2KAPI::FunlightPattern1, true);
  if (result == P2KAPI::TSearchResult::NotFound) {
    result = link.SearchPhoneFiles(P2KAPI::FunlightPattern2, true);
  }
  PhoneFileFound = result == P2KAPI::TSearchResult::Found;
  SearchFailed = result == P2KAPI::TSearchResult::Failed;
}

// A file command runs only with a phone connected and funlight.pat found on it. Without a
// connection the command is kept pending and connecting starts; without the file the user is told
// and the command stays pending. A search that failed is tried again first; failing again, the
// phone is taken for not connected, and the command waits for the next connection.
bool PhoneFileReady(TMForm& form, bool& pending) {
  if (!form.P2K->Connected) {
    pending = true;
    form.P2K->Start(true);
    return false;
  }
  if (SearchFailed) SearchFunlightFile(*form.P2K);
  if (SearchFailed) {
    pending = true;
    form.Message(Text(Profile.NotConnectedMsg), TMsgIcon::Error);
    return false;
  }
  if (!PhoneFileFound || P2KAPI::PhoneFiles->Count() == 0) {
    form.Message(Text(Profile.NoPhoneFileMsg), TMsgIcon::Error);
    return false;
  }
  pending = false;
  return true;
}

// The private folder that holds the local copy, or empty once the user has been told that it
// cannot be trusted.
std::string CopyFolder(TMForm& form) {
  try {
    return PhoneCopy::PrivateFolder(TempDir);
  } catch (const PhoneCopy::EUnsafeFolder& e) {
    form.Message(WithName(Profile.PhoneCopyFolderMsg, e.Folder), TMsgIcon::Error);
    return {};
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Status procedure and the File menu's phone commands

void TMForm::PhoneStatusChanged(int Status) {
  P2K->Connected = Status == 1;
  if (!P2K->Connected) {
    ShowState(Label26, Profile.DisconnectedText, QColor(255, 0, 0));
    return;
  }
  ShowState(Label26, Profile.ConnectedText, QColor(0, 128, 0));
  SearchFunlightFile(*P2K);
  if (PendingOpen) Execute(AOpenFromPhone);
  if (PendingSave) Execute(ASaveToPhone);
}

void TMForm::AOpenFromPhoneExecute() {
  // A read put off until the phone is there was agreed to when it was asked for.
  if ((!PendingOpen && !ConfirmDiscard()) || !PhoneFileReady(*this, PendingOpen)) return;
  const std::string folder = CopyFolder(*this);
  if (folder.empty()) return;
  const P2KAPI::TPhoneFileEntry entry = P2KAPI::PhoneFiles->Items(0);
  const QString phoneName = Text(entry.Name);

  // The phone's bytes go to a file of their own. The local copy (perhaps the document's own file)
  // is replaced only by a complete read that loads as a funlight file.
  const std::string local = folder + "funlight.pat";
  TPartFile part(local + ".part");
  BeginTransfer(*P2K);
  if (!P2K->ReadPhoneFile(part.Name(), entry.Name, entry.Size)) {
    Message(FailureText(WithName(Profile.PhoneReadFailedMsg, entry.Name), *P2K), TMsgIcon::Error);
    return;
  }
  // The name and caption follow the document only once the file has been read.
  if (!LoadDocument(part.Name(), phoneName)) return;
  // Should the rename fail, the document keeps the complete part as its file.
  if (part.Become(local)) {
    UFunStruct::FunFile.FileName = local;
  } else {
    part.Keep();
  }
  setWindowTitle(QString("Nerevy's Glowsmith %1 - %2")
                     .arg(AboutForm::AForm ? AboutForm::AForm->Label2->text() : QString())
                     .arg(AOpenFromPhone->text()));
  RefreshAfterLoad();
}

void TMForm::ASaveToPhoneExecute() {
  if (!PhoneFileReady(*this, PendingSave)) return;
  const std::string folder = CopyFolder(*this);
  if (folder.empty()) return;
  const std::string phoneName = P2KAPI::PhoneFiles->Items(0).Name;
  const std::string local = folder + "funlight.pat";
  {
    // Written beside the copy and renamed over it, so that whatever stands in its place, a link
    // included, is replaced and never written through.
    TPartFile part(local + ".part");
    UFunStruct::WritePat(part.Name());
    if (!part.Become(local)) throw EInOutError("File access denied");
  }
  BeginTransfer(*P2K);
  if (!P2K->WritePhoneFile(local, phoneName, false, 0xFF)) {
    Message(FailureText(WithName(Profile.PhoneSaveFailedMsg, phoneName), *P2K), TMsgIcon::Error);
  }
}

// ---------------------------------------------------------------------------------------------
// Phone Tools page

void TMForm::Button18Click() {
  if (!P2K->Connected) P2K->Start(true);
}

void TMForm::Button19Click() {
  if (!P2K->Connected) {
    Message(Text(Profile.NotConnectedMsg), TMsgIcon::Error);
    return;
  }
  P2K->RestartPhone();
}

void TMForm::Button20Click() {
  if (!P2K->Connected) {
    Message(Text(Profile.NotConnectedMsg), TMsgIcon::Error);
    return;
  }
  // Each option is one byte; an answer without that byte counts as a failed read.
  auto readOption = [this](uint16_t offset, uint8_t& value) {
    value = 0;
    uint16_t size = 1;
    if (!P2K->ReadSeem(kOptionsSeem, kOptionsRecord, offset, 1, &value, size)) return false;
    if (size != 1) P2K->LastFailure = P2KAPI::TFailure::BadAnswer;
    return size == 1;
  };
  uint8_t clublights = 0;
  uint8_t c380 = 0;
  BeginTransfer(*P2K);
  if (!readOption(kClublightsOffset, clublights) || !readOption(kC380Offset, c380)) {
    // Nothing is shown or written from a read that failed: the boxes keep their state and Write
    // waits for a read that succeeds.
    Button21->setEnabled(false);
    Message(FailureText(Text(Profile.PhoneOptionsReadFailedMsg), *P2K), TMsgIcon::Error);
    return;
  }
  ClublightsByte = clublights;
  C380Byte = c380;
  CheckBox7->setChecked((ClublightsByte & kShownBit) != 0);
  CheckBox8->setChecked((C380Byte & kShownBit) != 0);
  // Setting the boxes above ran their click handlers; that is no change of the user's.
  ClublightsChanged = false;
  C380Changed = false;
  Button21->setEnabled(true);
}

void TMForm::Button21Click() {
  if (!P2K->Connected) {
    Message(Text(Profile.NotConnectedMsg), TMsgIcon::Error);
    return;
  }
  // Writes one option when it was changed; a failed write keeps its flag, so Write can be
  // pressed again.
  auto writeOption = [this](bool& changed, QCheckBox* box, uint8_t& stored, uint16_t offset) {
    if (!changed) return true;
    const uint8_t value = box->isChecked() ? static_cast<uint8_t>(stored | kWrittenBits)
                                           : static_cast<uint8_t>(stored & ~kWrittenBits);
    if (!P2K->WriteSeem(kOptionsSeem, kOptionsRecord, offset, 1, &value)) return false;
    stored = value;
    changed = false;
    return true;
  };
  BeginTransfer(*P2K);
  if (!writeOption(C380Changed, CheckBox8, C380Byte, kC380Offset) ||
      !writeOption(ClublightsChanged, CheckBox7, ClublightsByte, kClublightsOffset)) {
    Message(FailureText(Text(Profile.PhoneOptionsWriteFailedMsg), *P2K), TMsgIcon::Error);
    return;
  }
  Button21->setEnabled(false);
}

void TMForm::CheckBox7Click() {
  ClublightsChanged = true;
}

void TMForm::CheckBox8Click() {
  C380Changed = true;
}

}  // namespace Unit1
