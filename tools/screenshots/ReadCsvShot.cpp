// The CSV import dialog with the preview of a Japanese CSV file under the headings of a table.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "store/KvRecord.h"
#include "store/Kvrvalue.h"
#include "tools/screenshots/Shots.h"

namespace {

const char* const kColumns[] = {"会員番号", "氏名", "ふりがな", "郵便番号", "住所", "電話番号"};
const int kWidths[] = {60, 80, 96, 66, 180, 96};

const char* const kRows[] = {
    "1001,山田 太郎,やまだ たろう,100-0001,東京都千代田区千代田1-1,03-1234-5678",
    "1002,鈴木 花子,すずき はなこ,530-0001,大阪府大阪市北区梅田2-4-9,06-2345-6789",
    "1003,佐藤 一郎,さとう いちろう,060-0001,北海道札幌市中央区北一条西3,011-345-6789",
    "1004,高橋 美咲,たかはし みさき,460-0002,愛知県名古屋市中区丸の内1-5,052-456-7890",
    "1005,渡辺 健,わたなべ けん,812-0011,福岡県福岡市博多区博多駅前2-1,092-567-8901",
    "1006,伊藤 さくら,いとう さくら,980-0021,宮城県仙台市青葉区中央1-3-1,022-678-9012",
    "1007,中村 翔,なかむら しょう,730-0011,広島県広島市中区基町10-52,082-789-0123",
    "1008,小林 陽子,こばやし ようこ,900-0006,沖縄県那覇市おもろまち2-1,098-890-1234",
    "1009,加藤 大輔,かとう だいすけ,380-0846,長野県長野市旭町1108,026-901-2345",
    "1010,吉田 由美,よしだ ゆみ,760-0019,香川県高松市サンポート2-1,087-012-3456",
    "1011,山本 誠,やまもと まこと,650-0044,兵庫県神戸市中央区東川崎町1-1,078-123-4567",
    "1012,松本 真由美,まつもと まゆみ,\"020-0045\",\"岩手県盛岡市盛岡駅西通2-9-1, 8階\",019-234-5678",
};

}  // namespace

bool ShotReadCsvDlg(const std::string& file) {
  char pattern[] = "/tmp/cw-readcsv-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  const std::string dir = pattern;
  bool saved = false;
  {
    {
      CKvRecord table;
      table.SetFileName(dir + "/members.kvr");
      for (const char* c : kColumns) table.AddColumn(Utf8ToSjis(c), kvrString, 40);
      table.Close();
    }
    CTopRuleFolder root;
    auto* folder = new CRuleFolderTbl(&root);
    folder->Name = SJ("会員");
    folder->TableName = "members";
    folder->DataFile = dir + "/members.kvr";
    root.AddChild(folder);
    folder->ResetTables();
    folder->CapInfoList = new CCapInfoList;
    folder->SyncCapInfoList();
    for (int i = 0; i < 6; ++i)
      if (const int k = folder->CapInfoList->IndexOfName("members." + Utf8ToSjis(kColumns[i])); k >= 0)
        folder->CapInfoList->GetItem(k)->Width = kWidths[i];

    const std::string csv = dir + "/members.csv";
    if (std::FILE* f = std::fopen(csv.c_str(), "wb")) {
      for (const char* row : kRows) {
        const AnsiString line = Utf8ToSjis(row) + "\r\n";
        std::fwrite(line.data(), 1, line.size(), f);
      }
      std::fclose(f);
    }
    TReadCsvDlg dialog(Application);
    dialog.FiltersOffered = true;
    dialog.SetFolder(folder);
    dialog.Edit3->SetText(csv);
    LoadCsvPreview(&dialog);
    saved = SaveFormPicture(&dialog, file);
  }
  std::filesystem::remove_all(dir);
  return saved;
}
