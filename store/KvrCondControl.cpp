#include "store/KvrCondControl.h"

#include <algorithm>
#include <cstring>

#include "store/CondOp.h"
#include "store/Kvobj.h"
#include "store/KvRecord.h"

namespace {

// Current-layout string-value record: key, use count, kept length n, then n text bytes.
constexpr int kUseAt = 20;
constexpr int kKeptAt = 24;
constexpr int kTextAt = 25;
constexpr int kStringKey = 20;
// Room of the key buffers beyond any key: a record of the longest key and the string value's
// id and use count after it.
constexpr int kRoom = kvrMaxKey + 16;

uint32_t Big32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// Byte order of two byte strings, a prefix first.
int CompareBytes(const unsigned char* a, size_t na, const unsigned char* b, size_t nb) {
  const int c = std::memcmp(a, b, std::min(na, nb));
  if (c != 0) return c;
  return na < nb ? -1 : (na > nb ? 1 : 0);
}

// The part of a text value a string-value record keeps, as raw bytes (with the NUL when whole).
AnsiString KeptText(const CKvrValue& v) {
  const int kept = KvrKeptTextLength(v.Stored(), v.StoredLength());
  return AnsiString(reinterpret_cast<const char*>(v.Stored()), size_t(std::max(kept, 0)));
}

}  // namespace

CKvrCondControl::CKvrCondControl() : lower_(kRoom), upper_(kRoom) {}

bool CKvrCondControl::IsText() const { return col_ && (col_->Type == kvrString || col_->Type == kvrSet); }

bool CKvrCondControl::IsRecordId() const { return col_ && col_->KeyNumber == kvrKeyBody; }

void CKvrCondControl::Setup(int colNo, const CKvrColInfo* col, const TList* ops, const TStrings* texts, int version) {
  ops_.Clear();
  values_.ClearValues();
  ranges_.Reset();
  colNo_ = colNo;
  if (col && col != &colCopy_) colCopy_ = *col;
  col_ = col ? &colCopy_ : nullptr;
  col = col_;
  version_ = version;
  if (col) {
    for (int i = 0; ops && i < ops->Count(); ++i) {
      auto* v = new CKvrValue(col->Type);
      v->SetText(texts && i < texts->Count() ? (*texts)[i].c_str() : "");
      ops_.Add(ops->Items(i));
      values_.Add(v);
      ranges_.AddCond(CondOpOf(ops->Items(i)), *v);
    }
  }
  // The walk builds and reads keys of the column's key length; a definition whose length the
  // layout cannot hold (a damaged file) walks nothing, though its comparisons still test.
  keyLen_ = IsRecordId() ? 4 : col ? std::clamp(int(col->KeyLength), 0, kvrMaxKey) : 0;
  const int least = IsRecordId() ? 4 : !IsText() ? ColBytes() + 5 : Current() ? kStringKey : ColBytes() + 1;
  if (!col || keyLen_ < least || (IsText() && Current() && keyLen_ != kStringKey)) ranges_.Clear();
  Reset();
}

void CKvrCondControl::Reset() {
  range_ = 0;
  saved_ = Position();
  set_ = -1;
  steps_ = 0;
}

void CKvrCondControl::PutEnd(CKvrBuffer& key, const CKvrBorderPt& end, int width) {
  if (end.kind == 0) key.PutBytes(end.value.Stored(), std::min(end.value.StoredLength(), width - key.Length()));
  key.Fill(end.kind > 0 ? 0xFF : 0, width - key.Length());
}

void CKvrCondControl::SetRange(const CKvrRange& range) {
  steps_ = 0;
  lower_.Clear();
  upper_.Clear();
  exactLowerOp_ = exactUpperOp_ = 0;
  exactLower_.clear();
  exactUpper_.clear();
  if (!col_) return;
  // Open ends include the lowest and the highest key (the empty text of the older layout is its
  // key's lowest); a bound given by a value follows its flag.
  lowerOp_ = range.lower.kind < 0 || range.lower.inclusive ? COND_GRT_EQL : COND_GRT;
  upperOp_ = range.upper.kind == 1 || range.upper.inclusive ? COND_LES_EQL : COND_LES;
  const int keyLen = keyLen_;
  if (IsRecordId()) {
    PutEnd(lower_, range.lower, 4);
    PutEnd(upper_, range.upper, 4);
    upperLen_ = 4;
    return;
  }
  auto putColumn = [&](CKvrBuffer& key) { Current() ? key.PutU16(unsigned(colNo_)) : key.PutU32(uint32_t(colNo_)); };
  // Width of the column number and value part of a key.
  const int width = Current() || !IsText() ? keyLen - 4 : keyLen;
  // The record-id part of a number key: past every entry of an excluded lower value.
  putColumn(lower_);
  PutEnd(lower_, range.lower, width);
  if (Current() || !IsText()) lower_.Fill(range.lower.kind == 0 && !range.lower.inclusive && !IsText() ? 0xFF : 0, 4);
  putColumn(upper_);
  PutEnd(upper_, range.upper, width);
  upperLen_ = width;
  if (!IsText()) return;
  if (Current()) {
    if (range.lower.kind == 0) {
      exactLowerOp_ = lowerOp_;
      exactLower_ = KeptText(range.lower.value);
      if (range.lower.value.StoredLength() > int(exactLower_.size())) exactLowerOp_ = COND_GRT_EQL;
    }
    if (range.upper.kind == 0) {
      exactUpperOp_ = upperOp_;
      exactUpper_ = KeptText(range.upper.value);
      if (range.upper.value.StoredLength() > int(exactUpper_.size())) exactUpperOp_ = COND_LES_EQL;
    }
  }
  // A text that fills the key prefix cannot bound the keys strictly.
  if (lower_.Data()[width - 1] != 0) lowerOp_ = COND_GRT_EQL;
  if (upper_.Data()[width - 1] != 0) upperOp_ = COND_LES_EQL;
}

