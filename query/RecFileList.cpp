#include "query/RecFileList.h"

#include <algorithm>
#include <chrono>
#include <unordered_set>

#include "foundation/Lexer.h"
#include "foundation/Listfunc.h"
#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "query/RecInserter.h"
#include "query/RecSelect.h"
#include "store/KvRecord.h"

namespace {

// Closes and frees a table that OpenTable handed out.
struct TableCloser {
  void operator()(CKvRecord* table) const {
    if (!table) return;
    table->Close();
    delete table;
  }
};
using TablePtr = std::unique_ptr<CKvRecord, TableCloser>;

AnsiString TypeName(char type) {
  switch (type) {
    case kvrSigned:
    case kvrUnsigned: return "int";
    case kvrReal: return "real";
    case kvrSet: return "keyword";
    default: return "string";
  }
}

char TypeCode(const AnsiString& name) {
  if (name == "int") return kvrSigned;
  if (name == "unsigned") return kvrUnsigned;
  if (name == "real") return kvrReal;
  if (name == "keyword") return kvrSet;
  return kvrString;
}

void* CutFlag(bool cut) { return cut ? reinterpret_cast<void*>(intptr_t(1)) : nullptr; }

}  // namespace

CRecFileList::CRecFileList() = default;

CRecFileList::~CRecFileList() {
  list_.reset();
  enum_.reset();
  ClearTables();
}

// ---- Tables by name ----------------------------------------------------------------------------

bool CRecFileList::AddTable(const AnsiString& file, const AnsiString& table) {
  if (IndexOfName(table) >= 0) return false;
  auto* info = new CRecFileInfo;
  info->FileName = file;
  info->TableName = table;
  names_.AddObject(table, info);
  return true;
}

bool CRecFileList::RemoveTable(const AnsiString& table) {
  const int i = IndexOfName(table);
  if (i < 0) return false;
  delete static_cast<CRecFileInfo*>(names_.Objects(i));
  names_.Delete(i);
  return true;
}

void CRecFileList::ClearTables() {
  for (int i = 0; i < names_.Count(); ++i) delete static_cast<CRecFileInfo*>(names_.Objects(i));
  names_.Clear();
}

bool CRecFileList::DeleteTable(const AnsiString& table) {
  // An empty name would stand for the default table; deleting a file takes its name spelt out.
  if (table.empty()) return false;
  const AnsiString file = GetFileName(table);
  if (file.empty()) return false;
  std::unique_ptr<CKvRecord> object(CreateKvRecord(file));
  const bool deleted = object && object->DelFile();
  object.reset();
  RemoveTable(table);
  return deleted;
}

bool CRecFileList::TableExists(const AnsiString& table) {
  const AnsiString file = GetFileName(table);
  if (file.empty()) return false;
  if (!IsRemoteName(file.c_str())) return FileExists(file);
  TablePtr object(CreateKvRecord(file));
  return object && object->Open() >= 0;
}

AnsiString CRecFileList::GetFileName(const AnsiString& table) {
  if (table.empty()) return names_.Count() > 0 ? Get(0)->FileName : AnsiString();
  int i = IndexOfName(table);
  if (i < 0 && resolver_) {
    const AnsiString file = resolver_(table);
    if (!file.empty() && AddTable(file, table)) i = IndexOfName(table);
  }
  return i < 0 ? AnsiString() : Get(i)->FileName;
}

CKvRecord* CRecFileList::OpenTable(const AnsiString& table) {
  const AnsiString file = GetFileName(table);
  if (file.empty()) {
    ReportError(SJ("テーブル名 %s が不正です。").c_str(), table.c_str());
    return nullptr;
  }
  CKvRecord* object = CreateKvRecord(file);
  if (!object || !object->OpenOrCreate()) {
    delete object;
    ReportError(SJ("テーブル %s がオープンできません。").c_str(), table.c_str());
    return nullptr;
  }
  return object;
}

// ---- The list cursor ---------------------------------------------------------------------------

bool CRecFileList::ListStart(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition) {
  ListEnd();
  const AnsiString from = tables.empty() && names_.Count() > 0 ? names_[0] : tables;
  auto select = std::make_unique<CRecSelect>(this);
  if (!select->ListStart(columns, from, condition)) return false;
  list_ = std::move(select);
  return true;
}

