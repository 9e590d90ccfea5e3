#include "Dialogs.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <cstdio>

void TQtDialogs::ShowMessage(QWidget* parent, const QString& title, const QString& text,
                             TMsgIcon icon) {
  QMessageBox box(icon == TMsgIcon::Error     ? QMessageBox::Critical
                  : icon == TMsgIcon::Warning ? QMessageBox::Warning
                                              : QMessageBox::Information,
                  title, text, QMessageBox::Ok, parent);
  box.exec();
}

std::optional<QString> TQtDialogs::OpenFileName(QWidget* parent) {
  QFileDialog dlg(parent, QString(), QString(), PatFilter);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setDefaultSuffix("pat");
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first();
}

std::optional<QString> TQtDialogs::SaveFileName(QWidget* parent) {
  return SaveFileName(parent, PatFilter, "pat");
}

std::optional<QString> TQtDialogs::SaveFileName(QWidget* parent, const QString& filter,
                                                const QString& suffix) {
  QFileDialog dlg(parent, QString(), QString(), filter);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setDefaultSuffix(suffix);
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first();
}

int TQtDialogs::ShowModal(QDialog* dialog) {
  return dialog->exec();
}

void TQtDialogs::OpenUrl(const QString& url) {
  QDesktopServices::openUrl(QUrl(url));
}

IDialogs::TSaveAnswer TQtDialogs::AskToSave(QWidget* parent, const QString& title,
                                            const QString& text, const QStringList& buttons) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
  QPushButton* save = box.addButton(buttons.value(0), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(buttons.value(1), QMessageBox::DestructiveRole);
  box.addButton(buttons.value(2), QMessageBox::RejectRole);
  box.setDefaultButton(save);
  box.exec();
  return box.clickedButton() == save ? Save : box.clickedButton() == discard ? Discard : Cancel;
}

void TConsoleDialogs::ShowMessage(QWidget*, const QString&, const QString& text, TMsgIcon) {
  ++Shown;
  std::fprintf(stderr, "glowsmith: %s\n", text.toLocal8Bit().constData());
}

void CentreOnDesktop(QWidget* window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window->size(),
                                          screen->availableGeometry()));
}

void MakeFixedDialog(QDialog* dialog) {
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  CentreOnDesktop(dialog);
}