void CKvrCondControl::ReserveKeys(CKorva& file) {
  lower_.Reserve(std::max(file.DataBlockCap(), kRoom));
}

bool CKvrCondControl::Step(CKorva& file, const unsigned char* key, unsigned char* buf, int u) {
  const bool first = steps_ == 0;
  ++steps_;
  const bool ok = first && lowerOp_ == COND_GRT_EQL ? file.Seek(key, buf) : file.Next(key, buf);
  if (!ok) return false;
  const int c = std::memcmp(buf, upper_.Data(), size_t(u));
  return upperOp_ == COND_LES_EQL ? c <= 0 : c < 0;
}

bool CKvrCondControl::ExactTextOk() const {
  if (exactLowerOp_ == 0 && exactUpperOp_ == 0) return true;
  const unsigned char* rec = lower_.Data();
  const int avail = std::max(lastLength_ - kTextAt, 0);
  const size_t n = size_t(std::min<int>(rec[kKeptAt], avail));
  const unsigned char* text = rec + kTextAt;
  if (exactLowerOp_ != 0) {
    const int c = CompareBytes(text, n, reinterpret_cast<const unsigned char*>(exactLower_.data()), exactLower_.size());
    if (exactLowerOp_ == COND_GRT_EQL ? c < 0 : c <= 0) return false;
  }
  if (exactUpperOp_ != 0) {
    const int c = CompareBytes(text, n, reinterpret_cast<const unsigned char*>(exactUpper_.data()), exactUpper_.size());
    if (exactUpperOp_ == COND_LES_EQL ? c > 0 : c >= 0) return false;
  }
  return true;
}

bool CKvrCondControl::NextEntry(CKorva& file) {
  if (!IsText() || !file.SelectKey(col_->KeyNumber)) return false;
  ReserveKeys(file);
  for (;;) {
    if (!Step(file, lower_.Data(), lower_.Data(), upperLen_)) return false;
    lastLength_ = file.LastResult();
    stringId_ = Big32(lower_.Data() + upperLen_);
    if (!Current() || ExactTextOk()) return true;
  }
}

bool CKvrCondControl::NextKey(CKorva& file, CKvrBuffer* record) {
  if (!col_ || IsText() || !file.SelectKey(col_->KeyNumber)) return false;
  ReserveKeys(file);
  if (IsRecordId()) {
    if (!record) return false;
    record->Clear();
    record->Reserve(std::max(file.DataBlockCap(), kRoom));
    if (!Step(file, lower_.Data(), record->Data(), 4)) return false;
    record->SetLength(file.LastResult());
    // The next step goes on after this body's whole key, however long the file's keys are.
    std::memcpy(lower_.Data(), record->Data(), size_t(std::clamp(file.LastResult(), 4, kvrMaxKey)));
    recordId_ = Big32(record->Data());
    return true;
  }
  const int u = keyLen_ - 4;
  if (!Step(file, lower_.Data(), lower_.Data(), u)) return false;
  recordId_ = Big32(lower_.Data() + u);
  return true;
}

bool CKvrCondControl::NextValue(CKorva& file, CKvrBuffer& out) {
  if (IsRecordId()) return false;
  if (IsText()) {
    if (!NextEntry(file)) return false;
    out.PutU32(stringId_);
    return true;
  }
  if (!NextKey(file, nullptr)) return false;
  const int u = keyLen_ - 4;
  out.PutBytes(lower_.Data(), u);
  // The next step passes over the other entries of this value.
  std::memset(lower_.Data() + u, 0xFF, 4);
  return true;
}

template <class Walk>
bool CKvrCondControl::InRanges(Walk step) {
  for (; range_ < ranges_.Count(); ++range_) {
    if (set_ != range_) {
      SetRange(*ranges_.GetAt(range_));
      set_ = range_;
    }
    if (step()) return true;
  }
  return false;
}

