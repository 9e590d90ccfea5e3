// The phone commands of the File menu and the Phone Tools page, against the simulated phone on a
// virtual clock.
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "AboutForm.h"
#include "EditorSupport.h"
#include "P2KAPI.h"
#include "PhoneCopy.h"
#include "Profile.h"
#include "SimulatedKnobs.h"

namespace {

using Bytes = std::vector<uint8_t>;
using UFunStruct::TFrameCell;

constexpr uint16_t kOptionsSeem = 0x32;
const std::string kPhonePat = "/a/funlight.pat";

// Seem 0x32 record 1 with the two option bytes.
Bytes OptionsRecord(uint8_t clublights, uint8_t c380) {
  Bytes record(100, 0x5A);
  record[99] = clublights;
  record[89] = c380;
  return record;
}

uint32_t BE16(const Bytes& b, size_t at) {
  return (uint32_t{b.at(at)} << 8) | b.at(at + 1);
}

bool HasPixelNear(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) < 24 && std::abs(c.green() - colour.green()) < 24 &&
          std::abs(c.blue() - colour.blue()) < 24)
        return true;
    }
  }
  return false;
}

}  // namespace

class PhoneCommandsTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    services_.Phone = &Sim;
  }

  void TearDown() override {
    // The window stops the watcher and frees the link; nothing may be left open or misused.
    forms_.reset();
    EXPECT_EQ(Sim.OpenHandles(), 0);
    EXPECT_EQ(Sim.InvalidHandleUses(), 0);
    EXPECT_EQ(Sim.SettleTimeouts(), 0);
    EditorTest::TearDown();
  }

  void StartPhone(const QStringList& args = {}) {
    Start(args);
    Unit1::TempDir = temp_.path().toStdString() + "/";
    Profile.ConnectedText = "Phone here";
    Profile.DisconnectedText = "Phone away";
    Profile.NotConnectedMsg = "Connect the phone first.";
    Profile.NoPhoneFileMsg = "No funlight file on this phone.";
  }

  P2KAPI::TP2KAPI& Link() { return *Form().Phone(); }

  // The local copy of the phone's file, in the user's private folder.
  static std::string LocalCopy() {
    return PhoneCopy::PrivateFolder(Unit1::TempDir) + "funlight.pat";
  }

  // Moves the virtual clock, delivering the posted status notices on the way.
  bool RunUntil(const std::function<bool()>& done, uint32_t maxMs = 10000) {
    return Sim.AdvanceUntil(
        [&] {
          QCoreApplication::processEvents();
          return done();
        },
        maxMs);
  }
  void Run(uint32_t ms) {
    RunUntil([] { return false; }, ms);
  }

  void Connect() {
    if (!Sim.Phone().Plugged()) Sim.Phone().Plug(TPhoneMode::Modem);
    Form().Button18->click();
    ASSERT_TRUE(RunUntil([this] { return Link().Connected; }));
  }

  void Unplug() {
    Sim.Phone().Unplug();
    ASSERT_TRUE(RunUntil([this] { return !Link().Connected; }));
  }

  // A document of count funlights, as its PAT bytes.
  Bytes Document(const QString& name, int count, uint8_t colour) {
    std::vector<UFunStruct::TFunlight> list;
    for (int i = 0; i < count; ++i) {
      list.push_back(
          NormalFunlight(static_cast<uint8_t>(i + 1),
                         {Frame(100, {TFrameCell{1, colour, 0, 0}}),
                          Frame(200, {TFrameCell{1, 0, colour, 0}, TFrameCell{2, 0, 0, colour}})}));
    }
    return ReadBytes(WriteDocument(name, list));
  }

  // The document in memory, as WritePat writes it.
  Bytes CurrentDocument() {
    const QString path = TempPath("current.pat");
    UFunStruct::WritePat(path.toStdString());
    return ReadBytes(path);
  }

  std::vector<TPhoneCommand> Commands(uint16_t command, long sub = -1) {
    std::vector<TPhoneCommand> out;
    for (const auto& c : Sim.Commands()) {
      if ((c.Command & 0x0FFF) == command && (sub < 0 || c.SubCommand() == sub)) out.push_back(c);
    }
    return out;
  }

  // Offset and byte of every WRELEM the phone received, in order.
  std::vector<std::pair<uint32_t, uint8_t>> SeemWrites() {
    std::vector<std::pair<uint32_t, uint8_t>> out;
    for (const auto& c : Commands(P2KAPI::WRELEM)) {
      EXPECT_EQ(BE16(c.Data, 0), kOptionsSeem);
      EXPECT_EQ(BE16(c.Data, 2), 1u);
      EXPECT_EQ(BE16(c.Data, 6), 1u);
      out.emplace_back(BE16(c.Data, 4), c.Data.at(8));
    }
    return out;
  }

  uint8_t PhoneOption(size_t offset) {
    return Sim.Phone().Seem(kOptionsSeem, 1).value().at(offset);
  }

  // Checks that exactly one message box was shown, titled with the window caption, with an error
  // icon, and returns its text.
  QString OnlyMessage() {
    EXPECT_EQ(dialogs_.Messages.size(), 1u);
    if (dialogs_.Messages.empty()) return {};
    const auto& m = dialogs_.Messages.back();
    EXPECT_EQ(m.Title, Form().windowTitle());
    EXPECT_EQ(m.Icon, TMsgIcon::Error);
    return m.Text;
  }

  int WatchersStarted() {
    int n = 0;
    for (const auto& r : Sim.Requests()) n += r.Call == TSimCall::StartThread;
    return n;
  }

  TTestMachine Sim{TClockMode::Manual};
};

