#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/SysUtils.h"
#include "platform/Thread.h"
#include "tests/support/TestSupport.h"

namespace {

class Worker : public TThread {
 public:
  explicit Worker(std::function<void(Worker*)> body) : TThread(true), body_(std::move(body)) {}
  std::function<void(Worker*)> body_;

 protected:
  void Execute() override { body_(this); }
};

}  // namespace

TEST(Thread, SynchronizedCallRunsOnTheUserInterfaceThread) {
  std::thread::id ranOn;
  int steps = 0;
  Worker w([&](Worker*) {
    for (int i = 0; i < 3; ++i) TThread::Synchronize([&] {
        ranOn = std::this_thread::get_id();
        ++steps;
      });
  });
  bool terminatedOnMain = false;
  w.OnTerminate = [&](TObject*) { terminatedOnMain = IsMainThread(); };
  w.Start();
  w.WaitFor();  // drains the worker's calls while it waits
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(steps, 3);
  EXPECT_TRUE(terminatedOnMain);
  EXPECT_TRUE(w.Finished());
}

TEST(Thread, SuspendedUntilStartedAndStopsOnRequest) {
  std::atomic<bool> ran{false};
  std::atomic<int> loops{0};
  {
    Worker w([&](Worker* self) {
      ran = true;
      while (!self->Terminated()) {
        ++loops;
        Sleep(1);
      }
    });
    Sleep(20);
    EXPECT_FALSE(ran);
    w.Start();
    EXPECT_TRUE(PumpUntil([&] { return loops > 0; }));
  }  // the destructor asks it to stop and waits
  EXPECT_TRUE(ran);
}

TEST(Thread, FreeOnTerminateDeletesItselfAfterItsEndEvent) {
  struct Flagged : Worker {
    Flagged(std::atomic<bool>* gone) : Worker([](Worker*) {}), gone_(gone) {}
    ~Flagged() override { *gone_ = true; }
    std::atomic<bool>* gone_;
  };
  std::atomic<bool> gone{false};
  bool ended = false;
  auto* w = new Flagged(&gone);
  w->FreeOnTerminate = true;
  w->OnTerminate = [&](TObject*) { ended = true; };
  w->Start();
  EXPECT_TRUE(PumpUntil([&] { return gone.load(); }));
  EXPECT_TRUE(ended);
}

TEST(Thread, EscapedExceptionIsKept) {
  Worker w([](Worker*) { throw std::runtime_error("boom"); });
  w.Start();
  w.WaitFor();
  EXPECT_EQ(w.FatalException, "boom");
}
