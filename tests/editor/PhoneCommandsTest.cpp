// What the window does with the phone link: commands, states shown and messages, against the
// simulated phone on a virtual clock. The link's own rules are tested in tests/phone.
#include <unistd.h>

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
using Inject = std::function<void(TTestMachine&)>;

class PhoneCommandsTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    services_.Phone = &Sim;
    // The local copy lives in a private folder inside the system's temporary folder: ours.
    qputenv("TMPDIR", temp_.path().toLocal8Bit());
    Folder = PhoneCopy::PrivateFolder(temp_.path().toStdString() + "/");
  }
  void TearDown() override {
    forms_.reset();
    EXPECT_EQ(Sim.OpenHandles(), 0);
    qunsetenv("TMPDIR");
    EditorTest::TearDown();
  }
  bool Connected() { return Form().Phone()->Connected; }
  QString Copy(const char* end = "") {
    return QString::fromStdString(Folder) + "funlight.pat" + end;
  }
  // Moves the virtual clock, delivering the posted status notices on the way.
  bool RunUntil(const std::function<bool()>& done) {
    return Sim.AdvanceUntil([&] { return QCoreApplication::processEvents(), done(); }, 15000);
  }
  void Plug(bool in) {
    in ? Sim.Phone().Plug(TPhoneMode::Modem) : Sim.Phone().Unplug();
    Form().Button18->click();
    ASSERT_TRUE(RunUntil([&] { return Connected() == in; }));
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
  // The one message shown since the last call, with an error icon.
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

// A command without a phone waits for one. A phone gone before its notice is handled is not
// connected; one without the file says so; the next with the file (under its second name) runs
// the command. The parameter: Save to phone (true) or Read from phone.
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
  EXPECT_GE(Form().Label26->width(), Form().Label26->sizeHint().width());
  EXPECT_EQ(save ? Sim.Phone().File("/c/funlight.pat") : CurrentDocument(),
            save ? onDisk : onPhone);
  EXPECT_EQ(ReadBytes(Copy()), save ? onDisk : onPhone);
  EXPECT_FALSE(QFile::exists(Copy(".part")));
  EXPECT_EQ(UFunStruct::FunFile.FileName, (save ? TempPath("disk.pat") : Copy()).toStdString());
  const QString title = "Nerevy's Glowsmith " + About().Label2->text() + " - ";
  EXPECT_EQ(Form().windowTitle() == title + Form().AOpenFromPhone->text(), !save);
}

INSTANTIATE_TEST_SUITE_P(ReadAndSave, PendingRequestTest, testing::Bool());

// A read that fails changes neither the document nor the copy, and says what failed, why, and the
// link's last diagnostic line.
TEST_F(PhoneCommandsTest, FailedReadKeepsDocumentAndCopyAndReports) {
  const auto tweak = [](uint32_t sub, std::optional<uint8_t> status) -> Inject {
    return [=](TTestMachine& p) {
      p.QueueTweak({.Command = P2KAPI::kCommandFileSystem,
                    .SubCommand = sub,
                    .Status = status,
                    .Drop = !status});
    };
  };
  const QString read = "Reading /a/funlight.pat from the phone failed.\n";
  const std::tuple<Data, Inject, QString> cases[] = {
      {{},
       tweak(P2KAPI::kFileRead, {}),
       read + "The phone did not answer in time.\n(USB Time-out)"},
      {{}, tweak(P2KAPI::kFileOpen, 9), read + "The phone refused the request."},
      {{},
       [](TTestMachine& p) {
         p.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 1});
       },
       read + "The USB transfer failed. Check the cable and the phone.\n(WriteData "
              "GetOverlappedResult fail)"},
      {{'n', 'o'}, [](TTestMachine&) {}, "\"/a/funlight.pat\" is not a funlight file."},
      {{},
       [this](TTestMachine&) { std::filesystem::permissions(Folder, std::filesystem::perms::all); },
       ""},  // the copy's folder is open to others: no command goes to the phone
  };
  const Data onDisk = Document("disk.pat", 2), earlier = Document("earlier.pat", 1);
  for (const auto& [file, inject, text] : cases) {
    SCOPED_TRACE(text.toStdString());
    Start({TempPath("disk.pat")});
    Sim.Phone().AddFile("/a/funlight.pat", file.empty() ? Document("phone.pat", 3) : file);
    WriteBytes(Copy(), earlier);
    Plug(true);
    Sim.ClearCommands();
    inject(Sim);
    Form().AOpenFromPhone->trigger();
    const QString folder = QString::fromStdString(Profile.PhoneCopyFolderMsg)
                               .arg(QString::fromStdString(Folder).chopped(1));
    EXPECT_EQ(OnlyMessage(), !text.isEmpty() ? text : folder);
    EXPECT_EQ(text.isEmpty(), Sim.Commands().empty());
    EXPECT_EQ(CurrentDocument(), onDisk);
    EXPECT_EQ(UFunStruct::FunFile.FileName, TempPath("disk.pat").toStdString());
    EXPECT_EQ(ReadBytes(Copy()), earlier);
    EXPECT_FALSE(QFile::exists(Copy(".part")));
    forms_.reset();
    Sim.Phone().Unplug();
  }
}

