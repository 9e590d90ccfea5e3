#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "Program.h"
#include "UFunStruct.h"

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
  static std::optional<QString> Pop(std::deque<QString>& q) {
    if (q.empty()) return std::nullopt;
    const QString v = q.front();
    q.pop_front();
    if (v.isNull()) return std::nullopt;
    return v;
  }
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
  static std::vector<uint8_t> ReadBytes(const QString& path);
  static void WriteBytes(const QString& path, const std::vector<uint8_t>& bytes);

  TScriptedDialogs dialogs_;
  QTemporaryDir temp_;
  Unit1::TMFormServices services_;
  std::unique_ptr<TForms> forms_;
};

UFunStruct::TFunlight NormalFunlight(uint8_t id, std::vector<UFunStruct::TFrame> frames,
                                     bool repeating = false);
UFunStruct::TFrame Frame(uint16_t duration, std::vector<UFunStruct::TFrameCell> cells);
