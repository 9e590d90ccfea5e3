#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QTabWidget>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <new>
#include <thread>

#include "EditorSupport.h"
#include "FileAssociation.h"
#include "IniFile.h"
#include "Profile.h"
#include "Unit2.h"

using namespace UFunStruct;
using Unit1::TMForm;

namespace {

// Equally far from the left and right, and from the top and bottom, of the desktop's work area.
bool Centred(const QRect& window) {
  const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
  return std::abs((window.left() - desktop.left()) - (desktop.right() - window.right())) <= 1 &&
         std::abs((window.top() - desktop.top()) - (desktop.bottom() - window.bottom())) <= 1;
}

struct TRun {
  bool Finished = false;
  int ExitCode = -1;
  std::string Errors;  // standard error
};

// Runs the built program in folder dir with byte-exact arguments, and kills it when it has not
// ended by the deadline.
TRun RunProgram(const std::vector<std::string>& args, const std::string& dir) {
  using namespace std::chrono_literals;
  std::vector<char*> argv = {const_cast<char*>(GLOWSMITH_PROGRAM)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "errors.txt",
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  TRun run;
  if (failed) return run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (!(run.Finished = waitpid(pid, &status, WNOHANG) == pid) &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  if (!run.Finished) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else if (WIFEXITED(status)) {
    run.ExitCode = WEXITSTATUS(status);
  }
  std::ifstream errors(dir + "/errors.txt", std::ios::binary);
  run.Errors.assign(std::istreambuf_iterator<char>(errors), std::istreambuf_iterator<char>());
  return run;
}

QString PageCaption(TMForm& f) {
  return f.PageControl1->tabText(f.PageControl1->currentIndex());
}

std::vector<TFunlight> TwoFunlights() {
  return {NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}}), Frame(0, {{2, 0, 15, 0}})}),
          NormalFunlight(5, {Frame(250, {{3, 0, 0, 15}})}, true)};
}

}  // namespace

TEST_F(EditorTest, StartWithoutFileShowsSetupOnly) {
  Start();
  EXPECT_EQ(Form().windowTitle(), "Glowsmith 2.2.8 beta");
  EXPECT_EQ(PageCaption(Form()), "Setup");
  EXPECT_TRUE(TabShown(Form().PageControl1, Form().Tab1));
  EXPECT_FALSE(TabShown(Form().PageControl1, Form().Tab2));
  EXPECT_FALSE(TabShown(Form().PageControl1, Form().Tab3));
  EXPECT_TRUE(TabShown(Form().PageControl1, Form().Tab5));
  EXPECT_FALSE(Form().ASave->isEnabled());
  EXPECT_FALSE(Form().ASaveAs->isEnabled());
  EXPECT_FALSE(Form().ASaveToPhone->isEnabled());
  EXPECT_FALSE(Unit1::DocActive);
  EXPECT_EQ(Form().centralWidget()->size(), QSize(669, 515));
}

TEST_F(EditorTest, StartWithPatFileOpensItOnEditPage) {
  const QString path = WriteDocument("start.pat", TwoFunlights());
  Start({path, TempPath("ignored.pat")});
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().windowTitle(), "Glowsmith 2.2.8 beta");
  EXPECT_EQ(PageCaption(Form()), "Edit funlights");
  EXPECT_TRUE(Unit1::DocActive);
  EXPECT_EQ(FunFile.FileName, path.toStdString());
  EXPECT_EQ(FunList.size(), 2u);
  EXPECT_TRUE(Form().ASave->isEnabled());
  EXPECT_TRUE(Form().AAddNewFun->isEnabled());
  EXPECT_TRUE(TabShown(Form().PageControl1, Form().Tab2));
  EXPECT_TRUE(TabShown(Form().PageControl1, Form().Tab3));
}

TEST_F(EditorTest, StartWithMissingFileReportsAndStaysOnSetup) {
  Start({TempPath("missing.pat")});
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text, "File not found");
  EXPECT_EQ(dialogs_.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(PageCaption(Form()), "Setup");
  EXPECT_EQ(Form().windowTitle(), "Glowsmith");
  EXPECT_FALSE(Unit1::DocActive);
}

TEST_F(EditorTest, StartWithNonPatFileLoadsNothing) {
  const QString path = TempPath("notes.txt");
  WriteBytes(path, {'h', 'e', 'l', 'l', 'o'});
  Start({path});
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(dialogs_.Messages[0].Text.contains("notes.txt"));
  EXPECT_FALSE(Unit1::DocActive);
  EXPECT_TRUE(FunFile.FileName.empty());
  EXPECT_FALSE(Form().ASave->isEnabled());
  EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}));
}

