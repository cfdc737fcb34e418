#include "query/RecInserter.h"

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "query/RecFileList.h"
#include "query/RecSelect.h"
#include "store/KvRecord.h"

struct CRecInserter::Part {
  AnsiString name;
  CKvRecord* table = nullptr;  // owned, open
  std::unique_ptr<TStrings> columns;
  TStringList names, texts;  // one record's part, refilled per insert
  int filled = 0;             // entries of names and texts the insert being built has set
};

CRecInserter::CRecInserter(CRecFileList& files, const TStrings& columns, const TStrings& tables) {
  allOpened_ = tables.Count() > 0;
  for (int i = 0; i < tables.Count(); ++i) {
    CKvRecord* table = files.OpenTable(tables[i]);
    if (!table) {
      allOpened_ = false;
      continue;
    }
    auto part = std::make_unique<Part>();
    part->name = tables[i];
    part->table = table;
    part->columns.reset(table->ListCol(nullptr));
    parts_.push_back(std::move(part));
  }
  target_.assign(size_t(columns.Count()), -1);
  names_.resize(size_t(columns.Count()));
  for (int i = 0; i < columns.Count(); ++i) {
    AnsiString tablePart, columnPart;
    SplitColumnName(columns[i], tablePart, columnPart);
    for (size_t p = 0; p < parts_.size(); ++p) {
      if (!tablePart.empty() && parts_[p]->name != tablePart) continue;
      if (parts_[p]->columns->IndexOf(columnPart) < 0) continue;
      target_[size_t(i)] = int(p);
      names_[size_t(i)] = columnPart;
      break;
    }
  }
}

CRecInserter::~CRecInserter() {
  EndRun();
  for (auto& part : parts_) {
    part->table->Close();
    delete part->table;
  }
}

bool CRecInserter::Insert(std::span<const AnsiString* const> values) {
  // The parts' lists are filled again where they are: the names mostly stay as the last insert
  // left them, and the texts reuse their memory.
  for (auto& part : parts_) part->filled = 0;
  const size_t n = std::min(values.size(), target_.size());
  for (size_t i = 0; i < n; ++i) {
    if (target_[i] < 0 || !values[i]) continue;
    Part& part = *parts_[size_t(target_[i])];
    const int at = part.filled++;
    if (at < part.names.Count() && part.names[at] == names_[i]) {
      part.texts.SetString(at, *values[i]);
      continue;
    }
    while (part.names.Count() > at) part.names.Delete(part.names.Count() - 1);
    while (part.texts.Count() > at) part.texts.Delete(part.texts.Count() - 1);
    part.names.Add(names_[i]);
    part.texts.Add(*values[i]);
  }
  for (auto& part : parts_) {
    while (part->names.Count() > part->filled) part->names.Delete(part->names.Count() - 1);
    while (part->texts.Count() > part->filled) part->texts.Delete(part->texts.Count() - 1);
  }
  for (auto& part : parts_)
    if (!part->table->Insert(part->names, part->texts)) return false;
  if (!allOpened_) return false;
  if (!held_.empty()) ++runInserts_;
  return true;
}

bool CRecInserter::Insert(const TStrings& values) {
  given_.resize(size_t(values.Count()));
  for (int i = 0; i < values.Count(); ++i) given_[size_t(i)] = &values[i];
  return Insert(std::span<const AnsiString* const>(given_));
}

void CRecInserter::Hold() {
  if (!held_.empty()) return;
  for (auto& part : parts_)
    if (CKorva* file = part->table->File(); file && file->Hold()) held_.push_back(file);
  heldSince_ = GetTickCount();
  runInserts_ = 0;
}

int CRecInserter::EndRun() {
  bool written = true;
  for (auto it = held_.rbegin(); it != held_.rend(); ++it)
    if (!(*it)->Release()) written = false;
  held_.clear();
  const int lost = written ? 0 : runInserts_;
  runInserts_ = 0;
  if (lost > 0) ReportError("%s", SJ("レコードの書き込みができません。").c_str());
  return lost;
}

int CRecInserter::Breathe() {
  if (held_.empty() || GetTickCount() - heldSince_ < uint32_t(kBreatheMs)) return 0;
  const int lost = EndRun();
  Hold();
  return lost;
}
