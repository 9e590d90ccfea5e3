// What only the main window does: start-up, the document commands' wiring, captions, pages, the
// about box, and the built program's command line.
#include <cstdlib>

#include "EditorSupport.h"
#include "FileAssociation.h"

static const std::vector<TFunlight> TwoFunlights = {
    Normal(1, 0, false, {Frame(100, {{1, 15, 0, 0}}), Frame(0, {})}),
    Normal(5, 0, false, {Frame(250, {})})};

TEST_F(EditorTest, StartUpWithAndWithoutAFile) {
  const QString doc = WriteDocument("start.pat", TwoFunlights);
  using C = std::tuple<QStringList, QString, QString, QString, bool>;  // message, caption, page
  for (const auto& [args, message, caption, page, loaded] :
       {C{{}, "", "Glowsmith 2.2.8 beta", "Setup", false},
        {{doc, TempPath("ignored.pat")}, "", "Glowsmith 2.2.8 beta", "Edit funlights", true},
        {{TempPath("missing.pat")}, "File not found", "Glowsmith", "Setup", false}}) {
    TearDown();
    SetUp();
    dialogs_.Messages.clear();
    Start(args);
    EXPECT_EQ(
        std::tuple(dialogs_.Messages.empty() ? "" : dialogs_.Messages[0].Text, F().windowTitle(),
                   F().PageControl1->tabText(F().PageControl1->currentIndex()),
                   F().ListBox1->currentRow(), QString::fromStdString(FunFile.FileName)),
        std::tuple(message, caption, page, loaded ? 0 : -1, loaded ? doc : ""));
    for (bool on :
         {TabShown(F().PageControl1, F().Tab2), TabShown(F().PageControl1, F().Tab3),
          F().ASave->isEnabled(), F().ASaveToPhone->isEnabled(), F().AAddNewFun->isEnabled()})
      EXPECT_EQ(on, loaded) << args.join(' ').toStdString();
    // Disabled actions and those without a handler do not run.
    EXPECT_TRUE(F().Execute(F().ASaveAs) == loaded && !F().Execute(F().ANewFile));
  }
}

TEST_F(EditorTest, OpenSaveAsAndSaveFollowTheDocumentsFile) {
  const QString doc = WriteDocument("funlight.pat", TwoFunlights), bmp = TempPath("x.bmp"),
                other = TempPath("second.pat");
  DocSupport::WriteBytes(bmp.toStdString(), {'B', 'M'});
  Start();
  // The cancelled dialog did nothing; the file that is no funlight file changed nothing.
  dialogs_.OpenAnswers = {QString(), doc, bmp};
  dialogs_.SaveAnswers = {QString(), other, TempPath("no/such/folder/x.pat")};
  for (int i = 0; i < 3; ++i) F().AOpenFile->trigger();
  EXPECT_EQ(F().windowTitle(), "Nerevy's Glowsmith 2.2.8 beta - [funlight.pat]");
  for (int i = 0; i < 2; ++i) F().ASaveAs->trigger();
  EXPECT_EQ(F().windowTitle(), "Nerevy's Glowsmith 2.2.8 beta - [second.pat]");
  EXPECT_EQ(ReadBytes(other), ReadBytes(doc));
  FunList[0].Frames[0].Duration = 777;
  F().ASave->trigger();
  EXPECT_NE(ReadBytes(other), ReadBytes(doc));
  EXPECT_EQ(ReadBytes(bmp), (std::vector<uint8_t>{'B', 'M'}));
  F().ASaveAs->trigger();
  ASSERT_EQ(dialogs_.Messages.size(), 2u);
  EXPECT_TRUE(dialogs_.Messages[0].Title == "Nerevy's Glowsmith 2.2.8 beta - [funlight.pat]" &&
              dialogs_.Messages[1].Icon == TMsgIcon::Error);
}

TEST_F(EditorTest, WindowsOpenFixedInTheMiddleAndTheirButtonsWork) {
  qputenv("XDG_DATA_HOME", TempPath("data").toUtf8());
  Start();
  F().AShowAbout->trigger();
  emit About().Label3->linkActivated(AboutForm::MakerUrl);
  EXPECT_TRUE(dialogs_.ModalShown == std::vector<QString>{"AForm"} &&
              About().Label2->text() == "2.2.8 beta" &&
              dialogs_.Urls.front() == AboutForm::MakerUrl);
  EXPECT_EQ(F().Button11->text() + F().Button12->text(), "▲▼");  // not the actions' captions
  // The grids' shapes, set in code: columns, rows, fixed rows, editing, the second cell's box.
  std::vector<std::vector<int>> grids;
  for (TGrid* g : {F().FrameGrid, F().EditGrid, F().SlotGrid}) {
    const QRect r = g->CellRect(0, 1);
    grids.push_back({g->ColCount(), g->RowCount(), g->FixedRows(), g->Editing(), r.x(), r.y(),
                     r.width(), r.height()});
  }
  EXPECT_EQ(grids, (std::vector<std::vector<int>>{{50, 2, 1, 1, 2, 27, 36, 24},
                                                  {50, 7, 0, 0, 2, 27, 36, 24},
                                                  {1, 7, 0, 0, 0, 25, 81, 24}}));
  const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
  for (QWidget* w : std::initializer_list<QWidget*>{&F(), &About(), forms_->SForm.get()}) {
    w->show();
    EXPECT_EQ(w->minimumSize(), w->maximumSize()) << w->objectName().toStdString();
    EXPECT_LE((w->frameGeometry().center() - middle).manhattanLength(), 2);
  }
  F().Button14->click();
  QFile entry(TempPath("data/applications/glowsmith.desktop"));
  EXPECT_TRUE(entry.open(QIODevice::ReadOnly) &&
              entry.readAll().contains("MimeType=application/x-motorola-funlight;"));
  qputenv("XDG_DATA_HOME", TempPath("data/applications/glowsmith.desktop").toUtf8());
  F().Button14->click();
  qunsetenv("XDG_DATA_HOME");
  EXPECT_TRUE(OnlyMessage().startsWith("Failed to create key"));
}

