// What the window does with the phone link (whose own rules are tested in tests/phone).
#include <QCoreApplication>
#include <QFile>
#include <filesystem>

#include "Bytes.h"
#include "EditorSupport.h"
#include "P2KAPI.h"
#include "PhoneCopy.h"
#include "Profile.h"
#include "SimulatedKnobs.h"

namespace {

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
  QString Copy(const char* end = "") {
    return QString::fromStdString(Folder + "funlight.pat") + end;
  }
  bool RunUntil(const std::function<bool()>& done) {
    return Sim.AdvanceUntil([&] { return QCoreApplication::processEvents(), done(); }, 15000);
  }
  void Plug(bool in) {
    in ? Sim.Phone().Plug(TPhoneMode::Modem) : Sim.Phone().Unplug();
    Form().Button18->click();
    ASSERT_TRUE(RunUntil([&] { return Form().Phone()->Connected == in; }));
  }
  Data Document(const QString& name, int count) {
    std::vector<UFunStruct::TFunlight> list;
    for (int i = 0; i < count; ++i)
      list.push_back(NormalFunlight(i + 1, {Frame(100, {Cell(1, 5, 0, i)})}));
    return ReadBytes(WriteDocument(name, list));
  }
  Data CurrentDocument() {
    UFunStruct::WritePat(TempPath("now.pat").toStdString());
    return ReadBytes(TempPath("now.pat"));
  }
  QString OnlyMessage() {
    const auto shown = std::exchange(dialogs_.Messages, {});
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() || shown[0].Icon != TMsgIcon::Error ? QString() : shown[0].Text;
  }
  std::string State() { return Form().Label26->text().toStdString(); }
  QColor StateColour() { return Form().Label26->palette().color(QPalette::WindowText); }
  Writes SeemWrites() {
    Writes out;
    for (const auto& c : Sim.Commands())
      if ((c.Command & 0x0FFF) == P2KAPI::WRELEM)
        out.emplace_back(Bytes::BE16(&c.Data[4]), c.Data[8]);
    return out;
  }
  TTestMachine Sim{TClockMode::Manual};
  std::string Folder;
};

}  // namespace

// A command waits for a phone with the file, and says why while it waits. Save (true) or Read.
class PendingRequestTest : public PhoneCommandsTest, public testing::WithParamInterface<bool> {};

TEST_P(PendingRequestTest, WaitsForAPhoneWithTheFile) {
  const bool save = GetParam();
  const Data onDisk = Document("disk.pat", 2), onPhone = Document("phone.pat", 3);
  Start({TempPath("disk.pat")});
  (save ? Form().ASaveToPhone : Form().AOpenFromPhone)->trigger();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(Sim.AdvanceUntil([this] { return Form().Phone()->CurrentDevice() != 0; }, 5000));
  Sim.Phone().Unplug();
  Sim.WaitIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  EXPECT_EQ(State(), Profile.DisconnectedText);
  EXPECT_EQ(StateColour(), QColor(255, 0, 0));
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([this] { return !dialogs_.Messages.empty(); }));
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NoPhoneFileMsg);
  Plug(false);
  Sim.Phone().AddFile("/c/funlight.pat", onPhone);
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return !Unit1::PendingOpen && !Unit1::PendingSave; }));
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(State(), Profile.ConnectedText);
  EXPECT_EQ(StateColour(), QColor(0, 128, 0));
  EXPECT_EQ(save ? Sim.Phone().File("/c/funlight.pat") : CurrentDocument(),
            save ? onDisk : onPhone);
  EXPECT_EQ(ReadBytes(Copy()), save ? onDisk : onPhone);
  EXPECT_FALSE(QFile::exists(Copy(".part")));
  EXPECT_EQ(UFunStruct::FunFile.FileName, (save ? TempPath("disk.pat") : Copy()).toStdString());
  const QString title = "Nerevy's Glowsmith " + About().Label2->text() + " - ";
  EXPECT_EQ(Form().windowTitle() == title + Form().AOpenFromPhone->text(), !save);
}

INSTANTIATE_TEST_SUITE_P(ReadAndSave, PendingRequestTest, testing::Bool());

