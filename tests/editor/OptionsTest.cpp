// The four options that outlive a run: read at start-up, written back at once and on closing.
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <filesystem>
#include <fstream>

#include "AboutForm.h"
#include "EditorSupport.h"
#include "OptionsStore.h"
#include "Profile.h"

using namespace UFunStruct;
namespace fs = std::filesystem;

namespace {

const std::string kSettings = "Software\\Nerevy's\\Glowsmith 2\\Profile settings";
const std::string kOptions = "Software\\Nerevy's\\Glowsmith 2\\Options";
const std::string kFormer = "Software\\Glowsmith 2";
const std::string kFormerSettings = "Software\\Glowsmith 2\\Profile settings";
const std::string kFormerOptions = "Software\\Glowsmith 2\\Options";

// The four stored values as text; a missing value is "<none>".
struct TValues {
  std::string Language, Profile, HideUnusedSlots, OuterDisplayOnInner;
  bool operator==(const TValues&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const TValues& v) {
    return out << "{" << v.Language << ", " << v.Profile << ", " << v.HideUnusedSlots << ", "
               << v.OuterDisplayOnInner << "}";
  }
};

class OptionsTest : public EditorTest {
 protected:
  IOptionsStore& Store() { return *services_.Options; }

  void Put(const std::string& settings, const std::string& options, const TValues& v) {
    Store().WriteString(settings, "Language", v.Language);
    Store().WriteString(settings, "Profile", v.Profile);
    Store().WriteString(options, "HideUnusedSlots", v.HideUnusedSlots);
    Store().WriteString(options, "OuterDisplayOnInner", v.OuterDisplayOnInner);
  }

  TValues Stored(const std::string& settings = kSettings, const std::string& options = kOptions) {
    auto get = [this](const std::string& path, const char* name) {
      return Store().ReadString(path, name).value_or("<none>");
    };
    return {get(settings, "Language"), get(settings, "Profile"), get(options, "HideUnusedSlots"),
            get(options, "OuterDisplayOnInner")};
  }

  // Ends this run as closing the window does.
  void Stop() {
    Form().close();
    forms_.reset();
    ResetGlobals();
    dialogs_.Messages.clear();
  }
  // Starts the next run on the same store.
  void Restart() {
    Stop();
    Start();
  }

  QString SetupTitle() { return Form().PageControl1->tabText(0); }
};

TEST_F(OptionsTest, FirstRunUsesTheDefaultsAndStoresThemAtOnce) {
  Start();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Profile.Language, "English");
  EXPECT_EQ(Profile.ProfileName, "Motorola (All Models)");
  EXPECT_EQ(Form().ComboBox1->currentText(), "English");
  EXPECT_EQ(Form().ComboBox2->currentText(), "Motorola (All Models)");
  EXPECT_TRUE(Form().CheckBox2->isChecked());
  EXPECT_FALSE(Form().CheckBox5->isChecked());
  EXPECT_EQ(SetupTitle(), "Setup");
  EXPECT_EQ(Profile.ElementCount, 7);
  EXPECT_EQ(Form().windowTitle(), "Glowsmith 2.2.8 beta");
  // Written before the window ever closes.
  EXPECT_EQ(Stored(), (TValues{"English", "Motorola (All Models)", "1", "0"}));
  EXPECT_FALSE(Store().KeyExists(kFormer));
}

// The former path is taken once and deleted; with both paths, the former one wins.
TEST_F(OptionsTest, FormerPathIsTakenOnceAndDeleted) {
  for (const bool withCurrent : {false, true}) {
    SCOPED_TRACE(withCurrent ? "both paths" : "former path only");
    if (withCurrent) {
      Stop();
      Put(kSettings, kOptions, {"English", "Motorola E398", "1", "0"});
    }
    Put(kFormerSettings, kFormerOptions, {"Russian", "Motorola V3", "0", "1"});
    Start();
    EXPECT_TRUE(dialogs_.Messages.empty());
    EXPECT_EQ(Form().ComboBox1->currentText(), "Russian");
    EXPECT_EQ(SetupTitle(), "Настройки");
    EXPECT_EQ(Form().ComboBox2->currentText(), "Motorola V3");
    EXPECT_EQ(Profile.ProfileName, "Motorola V3");
    EXPECT_FALSE(Form().CheckBox2->isChecked());
    EXPECT_TRUE(Form().CheckBox5->isChecked());
    EXPECT_FALSE(Store().KeyExists(kFormer));
    EXPECT_EQ(Stored(), (TValues{"Russian", "Motorola V3", "0", "1"}));

    // The next run reads the current path.
    Restart();
    EXPECT_EQ(Form().ComboBox1->currentText(), "Russian");
    EXPECT_EQ(Form().ComboBox2->currentText(), "Motorola V3");
    EXPECT_FALSE(Form().CheckBox2->isChecked());
    EXPECT_TRUE(Form().CheckBox5->isChecked());
  }
}

