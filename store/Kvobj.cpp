#include "store/Kvobj.h"

#include <algorithm>

namespace {
// Engine lengths are 16-bit: a longer one is passed as the longest, which every file refuses.
int16_t Length(int length) { return int16_t(std::clamp(length, -1, 0x7FFF)); }
}  // namespace

CKorva::~CKorva() {
  if (file_) db_close(file_);
}

bool CKorva::Keep(int result) {
  last_ = result;
  return result >= 0;
}

bool CKorva::Create(const AnsiString& path, int keyBlock, int dataBlock, const int16_t* keys) {
  return Keep(db_create_keys(path.c_str(), keyBlock, dataBlock, keys));
}

bool CKorva::AddKeys(const AnsiString& path, const int16_t* keys) { return Keep(db_add_keys(path.c_str(), keys)); }

bool CKorva::Open(const AnsiString& path) {
  if (file_) return false;
  file_ = db_open(path.c_str());
  return file_ != nullptr;
}

bool CKorva::Close() {
  if (!file_) return false;
  const bool ok = Keep(db_close(file_));
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

bool CKorva::Update(const void* record, int length) {
  return file_ && Keep(db_update(file_, record, Length(length)));
}

bool CKorva::First(void* buffer) { return file_ && Keep(db_first(file_, buffer)); }
bool CKorva::Read(const void* key, void* buffer) { return file_ && Keep(db_read(file_, key, buffer)); }

bool CKorva::ReadLen(int& length, const void* key, void* buffer) {
  if (!Read(key, buffer)) return false;
  length = last_;
  return true;
}

bool CKorva::Next(const void* key, void* buffer) { return file_ && Keep(db_next(file_, key, buffer)); }
bool CKorva::Seek(const void* key, void* buffer) { return file_ && Keep(db_seek(file_, key, buffer)); }
bool CKorva::Prev(const void* key, void* buffer) { return file_ && Keep(db_prev(file_, key, buffer)); }
bool CKorva::SeekPrev(const void* key, void* buffer) { return file_ && Keep(db_seek_prev(file_, key, buffer)); }

int CKorva::DataBlockCap() { return file_ ? db_data_cap(file_) : 0; }

bool CKorva::Hold() { return file_ && Keep(db_hold(file_)); }
bool CKorva::Release() { return file_ && Keep(db_release(file_)); }

int CKorva::Check(const AnsiString& path, KorvaCheckReport* report) { return db_check(path.c_str(), report); }

int CKorva::Copy(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock) {
  return db_copy(source.c_str(), target.c_str(), keyBlock, dataBlock);
}

int CKorva::Salvage(const AnsiString& source, const AnsiString& target, int keyBlock, int dataBlock) {
  return db_salvage(source.c_str(), target.c_str(), keyBlock, dataBlock);
}
