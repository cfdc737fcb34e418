// CKvRecord: one record table over one KORVA file, laid out as store/Kvrcolinfo.h states.
//
// The table owns its file handle (while open), its column list, its record buffer and the state
// of one running query (condition group, sub-conditions, enumeration). Every other unit reaches a
// table through CreateKvRecord and the virtual operations below, in this order; a table on a
// record server is a subclass that overrides some of them. One thread at a time uses an object.
//
// Results: bool operations answer true on success; Open answers 0 opened now, 1 already open, -1
// failed; Close 0 closed, 1 was not open; the non-blocking reads 1 a result, 0 call again, -1 end;
// CopyTo, AppendTo and ReIndex a count or -1. Failures that the user must see are shown through
// ReportError by the operation that meets them; the storage steps report nothing.
//
// Every operation that touches the file runs inside one held run of the engine (CKvrLock), so the
// file's lock and header are taken once per operation, not once per engine call. A write that
// fails takes back what it wrote: index entries, string references, and a record body it had
// replaced, so a table never loses a record or keeps half of one.
//
// The query operations (conditions, record reads, enumerations) and GetColValue live in
// store/KvRecordQuery.cpp with the classes they use; this header only names those classes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Classes.h"
#include "store/Kvobj.h"
#include "store/Kvrbuffer.h"
#include "store/Kvrcolinfo.h"
#include "store/Kvrvalue.h"

// Stop request of a running folder expansion: while not 0, the enumerations of distinct values
// answer at once or end their walk. Written by the user-interface thread, read by the walkers.
extern std::atomic<int> ExpandAbort;

class CKvrCondControl;
class CCondMod;
class CSubCondList;
class CSubCondListList;

// Progress of EnumList2: called with the count listed so far; below 0 stops the walk.
using KvrEnumProgress = int (*)(int count);
// Progress of ReIndex: called with the context and the bodies visited so far; below 0 stops.
using KvrProgress = int (*)(void* context, int count);

// The table's hold on its file for one operation. Taking it succeeds when the handle has a file
// and the engine granted the hold; releasing writes what the run changed. Release answers false
// when those changes could not be written (then they are lost, and the operation failed). Holds
// nest: a caller that runs many operations in a row (an import) may hold the table's File()
// around them, so the file is locked and written once for all of them.
class CKvrLock {
 public:
  explicit CKvrLock(CKorva* file);
  ~CKvrLock();
  CKvrLock(const CKvrLock&) = delete;
  CKvrLock& operator=(const CKvrLock&) = delete;
  bool Taken() const { return taken_; }
  bool Release();

 private:
  CKorva* file_;
  bool taken_;
};

// Findings of a table's check (CKvRecord::CheckTable): what the record bodies call for that the
// table's keys lack, and what the keys hold that no record calls for.
struct KvrTableCheck {
  int records = 0;         // bodies read whole and decoded
  int badBodies = 0;       // bodies incomplete, or whose values do not fill their stored length
  int missingEntries = 0;  // index entries and string references a record needs and lacks
  int extraEntries = 0;    // index entries and references that no record needs
  int missingValues = 0;   // indexed texts of records without their string value
  int orphanValues = 0;    // string values that no record holds, or a second one of one text
  int wrongCounts = 0;     // use counts other than the references written for them
  bool counterBehind = false;  // an id in use above its counter in the table information
  bool Sound() const {
    return badBodies == 0 && missingEntries == 0 && extraEntries == 0 && missingValues == 0 && orphanValues == 0 &&
           wrongCounts == 0 && !counterBehind;
  }
};

class CKvRecord : private CKorvaDeferred {
 public:
  CKvRecord();
  virtual ~CKvRecord();
  CKvRecord(const CKvRecord&) = delete;
  CKvRecord& operator=(const CKvRecord&) = delete;

