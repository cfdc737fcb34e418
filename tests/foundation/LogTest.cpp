#include <gtest/gtest.h>

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "platform/Thread.h"
#include "tests/support/TestSupport.h"

namespace {

// A visible log window for the test, gone (and FormLog cleared) afterwards.
class LogWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    FormLog = new TFormLog(Application);
    FormLog->Show();
  }
  void TearDown() override {
    delete FormLog;
    EXPECT_EQ(FormLog, nullptr);
  }
  TStrings* Lines() { return FormLog->RichEdit1->Lines(); }
};

// The text after "<yyyy/mm/dd hh:nn:ss>".
std::string TextAfterStamp(const AnsiString& line) {
  const std::string shape = "<dddd/dd/dd dd:dd:dd>";
  bool ok = line.size() >= shape.size();
  for (size_t i = 0; ok && i < shape.size(); ++i)
    ok = shape[i] == 'd' ? (line[i] >= '0' && line[i] <= '9') : line[i] == shape[i];
  return ok ? line.substr(shape.size()) : "<no stamp: " + line + ">";
}

}  // namespace

TEST(WriteLog, WritesNothingWithoutAVisibleWindow) {
  ASSERT_EQ(FormLog, nullptr);
  EXPECT_EQ(WriteLog("lost %d", 1), -1);
  FormLog = new TFormLog(Application);  // created hidden, as at start-up
  EXPECT_EQ(WriteLog("lost %d", 2), -1);
  EXPECT_EQ(FormLog->RichEdit1->Lines()->Count(), 0);
  delete FormLog;
}

// A worker that logs while no window shows the log must not wait for the user-interface thread,
// which may be busy (here: blocked until the worker has returned).
TEST(WriteLog, WorkerDoesNotWaitForTheUserInterfaceWhenNothingShowsTheLog) {
  FormLog = new TFormLog(Application);
  struct Logger : TThread {
    Logger() : TThread(true) {}
    std::atomic<int> result{1};
    void Execute() override { result = WriteLog("unseen"); }
  } w;
  w.Start();
  for (int i = 0; i < 500 && w.result == 1; ++i) Sleep(10);  // no messages processed meanwhile
  EXPECT_EQ(w.result, -1);
  w.WaitFor();
  delete FormLog;
}

TEST_F(LogWindow, LineCarriesTheLocalTime) {
  EXPECT_EQ(WriteLog("open %s: %d", "t.kvr", 3), 13);
  ASSERT_EQ(Lines()->Count(), 1);
  EXPECT_EQ(TextAfterStamp((*Lines())[0]), "open t.kvr: 3");
}

TEST_F(LogWindow, FormatTextOverTenThousandBytesIsRefused) {
  const std::string exact(10000, 'a');
  EXPECT_EQ(WriteLog(exact.c_str()), 10000);  // NOLINT: a format text on purpose
  const std::string over(10001, 'a');
  EXPECT_EQ(WriteLog(over.c_str()), 0);
  ASSERT_EQ(Lines()->Count(), 2);
  EXPECT_EQ(TextAfterStamp((*Lines())[0]), exact);
  EXPECT_EQ(TextAfterStamp((*Lines())[1]), SJ("ログ：文字列がたぶん長すぎる"));
}

TEST_F(LogWindow, LongFormattedLineIsNotCut) {
  const std::string big(30000, 'z');
  EXPECT_EQ(WriteLog("%s", big.c_str()), 30000);
  EXPECT_EQ(TextAfterStamp((*Lines())[0]), big);
}

TEST_F(LogWindow, HidingTheWindowStopsLogging) {
  WriteLog("one");
  FormLog->Hide();
  EXPECT_EQ(WriteLog("two"), -1);
  EXPECT_EQ(Lines()->Count(), 1);
}

TEST_F(LogWindow, NewestLineIsScrolledIntoView) {
  for (int i = 0; i < 200; ++i) WriteLog("line %d", i);
  Application->ProcessMessages();
  EXPECT_GT(FormLog->RichEdit1->FirstVisibleLine(), 150);
}

TEST_F(LogWindow, WorkerLinesArriveThroughTheUserInterfaceThread) {
  struct Logger : TThread {
    Logger() : TThread(true) {}
    int result = 0;
    void Execute() override { result = WriteLog("from %s", "worker"); }
  } w;
  w.Start();
  w.WaitFor();
  EXPECT_EQ(w.result, 11);
  ASSERT_EQ(Lines()->Count(), 1);
  EXPECT_EQ(TextAfterStamp((*Lines())[0]), "from worker");
}
