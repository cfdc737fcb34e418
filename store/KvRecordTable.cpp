// Whole-table operations of the record tables: the highest and lowest value of a column, the use
// count of a text, copying a table into a new file, appending it to another, and re-indexing.
#include <cstring>
#include <memory>
#include <vector>

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"

namespace {

// The text of a string-value record (its kept bytes, without a NUL).
AnsiString KeptText(const unsigned char* rec, int length) {
  const int n = std::min(int(rec[24]), length - 25);
  if (n <= 0) return AnsiString();
  const void* nul = std::memchr(rec + 25, 0, size_t(n));
  const int size = nul ? int(static_cast<const unsigned char*>(nul) - (rec + 25)) : n;
  return AnsiString(reinterpret_cast<const char*>(rec + 25), size_t(size));
}

}  // namespace

// ---- Column lookups ----------------------------------------------------------------------------

bool CKvRecord::ExtremeText(int colNo, bool highest, AnsiString& text) {
  const CKvrColInfo* col = Korva_ ? Cols_->GetAt(colNo) : nullptr;
  if (!col) return false;
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer buf(cap);
  buf.SetLength(cap);
  if (!Korva_->SelectKey(col->KeyNumber)) return false;
  if (col->KeyNumber == kvrKeyBody) {
    // The record-id column: the ids are the keys of the bodies.
    if (!(highest ? Korva_->SeekPrev(KvrKey(0xFFFFFFFF).bytes, buf.Data()) : Korva_->First(buf.Data()))) return false;
    text = UIntToStr(KvrGet32(buf.Data()));
    return true;
  }
  CKvrBuffer key(kvrMaxKey + 2);
  key.PutU16(unsigned(colNo));
  key.Fill(highest ? 0xFF : 0, col->KeyBytes());
  if (!(highest ? Korva_->SeekPrev(key.Data(), buf.Data()) : Korva_->Seek(key.Data(), buf.Data()))) return false;
  int length = Korva_->LastResult();
  const unsigned char* r = buf.Data();
  if (length < 2 || r[0] != uint8_t(colNo >> 8) || r[1] != uint8_t(colNo)) return false;
  if (col->Type == kvrString || col->Type == kvrSet) {
    if (length < 25) return false;
    // Entries of one 14-byte prefix are ordered by string-value id, not by text: look at them all.
    AnsiString best = KeptText(r, length);
    unsigned char group[16];
    KvrKey at;
    std::memcpy(group, r, sizeof group);
    std::memcpy(at.bytes, r, size_t(std::min(length, kvrMaxKey)));
    while (highest ? Korva_->Prev(at.bytes, buf.Data()) : Korva_->Next(at.bytes, buf.Data())) {
      length = Korva_->LastResult();
      if (length < 25 || std::memcmp(buf.Data(), group, sizeof group) != 0) break;
      const AnsiString t = KeptText(buf.Data(), length);
      if (highest ? t > best : t < best) best = t;
      std::memcpy(at.bytes, buf.Data(), size_t(std::min(length, kvrMaxKey)));
    }
    text = best;
    return true;
  }
  // A number: its stored form follows the column number (a real's also needs its empty source text).
  CKvrValue v(col->Type);
  unsigned char image[8] = {};
  const int width = col->Type == kvrReal ? 6 : 4;
  if (length < 2 + width) return false;
  std::memcpy(image, r + 2, size_t(width));
  if (v.SetStored(image, width + 1) < 0) return false;
  text = v.GetText();
  return true;
}

bool CKvRecord::GetHighest(const AnsiString& column, AnsiString& text) {
  if (!Korva_ || Version_ < kvrVersion) return false;
  const int colNo = Cols_->IndexOf(column);
  CKvrLock lock(Korva_);
  const DamageWatch watch(*this);
  return colNo >= 0 && ExtremeText(colNo, true, text);
}

bool CKvRecord::GetLeast(const AnsiString& column, AnsiString& text) {
  if (!Korva_ || Version_ < kvrVersion) return false;
  const int colNo = Cols_->IndexOf(column);
  CKvrLock lock(Korva_);
  const DamageWatch watch(*this);
  return colNo >= 0 && ExtremeText(colNo, false, text);
}

bool CKvRecord::GetIdByKey(const AnsiString& column, const AnsiString& text, unsigned& number) {
  const int colNo = Korva_ ? Cols_->IndexOf(column) : -1;
  const CKvrColInfo* col = Cols_ ? Cols_->GetAt(colNo) : nullptr;
  if (!col || (col->Type != kvrString && col->Type != kvrSet)) return false;
  CKvrLock lock(Korva_);
  const DamageWatch watch(*this);
  const CKvrValue value(text.c_str(), int(text.size()));
  const int cap = Korva_->DataBlockCap();
  CKvrBuffer rec(cap);
  if (Version_ >= kvrVersion) {
    if (!FindStringValue(rec, *col, value, colNo)) return false;
    number = KvrGet32(rec.Data() + 20);
    return true;
  }
  // Older layout: the key is the column number and the text, zero-filled to the key length.
  const int width = std::max(col->KeyBytes() - 4, 0);
  CKvrBuffer key(kvrMaxKey);
  key.PutU32(uint32_t(colNo));
  key.PutBytes(text.c_str(), std::min(int(text.size()), width));
  key.Fill(0, width - std::min(int(text.size()), width));
  rec.SetLength(cap);
  if (!Korva_->SelectKey(col->KeyNumber) || !Korva_->Read(key.Data(), rec.Data()) ||
      Korva_->LastResult() < key.Length() + 8)
    return false;
  number = KvrGet32(rec.Data() + key.Length() + 4);
  return true;
}

// ---- Walking the bodies ------------------------------------------------------------------------

