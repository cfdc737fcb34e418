// A folder stand-in for the candidates popup and the record edit dialog: sorted rows of a key and
// a name, searched from the first key not below the typed text, answering "not yet" every other
// call so that the popup's polling is exercised.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/CapInfo.h"
#include "views/CandUnit.h"
#include "views/KelmGrid.h"

struct FakeCandSource : CCandSource {
  struct Row {
    AnsiString key, name;
  };
  std::vector<Row> rows;
  std::vector<AnsiString> searches;  // the key texts of the searches started
  AnsiString keyName = "t.code", nameName = "t.name";
  AnsiString table = "t", join;
  bool stall = false;  // every answer is "not yet"
  size_t cursor = 0;
  bool running = false;
  int calls = 0;

  void Add(const AnsiString& key, const AnsiString& name) {
    rows.push_back({key, name});
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.key < b.key; });
  }
  AnsiString GetEditTableName() override { return table; }
  AnsiString GetJoinCondition(const AnsiString&, const AnsiString&) override { return join; }
  bool CheckEditColumns(CCapInfoList& shown, CCapInfo* key, CCapInfoList& result) override {
    result.Clear();
    const int k = shown.IndexOfName(keyName), n = shown.IndexOfName(nameName);
    if (!key || key->Name != keyName || k < 0 || n < 0) return false;
    for (int i : {k, n}) {
      CCapInfo* c = CCapInfo::Clone(shown.GetItem(i));
      c->Position = i;
      result.Add(c);
    }
    return true;
  }
  bool MakeNextChunkCondition(CCapInfoList&, CCapInfo*, const AnsiString& text) override {
    searches.push_back(text);
    cursor = std::lower_bound(rows.begin(), rows.end(), text, [](const Row& r, const AnsiString& t) { return r.key < t; }) -
             rows.begin();
    running = true;
    return true;
  }
  int FindExtendedItem(TStrings& row) override {
    if (!running) return -1;
    if (stall || ++calls % 2 == 0) return 0;
    if (cursor >= rows.size()) {
      running = false;
      return -1;
    }
    row.Add(rows[cursor].key);
    row.Add(rows[cursor].name);
    ++cursor;
    return 1;
  }
};

// The popup made as at start-up, a sheet of a key column (1) and a name column (2), and the
// shown columns behind them.
struct CandidateFixture : ::testing::Test {
  TForm form{Application};
  TKelmGrid* sheet;
  CCapInfoList shown;
  FakeCandSource source;
  TCandForm* saved = CandForm;

  CandidateFixture() {
    form.SetBounds(0, 0, 500, 300);
    sheet = new TKelmGrid(&form);
    sheet->SetParent(&form);
    sheet->SetBounds(0, 0, 500, 300);
    sheet->SetColCount(3);
    sheet->SetRowCount(5);
    AddColumn(source.keyName, SJ("コード"));
    AddColumn(source.nameName, SJ("名前"));
    CandForm = new TCandForm(Application);
  }
  ~CandidateFixture() override {
    delete CandForm;
    CandForm = saved;
  }
  // A shown column; its sheet column is the next one, holding its index as the heading's object.
  void AddColumn(const AnsiString& name, const AnsiString& caption) {
    auto* c = new CCapInfo;
    c->Name = name;
    c->Caption = caption;
    c->Shown = true;
    c->Width = 90;
    const int index = shown.Add(c);
    sheet->SetObjects(index + 1, 0, reinterpret_cast<void*>(static_cast<intptr_t>(index)));
    sheet->SetCells(index + 1, 0, caption);
  }
  void Bind() { CandForm->SetSource(&source, nullptr, sheet, &shown); }
};
