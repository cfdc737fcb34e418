// Compilation of a select and its extended items. Running it is in RecSelectRun.cpp, the
// evaluator's hooks and lookup functions in RecSelectLookup.cpp.
#include "query/RecSelect.h"

#include "foundation/Lexer.h"
#include "foundation/LogForm.h"
#include "foundation/StrMacro.h"
#include "query/CompSimple.h"
#include "query/Condtree.h"
#include "query/RecFileList.h"
#include "query/SearchCond.h"
#include "store/KvRecord.h"

// ---- Columns -----------------------------------------------------------------------------------

CColmInfoList::~CColmInfoList() { Clear(); }

void CColmInfoList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}

namespace {

// Calls take(word) for every word of text that is not a function name (a word followed by "(").
template <typename Take>
void ForEachWord(const AnsiString& text, Take take) {
  CLexer lexer(text.c_str());
  lexer.NextToken();
  while (lexer.Kind != LEX_END) {
    if (lexer.Kind != LEX_NAME) {
      lexer.NextToken();
      continue;
    }
    const AnsiString word = lexer.Token;
    lexer.NextToken();
    if (lexer.Kind == '(') {
      lexer.NextToken();
      continue;
    }
    take(word);
  }
}

}  // namespace

void SplitColumnName(const AnsiString& name, AnsiString& table, AnsiString& column) {
  const size_t dot = name.find('.');
  if (dot == AnsiString::npos || dot == 0) {
    table.clear();
    column = dot == 0 ? name.substr(1) : name;
    return;
  }
  table = name.substr(0, dot);
  column = name.substr(dot + 1);
}

// ---- The select --------------------------------------------------------------------------------

CRecSelect::CRecSelect(CRecFileList* owner)
    : owner_(owner),
      alternatives_(new CSearchCondList),
      expressions_(new TStringList),
      macro_(new TCvStrMacro),
      tables_(new CTableInfoList),
      columns_(new CColmInfoList) {
  macro_->OnGetValue = [this](const AnsiString& name) { return GetVariable(name); };
  macro_->OnCallFunction = [this](const AnsiString& name, const TStrings* args) { return CallFunction(name, args); };
}

// The alternatives go first: their nodes point into the tables.
CRecSelect::~CRecSelect() {
  alternatives_.reset();
  nested_.reset();
}

void CRecSelect::Reset() {
  alternatives_->Clear();
  tables_->Clear();
  columns_->Clear();
  expressions_->Clear();
  extendedState_.clear();
  current_ = 0;
  extendedIndex_ = -1;
  holdable_ = false;
  rowSources_.clear();
}

void CRecSelect::CollectColumns(const AnsiString& text) {
  ForEachWord(text, [this](const AnsiString& word) {
    AnsiString table, column;
    SplitColumnName(word, table, column);
    for (int i = 0; i < columns_->Count(); ++i) {
      const CColmInfo* c = columns_->Get(i);
      if (c->Table == table && c->Column == column) return;
    }
    auto* c = new CColmInfo;
    c->Table = table;
    c->Column = column;
    columns_->Add(c);
  });
}

void CRecSelect::CollectTables(const AnsiString& text, bool tablePart) {
  ForEachWord(text, [this, tablePart](const AnsiString& word) {
    AnsiString table = word, column;
    if (tablePart) SplitColumnName(word, table, column);
    if (!table.empty() && tables_->IndexOfName(table) < 0) tables_->Add(new CTableInfo(table));
  });
}

bool CRecSelect::OpenTables() {
  for (int i = 0; i < tables_->Count(); ++i) {
    CTableInfo* info = tables_->Get(i);
    if (info->Name == ExtendedItemsTableName()) {
      for (int j = 0; j < columns_->Count(); ++j) {
        const CColmInfo* c = columns_->Get(j);
        if (c->Table != info->Name) continue;
        info->ColNames->Add(c->Column);
        info->Values->Add(new CKvrValue);
      }
      continue;
    }
    if (!owner_ || !owner_->TableExists(info->Name) || !(info->Table = owner_->OpenTable(info->Name))) {
      if (ReportErrors) ReportError(SJ("テーブル %s がありません。").c_str(), info->Name.c_str());
      return false;
    }
    info->Table->ListCol(info->ColNames);
  }
  return true;
}

bool CRecSelect::ResolveColumns() {
  for (int i = 0; i < columns_->Count(); ++i) {
    CColmInfo* c = columns_->Get(i);
    if (!c->Table.empty()) {
      c->TableIndex = tables_->IndexOfName(c->Table);
      if (c->TableIndex >= 0) c->ColumnIndex = tables_->Get(c->TableIndex)->ColNames->IndexOf(c->Column);
    }
    if (c->ColumnIndex < 0 && !tables_->FindColumn(c->Column, c->TableIndex, c->ColumnIndex)) {
      if (ReportErrors) ReportError(SJ("カラム %s がありません。").c_str(), c->Column.c_str());
      return false;
    }
  }
  return true;
}

int CRecSelect::Compile(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition) {
  Reset();
  CollectColumns(columns);
  CollectColumns(condition);
  CollectTables(tables, false);
  CollectTables(columns, true);
  CollectTables(condition, true);
  if (!OpenTables() || !ResolveColumns()) {
    Reset();
    return -1;
  }
  CheckHoldable();
  CCondTree tree;
  if (!tree.Parse(condition, [](AnsiString& text) { ExpandMacroText(text); })) {
    if (ReportErrors) ReportError("%s", tree.ErrorText().c_str());
    Reset();
    return -1;
  }
  for (const TCondAndList& alternative : tree.Alternatives()) {
    auto* cond = new CSearchCond(this);
    alternatives_->Add(cond);
    cond->SetCond(alternative);
  }
  AddTableScans();
  return alternatives_->Count();
}