void CRecFileList::ReadAhead() {
  CRecSelectHold hold(*list_);
  const auto start = std::chrono::steady_clock::now();
  // The first rows come out at once; later reads take longer runs, which spares the holds.
  const int rows = std::min(kReadAheadRows, std::max(kReadAheadFirst, 2 * aheadRun_));
  aheadRun_ = rows;
  // The texts of the run go into one vector that keeps its room from run to run: a row read
  // ahead costs no allocation of its own.
  aheadTexts_.clear();
  aheadEnds_.clear();
  aheadRow_ = 0;
  for (int steps = 1;; ++steps) {
    const int r = list_->NextNB(aheadTexts_);
    if (r < 0) {
      listEnded_ = true;
      return;
    }
    if (r > 0) aheadEnds_.push_back(aheadTexts_.size());
    if (!hold.Held() || int(aheadEnds_.size()) >= rows) return;
    // The clock is read every 16 steps: per row it cost a noticeable share of a listing.
    if (steps % 16 == 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(kReadAheadMs)) return;
  }
}

bool CRecFileList::ListNext(TStrings& row) {
  int r;
  while ((r = ListNextNB(row)) == 0) {
  }
  return r > 0;
}

int CRecFileList::ListNextNB(TStrings& row) {
  if (!list_) return -1;
  row.Clear();
  if (aheadRow_ == aheadEnds_.size() && !listEnded_) ReadAhead();
  if (aheadRow_ < aheadEnds_.size()) {
    // The run's texts are read once: they move into the row.
    for (size_t i = aheadRow_ > 0 ? aheadEnds_[aheadRow_ - 1] : 0; i < aheadEnds_[aheadRow_]; ++i)
      row.Add(std::move(aheadTexts_[i]));
    ++aheadRow_;
    return 1;
  }
  if (!listEnded_) return 0;
  ListEnd();
  return -1;
}

void CRecFileList::ListEnd() {
  list_.reset();
  aheadTexts_.clear();
  aheadEnds_.clear();
  aheadRow_ = 0;
  listEnded_ = false;
  aheadRun_ = 0;
}

// ---- Writing -----------------------------------------------------------------------------------

bool CRecFileList::InsertRecord(const AnsiString& columns, const AnsiString& tables, const TStrings& values) {
  std::unique_ptr<TStringList> columnNames(SplitNames(columns));
  std::unique_ptr<TStringList> tableNames(SplitNames(tables));
  CRecInserter inserter(*this, *columnNames, *tableNames);
  return inserter.Insert(values);
}

bool CRecFileList::UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                                 const AnsiString& condition) {
  CRecSelect select(this);
  return select.UpdateRecords(columns, table, values, condition);
}

int CRecFileList::DeleteRecords(const AnsiString& table, const TStrings& ids) {
  TablePtr object(OpenTable(table));
  if (!object) return -1;
  int deleted = 0;
  for (int i = 0; i < ids.Count(); ++i)
    if (object->DelRecById(ids[i])) ++deleted;
  return deleted;
}

int CRecFileList::SetValue(const AnsiString& table, const TStrings& ids, const AnsiString& column,
                           const AnsiString& value) {
  TablePtr object(OpenTable(table));
  if (!object) return -1;
  AnsiString tablePart, name;
  SplitColumnName(column, tablePart, name);
  std::unique_ptr<TStrings> names(object->ListCol(nullptr));
  const int col = names->IndexOf(name);
  if (col < 0) return 0;
  int changed = 0;
  for (int i = 0; i < ids.Count(); ++i)
    if (object->ChgRecById(ids[i], col, value)) ++changed;
  return changed;
}

// ---- Columns -----------------------------------------------------------------------------------

int CRecFileList::AddColumn(const AnsiString& table, const AnsiString& column, const AnsiString& type, int length) {
  TablePtr object(OpenTable(table));
  if (!object) return -1;
  std::unique_ptr<TStrings> names(object->ListCol(nullptr));
  if (names->IndexOf(column) >= 0) return 0;
  return object->AddColumn(column, TypeCode(type), length) ? 1 : -1;
}

void CRecFileList::GetColumnInfo(const AnsiString& table, TStrings& names, TStrings* types, TStrings* options) {
  TablePtr object(OpenTable(table));
  if (!object || !object->Columns()) return;
  const CKvrColInfoList& cols = *object->Columns();
  for (int i = 0; i < cols.Count(); ++i) {
    const CKvrColInfo* c = cols.GetAt(i);
    names.Add(c->Name);
    if (types) types->Add(TypeName(c->Type));
    if (options) options->Add(ColOptToText(c->Flags, c->OptText1, c->OptText2));
  }
}

void CRecFileList::GetColumnTypes(const AnsiString& table, TStrings& names, TStrings* types) {
  GetColumnInfo(table, names, types, nullptr);
}

