#include "foundation/LogForm.h"

#include <cstring>
#include <limits>

#include "foundation/CvMessageUnit.h"
#include "platform/Thread.h"

TFormLog* FormLog = nullptr;
std::atomic<bool> ErrorQuiet{false};

namespace {
constexpr size_t kLongestLogFormat = 10000;
// Whether a log window is shown, readable from any thread: a worker that logs while no window
// shows it returns at once instead of waiting for the user-interface thread.
std::atomic<bool> g_logShown{false};
}

TFormLog::TFormLog(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("ログ"));
  SetBounds(2, 491, 467, 270);
  RichEdit1 = new TRichEdit(this);
  RichEdit1->SetParent(this);
  RichEdit1->ScrollBars = ssVertical;
  RichEdit1->SetAlign(alClient);
}

TFormLog::~TFormLog() {
  if (FormLog == this) FormLog = nullptr;
  g_logShown = false;
}

void TFormLog::SetVisible(bool v) {
  TForm::SetVisible(v);
  g_logShown = Visible();
}

int ReportError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const AnsiString text = VFormat(fmt, args);
  va_end(args);
  if (!ErrorQuiet) TThread::Synchronize([&] { CvMessageBox(text, SJ("エラー"), 0, nullptr); });
  return static_cast<int>(text.size());
}

int WriteLog(const char* fmt, ...) {
  if (!g_logShown) return -1;
  int result;
  AnsiString text;
  if (std::strlen(fmt) > kLongestLogFormat) {
    text = SJ("ログ：文字列がたぶん長すぎる");
    result = 0;
  } else {
    va_list args;
    va_start(args, fmt);
    text = VFormat(fmt, args);
    va_end(args);
    result = static_cast<int>(text.size());
  }
  TThread::Synchronize([&] {
    if (!FormLog || !FormLog->Visible()) {
      result = -1;
      return;
    }
    TRichEdit* edit = FormLog->RichEdit1;
    edit->Lines()->Add("<" + NowText() + ">" + text);
    edit->SetSelStart(std::numeric_limits<int>::max());  // the end of the text
    edit->ScrollToCaret();
  });
  return result;
}
