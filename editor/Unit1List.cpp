// Funlight list and funlight settings.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::AUpdateListExecute() {}
void TMForm::ListBox1Click() {}
void TMForm::ComboBox4Change() {}
void TMForm::RadioButton1Click() {}
void TMForm::RadioButton2Click() {}
void TMForm::CheckBox1Click() {}
void TMForm::SpinEdit1Change() {}
void TMForm::SpinEdit5Change() {}
void TMForm::AAddNewFunExecute() {}
void TMForm::AFunCopyExecute() {}
void TMForm::ADelFunExecute() {}
void TMForm::AFunMoveUpExecute() {}
void TMForm::AFunMoveDownExecute() {}

}  // namespace Unit1
