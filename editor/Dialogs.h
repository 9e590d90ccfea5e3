#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QWidget;

enum class TMsgIcon { Error, Warning, Information };

// Modal results, numbered as the original forms numbered them.
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrYes = 6, mrNo = 7 };

// Everything modal goes through here, so that the windows run headless and scripted in tests.
class IDialogs {
 public:
  virtual ~IDialogs() = default;
  virtual void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                           TMsgIcon icon) = 0;
  // Open and save dialogs: the chosen path, or nothing when the user cancelled.
  virtual std::optional<QString> OpenFileName(QWidget* parent) = 0;
  virtual std::optional<QString> SaveFileName(QWidget* parent) = 0;
  // A save dialog for another kind of file: its filter and default suffix.
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& /*filter*/,
                                              const QString& /*suffix*/) {
    return SaveFileName(parent);
  }
  // Shows a dialog modally and returns its modal result.
  virtual int ShowModal(QDialog* dialog) = 0;
  virtual void OpenUrl(const QString& url) = 0;
  // Save, Discard or Cancel for a document with unsaved changes; Cancel unless shown.
  enum TSaveAnswer { Save, Discard, Cancel };
  virtual TSaveAnswer AskToSave(QWidget*, const QString& /*title*/, const QString& /*text*/,
                                const QStringList& /*buttons*/) {
    return Cancel;
  }
};

// The real dialogs of the desktop.
class TQtDialogs : public IDialogs {
 public:
  void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                   TMsgIcon icon) override;
  std::optional<QString> OpenFileName(QWidget* parent) override;
  std::optional<QString> SaveFileName(QWidget* parent) override;
  std::optional<QString> SaveFileName(QWidget* parent, const QString& filter,
                                      const QString& suffix) override;
  int ShowModal(QDialog* dialog) override;
  void OpenUrl(const QString& url) override;
  TSaveAnswer AskToSave(QWidget* parent, const QString& title, const QString& text,
                        const QStringList& buttons) override;
};

// Screenshot mode, with nobody to answer: every message text goes to standard error, and nothing
// modal is shown (a modal dialog offscreen would wait for ever).
class TConsoleDialogs : public TQtDialogs {
 public:
  void ShowMessage(QWidget* parent, const QString& title, const QString& text,
                   TMsgIcon icon) override;
  std::optional<QString> OpenFileName(QWidget*) override { return std::nullopt; }
  std::optional<QString> SaveFileName(QWidget*) override { return std::nullopt; }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  int ShowModal(QDialog*) override { return mrCancel; }
  // How many messages were written.
  int Shown = 0;
};

// Places a window of fixed size in the middle of the desktop's work area (the primary screen), as
// the main window and both dialogs open, instead of over their parent.
void CentreOnDesktop(QWidget* window);

// The frame of a fixed-size dialog (a caption with the close box; nothing to minimise or maximise),
// in the middle of the desktop.
void MakeFixedDialog(QDialog* dialog);

// The filter of both file dialogs, in the language of the interface.
inline QString PatFilter = "All funlight files (*.pat);;All files (*)";
