// Languages and options.
// PLACEHOLDER: filled in by its own change.
#include "Profile.h"
#include "Unit1.h"

namespace Unit1 {

void TMForm::ASearchLangsExecute() {}
void TMForm::AReadLanguageExecute() {}
void TMForm::AReadOptionsExecute() {
  Profile.Language = "English";
  Profile.ProfileName = "Motorola (All Models)";
  Execute(ALoadProfilePics);
  Execute(AUpdateSlots);
}
void TMForm::ASaveOptionsExecute() {}
void TMForm::ComboBox1Change() {}
void TMForm::ComboBox2Change() {}

}  // namespace Unit1