TEST_F(EditorTest, OpenSetsCaptionAndSaveWritesByteForByte) {
  const QString path = WriteDocument("funlight.pat", TwoFunlights());
  const auto original = ReadBytes(path);
  Start();
  dialogs_.OpenAnswers.push_back(path);
  Form().AOpenFile->trigger();
  EXPECT_EQ(Form().windowTitle(), "Nerevy's Glowsmith 2.2.8 beta - [funlight.pat]");
  EXPECT_EQ(PageCaption(Form()), "Setup");  // Open does not change the page
  EXPECT_TRUE(Unit1::DocActive);
  QFile::remove(path);
  Form().ASave->trigger();
  EXPECT_EQ(ReadBytes(path), original);
}

TEST_F(EditorTest, CancelledOpenChangesNothing) {
  Start();
  dialogs_.OpenAnswers.push_back(QString());
  Form().AOpenFile->trigger();
  EXPECT_EQ(Form().windowTitle(), "Glowsmith 2.2.8 beta");
  EXPECT_FALSE(Unit1::DocActive);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(EditorTest, SaveAsRenamesAndLaterSaveWritesThere) {
  const QString path = WriteDocument("first.pat", TwoFunlights());
  Start({path});
  const QString other = TempPath("second.pat");
  dialogs_.SaveAnswers.push_back(other);
  Form().ASaveAs->trigger();
  EXPECT_EQ(Form().windowTitle(), "Nerevy's Glowsmith 2.2.8 beta - [second.pat]");
  EXPECT_EQ(FunFile.FileName, other.toStdString());
  EXPECT_EQ(ReadBytes(other), ReadBytes(path));
  FunList[0].Frames[0].Duration = 777;
  Form().ASave->trigger();
  ASSERT_TRUE(ReadPat(other.toStdString()));
  EXPECT_EQ(FunList[0].Frames[0].Duration, 777);
  ASSERT_TRUE(ReadPat(path.toStdString()));
  EXPECT_EQ(FunList[0].Frames[0].Duration, 100);
}

TEST_F(EditorTest, OpeningNonPatFileKeepsDocumentNameAndCaption) {
  const QString path = WriteDocument("doc.pat", TwoFunlights());
  Start();
  dialogs_.OpenAnswers.push_back(path);
  Form().AOpenFile->trigger();
  const QString caption = Form().windowTitle();
  const QString other = TempPath("picture.bmp");
  WriteBytes(other, {'B', 'M', 0, 0, 0});
  dialogs_.OpenAnswers.push_back(other);
  Form().AOpenFile->trigger();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(dialogs_.Messages[0].Text.contains("picture.bmp"));
  EXPECT_EQ(dialogs_.Messages[0].Title, caption);
  EXPECT_EQ(Form().windowTitle(), caption);
  EXPECT_EQ(FunFile.FileName, path.toStdString());
  EXPECT_EQ(FunList.size(), 2u);
  // A later save still goes to the funlight file, never over the other one.
  Form().ASave->trigger();
  EXPECT_EQ(ReadBytes(other), (std::vector<uint8_t>{'B', 'M', 0, 0, 0}));
}

TEST_F(EditorTest, TruncatedFileReportsReadBeyondEndAndKeepsDocument) {
  const QString good = WriteDocument("good.pat", TwoFunlights());
  auto bytes = ReadBytes(good);
  bytes.resize(bytes.size() - 4);
  const QString bad = TempPath("bad.pat");
  WriteBytes(bad, bytes);
  Start({good});
  dialogs_.OpenAnswers.push_back(bad);
  Form().AOpenFile->trigger();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text, "Read beyond end of file");
  EXPECT_EQ(FunFile.FileName, good.toStdString());
  EXPECT_EQ(FunList.size(), 2u);
}

TEST_F(EditorTest, SaveFailureIsReportedInErrorBox) {
  const QString path = WriteDocument("doc.pat", TwoFunlights());
  Start({path});
  dialogs_.SaveAnswers.push_back(TempPath("no/such/folder/x.pat"));
  Form().ASaveAs->trigger();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Icon, TMsgIcon::Error);
  EXPECT_FALSE(dialogs_.Messages[0].Text.isEmpty());
}

