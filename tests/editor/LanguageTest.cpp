// Language files: every text of the windows, the about text, the element names.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "DXClass.h"
#include "EditorSupport.h"
#include "Profile.h"

using namespace UFunStruct;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString TabTitle(QTabWidget* pages, QWidget* page) {
  return pages->tabText(pages->indexOf(page));
}

// Every key of a language file with the control or field it must reach.
struct TTarget {
  const char* Key;
  std::function<QString()> Shown;
};

class LanguageTest : public EditorTest {
 protected:
  void UseOwnAppDir(bool shippedLanguages = true) { app_ = UseShippedAppDir(shippedLanguages); }

  void WriteLanguage(const std::string& name, const std::string& text) {
    WriteFile(app_ / "Languages" / (name + ".lng"), text);
  }

  QString Slot(int row) { return Form().SlotGrid->Cell(0, row); }
  QString Shown(const std::string& text) { return QString::fromStdString(text); }

  std::vector<TTarget> Targets() {
    Unit1::TMForm& f = Form();
    TSForm& types = *forms_->SForm;
    TAForm& about = About();
    auto text = [](auto* w) { return [w] { return w->text(); }; };
    auto title = [](auto* w) { return [w] { return w->title(); }; };
    auto tab = [](QTabWidget* pages, QWidget* page) {
      return [pages, page] { return TabTitle(pages, page); };
    };
    auto field = [](const std::string& s) { return [&s] { return QString::fromStdString(s); }; };
    return {
        {"Ext", field(Profile.LangExt)},
        {"s1", title(f.File2)},
        {"s2", text(f.ANewFile)},
        {"s3", text(f.AOpenFile)},
        {"s4", text(f.ASave)},
        {"s5", text(f.ASaveAs)},
        {"s6", text(f.AExit)},
        {"s7", title(f.Help1)},
        {"s8", text(f.AShowAbout)},
        {"s8", [&about] { return about.windowTitle(); }},
        {"s9", tab(f.PageControl1, f.Tab1)},
        {"s10", title(f.GroupBox1)},
        {"s15", title(f.GroupBox2)},
        {"s11", text(f.Label1)},
        {"s12", text(f.Label2)},
        {"s13", title(f.GroupBox10)},
        {"s14", text(f.CheckBox2)},
        {"s15", tab(f.PageControl1, f.Tab2)},
        {"s16", tab(f.PageControl2, f.TabSheet3)},
        {"s17", tab(f.PageControl2, f.TabSheet1)},
        {"s18", tab(f.PageControl2, f.TabSheet2)},
        {"s19", text(f.Label7)},
        {"s20", title(f.GroupBox7)},
        {"s21", text(f.RadioButton1)},
        {"s22", text(f.RadioButton2)},
        {"s23", title(f.GroupBox8)},
        {"s24", text(f.Label13)},
        {"s25", text(f.CheckBox1)},
        {"s25", text(f.CheckBox4)},
        {"s26", title(f.GroupBox5)},
        {"s27", text(f.AAddNewFun)},
        {"s27", text(f.Button5)},
        {"s28", text(f.AFunCopy)},
        {"s28", text(f.Button10)},
        {"s29", text(f.ADelFun)},
        {"s29", text(f.Button8)},
        {"s30", text(f.AAddAllFrames)},
        {"s30", text(f.Button9)},
        {"s31", text(f.ADelAllFrames)},
        {"s31", text(f.Button4)},
        {"s32", title(f.GroupBox4)},
        {"s33", text(f.Label8)},
        {"s34", text(f.Label12)},
        {"s35", title(f.GroupBox6)},
        {"s36", text(f.Label3)},
        {"s37", text(f.AMakePrevCol)},
        {"s37", text(f.Button2)},
        {"s38", title(f.GroupBox3)},
        {"s40", text(f.ADelFrame)},
        {"s40", text(f.Button3)},
        {"s39", text(f.AAddNewFrame)},
        {"s39", text(f.Button1)},
        {"s41", text(f.Label6)},
        {"s42", text(f.Label5)},
        {"s43", field(Profile.ClubMarker)},
        {"s44", title(f.GroupBox9)},
        {"s45", text(f.AMakeOn_Off)},
        {"s45", text(f.Button6)},
        {"s46", text(f.AClearAllFrames)},
        {"s46", text(f.Button7)},
        {"s47", text(f.ACopyAllFrames)},
        {"s47", text(f.Button13)},
        {"s48", text(f.Label14)},
        {"s49", text(f.Label16)},
        {"s52", text(f.ARegisterPAT)},
        {"s52", text(f.Button14)},
        {"s50", tab(f.PageControl1, f.Tab3)},
        {"s50", title(f.GroupBox11)},
        {"s51", text(f.Button15)},
        {"s51", field(Profile.PlayText)},
        {"s56", text(f.Label15)},
        {"s57", field(Profile.StopText)},
        {"s58", text(f.CheckBox5)},
        {"s59", text(f.Label19)},
        {"s59", text(f.Label28)},
        {"s60", tab(f.PageControl1, f.Tab5)},
        {"s61", text(f.Button18)},
        {"s62", text(f.Button19)},
        {"s63", title(f.GroupBox13)},
        {"s64", text(f.CheckBox7)},
        {"s65", text(f.CheckBox8)},
        {"s66", text(f.Button20)},
        {"s67", text(f.Button21)},
        {"s69", text(f.Label26)},
        {"s69", field(Profile.DisconnectedText)},
        {"s70", field(Profile.ConnectedText)},
        {"s72", text(f.AOpenFromPhone)},
        {"s73", text(f.ASaveToPhone)},
        {"s74", field(Profile.NotConnectedMsg)},
        {"s75", text(f.Label27)},
        {"s78", field(Profile.NoPhoneFileMsg)},
        {"s80", field(Profile.LastFrameWarning)},
        {"d1", [&types] { return types.windowTitle(); }},
        {"d2", text(types.Label1)},
        {"d3", text(types.Button1)},
        {"d4", text(types.Button2)},
        {"d5", text(types.Button3)},
    };
  }

