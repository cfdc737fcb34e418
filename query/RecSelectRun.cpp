// Running a compiled select: listing, enumerating one column's distinct values, and writing values
// back into the selected records.
//
// Alternatives run one after another and are not restarted. A combination that an earlier
// alternative holds for has been delivered by it already and is passed over (the base nodes do
// the same among their nested alternatives), so every combination comes out once.
#include <filesystem>
#include <set>
#include <unordered_set>

#include "query/CompList.h"
#include "query/CompSimple.h"
#include "query/RecSelect.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"

namespace {

bool ParseId(const AnsiString& text, uint32_t& id) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + uint64_t(c - '0');
  }
  if (n == 0 || n > UINT32_MAX) return false;
  id = uint32_t(n);
  return true;
}

// The record as it is stored now. A table on a record server has no file here: it is asked for
// the record by its id.
bool ReadRecord(CKvRecord& table, uint32_t id, CKvrValueList& record) {
  if (CKorva* file = table.File()) {
    CKvrLock lock(file);
    CKvrBuffer body(64);
    if (!lock.Taken() || !table.ReadRecordBody(id, body) || !table.Columns()) return false;
    return CKvRecord::DecodeRecord(record, body, *table.Columns()) >= 0;  // a damaged body is no record
  }
  table.ClearCond();
  table.AddCond(kvrRecIdName, COND_EQL, UIntToStr(id));
  table.AddCondEnd();
  uint32_t found;
  return table.GetRec(record) && record.GetAt(0) && ParseId(record.GetAt(0)->GetText(), found) && found == id;
}

}  // namespace

// ---- Holding the files ---------------------------------------------------------------------------

// Called once the tables are open.
void CRecSelect::CheckHoldable() {
  holdable_ = false;
  std::set<std::string> files;
  for (int i = 0; i < tables_->Count(); ++i) {
    const CTableInfo* info = tables_->Get(i);
    if (!info->Table || !info->Table->File()) return;  // the extended items' evaluator
    std::error_code error;
    const std::filesystem::path path = std::filesystem::weakly_canonical(info->Table->FileName(), error);
    if (error || !files.insert(path.string()).second) return;
  }
  holdable_ = tables_->Count() > 0;
}

CRecSelectHold::CRecSelectHold(CRecSelect& select) {
  if (!select.CanHoldFiles()) return;
  for (int i = 0; i < select.Tables()->Count(); ++i) files_.push_back(select.Tables()->Get(i)->Table->File());
  Take();
}

CRecSelectHold::~CRecSelectHold() { Drop(); }

void CRecSelectHold::Take() {
  for (CKorva* file : files_)
    if (file->Hold()) held_.push_back(file);
  since_ = GetTickCount();
}

void CRecSelectHold::Drop() {
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) (*it)->Release();
  held_.clear();
}

void CRecSelectHold::Breathe() {
  if (files_.empty() || uint32_t(GetTickCount() - since_) < uint32_t(kBreatheMs)) return;
  Drop();
  Take();
}

// ---- Listing -----------------------------------------------------------------------------------

bool CRecSelect::CompileAll(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition) {
  const int n = Compile(columns, tables, condition);
  if (n < 0) return false;
  if (n == 0 && tables_->Count() > 0) {
    auto* all = new CSearchCond(this);
    alternatives_->Add(all);
    all->SetMatchAll();
  }
  return true;
}

bool CRecSelect::ListStart(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition) {
  if (!CompileAll(columns, tables, condition)) return false;
  alternatives_->Dump("Pre");
  alternatives_->Optimize();
  alternatives_->Dump("Post");
  current_ = 0;
  if (alternatives_->Count() > 0) alternatives_->Get(0)->Reset();
  return alternatives_->Count() > 0;
}

int CRecSelect::Step() {
  if (current_ >= alternatives_->Count()) return -1;
  const int r = alternatives_->Get(current_)->NextNB();
  if (r > 0) {
    for (int k = 0; k < current_; ++k)
      if (alternatives_->Get(k)->IsHit()) return 0;
    return 1;
  }
  if (r < 0 && ++current_ < alternatives_->Count()) alternatives_->Get(current_)->Reset();
  return 0;
}

int CRecSelect::NextNB(TStrings& row) {
  const int r = Step();
  if (r > 0) GetRow(row);
  return r;
}

int CRecSelect::NextNB(std::vector<AnsiString>& texts) {
  const int r = Step();
  if (r <= 0) return r;
  if (rowSources_.size() != size_t(columns_->Count())) {
    rowSources_.clear();
    for (int i = 0; i < columns_->Count(); ++i) {
      const CColmInfo* c = columns_->Get(i);
      const bool known = c->TableIndex >= 0 && c->TableIndex < tables_->Count();
      rowSources_.emplace_back(known ? tables_->Get(c->TableIndex)->Values : nullptr, c->ColumnIndex);
    }
  }
  // Each text is made once, in its place in the run.
  char room[CKvrValue::kTextRoom];
  for (const auto& [values, index] : rowSources_) {
    const CKvrValue* value = values ? values->GetAt(index) : nullptr;
    size_t n = 0;
    const char* text = value ? value->TextBytes(room, n) : "";
    texts.emplace_back(text, n);
  }
  return r;
}

