// TReadingTh: the import's worker. Reads records from a text-file reader and inserts them into a
// table through the record-file list, with the table open and held for the whole run.
//
// The column map names the columns: entry k holds the name of the table column that takes value
// k of the inserted record, and as its object the index of the record field that supplies it. A
// field index at or beyond the record's field count supplies no value for that column.
//
// The creator sets the public fields before the thread starts; while it runs the thread alone
// uses the list and the map, and the reader only through a reading thread of its own, which
// Execute ends and waits for before it returns (the user-interface thread waits in the modal
// import dialog). The counts are final once the thread has ended (OnTerminate).
#pragma once

#include "platform/StdCtrls.h"
#include "platform/Thread.h"

class CCsvFile;
class CRecFileList;

class TReadingTh : public TThread {
 public:
  explicit TReadingTh(bool createSuspended) : TThread(createSuspended) {}

  int RecordsDone = 0;  // records offered to the table (skipped ones not counted)
  CRecFileList* FileList = nullptr;  // not owned
  CCsvFile* Reader = nullptr;        // not owned, opened and set up
  TStrings* ColumnMap = nullptr;     // not owned
  AnsiString TableName;
  int SkipCount = 0;     // leading records read and thrown away
  int RecordLimit = -1;  // records to offer at most; negative: no limit
  int SuccessCount = 0;
  int ErrorCount = 0;
  TEdit* CountDisplay = nullptr;  // not owned; written on the user-interface thread only

  // Minimum time between two updates of the count display.
  static constexpr uint32_t kDisplayMs = 250;

  // Shows RecordsDone in the count display. User-interface thread.
  void UpdateCount();

 protected:
  void Execute() override;
};
