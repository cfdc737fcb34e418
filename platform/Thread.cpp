#include "platform/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <deque>
#include <memory>

namespace {

struct Call {
  std::function<void()> fn;
  bool done = false;
};

// One queue of calls for the user-interface thread. The condition variable wakes both the
// workers waiting for their call and a user-interface thread waiting in WaitFor.
std::mutex g_mutex;
std::condition_variable g_changed;
std::deque<std::shared_ptr<Call>> g_calls;
std::thread::id g_mainThread = std::this_thread::get_id();

void WakeEventLoop() {
  if (QCoreApplication* app = QCoreApplication::instance())
    QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
}

void Enqueue(const std::shared_ptr<Call>& c) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(c);
  }
  g_changed.notify_all();
  WakeEventLoop();
}

}  // namespace

bool IsMainThread() { return std::this_thread::get_id() == g_mainThread; }

void SetMainThread() { g_mainThread = std::this_thread::get_id(); }

void CheckSynchronize() {
  if (!IsMainThread()) return;
  for (;;) {
    std::shared_ptr<Call> c;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      if (g_calls.empty()) return;
      c = g_calls.front();
      g_calls.pop_front();
    }
    c->fn();
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      c->done = true;
    }
    g_changed.notify_all();
  }
}

void QueueOnMainThread(std::function<void()> fn) {
  auto c = std::make_shared<Call>();
  c->fn = std::move(fn);
  Enqueue(c);
}

void TThread::Synchronize(const std::function<void()>& fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  auto c = std::make_shared<Call>();
  c->fn = fn;
  Enqueue(c);
  std::unique_lock<std::mutex> lock(g_mutex);
  g_changed.wait(lock, [&] { return c->done; });
}

TThread::TThread(bool createSuspended) {
  if (!createSuspended) Start();
}

TThread::~TThread() {
  if (thread_.joinable()) {
    if (!finished_) {
      Terminate();
      WaitFor();
    }
    thread_.join();
  }
}

void TThread::Start() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

void TThread::Run() {
  try {
    Execute();
  } catch (const std::exception& e) {
    FatalException = e.what();
  } catch (...) {
    FatalException = "unknown exception";
  }
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
  const bool freeSelf = FreeOnTerminate;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    finished_ = true;
  }
  g_changed.notify_all();
  if (freeSelf) {
    thread_.detach();
    delete this;
  }
}

int TThread::WaitFor() {
  if (!started_) return ReturnValue;
  if (IsMainThread()) {
    for (;;) {
      CheckSynchronize();
      std::unique_lock<std::mutex> lock(g_mutex);
      g_changed.wait(lock, [&] { return finished_.load() || !g_calls.empty(); });
      if (finished_ && g_calls.empty()) break;
    }
  } else {
    std::unique_lock<std::mutex> lock(g_mutex);
    g_changed.wait(lock, [&] { return finished_.load(); });
  }
  return ReturnValue;
}
