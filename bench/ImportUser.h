// The user of an import in a benchmark: waits for the progress dialog to close itself and answers
// every message box with OK, telling any but the result on the standard error.
#pragma once

#include <cstdio>

#include "foundation/CvMessageUnit.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "query/ReadingDlgUnit.h"

inline void AnswerImportDialogs(TForm* form, const char* program) {
  if (dynamic_cast<TReadingDlg*>(form)) {
    while (form->ModalResult() == mrNone) {
      Application->ProcessMessages();
      Sleep(1);
    }
    return;
  }
  if (auto* box = dynamic_cast<TCvMessageDlg*>(form); box && box->Caption() != SJ("読込成功"))
    std::fprintf(stderr, "%s: message \"%s\"\n", program, SjisToUtf8(box->Label1->Caption()).c_str());
  form->SetModalResult(mrOk);
}
