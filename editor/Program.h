#pragma once

#include <memory>

#include "AboutForm.h"
#include "Unit1.h"
#include "Unit2.h"

// The three windows of the program, created in the order of the original start-up: the main
// window, the type dialog, then the about box (whose creation runs the start-up proper).
struct TForms {
  std::unique_ptr<Unit1::TMForm> MForm;
  std::unique_ptr<TSForm> SForm;
  std::unique_ptr<TAForm> AForm;
  ~TForms();
};

std::unique_ptr<TForms> CreateForms(const Unit1::TMFormServices& services);