  // A language file that gives every key s1..s80, d1..d5 its own text "<key> text"; suffix "all".
  static std::string EveryKeyLanguage() {
    std::string text = "[Language]\nExt=all\n\n[Strings]\n";
    for (int n = 1; n <= 80; ++n) {
      const std::string key = std::string("s").append(std::to_string(n));
      text.append(key).append("=").append(key).append(" text\n");
    }
    text += "\n[Dialogs]\n";
    for (int n = 1; n <= 5; ++n) {
      const std::string key = std::string("d").append(std::to_string(n));
      text.append(key).append("=").append(key).append(" text\n");
    }
    return text;
  }

  static std::string Expected(const std::string& key) {
    return key == "Ext" ? "all" : key + " text";
  }

  fs::path app_;
};

TEST_F(LanguageTest, EveryKeySetsEachOfItsTargets) {
  UseOwnAppDir();
  WriteLanguage("Every", EveryKeyLanguage());
  WriteFile(app_ / "Languages" / "About.all", "About line 1\r\nAbout line 2\r\n");
  Start();
  ASSERT_TRUE(dialogs_.Messages.empty());
  Choose(Form().ComboBox1, "Every");
  ASSERT_TRUE(dialogs_.Messages.empty());
  for (const TTarget& t : Targets())
    EXPECT_EQ(t.Shown().toStdString(), Expected(t.Key)) << "key " << t.Key;
  EXPECT_EQ(About().Memo1->toPlainText(), "About line 1\nAbout line 2");
}

TEST_F(LanguageTest, MissingKeysLeaveEveryTextEmpty) {
  UseOwnAppDir();
  WriteLanguage("Every", EveryKeyLanguage());
  WriteLanguage("Bare", "[Language]\nExt=all\n");
  WriteFile(app_ / "Languages" / "About.all", "About\n");
  Start();
  Choose(Form().ComboBox1, "Every");
  Choose(Form().ComboBox1, "Bare");
  ASSERT_TRUE(dialogs_.Messages.empty());
  for (const TTarget& t : Targets()) {
    const std::string expected = std::string(t.Key) == "Ext" ? "all" : "";
    EXPECT_EQ(t.Shown().toStdString(), expected) << "key " << t.Key;
  }
}

TEST_F(LanguageTest, WithoutPlayAndStopTextsPlayCannotStart) {
  UseOwnAppDir();
  std::string english = ReadFile(app_ / "Languages" / "English.lng");
  for (const char* key : {"s51=Play\n", "s57=Stop\n"}) {
    const auto at = english.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    english.erase(at, std::string(key).size());
  }
  WriteLanguage("Silent", english);
  const QString doc = WriteDocument(
      "play.pat", {NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}}), Frame(100, {})}, true)});
  Start({doc});
  Form().ListBox2->setCurrentRow(0);
  ASSERT_TRUE(Form().Button15->isEnabled());
  // With the English texts the button plays and stops.
  Form().Button15->click();
  ASSERT_EQ(Form().Button15->text(), "Stop");
  ASSERT_TRUE(Form().Timer1->Enabled());
  Form().Button15->click();
  ASSERT_EQ(Form().Button15->text(), "Play");
  ASSERT_FALSE(Form().Timer1->Enabled());

  Choose(Form().ComboBox1, "Silent");
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().Button15->text(), "");
  EXPECT_EQ(Profile.PlayText, "");
  EXPECT_EQ(Profile.StopText, "");
  // The other texts of the file are there.
  EXPECT_EQ(TabTitle(Form().PageControl1, Form().Tab1), "Setup");
  EXPECT_EQ(Form().Label15->text(), "Speed");
  // The blank caption reads as "playing": a click only stops, so play never starts.
  Form().Button15->click();
  EXPECT_FALSE(Form().Timer1->Enabled());
  EXPECT_EQ(Form().Button15->text(), "");
  EXPECT_TRUE(Form().PageControl1->isTabEnabled(0));
}

