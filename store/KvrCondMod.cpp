#include "store/KvrCondMod.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "store/CondOp.h"
#include "store/KvRecord.h"

namespace {

constexpr int kPrefetch = 50;   // values a plan looks ahead per walk
constexpr int kPassesNB = 100;  // passes of one non-blocking step
constexpr size_t kReadAhead = 64;  // record ids a cursor reads ahead of the one it hands out

uint32_t Big32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

void PutBig32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (24 - 8 * i));
}

}  // namespace

// ---- CStringId ----------------------------------------------------------------------------------

bool CStringId::IsText() const { return col_.Type == kvrString || col_.Type == kvrSet; }

void CStringId::AddCond(int op, const AnsiString& text) {
  ops_.Add(CondOpItem(op));
  texts_.Add(text);
}

bool CStringId::OnlyAll() const {
  for (int i = 0; i < ops_.Count(); ++i)
    if (CondOpOf(ops_.Items(i)) != COND_ALL) return false;
  return true;
}

void CStringId::DropAll() {
  for (int i = ops_.Count() - 1; i >= 0; --i)
    if (CondOpOf(ops_.Items(i)) == COND_ALL) {
      ops_.Delete(i);
      texts_.Delete(i);
    }
}

void CStringId::Setup(int version) {
  cursor_.Setup(colNo_, &col_, &ops_, &texts_, version);
  Width = cursor_.Width();
  ops_.Clear();
  texts_.Clear();
}

void CStringId::Prefetch(CKorva& file, int limit) {
  prefetch_.Clear();
  prefetchWhole_.clear();
  NumRecid = 0;
  int n = 0;
  valueSize_ = 0;
  while (n < limit && cursor_.NextValueInRanges(file, prefetch_)) {
    if (n == 0) valueSize_ = prefetch_.Length();
    NumRecid += cursor_.UseCount();
    prefetchWhole_.push_back(cursor_.CurrentWhole());
    ++n;
  }
  if (n > 0) cursor_.Mark();
  NumPrefetch = n;
  requested_ = limit;
  read_ = 0;
}

void CStringId::SetNoValues(int limit) {
  prefetch_.Clear();
  NumPrefetch = 0;
  NumRecid = 0;
  requested_ = limit;
  read_ = 0;
}

bool CStringId::NextValue(CKorva& file) {
  current_.Clear();
  if (read_ < NumPrefetch) {
    current_.PutBytes(prefetch_.Data() + read_ * valueSize_, valueSize_);
    currentWhole_ = prefetchWhole_[size_t(read_)];
    ++read_;
    fromCursor_ = false;
    return true;
  }
  if (NumPrefetch < requested_) return false;
  fromCursor_ = true;
  if (!cursor_.NextValueInRanges(file, current_)) return false;
  currentWhole_ = cursor_.CurrentWhole();
  return true;
}

void CStringId::Rewind() {
  cursor_.Rewind();
  read_ = 0;
}

// ---- CStringIdList ------------------------------------------------------------------------------

void CStringIdList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete GetAt(i);
  TList::Clear();
}

void CStringIdList::Add(int colNo, const CKvrColInfo* col, int op, const AnsiString& text) {
  CStringId* walk = nullptr;
  if (col->Type != kvrSet)
    for (int i = 0; i < Count() && !walk; ++i)
      if (GetAt(i)->ColumnNumber() == colNo) walk = GetAt(i);
  if (!walk) {
    walk = new CStringId(colNo, *col);
    TList::Add(walk);
  }
  walk->AddCond(op, text);
  current_ = -1;
}

bool CStringIdList::Prepare() {
  bool narrowing = false;
  for (int i = 0; i < Count(); ++i)
    if (!GetAt(i)->OnlyAll()) narrowing = true;
  for (int i = Count() - 1; narrowing && i >= 0; --i) {
    GetAt(i)->DropAll();
    if (GetAt(i)->Conditions() > 0) continue;
    delete GetAt(i);
    Delete(i);
  }
  for (int i = 0; i < Count(); ++i) GetAt(i)->Setup(version_);
  current_ = 0;
  return Count() > 0;
}