// ------------------------------------------------------------------------ status and reading

TEST_F(PhoneCommandsTest, ReadWithoutPhoneWaitsThenLoadsWhenPhoneIsPlugged) {
  StartPhone();
  const Bytes onPhone = Document("phone.pat", 3, 9);
  Sim.Phone().AddFile(kPhonePat, onPhone);

  Form().AOpenFromPhone->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(Form().Label26->text().toStdString(), Profile.DisconnectedText);
  EXPECT_EQ(Form().Label26->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_TRUE(Unit1::PendingOpen);
  EXPECT_TRUE(Link().WatcherRunning());
  EXPECT_EQ(WatchersStarted(), 1);

  // Nobody there: the watcher keeps looking, nothing is loaded and nothing is said.
  Run(6000);
  EXPECT_FALSE(Link().Connected);
  EXPECT_TRUE(UFunStruct::FunList.empty());
  EXPECT_TRUE(dialogs_.Messages.empty());

  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return Unit1::DocActive; }));
  EXPECT_EQ(Form().Label26->text().toStdString(), Profile.ConnectedText);
  EXPECT_EQ(Form().Label26->palette().color(QPalette::WindowText), QColor(0, 128, 0));
  EXPECT_TRUE(HasPixelNear(Form().Label26->grab().toImage(), QColor(0, 128, 0)));
  EXPECT_FALSE(Unit1::PendingOpen);
  EXPECT_EQ(UFunStruct::FunList.size(), 3u);
  EXPECT_EQ(CurrentDocument(), onPhone);
  EXPECT_EQ(Form().ListBox1->count(), 3);
  EXPECT_EQ(Form().ListBox1->currentRow(), 0);
  EXPECT_TRUE(Form().ASaveToPhone->isEnabled());
  EXPECT_TRUE(Form().AAddNewFun->isEnabled());
  EXPECT_EQ(WatchersStarted(), 1);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, ReadSetsCaptionAndTakesTheTemporaryCopyAsDocumentFile) {
  StartPhone();
  const Bytes onPhone = Document("phone.pat", 2, 5);
  Sim.Phone().AddFile(kPhonePat, onPhone);
  Connect();
  Form().AOpenFromPhone->trigger();

  const std::string local = LocalCopy();
  EXPECT_EQ(UFunStruct::FunFile.FileName, local);
  EXPECT_EQ(ReadBytes(QString::fromStdString(local)), onPhone);
  EXPECT_EQ(Form().windowTitle(),
            "Nerevy's Glowsmith " + About().Label2->text() + " - " + Form().AOpenFromPhone->text());
  EXPECT_TRUE(Form().windowTitle().endsWith(" - " + Form().AOpenFromPhone->text()));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(local + ".part")));

  // A plain Save now writes to the temporary copy.
  UFunStruct::FunList[0].Frames[0].Cells[0].R = 15;
  Form().ASave->trigger();
  EXPECT_EQ(ReadBytes(QString::fromStdString(local)), CurrentDocument());
  EXPECT_NE(ReadBytes(QString::fromStdString(local)), onPhone);
}

