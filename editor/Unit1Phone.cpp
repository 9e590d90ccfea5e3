// Phone commands and the Phone Tools page.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

bool PhoneFileFound = false;
bool PendingOpen = false;
bool PendingSave = false;
uint8_t ClublightsByte = 0;
uint8_t C380Byte = 0;
bool ClublightsChanged = false;
bool C380Changed = false;

void TMForm::FormCreate() {}
void TMForm::FormDestroy() {}
void TMForm::PhoneStatusChanged(int) {}
void TMForm::AOpenFromPhoneExecute() {}
void TMForm::ASaveToPhoneExecute() {}
void TMForm::Button18Click() {}
void TMForm::Button19Click() {}
void TMForm::Button20Click() {}
void TMForm::Button21Click() {}
void TMForm::CheckBox7Click() {}
void TMForm::CheckBox8Click() {}

}  // namespace Unit1
