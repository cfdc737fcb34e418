// Worker threads and calls into the user-interface thread.
//
// A TThread is created suspended or running, polls Terminated() to stop early, and when Execute
// returns runs OnTerminate on the user-interface thread, then frees itself if FreeOnTerminate.
// Synchronize runs a function on the user-interface thread and waits for it; the
// user-interface thread runs such calls from its event loop, from ProcessMessages, from
// CheckSynchronize and while it waits in WaitFor, so a wait never deadlocks on a worker that
// is itself waiting in Synchronize.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Classes.h"

class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended);
  // Asks a running thread to stop and waits for it (not for a FreeOnTerminate thread, which
  // frees itself).
  ~TThread() override;

  void Start();  // starts a suspended thread; does nothing when already started
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }
  // Waits until Execute and OnTerminate are done; the thread's ReturnValue.
  int WaitFor();

  bool FreeOnTerminate = false;
  TNotifyEvent OnTerminate;
  int ReturnValue = 0;
  // The text of an exception that escaped Execute, if any.
  std::string FatalException;

  // Runs fn on the user-interface thread and waits (inline when called there).
  static void Synchronize(const std::function<void()>& fn);

 protected:
  virtual void Execute() = 0;

 private:
  void Run();
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  std::mutex mutex_;
  std::condition_variable done_;
};

// Runs the synchronised calls that workers are waiting for. User-interface thread only.
void CheckSynchronize();
// Queues fn to run on the user-interface thread without waiting.
void QueueOnMainThread(std::function<void()> fn);
bool IsMainThread();
// Makes the calling thread the user-interface thread (InitApplication does this).
void SetMainThread();