TEST_F(LanguageTest, SectionsAndKeysAreFoundWithoutRegardToCase) {
  UseOwnAppDir();
  WriteLanguage("Shouting",
                "[LANGUAGE]\nEXT=eng\n[strings]\nS1=Datei\nS9=Einrichtung\nS51=Los\n"
                "[DIALOGS]\nD1=Art\n");
  Start();
  Choose(Form().ComboBox1, "Shouting");
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().File2->title(), "Datei");
  EXPECT_EQ(TabTitle(Form().PageControl1, Form().Tab1), "Einrichtung");
  EXPECT_EQ(Profile.PlayText, "Los");
  EXPECT_EQ(forms_->SForm->windowTitle(), "Art");
  EXPECT_EQ(Profile.LangExt, "eng");
  EXPECT_TRUE(About().Memo1->toPlainText().startsWith("Glowsmith 2.2.8 beta"));
}

TEST_F(LanguageTest, TextsAreDecodedInTheCodePageOfTheLanguageFile) {
  // "Настройки" (settings) and "Привет" (hello) in the encodings of the cases below.
  const std::string cp1251 = "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE8";
  const std::string koi8 = "\xEE\xC1\xD3\xD4\xD2\xCF\xCA\xCB\xC9";
  const std::string helloCp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
  const std::string helloKoi8 = "\xF0\xD2\xC9\xD7\xC5\xD4";
  struct TCase {
    const char* Name;
    std::string CodepageLine;
    std::string Title;
    std::string About;
    std::string ExpectedTitle;
    std::string ExpectedAbout;
  };
  const std::vector<TCase> cases = {
      {"Cp1251", "Codepage=1251\n", cp1251, helloCp1251, "Настройки", "Привет"},
      {"Koi8", "Codepage=KOI8-R\n", koi8, helloKoi8, "Настройки", "Привет"},
      // UTF-8 text stays UTF-8 whatever code page is named.
      {"Utf8", "Codepage=1251\n", "Настройки", "Привет", "Настройки", "Привет"},
      // Without a code page 8-bit text is Windows-1252.
      {"Western", "", "Caf\xE9", "\xA9 2005", "Café", "© 2005"},
  };
  UseOwnAppDir();
  for (const TCase& c : cases) {
    const std::string ext = std::string("x") + c.Name;
    WriteLanguage(c.Name, "[Language]\nExt=" + ext + "\n" + c.CodepageLine +
                              "[Strings]\ns9=" + c.Title + "\n");
    WriteFile(app_ / "Languages" / ("About." + ext), c.About + "\r\n");
  }
  Start();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Choose(Form().ComboBox1, c.Name);
    EXPECT_TRUE(dialogs_.Messages.empty());
    EXPECT_EQ(TabTitle(Form().PageControl1, Form().Tab1).toStdString(), c.ExpectedTitle);
    EXPECT_EQ(About().Memo1->toPlainText().toStdString(), c.ExpectedAbout);
  }
}

TEST_F(LanguageTest, ShippedRussianIsDecodedAndNamesTheRussianFiles) {
  Start();
  Choose(Form().ComboBox1, "Russian");
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Profile.Language, "Russian");
  EXPECT_EQ(Profile.LangExt, "rus");
  EXPECT_EQ(TabTitle(Form().PageControl1, Form().Tab1), "Настройки");
  EXPECT_EQ(Form().File2->title(), "Файл");
  EXPECT_EQ(Form().Label1->text(), "Язык:");
  EXPECT_EQ(Form().AOpenFile->text(), "Открыть...");
  EXPECT_EQ(forms_->SForm->windowTitle(), "Тип фанлайта");
  EXPECT_EQ(Profile.ClubMarker, "[Ритм-подсветка]");
  const QStringList about = About().Memo1->toPlainText().split('\n');
  ASSERT_GE(about.size(), 3);
  EXPECT_EQ(about[0], "Glowsmith 2.2.8 beta");
  EXPECT_TRUE(about[2].startsWith("Редактор световых эффектов («фанлайтов»)"))
      << about[2].toStdString();
  // The element names come from the Russian element-name file at once.
  EXPECT_EQ(Slot(0), "Дисплей");
  EXPECT_EQ(Form().ComboBox3->itemText(6), "Логотип");
}

