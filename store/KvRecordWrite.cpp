// Record writing: columns, inserts, changes, deletions and the automatic column values.
#include "foundation/LogForm.h"
#include "store/KvRecord.h"

namespace {
// Shows a failure's message; the operation answers false.
bool Fail(const AnsiString& message) {
  ReportError("%s", message.c_str());
  return false;
}
}  // namespace

bool CKvRecord::AddColumn(const AnsiString& name, char type, int length) {
  if (name.empty()) return Fail(SJ("カラム名がありません。"));
  if (!OpenOrCreate()) return false;
  if (Cols_->IndexOf(name) >= 0) return Fail(SJ("カラム名が重複しています。"));
  const int keyLength = KeyLength(type, length);
  if (keyLength < 0) return Fail(SJ("カラムの型が正しくありません。"));
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(SJ("ロックができません。"));
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
  if (Open() < 0) return false;
  CKvrLock lock(Korva_);
  if (Version_ >= kvrLockVersion && !lock.Taken()) return Fail(SJ("ロックができません。"));
  if (!Cols_->Write(*Korva_) || !lock.Release()) return Fail(SJ("カラム情報の書き込みができません。"));
  return true;
}

bool CKvRecord::Insert(const TStrings& names, const TStrings& texts) { return InsertEx(names, texts, nullptr, 0); }
bool CKvRecord::InsertEx(const TStrings&, const TStrings&, unsigned*, unsigned) { return false; }
bool CKvRecord::InsertRaw(CKvrValueList&) { return false; }
bool CKvRecord::ReplaceData(CKvrValueList& values) { return ReplaceDataEx(values, nullptr); }
bool CKvRecord::ReplaceDataEx(CKvrValueList&, CKvrValueList*) { return false; }
bool CKvRecord::ChgRecById(const AnsiString& id, int column, const AnsiString& text) {
  return ChgRecByIdEx(id, column, text, nullptr);
}
bool CKvRecord::ChgRecByIdEx(const AnsiString&, int, const AnsiString&, CKvrValueList*) { return false; }
bool CKvRecord::DelRecById(const AnsiString& id) { return DelRecByIdEx(id, nullptr); }
bool CKvRecord::DelRecByIdEx(const AnsiString&, CKvrValueList*) { return false; }
bool CKvRecord::DelRecByCond() { return false; }
bool CKvRecord::SetAutoValue(CKvrValue&, int, bool) { return false; }
bool CKvRecord::ReplaceRecord(uint32_t, CKvrValueList&, CKvrValueList&, AnsiString&) { return false; }