void CRecFileList::GetAllColumns(TStrings& names, TStrings& types) {
  if (names_.Count() == 0) return;
  const AnsiString table = names_[0];
  TStringList own;
  GetColumnTypes(table, own, &types);
  for (int i = 0; i < own.Count(); ++i) names.Add(table + "." + own[i]);
}

int CRecFileList::SetColumnInfo(const AnsiString& table, const TStrings& names, const TStrings& options) {
  TablePtr object(OpenTable(table));
  if (!object || !object->Columns()) return -1;
  CKvrColInfoList& cols = *object->Columns();
  int changed = 0;
  for (int i = 0; i < names.Count() && i < options.Count(); ++i) {
    CKvrColInfo* c = cols.Find(names[i]);
    if (!c) continue;
    TextToColOpt(options[i], c->Flags, c->OptText1, c->OptText2);
    ++changed;
  }
  if (changed > 0 && !object->WriteColInfoList()) return -1;
  return changed;
}

int CRecFileList::ReIndexTable(const AnsiString& table, RecProgress progress, void* context) {
  TablePtr object(OpenTable(table));
  if (!object) return -1;
  return object->ReIndex(progress, context);
}

// ---- Distinct values ---------------------------------------------------------------------------

bool CRecFileList::EnumStart(const AnsiString& condition, const AnsiString& column, int cut, TStrings& out,
                             RecEnumProgress progress) {
  if (condition.empty()) {
    AnsiString tablePart, columnPart;
    SplitColumnName(column, tablePart, columnPart);
    TablePtr object(OpenTable(tablePart));
    if (object) object->EnumList2(out, columnPart, cut, progress);
    return true;
  }
  // Whole values: the cut below marks what it shortened.
  TStringList found;
  {
    CRecSelect select(this);
    if (select.EnumStart(column, 0, AnsiString(), condition)) select.EnumAll(found);
  }
  QuickSortStrings(&found);
  if (cut <= 0) {
    std::unordered_set<AnsiString> have;
    for (int i = 0; i < out.Count(); ++i) have.insert(out[i]);
    for (int i = 0; i < found.Count(); ++i)
      if (have.insert(found[i]).second) out.Add(found[i]);
    QuickSortStrings(&out);
    return true;
  }
  std::unordered_set<AnsiString> have;
  for (int i = 0; i < out.Count(); ++i) have.insert(out[i]);
  for (int i = 0; i < found.Count(); ++i) {
    const AnsiString c = TruncateTextBytes(found[i], cut);
    if (have.insert(c).second) out.AddObject(c, CutFlag(c.size() < found[i].size()));
  }
  return true;
}

void CRecFileList::EnumStartCond(const AnsiString& condition, const AnsiString& column, int cut) {
  enum_.reset();
  auto select = std::make_unique<CRecSelect>(this);
  const AnsiString table = names_.Count() > 0 ? names_[0] : AnsiString();
  if (!select->EnumStart(column, cut, table, condition)) return;
  enumCut_ = cut;
  enum_ = std::move(select);
}

bool CRecFileList::EnumNext(TStrings& list) {
  if (!enum_) return false;
  AnsiString value;
  if (!enum_->EnumNext(value)) {
    enum_.reset();
    return false;
  }
  const AnsiString c = enumCut_ < 1 ? value : TruncateTextBytes(value, enumCut_);
  if (list.IndexOf(c) < 0) {
    // A value exactly as long as the cut may have been cut when it was stored.
    const bool cut = c.size() < value.size() || (enumCut_ > 0 && int(value.size()) == enumCut_);
    list.AddObject(c, CutFlag(cut));
  }
  return true;
}

int CRecFileList::EnumNextNB(TStrings& list) {
  if (!enum_) return -1;
  const int r = enum_->EnumNextNB(list);
  if (r < 0) enum_.reset();
  return r;
}

void CRecFileList::EnumEnd() { enum_.reset(); }

void CRecFileList::GetExtendedValue(const AnsiString& name, int type, const AnsiString& expression) {
  if (list_)
    list_->SetExtendedItem(name, type, expression);
  else if (enum_)
    enum_->SetExtendedItem(name, type, expression);
}

TStringList* CRecFileList::SplitNames(const AnsiString& text) {
  auto* names = new TStringList;
  CLexer lexer(text.c_str());
  for (lexer.NextToken(); lexer.Kind != LEX_END; lexer.NextToken())
    if (lexer.Kind == LEX_NAME || lexer.Kind == LEX_STRING || lexer.Kind == LEX_NUMBER) names->Add(lexer.Token);
  return names;
}

AnsiString TruncateTextBytes(const AnsiString& text, int n) {
  size_t i = 0;
  while (i < text.size() && int(i) < n) i += IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  return text.substr(0, i);
}
