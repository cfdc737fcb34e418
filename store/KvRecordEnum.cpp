// Distinct values of a column: among the records of the current condition group (all at once,
// or in bounded steps with values cut to a byte length), or straight from a column's index.
//
// Texts delivered into a caller's list carry an object flag: 0 a whole value, 1 a cut text that
// may stand for several values sharing its beginning. The table remembers the texts its stepped
// enumeration has delivered, so that none is offered twice; SetEnumCol starts a new enumeration
// and forgets them.
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "foundation/Listfunc.h"
#include "store/KvRecord.h"
#include "store/KvrCondMod.h"

namespace {

constexpr int kCandidatesNB = 100;  // records one non-blocking step looks at
constexpr int kCutDefault = 200;

bool IsText(const CKvrColInfo* col) { return col && (col->Type == kvrString || col->Type == kvrSet); }

void* Flag(int flag) { return reinterpret_cast<void*>(static_cast<intptr_t>(flag)); }

// The texts a value contributes, the last element of a set first; a set without elements (and
// any other value) gives its whole text, as its index entry holds it.
std::vector<AnsiString> Elements(const CKvrValue& value) {
  std::vector<AnsiString> out;
  if (value.Type() == kvrSet) {
    CKvrValueList elements;
    value.SplitSet(elements);
    for (int i = elements.Count() - 1; i >= 0; --i) out.push_back(elements.GetAt(i)->GetString());
  }
  if (out.empty()) out.push_back(value.GetText());
  return out;
}

std::unordered_set<AnsiString> TextsOf(const TStrings& list) {
  std::unordered_set<AnsiString> texts;
  for (int i = 0; i < list.Count(); ++i) texts.insert(list[i]);
  return texts;
}

// The texts a candidate of an enumeration walk gives: the value of the index when the walk
// answered with one (2), else the elements of the record `id` when it meets the group and the
// sub-conditions. False for a record that cannot be read or fails; *bad set for a damaged body.
bool CandidateTexts(CKvRecord& table, const CCondMod& mod, const CSubCondListList* subs, CKvrBuffer& buf, int answer,
                    uint32_t id, int colNo, CKvrValueList& values, std::vector<AnsiString>& texts, bool* bad) {
  texts.clear();
  if (answer == 2) {
    texts.push_back(mod.CurrentEnumText());
    return true;
  }
  if (!table.ReadRecordBody(id, buf)) return false;
  if (CKvRecord::DecodeRecord(values, buf, *table.Columns()) < 0) {
    *bad = true;
    return false;
  }
  if (!mod.TestAll(values) || (subs && subs->Count() > 0 && !subs->TestAny(values))) return false;
  texts = Elements(*values.GetAt(colNo));
  return true;
}

uint32_t Big32(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

bool CKvRecord::SetEnumCol(const AnsiString& column, int cut) {
  Delivered_->Clear();
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  if (colNo < 0) {
    EnumCol_ = -1;
    EnumName_.clear();
    EnumInfo_ = nullptr;
    if (CondMod_) CondMod_->SetEnumColumn(AnsiString());
    return false;
  }
  EnumCol_ = colNo;
  EnumName_ = column;
  EnumCut_ = cut;
  EnumInfo_ = Cols_->GetAt(colNo);
  if (CondMod_) CondMod_->SetEnumColumn(column);
  return true;
}

void CKvRecord::GetEnum(const AnsiString& column, TStrings& list) {
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  if (colNo < 0 || !IsText(Cols_->GetAt(colNo)) || !CondMod_ || !Korva_) return;
  if (!CondMod_->IsEnded()) AddCondEnd();
  if (!CondMod_) return;
  CKvrLock lock(Korva_);
  CondMod_->SetEnumColumn(column);
  std::unordered_set<AnsiString> have = TextsOf(list);
  const bool subs = SubOr_ && SubOr_->Count() > 0;
  CKvrValueList values;
  std::vector<AnsiString> texts;
  bool bad = false;
  uint32_t id;
  for (int r; (r = CondMod_->NextEnum(*Korva_, id, !subs)) > 0;) {
    ++Candidates_;
    if (!CandidateTexts(*this, *CondMod_, SubOr_, *RecBuf_, r, id, colNo, values, texts, &bad)) {
      if (bad) NoteDamage(true);
      bad = false;
      continue;
    }
    for (const AnsiString& text : texts)
      if (have.insert(text).second) list.Add(text);
    CondMod_->SkipValue(-1);
  }
  NoteDamage();
}

int CKvRecord::GetEnumNB(TStrings& list) {
  if (!CondMod_ || !Cols_ || !IsText(Cols_->GetAt(EnumCol_)) || !Korva_) return -1;
  if (!CondMod_->IsEnded()) AddCondEnd();
  if (!CondMod_) return -1;
  CKvrLock lock(Korva_);
  const bool subs = SubOr_ && SubOr_->Count() > 0;
  CKvrValueList values;
  std::vector<AnsiString> texts;
  bool bad = false;
  for (int n = 0; n < kCandidatesNB; ++n) {
    uint32_t id;
    const int r = CondMod_->NextEnumNB(*Korva_, id, !subs);
    if (r < 1) {
      if (r < 0) NoteDamage();
      return r;
    }
    ++Candidates_;
    if (!CandidateTexts(*this, *CondMod_, SubOr_, *RecBuf_, r, id, EnumCol_, values, texts, &bad)) {
      if (bad) NoteDamage(true);
      bad = false;
      continue;
    }
    int added = 0;
    for (AnsiString text : texts) {
      const bool cut = EnumCut_ > 0 && int(text.size()) > EnumCut_;
      if (cut) text = CutToChars(text, EnumCut_);
      if (FindString(Delivered_, text, true) >= 0) continue;
      list.AddObject(text, Flag(cut ? 1 : 0));
      InsertSortedString(Delivered_, text);
      ++added;
    }
    CondMod_->SkipValue(EnumCut_);
    if (added > 0) return 1;
  }
  return 0;
}

int CKvRecord::GetEnumNB_a(CKvrValueList& values, TStrings& list) {
  if (!CondMod_ || !Cols_ || !Cols_->GetAt(EnumCol_) || !Korva_) return -1;
  if (!CondMod_->IsEnded()) AddCondEnd();
  if (!CondMod_) return -1;
  CKvrLock lock(Korva_);
  const bool text = IsText(Cols_->GetAt(EnumCol_));
  std::vector<AnsiString> texts;
  bool bad = false;
  for (int n = 0; n < kCandidatesNB; ++n) {
    uint32_t id;
    // The caller takes the record's values, so every candidate is read.
    const int r = CondMod_->NextEnumNB(*Korva_, id, false);
    if (r < 1) {
      if (r < 0) NoteDamage();
      return r;
    }
    ++Candidates_;
    if (!CandidateTexts(*this, *CondMod_, SubOr_, *RecBuf_, r, id, EnumCol_, values, texts, &bad)) {
      if (bad) NoteDamage(true);
      bad = false;
      continue;
    }
    std::unordered_set<AnsiString> added;
    for (AnsiString t : texts) {
      const bool cut = text && EnumCut_ > 0 && int(t.size()) >= EnumCut_;
      if (cut) t = CutToChars(t, EnumCut_);
      if (FindString(Delivered_, t, true) >= 0 || !added.insert(t).second) continue;
      list.AddObject(t, Flag(cut ? 1 : 0));
    }
    if (!added.empty()) return 1;
  }
  return 0;
}

void CKvRecord::AcceptEnum_a(const TStrings& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (FindString(Delivered_, list[i], true) < 0) InsertSortedString(Delivered_, list[i]);
  if (CondMod_) CondMod_->SkipValue(EnumCut_);
}

bool CKvRecord::EnumList2(TStrings& list, const AnsiString& column, int cut, KvrEnumProgress progress) {
  if (ExpandAbort.load() != 0) return false;
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  const CKvrColInfo* col = colNo < 0 ? nullptr : Cols_->GetAt(colNo);
  if (!IsText(col) || !Korva_) return false;
  CKvrLock lock(Korva_);
  std::unordered_set<AnsiString> have = TextsOf(list);
  auto add = [&](const AnsiString& text, int flag) {
    if (have.insert(text).second) list.AddObject(text, Flag(flag));
  };
  const int cap = Korva_->DataBlockCap();
  std::vector<unsigned char> buf(size_t(std::max(cap, kvrMaxKey + 16)));
  const bool current = Version_ >= kvrVersion;
  const int colBytes = current ? 2 : 4;
  const int keyLen = col->KeyLength;
  if (keyLen <= colBytes || keyLen > kvrMaxKey || (current && keyLen != 20) || !Korva_->SelectKey(col->KeyNumber))
    return true;
  // Room for the longest key: each step goes on after the whole key of the entry read last,
  // however long the file's keys are.
  std::vector<unsigned char> key(size_t(kvrMaxKey), 0);
  for (int i = 0; i < colBytes; ++i) key[size_t(i)] = static_cast<unsigned char>(colNo >> (8 * (colBytes - 1 - i)));
  const int limit = cut < 1 || cut > kvrTextLimit ? kvrTextLimit : cut;
  // The older layout cuts inside its key, at a text position, and passes over the rest.
  const int cutAt = cut >= 1 && cut < keyLen - 4 ? cut + 4 : -1;
  CKvrValueList values;
  bool ok = current ? Korva_->Next(key.data(), buf.data()) : Korva_->Seek(key.data(), buf.data());
  for (bool first = true; ok; first = false) {
    if (!first && (ExpandAbort.load() != 0 || (progress && progress(list.Count()) < 0))) break;
    const int length = Korva_->LastResult();
    if (length < keyLen || std::memcmp(buf.data(), key.data(), size_t(colBytes)) != 0) break;
    std::memcpy(key.data(), buf.data(), size_t(std::min(length, kvrMaxKey)));
    if (current) {
      const int n = std::min<int>(length > 24 ? buf[24] : 0, std::max(length - 25, 0));
      const char* p = reinterpret_cast<const char*>(buf.data() + 25);
      const AnsiString kept(p, size_t(n));
      if (n < limit || kept[size_t(limit - 1)] == '\0')
        add(AnsiString(p, strnlen(p, size_t(n))), 0);
      else
        add(CutToChars(AnsiString(p, strnlen(p, size_t(n))), limit), 1);
      ok = Korva_->Next(key.data(), buf.data());
      continue;
    }
    const char* p = reinterpret_cast<const char*>(buf.data() + 4);
    const AnsiString keyText(p, strnlen(p, size_t(keyLen - 4)));
    const bool endsInKey = buf[size_t(keyLen - 1)] == 0;
    if (cutAt >= 0) {
      if (int(keyText.size()) + 4 < cutAt) {
        add(keyText, 0);
      } else {
        const AnsiString head = CutToChars(keyText, cutAt - 4);
        add(head, 1);
        // Every later text with this beginning gives the same cut text.
        std::fill(key.begin() + 4 + std::ptrdiff_t(head.size()), key.end(), 0xFF);
      }
    } else if (endsInKey) {
      add(keyText, 0);
    } else if (length >= keyLen + 4) {
      // A text longer than the key: its records hold it whole.
      const uint32_t stringId = Big32(buf.data() + keyLen);
      std::vector<unsigned char> ref(size_t(kvrMaxKey), 0);
      std::memcpy(ref.data(), buf.data() + keyLen, 4);
      std::vector<unsigned char> refBuf(buf.size());
      while (Korva_->SelectKey(kvrKeyRef) && Korva_->Next(ref.data(), refBuf.data()) && Korva_->LastResult() >= 8 &&
             Big32(refBuf.data()) == stringId) {
        std::memcpy(ref.data(), refBuf.data(), size_t(std::min(Korva_->LastResult(), kvrMaxKey)));
        if (!ReadRecordBody(Big32(ref.data() + 4), *RecBuf_)) continue;
        DecodeRecord(values, *RecBuf_, *Cols_);
        for (AnsiString text : Elements(*values.GetAt(colNo))) {
          const bool cutText = cut > 0 && int(text.size()) > cut;
          add(cutText ? CutToChars(text, cut) : text, cutText ? 1 : 0);
        }
      }
      Korva_->SelectKey(col->KeyNumber);
    }
    ok = Korva_->Next(key.data(), buf.data());
  }
  return !NoteDamage();
}
