// Conditions and record reads of the record tables: the condition group, the sub-conditions, the
// blocking and the bounded reads, and the look at one column of the group's first record.
//
// A group with conditions on other columns than "__REC__ID__" is answered by its evaluator
// (store/KvrCondMod.h), which also tests the record-id conditions on every record. A group whose
// conditions are all on "__REC__ID__" is walked by the table's own cursor through the bodies in
// id order. A condition on a column the table lacks is dropped; the table notes the first such
// column so that a deletion by condition can refuse to act on a wider set than asked for.
#include <vector>

#include "foundation/LogForm.h"
#include "store/CondOp.h"
#include "store/KvRecord.h"
#include "store/KvrCondControl.h"
#include "store/KvrCondMod.h"

namespace {

constexpr int kCandidatesNB = 100;  // records one non-blocking read looks at

// One record of the cursor's walk into values: 1 a record met first in this walk, 0 one passed
// over (read before in an earlier range, or a body that cannot be read, *bad set when it is
// damaged), -1 the end. The cursor walks a number column: the record id, whose entries are the
// bodies themselves.
int NextCursorRecord(CKvRecord& table, CKvrCondControl& cursor, CKvrBuffer& buf, CKvrValueList& values, bool* bad) {
  const CKvrColInfo* col = cursor.Column();
  CKorva* file = table.File();
  if (!col || !file || !cursor.NextKeyInRanges(*file, buf)) return -1;
  const bool read = col->KeyNumber == kvrKeyBody ? table.ReadBodyChunks(buf) : table.ReadRecordBody(cursor.RecordId(), buf);
  if (!read) {
    WriteLog("%s", SJ("レコードの本体がひけません。").c_str());
    return 0;
  }
  if (CKvRecord::DecodeRecord(values, buf, *table.Columns()) < 0) {
    *bad = true;
    return 0;
  }
  return cursor.IsFirstRange(values) ? 1 : 0;
}

// Reads the blocks of the bodies the group will hand out next together, when it has just read
// their ids ahead: one system call for them all instead of one per body (store/Kvobj.h).
void PrefetchBodies(CKorva& file, CCondMod& group, uint32_t id) {
  const std::vector<uint32_t>* ahead = group.ReadAhead();
  if (!ahead) return;
  std::vector<unsigned char> keys(4 * (ahead->size() + 1));
  auto put = [&keys](size_t i, uint32_t v) {
    for (int b = 0; b < 4; ++b) keys[4 * i + size_t(b)] = static_cast<unsigned char>(v >> (24 - 8 * b));
  };
  put(0, id);
  for (size_t i = 0; i < ahead->size(); ++i) put(i + 1, (*ahead)[i]);
  if (file.SelectKey(kvrKeyBody)) file.Prefetch(keys.data(), int(keys.size() / 4), 4);
}

}  // namespace

void CKvRecord::DeleteQueryState() {
  delete CondMod_;
  CondMod_ = nullptr;
  delete Cursor_;
  Cursor_ = nullptr;
  FirstCondCol_.clear();
  delete FirstCondOps_;
  FirstCondOps_ = nullptr;
  delete FirstCondTexts_;
  FirstCondTexts_ = nullptr;
  delete SubAnd_;
  SubAnd_ = nullptr;
  delete SubOr_;
  SubOr_ = nullptr;
  DroppedCondCol_.clear();
  BodyDamageShown_ = false;
}

void CKvRecord::ClearCond() { DeleteQueryState(); }

void CKvRecord::AddCond(const AnsiString& column, int op, const AnsiString& text) {
  if (CondMod_ && CondMod_->IsEnded()) {
    delete CondMod_;
    CondMod_ = nullptr;
  }
  if (!CondMod_) {
    CondMod_ = new CCondMod(Version_);
    delete Cursor_;
    Cursor_ = nullptr;
    FirstCondCol_.clear();
    delete FirstCondOps_;
    FirstCondOps_ = new TList;
    delete FirstCondTexts_;
    FirstCondTexts_ = new TStringList;
    DroppedCondCol_.clear();
  }
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  if (colNo < 0) {
    if (DroppedCondCol_.empty()) DroppedCondCol_ = column.empty() ? AnsiString("\"\"") : column;
    return;
  }
  // The table's own cursor walks the first column that exists; it is used only when every
  // condition is on the record id, and then that column is the record id.
  if (FirstCondCol_.empty()) FirstCondCol_ = column;
  CondMod_->AddCond(colNo, Cols_->GetAt(colNo), op, text);
  if (column == FirstCondCol_) {
    FirstCondOps_->Add(CondOpItem(op));
    FirstCondTexts_->Add(text);
  }
}

void CKvRecord::AddEnumCol(const AnsiString& column) { AddCond(column, COND_ALL, AnsiString()); }