TEST_F(LanguageTest, MissingAboutTextStopsTheLoadBeforeTheElementNames) {
  UseOwnAppDir();
  WriteLanguage("Orphan", "[Language]\nExt=orf\n[Strings]\ns9=Orphaned\ns51=Go\n");
  WriteFile(app_ / "Profiles" / "Langs" / "Motorola (All Models).orf",
            "[Elements]\nElement01=Orphan display\n");
  Start();
  ASSERT_TRUE(dialogs_.Messages.empty());
  const QString englishAbout = About().Memo1->toPlainText();
  ASSERT_EQ(Slot(0), "Display");

  Choose(Form().ComboBox1, "Orphan");
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  const std::string path = app_.string() + "/Languages/About.orf";
  EXPECT_EQ(dialogs_.Messages[0].Text.toStdString(),
            "Cannot open file \"" + path + "\". No such file or directory");
  EXPECT_EQ(dialogs_.Messages[0].Icon, TMsgIcon::Error);
  // The texts read before the about text stay; the about text and element names do not change.
  EXPECT_EQ(TabTitle(Form().PageControl1, Form().Tab1), "Orphaned");
  EXPECT_EQ(Profile.LangExt, "orf");
  EXPECT_EQ(Profile.PlayText, "Go");
  EXPECT_EQ(About().Memo1->toPlainText(), englishAbout);
  EXPECT_EQ(Slot(0), "Display");
  EXPECT_EQ(Form().ComboBox3->itemText(0), "Display");

  // With the about text in place the same choice goes through to the element names.
  WriteFile(path, "Orphan about\n");
  Choose(Form().ComboBox1, "Orphan");
  EXPECT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(About().Memo1->toPlainText(), "Orphan about");
  EXPECT_EQ(Slot(0), "Orphan display");
  EXPECT_EQ(Slot(1), "(02) ...");
}

TEST_F(LanguageTest, FunlightListsFollowTheLanguage) {
  const QString doc =
      WriteDocument("names.pat", {NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}})}),
                                  Clublight(3, {ClubRow(1, 1000, 100, {{15, 0, 0, 0}})})});
  Start({doc});
  ASSERT_TRUE(dialogs_.Messages.empty());
  ASSERT_EQ(Items(Form().ListBox1), (QStringList{"(01) Incoming call", "(03) Alarm [Clublight]"}));
  Form().ListBox1->setCurrentRow(1);

  Choose(Form().ComboBox1, "Russian");
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Slot(0), "Дисплей");
  EXPECT_EQ(Items(Form().ListBox1),
            (QStringList{"(01) Входящий звонок", "(03) Будильник [Ритм-подсветка]"}));
  EXPECT_EQ(Items(Form().ListBox2), QStringList{"(01) Входящий звонок"});
  EXPECT_EQ(Form().ComboBox4->itemText(0), "(01) Входящий звонок");
  // The funlight being edited stays the one chosen.
  EXPECT_EQ(Form().ListBox1->currentRow(), 1);
  EXPECT_EQ(Form().ComboBox4->currentText(), "(03) Будильник");
}

// What the type dialog and the window call a clublight is one term in every shipped language, and
// every element name of every shipped profile fits the names column in the column's font.
TEST_F(LanguageTest, ShippedTextsFitAndAgree) {
  Start();
  ASSERT_TRUE(dialogs_.Messages.empty());
  TGrid* column = Form().SlotGrid;
  const QFontMetrics metrics(column->font());
  // The grid writes a name 2 pixels in from each side of its cell.
  const int room = column->CellRect(0, 0).width() - 4;
  QPushButton* clublight = forms_->SForm->Button2;
  for (const QString& language : Items(Form().ComboBox1)) {
    Choose(Form().ComboBox1, language);
    EXPECT_EQ(clublight->text().toStdString(), Form().RadioButton2->text().toStdString());
    EXPECT_LE(clublight->sizeHint().width(), clublight->width()) << language.toStdString();
    for (const QString& profile : Items(Form().ComboBox2)) {
      Choose(Form().ComboBox2, profile);
      ASSERT_TRUE(dialogs_.Messages.empty());
      // All seven, also a seventh that a six-element profile does not show.
      for (const QString& name : Items(Form().ComboBox3))
        EXPECT_LE(metrics.horizontalAdvance(name), room)
            << language.toStdString() << ", " << profile.toStdString() << ": "
            << name.toStdString();
    }
  }
}

