#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <deque>
#include <filesystem>

#include "DocSupport.h"
#include "Program.h"

// Dialogs that answer from a script and remember every message box.
class TScriptedDialogs : public IDialogs {
 public:
  struct TShown {
    QString Title, Text;
    TMsgIcon Icon;
  };
  std::vector<TShown> Messages;
  // Paths the file dialogs answer with, in turn; a null QString is a cancelled dialog.
  std::deque<QString> OpenAnswers, SaveAnswers;
  std::deque<int> ModalAnswers;
  std::vector<QString> ModalShown;  // object names of the dialogs shown
  std::vector<QString> Urls;

  void ShowMessage(QWidget*, const QString& title, const QString& text, TMsgIcon icon) override {
    Messages.push_back({title, text, icon});
  }
  std::optional<QString> OpenFileName(QWidget*) override { return Pop(OpenAnswers); }
  std::optional<QString> SaveFileName(QWidget*) override { return Pop(SaveAnswers); }
  int ShowModal(QDialog* dialog) override;
  void OpenUrl(const QString& url) override { Urls.push_back(url); }

 private:
  static std::optional<QString> Pop(std::deque<QString>& q);
};

// Resets the document and window globals so that every test starts like a fresh run.
void ResetGlobals();

// A fresh program run: the three windows created with scripted dialogs.
class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Starts the program; args are the command-line arguments after the program name.
  void Start(const QStringList& args = {});
  Unit1::TMForm& Form() { return *forms_->MForm; }
  TAForm& About() { return *forms_->AForm; }
  QString TempPath(const QString& name) const { return temp_.filePath(name); }
  // Writes a document built by the caller to a file in the temp folder.
  QString WriteDocument(const QString& name, const std::vector<UFunStruct::TFunlight>& funlights);
  static std::vector<uint8_t> ReadBytes(const QString& path) {
    return DocSupport::ReadBytes(path.toStdString());
  }
  static void WriteBytes(const QString& path, const std::vector<uint8_t>& bytes) {
    DocSupport::WriteBytes(path.toStdString(), bytes);
  }
  UFunStruct::TFunlight& Cur() { return UFunStruct::FunList[UFunStruct::CurFun]; }
  // Opens the document at start-up and shows the window.
  void OpenDocument(const std::vector<UFunStruct::TFunlight>& funlights);
  // Makes a colour-grid cell current as a click does.
  void SelectCell(int col, int row);
  bool TabShown(QTabWidget* pages, QWidget* page) {
    return pages->isTabVisible(pages->indexOf(page));
  }
  // Writes a file under services_.AppDir, making its folders.
  void WriteAppFile(const std::string& relative, const std::string& bytes);
  // A data folder of our own under the temp folder: the profile and the language `name`, the
  // element and funlight names written in code page 1251, as the language says.
  void UseOwnData(const std::string& name, const std::string& colours, const std::string& names);
  // Chooses a profile and a language as the setup page does, with "[club]" as clublight marker.
  void LoadProfile(const std::string& profile, const std::string& language,
                   const std::string& langExt = "eng");
  // Opens a document through the Open command.
  void OpenThroughMenu(const std::vector<UFunStruct::TFunlight>& funlights);
  // A program folder of our own: the shipped profiles, skins and pictures linked in, copies of
  // the shipped element names and (if asked) languages, so that a test can add files.
  std::filesystem::path UseShippedAppDir(bool shippedLanguages = true);

  TScriptedDialogs dialogs_;
  QTemporaryDir temp_;
  Unit1::TMFormServices services_;
  std::unique_ptr<TForms> forms_;
};

inline UFunStruct::TFunlight NormalFunlight(uint8_t id, std::vector<UFunStruct::TFrame> frames,
                                            bool repeating = false) {
  return DocSupport::Normal(id, 0, repeating, std::move(frames));
}
using DocSupport::Cell;
using DocSupport::Frame;
inline UFunStruct::TClubFrame ClubRow(uint8_t element, uint16_t upper, uint16_t lower,
                                      std::vector<UFunStruct::TClubCell> cells) {
  return DocSupport::Row(element, upper, lower, std::move(cells));
}
// A clublight whose rows all hold as many steps as the first.
UFunStruct::TFunlight Clublight(uint8_t id, std::vector<UFunStruct::TClubFrame> rows,
                                uint16_t head = 0);
// "element:R,G,B" for each cell of a frame, in order; and so for every frame.
std::string Cells(const UFunStruct::TFrame& frame);
std::vector<std::string> AllCells(const UFunStruct::TFunlight& f);
// A Windows colour (red in the low byte) as the screen shows it.
inline QColor ScreenColour(uint32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
// The texts of a list's or a combo box's items, in order.
QStringList Items(const QListWidget* list);
QStringList Items(const QComboBox* box);
// Picks an item of a combo box as the user does, so the choice runs through the window's handler.
void Choose(QComboBox* box, const QString& text);
// The folder of the test program, where the build puts the shipped data.
inline std::filesystem::path ShippedDir() {
  return QCoreApplication::applicationDirPath().toStdString();
}
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
