// Languages and options.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTranslator>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "AboutForm.h"
#include "DataFiles.h"
#include "IniFile.h"
#include "OptionsStore.h"
#include "P2KAPI.h"
#include "Profile.h"
#include "TextDecoding.h"
#include "Unit1.h"
#include "Unit2.h"

namespace Unit1 {

namespace {

std::string LanguageFilePath(const std::string& language) {
  return AppDir + "Languages/" + language + ".lng";
}

using TSetter = std::function<void(const QString&)>;

TSetter Caption(QAction* action) {
  return [action](const QString& t) { action->setText(t); };
}
TSetter Title(QMenu* menu) {
  return [menu](const QString& t) { menu->setTitle(t); };
}
TSetter Title(QGroupBox* group) {
  return [group](const QString& t) { group->setTitle(t); };
}
TSetter TabTitle(QTabWidget* pages, QWidget* page) {
  return [pages, page](const QString& t) { pages->setTabText(pages->indexOf(page), t); };
}
TSetter Text(QAbstractButton* button) {
  return [button](const QString& t) {
    if (button) button->setText(t);
  };
}
// Labels grow with a longer text, as the window's auto-sized labels did; a label laid out with a
// fixed box (word-wrapped) keeps it. The text is shown as it is, never as markup.
TSetter Text(QLabel* label) {
  return [label](const QString& t) {
    if (!label) return;
    label->setTextFormat(Qt::PlainText);
    label->setText(t);
    if (!label->wordWrap() && label->sizeHint().width() > label->width())
      label->resize(label->sizeHint().width(), label->height());
  };
}
TSetter Field(std::string& field) {
  return [&field](const QString& t) { field = t.toStdString(); };
}
TSetter WindowTitle(QWidget* window) {
  return [window](const QString& t) {
    if (window) window->setWindowTitle(QString(t).remove('&'));
  };
}

// The whole file as bytes; failing to open or read it is the error the user sees.
std::string ReadTextFile(const std::string& path) {
  std::FILE* file = std::fopen(FindDataFile(path).c_str(), "rb");
  if (!file) {
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(errno));
  }
  std::string bytes;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) {
    throw std::runtime_error("Cannot open file \"" + path + "\". " + std::strerror(error));
  }
  return bytes;
}

// Selects the item equal to the text without regard to case, or nothing when there is none.
void SelectItem(QComboBox* box, const std::string& text) {
  const QString wanted = QString::fromStdString(text);
  int found = -1;
  for (int i = 0; i < box->count() && found < 0; ++i) {
    if (box->itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) found = i;
  }
  box->setCurrentIndex(found);
}

}  // namespace

void TMForm::ASearchLangsExecute() {
  ComboBox1->clear();
  for (const std::string& name : ListBaseNames(AppDir + "Languages", "lng"))
    ComboBox1->addItem(QString::fromStdString(name));
}

