// CKvrCondControl: the cursor over one column's index inside the ranges of that column's
// comparisons (store/KvrRange.h).
//
// Keys it builds and walks (store/Kvrcolinfo.h has the records):
//
//   column          key  lower search key                        upper key, compared over
//   __REC__ID__     2    id (0 open below, FF.. open above)       4 bytes of the body's id
//   signed/unsigned 3-5  column | value | id (0; FF.. when the    column | value
//   /real                lower end excludes its value)
//   string/set      7    column | first text bytes | id 0         column | first text bytes
//
// Missing value bytes are 0, or 255 for an end open above. The column number is 2 bytes in the
// current layout and 4 in the older one, whose string keys hold the text up to the key length.
// A string-value key holds only the first 14 text bytes, so in the current layout each string
// value found is also checked against the exact bounds over the text its record keeps (200 or
// 201 bytes). A bound that fills the key prefix cannot bound the keys strictly and is walked
// inclusively. The walk is wider than the comparisons; Test applies them exactly.
//
// The cursor does not own the column definition or the file; it is used by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/Classes.h"
#include "store/KvrRange.h"
#include "store/Kvrcolinfo.h"
#include "store/Kvrbuffer.h"
#include "store/Kvrvalue.h"

class CKorva;

// An operator code as a TList item, and back.
inline void* CondOpItem(int op) { return reinterpret_cast<void*>(static_cast<intptr_t>(op)); }
inline int CondOpOf(const void* item) { return static_cast<int>(reinterpret_cast<intptr_t>(item)); }

class CKvrCondControl {
 public:
  CKvrCondControl();
  CKvrCondControl(const CKvrCondControl&) = delete;
  CKvrCondControl& operator=(const CKvrCondControl&) = delete;
  ~CKvrCondControl() = default;

  // Takes the comparisons of column colNo: ops holds operator codes (CondOpItem), texts the
  // value texts in the same order (missing ones empty). The cursor keeps its own copy of the
  // definition; without one it holds no comparison and walks nothing. Then Reset.
  void Setup(int colNo, const CKvrColInfo* col, const TList* ops, const TStrings* texts, int version);
  // Back to the first range, with no range's keys set.
  void Reset();
  // Builds the search keys of one range; the next step starts the walk of that range.
  void SetRange(const CKvrRange& range);

  // Steps inside the current range; false when the range is left (or the file fails).
  // NextEntry: the next string value of a string or set column (UseCount, CurrentWhole).
  bool NextEntry(CKorva& file);
  // NextKey: the next entry of a number column (RecordId); for the record-id column the next
  // body, read into `record`.
  bool NextKey(CKorva& file, CKvrBuffer* record);
  // NextValue: the next distinct key value appended to out: column number and stored value for
  // number columns, the 4-byte string-value id for string and set columns.
  bool NextValue(CKorva& file, CKvrBuffer& out);
  // The same across all ranges, from the current one on; false at the end of the last.
  bool NextKeyInRanges(CKorva& file, CKvrBuffer& record);
  bool NextValueInRanges(CKorva& file, CKvrBuffer& out);

  // False when the record's value (a set: any element) lies in a range walked before the
  // current one, so a walk over several ranges delivers each record once.
  bool IsFirstRange(const CKvrValueList& record) const;
  // Whether the record's value of this column meets every comparison.
  bool Test(const CKvrValueList& record) const;

  uint32_t UseCount() const;  // use count of the current string value; 0 for other columns
  uint32_t Width() const;     // the ranges' widths summed, at most 2^32 - 1
  void Mark();
  void Rewind();  // back to the marked position (the start when nothing was marked)
  // Passes over every text sharing the current one's first k bytes (1 <= k <= 13).
  void SkipPrefix(int k);

  uint32_t RecordId() const { return recordId_; }
  // The key text of the current string value (its first key bytes, up to the first NUL).
  AnsiString CurrentKeyText() const;
  // Whether the current string value holds its text whole; a cut one stands for every text
  // that shares its kept beginning (true for number columns).
  bool CurrentWhole() const;
  // A cut length below this gives one cut text for all texts of one string value.
  int KeptLimit() const;
  // Whether the ranges hold every value of the column.
  bool CoversAll() const;
  // Whether every comparison is ALL, so that Test passes any record.
  bool AcceptsAll() const;
  // The text of the current string value, as far as its record keeps it.
  AnsiString CurrentText() const;
  const CKvrColInfo* Column() const { return col_; }

 private:
  // The position a walk can return to.
  struct Position {
    int range = 0;
    int set = -1;
    int steps = 0;
    int lowerOp = 0;
    int upperOp = 0;
    AnsiString lower;
    AnsiString upper;
  };

  bool Current() const { return version_ >= 110; }
  int ColBytes() const { return Current() ? 2 : 4; }
  bool IsText() const;
  bool IsRecordId() const;
  void ReserveKeys(CKorva& file);
  // One step of the current range: key is the search key, the record read lands in buf;
  // whether it lies inside the upper key over its first u bytes.
  bool Step(CKorva& file, const unsigned char* key, unsigned char* buf, int u);
  bool ExactTextOk() const;
  // Runs step in the current range and the ranges after it until one answers true.
  template <class Walk>
  bool InRanges(Walk step);
  void PutEnd(CKvrBuffer& key, const CKvrBorderPt& end, int width);

  TList ops_;
  CKvrValueList values_;
  CKvrRangeList ranges_;
  int range_ = 0;
  // Exact text bounds of the current range (current layout): 0 none, else 7/8 lower, 5/4 upper.
  int exactLowerOp_ = 0;
  AnsiString exactLower_;
  int exactUpperOp_ = 0;
  AnsiString exactUpper_;
  Position saved_;
  int version_ = 110;
  int colNo_ = 0;
  CKvrColInfo colCopy_;  // the group outlives a reopening of its table and its column list
  const CKvrColInfo* col_ = nullptr;
  int keyLen_ = 0;  // the column's key length as the walk uses it
  int steps_ = 0;
  uint32_t recordId_ = 0;
  uint32_t stringId_ = 0;
  CKvrBuffer lower_;
  CKvrBuffer upper_;
  int upperLen_ = 0;
  int lastLength_ = 0;  // length of the string-value record read last
  int lowerOp_ = 0;
  int upperOp_ = 0;
  int set_ = -1;
};