// A failed read changes neither document nor copy, and says what failed, why, and the link's line.
TEST_F(PhoneCommandsTest, FailedReadKeepsDocumentAndCopyAndReports) {
  const TAnswerTweak late{.Command = P2KAPI::kCommandFileSystem, .SubCommand = 1, .Drop = true};
  const TAnswerTweak no{.Command = P2KAPI::kCommandFileSystem, .SubCommand = 0, .Status = 9};
  const QString read = "Reading /a/funlight.pat from the phone failed.\n";
  const std::tuple<Data, std::vector<TAnswerTweak>, QString> cases[] = {
      {{}, {late}, read + "The phone did not answer in time.\n(USB Time-out)"},
      {{}, {no}, read + "The phone refused the request."},
      {{},
       {},
       read + "The USB transfer failed. Check the cable and the phone.\n(WriteData "
              "GetOverlappedResult fail)"},
      {{'n', 'o'}, {}, "\"/a/funlight.pat\" is not a funlight file."},
  };
  const Data onDisk = Document("disk.pat", 2), earlier = Document("earlier.pat", 1);
  for (const auto& [file, tweaks, text] : cases) {
    SCOPED_TRACE(text.toStdString());
    forms_.reset();
    Start({TempPath("disk.pat")});
    Sim.Phone().AddFile("/a/funlight.pat", file.empty() ? Document("phone.pat", 3) : file);
    WriteBytes(Copy(), earlier);
    Plug(true);
    for (const auto& t : tweaks) Sim.QueueTweak(t);
    if (text.contains("WriteData"))
      Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 1});
    Form().AOpenFromPhone->trigger();
    EXPECT_EQ(OnlyMessage().toStdString(), text.toStdString());
    EXPECT_EQ(CurrentDocument(), onDisk);
    EXPECT_EQ(UFunStruct::FunFile.FileName, TempPath("disk.pat").toStdString());
    EXPECT_EQ(ReadBytes(Copy()), earlier);
    EXPECT_FALSE(QFile::exists(Copy(".part")));
    Plug(false);
  }
  // A copy's folder open to others is not used, and nothing is asked of the phone.
  Plug(true);
  Sim.ClearCommands();
  std::filesystem::permissions(Folder, std::filesystem::perms::all);
  Form().AOpenFromPhone->trigger();
  EXPECT_EQ(OnlyMessage(), QString::fromStdString(Profile.PhoneCopyFolderMsg)
                               .arg(QString::fromStdString(Folder).chopped(1)));
  EXPECT_TRUE(Sim.Commands().empty());
}

// Read shows bit 3 and enables Write, which sends changed options (C380 first) with bits 2-3 set.
TEST_F(PhoneCommandsTest, OptionsReadAndWrite) {
  const auto answer = [](Data d) { return TAnswerTweak{.Command = P2KAPI::RDELEM, .Data = d}; };
  const TAnswerTweak no{.Command = P2KAPI::RDELEM, .Status = 1}, one = answer({0, 0});
  const QString refused =
      "\nThe phone refused the request.\n(RDELEM answer: no seem or access denided)";
  const QString bad = "\nThe phone's answer was incomplete or could not be understood.";
  const std::tuple<uint8_t, uint8_t, std::vector<TAnswerTweak>, QString, Writes> cases[] = {
      {0x04, 0x08, {}, {}, {{99, 0x0C}}},
      {0xF7, 0x0C, {}, {}, {{89, 0x00}}},
      {0xFC, 0xF3, {}, {}, {{89, 0xFF}, {99, 0xF0}}},
      {0x08, 0x00, {one, no}, refused, {}},
      {0x08, 0x00, {answer({0})}, bad, {}},
      {0x08, 0x00, {one, answer({0, 0, 0})}, bad + "\n(Buffer too small)", {}},
  };
  Start();
  Plug(true);
  for (const auto& [clublights, c380, tweaks, failure, writes] : cases) {
    SCOPED_TRACE(failure.toStdString() + std::to_string(clublights));
    Data record(100, 0x5A);
    record[99] = clublights;
    record[89] = c380;
    Sim.Phone().SetSeem(0x32, 1, record);
    for (const auto& t : tweaks) Sim.QueueTweak(t);
    Form().Button20->click();
    EXPECT_EQ(dialogs_.Messages.empty() ? QString() : OnlyMessage().mid(37), failure);
    // A failed read leaves the boxes as the last write left them: 7 off, 8 on.
    EXPECT_EQ(Form().CheckBox7->isChecked(), failure.isEmpty() && clublights & 8);
    EXPECT_EQ(Form().CheckBox8->isChecked(), !failure.isEmpty() || c380 & 8);
    EXPECT_EQ(Form().Button21->isEnabled(), failure.isEmpty());
    for (const auto& [offset, value] : writes)
      (offset == 99 ? Form().CheckBox7 : Form().CheckBox8)->click();
    Sim.ClearCommands();
    Form().Button21->click();
    EXPECT_EQ(SeemWrites(), writes);
    EXPECT_FALSE(Form().Button21->isEnabled());
  }
}

// A failed option write keeps its change for another try; without the phone the buttons say so.
TEST_F(PhoneCommandsTest, FailedOptionWriteAndButtonsWithoutThePhone) {
  Start();
  for (QPushButton* button : {Form().Button19, Form().Button20}) {
    button->click();
    EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  }
  Plug(true);
  Form().CheckBox7->click();
  Form().Button21->setEnabled(true);
  Sim.QueueTweak({.Command = P2KAPI::WRELEM, .Status = 1});
  Form().Button21->click();
  EXPECT_EQ(OnlyMessage(),
            "The phone settings could not be written.\nThe phone refused the request.\n(No seem or "
            "access denided)");
  Sim.ClearCommands();
  Form().Button21->click();
  EXPECT_EQ(SeemWrites(), (Writes{{99, 0x0C}}));
  Form().Button19->click();
  EXPECT_EQ(Sim.Phone().Restarts(), 1);
}

TEST_F(PhoneCommandsTest, NoDriverLineWhereNoPhoneCanBeFound) {
  services_.Phone = nullptr;  // the system's own platform: here, one without the phone driver
  Start();
  EXPECT_TRUE(Form().NoDriverLabel->isVisibleTo(Form().Tab5));
  EXPECT_EQ(Form().NoDriverLabel->pos(), QPoint(16, 200));
  EXPECT_EQ(Form().NoDriverLabel->text(),
            "No phone can be found: this system has no phone driver. "
            "Try glowsmith --simulate-phone DIR.");
}