std::vector<TLanguageKey> TMForm::LanguageKeys() {
  TAForm* about = AboutForm::AForm;
  TSForm* types = Unit2::SForm;

  // In the order of reading; a key listed twice sets each of its targets.
  std::vector<TLanguageKey> keys = {
      {"Language", "Ext", Field(Profile.LangExt)},
      {"Strings", "s1", Title(File2)},
      {"Strings", "s2", Caption(ANewFile)},
      {"Strings", "s3", Caption(AOpenFile)},
      {"Strings", "s4", Caption(ASave)},
      {"Strings", "s5", Caption(ASaveAs)},
      {"Strings", "s6", Caption(AExit)},
      {"Strings", "s150", Field(Profile.NotFunlightFileMsg), "\"%1\" is not a funlight file."},
      {"Strings", "s151", Field(Profile.FunlightListFullMsg),
       "The file already holds the most funlights it can (255)."},
      {"Strings", "s153", Field(Profile.OutOfMemoryMsg), "Out of memory"},
      {"Strings", "s7", Title(Help1)},
      {"Strings", "s8", Caption(AShowAbout)},
      {"Strings", "s8", WindowTitle(about)},
      {"Strings", "s9", TabTitle(PageControl1, Tab1)},
      {"Strings", "s10", Title(GroupBox1)},
      {"Strings", "s15", Title(GroupBox2)},
      {"Strings", "s11", Text(Label1)},
      {"Strings", "s12", Text(Label2)},
      {"Strings", "s13", Title(GroupBox10)},
      {"Strings", "s14", Text(CheckBox2)},
      {"Strings", "s15", TabTitle(PageControl1, Tab2)},
      {"Strings", "s16", TabTitle(PageControl2, TabSheet3)},
      {"Strings", "s17", TabTitle(PageControl2, TabSheet1)},
      {"Strings", "s18", TabTitle(PageControl2, TabSheet2)},
      {"Strings", "s19", Text(Label7)},
      {"Strings", "s20", Title(GroupBox7)},
      {"Strings", "s21", Text(RadioButton1)},
      {"Strings", "s22", Text(RadioButton2)},
      {"Strings", "s23", Title(GroupBox8)},
      {"Strings", "s24", Text(Label13)},
      {"Strings", "s25", Text(CheckBox1)},
      {"Strings", "s25", Text(CheckBox4)},
      {"Strings", "s26", Title(GroupBox5)},
      {"Strings", "s27", Caption(AAddNewFun)},
      {"Strings", "s28", Caption(AFunCopy)},
      {"Strings", "s29", Caption(ADelFun)},
      {"Strings", "s30", Caption(AAddAllFrames)},
      {"Strings", "s31", Caption(ADelAllFrames)},
      {"Strings", "s32", Title(GroupBox4)},
      {"Strings", "s33", Text(Label8)},
      {"Strings", "s34", Text(Label12)},
      {"Strings", "s35", Title(GroupBox6)},
      {"Strings", "s36", Text(Label3)},
      {"Strings", "s37", Caption(AMakePrevCol)},
      {"Strings", "s38", Title(GroupBox3)},
      {"Strings", "s40", Caption(ADelFrame)},
      {"Strings", "s39", Caption(AAddNewFrame)},
      {"Strings", "s41", Text(Label6)},
      {"Strings", "s42", Text(Label5)},
      {"Strings", "s43", Field(Profile.ClubMarker)},
      {"Strings", "s44", Title(GroupBox9)},
      {"Strings", "s45", Caption(AMakeOn_Off)},
      {"Strings", "s46", Caption(AClearAllFrames)},
      {"Strings", "s47", Caption(ACopyAllFrames)},
      {"Strings", "s48", Text(Label14)},
      {"Strings", "s49", Text(Label16)},
      {"Strings", "s52", Caption(ARegisterPAT)},
      {"Strings", "s50", TabTitle(PageControl1, Tab3)},
      {"Strings", "s50", Title(GroupBox11)},
      {"Strings", "s51", Text(Button15)},
      {"Strings", "s51", Field(Profile.PlayText)},
      {"Strings", "s56", Text(Label15)},
      {"Strings", "s57", Field(Profile.StopText)},
      {"Strings", "s58", Text(CheckBox5)},
      {"Strings", "s59", Text(Label19)},
      {"Strings", "s59", Text(Label28)},
      {"Strings", "s60", TabTitle(PageControl1, Tab5)},
      {"Strings", "s61", Text(Button18)},
      {"Strings", "s62", Text(Button19)},
      {"Strings", "s63", Title(GroupBox13)},
      {"Strings", "s64", Text(CheckBox7)},
      {"Strings", "s65", Text(CheckBox8)},
      {"Strings", "s66", Text(Button20)},
      {"Strings", "s67", Text(Button21)},
      {"Strings", "s69", Text(Label26)},
      {"Strings", "s69", Field(Profile.DisconnectedText)},
      {"Strings", "s70", Field(Profile.ConnectedText)},
      {"Strings", "s72", Caption(AOpenFromPhone)},
      {"Strings", "s73", Caption(ASaveToPhone)},
      {"Strings", "s74", Field(Profile.NotConnectedMsg)},
      {"Strings", "s75", Text(Label27)},
      {"Strings", "s78", Field(Profile.NoPhoneFileMsg)},
      {"Strings", "s80", Field(Profile.LastFrameWarning)},
      {"Strings", "s100", Field(Profile.PhoneReadFailedMsg), "Reading %1 from the phone failed."},
      {"Strings", "s101", Field(Profile.PhoneSaveFailedMsg), "Saving %1 to the phone failed."},
      {"Strings", "s102", Field(Profile.PhoneOptionsReadFailedMsg),
       "The phone settings could not be read."},
      {"Strings", "s103", Field(Profile.PhoneOptionsWriteFailedMsg),
       "The phone settings could not be written."},
      {"Strings", "s104", Field(Profile.PhoneNoAnswerText), "The phone did not answer in time."},
      {"Strings", "s105", Field(Profile.PhoneTransferFailedText),
       "The USB transfer failed. Check the cable and the phone."},
      {"Strings", "s106", Field(Profile.PhoneBadAnswerText),
       "The phone's answer was incomplete or could not be understood."},
      {"Strings", "s107", Field(Profile.PhoneRefusedText), "The phone refused the request."},
      {"Strings", "s108", Field(Profile.PhoneCopyFolderMsg),
       "The folder %1 for the copy of the phone's file is not private: it belongs to another user, "
       "others can open it, or it is a link. Remove it and try again."},
      {"Strings", "s109", Text(NoDriverLabel),
       "No phone can be found: this system has no phone driver. "
       "Try glowsmith --simulate-phone DIR."},
      {"Strings", "s260", Text(NoAccessLabel),
       "The phone was found but may not be opened: install the udev rule "
       "60-glowsmith-phone.rules."},
      {"Strings", "s200", Field(Profile.UndoText), "&Undo"},
      {"Strings", "s201", Field(Profile.RedoText), "&Redo"},
      {"Strings", "s202", Title(Edit1), "&Edit"},
      {"Strings", "s203", Field(Profile.UndoNamedText), "&Undo %1"},
      {"Strings", "s204", Field(Profile.RedoNamedText), "&Redo %1"},
      {"Strings", "s240", Caption(AInsertFrameBefore), "Insert frame before"},
      {"Strings", "s241", Caption(AInsertFrameAfter), "Insert frame after"},
      {"Strings", "s242", Caption(ADuplicateFrame), "Duplicate frame"},
      {"Strings", "s243", Caption(ADeleteColumn), "Delete frame"},
      {"Strings", "s244", Caption(AMoveFrameLeft), "Move frame left"},
      {"Strings", "s245", Caption(AMoveFrameRight), "Move frame right"},
      {"Strings", "s246", Caption(ACopyFrame), "Copy frame"},
      {"Strings", "s247", Caption(APasteFrame), "Paste frame"},
      {"Strings", "s250", Text(CheckBox9), "Ask to save changes"},
      {"Strings", "s251", Field(Profile.AskToSaveMsg),
       "The document has changed. Save the changes?"},
      {"Strings", "s252", Field(Profile.SaveText), "Save"},
      {"Strings", "s253", Field(Profile.DiscardText), "Discard"},
      {"Strings", "s254", Field(Profile.CancelText), "Cancel"},
      {"Strings", "s270", Caption(AExportAnimation), "Export animation..."},
      {"Strings", "s271", Field(Profile.ExportClubMsg),
       "A clublight has no frames to animate; choose a normal funlight."},
      {"Strings", "s272", Field(Profile.ExportFailedMsg),
       "The animation could not be written to %1."},
      {"Strings", "s273", Field(Profile.GifFilterText), "GIF images (*.gif)"},
      {"Strings", "s274", [](const QString& t) { PatFilter = t; },
       "All funlight files (*.pat);;All files (*)"},
      {"Dialogs", "d1", WindowTitle(types)},
      {"Dialogs", "d2", Text(types ? types->Label1 : nullptr)},
      {"Dialogs", "d3", Text(types ? types->Button1 : nullptr)},
      {"Dialogs", "d4", Text(types ? types->Button2 : nullptr)},
      {"Dialogs", "d5", Text(types ? types->Button3 : nullptr)},
  };
  // The names of the edits, for Undo and Redo; the frame commands are named by their captions.
  const std::pair<const char*, const char*> edits[] = {
      {"s210", "Add funlight"},       {"s211", "Copy funlight"},
      {"s212", "Delete funlight"},    {"s213", "Move funlight"},
      {"s214", "Funlight name"},      {"s215", "Funlight type"},
      {"s216", "Start value"},        {"s217", "Repeat"},
      {"s218", "Number of frames"},   {"s219", "Frame duration"},
      {"s220", "Add to frame"},       {"s221", "Remove from frame"},
      {"s222", "Add to all frames"},  {"s223", "Remove from all frames"},
      {"s224", "Clear all frames"},   {"s225", "Copy to element"},
      {"s226", "Rhythm parameter"},   {"s227", "Upper frequency"},
      {"s228", "Lower frequency"},    {"s229", "Colour"},
      {"s230", "Previous colour"},    {"s231", "On / Off"},
      {"s232", "Painting"},           {"s240", "Insert frame before"},
      {"s241", "Insert frame after"}, {"s242", "Duplicate frame"},
      {"s243", "Delete frame"},       {"s244", "Move frame left"},
      {"s245", "Move frame right"},   {"s247", "Paste frame"}};
  for (const auto& [key, name] : edits) {
    std::string& field = Profile.EditNames[key];
    // A caption's access key is no part of the edit's name.
    keys.push_back({"Strings", key,
                    [&field](const QString& t) { field = QString(t).remove('&').toStdString(); },
                    name});
  }
  return keys;
}