TEST_F(PhoneCommandsTest, FileOnlyUnderSecondPatternIsFound) {
  StartPhone();
  const Bytes onPhone = Document("phone.pat", 1, 3);
  Sim.Phone().AddFile("/c/funlight.pat", onPhone);
  Sim.Phone().AddFile("/a/other.pat", {1, 1, 0, 5, 0});
  Connect();

  EXPECT_TRUE(Unit1::PhoneFileFound);
  ASSERT_EQ(P2KAPI::PhoneFiles->Count(), 1);
  EXPECT_EQ(P2KAPI::PhoneFiles->Items(0).Name, "/c/funlight.pat");
  const auto searches = Commands(P2KAPI::kCommandFileSystem, P2KAPI::kFileSearch);
  ASSERT_EQ(searches.size(), 2u);
  EXPECT_EQ(std::string(searches[0].Data.begin() + 4, searches[0].Data.end()),
            P2KAPI::FunlightPattern1);
  EXPECT_EQ(std::string(searches[1].Data.begin() + 4, searches[1].Data.end()),
            P2KAPI::FunlightPattern2);

  Form().AOpenFromPhone->trigger();
  EXPECT_EQ(CurrentDocument(), onPhone);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, FileUnderFirstPatternNeedsOneSearch) {
  StartPhone();
  Sim.Phone().AddFile(kPhonePat, Document("a.pat", 1, 3));
  Sim.Phone().AddFile("/c/funlight.pat", Document("c.pat", 2, 3));
  Connect();
  EXPECT_TRUE(Unit1::PhoneFileFound);
  EXPECT_EQ(Commands(P2KAPI::kCommandFileSystem, P2KAPI::kFileSearch).size(), 1u);
  ASSERT_EQ(P2KAPI::PhoneFiles->Count(), 1);
  EXPECT_EQ(P2KAPI::PhoneFiles->Items(0).Name, kPhonePat);
}

// Neither pattern lists the file: the request says so, stays pending, and runs at the next
// connection once the file is there. The parameter: Save to phone (true) or Read from phone.
class PendingRequestTest : public PhoneCommandsTest, public testing::WithParamInterface<bool> {};

TEST_P(PendingRequestTest, MissingFileReportsAndKeepsRequestPending) {
  const bool save = GetParam();
  const Bytes onDisk = Document("disk.pat", 2, 4);
  StartPhone({TempPath("disk.pat")});

  (save ? Form().ASaveToPhone : Form().AOpenFromPhone)->trigger();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([this] { return Link().Connected && !dialogs_.Messages.empty(); }));
  EXPECT_FALSE(Unit1::PhoneFileFound);
  EXPECT_EQ(Commands(P2KAPI::kCommandFileSystem, P2KAPI::kFileSearch).size(), 2u);
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NoPhoneFileMsg);
  EXPECT_TRUE(save ? Unit1::PendingSave : Unit1::PendingOpen);
  EXPECT_EQ(CurrentDocument(), onDisk);
  EXPECT_TRUE(Commands(P2KAPI::kCommandFileSystem, P2KAPI::kFileOpen).empty());

  // The next connection finds the file and runs the request without a further command.
  Unplug();
  const Bytes onPhone = Document("phone.pat", 3, 7);
  Sim.Phone().AddFile(kPhonePat, onPhone);
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return !Unit1::PendingOpen && !Unit1::PendingSave; }));
  EXPECT_TRUE(Unit1::PhoneFileFound);
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  if (save) {
    EXPECT_EQ(Sim.Phone().File(kPhonePat), onDisk);
  } else {
    EXPECT_EQ(CurrentDocument(), onPhone);
  }
}

INSTANTIATE_TEST_SUITE_P(ReadAndSave, PendingRequestTest, testing::Bool());

// The phone went away before its "connected" notice was handled: the search finds no phone, and
// that is not the phone lacking the file.
TEST_F(PhoneCommandsTest, PhoneGoneBeforeItsNoticeIsNotConnectedNotNoFile) {
  StartPhone();
  Sim.Phone().AddFile(kPhonePat, Document("phone.pat", 1, 3));
  Form().AOpenFromPhone->trigger();
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(Sim.AdvanceUntil([this] { return Link().CurrentDevice() != 0; }, 5000));
  Sim.Phone().Unplug();
  Sim.WaitIdle();

  QCoreApplication::processEvents();

  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  EXPECT_FALSE(Link().Connected);
  EXPECT_TRUE(Unit1::PendingOpen);
  EXPECT_EQ(Form().Label26->text().toStdString(), Profile.DisconnectedText);

  // The next connection runs the read.
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return Unit1::DocActive; }));
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_FALSE(Unit1::PendingOpen);
}