bool CKvRecord::NextBody(uint32_t after, bool first, CKvrBuffer& buf) {
  const int cap = Korva_->DataBlockCap();
  if (!buf.SetLength(cap) || !Korva_->SelectKey(kvrKeyBody)) return false;
  if (!(first ? Korva_->First(buf.Data()) : Korva_->Next(KvrKey(after).bytes, buf.Data()))) return false;
  buf.SetLength(Korva_->LastResult());
  // Ids grow along key 2; in a file whose body keys are longer than an id they may not.
  return buf.Length() >= 4 && (first || KvrGet32(buf.Data()) > after);
}

namespace {

// Calls step with the values of every body of the table in id order; a false answer ends the
// walk. A body that cannot be read whole, or whose values do not fill it, is passed over with a
// line in the log. False when the walk met damage of the file (a block it could not read or
// that is not what the file says), which ends it: the rest of the table is unknown.
template <typename Step>
bool WalkBodies(CKvRecord& table, Step step, bool (CKvRecord::*next)(uint32_t, bool, CKvrBuffer&)) {
  const uint32_t damage = table.File()->Failures();
  CKvrBuffer body(1024);
  CKvrValueList values;
  uint32_t id = 0;
  for (bool first = true; (table.*next)(id, first, body); first = false) {
    id = KvrGet32(body.Data());
    if (!table.ReadBodyChunks(body) || CKvRecord::DecodeRecord(values, body, *table.Columns()) < 0) {
      if (table.File()->Failures() != damage) break;
      WriteLog(SJ("レコード %u は壊れているので飛ばします。").c_str(), id);
      continue;
    }
    if (!step(id, values)) break;
  }
  return table.File()->Failures() == damage;
}

}  // namespace

// ---- Copy and append ---------------------------------------------------------------------------

int CKvRecord::CopyTo(const AnsiString& target) {
  const int opened = Open();
  if (opened < 0) return -1;
  if (Cols_->Count() == 0) {
    // Without its column definitions (table records lost) a table's bodies cannot be read: a copy
    // would keep none of their values.
    ReportError("%s", SJ("カラム情報が読めません。").c_str());
    if (opened == 0) Close();
    return -1;
  }
  std::unique_ptr<CKvRecord> dst(CreateKvRecord(target));
  bool made = dst && dst->Create();
  for (int i = 1; made && i < Cols_->Count(); ++i) {
    const CKvrColInfo& c = *Cols_->GetAt(i);
    made = dst->AddColumn(c.Name, c.Type, c.KeyLength);
  }
  // The copy keeps the columns' options: uniqueness, automatic values and their texts. A target
  // that does not show its columns yet (a server's, before it is opened) cannot take them.
  made = made && dst->Columns() && dst->Columns()->Count() == Cols_->Count();
  for (int i = 1; made && i < Cols_->Count(); ++i) {
    CKvrColInfo& d = *dst->Columns()->GetAt(i);
    d.Flags = Cols_->GetAt(i)->Flags;
    d.OptText1 = Cols_->GetAt(i)->OptText1;
    d.OptText2 = Cols_->GetAt(i)->OptText2;
  }
  made = made && dst->WriteColInfoList() && dst->Open() >= 0;
  int copied = made ? 0 : -1;
  if (made) {
    CKvrLock lock(Korva_);
    CKvrLock dstLock(dst->File());
    // A record the copy could not take fails the copy: a copy short of a record is no copy.
    bool stopped = false, refused = false;
    const bool whole = WalkBodies(
        *this,
        [&](uint32_t, CKvrValueList& values) {
          if (Progress_ && Progress_(ProgressContext_, copied) < 0) return !(stopped = true);
          if (!dst->InsertRaw(values)) return !(refused = true);
          ++copied;
          return true;
        },
        &CKvRecord::NextBody);
    if (!dstLock.Release() || !whole || stopped || refused) copied = -1;
    if (!whole) NoteDamage();
  }
  if (dst) {
    const AnsiString name = dst->FileName();
    dst.reset();
    if (copied < 0) DeleteFile(name);
  }
  if (opened == 0) Close();
  return copied;
}

int CKvRecord::AppendTo(const AnsiString& target) {
  const int opened = Open();
  if (opened < 0) return -1;
  CKvRecord dst;
  dst.SetFileName(target);
  if (dst.Open() < 0) {
    if (opened == 0) Close();
    return -1;
  }
  // Target column j takes this table's column of the same name and type, or stays empty.
  std::vector<int> from(size_t(dst.Columns()->Count()), -1);
  for (int j = 1; j < dst.Columns()->Count(); ++j) {
    const CKvrColInfo& d = *dst.Columns()->GetAt(j);
    const int i = Cols_->IndexOf(d.Name);
    if (i > 0 && Cols_->GetAt(i)->Type == d.Type) from[size_t(j)] = i;
  }
  int appended = 0;
  {
    CKvrLock lock(Korva_);
    CKvrLock dstLock(dst.File());
    CKvrValueList mapped;
    const bool whole = WalkBodies(
        *this,
        [&](uint32_t, CKvrValueList& values) {
          mapped.ClearValues();
          mapped.Add(new CKvrValue(0u));
          for (int j = 1; j < dst.Columns()->Count(); ++j) {
            const int i = from[size_t(j)];
            mapped.Add(i > 0 ? values.GetAt(i)->Clone() : new CKvrValue(dst.Columns()->GetAt(j)->Type));
          }
          if (dst.InsertRaw(mapped)) ++appended;
          return true;
        },
        &CKvRecord::NextBody);
    if (!dstLock.Release() || !whole) appended = -1;
    if (!whole) NoteDamage();
  }
  if (opened == 0) Close();
  return appended;
}
