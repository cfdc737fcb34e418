// What a record table keeps under each key of its KORVA file, and the in-memory forms of the table
// information and the column definitions.
//
// Keys. Tables made now have version 110 and 8 keys; files below version 110 have the older
// layout with 21 keys. The last key always holds the continuation chunks of long bodies.
//
//   key   length 110  length older  holds
//   1     4           4             table records: information (1), version (2), columns (100 + i)
//   2     4           4             record bodies, key = record id
//   3     10          12            index entries of signed columns
//   4     10          12            index entries of unsigned columns
//   5     12          14            index entries of real columns
//   6     8           8             string references: string-value id, record id
//   7     20          20            string values of string and set columns
//   8     5           -             continuation chunks (110)
//   8-20  -           16 x key - 92 string values of the older layout, one key per text width
//   21    -           5             continuation chunks (older)
//
// Table information, record 1:   number 1 | last record id | last string-value id | column-change
// count (4 bytes each). Version record, record 2: number 2 | "KvRecord Version %d" and a NUL.
//
// Column definition, record 100 + i (column 0 is "__REC__ID__": key length 4, type 2, key 2):
//
//   record number 4 | name, NUL | key length 4 | type 4 | key number 4 | flags 4 | option text 1,
//   NUL | option text 2, NUL
//
// A definition may end after the key number (an older writer): flags 0, empty option texts.
//
// Record body, key 2: record id 4 | total length 4 (the 8 bytes included) | the stored form of
// the value of each column 1, 2, ... (a real's 6 bytes followed by its source text and a NUL).
// Columns beyond the total length read as empty. A body longer than the data capacity C of one
// record keeps C bytes under key 2 and the rest in chunks: record id 4 | chunk number 1 (0..255)
// | the next C - 5 bytes at most.
//
// Index entries, keys 3-5 (the whole record is the key):
//   column number 2 (older: 4) | stored value 4 or 6 | record id 4
//
// String values, key 7 (110), one per distinct text (a set: per distinct element) of a column:
//
//   offset  size  field
//   0       2     column number
//   2       14    the first 14 bytes of the text and its NUL, zero bytes after a shorter text
//   16      4     string-value id (from the table information's counter, from 1)
//   20      4     use count
//   24      1     n: stored length when at most 200, else 200, or 201 when byte 199 leads a pair
//   25      n     the first n bytes of the text and its NUL
//
// Bytes 0-19 are the key. Older layout, under the column's own key: column number 4 | the text and
// NUL cut or zero-filled to the key length | string-value id 4 | use count 4.
//
// String references, key 6: string-value id 4 | record id 4; one per record and distinct string
// value of each string column. A set without elements is indexed as one string value holding its
// whole (empty) text.
//
// All integers are big-endian. The classes below are plain data owned by their table.
#pragma once

#include <cstdint>

#include "platform/Classes.h"
#include "store/Kvobj.h"

class CKvrBuffer;
class CKvrValue;

constexpr int kvrVersion = 110;      // tables made now; files below it have the older layout
constexpr int kvrLockVersion = 100;  // write operations below it run without taking the table lock
constexpr const char* kvrVersionFormat = "KvRecord Version %d";
constexpr const char* kvrRecIdName = "__REC__ID__";

enum : int {
  kvrKeyTable = 1,
  kvrKeyBody = 2,
  kvrKeySigned = 3,
  kvrKeyUnsigned = 4,
  kvrKeyReal = 5,
  kvrKeyRef = 6,
  kvrKeyString = 7,
  kvrKeysCurrent = 8,
  kvrKeysOlder = 21,
};

enum : uint32_t { kvrRecInfo = 1, kvrRecVersion = 2, kvrRecColumn = 100 };

// Column option flags.
enum : uint32_t {
  kvrOptUnique = 1,
  kvrOptAutoMask = 14,
  kvrAutoSerial = 2,
  kvrAutoDate = 4,
  kvrAutoDateTime = 6,
  kvrAutoFixed = 8,
  kvrOptOnChange = 16,  // also when a record is changed
  kvrOptIfEmpty = 32,   // only to an empty value
  kvrOptAppend = 64,    // appended to a non-empty value after ","
};

constexpr int kvrTextPrefix = 14;   // text bytes inside a string-value key
constexpr int kvrTextLimit = 200;   // text bytes kept in a string-value record (201 for a pair)
constexpr int kvrChunkLimit = 256;  // continuation chunks of one body

constexpr int kvrMaxKey = 256;  // the engine's longest key