  // ---- The table's operations, in their fixed order ----
  virtual void SetFileName(const AnsiString& name);
  virtual int Open();
  virtual int Close();
  virtual bool Create();
  virtual bool OpenOrCreate();
  virtual bool DelFile();
  virtual bool AddColumn(const AnsiString& name, char type, int length);
  virtual bool Insert(const TStrings& names, const TStrings& texts);
  virtual bool GetRec(CKvrValueList& values);
  virtual bool GetRecNoSub(CKvrValueList& values);
  virtual int GetRecNBNoSub(CKvrValueList& values);
  virtual int GetRecNB(CKvrValueList& values);
  // Fills `list` (made when null; the caller owns it then) with the column names.
  virtual TStrings* ListCol(TStrings* list);
  virtual bool ReplaceData(CKvrValueList& values);
  virtual bool EnumList2(TStrings& list, const AnsiString& column, int cut, KvrEnumProgress progress);
  virtual bool DelRecById(const AnsiString& id);
  virtual bool ChgRecById(const AnsiString& id, int column, const AnsiString& text);
  virtual bool GetIdByKey(const AnsiString& column, const AnsiString& text, unsigned& number);
  virtual void ClearCond();
  virtual void AddCond(const AnsiString& column, int op, const AnsiString& text);
  virtual void AddCondEnd();
  virtual void AddEnumCol(const AnsiString& column);
  virtual void GetEnum(const AnsiString& column, TStrings& list);
  virtual bool AddSubCond(const AnsiString& column, int op, const AnsiString& text);
  virtual bool AddSubCondEnd();
  virtual bool GetColValue(const AnsiString& column, AnsiString& text);
  virtual bool SetEnumCol(const AnsiString& column, int cut);
  virtual int GetEnumNB(TStrings& list);
  virtual bool InsertRaw(CKvrValueList& values);
  virtual int CopyTo(const AnsiString& target);
  virtual int AppendTo(const AnsiString& target);
  virtual bool DelRecByCond();
  virtual void SetBasePath(const AnsiString& path);
  virtual int MakeValueList(CKvrValueList& values, const TStrings& texts);
  virtual bool ReplaceDataEx(CKvrValueList& values, CKvrValueList* old);
  virtual bool InsertEx(const TStrings& names, const TStrings& texts, unsigned* id, unsigned requested);
  virtual bool DelRecByIdEx(const AnsiString& id, CKvrValueList* old);
  virtual bool ChgRecByIdEx(const AnsiString& id, int column, const AnsiString& text, CKvrValueList* old);
  virtual int GetEnumNB_a(CKvrValueList& values, TStrings& list);
  virtual void AcceptEnum_a(const TStrings& list);
  virtual bool GetHighest(const AnsiString& column, AnsiString& text);
  virtual bool GetLeast(const AnsiString& column, AnsiString& text);
  virtual bool WriteColInfoList();
  virtual int ReIndex(KvrProgress progress, void* context);

  // Called by CopyTo with the context and the records copied so far, before each record; a
  // negative answer stops the copy, which then fails. Null (the default): none.
  void SetProgress(KvrProgress progress, void* context) {
    Progress_ = progress;
    ProgressContext_ = context;
  }

  // Checks the table's own invariants against its record bodies (every record's entries and
  // references present and none else, use counts, counters): the record count, or -1 when the
  // table is damaged or cannot be read (the findings in report). A table of the older layout is
  // checked for its bodies only.
  int CheckTable(KvrTableCheck* report = nullptr);
  // What the table's keys hold and what its bodies call for (store/KvRecordRepair.cpp).
  struct Inventory;
  // The table's file was found damaged in this process (a block that could not be read or that
  // is not what the file's structure says, a body whose values do not fill it): the writes of
  // every table object of the file are refused until ReIndex mends it or the data check puts a
  // new file in its place.
  bool DamageFound() const;

  // MatchValueOp with this table's ordering, so a test made here orders as its indexes do.
  bool MatchOp(const CKvrValue* a, int op, const CKvrValue* b) const;

  // Index key length and key number of a new column of this table's layout; -1 for a type
  // outside 1 to 5 (and, in the older layout, a text longer than its widest key).
  int KeyLength(char type, int length) const;
  int KeyNumber(char type, int keyLength) const;

