#include "store/Kvrcolinfo.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "store/Kvrbuffer.h"
#include "store/Kvrvalue.h"

const int16_t kvrKeysOfCurrent[1 + kvrKeysCurrent] = {kvrKeysCurrent, 4, 4, 10, 10, 12, 8, 20, 5};
const int16_t kvrKeysOfOlder[1 + kvrKeysOlder] = {kvrKeysOlder, 4,   4,   12,  12,  14,  8,   20,  36,  52,  68,
                                                  84,           100, 116, 132, 148, 164, 180, 196, 212, 228, 5};

int KvrKeptTextLength(const unsigned char* stored, int length) {
  if (length <= kvrTextLimit) return length;
  const bool lead = SjisByteKind(reinterpret_cast<const char*>(stored), kvrTextLimit - 1) == 1;
  return lead ? kvrTextLimit + 1 : kvrTextLimit;
}

namespace {

// Writes a record under the selected key, replacing the one with the same key or inserting it.
bool Put(CKorva& file, const CKvrBuffer& rec) {
  return file.Update(rec.Data(), rec.Length()) || file.Insert(rec.Data(), rec.Length());
}

// Reads record `number` of key 1 into bytes; false when missing.
bool ReadTableRecord(CKorva& file, uint32_t number, std::vector<unsigned char>& bytes, int& length) {
  const int cap = file.DataBlockCap();
  if (cap <= 0 || !file.SelectKey(kvrKeyTable)) return false;
  bytes.assign(size_t(cap) + 1, 0);  // one NUL past the longest record ends every text
  const KvrKey key(number);
  return file.ReadLen(length, key.bytes, bytes.data()) && length >= 4 && length <= cap;
}

// A NUL-ended text at pos inside length bytes; false when it runs past them.
bool TakeText(const std::vector<unsigned char>& bytes, int length, int& pos, AnsiString& text) {
  const void* end = std::memchr(bytes.data() + pos, 0, size_t(length - pos));
  if (!end) return false;
  const int n = int(static_cast<const unsigned char*>(end) - (bytes.data() + pos));
  text.assign(reinterpret_cast<const char*>(bytes.data() + pos), size_t(n));
  pos += n + 1;
  return true;
}

bool NumberField(const AnsiString& text, long long& value) {
  char* end = nullptr;
  const char* s = text.c_str();
  while (*s == ' ') ++s;
  if (*s == '\0') return false;
  value = std::strtoll(s, &end, 10);
  return end && *end == '\0';
}

}  // namespace

// ---- Column definitions ------------------------------------------------------------------------

bool CKvrColInfo::Write(CKorva& file, uint32_t number) const {
  CKvrBuffer rec(64 + int(Name.size() + OptText1.size() + OptText2.size()));
  rec.PutU32(number);
  rec.PutBytes(Name.c_str(), int(Name.size()) + 1);
  rec.PutU32(uint32_t(KeyLength));
  rec.PutU32(uint32_t(uint8_t(Type)));
  rec.PutU32(uint32_t(KeyNumber));
  rec.PutU32(Flags);
  rec.PutBytes(OptText1.c_str(), int(OptText1.size()) + 1);
  rec.PutBytes(OptText2.c_str(), int(OptText2.size()) + 1);
  return file.SelectKey(kvrKeyTable) && Put(file, rec);
}

bool CKvrColInfo::Read(CKorva& file, uint32_t number) {
  std::vector<unsigned char> bytes;
  int length = 0;
  if (!ReadTableRecord(file, number, bytes, length)) return false;
  int pos = 4;
  AnsiString name;
  if (!TakeText(bytes, length, pos, name) || pos + 12 > length) return false;
  Name = name;
  KeyLength = int32_t(KvrGet32(&bytes[size_t(pos)]));
  Type = char(KvrGet32(&bytes[size_t(pos) + 4]));
  KeyNumber = int32_t(KvrGet32(&bytes[size_t(pos) + 8]));
  pos += 12;
  Flags = 0;
  OptText1.clear();
  OptText2.clear();
  if (pos + 4 > length) return true;
  Flags = KvrGet32(&bytes[size_t(pos)]);
  pos += 4;
  if (pos < length && TakeText(bytes, length, pos, OptText1) && pos < length) TakeText(bytes, length, pos, OptText2);
  return true;
}

void CKvrColInfo::FromText(const AnsiString& text) {
  TStringList f;
  CommaTextToList(text.c_str(), f);
  auto field = [&](int i) { return i < f.Count() ? f[i] : AnsiString(); };
  auto number = [&](int i, long long def) {
    long long v = 0;
    return NumberField(field(i), v) ? v : def;
  };
  Name = field(0);
  KeyLength = int32_t(number(1, 20));
  Type = char(number(2, 3));
  KeyNumber = int32_t(number(3, 0));
  Flags = uint32_t(number(4, 0));
  OptText1 = field(5);
  OptText2 = field(6);
}

