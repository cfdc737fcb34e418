// Typed field values of the record tables, their stored forms, and the Shift_JIS text helpers
// that go with them (set elements, LIKE, EUC ordering, field texts).
//
// Stored forms; comparing two stored forms of one type byte by byte, unsigned, gives the order
// of the values, which the index keys rely on:
//
//   type  value               stored form                                             length
//   1     signed integer      32 bits, sign bit inverted, most significant byte first   4
//   2     unsigned integer    32 bits, most significant byte first                      4
//   3     string              the bytes, then one NUL                                   text + 1
//   4     real                6-byte decimal form (below)                               6
//   5     set                 elements joined by ",", then one NUL                      text + 1
//
// Real: value = m x 10^e with m a 9-digit decimal mantissa (first digit not 0) or 0.
//   byte 0     positive: 0x80 | (e + 64); negative: 127 - (e + 64), top bit clear;
//              e + 64 clamped to 0..127 (the value of a real outside that range is lost)
//   bytes 1-4  m (negated for a negative value) with its sign bit inverted, big-endian
//   byte 5     0
//   zero is 80 80 00 00 00 00; a text that is no number is FF FF FF FF FF FF, after every number.
//
// An integer text outside its type's range (signed -2147483648 .. 2147483647, unsigned
// 0 .. 4294967295) never wraps: the value notes the number (Beyond), its stored form holds the
// nearest bound, and it compares below or above every value of its type. The tables refuse to
// store such a value; a condition on one finds what lies on its side of the range.
//
// In a record image a value is its stored form; a real's 6 bytes are followed by its source
// text and a NUL. SetStored reads such an image only inside the bytes it is given.
//
// A value owns its stored bytes and its source text; values are plain objects that one thread
// at a time uses.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/AnsiString.h"
#include "platform/Classes.h"

// Value types; the column types of the tables use the same numbers.
constexpr char kvrSigned = 1;
constexpr char kvrUnsigned = 2;
constexpr char kvrString = 3;
constexpr char kvrReal = 4;
constexpr char kvrSet = 5;

class CKvrValueList;

class CKvrValue {
 public:
  CKvrValue();                                // an empty string value
  explicit CKvrValue(char type);              // an empty value of the type (stored bytes zero)
  explicit CKvrValue(unsigned value);         // an unsigned value holding the number
  CKvrValue(const char* bytes, int n);        // a string value of n bytes (null bytes: "")
  CKvrValue(const CKvrValue& other);
  CKvrValue& operator=(const CKvrValue& other);
  ~CKvrValue();

  void Assign(const CKvrValue& other);
  CKvrValue* Clone() const;  // the caller owns the copy
  // Frees the stored bytes and the source text; stored length 0, empty.
  void Clear();
  // Makes this an empty value of the type, as CKvrValue(type) makes one, keeping the memory it
  // has, so that a value read again and again allocates only when a longer one comes.
  void Reset(char type);

  // Sets the value from a text by its type (for the integers white space, a sign and decimal
  // digits, as "%d" reads them; the real form for reals); the text is kept as the source text of
  // integers and reals.
  void SetText(const char* text);
  void SetTypeText(char type, const char* text);
  // Reads a value of this value's type from a record image of `avail` bytes. Returns the bytes
  // taken, or -1 when the image ends early, a text lacks its NUL inside it, or the type is not
  // one of 1 to 5; the value is then left empty.
  int SetStored(const unsigned char* image, int avail);
  // The same for a value of the type given, whatever this value held before.
  int SetStored(char type, const unsigned char* image, int avail) {
    type_ = type;
    return SetStored(image, avail);
  }

  // The source text when there is one, else the value written by its type ("" for an empty
  // integer); "#ERROR#" for an unknown type.
  AnsiString GetText() const;
  // The bytes of GetText's text, without making a string: the value's own, or a number written
  // into room (kTextRoom bytes); the length goes to n. Valid while the value and room are.
  static constexpr size_t kTextRoom = 32;
  const char* TextBytes(char* room, size_t& n) const;
  int GetSigned() const;
  unsigned GetUnsigned() const;
  double GetReal() const;
  AnsiString GetString() const;  // the stored bytes up to their first NUL
  // True when the value counts as not given (the automatic column values fill those).
  bool IsBlank() const;
  // Adds carry to the stored bytes first..last as one big-endian number, from `last` towards
  // `first` while a carry remains; indexes outside the stored bytes are left alone.
  void AddAt(int first, int last, int carry);

