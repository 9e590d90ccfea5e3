#include "EditorSupport.h"

#include "OptionsStore.h"

static std::unique_ptr<TIniOptionsStore> g_options;

void ResetGlobals() {
  DocSupport::ResetDocument();
  Unit1::DocActive = Unit1::Updating = Unit1::PhoneFileFound = Unit1::PendingOpen =
      Unit1::PendingSave = Unit1::ClublightsChanged = Unit1::C380Changed = false;
  Unit1::ClublightsByte = Unit1::C380Byte = 0;
  Profile = TProfile{};
}

void EditorTest::SetUp() {
  ASSERT_TRUE(temp_.isValid());
  ResetGlobals();
  g_options = std::make_unique<TIniOptionsStore>(temp_.filePath("options.ini").toStdString());
  services_.Dialogs = &dialogs_;
  services_.Options = g_options.get();
}

void EditorTest::TearDown() {
  forms_.reset();
  g_options.reset();
  ResetGlobals();
}

void EditorTest::Start(const QStringList& args) {
  services_.Arguments.clear();
  for (const QString& arg : args)
    services_.Arguments.push_back(QFile::encodeName(arg).toStdString());
  forms_ = CreateForms(services_);
}

QString EditorTest::WriteDocument(const QString& name, const std::vector<TFunlight>& funlights) {
  const auto saved = std::pair(FunList, FunFile);
  DocSupport::SetDocument(funlights);
  WritePat(TempPath(name).toStdString());
  std::tie(FunList, FunFile) = saved;
  return TempPath(name);
}

void EditorTest::OpenDocument(const std::vector<TFunlight>& funlights) {
  Start({WriteDocument("doc.pat", funlights)});
  ASSERT_TRUE(Unit1::DocActive);
  F().show();
}

void EditorTest::SelectCell(int col, int row) {
  Click(F().EditGrid, col, row);
  ASSERT_EQ(std::pair(F().EditGrid->Col(), F().EditGrid->Row()), std::pair(col, row));
}

void EditorTest::WriteAppFile(const std::string& relative, const std::string& bytes) {
  const auto path = std::filesystem::path(services_.AppDir.toStdString()) / relative;
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path, bytes);
}

QString EditorTest::OnlyMessage(TMsgIcon icon) {
  const auto m = std::exchange(dialogs_.Messages, {});
  return m.size() == 1 && m[0].Icon == icon ? m[0].Text : "(" + QString::number(m.size()) + ")";
}

std::filesystem::path EditorTest::UseShippedAppDir() {
  namespace fs = std::filesystem;
  const fs::path app = TempPath("app").toStdString(),
                 shipped = QCoreApplication::applicationDirPath().toStdString();
  fs::create_directories(app / "Profiles");
  for (const fs::directory_entry& entry : fs::directory_iterator(shipped / "Profiles"))
    if (entry.path().filename() != "Langs")
      fs::create_symlink(entry.path(), app / "Profiles" / entry.path().filename());
  fs::copy(shipped / "Profiles" / "Langs", app / "Profiles" / "Langs");
  fs::copy(shipped / "Languages", app / "Languages");
  services_.AppDir = QString::fromStdString(app.string());
  return app;
}

std::vector<std::string> AllCells(const TFunlight& f) {
  std::vector<std::string> out;
  for (const TFrame& frame : f.Frames) {
    EXPECT_EQ(frame.CellCount, frame.Cells.size());
    std::ostringstream s;
    for (const TFrameCell& c : frame.Cells)
      s << (s.tellp() > 0 ? " " : "") << +c.Element << ':' << +c.R << ',' << +c.G << ',' << +c.B;
    out.push_back(s.str());
  }
  return out;
}

void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Glowsmith 2");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
