// The record keys of the listed rows: a row's key is its texts at the record-id columns
// ("__REC__ID__" of each table), joined with ":". Every listed row has a key no other listed row
// has, so a record reached twice (through two selected folders) is listed once. Read as a string
// list, the keys are in ordinal byte order. One thread at a time (the listing worker while the
// window waits).
//
// Adding a key only has to tell whether it is new, once per listed row, so the keys live in hash
// sets: a key that is one record id written as a plain decimal number (the common listing of one
// table) is kept as that number, any other key as its text. The byte-ordered string list is made
// from the sets when it is read through this class, which is rare.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/Classes.h"

class CCapInfoList;

class CListViewRecids : public TStringList {
 public:
  CListViewRecids() = default;
  ~CListViewRecids() override;

  // Empties the keys and the recorded columns.
  void Clear();
  // Records the index of every column whose field part is "__REC__ID__" (none for a null list).
  void SetColumns(CCapInfoList* columns);
  // The key's position in byte order (0 or more), or -1 when the key is listed already or row is
  // null. It orders the keys, which AddKey does not.
  int AddRecord(TStrings* row);
  // The same without the position: true when the key was new and is now listed.
  bool AddKey(TStrings* row);

  // The keys as a string list, in byte order.
  int Count() const;
  AnsiString CommaText() const;

  TList* Columns = new TList;  // column indexes, owned

 private:
  // A set of numbers kept as runs of 64: each slot of an open-addressing table holds a run's
  // number + 1 (0 when free) and a bit for each of its numbers. A table's record ids come mostly
  // in runs, so a run's slot takes many of them in a few bytes.
  class NumberSet {
   public:
    bool Insert(uint64_t n);
    size_t Size() const { return size_; }
    void Clear();
    template <typename F>
    void ForEach(F f) const {
      for (const Run& run : runs_)
        if (run.key)
          for (int bit = 0; bit < 64; ++bit)
            if (run.bits >> bit & 1) f((run.key - 1) << 6 | uint64_t(bit));
    }

   private:
    struct Run {
      uint64_t key = 0, bits = 0;
    };
    Run& Find(uint64_t key);
    void Grow();
    std::vector<Run> runs_;
    size_t used_ = 0, size_ = 0;  // runs and numbers
  };

  // Adds the row's key; the key text is built into text unless the key went in as a number.
  bool Insert(const TStrings& row, std::string& text, bool& asNumber);
  void Sync() const;
  NumberSet numbers_;
  std::unordered_set<std::string> texts_;
  mutable bool synced_ = true;
};