TEST_F(OptionsTest, FlagValuesReadAsIntegers) {
  struct TCase {
    std::string Stored;
    bool Hide, Outer;  // the boxes' states; "default" cases give checked and unchecked
  };
  const std::vector<TCase> cases = {
      {"1", true, true},   {"0", false, false},   {"2", true, true},
      {"-1", true, true},  {"yes", true, false},  {"", true, false},
      {"$10", true, true}, {"0x0", false, false}, {"1.5", true, false},
  };
  bool first = true;
  for (const TCase& c : cases) {
    SCOPED_TRACE("stored \"" + c.Stored + "\"");
    if (!first) Stop();
    first = false;
    Put(kSettings, kOptions, {"English", "Motorola (All Models)", c.Stored, c.Stored});
    Start();
    EXPECT_EQ(Form().CheckBox2->isChecked(), c.Hide);
    EXPECT_EQ(Form().CheckBox5->isChecked(), c.Outer);
    // Written back as the boxes show them.
    EXPECT_EQ(Stored().HideUnusedSlots, c.Hide ? "1" : "0");
    EXPECT_EQ(Stored().OuterDisplayOnInner, c.Outer ? "1" : "0");
  }
}

TEST_F(OptionsTest, StoredNamesSelectTheirItemsWithoutRegardToCase) {
  Put(kSettings, kOptions, {"rUSSIAN", "motorola (all models)", "1", "0"});
  Start();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().ComboBox1->currentText(), "Russian");
  EXPECT_EQ(Form().ComboBox2->currentText(), "Motorola (All Models)");
  EXPECT_EQ(Profile.Language, "Russian");
  EXPECT_EQ(Profile.ProfileName, "Motorola (All Models)");
  EXPECT_EQ(Profile.ElementCount, 7);
  EXPECT_EQ(Stored(), (TValues{"Russian", "Motorola (All Models)", "1", "0"}));
  Form().close();
  EXPECT_EQ(Stored(), (TValues{"Russian", "Motorola (All Models)", "1", "0"}));
}

TEST_F(OptionsTest, UnknownProfileLeavesNoSelectionAndIsStoredEmpty) {
  Put(kSettings, kOptions, {"English", "Nokia 3310", "1", "0"});
  Start();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().ComboBox2->currentIndex(), -1);
  EXPECT_EQ(Profile.ProfileName, "");
  // The profile of the empty name is not found: six rows, every element absent.
  EXPECT_EQ(Profile.ElementCount, 6);
  for (int n = 1; n <= 7; ++n) EXPECT_TRUE(IsAbsent(n)) << n;
  EXPECT_EQ(Stored().Profile, "");
  // An empty profile stays empty at the next start.
  Restart();
  EXPECT_EQ(Form().ComboBox2->currentIndex(), -1);
  EXPECT_EQ(Stored().Profile, "");
}

TEST_F(OptionsTest, EmptyLanguageIsReplacedOnlyOnTheCurrentPath) {
  Put(kSettings, kOptions, {"", "Motorola (All Models)", "1", "0"});
  Start();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().ComboBox1->currentText(), "English");
  EXPECT_EQ(Stored().Language, "English");
}

