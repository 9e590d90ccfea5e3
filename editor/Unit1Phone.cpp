// Phone commands and the Phone Tools page.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "AboutForm.h"
#include "InOutError.h"
#include "P2KAPI.h"
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

// The last diagnostic line of the link logged on the user-interface thread, that is, by a
// transfer; the watcher's search lines are of no use in a failure message.
std::thread::id UiThread;
std::string LastTransferLine;

void RememberLogLine(const std::string& line) {
  if (std::this_thread::get_id() == UiThread) LastTransferLine = line;
}

std::string LocalCopy() {
  return TempDir + "funlight.pat";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and destruction of the link

void TMForm::FormCreate() {
  QString temp = QDir::tempPath();
  if (!temp.endsWith('/')) temp += '/';
  TempDir = temp.toStdString();

  IPhonePlatform* platform = Services().Phone;
  if (!platform) {
    OwnedPlatform = CreateSystemPhonePlatform();
    platform = OwnedPlatform.get();
  }
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
    P2K->Stop();
    // Waits for the watcher, so nothing is posted after this.
    delete P2K;
    P2K = nullptr;
  }
  delete StatusPoster;
  StatusPoster = nullptr;
  delete P2KAPI::PhoneFiles;
  P2KAPI::PhoneFiles = nullptr;
  P2KAPI::OnLog = nullptr;
  OwnedPlatform.reset();
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

// Forgets the failure details of earlier commands before a new transfer.
void BeginTransfer(P2KAPI::TP2KAPI& link) {
  link.LastError.clear();
  LastTransferLine.clear();
}

// The message for a failed transfer: what failed, then the link's reason when it gave one.
QString FailureText(const QString& what, const P2KAPI::TP2KAPI& link) {
  const std::string& detail = link.LastError.empty() ? LastTransferLine : link.LastError;
  if (detail.empty()) return what;
  return what + "\n" + QString::fromStdString(detail);
}

// A file command runs only with a phone connected and funlight.pat found on it. Without a
// connection the command is kept pending and connecting starts; without the file the user is told
// and the command stays pending.
bool PhoneFileReady(TMForm& form, bool& pending) {
  if (!form.P2K->Connected) {
    pending = true;
    form.P2K->Start(true);
    return false;
  }
  if (!PhoneFileFound || P2KAPI::PhoneFiles->Count() == 0) {
    form.Message(QString::fromStdString(Profile.NoPhoneFileMsg), TMsgIcon::Error);
    return false;
  }
  pending = false;
  return true;
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
  PhoneFileFound = P2K->FindPhoneFiles(P2KAPI::FunlightPattern1, true);
  if (!PhoneFileFound) PhoneFileFound = P2K->FindPhoneFiles(P2KAPI::FunlightPattern2, true);
  if (PendingOpen) Execute(AOpenFromPhone);
  if (PendingSave) Execute(ASaveToPhone);
}

void TMForm::AOpenFromPhoneExecute() {
  if (!PhoneFileReady(*this, PendingOpen)) return;
  const P2KAPI::TPhoneFileEntry entry = P2KAPI::PhoneFiles->Items(0);
  const QString phoneName = QString::fromStdString(entry.Name);

  // The phone's bytes go to a file of their own first, so that a broken transfer leaves the
  // previous local copy (perhaps the document's own file) as it was.
  const std::string local = LocalCopy();
  const std::string part = local + ".part";
  BeginTransfer(*P2K);
  if (!P2K->ReadPhoneFile(part, entry.Name, entry.Size)) {
    std::error_code ignored;
    std::filesystem::remove(part, ignored);
    Message(FailureText(QString("Reading %1 from the phone failed.").arg(phoneName), *P2K),
            TMsgIcon::Error);
    return;
  }
  std::error_code error;
  std::filesystem::rename(part, local, error);
  if (error) {
    std::filesystem::remove(part, error);
    throw EInOutError("File access denied");
  }

  // The name and caption follow the document only once the file has been read.
  if (!LoadDocument(local, phoneName)) return;
  setWindowTitle(QString("Nerevy's Glowsmith %1 - %2")
                     .arg(AboutForm::AForm ? AboutForm::AForm->Label2->text() : QString())
                     .arg(AOpenFromPhone->text()));
  RefreshAfterLoad();
}

void TMForm::ASaveToPhoneExecute() {
  if (!PhoneFileReady(*this, PendingSave)) return;
  const std::string phoneName = P2KAPI::PhoneFiles->Items(0).Name;
  const std::string local = LocalCopy();
  UFunStruct::WritePat(local);
  BeginTransfer(*P2K);
  if (!P2K->WritePhoneFile(local, phoneName, false, 0xFF)) {
    Message(
        FailureText(
            QString("Saving %1 to the phone failed.").arg(QString::fromStdString(phoneName)), *P2K),
        TMsgIcon::Error);
  }
}

// ---------------------------------------------------------------------------------------------
// Phone Tools page

void TMForm::Button18Click() {
  if (!P2K->Connected) P2K->Start(true);
}

void TMForm::Button19Click() {
  if (!P2K->Connected) {
    Message(QString::fromStdString(Profile.NotConnectedMsg), TMsgIcon::Error);
    return;
  }
  P2K->RestartPhone();
}

void TMForm::Button20Click() {
  if (!P2K->Connected) {
    Message(QString::fromStdString(Profile.NotConnectedMsg), TMsgIcon::Error);
    return;
  }
  // Each option is one byte; an answer without that byte counts as a failed read.
  auto readOption = [this](uint16_t offset, uint8_t& value) {
    value = 0;
    uint16_t size = 1;
    return P2K->ReadSeem(kOptionsSeem, kOptionsRecord, offset, 1, &value, size) && size == 1;
  };
  uint8_t clublights = 0;
  uint8_t c380 = 0;
  BeginTransfer(*P2K);
  if (!readOption(kClublightsOffset, clublights) || !readOption(kC380Offset, c380)) {
    // Nothing is shown or written from a read that failed: the boxes keep their state and Write
    // waits for a read that succeeds.
    Button21->setEnabled(false);
    Message(FailureText(QString::fromStdString(Profile.PhoneSettingsReadMsg), *P2K),
            TMsgIcon::Error);
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
    Message(QString::fromStdString(Profile.NotConnectedMsg), TMsgIcon::Error);
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
    Message(FailureText("The phone settings could not be written.", *P2K), TMsgIcon::Error);
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
