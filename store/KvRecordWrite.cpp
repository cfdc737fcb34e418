// Record writing: columns, inserts, changes, deletions and the automatic column values.
//
// Each operation runs in one CKvrLock. What an operation wrote before it failed is taken back
// (index entries, string references, a replaced body), so a failed write leaves the table as it
// was, except for counters that only ever grow (the last record id, the last string-value id).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "foundation/LogForm.h"
#include "store/KvRecord.h"

namespace {

// Shows a failure's message; the operation answers false.
bool Fail(const AnsiString& message) {
  ReportError("%s", message.c_str());
  return false;
}

const AnsiString& LockMessage() { return SJ("ロックができません。"); }
const AnsiString& BodyMessage() { return SJ("レコードの書き込みができません。"); }

// The message of a failed index write of column col holding value.
AnsiString IndexMessage(const CKvrColInfo& col, const CKvrValue& value) {
  if (col.Flags & kvrOptUnique)
    return Format(SJ("項目'%s'の内容'%s'が重複しています。").c_str(), col.Name.c_str(), value.GetText().c_str());
  return SJ("インデックスの書き込みができません。");
}

// An integer beyond its column's range would be stored as another number: it is refused.
AnsiString RangeMessage(const CKvrColInfo& col, const CKvrValue& value) {
  return Format(SJ("項目'%s'の内容'%s'が範囲外です。").c_str(), col.Name.c_str(), value.GetText().c_str());
}

// A record id text read as "%lu"; false when it is no number or does not fit 32 bits.
bool ParseRecordId(const AnsiString& text, uint32_t& id) {
  unsigned long v = 0;
  if (std::sscanf(text.c_str(), "%lu", &v) != 1 || v > 0xFFFFFFFFul) return false;
  id = uint32_t(v);
  return true;
}

// Record id's values read into `given`, or into `spare` when given is null; null when the record
// cannot be read, or is damaged (*damaged set then).
CKvrValueList* ReadValues(CKvRecord& table, uint32_t id, CKvrValueList* given, CKvrValueList& spare, bool* damaged) {
  CKvrBuffer body(1024);
  if (!table.ReadRecordBody(id, body)) return nullptr;
  CKvrValueList& values = given ? *given : spare;
  if (CKvRecord::DecodeRecord(values, body, *table.Columns()) < 0) {
    *damaged = true;
    return nullptr;
  }
  return &values;
}

AnsiString LocalDate(bool withTime) {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  if (!withTime) return Format("%04d/%02d/%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return Format("%04d/%02d/%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec);
}

}  // namespace

uint32_t CKvRecord::NextCounter(int counter) {
  if (HeldInfo_) {
    uint32_t& value = counter == 0 ? HeldInfo_->LastRecId : HeldInfo_->LastStringId;
    return ++value;
  }
  CKvrTableInfo info;
  if (!info.Increment(*Korva_, counter)) return 0;
  return counter == 0 ? info.LastRecId : info.LastStringId;
}

// Installs the held table information for one operation that holds the file (a nested one
// keeps the outer one's). Write stores raised counters; the destructor stores them too, so
// counters raised by a failed operation stay raised as when each raise is written at once.
class CKvRecord::HeldCounters {
 public:
  HeldCounters(CKvRecord& table, bool held) : table_(table) {
    if (held && !table.HeldInfo_ && info_.Read(*table.Korva_)) {
      saved_ = info_;
      table.HeldInfo_ = &info_;
    }
  }
  ~HeldCounters() {
    Write();
    if (table_.HeldInfo_ == &info_) table_.HeldInfo_ = nullptr;
  }
  HeldCounters(const HeldCounters&) = delete;
  HeldCounters& operator=(const HeldCounters&) = delete;

  bool Write() {
    if (table_.HeldInfo_ != &info_ ||
        (info_.LastRecId == saved_.LastRecId && info_.LastStringId == saved_.LastStringId))
      return true;
    saved_ = info_;
    return info_.Write(*table_.Korva_);
  }

 private:
  CKvRecord& table_;
  CKvrTableInfo info_, saved_;
};