TEST_F(PhoneCommandsTest, BothPendingReadRunsBeforeSave) {
  const Bytes onDisk = Document("disk.pat", 2, 4);
  StartPhone({TempPath("disk.pat")});
  const Bytes onPhone = Document("phone.pat", 3, 11);
  Sim.Phone().AddFile(kPhonePat, onPhone);

  Form().ASaveToPhone->trigger();
  Form().AOpenFromPhone->trigger();
  EXPECT_TRUE(Unit1::PendingSave && Unit1::PendingOpen);
  Sim.Phone().Plug(TPhoneMode::Modem);
  ASSERT_TRUE(RunUntil([] { return !Unit1::PendingOpen && !Unit1::PendingSave; }));
  EXPECT_EQ(WatchersStarted(), 1);

  // The read came first: the document is the phone's, and that is what went back.
  std::vector<long> order;
  for (const auto& c : Commands(P2KAPI::kCommandFileSystem)) {
    if (c.SubCommand() == P2KAPI::kFileRead || c.SubCommand() == P2KAPI::kFileWrite)
      order.push_back(c.SubCommand());
  }
  ASSERT_FALSE(order.empty());
  EXPECT_EQ(order.front(), static_cast<long>(P2KAPI::kFileRead));
  EXPECT_EQ(order.back(), static_cast<long>(P2KAPI::kFileWrite));
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  EXPECT_EQ(CurrentDocument(), onPhone);
  EXPECT_EQ(Sim.Phone().File(kPhonePat), onPhone);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, PhoneFileThatIsNoPatFileChangesNothing) {
  StartPhone();
  Sim.Phone().AddFile(kPhonePat, Document("phone.pat", 2, 4));
  Connect();
  // Read once: the document's file is now the local copy.
  Form().AOpenFromPhone->trigger();
  const QString local = QString::fromStdString(LocalCopy());
  ASSERT_EQ(UFunStruct::FunFile.FileName, local.toStdString());
  const Bytes document = CurrentDocument();
  const QString caption = Form().windowTitle();

  // Not a PAT file, and a PAT file cut short: neither is taken, and the copy stays as it was.
  std::vector<QString> shown;
  for (const Bytes& bytes : {Bytes{'n', 'o', 't', ' ', 'p', 'a', 't'}, Bytes{1, 1, 0, 40, 2, 0}}) {
    Sim.Phone().AddFile(kPhonePat, bytes);
    Unplug();
    Connect();
    dialogs_.Messages.clear();
    Form().AOpenFromPhone->trigger();

    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    shown.push_back(dialogs_.Messages[0].Text);
    EXPECT_EQ(UFunStruct::FunFile.FileName, local.toStdString());
    EXPECT_EQ(Form().windowTitle(), caption);
    EXPECT_EQ(CurrentDocument(), document);
    EXPECT_EQ(ReadBytes(local), document);
    EXPECT_FALSE(QFile::exists(local + ".part"));
  }
  EXPECT_EQ(shown[0], "\"/a/funlight.pat\" is not a funlight file.");
  EXPECT_EQ(shown[1], "Read beyond end of file");
}

// ------------------------------------------------------------------------ saving

TEST_F(PhoneCommandsTest, SaveToPhoneWritesWhatWritePatWrites) {
  // Large enough for several chunks of 1,024 bytes.
  const Bytes onDisk = Document("disk.pat", 120, 6);
  ASSERT_GT(onDisk.size(), 2048u);
  StartPhone({TempPath("disk.pat")});
  Sim.Phone().AddFile(kPhonePat, Document("phone.pat", 1, 2));
  Connect();

  UFunStruct::FunList[3].Frames[1].Cells[0].G = 1;
  Form().ASaveToPhone->trigger();

  const Bytes expected = CurrentDocument();
  EXPECT_NE(expected, onDisk);
  EXPECT_EQ(Sim.Phone().File(kPhonePat), expected);
  EXPECT_EQ(ReadBytes(QString::fromStdString(LocalCopy())), expected);
  EXPECT_EQ(Commands(P2KAPI::kCommandFileSystem, P2KAPI::kFileWrite).size(),
            (expected.size() + 1023) / 1024);
  // The document keeps its own file.
  EXPECT_EQ(UFunStruct::FunFile.FileName, TempPath("disk.pat").toStdString());
  EXPECT_TRUE(dialogs_.Messages.empty());

  // Read back at once, without reconnecting: the whole file, of its new size.
  Form().AOpenFromPhone->trigger();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(CurrentDocument(), expected);
}