  // Negative, zero or positive. Texts compare as unsigned bytes; a set on the left compares
  // equal to each of its elements and otherwise ranks as its last element does.
  static int Compare(const CKvrValue& a, const CKvrValue& b);
  // As Compare, with Shift_JIS texts ranked as their EUC-JP forms rank.
  static int CompareEuc(const CKvrValue& a, const CKvrValue& b);
  // Whether value a matches the LIKE pattern b: a string against a string pattern, or any
  // element of a set against a string or set pattern. '%' stands for any run of characters and
  // '\' makes the next character literal, both only as characters of their own; every way of
  // placing the runs is tried.
  static bool Like(const CKvrValue& a, const CKvrValue& b);

  // For a set: appends one new string value per distinct, non-empty element to the list.
  void SplitSet(CKvrValueList& list) const;

  char Type() const { return type_; }
  bool IsEmpty() const { return empty_; }
  const unsigned char* Stored() const { return data_; }
  int StoredLength() const { return length_; }
  // The number of an integer text beyond its type's range (saturated far outside it; negative
  // below the range, positive above it), 0 for every other value.
  long long Beyond() const { return beyond_; }
  // The text the value was set from, or null when there is none.
  const char* SourceText() const { return hasSource_ ? source_.get() : nullptr; }

 private:
  void SetBytes(const unsigned char* bytes, int n);
  void SetSource(const char* text, size_t n);
  void SetRealText(const char* text);
  // Empty, stored length 0, no source text; the memory blocks stay for the next value.
  void Blank();
  // The stored text: up to the first NUL inside the stored bytes.
  size_t TextLength() const;

  unsigned char inline_[8];
  bool empty_;
  bool hasSource_ = false;
  unsigned char* data_;  // inline_, or heap_ when the stored form is longer than 8
  int32_t length_;
  long long beyond_ = 0;
  int32_t heapSize_ = 0;
  int32_t sourceSize_ = 0;
  int32_t sourceLength_ = 0;  // of the source text while hasSource_
  std::unique_ptr<unsigned char[]> heap_;
  std::unique_ptr<char[]> source_;  // the source text while hasSource_
  char type_;
};

// One record's values in column order (value 0 is the record id); owns its values.
//
// Clearing the list keeps its values aside (up to a few hundred), memory and all, and Reuse hands
// them out again, so that a list filled record after record (a query's current values) allocates
// only while its records grow.
class CKvrValueList : public TList {
 public:
  CKvrValueList() = default;
  CKvrValueList(const CKvrValueList&) = delete;
  CKvrValueList& operator=(const CKvrValueList&) = delete;
  ~CKvrValueList() override;

  // Null outside 0 .. Count() - 1.
  CKvrValue* GetAt(int i) const {
    return i >= 0 && static_cast<size_t>(i) < items_.size() ? static_cast<CKvrValue*>(items_[static_cast<size_t>(i)]) : nullptr;
  }
  void ClearValues();             // empties the list, the values kept aside for Reuse
  void Clear() override { ClearValues(); }
  // A value for the list to own, of the type and empty (as CKvrValue(type) makes one): one kept
  // aside by an earlier clearing when there is one, else a new one. The caller adds it.
  CKvrValue* Reuse(char type);
  CKvrValueList* Clone() const;   // the caller owns the copy and its values
  // Index of the last value that compares equal to value, or -1.
  static int IndexOf(const CKvrValueList& list, const CKvrValue& value);

 private:
  static constexpr size_t kSpareLimit = 256;  // values kept aside at most; more are deleted
  std::vector<std::unique_ptr<CKvrValue>> spare_;
};

// Shift_JIS helpers. A lead byte followed by a byte that is not NUL makes one two-byte character;
// every other byte is a character of its own.
//
// Kind of byte i of a NUL-ended text: 0 a single-byte character, 1 the lead byte of a pair,
// 2 its trail byte. An index at or past the NUL gives 0.
int SjisByteKind(const char* text, int i);
// The literal text of a LIKE pattern before its first unescaped "%" ("\" escapes the next
// character and is dropped); "" for a null pattern.
AnsiString LikePrefix(const char* pattern);
// A table on a record server: the name begins with "//".
bool IsRemoteName(const char* name);

// Field texts: a list of texts in one line. A text holding a double quote, an apostrophe, a
// comma, a blank, CR, LF or tab is written in double quotes with inner double quotes doubled.
// Reading appends to the list; "" gives no texts; a text ends at ",", CR or LF outside quotes;
// a quoted part (double quotes or apostrophes, doubled to stand for one) may stand anywhere in
// a text; blanks around a text outside quotes are dropped. A lead byte makes a pair only with a
// proper trail byte after it, so a stray one never hides a separator or a closing quote.
AnsiString ListToCommaText(const TStrings& list);
void CommaTextToList(const char* text, TStrings& list);
// The values' texts in column order as one field text.
AnsiString ValuesToCommaText(const CKvrValueList& list);
