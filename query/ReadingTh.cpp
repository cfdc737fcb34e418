#include "query/ReadingTh.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/SysUtils.h"
#include "query/CsvFile.h"
#include "query/RecInserter.h"
#include "query/RecordPipe.h"

void TReadingTh::UpdateCount() {
  if (CountDisplay) CountDisplay->SetText(IntToStr(RecordsDone));
}

void TReadingTh::Execute() {
  if (FileList && Reader) {
    TStringList columns, tables;
    std::vector<intptr_t> sources;
    for (int k = 0; ColumnMap && k < ColumnMap->Count(); ++k) {
      columns.Add(ColumnMap->Strings(k));
      sources.push_back(reinterpret_cast<intptr_t>(ColumnMap->Objects(k)));
    }
    tables.Add(TableName);
    // The values are taken from the fields by index, never by exchanging fields in place: an
    // exchange would move a field that a later entry still has to find where it was read.
    std::vector<const AnsiString*> values(sources.size());
    CRecInserter inserter(*FileList, columns, tables);
    inserter.Hold();
    auto lost = [this](int n) {
      SuccessCount -= n;
      ErrorCount += n;
    };
    // The records are read on a thread of their own while this one inserts; with a limit, no
    // further than the last record that can be inserted.
    const int64_t readable = RecordLimit < 0 ? -1 : int64_t(std::max(SkipCount, 0)) + RecordLimit;
    CRecordPipe records(*Reader, readable);
    uint32_t shown = GetTickCount();
    while (!Terminated()) {
      if (RecordLimit >= 0 && RecordsDone >= RecordLimit) break;
      const TStrings* read = records.Next();
      if (!read) break;
      const TStrings& fields = *read;
      if (SkipCount > 0) {
        --SkipCount;
        continue;
      }
      for (size_t k = 0; k < sources.size(); ++k)
        values[k] = sources[k] >= 0 && sources[k] < fields.Count() ? &fields[int(sources[k])] : nullptr;
      if (inserter.Insert(values))
        ++SuccessCount;
      else
        ++ErrorCount;
      ++RecordsDone;
      lost(inserter.Breathe());
      if (GetTickCount() - shown > kDisplayMs) {
        shown = GetTickCount();
        Synchronize([this] { UpdateCount(); });
      }
    }
    records.Stop();
    lost(inserter.EndRun());
  }
  Synchronize([this] { UpdateCount(); });
}