bool CKvrCondControl::NextKeyInRanges(CKorva& file, CKvrBuffer& record) {
  return InRanges([&] { return NextKey(file, &record); });
}

bool CKvrCondControl::NextValueInRanges(CKorva& file, CKvrBuffer& out) {
  return InRanges([&] { return NextValue(file, out); });
}

bool CKvrCondControl::IsFirstRange(const CKvrValueList& record) const {
  if (set_ < 1) return true;
  const CKvrValue* v = record.GetAt(colNo_);
  if (!v) return true;
  CKvrValueList elements;
  if (v->Type() == kvrSet) v->SplitSet(elements);
  if (elements.Count() == 0) elements.Add(v->Clone());
  for (int e = 0; e < elements.Count(); ++e)
    for (int r = 0; r < range_ && r < ranges_.Count(); ++r)
      if (ranges_.GetAt(r)->Contains(*elements.GetAt(e))) return false;
  return true;
}

bool CKvrCondControl::Test(const CKvrValueList& record) const {
  if (ops_.Count() == 0) return true;
  const CKvrValue* v = record.GetAt(colNo_);
  if (!v) return false;
  for (int i = 0; i < ops_.Count(); ++i)
    if (!MatchValueOp(v, CondOpOf(ops_.Items(i)), values_.GetAt(i), false)) return false;
  return true;
}

uint32_t CKvrCondControl::UseCount() const {
  if (!IsText()) return 0;
  return Big32(lower_.Data() + (Current() ? kUseAt : keyLen_ + 4));
}

uint32_t CKvrCondControl::Width() const {
  uint64_t sum = 0;
  for (int i = 0; i < ranges_.Count(); ++i) sum += ranges_.GetAt(i)->Width();
  return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(sum);
}

void CKvrCondControl::Mark() {
  saved_.range = range_;
  saved_.set = set_;
  saved_.steps = steps_;
  saved_.lowerOp = lowerOp_;
  saved_.upperOp = upperOp_;
  // The whole room a key may take: a file whose keys are longer than the layout's returns to
  // the very entry it marked.
  saved_.lower.assign(reinterpret_cast<const char*>(lower_.Data()), size_t(kvrMaxKey));
  saved_.upper.assign(reinterpret_cast<const char*>(upper_.Data()), size_t(upper_.Length()));
}

void CKvrCondControl::Rewind() {
  range_ = saved_.range;
  set_ = saved_.set;
  if (set_ < 0 || set_ >= ranges_.Count()) {
    set_ = -1;
    return;
  }
  SetRange(*ranges_.GetAt(set_));
  steps_ = saved_.steps;
  lowerOp_ = saved_.lowerOp;
  upperOp_ = saved_.upperOp;
  lower_.Clear();
  lower_.PutBytes(saved_.lower.data(), int(saved_.lower.size()));
  upper_.Clear();
  upper_.PutBytes(saved_.upper.data(), int(saved_.upper.size()));
}

void CKvrCondControl::SkipPrefix(int k) {
  if (k < 1 || k > 13 || !IsText()) return;
  lower_.Data()[ColBytes() + k] = 0xFF;
}

AnsiString CKvrCondControl::CurrentKeyText() const {
  if (!IsText()) return AnsiString();
  const int cb = ColBytes();
  const int n = (Current() ? kvrTextPrefix : keyLen_ - cb);
  const char* p = reinterpret_cast<const char*>(lower_.Data() + cb);
  return AnsiString(p, strnlen(p, size_t(n)));
}

bool CKvrCondControl::CurrentWhole() const {
  if (!IsText()) return true;
  const unsigned char* rec = lower_.Data();
  if (!Current()) return rec[keyLen_ - 1] == 0;
  const int n = std::min<int>(rec[kKeptAt], std::max(lastLength_ - kTextAt, 0));
  return n > 0 && rec[kTextAt + n - 1] == 0;
}

int CKvrCondControl::KeptLimit() const {
  if (!IsText()) return 0;
  return Current() ? kvrTextLimit + 1 : keyLen_ - ColBytes();
}

bool CKvrCondControl::CoversAll() const {
  return ranges_.Count() == 1 && ranges_.GetAt(0)->lower.kind < 0 && ranges_.GetAt(0)->upper.kind > 0;
}

bool CKvrCondControl::AcceptsAll() const {
  for (int i = 0; i < ops_.Count(); ++i)
    if (CondOpOf(ops_.Items(i)) != COND_ALL) return false;
  return true;
}

AnsiString CKvrCondControl::CurrentText() const {
  if (!IsText() || !Current()) return CurrentKeyText();
  const int n = std::min<int>(lower_.Data()[kKeptAt], std::max(lastLength_ - kTextAt, 0));
  const char* p = reinterpret_cast<const char*>(lower_.Data() + kTextAt);
  return AnsiString(p, strnlen(p, size_t(n)));
}