AnsiString CKvrColInfo::ToText() const {
  TStringList f;
  f.Add(Name);
  f.Add(IntToStr(KeyLength));
  f.Add(IntToStr(Type));
  f.Add(IntToStr(KeyNumber));
  f.Add(UIntToStr(Flags));
  f.Add(OptText1);
  f.Add(OptText2);
  return ListToCommaText(f);
}

// ---- Column list -------------------------------------------------------------------------------

CKvrColInfoList::~CKvrColInfoList() { Clear(); }

int CKvrColInfoList::IndexOf(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (GetAt(i)->Name == name) return i;
  return -1;
}

CKvrColInfo* CKvrColInfoList::Find(const AnsiString& name) const { return GetAt(IndexOf(name)); }

CKvrColInfo* CKvrColInfoList::AddNew() {
  auto* c = new CKvrColInfo;
  Add(c);
  return c;
}

void CKvrColInfoList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete GetAt(i);
  TList::Clear();
}

bool CKvrColInfoList::Read(CKorva& file) {
  for (uint32_t n = kvrRecColumn;; ++n) {
    auto* c = new CKvrColInfo;
    if (!c->Read(file, n)) {
      delete c;
      return true;
    }
    Add(c);
  }
}

bool CKvrColInfoList::Write(CKorva& file) const {
  for (int i = 0; i < Count(); ++i)
    if (!GetAt(i)->Write(file, kvrRecColumn + uint32_t(i))) return false;
  return true;
}

void CKvrColInfoList::FromText(const AnsiString& text) {
  Clear();
  TStringList columns;
  CommaTextToList(text.c_str(), columns);
  for (int i = 0; i < columns.Count(); ++i) AddNew()->FromText(columns[i]);
}

AnsiString CKvrColInfoList::ToText() const {
  TStringList columns;
  for (int i = 0; i < Count(); ++i) columns.Add(GetAt(i)->ToText());
  return ListToCommaText(columns);
}

// ---- Table information -------------------------------------------------------------------------

bool CKvrTableInfo::Read(CKorva& file) {
  std::vector<unsigned char> bytes;
  int length = 0;
  if (!ReadTableRecord(file, kvrRecInfo, bytes, length) || length < 16) return false;
  LastRecId = KvrGet32(&bytes[4]);
  LastStringId = KvrGet32(&bytes[8]);
  ColumnChanges = KvrGet32(&bytes[12]);
  Version = 0;
  storedVersion_ = INT64_MIN;
  int version = 0;
  if (ReadTableRecord(file, kvrRecVersion, bytes, length) &&
      std::sscanf(reinterpret_cast<const char*>(&bytes[4]), kvrVersionFormat, &version) == 1) {
    Version = version;
    const AnsiString text = Format(kvrVersionFormat, version);
    if (size_t(length) == text.size() + 5 && std::memcmp(&bytes[4], text.c_str(), text.size() + 1) == 0)
      storedVersion_ = version;
  }
  return true;
}

bool CKvrTableInfo::Write(CKorva& file) const {
  CKvrBuffer info(16);
  info.PutU32(RecNumber);
  info.PutU32(LastRecId);
  info.PutU32(LastStringId);
  info.PutU32(ColumnChanges);
  const AnsiString text = Format(kvrVersionFormat, Version);
  CKvrBuffer version(int(text.size()) + 5);
  version.PutU32(kvrRecVersion);
  version.PutBytes(text.c_str(), int(text.size()) + 1);
  return file.SelectKey(KeyNumber) && Put(file, info) && (storedVersion_ == Version || Put(file, version));
}

bool CKvrTableInfo::Increment(CKorva& file, int counter) {
  if (counter < 0 || counter > 2 || !Read(file)) return false;
  uint32_t* counters[] = {&LastRecId, &LastStringId, &ColumnChanges};
  ++*counters[counter];
  return Write(file);
}

void CKvrTableInfo::Clear() { LastRecId = LastStringId = ColumnChanges = 0; }

// ---- Option text -------------------------------------------------------------------------------

AnsiString ColOptToText(uint32_t flags, const AnsiString& text1, const AnsiString& text2) {
  TStringList f;
  f.Add(UIntToStr(flags));
  f.Add(text1);
  f.Add(text2);
  return ListToCommaText(f);
}

void TextToColOpt(const AnsiString& text, uint32_t& flags, AnsiString& text1, AnsiString& text2) {
  TStringList f;
  CommaTextToList(text.c_str(), f);
  long long v = 0;
  flags = f.Count() > 0 && NumberField(f[0], v) ? uint32_t(v) : 0;
  text1 = f.Count() > 1 ? f[1] : AnsiString();
  text2 = f.Count() > 2 ? f[2] : AnsiString();
}