void CStringIdList::Plan(CKorva& file) {
  if (Count() < 2) return;
  for (int i = Count() - 1; i >= 0; --i) {
    GetAt(i)->Prefetch(file, kPrefetch);
    if (GetAt(i)->NumPrefetch > 0) continue;
    // One walk has no value: no record can match; the walks before it need no look.
    for (int j = 0; j < i; ++j) GetAt(j)->SetNoValues(kPrefetch);
    break;
  }
  std::vector<CStringId*> order;
  for (int i = 0; i < Count(); ++i) order.push_back(GetAt(i));
  std::stable_sort(order.begin(), order.end(), [](const CStringId* a, const CStringId* b) {
    if (a->Complete() != b->Complete()) return a->Complete();
    return a->Complete() ? a->NumRecid < b->NumRecid : a->Width < b->Width;
  });
  for (int i = 0; i < Count(); ++i) SetItem(i, order[size_t(i)]);
  int complete = 0;
  for (CStringId* w : order) complete += w->Complete() ? 1 : 0;
  if (complete >= 2) {
    for (int i = 2; i < Count(); ++i) GetAt(i)->Enabled = false;
  } else {
    for (int i = 1; i < Count(); ++i) {
      CStringId* w = GetAt(i);
      if (!w->Complete() && w->NumRecid / uint32_t(std::max(w->NumPrefetch, 1)) < 40) w->Enabled = false;
    }
    uint64_t least = GetAt(0)->NumRecid;
    for (int i = 1; i < Count(); ++i)
      if (GetAt(i)->Complete()) least = std::min<uint64_t>(least, GetAt(i)->NumRecid);
    uint64_t product = uint64_t(GetAt(0)->NumPrefetch);
    for (int i = 1; i < Count(); ++i) {
      if (!GetAt(i)->Enabled) continue;
      product *= uint64_t(GetAt(i)->NumPrefetch);
      if (4 * product <= least) continue;
      for (int j = i; j < Count(); ++j) GetAt(j)->Enabled = false;
      break;
    }
  }
  GetAt(0)->Enabled = true;
  current_ = 0;
}

bool CStringIdList::NextGroup(CKorva& file) {
  const int n = Count();
  int i = std::max(current_, 0);
  for (;;) {
    while (i < n && !GetAt(i)->Enabled) ++i;
    if (i >= n) return false;
    current_ = i;
    if (GetAt(i)->NextValue(file)) {
      int j = i + 1;
      while (j < n && !GetAt(j)->Enabled) ++j;
      if (j >= n) return true;
      GetAt(j)->Rewind();
      i = j;
      continue;
    }
    int j = i - 1;
    while (j >= 0 && !GetAt(j)->Enabled) --j;
    if (j < 0) return false;
    i = j;
  }
}

// ---- CRecId -------------------------------------------------------------------------------------

void CRecId::Reset(const CStringId& walk) {
  const CKvrBuffer& value = walk.Current();
  idAt_ = std::min(value.Length(), kvrMaxKey - 4);
  // Room for the longest key: the engine reads as many bytes as the file's key has.
  key_.assign(size_t(kvrMaxKey), 0);
  std::memcpy(key_.data(), value.Data(), size_t(idAt_));
  keyNumber_ = walk.IsText() ? kvrKeyRef : walk.Column()->KeyNumber;
  ahead_.clear();
  aheadAt_ = 0;
  fresh_ = false;
}

void CRecId::SetId(uint32_t id) {
  id_ = id;
  PutBig32(key_.data() + idAt_, id);
}

bool CRecId::Take(CKorva& file, bool found) {
  const int length = file.LastResult();
  if (!found || length < idAt_ + 4 || std::memcmp(buf_.data(), key_.data(), size_t(idAt_)) != 0) return false;
  // The whole entry's key: the next step goes on after it, however long the file's keys are.
  std::memcpy(key_.data(), buf_.data(), size_t(std::min(length, kvrMaxKey)));
  id_ = Big32(buf_.data() + idAt_);
  return true;
}

bool CRecId::First(CKorva& file) {
  if (aheadAt_ < ahead_.size()) {
    SetId(ahead_[aheadAt_++]);
    return true;
  }
  ahead_.clear();
  aheadAt_ = 0;
  if (!file.SelectKey(keyNumber_)) return false;
  buf_.resize(size_t(std::max(file.DataBlockCap(), kvrMaxKey)));
  if (!Take(file, file.Next(key_.data(), buf_.data()))) return false;
  const uint32_t first = id_;
  while (ahead_.size() < kReadAhead && Take(file, file.Next(key_.data(), buf_.data()))) ahead_.push_back(id_);
  fresh_ = !ahead_.empty();
  SetId(first);
  return true;
}

const std::vector<uint32_t>* CRecId::TakeAhead() {
  if (!fresh_) return nullptr;
  fresh_ = false;
  return &ahead_;
}

bool CRecId::SeekAtLeast(CKorva& file, uint32_t id) {
  ahead_.clear();
  aheadAt_ = 0;
  fresh_ = false;
  if (!file.SelectKey(keyNumber_)) return false;
  buf_.resize(size_t(std::max(file.DataBlockCap(), kvrMaxKey)));
  SetId(id);
  std::fill(key_.begin() + idAt_ + 4, key_.end(), 0);
  return Take(file, file.Seek(key_.data(), buf_.data()));
}

