#include "mainwin/GetListTh.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "folders/DbFolder.h"
#include "foundation/StringsList.h"
#include "mainwin/ListViewRecids.h"
#include "platform/SysUtils.h"

namespace {

using Clock = std::chrono::steady_clock;

// The count box is written at most about four times a second.
constexpr auto kProgressInterval = std::chrono::milliseconds(250);
// Rows handed over at once, batches waiting at most, and the longest a batch waits to be handed
// over while the folder delivers slowly.
constexpr size_t kBatchRows = 256;
constexpr size_t kQueuedBatches = 16;
constexpr auto kBatchAge = std::chrono::milliseconds(50);
// How long the worker waits for a batch before it looks at its stop request and the count again.
constexpr auto kTakeWait = std::chrono::milliseconds(20);

// Writes the worker's count into the dialog's box, at most about four times a second.
void ShowCount(TGetListTh& worker, Clock::time_point& shown) {
  const auto now = Clock::now();
  if (now - shown <= kProgressInterval) return;
  shown = now;
  const int count = worker.Count;
  if (TEdit* box = worker.Progress) TThread::Synchronize([box, count] { box->SetText(IntToStr(count)); });
}

TStrings* NewRow(int width) {
  auto* row = new TStringList;
  row->Reserve(width);
  return row;
}

// Reads the folder's rows on a thread of its own into a bounded queue of batches, while the
// worker keys and appends the rows it has already read. It reads no row the chunk would not have
// read alone: never more rows than the chunk may still accept, counting the ones the worker
// found listed already back in (the folder's cursor is not given back rows). Stop joins the
// thread, after which the folder is the worker's again; the rows still queued are then taken.
class RowReader {
 public:
  RowReader(CDbFolder* folder, int width, int budget) : folder_(folder), width_(width), budget_(budget) {
    Supply(std::min(int(kBatchRows), budget));
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {
      for (TStrings* row : spare_) delete row;
      throw;
    }
  }
  ~RowReader() {
    Stop();
    for (std::vector<TStrings*>& batch : queue_)
      for (TStrings* row : batch) delete row;
    for (TStrings* row : spare_) delete row;
  }

  // Makes empty rows for the reader, which then spends its time on the folder alone.
  void Supply(int rows) {
    std::vector<TStrings*> made;
    made.reserve(size_t(rows));
    for (int i = 0; i < rows; ++i) made.push_back(NewRow(width_));
    std::lock_guard<std::mutex> lock(mutex_);
    spare_.insert(spare_.end(), made.begin(), made.end());
  }

