#include "store/Kvobj.h"

#include "store/KorvaCore.h"
#include "store/KvRecord.h"

#include <algorithm>

namespace {
// Engine lengths are 16-bit: a longer one is passed as the longest, which every file refuses.
int16_t Length(int length) { return int16_t(std::clamp(length, -1, 0x7FFF)); }
}  // namespace

CKorva::~CKorva() {
  if (file_) {
    db_flush_hook(file_, nullptr, nullptr);
    db_close(file_);
  }
}

bool CKorva::Keep(int result) {
  last_ = result;
  if (result < 0 && db_errclass == kvClassEngine && (db_errdetail == kvInconsistent || db_errdetail == kvBadExtension))
    ++damage_;
  return result >= 0;
}

// A read that the system refused met a block it cannot read. (A refused write or lock is the
// run's failure, reported as such; what is on the disk stays as it was.)
bool CKorva::KeepRead(int result) {
  if (result < 0 && db_errclass == kvClassFile) ++unreadable_;
  return Keep(result);
}

bool CKorva::Create(const AnsiString& path, int keyBlock, int dataBlock, const int16_t* keys) {
  return Keep(db_create_keys(path.c_str(), keyBlock, dataBlock, keys));
}

bool CKorva::AddKeys(const AnsiString& path, const int16_t* keys) { return Keep(db_add_keys(path.c_str(), keys)); }

bool CKorva::Open(const AnsiString& path) {
  if (file_) return false;
  file_ = db_open(path.c_str());
  if (file_ && deferred_) db_flush_hook(file_, &CKorva::SettleForWrite, this);
  return file_ != nullptr;
}

bool CKorva::Close() {
  if (!file_) return false;
  // A file closed inside a held run writes the run: what is kept back goes with it.
  const bool settled = !deferred_ || deferred_->Settle(true);
  db_flush_hook(file_, nullptr, nullptr);
  const bool ok = Keep(db_close(file_)) && settled;
  file_ = nullptr;
  key_ = -1;
  return ok;
}

bool CKorva::SelectKey(int n) {
  if (!file_) return false;
  if (n == key_) return true;
  const bool ok = Keep(db_select_key(file_, n));
  key_ = ok ? n : -1;
  return ok;
}

bool CKorva::Insert(const void* record, int length) {
  return file_ && Keep(db_insert(file_, record, Length(length)));
}

bool CKorva::Append(const void* record, int length) {
  return file_ && Keep(db_append(file_, record, Length(length)));
}

bool CKorva::Prefetch(const void* keys, int count, int stride) {
  return file_ && db_prefetch(file_, keys, count, stride) >= 0;
}

bool CKorva::Delete(const void* key) { return file_ && Keep(db_delete(file_, key)); }

bool CKorva::Update(const void* record, int length, int changes) {
  return file_ && Keep(db_update(file_, record, Length(length), changes));
}

bool CKorva::First(void* buffer) { return file_ && KeepRead(db_first(file_, buffer)); }
bool CKorva::Read(const void* key, void* buffer) { return file_ && KeepRead(db_read(file_, key, buffer)); }

bool CKorva::ReadLen(int& length, const void* key, void* buffer) {
  if (!Read(key, buffer)) return false;
  length = last_;
  return true;
}

bool CKorva::Next(const void* key, void* buffer) { return file_ && KeepRead(db_next(file_, key, buffer)); }
bool CKorva::Seek(const void* key, void* buffer) { return file_ && KeepRead(db_seek(file_, key, buffer)); }
bool CKorva::Prev(const void* key, void* buffer) { return file_ && KeepRead(db_prev(file_, key, buffer)); }
bool CKorva::SeekPrev(const void* key, void* buffer) { return file_ && KeepRead(db_seek_prev(file_, key, buffer)); }

int CKorva::DataBlockCap() { return file_ ? db_data_cap(file_) : 0; }

bool CKorva::Hold() {
  if (!file_) return false;
  if (deferred_ && !deferred_->Settle(false)) return Keep(-1);
  return Keep(db_hold(file_));
}

void CKorva::SetDeferred(CKorvaDeferred* deferred) {
  deferred_ = deferred;
  if (file_) db_flush_hook(file_, deferred ? &CKorva::SettleForWrite : nullptr, deferred ? this : nullptr);
}

int CKorva::SettleForWrite(void* self) {
  // Called inside an engine call of this object: the engine selects its key again afterwards,
  // and the caller of that call gets its own result.
  auto* korva = static_cast<CKorva*>(self);
  const int key = korva->key_, last = korva->last_;
  const bool ok = korva->deferred_ && korva->deferred_->Settle(true);
  korva->key_ = key;
  korva->last_ = last;
  return ok ? 0 : -1;
}

uint32_t CKorva::Drops() const { return file_ ? db_drops(file_) : 0; }
bool CKorva::Release() { return file_ && Keep(db_release(file_)); }

int CKorva::Check(const AnsiString& path, KorvaCheckReport* report) {
  const int records = db_check(path.c_str(), report);
  if (records < 0) return records;
  // A record table's blocks may be sound while its records do not agree with one another.
  const int table = KvrCheckTableFile(path);
  if (table == kvrNotATable) return records;
  if (table >= 0) {
    db_errclass = kvClassEngine;
    db_errdetail = 0;
    return records;
  }
  db_errclass = kvClassEngine;
  db_errdetail = kvInconsistent;
  return -1;
}

int CKorva::Copy(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock) {
  return db_copy(source.c_str(), target.c_str(), keyBlock, dataBlock);
}

int CKorva::Salvage(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock) {
  return db_salvage(source.c_str(), target.c_str(), keyBlock, dataBlock);
}

AnsiString CKorva::ExtensionFileName(const AnsiString& path, int n) {
  using namespace korva;
  return ExtensionName(path, n);
}

AnsiString CKorva::JournalFileName(const AnsiString& path) {
  using namespace korva;
  return KvJournalPath(path);
}
