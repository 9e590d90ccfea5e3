// What the window does with the phone link (whose own rules are tested in tests/phone).
#include <QFile>

#include "Bytes.h"
#include "EditorSupport.h"
#include "LinuxPhonePlatform.h"
#include "P2KAPI.h"
#include "PhoneCopy.h"
#include "SimulatedKnobs.h"
#include "UsbPhoneModel.h"

using Data = std::vector<uint8_t>;
using Writes = std::vector<std::pair<uint32_t, uint8_t>>;

class PhoneCommandsTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    services_.Phone = &Sim;
    qputenv("TMPDIR", temp_.path().toLocal8Bit());
    Folder = PhoneCopy::PrivateFolder(temp_.path().toStdString() + "/");
  }
  QString Copy(const char* e = "") { return QString::fromStdString(Folder + "funlight.pat") + e; }
  bool RunUntil(const std::function<bool()>& done) {
    return Sim.AdvanceUntil([&] { return QCoreApplication::processEvents(), done(); }, 15000);
  }
  void Plug(bool in) {
    in ? Sim.Phone().Plug(TPhoneMode::Modem) : Sim.Phone().Unplug();
    F().Button18->click();
    ASSERT_TRUE(RunUntil([&] { return F().Phone()->Connected == in; }));
  }
  Data Document(const QString& name, int count) {
    std::vector<TFunlight> list;
    for (int i = 0; i < count; ++i)
      list.push_back(Normal(i + 1, 0, false, {Frame(100, {Cell(1, 5, 0, i)})}));
    return ReadBytes(WriteDocument(name, list));
  }
  Data CurrentDocument() {
    WritePat(TempPath("now.pat").toStdString());
    return ReadBytes(TempPath("now.pat"));
  }
  auto State() {
    return std::pair(F().Label26->text().toStdString(),
                     F().Label26->palette().color(QPalette::WindowText));
  }
  Writes SeemWrites() {
    Writes out;
    for (const auto& c : Sim.Commands())
      if ((c.Command & 0x0FFF) == P2KAPI::WRELEM)
        out.emplace_back(Bytes::BE16(&c.Data[4]), c.Data[8]);
    return out;
  }
  TTestMachine Sim{TClockMode::Manual};
  TUsbPhoneModel Usb{Sim};  // the same phone, reached through the Linux platform
  TLinuxPhonePlatform Linux{Usb, Sim, {"/-", "/-"}};
  std::string Folder;
};

class PendingRequestTest : public PhoneCommandsTest, public testing::WithParamInterface<bool> {};

TEST_P(PendingRequestTest, WaitsForAPhoneWithTheFile) {
  const bool save = GetParam();  // else Read; it waits for a phone with the file, saying why
  const Data onDisk = Document("disk.pat", 2), onPhone = Document("phone.pat", 3);
  Start({TempPath("disk.pat")});
  (save ? F().ASaveToPhone : F().AOpenFromPhone)->trigger();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(Sim.AdvanceUntil([this] { return F().Phone()->CurrentDevice() != 0; }, 5000));
  Sim.Phone().Unplug();
  Sim.WaitIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  EXPECT_EQ(State(), std::pair(Profile.DisconnectedText, QColor(255, 0, 0)));
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([this] { return !dialogs_.Messages.empty(); }));
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NoPhoneFileMsg);
  Plug(false);
  Sim.Phone().AddFile("/c/funlight.pat", onPhone);
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return !Unit1::PendingOpen && !Unit1::PendingSave; }));
  EXPECT_TRUE(dialogs_.Messages.empty() &&
              State() == std::pair(Profile.ConnectedText, QColor(0, 128, 0)));
  const Data moved = save ? onDisk : onPhone;
  EXPECT_TRUE((save ? Sim.Phone().File("/c/funlight.pat") : CurrentDocument()) == moved &&
              ReadBytes(Copy()) == moved);
  EXPECT_EQ(FunFile.FileName, (save ? TempPath("disk.pat") : Copy()).toStdString());
  EXPECT_EQ(F().windowTitle().endsWith(" - " + F().AOpenFromPhone->text()), !save);
  // The next connection's search does not keep the earlier one's file.
  Plug(false);
  Sim.Phone().AddFile("/a/funlight.pat", Document("later.pat", 1));
  Plug(true);
  F().AOpenFromPhone->trigger();
  EXPECT_EQ(CurrentDocument(), ReadBytes(TempPath("later.pat")));
}

INSTANTIATE_TEST_SUITE_P(ReadAndSave, PendingRequestTest, testing::Bool());