// A key handed to the engine. The engine reads as many bytes as the selected key is long, so a
// key always has kvrMaxKey readable bytes, zero after the ones set: a file whose keys are longer
// than this layout says (a damaged or foreign file) gets a wrong key, never a read past it.
struct KvrKey {
  unsigned char bytes[kvrMaxKey] = {};
  KvrKey() = default;
  explicit KvrKey(uint32_t first) { Put(0, first); }
  KvrKey(uint32_t first, uint32_t second) {
    Put(0, first);
    Put(4, second);
  }
  void Put(int at, uint32_t v) {
    bytes[at] = uint8_t(v >> 24);
    bytes[at + 1] = uint8_t(v >> 16);
    bytes[at + 2] = uint8_t(v >> 8);
    bytes[at + 3] = uint8_t(v);
  }
};

// The big-endian 32-bit number at p.
inline uint32_t KvrGet32(const unsigned char* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Key-length tables for CKorva::Create (count, then the lengths).
extern const int16_t kvrKeysOfCurrent[1 + kvrKeysCurrent];
extern const int16_t kvrKeysOfOlder[1 + kvrKeysOlder];

// Bytes of a stored text (the text and its NUL) that a string-value record keeps: all of them up
// to 200, else 200, or 201 when byte 199 is the lead byte of a pair.
int KvrKeptTextLength(const unsigned char* stored, int length);

// One column definition.
class CKvrColInfo {
 public:
  AnsiString Name;
  int32_t KeyLength = 0;
  char Type = 0;
  int32_t KeyNumber = 0;
  uint32_t Flags = 0;
  AnsiString OptText1;
  AnsiString OptText2;

  // The key length bounded to what the engine can hold, for sizing keys from a stored definition.
  int KeyBytes() const { return KeyLength < 0 ? 0 : KeyLength > kvrMaxKey ? kvrMaxKey : KeyLength; }

  // Under key 1 of the file: writes (replacing or inserting) / reads definition record `number`.
  // Read answers false when the record is missing or too short to hold a key number.
  bool Write(CKorva& file, uint32_t number) const;
  bool Read(CKorva& file, uint32_t number);
  // The seven-field column text: name, key length, type, key number, flags, option texts.
  void FromText(const AnsiString& text);
  AnsiString ToText() const;
};

// The table's columns in column order; the index is the column number of the keys. Owns them.
class CKvrColInfoList : public TList {
 public:
  CKvrColInfoList() = default;
  CKvrColInfoList(const CKvrColInfoList&) = delete;
  CKvrColInfoList& operator=(const CKvrColInfoList&) = delete;
  ~CKvrColInfoList() override;

  // Null outside the list.
  CKvrColInfo* GetAt(int i) const {
    return i >= 0 && static_cast<size_t>(i) < items_.size() ? static_cast<CKvrColInfo*>(items_[static_cast<size_t>(i)]) : nullptr;
  }
  int IndexOf(const AnsiString& name) const;  // exact bytes; -1 when none
  CKvrColInfo* Find(const AnsiString& name) const;
  CKvrColInfo* AddNew();
  void Clear() override;           // deletes the definitions, the last first
  bool Read(CKorva& file);         // definitions 100, 101, ... until one is missing; always true
  bool Write(CKorva& file) const;  // false at the first failed write
  void FromText(const AnsiString& text);
  AnsiString ToText() const;
};

// The table information record in memory, with the version read from the version record.
class CKvrTableInfo {
 public:
  int32_t KeyNumber = kvrKeyTable;
  uint32_t RecNumber = kvrRecInfo;
  uint32_t LastRecId = 0;
  uint32_t LastStringId = 0;
  uint32_t ColumnChanges = 0;
  int32_t Version = kvrVersion;

  // False when record 1 is missing or short; the version is 0 without a readable version record.
  bool Read(CKorva& file);
  bool Write(CKorva& file) const;
  // Counter 0 last record id, 1 last string-value id, 2 column-change count; read, raise, write.
  bool Increment(CKorva& file, int counter);
  void Clear();

 private:
  // The version whose text Read found in record 2 exactly as Write would write it; Write leaves
  // record 2 alone while the version is still that one.
  int64_t storedVersion_ = INT64_MIN;
};

// Option text: flags (unsigned decimal), option text 1, option text 2 as one field text.
AnsiString ColOptToText(uint32_t flags, const AnsiString& text1, const AnsiString& text2);
void TextToColOpt(const AnsiString& text, uint32_t& flags, AnsiString& text1, AnsiString& text2);
