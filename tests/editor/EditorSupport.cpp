#include "EditorSupport.h"

#include <QDialog>
#include <fstream>
#include <iterator>

#include "OptionsStore.h"
#include "Profile.h"

namespace {
std::unique_ptr<TIniOptionsStore> g_options;
}

int TScriptedDialogs::ShowModal(QDialog* dialog) {
  ModalShown.push_back(dialog->objectName());
  if (ModalAnswers.empty()) return mrCancel;
  const int r = ModalAnswers.front();
  ModalAnswers.pop_front();
  return r;
}

void ResetGlobals() {
  using namespace UFunStruct;
  FunList.clear();
  FunFile = TFunFile{};
  CurFun = SelCol = SelCell = SelElement = CopyTarget = 0;
  EmptyFlag = false;
  Unit1::DocActive = false;
  Unit1::Updating = false;
  Unit1::PhoneFileFound = Unit1::PendingOpen = Unit1::PendingSave = false;
  Unit1::ClublightsByte = Unit1::C380Byte = 0;
  Unit1::ClublightsChanged = Unit1::C380Changed = false;
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
  services_.Arguments = args;
  forms_ = CreateForms(services_);
}

QString EditorTest::WriteDocument(const QString& name,
                                  const std::vector<UFunStruct::TFunlight>& funlights) {
  using namespace UFunStruct;
  const auto savedList = FunList;
  const auto savedFile = FunFile;
  FunList = funlights;
  FunFile.Count = static_cast<uint8_t>(funlights.size());
  const QString path = TempPath(name);
  WritePat(path.toStdString());
  FunList = savedList;
  FunFile = savedFile;
  return path;
}

std::vector<uint8_t> EditorTest::ReadBytes(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void EditorTest::WriteBytes(const QString& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

UFunStruct::TFunlight NormalFunlight(uint8_t id, std::vector<UFunStruct::TFrame> frames,
                                     bool repeating) {
  UFunStruct::TFunlight f;
  f.FunID = id;
  f.FunType = UFunStruct::NormalType;
  f.FrameCount = static_cast<uint8_t>(frames.size());
  f.Frames = std::move(frames);
  f.Repeating = repeating;
  return f;
}

UFunStruct::TFrame Frame(uint16_t duration, std::vector<UFunStruct::TFrameCell> cells) {
  UFunStruct::TFrame fr;
  fr.Duration = duration;
  fr.CellCount = static_cast<uint8_t>(cells.size());
  fr.Cells = std::move(cells);
  return fr;
}