TEST_F(PhoneCommandsTest, FailedTransferKeepsDocumentAndCopyAndReports) {
  const auto late = [](uint8_t sub) {
    return TAnswerTweak{.Command = P2KAPI::kCommandFileSystem, .SubCommand = sub, .Drop = true};
  };
  const QString read = "Reading /a/funlight.pat from the phone failed.\n";
  const QString usb = "The USB transfer failed. Check the cable and the phone.\n";
  const QString timeOut = "The phone did not answer in time.\n(USB Time-out)";
  const std::tuple<Data, std::vector<TAnswerTweak>, QString> cases[] = {
      {{}, {late(1)}, read + timeOut},
      {{'n', 'o'}, {}, "\"/a/funlight.pat\" is not a funlight file."},
      // A failed transfer names the link's last log line.
      {{}, {}, read + usb + "(WriteData GetOverlappedResult fail)"},
      {{}, {late(P2KAPI::kFileWrite)}, "Saving /a/funlight.pat to the phone failed.\n" + timeOut}};
  const Data onDisk = Document("disk.pat", 2), earlier = Document("earlier.pat", 1);
  for (const auto& [file, tweaks, text] : cases) {
    const bool save = text.startsWith("Saving");
    forms_.reset();
    Start({TempPath("disk.pat")});
    Sim.Phone().AddFile("/a/funlight.pat", file.empty() ? Document("phone.pat", 3) : file);
    DocSupport::WriteBytes(Copy().toStdString(), earlier);
    Plug(true);
    for (const auto& t : tweaks) Sim.QueueTweak(t);
    if (text.contains(usb)) Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 1});
    (save ? F().ASaveToPhone : F().AOpenFromPhone)->trigger();
    EXPECT_EQ(OnlyMessage().toStdString(), text.toStdString());
    EXPECT_TRUE(CurrentDocument() == onDisk && ReadBytes(Copy()) == (save ? onDisk : earlier) &&
                !QFile::exists(Copy(".part")) && !Unit1::PendingSave &&
                FunFile.FileName == TempPath("disk.pat").toStdString());
    if (save) F().ASaveToPhone->trigger();  // the next try goes through
    EXPECT_TRUE(dialogs_.Messages.empty() &&
                save == (Sim.Phone().File("/a/funlight.pat") == onDisk));
    Plug(false);
  }
  Plug(true);  // a copy's folder open to others is not used
  std::filesystem::permissions(Folder, std::filesystem::perms::all);
  F().AOpenFromPhone->trigger();
  EXPECT_EQ(OnlyMessage(), QString::fromStdString(Profile.PhoneCopyFolderMsg)
                               .arg(QString::fromStdString(Folder).chopped(1)));
}

// A link planted where the copy or its partial file is written is replaced, never followed.
TEST_F(PhoneCommandsTest, CopyIsNeverWrittenThroughAPlantedLink) {
  namespace fs = std::filesystem;
  const Data onPhone = Document("phone.pat", 3), kept{'k', 'e', 'e', 'p'};
  DocSupport::WriteBytes(TempPath("victim").toStdString(), kept);
  Start();
  Sim.Phone().AddFile("/a/funlight.pat", onPhone);
  Plug(true);
  for (const char* end : {"", ".part"})
    fs::create_symlink(TempPath("victim").toStdString(), Copy(end).toStdString());
  F().AOpenFromPhone->trigger();
  EXPECT_TRUE(CurrentDocument() == onPhone && !fs::is_symlink(Copy().toStdString()) &&
              !fs::exists(fs::symlink_status(Copy(".part").toStdString())) &&
              ReadBytes(TempPath("victim")) == kept);
  // A copy that cannot be replaced (a folder stands there): the save stops and its part goes.
  fs::remove(Copy().toStdString());
  fs::create_directories((Copy() + "/x").toStdString());
  F().ASaveToPhone->trigger();
  EXPECT_TRUE(OnlyMessage().contains("File access denied") &&
              !fs::exists(Copy(".part").toStdString()));
}

TEST_F(PhoneCommandsTest, BothPendingReadRunsBeforeSave) {
  Document("disk.pat", 2);
  Start({TempPath("disk.pat")});
  const Data onPhone = Document("phone.pat", 3);
  Sim.Phone().AddFile("/a/funlight.pat", onPhone);
  F().ASaveToPhone->trigger();
  F().AOpenFromPhone->trigger();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return !Unit1::PendingOpen && !Unit1::PendingSave; }));
  std::vector<long> order;  // reads, then writes: what went back is what was read
  for (const auto& c : Sim.Commands())
    if (c.SubCommand() == P2KAPI::kFileRead || c.SubCommand() == P2KAPI::kFileWrite)
      order.push_back(c.SubCommand());
  EXPECT_TRUE(!order.empty() && order.front() == P2KAPI::kFileRead &&
              order.back() == P2KAPI::kFileWrite && std::is_sorted(order.begin(), order.end()));
  EXPECT_TRUE(CurrentDocument() == onPhone && Sim.Phone().File("/a/funlight.pat") == onPhone);
}