TEST_F(OptionsTest, EmptyLanguageOnTheFormerPathStaysEmpty) {
  Put(kFormerSettings, kFormerOptions, {"", "Motorola V3", "1", "0"});
  Start();
  EXPECT_EQ(Form().ComboBox1->currentIndex(), -1);
  EXPECT_EQ(Profile.Language, "");
  EXPECT_FALSE(Store().KeyExists(kFormer));
  // No language, so no about text: the start-up ends there, before the profile.
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_TRUE(dialogs_.Messages[0].Text.startsWith("Cannot open file \""));
  EXPECT_TRUE(dialogs_.Messages[0].Text.contains("Languages/About.\""));
  EXPECT_EQ(Form().ComboBox2->count(), 0);
  // The moved values are not lost with the former key.
  EXPECT_EQ(Stored(), (TValues{"", "Motorola V3", "1", "0"}));
  // Closing stores the empty name; the next start takes English again.
  Restart();
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().ComboBox1->currentText(), "English");
  EXPECT_EQ(Form().ComboBox2->currentText(), "Motorola V3");
  EXPECT_EQ(Stored(), (TValues{"English", "Motorola V3", "1", "0"}));
}

TEST_F(OptionsTest, MissingAboutTextAtStartUpSkipsTheRestAndTheSave) {
  const fs::path app = UseShippedAppDir();
  WriteFile(app / "Languages" / "Klingon.lng", "[Language]\nExt=tlh\n[Strings]\ns9=Qapla\n");
  // A save would change these spellings ("Klingon", "1"), so they show whether one ran.
  Put(kSettings, kOptions, {"klingon", "Motorola V3", "2", "0"});
  Start();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(
      dialogs_.Messages[0].Text.toStdString(),
      "Cannot open file \"" + app.string() + "/Languages/About.tlh\". No such file or directory");
  EXPECT_EQ(SetupTitle(), "Qapla");
  // The profile steps and the save did not run; the caption has no version text.
  EXPECT_EQ(Form().ComboBox2->count(), 0);
  EXPECT_EQ(Profile.ElementCount, 0);
  EXPECT_EQ(Form().windowTitle(), "Glowsmith");
  EXPECT_EQ(Stored(), (TValues{"klingon", "Motorola V3", "2", "0"}));
  // Closing the window stores what the run holds.
  Form().close();
  EXPECT_EQ(Stored(), (TValues{"Klingon", "Motorola V3", "1", "0"}));
}

TEST_F(OptionsTest, MissingSkinPictureAtStartUpSkipsTheSave) {
  const fs::path app = UseShippedAppDir();
  WriteFile(app / "Profiles" / "Bare.prof", "[Colors]\nColor01=-1\n");
  WriteFile(app / "Profiles" / "Bare.skin", "[Skin]\nImages=NoSuchPicture\n");
  Put(kSettings, kOptions, {"russian", "bare", "1", "0"});
  Start();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text.toStdString(),
            "Cannot open file \"" + app.string() +
                "/Profiles/Images/NoSuchPicture.bmp\". No such file or directory");
  // The language and the profile were chosen, the save at the end did not run.
  EXPECT_EQ(SetupTitle(), "Настройки");
  EXPECT_EQ(Form().ComboBox2->currentText(), "Bare");
  EXPECT_EQ(Form().windowTitle(), "Glowsmith");
  EXPECT_EQ(Stored(), (TValues{"russian", "bare", "1", "0"}));
  Form().close();
  EXPECT_EQ(Stored(), (TValues{"Russian", "Bare", "1", "0"}));
}

TEST_F(OptionsTest, FailedFirstStartCreatesNoOptions) {
  const fs::path app = UseShippedAppDir();
  fs::remove(app / "Languages" / "About.eng");
  Start();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_FALSE(Store().KeyExists("Software\\Nerevy's"));
  Form().close();
  EXPECT_EQ(Stored(), (TValues{"English", "Motorola (All Models)", "1", "0"}));
}

TEST_F(OptionsTest, ChoicesTakeEffectAtOnceAndAreStoredByTheNextSave) {
  Start();
  Choose(Form().ComboBox2, "Motorola E398");
  EXPECT_EQ(Profile.ProfileName, "Motorola E398");
  EXPECT_EQ(Profile.ElementCount, 6);
  EXPECT_EQ(Form().EditGrid->RowCount(), 6);
  Choose(Form().ComboBox1, "Russian");
  EXPECT_EQ(SetupTitle(), "Настройки");
  Form().CheckBox2->setChecked(false);
  Form().CheckBox5->setChecked(true);
  EXPECT_EQ(Stored(), (TValues{"English", "Motorola (All Models)", "1", "0"}));
  Form().close();
  EXPECT_EQ(Stored(), (TValues{"Russian", "Motorola E398", "0", "1"}));
}