// ---- CKvrIdSet ----------------------------------------------------------------------------------

bool CKvrIdSet::Insert(uint32_t id) {
  if (2 * (used_ + 1) > words_.size()) Grow();
  const uint32_t key = (id >> 6) + 1;
  const size_t mask = words_.size() - 1;
  size_t i = size_t(key * 0x9E3779B1u) & mask;
  while (words_[i].key != 0 && words_[i].key != key) i = (i + 1) & mask;
  Word& w = words_[i];
  if (w.key == 0) {
    w.key = key;
    ++used_;
  }
  const uint64_t bit = uint64_t(1) << (id & 63);
  if (w.bits & bit) return false;
  w.bits |= bit;
  return true;
}

void CKvrIdSet::Grow() {
  std::vector<Word> old(std::max<size_t>(64, 2 * words_.size()), Word{0, 0});
  old.swap(words_);
  const size_t mask = words_.size() - 1;
  for (const Word& w : old) {
    if (w.key == 0) continue;
    size_t i = size_t(w.key * 0x9E3779B1u) & mask;
    while (words_[i].key != 0) i = (i + 1) & mask;
    words_[i] = w;
  }
}

// ---- CCondMod -----------------------------------------------------------------------------------

CCondMod::CCondMod(int version) : ids_(version), version_(version) {}

CCondMod::~CCondMod() = default;

void CCondMod::AddCond(int colNo, const CKvrColInfo* col, int op, const AnsiString& text) {
  if (col->KeyNumber == kvrKeyBody) {
    recIdCol_ = *col;
    recIdConds_ = true;
    recIdOps_.Add(CondOpItem(op));
    recIdTexts_.Add(text);
    return;
  }
  ids_.Add(colNo, col, op, text);
  ongoing_ = false;
  needsPlan_ = true;
}

bool CCondMod::End() {
  ended_ = true;
  recIdTest_.Setup(0, recIdConds_ ? &recIdCol_ : nullptr, &recIdOps_, &recIdTexts_, version_);
  const bool walks = ids_.Prepare();
  FindEnumEntry();
  return walks;
}

bool CCondMod::TestAll(const CKvrValueList& record) const {
  for (int i = ids_.Count() - 1; i >= 0; --i)
    if (!ids_.GetAt(i)->Cursor().Test(record)) return false;
  return recIdTest_.Test(record);
}

void CCondMod::SetEnumColumn(const AnsiString& name) {
  enumName_ = name;
  FindEnumEntry();
}

void CCondMod::FindEnumEntry() {
  enum_ = -1;
  for (int i = ids_.Count() - 1; i >= 0 && enum_ < 0 && !enumName_.empty(); --i) {
    const CStringId* w = ids_.GetAt(i);
    if (w->Enabled && w->Column()->Name == enumName_) enum_ = i;
  }
  // The older layout counts a string value's uses apart from its references, so a value may
  // outlive its last record there: its values are read through their records.
  valuesOnly_ = enum_ == 0 && ids_.Count() == 1 && recIdOps_.Count() == 0 && ids_.GetAt(0)->IsText() &&
                ids_.GetAt(0)->Cursor().AcceptsAll() && version_ >= kvrVersion;
}

void CCondMod::SkipValue(int cut) {
  if (enum_ < 0) return;
  CStringId* w = ids_.GetAt(enum_);
  // A string value that keeps only the beginning of its texts stands for several values: its
  // records are walked one by one unless the cut text is the same for all of them. A record of a
  // set gives all its elements; those outside a narrowed walk are met only through the records
  // of the values inside it, so such a walk cannot pass over any of them.
  if (!w->CurrentWhole() && !(cut >= 1 && cut < w->Cursor().KeptLimit())) return;
  if (w->Column()->Type == kvrSet && !w->Cursor().CoversAll()) return;
  // Only a value the cursor stands on can be passed over in the index; the texts sharing its
  // cut beginning (a pair kept whole) give that same cut text.
  if (cut >= 1 && cut <= 13 && w->IsText() && w->FromCursor()) {
    const AnsiString text = w->Cursor().CurrentKeyText();
    if (int(text.size()) >= cut) w->Cursor().SkipPrefix(int(CutToChars(text, cut).size()));
  }
  ongoing_ = false;
  ids_.SetCurrent(enum_);
}

bool CCondMod::Next(CKorva& file, uint32_t& id) { return Walk(file, id, INT_MAX, kPlan | kOnce) == 1; }

