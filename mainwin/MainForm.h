// The main window.
#pragma once

#include "platform/Forms.h"

class TFormMain : public TForm {
 public:
  explicit TFormMain(TComponent* owner);
};

extern TFormMain* FormMain;