class ProfileChangeTest : public OptionsTest {
 protected:
  void SetUp() override {
    OptionsTest::SetUp();
    const fs::path app = UseShippedAppDir();
    // Names that only the E398 profile gives.
    WriteFile(app / "Profiles" / "Langs" / "Motorola E398.eng",
              "[Elements]\nElement01=E398 display\nElement06=E398 bottom\n"
              "[Funlights]\nFunlight1=E398 call\n");
  }
};

TEST_F(ProfileChangeTest, WithADocumentOpenTheListGridAndNamesAreRefreshed) {
  const QString doc = WriteDocument(
      "p.pat", {NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}, {7, 0, 15, 0}}), Frame(40, {})})});
  Start({doc});
  ASSERT_TRUE(dialogs_.Messages.empty());
  ASSERT_EQ(Form().ListBox1->item(0)->text(), "(01) Incoming call");
  ASSERT_EQ(Form().EditGrid->RowCount(), 7);
  // Something the funlight refresh puts back.
  Form().FrameGrid->SetCell(0, 1, "stale");

  Choose(Form().ComboBox2, "Motorola E398");
  EXPECT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Form().EditGrid->RowCount(), 6);
  EXPECT_EQ(Form().ListBox1->item(0)->text(), "(01) E398 call");
  EXPECT_EQ(Form().SlotGrid->Cell(0, 0), "E398 display");
  EXPECT_EQ(Form().SlotGrid->Cell(0, 5), "E398 bottom");
  EXPECT_EQ(Form().ComboBox3->itemText(0), "E398 display");
  EXPECT_EQ(Form().FrameGrid->Cell(0, 1), "100");
}

TEST_F(ProfileChangeTest, WithoutADocumentTheElementNamesFollowTheProfile) {
  Put(kSettings, kOptions, {"English", "Motorola E398", "1", "0"});
  Start();
  ASSERT_EQ(Form().SlotGrid->Cell(0, 0), "E398 display");
  ASSERT_EQ(Form().SlotGrid->RowCount(), 6);
  Choose(Form().ComboBox2, "Motorola V3");
  EXPECT_TRUE(dialogs_.Messages.empty());
  const QStringList v3 = {"Main display", "Keypad",       "Nav ring", "Side keys",
                          "Outer disp.",  "Status light", "Logo"};
  EXPECT_EQ(Items(Form().ComboBox3), v3);
  // The next file shows them, the seventh row too.
  OpenThroughMenu({NormalFunlight(1, {Frame(100, {{1, 15, 0, 0}})})});
  ASSERT_EQ(Form().SlotGrid->RowCount(), 7);
  QStringList shown;
  for (int row = 0; row < 7; ++row) shown << Form().SlotGrid->Cell(0, row);
  EXPECT_EQ(shown, v3);
}

// Data files are found as Windows finds them, whatever the case of their names.
TEST_F(OptionsTest, FilesWithAnUpperCaseExtensionAreLoaded) {
  const fs::path app = UseShippedAppDir();
  WriteFile(app / "Languages" / "Shout.LNG", "[Language]\nExt=SHT\n[Strings]\ns9=SETUP\n");
  WriteFile(app / "Languages" / "About.sht", "LOUD\n");
  WriteFile(app / "Profiles" / "Upper.PROF", "[Colors]\nColor01=$FF\nColor07=-1\n");
  WriteFile(app / "Profiles" / "Langs" / "UPPER.sht", "[Elements]\nElement01=FIRST\n");
  WriteFile(app / "Profiles" / "upper.Skin", "[Skin]\nImages=v3\n");
  Start();
  Choose(Form().ComboBox2, "Upper");
  Choose(Form().ComboBox1, "Shout");
  ASSERT_TRUE(dialogs_.Messages.empty()) << dialogs_.Messages[0].Text.toStdString();
  EXPECT_EQ(SetupTitle(), "SETUP");
  EXPECT_EQ(About().Memo1->toPlainText(), "LOUD");
  EXPECT_EQ(Profile.ElementColour[1], 0xFF);
  EXPECT_EQ(Profile.ElementCount, 7);
  EXPECT_EQ(Form().SlotGrid->Cell(0, 0), "FIRST");
  // The profile's own skin, which places no element, and its picture (a missing one is reported).
  for (int n = 1; n <= 7; ++n) EXPECT_FALSE(Profile.Available[n]) << n;
}

}  // namespace