  // ---- Storage steps ----
  // Used by the operations above and by the query side. They expect the table open (normally
  // under a CKvrLock), report nothing and answer false (-1) at the first engine call that fails.
  // Value lists hold element 0, the record id, which bodies and entries leave out. A write step
  // that fails takes back what it wrote itself.

  // Entries of one value of column `col` (number colNo); a null value stands for an empty one.
  bool WriteIndexEntry(const CKvrColInfo& col, const CKvrValue* value, uint32_t id, int colNo);
  bool RemoveIndexEntry(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo);
  bool HasIndexEntry(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo);
  // Writes the entries of the value that record id lacks (a set's missing elements only) and
  // appends to `written` one value per entry written, to be taken back with RemoveIndexEntry.
  // On failure what it wrote is taken back and removed from `written`.
  bool WriteMissingEntries(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo,
                           CKvrValueList& written);
  // -1 failure (nothing left written), 0 same key images, n > 0 changed.
  int AddChangedEntries(const CKvrColInfo& col, const CKvrValue& now, const CKvrValue& old, uint32_t id, int colNo);
  // Removes the entries that value a has and value b has not.
  bool RemoveChangedEntries(const CKvrColInfo& col, const CKvrValue& a, const CKvrValue& b, uint32_t id, int colNo);
  static bool KeyImagesDiffer(const CKvrColInfo& col, const CKvrValue& a, const CKvrValue& b);
  bool AddStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo);
  bool RemoveStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo);
  bool HasStringRef(const CKvrColInfo& col, const CKvrValue& value, uint32_t id, int colNo);
  // Whether a record other than id refers to string value stringId (own: id does); true also when
  // the references cannot be read.
  bool ReferredByOther(uint32_t stringId, uint32_t id, bool& own);
  // Current layout: the string-value record of the value's text into buf; false when none.
  bool FindStringValue(CKvrBuffer& buf, const CKvrColInfo& col, const CKvrValue& value, int colNo);
  static void MakeStringValueRecord(CKvrBuffer& buf, const CKvrColInfo& col, int colNo, const CKvrValue& value,
                                    uint32_t stringId, uint32_t useCount);
  // The body of values 1, 2, ... of the list under the given id.
  static void MakeRecordBody(CKvrBuffer& buf, uint32_t id, const CKvrValueList& values);
  // newest: the id is above every record id of the table (a new record's), so the body and its
  // chunks are appended and records inserted one after another fill their blocks.
  bool WriteRecordBody(const CKvrValueList& values, uint32_t id, bool newest = false);
  // Writes a body image made by MakeRecordBody: all of it, or nothing.
  bool WriteBodyImage(const CKvrBuffer& body, bool newest = false);
  // The whole body of record `id` into buf (chunks included); false when missing or incomplete.
  bool ReadRecordBody(uint32_t id, CKvrBuffer& buf);
  bool ReadBodyChunks(CKvrBuffer& buf);
  bool DeleteRecordBody(uint32_t id);
  // Values of every column from a body; element 0 the record id, columns the body lacks empty.
  // Answers how many columns (from 1 on) the body holds, or -1 when its values do not fill its
  // stored length exactly (a damaged body; what could be read is in values).
  static int DecodeRecord(CKvrValueList& values, const CKvrBuffer& buf, const CKvrColInfoList& cols);
  // The texts a string or set value is indexed by: a set's distinct elements, or its whole text
  // when it has none; a string itself.
  static std::unique_ptr<CKvrValueList> IndexedTexts(const CKvrValue& v);
  // The index entry of a signed, unsigned or real value: column number, stored value, record id.
  static void NumberEntry(CKvrBuffer& entry, int colNo, bool current, const CKvrValue& value, uint32_t id);

  // Fills an automatic value into element `column` of a record; true when it set the value.
  bool SetAutoValue(CKvrValue& value, int column, bool onChange);
  // Replaces record `id`'s values old by now; on failure the record stays as it was and
  // `error` holds the message to show (empty when there is none).
  bool ReplaceRecord(uint32_t id, CKvrValueList& now, CKvrValueList& old, AnsiString& error);

  const AnsiString& FileName() const { return FileName_; }
  int Version() const { return Version_; }
  int KeyCount() const { return KeyCount_; }
  CKorva* File() const { return Korva_; }
  CKvrColInfoList* Columns() const { return Cols_; }
  // Records the query reads have looked at so far (bodies read for a test), so that the bound on
  // one non-blocking read can be checked.
  uint64_t Candidates() const { return Candidates_; }

 protected:
  // Frees the query side's state (evaluator, cursor, condition lists, sub-conditions); defined
  // with the query operations.
  void DeleteQueryState();
  // The record-id or string-value counter of the table information raised by one; 0 on failure.
  uint32_t NextCounter(int counter);
  // Highest (or lowest) value of column colNo as text, by the current-layout key.
  bool ExtremeText(int colNo, bool highest, AnsiString& text);
  // The bodies of key 2 in id order: the first (after == 0) or the one after record `after`.
  bool NextBody(uint32_t after, bool first, CKvrBuffer& buf);

  // Damage met. NoteDamage: when the file handle met damage since the last look (or bodyDamaged),
  // marks the table damaged and shows the message that names the repair (a damaged body once per
  // query); when it met a block the system could not read, says so; true in both cases.
  // RefuseDamaged: a write of a damaged table shows that message and is refused (true).
  bool NoteDamage(bool bodyDamaged = false);
  bool RefuseDamaged();
  void SetDamaged(bool damaged);
  // Calls NoteDamage when the operation it spans ends.
  class DamageWatch {
   public:
    explicit DamageWatch(CKvRecord& table) : table_(table) {}
    ~DamageWatch() { table_.NoteDamage(); }
    DamageWatch(const DamageWatch&) = delete;
    DamageWatch& operator=(const DamageWatch&) = delete;

   private:
    CKvRecord& table_;
  };
  bool BodyDamageShown_ = false;  // a damaged body was shown in the running query
  uint32_t DamageSeen_ = 0;       // the file handle's DamageMet() and Failures() last looked at
  uint32_t FailuresSeen_ = 0;
  // fill, when given, sees each decoded body first (its id, body, values and the columns it
  // holds) and may write the record again.
  using BodyFill = std::function<void(uint32_t id, CKvrBuffer& body, CKvrValueList& values, int& held)>;
  bool TakeInventory(Inventory& inv, KvrProgress progress, void* context, const BodyFill& fill);
  // ReIndex of a table of the older layout: adds the entries its records lack.
  int ReIndexMissing(KvrProgress progress, void* context);

  // The table information of one write operation that holds the file: read once, its counters
  // raised in memory by NextCounter and written once. Null outside such an operation.
  class HeldCounters;
  CKvrTableInfo* HeldInfo_ = nullptr;

  // Texts and ids of the string values of crowded prefix groups, noted while looking values up,
  // so that a look-up need not walk such a group again (store/KvRecordIndex.cpp). Owned; made on
  // first need, forgotten when the table closes.
  class StringDirectory;
  StringDirectory* Strings_ = nullptr;
  void ForgetStringValues();
  // The directory after a check against the table information (forgotten when stale); made when
  // missing and make is set. Null when there is none.
  StringDirectory* CheckedStrings(bool make);
  // Tells the directory and the string cache that this object wrote (id != 0) or deleted
  // (id == 0) the string-value record rec.
  void NoteStringValue(const unsigned char* rec, uint32_t id);

  // The string cache (store/KvRecordIndex.cpp): the ids of string values this object met while
  // inserting, the use-count rises it keeps back, and the references and number entries it keeps
  // back. While an insert holds the file, a text the cache knows costs only its reference, and
  // references and entries are gathered and added in key order, many to a block. What is kept
  // back is written before the file's changed blocks are written (CKorva calls Settle), before any
  // other hold of the file begins, and before this object takes an index entry away, looks one up
  // or lowers a use count.
  // The cache holds while the file's drops (CKorva::Drops) stay the same; it is forgotten when
  // the table closes.
  class StringCache;
  StringCache* Cache_ = nullptr;
  bool Inserting_ = false;  // inside InsertEx or InsertRaw
  class InsertScope;
  bool Settle(bool writing) override;
  // Writes the kept-back references, then the kept-back use counts; false when one could not be
  // written (the cache is then forgotten, and the run that holds the file must not be written:
  // KeptLost_ makes the run's end fail).
  bool WriteKept();
  bool WriteKeptRefs();
  bool WriteKeptEntries();
  bool WriteKeptCounts();
  bool KeptLost_ = false;
  // What was kept back could not be written: forgets the cache and fails the run's end; false.
  bool LoseKept();
  // Adds the reference of record id to string value stringId, kept back in the cache.
  bool KeepRef(uint32_t stringId, uint32_t id);
  // Adds the entry of a number column (its key number and bytes), kept back in the cache.
  bool KeepEntry(int keyNumber, const CKvrBuffer& entry);
  void ForgetStringCache();
  // Notes the string value rec (whose reference was just added) in the cache.
  void NoteInCache(const unsigned char* rec, uint32_t stringId);
  // The cache while inserts may keep counts back (made when missing), else null.
  StringCache* InsertCache();

  // Query state (owned; made and used by the query side).
  CKvrCondControl* Cursor_ = nullptr;  // walk of a group whose conditions are on the record id only
  CCondMod* CondMod_ = nullptr;        // evaluator of the open group, null when none
  AnsiString FirstCondCol_;            // the group's first condition column, its operators and texts
  TList* FirstCondOps_ = nullptr;
  TStringList* FirstCondTexts_ = nullptr;
  CSubCondList* SubAnd_ = nullptr;     // sub-condition AND list being built
  CSubCondListList* SubOr_ = nullptr;  // OR of the finished AND lists
  // A condition column of the group that the table does not have (the first one met), empty when
  // none: the query side sets it when it drops such a condition and clears it with the group.
  // DelRecByCond refuses to delete while it is set.
  AnsiString DroppedCondCol_;
  // Enumeration state.
  int EnumCol_ = -1;
  AnsiString EnumName_;
  int EnumCut_ = 0;
  CKvrColInfo* EnumInfo_ = nullptr;
  TStringList* Delivered_;  // sorted texts already delivered
  uint64_t Candidates_ = 0;
  KvrProgress Progress_ = nullptr;
  void* ProgressContext_ = nullptr;

  CKvrBuffer* RecBuf_;  // the body being read or written
  CKvrValueList* InsertValues_;  // the values of the insert running or last run (InsertEx)
  int KeyCount_ = kvrKeysCurrent;
  AnsiString BasePath_;
  bool EucOrder_ = false;  // set by the record-server table
  AnsiString FileName_;
  CKorva* Korva_ = nullptr;          // null while closed
  CKvrColInfoList* Cols_ = nullptr;  // null while closed
  int Version_ = kvrVersion;
};

// A table object for a file name: a table on a record server (CKvRecRemote) for a name beginning
// with "//", else a local one. The caller owns it; nothing is opened.
CKvRecord* CreateKvRecord(const AnsiString& name);

// Compares a with b by operator code 4-12 (store/CondOp.h); false for null values or other codes.
// With euc set, the orderings 4, 5, 7, 8 rank texts as their EUC-JP forms rank.
bool MatchValueOp(const CKvrValue* a, int op, const CKvrValue* b, bool euc);

// The next serial text: the rightmost digit or letter raised with carry ("A9" -> "B0"); a text
// without one to raise gets "-000" appended. The next serial number: the text as a number plus 1
// ("ERROR" when it is no number).
AnsiString NextSerialText(const AnsiString& text);
// The check of a table file (CKvRecord::CheckTable) for the check of a whole file (CKorva::Check):
// the record count, -1 when damaged, kvrNotATable when the file holds no record table.
constexpr int kvrNotATable = -2;
int KvrCheckTableFile(const AnsiString& path, KvrTableCheck* report = nullptr);
AnsiString NextSerialNumber(const AnsiString& text);