TEST_F(LanguageTest, LanguageListHoldsSortedBaseNames) {
  UseOwnAppDir(false);
  for (const char* name : {"b.lng", "A.lng", "C.old.lng", "D.LNG", "notes.txt", "E.lng.bak"})
    WriteFile(app_ / "Languages" / name, "[Language]\nExt=eng\n");
  Start();
  EXPECT_EQ(Items(Form().ComboBox1), (QStringList{"A", "b", "C", "D"}));
}

TEST_F(LanguageTest, EmptyLanguagesFolderGivesAnEmptyListAndNoLanguage) {
  UseOwnAppDir(false);
  Start();
  EXPECT_EQ(Form().ComboBox1->count(), 0);
  EXPECT_EQ(Form().ComboBox1->currentIndex(), -1);
  EXPECT_EQ(Profile.Language, "");
  EXPECT_EQ(Profile.LangExt, "");
  // Without a language there is no about text either: the start-up reports it and stops.
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(
      dialogs_.Messages[0].Text.toStdString(),
      "Cannot open file \"" + app_.string() + "/Languages/About.\". No such file or directory");
  EXPECT_EQ(Form().ComboBox2->count(), 0);
}

TEST_F(LanguageTest, StatusLabelKeepsTheConnectedStateInTheNewLanguage) {
  Start();
  ASSERT_EQ(Form().Label26->text(), "Disconnected");
  Choose(Form().ComboBox1, "Russian");
  EXPECT_EQ(Form().Label26->text(), "Не подключен");
  // A phone reported connected.
  Form().PhoneStatusChanged(1);
  ASSERT_EQ(Form().Label26->text(), "Подключен");
  Choose(Form().ComboBox1, "English");
  EXPECT_EQ(Form().Label26->text(), "Connected");
  Form().PhoneStatusChanged(0);
  EXPECT_EQ(Form().Label26->text(), "Disconnected");
}

TEST_F(LanguageTest, LanguageTextsAreShownAsPlainText) {
  UseOwnAppDir();
  WriteLanguage("Markup", "[Language]\nExt=eng\n[Strings]\ns11=<b>Bold</b> & <i>more</i>\n");
  Start();
  Choose(Form().ComboBox1, "Markup");
  EXPECT_EQ(Form().Label1->text(), "<b>Bold</b> & <i>more</i>");
  EXPECT_EQ(Form().Label1->textFormat(), Qt::PlainText);
  // The label grows to its text, as the window's auto-sized labels do.
  EXPECT_GE(Form().Label1->width(), Form().Label1->sizeHint().width());
}

TEST_F(LanguageTest, RussianWindowShowsRussianCaptions) {
  const QString doc =
      WriteDocument("shown.pat", {NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}})})});
  Start({doc});
  Form().show();
  Form().PageControl1->setCurrentWidget(Form().Tab1);
  QApplication::processEvents();
  QTabBar* bar = Form().PageControl1->tabBar();
  const int englishEnd = bar->tabRect(bar->count() - 1).right();
  const QImage englishBar = bar->grab().toImage();
  const QImage englishSetup = Form().grab().toImage();
  englishSetup.save("/tmp/glowsmith-setup-english.png");

  Choose(Form().ComboBox1, "Russian");
  ASSERT_TRUE(dialogs_.Messages.empty());
  QApplication::processEvents();
  QStringList tabs;
  for (int i = 0; i < bar->count(); ++i) tabs << bar->tabText(i);
  EXPECT_EQ(tabs,
            (QStringList{"Настройки", "Редактор фанлайтов", "Предпросмотр фанлайта", "Телефон"}));
  const QImage russianBar = bar->grab().toImage();
  const QImage russianSetup = Form().grab().toImage();
  russianSetup.save("/tmp/glowsmith-setup-russian.png");
  // The Russian titles are longer: the tabs reach further and the bar shows other pixels.
  EXPECT_GT(bar->tabRect(bar->count() - 1).right(), englishEnd);
  EXPECT_NE(russianBar, englishBar);
  EXPECT_NE(russianSetup, englishSetup);
  // Each Russian caption fits its control.
  for (QWidget* w : std::initializer_list<QWidget*>{Form().CheckBox2, Form().CheckBox5}) {
    auto* box = static_cast<QCheckBox*>(w);
    EXPECT_LE(box->sizeHint().width(), box->width()) << box->text().toStdString();
  }
}

}  // namespace
