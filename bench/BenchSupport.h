#pragma once

// The main window of a benchmark, created as the program does on an options store of its own.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <optional>

#include "OptionsStore.h"
#include "Program.h"

// Prints messages to stderr; every other dialog is cancelled.
class TPrintingDialogs : public IDialogs {
 public:
  void ShowMessage(QWidget*, const QString&, const QString& text, TMsgIcon) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
  }
  std::optional<QString> OpenFileName(QWidget*) override { return std::nullopt; }
  std::optional<QString> SaveFileName(QWidget*) override { return std::nullopt; }
  int ShowModal(QDialog*) override { return mrCancel; }
  void OpenUrl(const QString&) override {}
};

class TBenchWindow {
 public:
  TBenchWindow() : Options_(Temp.filePath("options.ini").toStdString()) {
    Services_.Dialogs = &Dialogs_;
    Services_.Options = &Options_;
  }
  // Creates the windows; args are the command-line arguments after the program name.
  Unit1::TMForm& Start(const QStringList& args = {}) {
    for (const QString& arg : args) Services_.Arguments.push_back(arg.toStdString());
    Forms_ = CreateForms(Services_);
    return *Forms_->MForm;
  }

  QTemporaryDir Temp;

 private:
  TPrintingDialogs Dialogs_;
  TIniOptionsStore Options_;
  Unit1::TMFormServices Services_;
  std::unique_ptr<TForms> Forms_;
};