// Nobody else can plant a link where the copy is written, and the user's own link is replaced,
// never followed.
TEST_F(PhoneCommandsTest, CopyIsNeverWrittenThroughAPlantedLink) {
  namespace fs = std::filesystem;
  const Bytes onDisk = Document("disk.pat", 2, 4);
  StartPhone({TempPath("disk.pat")});
  const Bytes onPhone = Document("phone.pat", 1, 9);
  Sim.Phone().AddFile(kPhonePat, onPhone);
  const fs::path victim = TempPath("victim.txt").toStdString();
  WriteBytes(TempPath("victim.txt"), {'k', 'e', 'e', 'p'});
  const fs::path copy = LocalCopy();
  const auto plant = [&] {
    fs::remove(copy);
    fs::create_symlink(victim, copy);
  };
  Connect();

  plant();
  Form().ASaveToPhone->trigger();
  EXPECT_EQ(Sim.Phone().File(kPhonePat), onDisk);
  EXPECT_FALSE(fs::is_symlink(copy));
  EXPECT_EQ(ReadBytes(QString::fromStdString(copy.string())), onDisk);

  Sim.Phone().AddFile(kPhonePat, onPhone);
  Unplug();
  Connect();
  plant();
  fs::create_symlink(victim, copy.string() + ".part");
  Form().AOpenFromPhone->trigger();
  EXPECT_EQ(CurrentDocument(), onPhone);
  EXPECT_FALSE(fs::is_symlink(copy));
  EXPECT_FALSE(fs::exists(fs::symlink_status(copy.string() + ".part")));

  EXPECT_EQ(ReadBytes(TempPath("victim.txt")), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(fs::status(copy.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(PhoneCommandsTest, FolderOpenToOthersIsRefusedWithAReason) {
  namespace fs = std::filesystem;
  StartPhone({WriteDocument("disk.pat", {})});
  Sim.Phone().AddFile(kPhonePat, Document("phone.pat", 1, 9));
  const fs::path folder = Unit1::TempDir + "glowsmith-" + std::to_string(::getuid());
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::owner_all | fs::perms::others_all);
  Connect();
  Sim.ClearCommands();

  for (QAction* command : {Form().ASaveToPhone, Form().AOpenFromPhone}) {
    dialogs_.Messages.clear();
    command->trigger();
    EXPECT_EQ(OnlyMessage(), QString::fromStdString(Profile.PhoneCopyFolderMsg)
                                 .arg(QString::fromStdString(folder.string())));
  }
  EXPECT_TRUE(Sim.Commands().empty());
  EXPECT_TRUE(fs::is_empty(folder));
}

// ------------------------------------------------------------------------ Phone Tools page

TEST_F(PhoneCommandsTest, ReadShowsBitThreeOfEachOption) {
  struct Case {
    uint8_t clublights, c380;
    bool checked7, checked8;
  };
  const Case cases[] = {
      {0x08, 0x00, true, false},
      {0x04, 0x08, false, true},
      {0xF7, 0x0C, false, true},
      {0x0C, 0xF3, true, false},
  };
  StartPhone();
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.clublights) << " " << int(c.c380));
    Sim.Phone().SetSeem(kOptionsSeem, 1, OptionsRecord(c.clublights, c.c380));
    Form().Button21->setEnabled(false);
    Form().Button20->click();
    EXPECT_EQ(Form().CheckBox7->isChecked(), c.checked7);
    EXPECT_EQ(Form().CheckBox8->isChecked(), c.checked8);
    EXPECT_EQ(Unit1::ClublightsByte, c.clublights);
    EXPECT_EQ(Unit1::C380Byte, c.c380);
    EXPECT_FALSE(Unit1::ClublightsChanged);
    EXPECT_FALSE(Unit1::C380Changed);
    EXPECT_TRUE(Form().Button21->isEnabled());
  }
  // Offset 99 is read first, then 89.
  const auto reads = Commands(P2KAPI::RDELEM);
  ASSERT_EQ(reads.size(), 2 * std::size(cases));
  EXPECT_EQ(BE16(reads[0].Data, 4), 99u);
  EXPECT_EQ(BE16(reads[1].Data, 4), 89u);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, WriteSetsOrClearsBitsTwoAndThree) {
  struct Case {
    bool clublights;  // which box is clicked
    uint8_t before;
    uint8_t written;
  };
  const Case cases[] = {
      {true, 0x0C, 0x00},  {true, 0x01, 0x0D}, {false, 0x0C, 0x00},
      {false, 0x01, 0x0D}, {true, 0xFC, 0xF0}, {false, 0x08, 0x00},
  };
  StartPhone();
  Connect();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.clublights << " " << int(c.before));
    Sim.Phone().SetSeem(kOptionsSeem, 1,
                        OptionsRecord(c.clublights ? c.before : 0, c.clublights ? 0 : c.before));
    Form().Button20->click();
    Sim.ClearCommands();
    (c.clublights ? Form().CheckBox7 : Form().CheckBox8)->click();
    Form().Button21->click();
    const uint32_t offset = c.clublights ? 99 : 89;
    EXPECT_EQ(SeemWrites(), (std::vector<std::pair<uint32_t, uint8_t>>{{offset, c.written}}));
    EXPECT_EQ(PhoneOption(offset), c.written);
    EXPECT_EQ(PhoneOption(c.clublights ? 89 : 99), 0);
    EXPECT_EQ(PhoneOption(98), 0x5A);
    EXPECT_FALSE(Form().Button21->isEnabled());
  }
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, WriteSendsOnlyChangedOptionsC380First) {
  struct Case {
    bool click7, click8;
    std::vector<uint32_t> offsets;
  };
  const Case cases[] = {
      {true, false, {99}},
      {false, true, {89}},
      {true, true, {89, 99}},
      {false, false, {}},
  };
  StartPhone();
  Connect();
  Sim.Phone().SetSeem(kOptionsSeem, 1, OptionsRecord(0x00, 0x08));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.click7 << c.click8);
    Form().Button20->click();
    Sim.ClearCommands();
    if (c.click7) Form().CheckBox7->click();
    if (c.click8) Form().CheckBox8->click();
    Form().Button21->click();
    std::vector<uint32_t> offsets;
    for (const auto& [offset, value] : SeemWrites()) offsets.push_back(offset);
    EXPECT_EQ(offsets, c.offsets);
    EXPECT_FALSE(Unit1::ClublightsChanged);
    EXPECT_FALSE(Unit1::C380Changed);
    EXPECT_FALSE(Form().Button21->isEnabled());
  }
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, PhoneToolsWithoutConnectionSayNotConnected) {
  StartPhone();
  Sim.Phone().SetSeem(kOptionsSeem, 1, OptionsRecord(0x08, 0x08));
  for (QPushButton* button : {Form().Button19, Form().Button20}) {
    SCOPED_TRACE(button->objectName().toStdString());
    dialogs_.Messages.clear();
    button->click();
    EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  }
  EXPECT_FALSE(Form().CheckBox7->isChecked());
  EXPECT_FALSE(Form().Button21->isEnabled());
  EXPECT_EQ(WatchersStarted(), 0);
  EXPECT_EQ(Sim.Phone().Restarts(), 0);

  // Write after the phone has gone.
  Connect();
  Form().Button20->click();
  Form().CheckBox7->click();
  Unplug();
  dialogs_.Messages.clear();
  Sim.ClearCommands();
  Form().Button21->click();
  EXPECT_EQ(OnlyMessage().toStdString(), Profile.NotConnectedMsg);
  EXPECT_TRUE(Sim.Commands().empty());
  EXPECT_TRUE(Unit1::ClublightsChanged);
}