TEST_F(PhoneCommandsTest, OptionsReadWriteAndRestart) {
  const auto answer = [](Data d) { return TAnswerTweak{.Command = P2KAPI::RDELEM, .Data = d}; };
  const TAnswerTweak no{.Command = P2KAPI::RDELEM, .Status = 1}, one = answer({0, 0});
  const QString refused =
      "\nThe phone refused the request.\n(RDELEM answer: no seem or access denided)";
  const QString bad = "\nThe phone's answer was incomplete or could not be understood.";
  const std::tuple<uint8_t, uint8_t, std::vector<TAnswerTweak>, QString, Writes> cases[] = {
      {0x04, 0x08, {}, {}, {{99, 0x0C}}},
      {0xFC, 0xF3, {}, {}, {{89, 0xFF}, {99, 0xF0}}},
      {0x08, 0x00, {one, no}, refused, {}},
      {0x08, 0x00, {answer({0})}, bad, {}},
      {0x08, 0x00, {one, answer({0, 0, 0})}, bad + "\n(Buffer too small)", {}},
  };
  Start();
  for (QPushButton* button : {F().Button19, F().Button20}) {
    button->click();
    EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  }
  Plug(true);
  for (const auto& [clublights, c380, tweaks, failure, writes] : cases) {
    Data record(100, 0x5A);
    record[99] = clublights;
    record[89] = c380;
    Sim.Phone().SetSeem(0x32, 1, record);
    for (const auto& t : tweaks) Sim.QueueTweak(t);
    F().Button20->click();
    EXPECT_EQ(dialogs_.Messages.empty() ? QString() : OnlyMessage().mid(37), failure);
    const bool read = failure.isEmpty();
    EXPECT_EQ(
        std::tuple(F().CheckBox7->isChecked(), F().CheckBox8->isChecked(),
                   F().Button21->isEnabled(), F().Phone()->LastFailure == P2KAPI::TFailure::None),
        std::tuple(read && clublights & 8, !read || c380 & 8, read, read));
    for (const auto& [offset, value] : writes)
      (offset == 99 ? F().CheckBox7 : F().CheckBox8)->click();
    Sim.Clear();
    F().Button21->click();
    EXPECT_TRUE(SeemWrites() == writes && !F().Button21->isEnabled());
  }
  F().CheckBox7->click();
  F().Button21->setEnabled(true);
  Sim.QueueTweak({.Command = P2KAPI::WRELEM, .Status = 1});
  F().Button21->click();
  EXPECT_TRUE(
      OnlyMessage().startsWith("The phone settings could not be written.\nThe phone refused"));
  Sim.Clear();
  F().Button21->click();
  F().Button19->click();
  EXPECT_EQ(std::pair(SeemWrites(), Sim.Phone().Restarts()), std::pair(Writes{{99, 0xFC}}, 1));
}

// The page's one-line notices: a system without the phone driver, and a phone this user may not
// open (looked at once a second), which names the rule and fits the page.
TEST_F(PhoneCommandsTest, NoDriverAndNoAccessLines) {
  Usb.Initialised = false, Usb.OpenError = kUsbErrorAccess;
  services_.Phone = &Linux;
  UseShippedAppDir();
  Start();
  const QLabel* driver = F().NoDriverLabel;
  const QLabel* access = F().NoAccessLabel;
  EXPECT_TRUE(driver->isVisibleTo(F().Tab5) && driver->pos() == QPoint(16, 200) &&
              driver->text().endsWith("Try glowsmith --simulate-phone DIR."));
  Sim.Phone().Plug(TPhoneMode::P2K);
  F().Button18->click();
  EXPECT_FALSE(access->isVisibleTo(F().Tab5));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Sim.Advance(100), access->isVisibleTo(F().Tab5); }));
  EXPECT_TRUE(access->pos() == QPoint(16, 200) &&
              access->text().endsWith("udev rule 60-glowsmith-phone.rules.") &&
              access->geometry().right() < F().Tab5->width());
  Choose(F().ComboBox1, "Russian");
  EXPECT_TRUE(access->text().endsWith("udev 60-glowsmith-phone.rules.") &&
              access->geometry().right() < F().Tab5->width());
}
