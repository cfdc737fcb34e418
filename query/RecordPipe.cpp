#include "query/RecordPipe.h"

#include <system_error>
#include <utility>

#include "query/CsvFile.h"

CRecordPipe::CRecordPipe(CCsvFile& reader, int64_t limit, bool threaded)
    : reader_(reader), limit_(limit), threaded_(threaded) {}

CRecordPipe::~CRecordPipe() { Stop(); }

void CRecordPipe::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  freed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

const TStrings* CRecordPipe::Next() {
  if (stop_) return nullptr;
  if (!started_) {
    started_ = true;
    if (threaded_ && limit_ != 0) {
      batches_.resize(kBatches);
      for (Batch& b : batches_) {
        for (int k = 0; k < kBatchRecords; ++k) b.records.push_back(std::make_unique<TStringList>());
        free_.push_back(&b);
      }
      try {
        thread_ = std::thread([this] { Run(); });
      } catch (const std::system_error&) {
        threaded_ = false;
        free_.clear();
        batches_.clear();
      }
    } else {
      threaded_ = false;
    }
  }
  if (!threaded_) return NextInline();

  if (current_ && at_ < current_->count) return current_->records[at_++].get();
  std::unique_lock<std::mutex> lock(mutex_);
  if (current_) {
    free_.push_back(current_);
    current_ = nullptr;
    freed_.notify_one();
  }
  filled_.wait(lock, [this] { return !full_.empty() || ended_; });
  if (full_.empty()) {
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return nullptr;
  }
  current_ = full_.front();
  full_.pop_front();
  at_ = 0;
  return current_->records[at_++].get();
}

const TStrings* CRecordPipe::NextInline() {
  if (ended_ || (limit_ >= 0 && read_ >= limit_)) return nullptr;
  inline_.Clear();
  if (!reader_.ReadRecord(&inline_)) {
    ended_ = true;
    return nullptr;
  }
  ++read_;
  return &inline_;
}

void CRecordPipe::Run() {
  for (bool more = true; more;) {
    Batch* batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      freed_.wait(lock, [this] { return stop_ || !free_.empty(); });
      if (stop_) return;
      batch = free_.back();
      free_.pop_back();
    }
    std::exception_ptr error;
    try {
      more = Fill(*batch);
    } catch (...) {
      error = std::current_exception();
      more = false;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (batch->count > 0)
        full_.push_back(batch);
      else
        free_.push_back(batch);
      if (!more) {
        ended_ = true;
        error_ = error;
      }
    }
    filled_.notify_one();
  }
}

bool CRecordPipe::Fill(Batch& batch) {
  batch.count = 0;
  size_t bytes = 0;
  while (batch.count < kBatchRecords && bytes < kBatchBytes) {
    if (stop_.load(std::memory_order_relaxed) || (limit_ >= 0 && read_ >= limit_)) return false;
    std::unique_ptr<TStringList>& list = batch.records[batch.count];
    if (list->Count() > kKeptFields)
      list = std::make_unique<TStringList>();
    else
      list->Clear();
    TStringList& record = *list;
    if (!reader_.ReadRecord(&record)) return false;
    ++read_;
    ++batch.count;
    for (int i = 0; i < record.Count(); ++i) bytes += sizeof(AnsiString) + record[i].size();
  }
  return true;
}
