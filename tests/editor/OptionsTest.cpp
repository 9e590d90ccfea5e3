// The options that outlive a run, as the setup page shows and stores them.
#include "EditorSupport.h"
#include "OptionsStore.h"

// Language, profile, and the two boxes, as stored.
static std::vector<std::string> Stored(IOptionsStore& store) {
  const std::string settings = "Software\\Nerevy's\\Glowsmith 2\\Profile settings",
                    options = "Software\\Nerevy's\\Glowsmith 2\\Options";
  return {store.ReadString(settings, "Language").value_or("-"),
          store.ReadString(settings, "Profile").value_or("-"),
          store.ReadString(options, "HideUnusedSlots").value_or("-"),
          store.ReadString(options, "OuterDisplayOnInner").value_or("-")};
}

TEST_F(EditorTest, OptionsAreShownStoredAtOnceAndOnClosing) {
  const std::vector<std::string> defaults = {"English", "Motorola (All Models)", "1", "0"},
                                 chosen = {"Russian", "Motorola E398", "0", "1"};
  for (const auto* expected : {&defaults, &chosen}) {
    Start();
    EXPECT_EQ(Stored(*services_.Options), *expected);
    EXPECT_EQ(
        (std::vector<std::string>{
            F().ComboBox1->currentText().toStdString(), F().ComboBox2->currentText().toStdString(),
            F().CheckBox2->isChecked() ? "1" : "0", F().CheckBox5->isChecked() ? "1" : "0"}),
        *expected);
    Choose(F().ComboBox1, "Russian");
    Choose(F().ComboBox2, "Motorola E398");
    EXPECT_EQ(F().EditGrid->RowCount(), 6);  // the profile's elements, at once
    F().CheckBox2->setChecked(false);
    F().CheckBox5->setChecked(true);
    EXPECT_EQ(Stored(*services_.Options), *expected);  // stored only on closing
    F().close();
    EXPECT_EQ(Stored(*services_.Options), chosen);
    forms_.reset();
    EXPECT_EQ(Unit1::MForm, nullptr);
    ResetGlobals();
  }
  // A start-up error ends the start-up: no profile, no save, no version in the caption.
  TearDown();
  QFile::remove(TempPath("options.ini"));
  SetUp();
  const std::filesystem::path app = UseShippedAppDir();
  std::filesystem::remove(app / "Languages" / "About.eng");
  Start();
  EXPECT_EQ(OnlyMessage().toStdString(), "Cannot open file \"" + app.string() +
                                             "/Languages/About.eng\". No such file or directory");
  EXPECT_TRUE(F().ComboBox2->count() == 0 && F().windowTitle() == "Glowsmith" &&
              !services_.Options->KeyExists("Software\\Nerevy's"));
  F().close();
  EXPECT_EQ(Stored(*services_.Options), defaults);
}