// Marks an insert of the table for its duration: its own holds of the file leave the use counts
// kept back by the string cache as they are.
class CKvRecord::InsertScope {
 public:
  explicit InsertScope(CKvRecord& table) : table_(table), outer_(table.Inserting_) { table.Inserting_ = true; }
  ~InsertScope() { table_.Inserting_ = outer_; }
  InsertScope(const InsertScope&) = delete;
  InsertScope& operator=(const InsertScope&) = delete;

 private:
  CKvRecord& table_;
  bool outer_;
};

// ---- Columns -----------------------------------------------------------------------------------

bool CKvRecord::AddColumn(const AnsiString& name, char type, int length) {
  if (name.empty()) return Fail(SJ("カラム名がありません。"));
  if (RefuseDamaged() || !OpenOrCreate()) return false;
  const DamageWatch watch(*this);
  if (Cols_->IndexOf(name) >= 0) return Fail(SJ("カラム名が重複しています。"));
  const int keyLength = KeyLength(type, length);
  if (keyLength < 0) return Fail(SJ("カラムの型が正しくありません。"));
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(LockMessage());
  CKvrColInfo* c = Cols_->AddNew();
  c->Name = name;
  c->KeyLength = keyLength;
  c->Type = type;
  c->KeyNumber = KeyNumber(type, keyLength);
  if (!Cols_->Write(*Korva_)) return Fail(SJ("カラム情報の書き込みができません。"));
  CKvrTableInfo info;
  if (!info.Increment(*Korva_, 2) || !lock.Release()) return Fail(SJ("テーブル情報を更新できません。"));
  return true;
}

bool CKvRecord::WriteColInfoList() {
  if (RefuseDamaged() || Open() < 0) return false;
  const DamageWatch watch(*this);
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(LockMessage());
  if (!Cols_->Write(*Korva_) || !lock.Release()) return Fail(SJ("カラム情報の書き込みができません。"));
  return true;
}

// ---- Automatic values --------------------------------------------------------------------------

bool CKvRecord::SetAutoValue(CKvrValue& value, int column, bool onChange) {
  const CKvrColInfo* col = Cols_->GetAt(column);
  if (!col) return false;
  const uint32_t kind = col->Flags & kvrOptAutoMask;
  if (kind == 0) {
    if ((col->Type == kvrSigned || col->Type == kvrUnsigned || col->Type == kvrReal) && value.IsBlank())
      value.SetText("0");
    return false;
  }
  if (onChange && !(col->Flags & kvrOptOnChange)) return false;
  if ((col->Flags & kvrOptIfEmpty) && !value.IsBlank()) return false;
  AnsiString text;
  switch (kind) {
    case kvrAutoSerial: {
      if (onChange || !value.IsBlank()) return false;
      AnsiString highest;
      if (!ExtremeText(column, true, highest)) highest.clear();
      text = col->Type == kvrString || col->Type == kvrSet ? NextSerialText(highest) : NextSerialNumber(highest);
      break;
    }
    case kvrAutoDate:
      text = LocalDate(false);
      break;
    case kvrAutoDateTime:
      text = LocalDate(true);
      break;
    case kvrAutoFixed:
      text = col->OptText1;
      break;
    default:
      break;
  }
  if (kind != kvrAutoSerial && kind <= kvrAutoFixed && (col->Flags & kvrOptAppend) && !value.IsBlank())
    text = value.GetText() + "," + text;
  value.SetText(text.c_str());
  return true;
}

// ---- Inserts -----------------------------------------------------------------------------------

bool CKvRecord::Insert(const TStrings& names, const TStrings& texts) { return InsertEx(names, texts, nullptr, 0); }

