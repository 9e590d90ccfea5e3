#include "Program.h"

TForms::~TForms() {
  AboutForm::AForm = nullptr;
  Unit2::SForm = nullptr;
  AForm.reset();
  SForm.reset();
  MForm.reset();
}

std::unique_ptr<TForms> CreateForms(const Unit1::TMFormServices& services) {
  auto forms = std::make_unique<TForms>();
  forms->MForm = std::make_unique<Unit1::TMForm>(services);
  forms->SForm = std::make_unique<TSForm>(forms->MForm.get());
  Unit2::SForm = forms->SForm.get();
  forms->AForm = std::make_unique<TAForm>(forms->MForm.get());
  AboutForm::AForm = forms->AForm.get();
  forms->AForm->FormCreate();
  return forms;
}