// Read shows bit 3 of each option and enables Write; Write sends the changed options only, C380
// first, with bits 2 and 3 set or cleared. A failed read shows nothing and builds no write.
TEST_F(PhoneCommandsTest, OptionsReadAndWrite) {
  const TAnswerTweak no{.Command = P2KAPI::RDELEM, .Status = 1},
      one{.Command = P2KAPI::RDELEM, .Data = Data{0, 0}};
  const QString refused =
      "\nThe phone refused the request.\n(RDELEM answer: no seem or access denided)";
  const QString bad = "\nThe phone's answer was incomplete or could not be understood.";
  const std::tuple<uint8_t, uint8_t, std::vector<TAnswerTweak>, QString, Writes> cases[] = {
      {0x08, 0x00, {}, {}, {}},
      {0x04, 0x08, {}, {}, {{99, 0x0C}}},
      {0xF7, 0x0C, {}, {}, {{89, 0x00}}},
      {0xFC, 0xF3, {}, {}, {{89, 0xFF}, {99, 0xF0}}},
      {0x00, 0x08, {no}, refused, {}},
      {0x00, 0x08, {one, no}, refused, {}},
      {0x00, 0x08, {{.Command = P2KAPI::RDELEM, .Data = Data{0}}}, bad, {}},
      {0x00,
       0x08,
       {one, {.Command = P2KAPI::RDELEM, .Data = Data{0, 0, 0}}},
       bad + "\n(Buffer too small)",
       {}},
  };
  Start();
  Plug(true);
  for (const auto& [clublights, c380, tweaks, failure, writes] : cases) {
    SCOPED_TRACE(testing::Message()
                 << int(clublights) << " " << int(c380) << failure.toStdString());
    Data record(100, 0x5A);
    record[99] = clublights;
    record[89] = c380;
    Sim.Phone().SetSeem(0x32, 1, record);
    const bool shown7 = failure.isEmpty() ? clublights & 8 : Form().CheckBox7->isChecked();
    const bool shown8 = failure.isEmpty() ? c380 & 8 : Form().CheckBox8->isChecked();
    for (const auto& t : tweaks) Sim.QueueTweak(t);
    Form().Button20->click();
    EXPECT_EQ(dialogs_.Messages.empty() ? QString() : OnlyMessage().mid(37), failure);
    EXPECT_EQ(Form().CheckBox7->isChecked(), shown7);
    EXPECT_EQ(Form().CheckBox8->isChecked(), shown8);
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
  Plug(true);
  Form().CheckBox7->click();
  Form().Button21->setEnabled(true);
  Sim.QueueTweak({.Command = P2KAPI::WRELEM, .Status = 1});
  Form().Button21->click();
  EXPECT_EQ(OnlyMessage(),
            "The phone settings could not be written.\nThe phone refused the "
            "request.\n(No seem or access denided)");
  Plug(false);
  for (QPushButton* button : {Form().Button19, Form().Button20, Form().Button21}) {
    button->click();
    EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  }
  Plug(true);
  Sim.ClearCommands();
  Form().Button21->click();
  EXPECT_EQ(SeemWrites(), (Writes{{99, 0x0C}}));
  Form().Button19->click();
  EXPECT_EQ(Sim.Phone().Restarts(), 1);
}

TEST_F(PhoneCommandsTest, NoDriverLineOnlyWhereNoPhoneCanBeFound) {
  for (IPhonePlatform* platform : std::initializer_list<IPhonePlatform*>{&Sim, nullptr}) {
    forms_.reset();
    services_.Phone = platform;  // null: the system's own, here without the phone driver
    Start();
    EXPECT_EQ(Form().NoDriverLabel->isVisibleTo(Form().Tab5), !platform);
  }
  EXPECT_EQ(Form().NoDriverLabel->pos(), QPoint(16, 200));
  EXPECT_EQ(Form().NoDriverLabel->text(),
            "No phone can be found: this system has no phone driver. "
            "Try glowsmith --simulate-phone DIR.");
}