bool CRecSelect::QualifyName(AnsiString& name) {
  AnsiString table, column;
  SplitColumnName(name, table, column);
  int t = table.empty() ? -1 : tables_->IndexOfName(table);
  int c = t < 0 ? -1 : tables_->Get(t)->ColNames->IndexOf(column);
  if (c < 0 && !tables_->FindColumn(column, t, c)) return false;
  const CTableInfo* info = tables_->Get(t);
  name = Format("%s.%s", info->Name.c_str(), info->ColNames->Strings(c).c_str());
  return true;
}

bool CRecSelect::GetValue(const AnsiString& table, const AnsiString& column, AnsiString& text) {
  const CTableInfo* info = tables_->Find(table);
  const int c = info ? info->ColNames->IndexOf(column) : -1;
  if (c < 0) return false;
  const CKvrValue* value = info->Values->GetAt(c);
  text = value ? value->GetText() : AnsiString();
  return true;
}

// ---- Extended items ----------------------------------------------------------------------------

CTableInfo* CRecSelect::ExtendedTable() {
  if (extendedIndex_ < 0) extendedIndex_ = tables_->IndexOfName(ExtendedItemsTableName());
  return extendedIndex_ < 0 ? nullptr : tables_->Get(extendedIndex_);
}

void CRecSelect::SetExtendedItem(const AnsiString& name, int type, const AnsiString& expression) {
  if (name.empty()) return;
  CTableInfo* info = ExtendedTable();
  if (!info) return;
  int j = info->ColNames->IndexOf(name);
  if (j < 0) {
    j = info->ColNames->Add(name);
    while (info->Values->Count() < info->ColNames->Count()) info->Values->Add(new CKvrValue(char(type)));
    for (int i = columns_->Count() - 1; i >= 0; --i) {
      CColmInfo* c = columns_->Get(i);
      if (c->Table == info->Name && c->Column == name) {
        c->TableIndex = extendedIndex_;
        c->ColumnIndex = j;
        break;
      }
    }
  } else {
    delete static_cast<CKvrValue*>(info->Values->Items(j));
    info->Values->SetItem(j, new CKvrValue(char(type)));
  }
  while (expressions_->Count() <= j) expressions_->Add(AnsiString());
  expressions_->SetString(j, expression);
}

int CRecSelect::EvalExtendedItems() {
  CTableInfo* info = ExtendedTable();
  if (!info) return 0;
  while (info->Values->Count() < info->ColNames->Count()) info->Values->Add(new CKvrValue);
  extendedState_.assign(static_cast<size_t>(info->ColNames->Count()), 0);
  for (int j = 0; j < info->ColNames->Count(); ++j) EvalExtendedItem(j);
  return info->ColNames->Count();
}

void CRecSelect::EvalExtendedItem(int j) {
  CTableInfo* info = ExtendedTable();
  if (!info || j < 0 || j >= static_cast<int>(extendedState_.size()) || extendedState_[size_t(j)] != 0) return;
  extendedState_[size_t(j)] = 1;
  CKvrValue* value = info->Values->GetAt(j);
  // Until it is computed the item reads as empty, also to an expression that names it.
  value->SetText("");
  AnsiString text;
  if (j < expressions_->Count() && extendedDepth_ < kExtendedDepth) {
    // One evaluator scans one text at a time: an item computed for another one gets its own.
    std::unique_ptr<TCvStrMacro> inner;
    TCvStrMacro* macro = macro_.get();
    if (extendedDepth_ > 0) {
      inner = std::make_unique<TCvStrMacro>();
      inner->OnGetValue = macro_->OnGetValue;
      inner->OnCallFunction = macro_->OnCallFunction;
      macro = inner.get();
    }
    ++extendedDepth_;
    int consumed = 0;
    const bool ok = macro->EvalMacro(expressions_->Strings(j).c_str(), consumed, text);
    --extendedDepth_;
    if (ok && (value->Type() == kvrSigned || value->Type() == kvrUnsigned)) {
      const size_t dot = text.find('.');
      if (dot != AnsiString::npos) text.resize(dot);
    }
  }
  value->SetText(text.c_str());
  extendedState_[size_t(j)] = 2;
}

void CRecSelect::AddTableScans() {
  for (int a = 0; a < alternatives_->Count(); ++a) {
    CSearchCond* cond = alternatives_->Get(a);
    TStringList retrieved;
    for (int i = 0; i < cond->Nodes->Count(); ++i) {
      const CCompSimple* node = cond->Nodes->Get(i);
      if (node->IsKind("rtv")) {
        retrieved.Add(node->Table);
      } else if (node->IsKind("rtv2")) {
        retrieved.Add(node->Table);
        retrieved.Add(static_cast<const CCompSimpleRtv2*>(node)->OtherTable);
      }
    }
    for (int t = 0; t < tables_->Count(); ++t) {
      const CTableInfo* info = tables_->Get(t);
      if (retrieved.IndexOf(info->Name) >= 0 || info->ColNames->Count() == 0) continue;
      cond->Nodes->Add(new CCompSimpleRtv(cond, info->Name, info->ColNames->Strings(0), COND_ALL, AnsiString()));
    }
  }
}