TEST_F(PhoneCommandsTest, ConnectStartsOneWatcherAndRestartReconnects) {
  StartPhone();
  Form().Button18->click();
  Form().Button18->click();
  Run(3000);
  EXPECT_EQ(WatchersStarted(), 1);
  EXPECT_FALSE(Link().Connected);
  Connect();
  Form().Button18->click();  // connected: nothing happens
  QCoreApplication::processEvents();
  EXPECT_TRUE(Link().Connected);

  Form().Button19->click();
  EXPECT_EQ(Commands(P2KAPI::kCommandRestart).size(), 1u);
  EXPECT_EQ(Sim.Phone().Restarts(), 1);
  ASSERT_TRUE(RunUntil([this] { return !Link().Connected; }));
  EXPECT_EQ(Form().Label26->text().toStdString(), Profile.DisconnectedText);
  ASSERT_TRUE(RunUntil([this] { return Link().Connected; }, 15000));
  EXPECT_EQ(Form().Label26->text().toStdString(), Profile.ConnectedText);
  EXPECT_EQ(WatchersStarted(), 1);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PhoneCommandsTest, ClosingTheWindowStopsTheLink) {
  StartPhone();
  Connect();
  ASSERT_NE(P2KAPI::PhoneFiles, nullptr);
  forms_.reset();
  EXPECT_EQ(P2KAPI::PhoneFiles, nullptr);
  EXPECT_FALSE(P2KAPI::OnLog);
  EXPECT_EQ(Sim.OpenHandles(), 0);
}

TEST_F(PhoneCommandsTest, ClosingWithTheWatcherStuckInADriverCallTakesAboutASecond) {
  StartPhone();
  Sim.Phone().Plug(TPhoneMode::Storage);
  // The disk takes its whole 25 s time-out over the storage switch.
  Sim.InjectIoFault({TRequestKind::StorageSwitch, TIoFaultKind::Delay, 25000, 0});
  Form().Button18->click();
  Run(600);
  const auto closing = Sim.Now();
  QElapsedTimer clock;
  clock.start();

  forms_.reset();

  EXPECT_LE(Sim.Now() - closing, 1000u);
  EXPECT_LT(clock.elapsed(), 1500);
  // The left watcher ends by itself once the request returns, and frees the link.
  Sim.Advance(30000);
  EXPECT_EQ(Sim.Threads(), 0);
}

