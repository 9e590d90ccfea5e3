// Languages and options.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::ASearchLangsExecute() {}
void TMForm::AReadLanguageExecute() {}
void TMForm::AReadOptionsExecute() {}
void TMForm::ASaveOptionsExecute() {}
void TMForm::ComboBox1Change() {}
void TMForm::ComboBox2Change() {}

}  // namespace Unit1
