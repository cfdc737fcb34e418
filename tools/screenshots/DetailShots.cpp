// The detail grid of a summary card and its settings dialog.
#include <memory>
#include <vector>

#include "foundation/CapInfo.h"
#include "platform/Forms.h"
#include "tools/screenshots/Shots.h"
#include "views/CandUnit.h"
#include "views/CvStrGrid.h"
#include "views/DetailCapUnit.h"

namespace {

// Staff records of one department, in a detail grid sorted by section and name: repeated
// sections show the ditto mark.
struct DetailSample {
  CCapInfoList columns;
  std::vector<std::unique_ptr<TStringList>> records;

  DetailSample() {
    struct {
      const char *caption, *name;
      int type, width, alignment;
      bool shown;
    } cols[] = {
        {"部署", "社員.部署", 0, 70, 0, false}, {"課", "社員.課", 0, 90, 0, true},
        {"氏名", "社員.氏名", 0, 100, 0, true}, {"金額", "社員.金額", 1, 70, 2, true},
        {"備考", "社員.備考", 0, 150, 0, true},
    };
    for (const auto& c : cols) {
      auto* info = new CCapInfo;
      info->Caption = Utf8ToSjis(c.caption);
      info->Name = Utf8ToSjis(c.name);
      info->Type = c.type;
      info->Width = c.width;
      info->Alignment = c.alignment;
      info->Shown = c.shown;
      info->DittoMark = Utf8ToSjis("〃");
      if (c.type == 1) info->Flags |= CI_THOUSANDS;
      columns.Add(info);
    }
    const char* rows[][5] = {
        {"営業部", "第一課", "山田 太郎", "300000", "申込書あり"},
        {"営業部", "第二課", "鈴木 花子", "150000", "表示確認済み"},
        {"営業部", "第一課", "佐藤 一郎", "1200000", "予定変更\n連絡待ち"},
        {"営業部", "第一課", "高橋 美咲", "98000", "ソフト更新"},
        {"営業部", "第二課", "渡辺 健", "45000", ""},
        {"営業部", "第三課", "伊藤 さくら", "720000", "能力評価 & 面談"},
        {"営業部", "第二課", "中村 翔", "8000", "―"},
    };
    for (const auto& r : rows) {
      auto record = std::make_unique<TStringList>();
      for (const char* text : r) record->Add(Utf8ToSjis(text));
      records.push_back(std::move(record));
    }
  }
  TCvStrGrid* Grid(TForm* form) {
    auto* grid = new TCvStrGrid(form);
    grid->SetParent(form);
    grid->SetBounds(12, 12, 500, 160);
    grid->SetColor(clWhite);
    grid->SetStripeColor(0xE8F8FF);
    grid->Font()->SetName(SJ("ＭＳ Ｐゴシック"));
    grid->SetCapInfoList(&columns);
    for (size_t i = 0; i < records.size(); ++i) grid->SetRowData(static_cast<int>(i) + 1, records[i].get());
    const int sortBy[] = {0, 1, -1};  // section, then name
    grid->Sort(sortBy);
    return grid;
  }
};

// The folder of the table 社員: the dialog lists its columns without the table's name.
struct StaffFolder : CCandSource {
  AnsiString GetEditTableName() override { return SJ("社員"); }
  AnsiString GetJoinCondition(const AnsiString&, const AnsiString&) override { return ""; }
  bool CheckEditColumns(CCapInfoList&, CCapInfo*, CCapInfoList&) override { return false; }
  bool MakeNextChunkCondition(CCapInfoList&, CCapInfo*, const AnsiString&) override { return false; }
  int FindExtendedItem(TStrings&) override { return -1; }
};

}  // namespace

bool ShotDetailGrid(const std::string& file) {
  DetailSample sample;
  TForm card(Application);
  card.SetCaption(SJ("集計カード表示"));
  card.SetBounds(40, 40, 524, 184);
  card.SetColor(clWhite);
  sample.Grid(&card);
  return SaveFormPicture(&card, file);
}

bool ShotDetailCapDlg(const std::string& file) {
  DetailSample sample;
  sample.columns.GetItem(4)->Flags |= CI_DETAIL_OWN;  // 備考 taken out of the detail grid
  TForm card(Application);
  card.SetBounds(40, 40, 524, 184);
  TCvStrGrid* grid = sample.Grid(&card);
  StaffFolder folder;
  TDetailCapDlg dlg(&card);
  dlg.SetFolder(&folder);
  dlg.SetColumns(&sample.columns);
  dlg.SetGrid(grid);
  return SaveFormPicture(&dlg, file);
}
