// CRecordPipe: the records of a text-file reader, read and parsed on a thread of their own ahead
// of the thread that takes them.
//
// The reading thread fills batches of records and queues them; the taking thread works through one
// batch while the next ones are read. A few batches exist in all and go round between the two
// threads, so the records read ahead are bounded by count and by size, and their lists are reused.
// A batch belongs to one thread at a time: the reading thread never touches a batch once it has
// queued it, nor the taking thread one it has given back.
//
// The thread starts with the first Next. When it cannot start, Next reads inline. Stop (or the
// destructor) ends the reading and waits for the thread; from then on the reader is not touched.
// Next and Stop are called by the taking thread only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Classes.h"

class CCsvFile;

class CRecordPipe {
 public:
  // At most `limit` records are read from the reader; negative: all of them. `threaded` false reads
  // every record inline, in Next.
  CRecordPipe(CCsvFile& reader, int64_t limit, bool threaded = true);
  ~CRecordPipe();
  CRecordPipe(const CRecordPipe&) = delete;
  CRecordPipe& operator=(const CRecordPipe&) = delete;

  // The next record's fields, valid until the next call; null at the end of the input or of the
  // limit, and from then on. An exception the reader threw comes out here, after the records
  // read before it.
  const TStrings* Next();
  // Ends the reading thread and waits for it. Next answers null afterwards.
  void Stop();

  // Records per batch, and the bytes of fields (texts and their list entries) after which a batch
  // is handed over even when not full.
  static constexpr int kBatchRecords = 128;
  static constexpr size_t kBatchBytes = 128 * 1024;
  static constexpr int kBatches = 3;
  // A list that held a record of more fields is replaced rather than reused, so that the lists
  // kept between batches stay small.
  static constexpr int kKeptFields = 64;

 private:
  struct Batch {
    std::vector<std::unique_ptr<TStringList>> records;
    int count = 0;
  };

  const TStrings* NextInline();
  void Run();
  // Fills the batch; false when the input, the limit or the reading has ended.
  bool Fill(Batch& batch);

  CCsvFile& reader_;
  const int64_t limit_;
  int64_t read_ = 0;  // records taken from the reader; the reading thread's while it runs
  bool threaded_;
  bool started_ = false;
  std::thread thread_;
  std::vector<Batch> batches_;
  TStringList inline_;  // the record of the inline reading

  // The taking thread's batch and its next record.
  Batch* current_ = nullptr;
  int at_ = 0;

  std::mutex mutex_;
  std::condition_variable freed_;   // a batch came back, or stop_
  std::condition_variable filled_;  // a batch was queued, or ended_
  std::vector<Batch*> free_;
  std::deque<Batch*> full_;
  bool ended_ = false;  // the reading thread has queued its last batch
  std::exception_ptr error_;
  std::atomic<bool> stop_{false};  // Stop was called
};
