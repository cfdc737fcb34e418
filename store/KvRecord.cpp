// Life cycle, column listing, value matching and the factory of the record tables.
#include "store/KvRecord.h"

#include <algorithm>
#include <vector>

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "store/CondOp.h"
#include "store/KvRecRemote.h"

std::atomic<int> ExpandAbort{0};

namespace {
constexpr int kKeyBlock = 1024;
constexpr int kDataBlock = 2048;
constexpr int kRecBufCapacity = 32772;
}  // namespace

// ---- Lock --------------------------------------------------------------------------------------

CKvrLock::CKvrLock(CKorva* file) : file_(file), taken_(file && file->Hold()) {}

CKvrLock::~CKvrLock() { Release(); }

bool CKvrLock::Release() {
  if (!taken_) return true;
  taken_ = false;
  return file_->Release();
}

// ---- Object ------------------------------------------------------------------------------------

CKvRecord::CKvRecord()
    : Delivered_(new TStringList), RecBuf_(new CKvrBuffer(kRecBufCapacity)), InsertValues_(new CKvrValueList) {}

CKvRecord::~CKvRecord() {
  if (Korva_) WriteKept();
  ForgetStringCache();
  ForgetStringValues();
  delete InsertValues_;
  delete RecBuf_;
  delete Cols_;
  delete Korva_;
  DeleteQueryState();
  delete Delivered_;
}

CKvRecord* CreateKvRecord(const AnsiString& name) {
  CKvRecord* table = IsRemoteName(name.c_str()) ? new CKvRecRemote : new CKvRecord;
  table->SetFileName(name);
  return table;
}

void CKvRecord::SetBasePath(const AnsiString& path) {
  BasePath_ = path;
  if (!path.empty() && path.back() != '/') BasePath_ += '/';
}

void CKvRecord::SetFileName(const AnsiString& name) { FileName_ = BasePath_.empty() ? name : BasePath_ + name; }

int CKvRecord::Open() {
  if (Korva_) return 1;
  Korva_ = new CKorva;
  if (!Korva_->Open(FileName_)) {
    ReportError("%s", SJ("ファイルがオープンできません。").c_str());
    delete Korva_;
    Korva_ = nullptr;
    return -1;
  }
  Korva_->SetDeferred(this);
  DamageSeen_ = FailuresSeen_ = 0;
  CKvrLock lock(Korva_);
  CKvrTableInfo info;
  Version_ = info.Read(*Korva_) ? info.Version : 0;
  KeyCount_ = Version_ < kvrVersion ? kvrKeysOlder : kvrKeysCurrent;
  Cols_ = new CKvrColInfoList;
  Cols_->Read(*Korva_);
  // Table records that cannot be read leave the table without its columns and counters: it
  // does not open (an empty table in their place would take writes that wreck it).
  if (NoteDamage()) {
    lock.Release();
    delete Cols_;
    Cols_ = nullptr;
    delete Korva_;
    Korva_ = nullptr;
    return -1;
  }
  return 0;
}

int CKvRecord::Close() {
  if (!Korva_) return 1;
  WriteKept();
  KeptLost_ = false;  // the run it belonged to ends with the file
  ForgetStringCache();
  ForgetStringValues();
  delete Cols_;
  Cols_ = nullptr;
  delete Korva_;
  Korva_ = nullptr;
  return 0;
}

bool CKvRecord::Create() {
  const bool older = Version_ < kvrVersion;
  CKorva file;
  if (!file.Create(FileName_, kKeyBlock, kDataBlock, older ? kvrKeysOfOlder : kvrKeysOfCurrent)) {
    ReportError("%s", SJ("KORVAファイルが作成できません。").c_str());
    return false;
  }
  if (!file.Open(FileName_)) {
    ReportError("%s", SJ("KORVAファイルがオープンできません。").c_str());
    return false;
  }
  CKvrLock lock(&file);
  CKvrTableInfo info;
  info.ColumnChanges = 1;
  info.Version = Version_;
  if (!info.Write(file)) {
    ReportError("%s", SJ("テーブル情報の書きこみができません。").c_str());
    return false;
  }
  CKvrColInfo id;
  id.Name = kvrRecIdName;
  id.KeyLength = 4;
  id.Type = kvrUnsigned;
  id.KeyNumber = kvrKeyBody;
  if (!id.Write(file, kvrRecColumn) || !lock.Release()) {
    ReportError("%s", SJ("カラム情報の書き込みができません。").c_str());
    return false;
  }
  return true;
}