TEST(DesktopEntry, ExecQuotesTheProgramThenEscapesTheString) {
  const std::pair<std::string, std::string> cases[] = {
      {"/opt/My Apps/gs", R"("/opt/My Apps/gs" %f)"}, {"/opt/100%/gs", R"("/opt/100%%/gs" %f)"},
      {"/opt/$HOME/gs", R"("/opt/\\$HOME/gs" %f)"},   {"/a\\b/gs", R"("/a\\\\b/gs" %f)"},
      {"/say \"hi\"/gs", R"("/say \\"hi\\"/gs" %f)"}, {"/`id`/gs", R"("/\\`id\\`/gs" %f)"},
      {"/two\nlines/gs", R"("/two\nlines/gs" %f)"}};
  for (const auto& [path, exec] : cases) EXPECT_EQ(DesktopEntryExec(path), exec) << path;
}

TEST_F(EditorTest, CommandLineOfTheBuiltProgram) {
  const std::string dir = TempPath("run").toStdString();
  std::filesystem::create_directories(dir);
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir + "/config"));
  const auto document = ReadBytes(WriteDocument("doc.pat", TwoFunlights));
  for (const char* name : {"x.pat", "-x.pat", "caf\xE9.pat"})  // the last is no valid UTF-8
    WriteFile(dir + "/" + name, std::string(document.begin(), document.end()));
  WriteFile(dir + "/notes.txt", "hi");
  const std::pair<std::string, std::string> cases[] = {
      // A message box during start-up: its text goes to standard error, and the exit code is 1.
      {"--screenshot s.png missing.pat; echo $?", "glowsmith: File not found\n1\n"},
      {"--screenshot s.png notes.txt; echo $?",
       "glowsmith: \"notes.txt\" is not a funlight file.\n1\n"},
      {"--screenshot s.png 'caf\xE9.pat' && test -s s.png; echo $?", "0\n"},
      {"--screenshot s.png -style fusion x.pat && test -s s.png; echo $?", "0\n"},
      {"--screenshot s.png -- -x.pat && test -s s.png; echo $?", "0\n"},
      {"--verbose x.pat; echo $?", "glowsmith: unknown option --verbose\nUsage: glowsmith"},
      {"--simulate-phone none --screenshot s.png; echo $?",
       "glowsmith: --simulate-phone none: No such folder: none\n2\n"},
      {"--version; echo $?", "Glowsmith 2.2.8 beta\n0\n"},
      // The JSON conversions run before Qt, to the end, and give their own messages.
      {"--to-json x.pat >x.json; echo $?; head -c 15 x.json", "0\n{\n  \"funlights\""},
      {"--to-json notes.txt; echo $?", "glowsmith: notes.txt: not a funlight file\n2\n"},
      {"--from-json notes.txt x.pat; echo $?; cmp x.pat ./-x.pat && echo kept",
       "glowsmith: notes.txt: line 1, column 1: syntax error while parsing value - invalid "
       "literal; last read: 'h'\n2\nkept\n"}};
  // The arguments are a shell's words, so that names may be any bytes.
  for (const auto& [args, expected] : cases) {
    std::filesystem::remove(dir + "/s.png");
    const std::string command =
        "cd '" + dir + "' && { timeout 15 '" GLOWSMITH_PROGRAM "' " + args +
        "; } 2>&1 | grep -v '^QStandardPaths\\|propagateSizeHints' >out.txt";
    ASSERT_NE(std::system(command.c_str()), -1);
    const auto bytes = DocSupport::ReadBytes(dir + "/out.txt");
    const std::string out(bytes.begin(), bytes.end());
    EXPECT_EQ(out.substr(0, expected.size()), expected) << args << ":\n" << out;
  }
  // Against a simulated phone, the picture shows the phone page connected: green text, no red.
  ASSERT_EQ(std::system("cd '" + QByteArray::fromStdString(dir) +
                        "' && '" GLOWSMITH_PROGRAM "' --simulate-phone '" GLOWSMITH_SAMPLES
                        "' --screenshot p.png 2>/dev/null"),
            0);
  const QImage shot(QString::fromStdString(dir + "/p.png"));
  int green = 0, red = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      green += c.red() < 40 && std::abs(c.green() - 128) < 40 && c.blue() < 40;
      red += c.red() > 195 && c.green() < 60 && c.blue() < 60;
    }
  EXPECT_TRUE(green >= 20 && red == 0) << green << " green, " << red << " red";
  qunsetenv("XDG_CONFIG_HOME");
  std::filesystem::remove_all(dir);  // a name that is no text is beyond QTemporaryDir
}