int CCondMod::NextNB(CKorva& file, uint32_t& id) { return Walk(file, id, kPassesNB, kPlan | kOnce); }

bool CCondMod::NextUnplanned(CKorva& file, uint32_t& id) { return Walk(file, id, INT_MAX, kOnce) == 1; }

int CCondMod::NextEnum(CKorva& file, uint32_t& id, bool values) {
  const int r = Walk(file, id, INT_MAX, kPlan | kAbortable | (values ? kValues : 0));
  return r > 0 ? r : -1;
}

int CCondMod::NextEnumNB(CKorva& file, uint32_t& id, bool values) {
  return Walk(file, id, kPassesNB, kPlan | (values ? kValues : 0));
}

const std::vector<uint32_t>* CCondMod::ReadAhead() {
  if (enabled_.size() != 1 || recIds_.size() <= size_t(enabled_[0]) || !recIds_[size_t(enabled_[0])]) return nullptr;
  return recIds_[size_t(enabled_[0])]->TakeAhead();
}

AnsiString CCondMod::CurrentEnumText() const {
  return enum_ < 0 ? AnsiString() : ids_.GetAt(enum_)->Cursor().CurrentText();
}

int CCondMod::Walk(CKorva& file, uint32_t& id, int passes, int mode) {
  if (!ended_) End();
  if (ids_.Count() == 0) return -1;
  for (; passes > 0; --passes) {
    if ((mode & kAbortable) && ExpandAbort.load() != 0) return -1;
    if (!ongoing_) {
      if (needsPlan_) {
        if (mode & kPlan) ids_.Plan(file);
        needsPlan_ = false;
        FindEnumEntry();
        enabled_.clear();
        for (int i = 0; i < ids_.Count(); ++i)
          if (ids_.GetAt(i)->Enabled) enabled_.push_back(i);
        recIds_.resize(size_t(ids_.Count()));
        for (auto& r : recIds_)
          if (!r) r = std::make_unique<CRecId>();
      }
      if (!ids_.NextGroup(file)) return -1;
      if ((mode & kValues) && valuesOnly_ && ids_.GetAt(0)->FromCursor() && ids_.GetAt(0)->CurrentWhole()) return 2;
      for (int i : enabled_) recIds_[size_t(i)]->Reset(*ids_.GetAt(i));
      ongoing_ = true;
      advance_ = true;
      continue;
    }
    CRecId& lead = *recIds_[size_t(enabled_[0])];
    if (advance_) {
      if (!lead.First(file)) {
        ongoing_ = false;
        continue;
      }
      candidate_ = lead.Id();
      advance_ = false;
    }
    // One round of bringing the other cursors to the candidate; a cursor that has to go
    // further raises the candidate, and the next pass tries again.
    bool met = true;
    for (size_t k = 1; k < enabled_.size() && met; ++k) {
      CRecId& other = *recIds_[size_t(enabled_[k])];
      if (!other.SeekAtLeast(file, candidate_)) {
        ongoing_ = false;
        met = false;
      } else if (other.Id() != candidate_) {
        met = false;
        if (!lead.SeekAtLeast(file, other.Id()))
          ongoing_ = false;
        else
          candidate_ = lead.Id();
      }
    }
    if (!met) continue;
    advance_ = true;
    if (mode & kOnce) {
      if (!delivered_.Insert(candidate_)) continue;
    }
    id = candidate_;
    return 1;
  }
  return 0;
}

// ---- Sub-conditions -----------------------------------------------------------------------------

CSubCond::CSubCond(int colNo, int op, char type, const AnsiString& text) : colNo_(colNo), op_(op), value_(type) {
  value_.SetText(text.c_str());
}

bool CSubCond::Test(const CKvrValueList& record) const { return MatchValueOp(record.GetAt(colNo_), op_, &value_, false); }

void CSubCondList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete static_cast<CSubCond*>(Items(i));
  TList::Clear();
}

bool CSubCondList::TestAll(const CKvrValueList& record) const {
  for (int i = 0; i < Count(); ++i)
    if (!static_cast<const CSubCond*>(Items(i))->Test(record)) return false;
  return true;
}

void CSubCondListList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete static_cast<CSubCondList*>(Items(i));
  TList::Clear();
}

bool CSubCondListList::TestAny(const CKvrValueList& record) const {
  for (int i = 0; i < Count(); ++i)
    if (static_cast<const CSubCondList*>(Items(i))->TestAll(record)) return true;
  return false;
}

AnsiString CutToChars(const AnsiString& text, int n) {
  size_t i = 0;
  while (i < text.size() && int(i) < n)
    i += IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  return text.substr(0, i);
}