bool CRecSelect::Next(TStrings& row) {
  int r;
  while ((r = NextNB(row)) == 0) {
  }
  return r > 0;
}

AnsiString CRecSelect::ColumnText(int i) const {
  const CColmInfo* c = columns_->Get(i);
  const CKvrValue* value = nullptr;
  if (c->TableIndex >= 0 && c->TableIndex < tables_->Count())
    value = tables_->Get(c->TableIndex)->Values->GetAt(c->ColumnIndex);
  return value ? value->GetText() : AnsiString();
}

void CRecSelect::GetRow(TStrings& row) const {
  for (int i = 0; i < columns_->Count(); ++i) row.Add(ColumnText(i));
}

// ---- Distinct values ---------------------------------------------------------------------------

namespace {

// Hands the enumerated column to every node, through the base nodes to their nested alternatives.
void OfferEnumColumn(CSearchCondList& alternatives, const AnsiString& column, int cut) {
  for (int a = 0; a < alternatives.Count(); ++a) {
    CCompSimpleList* nodes = alternatives.Get(a)->Nodes;
    for (int i = 0; i < nodes->Count(); ++i) nodes->Get(i)->SetEnumColumn(column, cut);
  }
}

}  // namespace

bool CRecSelect::EnumStart(const AnsiString& column, int cut, const AnsiString& tables, const AnsiString& condition) {
  if (!CompileAll(column, tables, condition)) return false;
  OfferEnumColumn(*alternatives_, column, cut);
  alternatives_->Dump("Pre");
  alternatives_->Optimize();
  if (alternatives_->Count() == 0 || !alternatives_->SetEnumColumn(column, cut)) return false;
  alternatives_->Dump("Post");
  return true;
}

bool CRecSelect::EnumNext(AnsiString& value) {
  CSearchCondList& alts = *alternatives_;
  while (alts.EnumIndex >= 0 && alts.EnumIndex < alts.Count()) {
    CSearchCond* cond = alts.Get(alts.EnumIndex);
    while (cond->Nodes->NextEnum()) {
      bool earlier = false;
      for (int k = 0; k < alts.EnumIndex && !earlier; ++k) earlier = alts.Get(k)->IsHit();
      if (earlier) continue;
      TStringList row;
      GetRow(row);
      value = row.Count() > 0 ? row[0] : AnsiString();
      return true;
    }
    ++alts.EnumIndex;
  }
  return false;
}

int CRecSelect::EnumNextNB(TStrings& list) {
  CSearchCondList& alts = *alternatives_;
  if (alts.EnumIndex < 0) return -1;
  while (alts.EnumIndex < alts.Count()) {
    const int r = alts.Get(alts.EnumIndex)->NextEnumNB(list);
    if (r >= 0) return r;
    ++alts.EnumIndex;
  }
  return -1;
}

void CRecSelect::EnumAll(TStrings& list) {
  std::unordered_set<AnsiString> have;
  for (int i = 0; i < list.Count(); ++i) have.insert(list[i]);
  TStringList step;
  CRecSelectHold hold(*this);
  for (;; hold.Breathe()) {
    step.Clear();
    if (EnumNextNB(step) < 0) break;
    for (int i = 0; i < step.Count(); ++i)
      if (have.insert(step[i]).second) list.AddObject(step[i], step.Objects(i));
  }
}

// ---- Writing back ------------------------------------------------------------------------------

bool CRecSelect::GatherRecordIds(int table, std::vector<uint32_t>& ids) {
  std::unordered_set<uint32_t> seen;
  const CKvrValueList* values = tables_->Get(table)->Values;
  CRecSelectHold hold(*this);
  for (int r; (r = Step()) >= 0; hold.Breathe()) {
    if (r == 0) continue;
    uint32_t id;
    const CKvrValue* value = values->GetAt(0);
    if (!value || !ParseId(value->GetText(), id)) return false;
    if (seen.insert(id).second) ids.push_back(id);
  }
  return true;
}

bool CRecSelect::UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                               const AnsiString& condition) {
  if (!ListStart(columns, table, condition)) return false;
  const int t = tables_->IndexOfName(table);
  if (t < 0) return false;
  CTableInfo* info = tables_->Get(t);
  if (!info->Table) return false;
  // Value j goes to select column j; the record id (column 0) is never rewritten.
  std::vector<std::pair<int, int>> writes;  // column of the table, value index
  for (int j = std::min(values.Count(), columns_->Count()) - 1; j >= 0; --j) {
    const CColmInfo* c = columns_->Get(j);
    if (c->TableIndex == t && c->ColumnIndex > 0) writes.emplace_back(c->ColumnIndex, j);
  }
  if (writes.empty()) return false;
  // Every record is found before the first is written, so a write that moves a record within the
  // walked index neither hides it nor brings it round again.
  std::vector<uint32_t> ids;
  if (!GatherRecordIds(t, ids) || ids.empty()) return false;
  CKvRecord& file = *info->Table;
  int failures = 0;
  for (uint32_t id : ids) {
    CKvrValueList record;
    if (!ReadRecord(file, id, record)) {
      ++failures;
      continue;
    }
    for (const auto& [column, j] : writes)
      if (CKvrValue* v = record.GetAt(column)) v->SetText(values[j].c_str());
    if (!file.ReplaceData(record)) ++failures;
  }
  return failures == 0;
}
