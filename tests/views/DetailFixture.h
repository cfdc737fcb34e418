// A small summary for the detail grid's tests: staff records grouped by department, and a
// detail grid listing one group's members as a summary card does.
#pragma once

#include <string>
#include <vector>

#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "platform/Forms.h"
#include "query/SummaryMod.h"
#include "views/CvStrGrid.h"

struct SourceColumn {
  const char* caption;
  const char* name;
  int type;
  bool shown;
  int width;
  int alignment;
};

// Source columns: 部署 (not shown), 氏名, 金額 (integer, right), 備考; members of 営業部 arrive as
// 山田, 佐藤, 高橋, 伊藤 and of 総務部 as 鈴木.
struct StaffSummary {
  CCapInfoList source;
  CCapInfoList columns;
  CStringsList rows;
  CStringsList records;
  CSummaryMod sum;  // last: it lets go of both row lists before they go

  StaffSummary() {
    const SourceColumn cols[] = {
        {"部署", "社員.部署", 0, false, 80, 0},
        {"氏名", "社員.氏名", 0, true, 100, 0},
        {"金額", "社員.金額", 1, true, 70, 2},
        {"備考", "社員.備考", 0, true, 140, 1},
    };
    for (const SourceColumn& c : cols) {
      auto* info = new CCapInfo;
      info->Caption = Utf8ToSjis(c.caption);
      info->Name = Utf8ToSjis(c.name);
      info->Type = c.type;
      info->Shown = c.shown;
      info->Width = c.width;
      info->Alignment = c.alignment;
      info->DittoMark = Utf8ToSjis("〃");
      source.Add(info);
    }
    auto* key = new CCapInfo;
    key->Caption = Utf8ToSjis("部署");
    key->Name = Utf8ToSjis("社員.部署");
    key->GroupKey = true;
    columns.Add(key);
    auto* count = new CCapInfo;
    count->Caption = Utf8ToSjis("件数");
    count->Name = Utf8ToSjis("社員.氏名");
    columns.Add(count);
    sum.SetRecordRows(&records);
    sum.SetSummaryColumns(&rows, &columns, &source);
    Add({"営業部", "山田 太郎", "300", "申込書あり"});
    Add({"総務部", "鈴木 花子", "150", "表示確認済み"});
    Add({"営業部", "佐藤 一郎", "1200", "予定変更\r\n連絡待ち"});
    Add({"営業部", "高橋 美咲", "300", "ソフト更新"});
    Add({"営業部", "伊藤 さくら", "80"});  // no 備考 at all
    sum.Calculate();
  }
  void Add(const std::vector<std::string>& texts) {
    auto* r = new TStringList;
    for (const std::string& t : texts) r->Add(Utf8ToSjis(t));
    records.Add(r);
    sum.AddSummaryRecord(r);
  }
  CCapInfo* Source(int i) const { return source.GetItem(i); }
  // The summary row of a department, or null.
  TStrings* Group(const char* department) const {
    for (int r = 0; r < rows.Count(); ++r)
      if (rows.Row(r)->Strings(0) == Utf8ToSjis(department)) return rows.Row(r);
    return nullptr;
  }
  // Binds the grid and gives it the group's members as rows 1, 2, ... (as the summary card does).
  void Fill(TCvStrGrid* grid, const char* department) {
    grid->SetCapInfoList(&source);
    TList* members = sum.GetRecordGroup(Group(department));
    int row = 1;
    if (members)
      for (int i = 0; i < members->Count(); ++i)
        if (auto* member = static_cast<TStrings*>(members->Items(i))) grid->SetRowData(row++, member);
  }
};

// The texts of a data column, top to bottom, as UTF-8; the rows are filled first.
inline std::vector<std::string> ColumnTexts(TCvStrGrid* grid, int col) {
  std::vector<std::string> out;
  for (int r = 1; r < grid->RowCount(); ++r) {
    grid->CheckCellsData(r);
    out.push_back(SjisToUtf8(grid->Cells(col, r)));
  }
  return out;
}

// The headings of the grid's columns, as UTF-8.
inline std::vector<std::string> Headings(TCvStrGrid* grid) {
  std::vector<std::string> out;
  for (int c = 0; c < grid->ColCount(); ++c) out.push_back(SjisToUtf8(grid->Cells(c, 0)));
  return out;
}