TEST_F(EditorTest, AboutShowsModalBoxAndLinkOpensPage) {
  Start();
  Form().AShowAbout->trigger();
  ASSERT_EQ(dialogs_.ModalShown.size(), 1u);
  EXPECT_EQ(dialogs_.ModalShown[0], "AForm");
  EXPECT_EQ(About().Label2->text(), "2.2.8 beta");
  emit About().Label3->linkActivated(AboutForm::MakerUrl);
  ASSERT_EQ(dialogs_.Urls.size(), 1u);
  EXPECT_EQ(dialogs_.Urls[0], AboutForm::MakerUrl);
}

TEST_F(EditorTest, RegisterPatWritesMimeTypeAndDesktopEntryTwice) {
  const QByteArray oldData = qgetenv("XDG_DATA_HOME");
  const QByteArray oldPath = qgetenv("PATH");
  qputenv("XDG_DATA_HOME", TempPath("data").toUtf8());
  qputenv("PATH", "/nonexistent");  // no desktop tools: the files alone
  Start();
  for (int i = 0; i < 2; ++i) {
    Form().ARegisterPAT->trigger();
    EXPECT_TRUE(dialogs_.Messages.empty());
    QFile mime(TempPath("data/mime/packages/glowsmith-pat.xml"));
    ASSERT_TRUE(mime.open(QIODevice::ReadOnly));
    const QString xml = mime.readAll();
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.pat\"/>"));
    EXPECT_TRUE(xml.contains("Motorola Funlight File"));
    QFile desktop(TempPath("data/applications/glowsmith.desktop"));
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = desktop.readAll();
    EXPECT_TRUE(entry.contains("Exec=\"" + QCoreApplication::applicationFilePath() + "\" %f"));
    EXPECT_TRUE(entry.contains("MimeType=application/x-motorola-funlight;"));
  }
  // A data folder that cannot be created is reported.
  WriteBytes(TempPath("blocker"), {1});
  qputenv("XDG_DATA_HOME", TempPath("blocker").toUtf8());
  Form().ARegisterPAT->trigger();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(dialogs_.Messages[0].Text.startsWith("Failed to create key"));
  qputenv("XDG_DATA_HOME", oldData);
  qputenv("PATH", oldPath);
}

TEST_F(EditorTest, CommandLineOfTheBuiltProgram) {
  const std::string dir = TempPath("run").toStdString();
  std::filesystem::create_directories(dir);
  const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir + "/config"));
  const auto document = ReadBytes(WriteDocument("doc.pat", TwoFunlights()));
  WriteBytes(QString::fromStdString(dir + "/x.pat"), document);
  WriteBytes(QString::fromStdString(dir + "/-x.pat"), document);
  const std::string latin1 = "caf\xE9.pat";  // not valid UTF-8
  WriteFile(std::filesystem::path(dir) / latin1, std::string(document.begin(), document.end()));
  WriteBytes(QString::fromStdString(dir + "/notes.txt"), {'h', 'i'});
  struct TCase {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Errors;  // a part of standard error; empty: no message of the program
    bool Picture;
  };
  const std::vector<TCase> cases = {
      // A message box during start-up: its text goes to standard error, the picture is taken.
      {{"missing.pat"}, 1, "glowsmith: File not found\n", true},
      {{"notes.txt"}, 1, "glowsmith: \"notes.txt\" is not a funlight file.\n", true},
      {{latin1}, 0, "", true},
      {{"-style", "fusion", "x.pat"}, 0, "", true},
      {{"--", "-x.pat"}, 0, "", true},
      {{"--verbose", "x.pat"}, 2, "glowsmith: unknown option --verbose\nUsage: glowsmith", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Args.front());
    std::filesystem::remove(dir + "/shot.png");
    std::vector<std::string> args = {"--screenshot", "shot.png"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TRun run = RunProgram(args, dir);
    if (!run.Finished) {
      ADD_FAILURE() << "still running at the deadline";
      continue;
    }
    EXPECT_EQ(run.ExitCode, c.ExitCode) << run.Errors;
    if (c.Errors.empty())
      EXPECT_EQ(run.Errors.find("glowsmith:"), std::string::npos) << run.Errors;
    else
      EXPECT_NE(run.Errors.find(c.Errors), std::string::npos) << run.Errors;
    EXPECT_EQ(std::filesystem::exists(dir + "/shot.png"), c.Picture);
  }
  qputenv("XDG_CONFIG_HOME", oldConfig);
  // A name that is no text is beyond the temporary folder's own clean-up.
  std::filesystem::remove_all(dir);
}