bool CKvRecord::InsertEx(const TStrings& names, const TStrings& texts, unsigned* idOut, unsigned requested) {
  if (RefuseDamaged() || !OpenOrCreate()) return false;
  const DamageWatch watch(*this);
  uint32_t id = requested;
  if (idOut) *idOut = id;
  const InsertScope inserting(*this);
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(LockMessage());
  HeldCounters counters(*this, lock.Taken());
  bool newest = requested == 0;
  if (requested == 0) {
    id = NextCounter(0);
    if (id == 0) return Fail(SJ("テーブル情報を更新できません。"));
  } else {
    // A record that holds the id already keeps it: nothing is written for the new one.
    CKvrBuffer existing(Korva_->DataBlockCap());
    if (Korva_->SelectKey(kvrKeyBody) && Korva_->Read(KvrKey(requested).bytes, existing.Data()))
      return Fail(BodyMessage());
    if (HeldInfo_) {
      newest = HeldInfo_->LastRecId < requested;
      HeldInfo_->LastRecId = std::max(HeldInfo_->LastRecId, requested);
    } else {
      CKvrTableInfo info;
      if (!info.Read(*Korva_)) return Fail("Cannot read table information.");
      newest = info.LastRecId < requested;
      if (info.LastRecId < requested) {
        info.LastRecId = requested;
        if (!info.Write(*Korva_)) return Fail("Cannot write table information.");
      }
    }
  }
  if (idOut) *idOut = id;
  // The values of the last insert are filled again where they are, keeping their memory.
  CKvrValueList& values = *InsertValues_;
  while (values.Count() > Cols_->Count()) {
    delete values.GetAt(values.Count() - 1);
    values.Delete(values.Count() - 1);
  }
  if (values.Count() == 0) values.Add(new CKvrValue(id));
  *values.GetAt(0) = CKvrValue(id);
  auto takeBack = [&](int last) {
    for (int j = last; j >= 1; --j) RemoveIndexEntry(*Cols_->GetAt(j), *values.GetAt(j), id, j);
  };
  // Names given in column order are matched without a search: column names differ, so a name
  // met at the next place is its first.
  int next = 0;
  bool inOrder = true;
  for (int i = 1; i < Cols_->Count(); ++i) {
    const CKvrColInfo& col = *Cols_->GetAt(i);
    if (i == values.Count()) values.Add(new CKvrValue(col.Type));
    CKvrValue* v = values.GetAt(i);
    v->Reset(col.Type);
    int k = -1;
    if (inOrder && next < names.Count() && names[next] == col.Name) {
      k = next++;
    } else {
      inOrder = false;
      k = names.IndexOf(col.Name);
    }
    if (k >= 0) v->SetText(k < texts.Count() ? texts[k].c_str() : "");
    SetAutoValue(*v, i, false);
    if (v->Beyond() != 0) {
      takeBack(i - 1);
      return Fail(RangeMessage(col, *v));
    }
    if (!WriteIndexEntry(col, v, id, i)) {
      takeBack(i - 1);
      return Fail(IndexMessage(col, *v));
    }
  }
  if (!counters.Write()) {
    takeBack(Cols_->Count() - 1);
    return Fail(requested ? AnsiString("Cannot write table information.") : SJ("テーブル情報を更新できません。"));
  }
  if (!WriteRecordBody(values, id, newest)) {
    takeBack(Cols_->Count() - 1);
    return Fail(BodyMessage());
  }
  if (!lock.Release()) return Fail(BodyMessage());
  return true;
}

bool CKvRecord::InsertRaw(CKvrValueList& given) {
  if (!Korva_ || RefuseDamaged()) return false;
  const DamageWatch watch(*this);
  const InsertScope inserting(*this);
  CKvrLock lock(Korva_);
  HeldCounters counters(*this, lock.Taken());
  const uint32_t id = NextCounter(0);
  if (id == 0) return Fail(SJ("テーブル情報を更新できません。"));
  // The given values typed by this table's columns. A missing or empty number is 0, as an
  // insert stores it: its bare stored form would read back as the lowest signed number.
  CKvrValueList values;
  values.Add(new CKvrValue(id));
  for (int i = 1; i < Cols_->Count(); ++i) {
    const char type = Cols_->GetAt(i)->Type;
    const CKvrValue* g = given.GetAt(i);
    CKvrValue* v = g && g->Type() == type ? g->Clone() : new CKvrValue(type);
    if (g && g->Type() != type) v->SetText(g->GetText().c_str());
    if (v->IsEmpty() && (type == kvrSigned || type == kvrUnsigned || type == kvrReal)) v->SetText("0");
    values.Add(v);
  }
  auto takeBack = [&](int last) {
    for (int j = last; j >= 1; --j) RemoveIndexEntry(*Cols_->GetAt(j), *values.GetAt(j), id, j);
  };
  for (int i = 1; i < Cols_->Count(); ++i) {
    if (values.GetAt(i)->Beyond() != 0) {
      takeBack(i - 1);
      return Fail(RangeMessage(*Cols_->GetAt(i), *values.GetAt(i)));
    }
    if (!WriteIndexEntry(*Cols_->GetAt(i), values.GetAt(i), id, i)) {
      takeBack(i - 1);
      return Fail(SJ("インデックスの書き込みができません。"));
    }
  }
  if (!counters.Write()) {
    takeBack(Cols_->Count() - 1);
    return Fail(SJ("テーブル情報を更新できません。"));
  }
  if (!WriteRecordBody(values, id, true)) {
    takeBack(Cols_->Count() - 1);
    return Fail(BodyMessage());
  }
  if (!lock.Release()) return Fail(BodyMessage());
  return true;
}

