// Shared pieces of the comparison-node tests: small tables in a temporary folder behind a select
// stand-in, a runner that steps alternatives as a select does, and the lines of the plan dumps.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/LogForm.h"
#include "query/CompList.h"
#include "query/CompSimple.h"
#include "query/Condtree.h"
#include "query/SearchCond.h"
#include "store/KvRecord.h"
#include "tests/support/TestSupport.h"

// A table that counts what the nodes ask of it.
class CountingTable : public CKvRecord {
 public:
  void AddCondEnd() override {
    ++Starts;
    CKvRecord::AddCondEnd();
  }
  int GetRecNB(CKvrValueList& values) override {
    ++Reads;
    return CKvRecord::GetRecNB(values);
  }
  int Starts = 0;
  int Reads = 0;
};

struct TestColumn {
  const char* name;
  char type;
  int length;
};

// The select as the nodes see it: tables in a folder, names qualified as the compiler does.
class TestSelect : public CRecSelectBase {
 public:
  CTableInfo* AddTable(const AnsiString& name, std::initializer_list<TestColumn> columns) {
    auto* info = new CTableInfo(name);
    auto* table = new CountingTable;
    table->SetFileName(dir.File(name + ".kv"));
    for (const TestColumn& c : columns) EXPECT_TRUE(table->AddColumn(c.name, c.type, c.length)) << c.name;
    EXPECT_TRUE(table->WriteColInfoList());
    EXPECT_GE(table->Open(), 0);
    info->Table = table;
    table->ListCol(info->ColNames);
    tables.Add(info);
    return info;
  }
  // Inserts "column=text" pairs; the new id.
  unsigned Insert(const AnsiString& name, std::initializer_list<std::pair<const char*, AnsiString>> fields) {
    TStringList names, texts;
    for (const auto& f : fields) {
      names.Add(f.first);
      texts.Add(f.second);
    }
    unsigned id = 0;
    EXPECT_TRUE(tables.Find(name)->Table->InsertEx(names, texts, &id, 0));
    return id;
  }
  CountingTable* Counting(const AnsiString& name) { return static_cast<CountingTable*>(tables.Find(name)->Table); }

  CTableInfoList* GetTableList() override { return &tables; }
  bool QualifyName(AnsiString& name) override {
    CCondTreeNodeVar var;
    var.Text = name;
    const AnsiString table = var.GetTablePart(), column = var.GetColumnPart();
    int t = -1, c = -1;
    if (const CTableInfo* info = tables.Find(table)) {
      t = tables.IndexOfName(table);
      c = info->ColNames->IndexOf(column);
    }
    if (c < 0 && !tables.FindColumn(column, t, c)) return false;
    name = tables.Get(t)->Name + "." + (*tables.Get(t)->ColNames)[c];
    return true;
  }
  bool GetValue(const AnsiString& table, const AnsiString& column, AnsiString& text) override {
    const CTableInfo* info = tables.Find(table);
    const int c = info ? info->ColNames->IndexOf(column) : -1;
    if (c < 0) return false;
    const CKvrValue* v = info->Values->GetAt(c);
    text = v ? v->GetText() : AnsiString();
    return true;
  }
  int EvalExtendedItems() override { return EvalItems ? EvalItems() : 0; }

  std::function<int()> EvalItems;
  TempDir dir;
  CTableInfoList tables;
};

// Alternatives for a condition text as a new select makes them: one per parsed alternative, each
// completed with an ALL retrieval of every table it does not name; every record of every table
// when there is no condition.
inline bool MakeAlternatives(TestSelect& select, const AnsiString& condition, CSearchCondList& out) {
  // Each query starts with empty result caches, as a new select does.
  for (int t = 0; t < select.tables.Count(); ++t) select.tables.Get(t)->Cash->Clear();
  CCondTree tree;
  if (!tree.Parse(condition)) return false;
  for (const TCondAndList& list : tree.Alternatives()) {
    auto* alternative = new CSearchCond(&select);
    alternative->SetCond(list);
    std::set<AnsiString> named;
    for (int i = 0; i < alternative->Nodes->Count(); ++i) {
      CCompSimple* node = alternative->Nodes->Get(i);
      if (node->IsKind("rtv")) named.insert(node->Table);
      if (node->IsKind("rtv2")) {
        named.insert(node->Table);
        named.insert(static_cast<CCompSimpleRtv2*>(node)->OtherTable);
      }
    }
    for (int t = 0; t < select.tables.Count(); ++t) {
      const CTableInfo* info = select.tables.Get(t);
      if (!named.count(info->Name))
        alternative->Nodes->Add(new CCompSimpleRtv(alternative, info->Name, (*info->ColNames)[0], COND_ALL, ""));
    }
    out.Add(alternative);
  }
  if (out.Count() == 0) {
    auto* all = new CSearchCond(&select);
    all->SetMatchAll();
    out.Add(all);
  }
  return true;
}