TEST_F(EditorTest, MessageTextsComeFromTheLanguageWithEnglishDefaults) {
  const std::filesystem::path app = UseShippedAppDir();
  WriteFile(app / "Languages" / "Bare.lng", "[Language]\nExt=eng\n");
  const QString doc = WriteDocument("doc.pat", TwoFunlights());
  const QString other = TempPath("x.bmp");
  WriteBytes(other, {'B', 'M'});
  Start({doc});
  struct TCase {
    const char* Language;
    QString NotFunlight, ListFull, OutOfMemory;
  };
  const std::vector<TCase> cases = {
      {"English", "\"" + other + "\" is not a funlight file.",
       "The file already holds the most funlights it can (255).", "Out of memory"},
      {"Russian", "Файл «" + other + "» не является файлом фанлайтов.",
       "В файле уже максимальное число фанлайтов (255).", "Недостаточно памяти"},
      {"Bare", "\"" + other + "\" is not a funlight file.",
       "The file already holds the most funlights it can (255).", "Out of memory"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Language);
    Choose(Form().ComboBox1, c.Language);
    dialogs_.Messages.clear();
    dialogs_.OpenAnswers.push_back(other);
    Form().AOpenFile->trigger();
    FunList.resize(MaxFunlights, FunList.front());
    Form().AAddNewFun->trigger();
    FunList.resize(2);
    Form().Guard([] { throw std::bad_alloc(); });
    ASSERT_EQ(dialogs_.Messages.size(), 3u);
    EXPECT_EQ(dialogs_.Messages[0].Text.toStdString(), c.NotFunlight.toStdString());
    EXPECT_EQ(dialogs_.Messages[1].Text.toStdString(), c.ListFull.toStdString());
    EXPECT_EQ(dialogs_.Messages[2].Text.toStdString(), c.OutOfMemory.toStdString());
  }
}

TEST_F(EditorTest, ShippedLanguagesHoldEveryKeyTheProgramReads) {
  Start();
  const std::vector<Unit1::TLanguageKey> keys = Form().LanguageKeys();
  ASSERT_GT(keys.size(), 80u);
  for (const char* language : {"English", "Russian"}) {
    const TIniFile file(ShippedDir() / "Languages" / (std::string(language) + ".lng"));
    for (const Unit1::TLanguageKey& key : keys) {
      EXPECT_NE(file.ReadString(key.Section, key.Key, "\x01"), "\x01")
          << language << ": [" << key.Section << "] " << key.Key;
    }
  }
}

TEST_F(EditorTest, WindowsOpenFixedInTheMiddleOfTheDesktop) {
  Start();
  const Qt::WindowFlags flags = Form().windowFlags();
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  Form().show();
  EXPECT_EQ(Form().minimumSize(), Form().maximumSize());
  EXPECT_TRUE(Centred(Form().frameGeometry()));
  // The dialogs take the middle of the desktop, not of their parent.
  Form().move(0, 0);
  for (QDialog* dialog : std::initializer_list<QDialog*>{&About(), Unit2::SForm}) {
    SCOPED_TRACE(dialog->objectName().toStdString());
    // An uncustomised frame gets the window manager's own boxes.
    EXPECT_TRUE(dialog->windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_FALSE(dialog->windowFlags() &
                 (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    dialog->show();
    EXPECT_TRUE(Centred(dialog->frameGeometry()));
    dialog->hide();
  }
}

TEST(DesktopEntry, ExecQuotesTheProgramThenEscapesTheString) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/usr/bin/glowsmith", R"("/usr/bin/glowsmith" %f)"},
      {"/opt/My Apps/glowsmith", R"("/opt/My Apps/glowsmith" %f)"},
      {"/opt/100%/glowsmith", R"("/opt/100%%/glowsmith" %f)"},
      {"/opt/$HOME/glowsmith", R"("/opt/\\$HOME/glowsmith" %f)"},
      {"/opt/back\\slash/glowsmith", R"("/opt/back\\\\slash/glowsmith" %f)"},
      {"/opt/say \"hi\"/glowsmith", R"("/opt/say \\"hi\\"/glowsmith" %f)"},
      {"/opt/`id`/glowsmith", R"("/opt/\\`id\\`/glowsmith" %f)"},
      {"/opt/two\nlines/glowsmith", R"("/opt/two\nlines/glowsmith" %f)"},
  };
  for (const auto& [path, exec] : cases) EXPECT_EQ(DesktopEntryExec(path), exec) << path;
}