void CKvRecord::AddCondEnd() {
  if (!CondMod_ || CondMod_->IsEnded()) return;
  if (CondMod_->End()) {
    if (EnumCol_ >= 0) CondMod_->SetEnumColumn(EnumName_);
    return;
  }
  delete CondMod_;
  CondMod_ = nullptr;
  const int colNo = Cols_ ? Cols_->IndexOf(FirstCondCol_) : -1;
  Cursor_ = new CKvrCondControl;
  Cursor_->Setup(colNo < 0 ? 0 : colNo, colNo < 0 ? nullptr : Cols_->GetAt(colNo), FirstCondOps_, FirstCondTexts_,
                 Version_);
}

bool CKvRecord::AddSubCond(const AnsiString& column, int op, const AnsiString& text) {
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  if (colNo < 0) return false;
  if (!SubAnd_) SubAnd_ = new CSubCondList;
  SubAnd_->Add(new CSubCond(colNo, op, Cols_->GetAt(colNo)->Type, text));
  return true;
}

bool CKvRecord::AddSubCondEnd() {
  if (!SubAnd_ || SubAnd_->Count() == 0) return false;
  if (!SubOr_) SubOr_ = new CSubCondListList;
  SubOr_->Add(SubAnd_);
  SubAnd_ = new CSubCondList;
  return true;
}

bool CKvRecord::GetRecNoSub(CKvrValueList& values) {
  if (!Korva_ || !Cols_) return false;
  if (CondMod_ && !CondMod_->IsEnded()) AddCondEnd();
  CKvrLock lock(Korva_);
  if (CondMod_) {
    uint32_t id;
    while (CondMod_->Next(*Korva_, id)) {
      ++Candidates_;
      PrefetchBodies(*Korva_, *CondMod_, id);
      if (!ReadRecordBody(id, *RecBuf_)) {
        if (NoteDamage()) return false;
        continue;
      }
      if (DecodeRecord(values, *RecBuf_, *Cols_) < 0) {
        NoteDamage(true);
        continue;
      }
      if (CondMod_->TestAll(values)) return true;
    }
    NoteDamage();
    return false;
  }
  if (!Cursor_) return false;
  for (;;) {
    bool bad = false;
    const int r = NextCursorRecord(*this, *Cursor_, *RecBuf_, values, &bad);
    if (NoteDamage(bad) && !bad) return false;
    if (r < 0) return false;
    ++Candidates_;
    if (r > 0 && Cursor_->Test(values)) return true;
  }
}

int CKvRecord::GetRecNBNoSub(CKvrValueList& values) {
  if (!Korva_ || !Cols_) return -1;
  if (CondMod_ && !CondMod_->IsEnded()) AddCondEnd();
  if (!CondMod_ && !Cursor_) return -1;
  CKvrLock lock(Korva_);
  for (int n = 0; n < kCandidatesNB; ++n) {
    if (CondMod_) {
      uint32_t id;
      const int r = CondMod_->NextNB(*Korva_, id);
      if (r != 1) {
        if (r < 0) NoteDamage();
        return r;
      }
      ++Candidates_;
      PrefetchBodies(*Korva_, *CondMod_, id);
      if (!ReadRecordBody(id, *RecBuf_)) {
        if (NoteDamage()) return -1;
        continue;
      }
      if (DecodeRecord(values, *RecBuf_, *Cols_) < 0) {
        NoteDamage(true);
        continue;
      }
      if (CondMod_->TestAll(values)) return 1;
    } else {
      bool bad = false;
      const int r = NextCursorRecord(*this, *Cursor_, *RecBuf_, values, &bad);
      if (NoteDamage(bad) && !bad) return -1;
      if (r < 0) return -1;
      ++Candidates_;
      if (r > 0 && Cursor_->Test(values)) return 1;
    }
  }
  return 0;
}

bool CKvRecord::GetRec(CKvrValueList& values) {
  if (!SubOr_ || SubOr_->Count() == 0) return GetRecNoSub(values);
  while (GetRecNoSub(values))
    if (SubOr_->TestAny(values)) return true;
  return false;
}

int CKvRecord::GetRecNB(CKvrValueList& values) {
  const int r = GetRecNBNoSub(values);
  if (r != 1 || !SubOr_ || SubOr_->Count() == 0) return r;
  return SubOr_->TestAny(values) ? 1 : 0;
}

bool CKvRecord::GetColValue(const AnsiString& column, AnsiString& text) {
  const int colNo = Cols_ ? Cols_->IndexOf(column) : -1;
  if (colNo < 0 || !CondMod_ || !Korva_) return false;
  if (!CondMod_->IsEnded()) AddCondEnd();
  if (!CondMod_) return false;
  CKvrLock lock(Korva_);
  CKvrValueList values;
  uint32_t id;
  while (CondMod_->NextUnplanned(*Korva_, id)) {
    if (!ReadRecordBody(id, *RecBuf_)) {
      if (NoteDamage()) return false;
      continue;
    }
    if (DecodeRecord(values, *RecBuf_, *Cols_) < 0) {
      NoteDamage(true);
      continue;
    }
    if (!CondMod_->TestAll(values)) continue;
    text = values.GetAt(colNo)->GetText();
    return true;
  }
  NoteDamage();
  return false;
}