TEST_F(PhoneCommandsTest, NoDriverLineOnlyWhereNoPhoneCanBeFound) {
  StartPhone();
  EXPECT_FALSE(Form().NoDriverLabel->isVisibleTo(Form().Tab5));
  forms_.reset();

  services_.Phone = nullptr;  // the system's own platform: here, one without the phone driver
  StartPhone();
  Form().PageControl1->setCurrentWidget(Form().Tab5);
  Form().show();
  const QLabel* line = Form().NoDriverLabel;
  EXPECT_TRUE(line->isVisible());
  EXPECT_EQ(line->text(),
            "No phone can be found: this system has no phone driver. "
            "Try glowsmith --simulate-phone DIR.");
  for (const QString language : {"English", "Russian"}) {
    SCOPED_TRACE(language.toStdString());
    Form().ComboBox1->setCurrentText(language);
    Form().ComboBox1Change();
    EXPECT_TRUE(line->text().contains("glowsmith --simulate-phone"));
    // One line, all of it on the page.
    EXPECT_LE(line->height(), 2 * line->fontMetrics().height() - 1);
    EXPECT_LE(line->geometry().right(), Form().Tab5->width());
  }
}

// ------------------------------------------------------------------------ failures reported

// A read from the phone that fails loads nothing and says why.
struct TReadFault {
  const char* Name;
  std::function<void(TTestMachine&)> Inject;
  QString Detail;
};

const TReadFault kReadFaults[] = {
    {"NoAnswer",
     [](TTestMachine& p) {
       p.QueueTweak(
           {.Command = P2KAPI::kCommandFileSystem, .SubCommand = P2KAPI::kFileRead, .Drop = true});
     },
     "\nThe phone did not answer in time.\n(USB Time-out)"},
    {"TransferRefused",
     [](TTestMachine& p) {
       p.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 1});
     },
     "\nThe USB transfer failed. Check the cable and the phone.\n(WriteData GetOverlappedResult "
     "fail)"},
    {"FileGone",
     [](TTestMachine& p) {
       p.QueueTweak(
           {.Command = P2KAPI::kCommandFileSystem, .SubCommand = P2KAPI::kFileOpen, .Status = 9});
     },
     "\nThe phone refused the request."},
};

class FailedReadTest : public PhoneCommandsTest, public testing::WithParamInterface<int> {};

TEST_P(FailedReadTest, KeepsDocumentAndReports) {
  const TReadFault& fault = kReadFaults[GetParam()];
  const Bytes onDisk = Document("disk.pat", 2, 4);
  StartPhone({TempPath("disk.pat")});
  const QString caption = Form().windowTitle();
  const QString local = QString::fromStdString(LocalCopy());
  // A copy left by an earlier read.
  const Bytes earlierCopy = Document("earlier.pat", 1, 1);
  WriteBytes(local, earlierCopy);
  Sim.Phone().AddFile(kPhonePat, Document("phone.pat", 3, 12));
  Connect();

  fault.Inject(Sim);
  Form().AOpenFromPhone->trigger();
  EXPECT_EQ(OnlyMessage(), "Reading /a/funlight.pat from the phone failed." + fault.Detail);
  EXPECT_EQ(CurrentDocument(), onDisk);
  EXPECT_EQ(UFunStruct::FunFile.FileName, TempPath("disk.pat").toStdString());
  EXPECT_EQ(Form().windowTitle(), caption);
  EXPECT_EQ(ReadBytes(local), earlierCopy);
  EXPECT_FALSE(QFile::exists(local + ".part"));
  EXPECT_FALSE(Unit1::PendingOpen);

  // The same command works once the phone answers again.
  dialogs_.Messages.clear();
  Form().AOpenFromPhone->trigger();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(UFunStruct::FunList.size(), 3u);
  EXPECT_EQ(UFunStruct::FunFile.FileName, local.toStdString());
}

INSTANTIATE_TEST_SUITE_P(Faults, FailedReadTest, testing::Range(0, int(std::size(kReadFaults))),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(kReadFaults[info.param].Name);
                         });

TEST_F(PhoneCommandsTest, FailedSaveIsReportedAndKeepsDocument) {
  const Bytes onDisk = Document("disk.pat", 2, 4);
  StartPhone({TempPath("disk.pat")});
  const Bytes onPhone = Document("phone.pat", 1, 8);
  Sim.Phone().AddFile(kPhonePat, onPhone);
  Connect();

  Sim.QueueTweak(
      {.Command = P2KAPI::kCommandFileSystem, .SubCommand = P2KAPI::kFileWrite, .Drop = true});
  Form().ASaveToPhone->trigger();

  EXPECT_EQ(OnlyMessage(),
            "Saving /a/funlight.pat to the phone failed.\nThe phone did not answer in time.\n(USB "
            "Time-out)");
  EXPECT_EQ(CurrentDocument(), onDisk);
  EXPECT_EQ(UFunStruct::FunFile.FileName, TempPath("disk.pat").toStdString());
  EXPECT_FALSE(Unit1::PendingSave);

  dialogs_.Messages.clear();
  Form().ASaveToPhone->trigger();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Sim.Phone().File(kPhonePat), onDisk);
}