// ---- Changes -----------------------------------------------------------------------------------

bool CKvRecord::ReplaceRecord(uint32_t id, CKvrValueList& now, CKvrValueList& old, AnsiString& error) {
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) {
    error = LockMessage();
    return false;
  }
  error.clear();
  HeldCounters counters(*this, lock.Taken());
  CKvrBuffer oldBody(1024);
  if (!ReadRecordBody(id, oldBody)) {
    error = BodyMessage();
    return false;
  }
  // Columns added after the record was written lie beyond its body and have no entries for it:
  // their new values get all of theirs, whatever they are.
  CKvrValueList stored;
  const int held = DecodeRecord(stored, oldBody, *Cols_);
  if (held < 0) {
    NoteDamage(true);
    return false;
  }
  std::vector<int> fresh;
  // Both lists get one value of the column's type per column; a missing new value keeps the old.
  const int count = Cols_->Count();
  for (int i = 0; i < count; ++i) {
    const char type = i == 0 ? kvrUnsigned : Cols_->GetAt(i)->Type;
    if (i >= old.Count()) old.Add(new CKvrValue(type));
    if (i >= now.Count()) now.Add(old.GetAt(i)->Clone());
    CKvrValue& v = *now.GetAt(i);
    if (i > 0 && v.Type() != type) v.SetTypeText(type, v.GetText().c_str());
  }
  std::vector<int> changed;
  bool ok = true;
  for (int i = 1; i < count; ++i) {
    const CKvrColInfo& col = *Cols_->GetAt(i);
    SetAutoValue(*now.GetAt(i), i, true);
    if (now.GetAt(i)->Beyond() != 0) {
      error = RangeMessage(col, *now.GetAt(i));
      ok = false;
      break;
    }
    if (i > held) {
      if (!WriteIndexEntry(col, now.GetAt(i), id, i)) {
        error = IndexMessage(col, *now.GetAt(i));
        ok = false;
        break;
      }
      fresh.push_back(i);
      continue;
    }
    const int n = AddChangedEntries(col, *now.GetAt(i), *old.GetAt(i), id, i);
    if (n < 0) {
      error = IndexMessage(col, *now.GetAt(i));
      ok = false;
      break;
    }
    if (n > 0) changed.push_back(i);
  }
  if (ok && !counters.Write()) {
    error = SJ("テーブル情報を更新できません。");
    ok = false;
  }
  if (ok) {
    // Bytes that no index shows (a text past its kept part, a set's order, a real's source text)
    // still make a change.
    CKvrBuffer newBody(1024);
    MakeRecordBody(newBody, id, now);
    const bool same = newBody.Length() == oldBody.Length() &&
                      std::equal(newBody.Data(), newBody.Data() + newBody.Length(), oldBody.Data());
    if (!changed.empty() || !fresh.empty() || !same) {
      DeleteRecordBody(id);
      if (!WriteBodyImage(newBody)) {
        WriteBodyImage(oldBody);
        error = BodyMessage();
        ok = false;
      }
    }
  }
  if (!ok)
    for (auto it = fresh.rbegin(); it != fresh.rend(); ++it) RemoveIndexEntry(*Cols_->GetAt(*it), *now.GetAt(*it), id, *it);
  for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
    const CKvrColInfo& col = *Cols_->GetAt(*it);
    if (ok)
      RemoveChangedEntries(col, *old.GetAt(*it), *now.GetAt(*it), id, *it);
    else
      RemoveChangedEntries(col, *now.GetAt(*it), *old.GetAt(*it), id, *it);
  }
  if (ok && !lock.Release()) {
    error = BodyMessage();
    ok = false;
  }
  return ok;
}

