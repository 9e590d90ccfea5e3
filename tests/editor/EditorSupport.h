#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <deque>
#include <filesystem>
#include <functional>

#include "DocSupport.h"
#include "Profile.h"
#include "Program.h"

using namespace UFunStruct;
using Unit1::TMForm;

// Scripted dialogs: a null QString answer is a cancelled dialog.
class TScriptedDialogs : public IDialogs {
 public:
  struct TShown {
    QString Title, Text;
    TMsgIcon Icon;
  };
  std::vector<TShown> Messages;
  std::deque<QString> OpenAnswers, SaveAnswers;
  std::deque<int> ModalAnswers;
  std::vector<QString> ModalShown, Urls;

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

void ResetGlobals();

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void Start(const QStringList& args = {});
  Unit1::TMForm& Form() { return *forms_->MForm; }
  TAForm& About() { return *forms_->AForm; }
  QString TempPath(const QString& name) const { return temp_.filePath(name); }
  QString WriteDocument(const QString& name, const std::vector<TFunlight>& funlights);
  static auto ReadBytes(const QString& p) { return DocSupport::ReadBytes(p.toStdString()); }
  bool TabShown(QTabWidget* t, QWidget* w) { return t->isTabVisible(t->indexOf(w)); }
  TFunlight& Cur() { return FunList[CurFun]; }
  void OpenDocument(const std::vector<TFunlight>& funlights);
  void SelectCell(int col, int row);
  void WriteAppFile(const std::string& relative, const std::string& bytes);
  // A program folder with the shipped profiles and languages.
  std::filesystem::path UseShippedAppDir();

  TScriptedDialogs dialogs_;
  QTemporaryDir temp_;
  Unit1::TMFormServices services_;
  std::unique_ptr<TForms> forms_;
};

using DocSupport::Cell;
using DocSupport::Club;
using DocSupport::Frame;
using DocSupport::Normal;
using DocSupport::Row;
// Each frame's cells as "element:R,G,B ...".
std::vector<std::string> AllCells(const TFunlight& f);
inline QColor ScreenColour(uint32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, c >> 16);
}
QStringList Items(const QListWidget* list);
void Choose(QComboBox* box, const QString& text);
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