void TMForm::AReadLanguageExecute() {
  const TIniFile file(LanguageFilePath(Profile.Language));
  const std::string codepage = file.ReadString("Language", "Codepage", "");
  for (const TLanguageKey& key : LanguageKeys()) {
    key.Set(QString::fromStdString(
        DecodeLanguageText(file.ReadString(key.Section, key.Key, key.Default), codepage)));
  }
  InstallQtTexts(file.ReadString("Language", "Locale", ""));
  if (TSForm* types = Unit2::SForm) types->FitButtons();
  // The status label tells the link's state: with a phone connected it keeps saying so in the new
  // language instead of showing the disconnected text in green.
  if (P2K && P2K->Connected) Label26->setText(QString::fromStdString(Profile.ConnectedText));

  const std::string aboutPath = AppDir + "Languages/About." + Profile.LangExt;
  const std::vector<std::string> lines =
      SplitLines(DecodeLanguageText(ReadTextFile(aboutPath), codepage));
  if (TAForm* about = AboutForm::AForm) {
    QStringList text;
    for (const std::string& line : lines) text << QString::fromStdString(line);
    about->Memo1->setPlainText(text.join('\n'));
  }

  Execute(AUpdateSlots);
  // The funlight names come from the same element-name file.
  if (DocActive) Execute(AUpdateList);
}

