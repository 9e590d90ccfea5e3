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

template <class T>  // the next scripted answer, or the fallback once they are used up

T Next(std::deque<T>& answers, T fallback) {
  if (answers.empty()) return fallback;
  const T v = answers.front();
  answers.pop_front();
  return v;
}

// Scripted dialogs: a null QString answer is a cancelled dialog; Asked counts the save questions.
class TScriptedDialogs : public IDialogs {
 public:
  struct TShown {
    QString Title, Text;
    TMsgIcon Icon;
  };
  std::vector<TShown> Messages;
  std::deque<QString> OpenAnswers, SaveAnswers;
  std::deque<int> ModalAnswers;
  std::deque<TSaveAnswer> Answers;
  std::vector<QString> ModalShown, Urls;
  int Asked = 0;

  void ShowMessage(QWidget*, const QString& title, const QString& text, TMsgIcon icon) override {
    Messages.push_back({title, text, icon});
  }
  std::optional<QString> OpenFileName(QWidget*) override { return Name(OpenAnswers); }
  std::optional<QString> SaveFileName(QWidget*) override { return Name(SaveAnswers); }
  int ShowModal(QDialog* dialog) override {
    ModalShown.push_back(dialog->objectName());
    return Next(ModalAnswers, int{mrCancel});
  }
  void OpenUrl(const QString& url) override { Urls.push_back(url); }
  TSaveAnswer AskToSave(QWidget*, const QString&, const QString&, const QStringList&) override {
    return ++Asked, Next(Answers, Cancel);
  }

 private:
  static std::optional<QString> Name(std::deque<QString>& q) {
    const QString v = Next(q, QString());
    return v.isNull() ? std::nullopt : std::optional<QString>(v);
  }
};

void ResetGlobals();

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void Start(const QStringList& args = {});
  Unit1::TMForm& F() { return *forms_->MForm; }
  TAForm& About() { return *forms_->AForm; }
  QString TempPath(const QString& name) const { return temp_.filePath(name); }
  QString WriteDocument(const QString& name, const std::vector<TFunlight>& funlights);
  static auto ReadBytes(const QString& p) { return DocSupport::ReadBytes(p.toStdString()); }
  bool TabShown(QTabWidget* t, QWidget* w) { return t->isTabVisible(t->indexOf(w)); }
  TFunlight& Cur() { return FunList[CurFun]; }
  void OpenDocument(const std::vector<TFunlight>& funlights);
  void SelectCell(int col, int row);
  void Click(TGrid* grid, int col, int row) {
    QTest::mouseClick(grid, Qt::LeftButton, {}, grid->CellRect(col, row).center());
  }
  void WriteAppFile(const std::string& relative, const std::string& bytes);
  // The text of the only message shown, with that icon, else "(n)" for n messages; clears them.
  QString OnlyMessage(TMsgIcon icon = TMsgIcon::Error);
  // A program folder with the shipped profiles and languages.
  std::filesystem::path UseShippedAppDir();

  TScriptedDialogs dialogs_;
  QTemporaryDir temp_;
  Unit1::TMFormServices services_;
  std::unique_ptr<TForms> forms_;
};

using DocSupport::Cell, DocSupport::Club, DocSupport::Frame, DocSupport::Normal, DocSupport::Row;
// Each frame's cells as "element:R,G,B ...".
std::vector<std::string> AllCells(const TFunlight& f);
inline QColor ScreenColour(uint32_t c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, c >> 16);
}
void Choose(QComboBox* box, const QString& text);
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}
