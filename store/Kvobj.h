// CKorva: the handle through which the rest of the system uses one KORVA file.
//
// Each method maps onto one engine operation (store/KorvaEngine.h), keeps the engine's result as
// the last result where it says so, and answers true when that result is not negative. Methods
// that need a file answer false without one. The object owns its open file and closes it when
// destroyed. SelectKey calls the engine only when the key changes, so every change of the current
// key goes through it. Like the engine, an object is used by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/AnsiString.h"
#include "store/KorvaEngine.h"

// Changes that a user of a CKorva keeps back in memory while it holds the file (the record
// tables' use counts), made through the same CKorva when Settle is called. Settle(true) comes
// before the run's changed blocks are written and must make them all; Settle(false) comes
// before another hold of the file begins, so that the work it starts sees them made (a user
// may keep them back across its own holds). False when they could not be made.
class CKorvaDeferred {
 public:
  virtual bool Settle(bool writing) = 0;

 protected:
  ~CKorvaDeferred() = default;
};

class CKorva {
 public:
  CKorva() = default;
  ~CKorva();
  CKorva(const CKorva&) = delete;
  CKorva& operator=(const CKorva&) = delete;

  // Key-length tables: keys[0] = count, then that many lengths. Create leaves the file closed.
  bool Create(const AnsiString& path, int keyBlock, int dataBlock, const int16_t* keys);
  bool AddKeys(const AnsiString& path, const int16_t* keys);
  bool Open(const AnsiString& path);  // false when this object already has a file
  bool Close();
  bool SelectKey(int n);              // 1-based; true at once when n is already selected

  // Records under the selected key; buffers must hold DataBlockCap() bytes. After a read the
  // record's length is the last result.
  bool Insert(const void* record, int length);
  // As Insert, for a key above every key of the selected key: a full block gives up only its
  // last record, so records inserted in ascending order fill their blocks.
  bool Append(const void* record, int length);
  bool Delete(const void* key);
  // changes > 1: the update stands for that many of the record (the change counter rises as much).
  bool Update(const void* record, int length, int changes = 1);
  bool First(void* buffer);
  bool Read(const void* key, void* buffer);
  bool ReadLen(int& length, const void* key, void* buffer);
  bool Next(const void* key, void* buffer);
  bool Seek(const void* key, void* buffer);
  bool Prev(const void* key, void* buffer);
  bool SeekPrev(const void* key, void* buffer);
  int DataBlockCap();  // the longest record, 0 without a file
  // Reads ahead the blocks of records about to be read under the selected key: count keys, each
  // stride bytes after the one before. Not kept; the reads themselves meet any failure.
  bool Prefetch(const void* keys, int count, int stride);

  // Holds the file across a run of calls (nestable); the outermost Release writes what changed.
  bool Hold();
  bool Release();
  // The user whose kept-back changes the file's writes and holds wait for (null: none). It must
  // stay alive while it is set and the file open.
  void SetDeferred(CKorvaDeferred* deferred);
  // db_drops of the file: while it stays the same, no other handle wrote the file and no run's
  // changes were lost.
  uint32_t Drops() const;

  int LastResult() const { return last_; }
  bool HasFile() const { return file_ != nullptr; }
  // How many calls of this object failed on a block that is not what the file's structure says
  // it is (a damaged file); and how many failed on one at all, also one the system could not
  // read (a failing disk), as opposed to an ordinary answer such as a missing key. A caller
  // compares them before and after its work.
  uint32_t DamageMet() const { return damage_; }
  uint32_t Failures() const { return damage_ + unreadable_; }

  static int Check(const AnsiString& path, KorvaCheckReport* report = nullptr);
  static int Copy(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock);
  static int Salvage(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock);
  // The names of the files that belong to the file at path: its extension file n (1 to 127), and
  // the journal of its unfinished runs.
  static AnsiString ExtensionFileName(const AnsiString& path, int n);
  static AnsiString JournalFileName(const AnsiString& path);

 private:
  bool Keep(int result);
  bool KeepRead(int result);
  static int SettleForWrite(void* self);

  KorvaFile* file_ = nullptr;
  CKorvaDeferred* deferred_ = nullptr;
  int last_ = 0;
  int key_ = -1;
  uint32_t damage_ = 0, unreadable_ = 0;
};

// Holds a CKorva's file for the life of the scope.
class CKorvaHold {
 public:
  explicit CKorvaHold(CKorva& korva) : korva_(korva), held_(korva.Hold()) {}
  ~CKorvaHold() {
    if (held_) korva_.Release();
  }
  CKorvaHold(const CKorvaHold&) = delete;
  CKorvaHold& operator=(const CKorvaHold&) = delete;
  bool Held() const { return held_; }

 private:
  CKorva& korva_;
  bool held_;
};