// Without a locale, or without Qt's translation for it, Qt speaks its built-in English.
void TMForm::InstallQtTexts(const std::string& locale) {
  if (qtTexts_) QCoreApplication::removeTranslator(qtTexts_.get());
  qtTexts_.reset();
  auto translator = std::make_unique<QTranslator>();
  if (locale.empty() || !translator->load("qtbase_" + QString::fromStdString(locale),
                                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return;
  QCoreApplication::installTranslator(translator.get());
  qtTexts_ = std::move(translator);
}

void TMForm::AReadOptionsExecute() {
  TStoredOptions stored;
  if (IOptionsStore* store = Services().Options) stored = ReadStoredOptions(*store);
  Profile.Language = stored.Language;
  Profile.ProfileName = stored.Profile;
  CheckBox2->setChecked(stored.HideUnusedSlots);
  CheckBox5->setChecked(stored.OuterDisplayOnInner);
  CheckBox9->setChecked(stored.AskToSave);

  // A failure while loading the language or the skin ends the start-up here, before the save.
  Execute(ASearchLangs);
  SelectItem(ComboBox1, Profile.Language);
  ComboBox1Change();

  Execute(ASearchProfiles);
  SelectItem(ComboBox2, Profile.ProfileName);
  ComboBox2Change();

  Execute(ASaveOptions);
}

void TMForm::ASaveOptionsExecute() {
  IOptionsStore* store = Services().Options;
  if (!store) return;
  SaveStoredOptions(*store, {Profile.Language, Profile.ProfileName, CheckBox2->isChecked(),
                             CheckBox5->isChecked(), CheckBox9->isChecked()});
}

void TMForm::ComboBox1Change() {
  Profile.Language = ComboBox1->currentText().toStdString();
  Execute(AReadLanguage);
}

void TMForm::ComboBox2Change() {
  Profile.ProfileName = ComboBox2->currentText().toStdString();
  Execute(ALoadProfilePics);
  if (DocActive) {
    Execute(AUpdateList);
    Execute(AUpdateFunlight);
  }
  // The names follow the profile also with no document open: nothing else reloads them before
  // the next file is shown.
  Execute(AUpdateSlots);
}

}  // namespace Unit1
