// Language files: every text of the windows comes from the chosen one.
#include <QMessageBox>
#include <map>

#include "EditorSupport.h"
#include "IniFile.h"

TEST_F(EditorTest, EveryKeyReachesTheWindowsAndAMissingOneEmptiesItsText) {
  const std::filesystem::path app = UseShippedAppDir();
  Start();
  std::map<std::string, std::string> sections = {{"Language", "Ext=all\n"}};
  for (const Unit1::TLanguageKey& key : F().LanguageKeys()) {
    for (const char* language : {"English", "Russian"})  // the shipped files hold every key
      EXPECT_NE(TIniFile(app / "Languages" / (std::string(language) + ".lng"))
                    .ReadString(key.Section, key.Key, "\x01"),
                "\x01")
          << language << ": [" << key.Section << "] " << key.Key;
    if (key.Key != std::string("Ext"))
      sections[key.Section] += std::string(key.Key) + "=" + key.Key + " text\n";
  }
  std::string every;
  for (const auto& [name, keys] : sections) every += "[" + name + "]\n" + keys;
  WriteFile(app / "Languages" / "Every.lng", every);
  WriteFile(app / "Languages" / "About.all", "About line 1\r\nAbout line 2\r\n");
  WriteFile(app / "Languages" / "Bare.lng", "[Language]\nExt=eng\nLocale=xx\n");
  F().Execute(F().ASearchLangs);
  Choose(F().ComboBox1, "Every");
  ASSERT_TRUE(dialogs_.Messages.empty());
  // Every text the windows show, and the profile's message texts.
  QStringList shown;
  for (QWidget* w : std::initializer_list<QWidget*>{&F(), &About(), forms_->SForm.get()}) {
    shown << w->windowTitle();
    for (QObject* o : w->findChildren<QObject*>()) {
      for (const char* p : {"text", "title"}) shown << o->property(p).toString();
      if (auto* tabs = qobject_cast<QTabWidget*>(o))
        for (int i = 0; i < tabs->count(); ++i) shown << tabs->tabText(i);
    }
  }
  for (const std::string* s :
       {&Profile.ClubMarker, &Profile.PlayText, &Profile.StopText, &Profile.ConnectedText,
        &Profile.NoPhoneFileMsg, &Profile.NotConnectedMsg, &Profile.LastFrameWarning})
    shown << QString::fromStdString(*s);
  for (const Unit1::TLanguageKey& key : F().LanguageKeys())
    if (key.Key != std::string("Ext") && !shown.contains(QString(key.Key) + " text") &&
        key.Default == std::string())
      ADD_FAILURE() << "[" << key.Section << "] " << key.Key << " shows nowhere";
  EXPECT_EQ(About().Memo1->toPlainText(), "About line 1\nAbout line 2");
  // A language without the keys: the captions go empty, the messages fall back to English.
  Choose(F().ComboBox1, "Bare");
  EXPECT_EQ(F().AOpenFile->text() + F().PageControl1->tabText(0), "");
  F().Guard([] { throw std::bad_alloc(); });
  Choose(F().ComboBox1, "Russian");  // written in code page 1251
  EXPECT_EQ(F().PageControl1->tabText(0), "Настройки");
  F().Guard([] { throw std::bad_alloc(); });
  ASSERT_EQ(dialogs_.Messages.size(), 2u);
  EXPECT_EQ(dialogs_.Messages[0].Text + dialogs_.Messages[1].Text,
            "Out of memoryНедостаточно памяти");
  // Qt's own texts follow the locale; no key, or no translation for it, leaves Qt's English.
  for (const auto& [language, cancel] : {std::pair("Russian", "Отмена"),
                                         {"English", "Cancel"},
                                         {"Russian", "Отмена"},
                                         {"Bare", "Cancel"},
                                         {"Russian", "Отмена"},
                                         {"Every", "Cancel"}}) {
    Choose(F().ComboBox1, language);
    QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), cancel) << language;
  }
  Choose(F().ComboBox1, "Russian");  // the file dialogs' filter too
  EXPECT_EQ(PatFilter, QString::fromUtf8("Все файлы фанлайтов (*.pat);;Все файлы (*)"));
  EXPECT_EQ(dialogs_.Messages.size(), 2u);
}