// A failed option read shows nothing of it and builds no write from it.
TEST_F(PhoneCommandsTest, FailedOptionReadChangesNothing) {
  struct Case {
    const char* name;
    std::vector<TAnswerTweak> tweaks;
    QString detail;
  };
  const TAnswerTweak refused{.Command = P2KAPI::RDELEM, .Status = 1};
  const TAnswerTweak good{.Command = P2KAPI::RDELEM, .Data = Bytes{0x00, 0x00}};
  const TAnswerTweak empty{.Command = P2KAPI::RDELEM, .Data = Bytes{0x00}};
  const TAnswerTweak large{.Command = P2KAPI::RDELEM, .Data = Bytes{0x00, 0x00, 0x00}};
  const QString kRefused = "\nThe phone refused the request.";
  const QString kBadAnswer = "\nThe phone's answer was incomplete or could not be understood.";
  const std::vector<Case> cases = {
      {"first refused", {refused}, kRefused + "\n(RDELEM answer: no seem or access denided)"},
      {"second refused",
       {good, refused},
       kRefused + "\n(RDELEM answer: no seem or access denided)"},
      {"no byte", {empty}, kBadAnswer},
      {"too many bytes", {good, large}, kBadAnswer + "\n(Buffer too small)"},
  };
  StartPhone();
  Connect();
  Sim.Phone().SetSeem(kOptionsSeem, 1, OptionsRecord(0x08, 0x00));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form().Button20->click();
    ASSERT_TRUE(Form().CheckBox7->isChecked());
    ASSERT_FALSE(Form().CheckBox8->isChecked());
    ASSERT_TRUE(Form().Button21->isEnabled());
    dialogs_.Messages.clear();

    for (const auto& t : c.tweaks) Sim.QueueTweak(t);
    Form().Button20->click();
    EXPECT_EQ(OnlyMessage(), "The phone settings could not be read." + c.detail);
    EXPECT_TRUE(Form().CheckBox7->isChecked());
    EXPECT_FALSE(Form().CheckBox8->isChecked());
    EXPECT_EQ(Unit1::ClublightsByte, 0x08);
    EXPECT_EQ(Unit1::C380Byte, 0x00);
    EXPECT_FALSE(Form().Button21->isEnabled());
    Sim.ClearCommands();
    Form().Button21->click();
    EXPECT_TRUE(Commands(P2KAPI::WRELEM).empty());
  }
}

// A failed option write is reported and can be tried again.
TEST_F(PhoneCommandsTest, FailedOptionWriteKeepsItsChangeForAnotherTry) {
  StartPhone();
  Connect();
  Sim.Phone().SetSeem(kOptionsSeem, 1, OptionsRecord(0x00, 0x0C));
  Form().Button20->click();
  Form().CheckBox7->click();  // on: 0x0C at 99
  Form().CheckBox8->click();  // off: 0x00 at 89

  const TAnswerTweak refused{.Command = P2KAPI::WRELEM, .Status = 1};
  const TAnswerTweak fine{.Command = P2KAPI::WRELEM, .Data = Bytes{0x00}};

  // 89 is refused: nothing written, both changes kept.
  Sim.QueueTweak(refused);
  Form().Button21->click();
  EXPECT_EQ(OnlyMessage(),
            "The phone settings could not be written.\nThe phone refused the request.\n(No seem or "
            "access denided)");
  EXPECT_TRUE(Unit1::C380Changed);
  EXPECT_TRUE(Unit1::ClublightsChanged);
  EXPECT_TRUE(Form().Button21->isEnabled());
  EXPECT_EQ(SeemWrites().size(), 1u);

  // 89 goes through, 99 is refused: only 99 is left to write.
  dialogs_.Messages.clear();
  Sim.ClearCommands();
  Sim.QueueTweak(fine);
  Sim.QueueTweak(refused);
  Form().Button21->click();
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_FALSE(Unit1::C380Changed);
  EXPECT_TRUE(Unit1::ClublightsChanged);
  EXPECT_TRUE(Form().Button21->isEnabled());

  // Third try: only 99 is sent, and Write is done.
  dialogs_.Messages.clear();
  Sim.ClearCommands();
  Form().Button21->click();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(SeemWrites(), (std::vector<std::pair<uint32_t, uint8_t>>{{99, 0x0C}}));
  EXPECT_EQ(PhoneOption(99), 0x0C);
  EXPECT_FALSE(Unit1::ClublightsChanged);
  EXPECT_FALSE(Form().Button21->isEnabled());
}