bool CKvRecord::ReplaceData(CKvrValueList& values) { return ReplaceDataEx(values, nullptr); }

bool CKvRecord::ReplaceDataEx(CKvrValueList& values, CKvrValueList* old) {
  if (RefuseDamaged()) return false;
  const int opened = Open();
  if (opened < 0) return false;
  uint32_t id = 0;
  if (values.Count() == 0 || !ParseRecordId(values.GetAt(0)->GetText(), id)) return false;
  bool ok = false;
  AnsiString error;
  {
    const DamageWatch watch(*this);
    CKvrLock lock(Korva_);
    CKvrValueList spare;
    bool damaged = false;
    CKvrValueList* before = ReadValues(*this, id, old, spare, &damaged);
    if (!before) {
      NoteDamage(damaged);
      return false;
    }
    ok = ReplaceRecord(id, values, *before, error);
    // The change reaches the disk here; when it cannot, it is lost.
    if (!lock.Release() && ok) {
      error = BodyMessage();
      ok = false;
    }
  }
  if (!ok && !error.empty()) ReportError("%s", error.c_str());
  if (opened == 0) Close();
  return ok;
}

bool CKvRecord::ChgRecById(const AnsiString& id, int column, const AnsiString& text) {
  return ChgRecByIdEx(id, column, text, nullptr);
}

bool CKvRecord::ChgRecByIdEx(const AnsiString& idText, int column, const AnsiString& text, CKvrValueList* old) {
  uint32_t id = 0;
  // Column 0 stands for the record id, which the body does not hold: its new text is not kept,
  // and the change goes on as one that leaves every value as it is (true when nothing failed).
  if (!ParseRecordId(idText, id) || !Korva_ || column < 0 || column >= Cols_->Count() || RefuseDamaged())
    return false;
  const DamageWatch watch(*this);
  CKvrLock lock(Korva_);
  CKvrValueList spare;
  bool damaged = false;
  CKvrValueList* before = ReadValues(*this, id, old, spare, &damaged);
  if (!before) {
      NoteDamage(damaged);
      return false;
    }
  std::unique_ptr<CKvrValueList> now(before->Clone());
  now->GetAt(column)->SetText(text.c_str());
  AnsiString error;
  const bool ok = ReplaceRecord(id, *now, *before, error);
  return lock.Release() && ok;
}

// ---- Deletions ---------------------------------------------------------------------------------

bool CKvRecord::DelRecById(const AnsiString& id) { return DelRecByIdEx(id, nullptr); }

bool CKvRecord::DelRecByIdEx(const AnsiString& idText, CKvrValueList* old) {
  uint32_t id = 0;
  if (!ParseRecordId(idText, id) || RefuseDamaged()) return false;
  const DamageWatch watch(*this);
  // A closed table has no file handle, so the lock cannot be taken.
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(LockMessage());
  if (!Korva_) return false;
  CKvrValueList spare;
  bool damaged = false;
  CKvrValueList* read = ReadValues(*this, id, old, spare, &damaged);
  if (!read) {
      NoteDamage(damaged);
      return false;
    }
  CKvrValueList& values = *read;
  bool removedAll = true;
  for (int i = 1; i < Cols_->Count(); ++i) removedAll = RemoveIndexEntry(*Cols_->GetAt(i), *values.GetAt(i), id, i) && removedAll;
  // A record whose entries could not all be removed stays whole, since no entry may point to a
  // record that is gone: it gets back the entries taken away above (of a set, the elements that
  // were removed before one failed).
  if (!removedAll || !DeleteRecordBody(id)) {
    CKvrValueList restored;
    for (int i = 1; i < Cols_->Count(); ++i) WriteMissingEntries(*Cols_->GetAt(i), *values.GetAt(i), id, i, restored);
    return false;
  }
  return lock.Release();
}

bool CKvRecord::DelRecByCond() {
  if (!DroppedCondCol_.empty()) {
    ReportError(SJ("カラム'%s'がありません。").c_str(), DroppedCondCol_.c_str());
    return false;
  }
  CKvrLock lock(Korva_);
  bool any = false;
  CKvrValueList values;
  while (GetRec(values)) any = DelRecById(Format("%u", values.GetAt(0)->GetUnsigned())) || any;
  return lock.Release() && any;
}
