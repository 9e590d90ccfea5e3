#include "EditorSupport.h"

#include <QTest>
#include <fstream>

#include "OptionsStore.h"
#include "Profile.h"

static std::unique_ptr<TIniOptionsStore> g_options;

std::optional<QString> TScriptedDialogs::Pop(std::deque<QString>& q) {
  if (q.empty()) return std::nullopt;
  const QString v = q.front();
  q.pop_front();
  return v.isNull() ? std::nullopt : std::optional<QString>(v);
}

int TScriptedDialogs::ShowModal(QDialog* dialog) {
  ModalShown.push_back(dialog->objectName());
  const int r = ModalAnswers.empty() ? mrCancel : ModalAnswers.front();
  if (!ModalAnswers.empty()) ModalAnswers.pop_front();
  return r;
}

void ResetGlobals() {
  using namespace UFunStruct;
  FunList.clear();
  FunFile = TFunFile{};
  CurFun = SelCol = SelCell = SelElement = CopyTarget = 0;
  EmptyFlag = Unit1::DocActive = Unit1::Updating = Unit1::PhoneFileFound = Unit1::PendingOpen =
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

QString EditorTest::WriteDocument(const QString& name,
                                  const std::vector<UFunStruct::TFunlight>& funlights) {
  using namespace UFunStruct;
  const auto saved = std::pair(FunList, FunFile);
  FunList = funlights;
  FunFile.Count = static_cast<uint8_t>(funlights.size());
  WritePat(TempPath(name).toStdString());
  std::tie(FunList, FunFile) = saved;
  return TempPath(name);
}

void EditorTest::OpenDocument(const std::vector<UFunStruct::TFunlight>& funlights) {
  Start({WriteDocument("doc.pat", funlights)});
  ASSERT_TRUE(Unit1::DocActive);
  Form().show();
}

void EditorTest::SelectCell(int col, int row) {
  QTest::mouseClick(Form().EditGrid, Qt::LeftButton, {},
                    Form().EditGrid->CellRect(col, row).center());
  ASSERT_EQ(Form().EditGrid->Col(), col);
  ASSERT_EQ(Form().EditGrid->Row(), row);
}

void EditorTest::WriteAppFile(const std::string& relative, const std::string& bytes) {
  const auto path = std::filesystem::path(services_.AppDir.toStdString()) / relative;
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path, bytes);
}

void EditorTest::UseOwnData(const std::string& name, const std::string& colours,
                            const std::string& names) {
  services_.AppDir = TempPath("app");
  WriteAppFile("Profiles/" + name + ".prof", colours);
  WriteAppFile("Profiles/Langs/" + name + ".eng", names);
  WriteAppFile("Languages/" + name + ".lng", "[Language]\nExt=eng\nCodepage=1251\n");
}

void EditorTest::LoadProfile(const std::string& profile, const std::string& language,
                             const std::string& langExt) {
  Profile.ProfileName = profile;
  Profile.Language = language;
  Profile.LangExt = langExt;
  Profile.ClubMarker = "[club]";
  Form().Execute(Form().ALoadProfile);
  Form().Execute(Form().AUpdateSlots);
}

void EditorTest::OpenThroughMenu(const std::vector<UFunStruct::TFunlight>& funlights) {
  dialogs_.OpenAnswers.push_back(WriteDocument("doc.pat", funlights));
  ASSERT_TRUE(Form().Execute(Form().AOpenFile));
}

std::filesystem::path EditorTest::UseShippedAppDir(bool shippedLanguages) {
  namespace fs = std::filesystem;
  const fs::path app = TempPath("app").toStdString();
  fs::create_directories(app / "Profiles");
  for (const fs::directory_entry& entry : fs::directory_iterator(ShippedDir() / "Profiles")) {
    if (entry.path().filename() != "Langs")
      fs::create_symlink(entry.path(), app / "Profiles" / entry.path().filename());
  }
  fs::copy(ShippedDir() / "Profiles" / "Langs", app / "Profiles" / "Langs");
  fs::create_directories(app / "Languages");
  if (shippedLanguages) fs::copy(ShippedDir() / "Languages", app / "Languages");
  services_.AppDir = QString::fromStdString(app.string());
  return app;
}

UFunStruct::TFunlight Clublight(uint8_t id, std::vector<UFunStruct::TClubFrame> rows,
                                uint16_t head) {
  UFunStruct::TFunlight f = DocSupport::Club(id, std::move(rows));
  f.HeadValue = head;
  return f;
}

std::string Cells(const UFunStruct::TFrame& frame) {
  std::string s;
  EXPECT_EQ(frame.CellCount, frame.Cells.size());
  for (const UFunStruct::TFrameCell& c : frame.Cells)
    s += (s.empty() ? "" : " ") + std::to_string(c.Element) + ':' + std::to_string(c.R) + ',' +
         std::to_string(c.G) + ',' + std::to_string(c.B);
  return s;
}

std::vector<std::string> AllCells(const UFunStruct::TFunlight& f) {
  std::vector<std::string> out;
  for (const UFunStruct::TFrame& frame : f.Frames) out.push_back(Cells(frame));
  return out;
}

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

void Choose(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  box->setCurrentIndex(index);
  emit box->activated(index);
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}