// One combination: the record ids of the tables in select order, as "T1 U3".
inline std::string CurrentIds(TestSelect& select) {
  std::string out;
  for (int t = 0; t < select.tables.Count(); ++t) {
    const CTableInfo* info = select.tables.Get(t);
    const CKvrValue* id = info->Values->GetAt(0);
    out += (t ? " " : "") + info->Name + (id ? id->GetText() : AnsiString("?"));
  }
  return out;
}

// Steps the alternatives as a select does, skipping what an earlier alternative holds for; the
// combinations in delivery order. Every call is checked against the node lists' budget.
inline std::vector<std::string> RunAlternatives(TestSelect& select, CSearchCondList& alternatives) {
  std::vector<std::string> rows;
  for (int k = 0, calls = 0; k < alternatives.Count() && calls < 1000000; ++calls) {
    const int r = alternatives.Get(k)->NextNB();
    if (r < 0) {
      ++k;
      continue;
    }
    if (r == 0) continue;
    bool earlier = false;
    for (int j = 0; j < k && !earlier; ++j) earlier = alternatives.Get(j)->IsHit();
    if (!earlier) rows.push_back(CurrentIds(select));
  }
  return rows;
}

// Compiles, optimises and runs a condition; the combinations, or {"ERROR"} when it does not parse.
inline std::vector<std::string> RunCondition(TestSelect& select, const AnsiString& condition) {
  CSearchCondList alternatives;
  if (!MakeAlternatives(select, condition, alternatives)) return {"ERROR"};
  alternatives.Optimize();
  return RunAlternatives(select, alternatives);
}

// Enumerates `column` ("table.column") over a condition as an enumeration start and its steps do:
// non-blocking (NextEnumNB into one list) or blocking (NextEnum, the column's current text taken
// when no earlier alternative holds). The distinct texts, sorted; {"FAIL"} when the start fails.
inline std::vector<std::string> EnumerateCondition(TestSelect& select, const AnsiString& condition,
                                                   const AnsiString& column, bool blocking) {
  CSearchCondList alternatives;
  if (!MakeAlternatives(select, condition, alternatives)) return {"FAIL"};
  for (int k = 0; k < alternatives.Count(); ++k)
    for (int i = 0; i < alternatives.Get(k)->Nodes->Count(); ++i) alternatives.Get(k)->Nodes->Get(i)->SetEnumColumn(column, 0);
  alternatives.Optimize();
  if (!alternatives.SetEnumColumn(column, 0)) return {"FAIL"};
  std::set<std::string> texts;
  TStringList list;
  CCondTreeNodeVar var;
  var.Text = column;
  const CTableInfo* info = select.tables.Find(var.GetTablePart());
  const int col = info ? info->ColNames->IndexOf(var.GetColumnPart()) : -1;
  for (int k = 0, calls = 0; k < alternatives.Count() && calls < 1000000; ++calls) {
    CSearchCond* alternative = alternatives.Get(k);
    if (!blocking) {
      const int before = list.Count();
      const int r = alternative->NextEnumNB(list);
      if (r < 0) ++k;
      EXPECT_EQ(std::max(r, 0), list.Count() - before);
      continue;
    }
    if (!alternative->Nodes->NextEnum()) {
      ++k;
      continue;
    }
    bool earlier = false;
    for (int j = 0; j < k && !earlier; ++j) earlier = alternatives.Get(j)->IsHit();
    const CKvrValue* v = info ? info->Values->GetAt(col) : nullptr;
    if (!earlier && v) texts.insert(v->GetText());
  }
  for (int i = 0; i < list.Count(); ++i) EXPECT_TRUE(texts.insert(list[i]).second) << "twice: " << list[i];
  return std::vector<std::string>(texts.begin(), texts.end());
}

// A visible log window while it lives; Lines() are the texts written since, without time stamps.
class LogCapture {
 public:
  LogCapture() {
    FormLog = new TFormLog(Application);
    FormLog->Show();
  }
  ~LogCapture() { delete FormLog; }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    TStrings* lines = FormLog->RichEdit1->Lines();
    for (int i = 0; i < lines->Count(); ++i) {
      const AnsiString& line = (*lines)[i];
      const size_t end = line.find('>');
      out.push_back(end == AnsiString::npos ? line : line.substr(end + 1));
    }
    return out;
  }
  void Clear() { FormLog->RichEdit1->Lines()->Clear(); }
};
