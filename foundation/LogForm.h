// The error box, the log window and their globals.
//
// ReportError shows a printf-style text in the program's message box with the caption "エラー"
// unless ErrorQuiet is set; WriteLog appends a time-stamped line to the log window while it
// exists and is visible. Both may be called from any thread: the window part runs on the
// user-interface thread (the calling worker waits for it).
#pragma once

#include <atomic>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

class TFormLog : public TForm {
 public:
  explicit TFormLog(TComponent* owner);
  ~TFormLog() override;  // clears FormLog when it points here
  void SetVisible(bool v) override;
  TRichEdit* RichEdit1;
};

// The log window; set by the start-up (and the main window's log action), cleared by the window.
extern TFormLog* FormLog;
// While true, ReportError only formats. Set by the folder expansion and the record-transfer worker.
extern std::atomic<bool> ErrorQuiet;

// The length in bytes of the formatted text.
int ReportError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The number of bytes formatted; 0 when the format text was over 10000 bytes and the placeholder
// line was written instead; -1 when the log window is missing or hidden (nothing is written).
int WriteLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