bool CKvRecord::OpenOrCreate() {
  if (!Korva_ && !FileExists(FileName_) && !Create()) return false;
  return Open() >= 0;
}

bool CKvRecord::DelFile() { return DeleteFile(FileName_); }

TStrings* CKvRecord::ListCol(TStrings* list) {
  if (list)
    list->Clear();
  else
    list = new TStringList;
  for (int i = 0; Cols_ && i < Cols_->Count(); ++i) list->Add(Cols_->GetAt(i)->Name);
  return list;
}

int CKvRecord::MakeValueList(CKvrValueList& values, const TStrings& texts) {
  if (Open() < 0) return 0;
  values.ClearValues();
  for (int i = 0; i < Cols_->Count(); ++i) {
    auto* v = new CKvrValue(Cols_->GetAt(i)->Type);
    if (i < texts.Count()) v->SetText(texts[i].c_str());
    values.Add(v);
  }
  return Cols_->Count();
}

int CKvRecord::KeyLength(char type, int length) const {
  const bool older = Version_ < kvrVersion;
  switch (type) {
    case kvrSigned:
    case kvrUnsigned:
      return older ? 12 : 10;
    case kvrReal:
      return older ? 14 : 12;
    case kvrString:
    case kvrSet: {
      if (!older) return 20;
      // Text widths of the older layout: 16, 32, ... 224 bytes under keys 7 to 20.
      const int width = (std::max(length, 1) + 15) / 16 * 16;
      return width <= 224 ? width + 4 : -1;
    }
    default:
      return -1;
  }
}

int CKvRecord::KeyNumber(char type, int keyLength) const {
  switch (type) {
    case kvrSigned:
      return kvrKeySigned;
    case kvrUnsigned:
      return kvrKeyUnsigned;
    case kvrReal:
      return kvrKeyReal;
    case kvrString:
    case kvrSet: {
      if (Version_ >= kvrVersion) return kvrKeyString;
      const int key = (keyLength - 5) / 16 + kvrKeyString;
      return keyLength >= 20 && key < kvrKeysOlder ? key : -1;
    }
    default:
      return -1;
  }
}

// ---- Matching ----------------------------------------------------------------------------------

bool MatchValueOp(const CKvrValue* a, int op, const CKvrValue* b, bool euc) {
  if (!a || !b) return false;
  auto order = [&] { return euc ? CKvrValue::CompareEuc(*a, *b) : CKvrValue::Compare(*a, *b); };
  switch (op) {
    case COND_LES:
      return order() < 0;
    case COND_LES_EQL:
      return order() <= 0;
    case COND_EQL:
      return CKvrValue::Compare(*a, *b) == 0;
    case COND_GRT_EQL:
      return order() >= 0;
    case COND_GRT:
      return order() > 0;
    case COND_NOT_EQL:
      return CKvrValue::Compare(*a, *b) != 0;
    case COND_LIKE:
      return CKvrValue::Like(*a, *b);
    case COND_NOT_LIKE:
      return !CKvrValue::Like(*a, *b);
    case COND_ALL:
      return true;
    default:
      return false;
  }
}

bool CKvRecord::MatchOp(const CKvrValue* a, int op, const CKvrValue* b) const {
  return MatchValueOp(a, op, b, EucOrder_);
}

// ---- Serial values -----------------------------------------------------------------------------

AnsiString NextSerialText(const AnsiString& text) {
  // Bytes of double-byte characters are never digits or letters here.
  std::vector<bool> pair(text.size(), false);
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (IsSjisLeadByte(uint8_t(text[i])) && text[i + 1] != '\0') pair[i] = pair[i + 1] = true, ++i;
  AnsiString next = text;
  for (size_t i = next.size(); i-- > 0;) {
    if (pair[i]) continue;
    char& c = next[i];
    if ((c >= '0' && c <= '8') || (c >= 'A' && c <= 'Y') || (c >= 'a' && c <= 'y')) {
      ++c;
      return next;
    }
    if (c == '9')
      c = '0';
    else if (c == 'Z')
      c = 'A';
    else if (c == 'z')
      c = 'a';
  }
  return Format("%s-000", text.c_str());
}

AnsiString NextSerialNumber(const AnsiString& text) {
  double v = 0;
  return TryStrToFloat(text, v) ? FloatToStr(v + 1) : AnsiString("ERROR");
}
