// The input candidates popup of the record edit dialog, made once at start-up.
#pragma once

#include "platform/Forms.h"

class TCandForm : public TForm {
 public:
  explicit TCandForm(TComponent* owner) : TForm(owner) { Name = "CandForm"; }
};

inline TCandForm* CandForm = nullptr;