  // Moves the next batch into rows; false when none came within the wait.
  bool Take(std::vector<TStrings*>& rows, Clock::duration wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!taken_.wait_for(lock, wait, [this] { return !queue_.empty() || done_; })) return false;
    if (queue_.empty()) return false;
    rows.swap(queue_.front());
    queue_.pop_front();
    room_.notify_one();
    return true;
  }
  // Whether the reader has ended (the list's end, its budget spent or a stop) and everything it
  // read has been taken. Any error it met is thrown here.
  bool Finished() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return done_ && queue_.empty();
  }
  // The worker dropped rows as listed already: as many more may be read.
  void Dropped(int rows) {
    std::lock_guard<std::mutex> lock(mutex_);
    budget_ += rows;
    room_.notify_one();
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
      room_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run() {
    std::vector<TStrings*> batch, stock;
    TStrings* row = nullptr;
    try {
      batch.reserve(kBatchRows);
      Clock::time_point started{};
      bool aged = false;
      // Rows the reader may read before it asks again: it takes the budget whole, so that a row
      // costs it no lock.
      int allowance = 0;
      for (;;) {
        const bool hand = !batch.empty() && (batch.size() >= kBatchRows || allowance == 0 || aged);
        if (hand || allowance == 0 || (!row && stock.empty())) {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!row && stock.empty()) stock.swap(spare_);
          if (hand) {
            room_.wait(lock, [this] { return stop_ || queue_.size() < kQueuedBatches; });
            if (stop_) break;
            queue_.push_back(std::move(batch));
            batch = {};
            batch.reserve(kBatchRows);
            aged = false;
            taken_.notify_one();
          }
          if (allowance == 0) {
            room_.wait(lock, [this] { return stop_ || budget_ > 0; });
            allowance = std::exchange(budget_, 0);
          }
          if (stop_) break;
        } else if (stop_.load(std::memory_order_relaxed)) {
          break;
        }
        if (!row) {
          if (stock.empty()) {
            row = NewRow(width_);
          } else {
            row = stock.back();
            stock.pop_back();
          }
        }
        const int r = folder_->ListNextNB(*row);
        if (r < 0) break;
        if (r == 1) {
          if (batch.empty()) started = Clock::now();
          batch.push_back(row);
          row = nullptr;
          --allowance;
          if (batch.size() % 32 == 0) aged = Clock::now() - started > kBatchAge;
        } else if (!batch.empty()) {
          aged = true;  // nothing ready yet: hand over what there is
        }
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      error_ = std::current_exception();
    }
    delete row;
    for (TStrings* spare : stock) delete spare;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!batch.empty()) queue_.push_back(std::move(batch));
    done_ = true;
    taken_.notify_one();
  }

  CDbFolder* const folder_;
  const int width_;
  std::mutex mutex_;
  std::condition_variable taken_, room_;
  std::deque<std::vector<TStrings*>> queue_;
  std::vector<TStrings*> spare_;  // empty rows made by the worker
  int budget_;                    // rows that may still be read, beyond the reader's allowance
  std::atomic<bool> stop_{false};
  bool done_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace

TGetListTh::TGetListTh(bool createSuspended) : TThread(createSuspended) { FreeOnTerminate = true; }

TGetListTh::~TGetListTh() = default;

// The chunk read on this thread alone, row after row, when no reader thread can be had.
void TGetListTh::ReadAlone(int target) {
  auto shown = Clock::now();
  auto* row = NewRow(Width);
  while (!Terminated()) {
    const int r = Folder->ListNextNB(*row);
    if (r < 0) break;
    if (r == 1 && Ids->AddKey(row)) {
      Rows->Add(row);
      row = NewRow(Width);
      if (++Count >= target) break;
    }
    ShowCount(*this, shown);
  }
  delete row;
}

void TGetListTh::Execute() {
  auto shown = Clock::now();
  // At least one row is read, whatever the limit.
  const int target = std::max(int(Limit), Count + 1);
  std::unique_ptr<RowReader> started;
  try {
    started = std::make_unique<RowReader>(Folder, Width, target - Count);
  } catch (const std::system_error&) {
    ReadAlone(target);
    return;
  }
  RowReader& reader = *started;
  std::vector<TStrings*> batch;
  bool stopped = false;
  const auto list = [&] {
    int dropped = 0, listed = 0;
    for (TStrings*& row : batch) {
      if (Ids->AddKey(row)) {
        Rows->Add(row);
        ++Count;
        ++listed;
      } else {
        delete row;
        ++dropped;
      }
      row = nullptr;
    }
    batch.clear();
    if (stopped) return;
    if (dropped) reader.Dropped(dropped);
    reader.Supply(std::min(listed, std::max(0, target - Count)));
  };
  try {
    while (Count < target && !reader.Finished()) {
      if (Terminated()) break;
      if (reader.Take(batch, kTakeWait)) list();
      ShowCount(*this, shown);
    }
    // The rows read so far are listed, a stopped chunk's too: the folder has gone past them.
    stopped = true;
    reader.Stop();
    while (reader.Take(batch, Clock::duration::zero())) list();
    reader.Finished();
  } catch (...) {
    for (TStrings* row : batch) delete row;
    throw;
  }
}
