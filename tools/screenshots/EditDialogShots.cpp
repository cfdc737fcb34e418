// The record edit dialog with the input candidates popup open under a name being typed.
#include <algorithm>

#include "foundation/CapInfo.h"
#include "tools/screenshots/Shots.h"
#include "views/CandUnit.h"
#include "views/EditForm.h"

namespace {

const char* const kHeads[] = {"会員番号", "氏名", "ふりがな", "電話番号", "備考"};
const int kWidths[] = {70, 100, 120, 110, 150};
const char* const kRows[][5] = {
    {"1001", "山田 太郎", "やまだ たろう", "03-1234-5678", "申込書あり"},
    {"1002", "鈴木 花子", "すずき はなこ", "06-2345-6789", "表示確認済み"},
    {"1003", "佐", "", "", ""},
    {"1004", "高橋 美咲", "たかはし みさき", "052-456-7890", "ソフト更新"},
};
const char* const kStored[][3] = {
    {"佐々木 健一", "ささき けんいち", "011-345-6789"}, {"佐藤 一郎", "さとう いちろう", "022-678-9012"},
    {"佐藤 花子", "さとう はなこ", "082-789-0123"},     {"佐野 真由美", "さの まゆみ", "098-890-1234"},
    {"佐伯 誠", "さえき まこと", "026-901-2345"},       {"佐久間 陽子", "さくま ようこ", "087-012-3456"},
    {"斎藤 大輔", "さいとう だいすけ", "078-123-4567"},
};

// Stored members, searched by name; the candidates carry the name, its reading and the phone.
struct Members : CCandSource {
  std::vector<std::vector<AnsiString>> rows;
  size_t next = 0;
  Members() {
    for (const auto& r : kStored) rows.push_back({Utf8ToSjis(r[0]), Utf8ToSjis(r[1]), Utf8ToSjis(r[2])});
    std::sort(rows.begin(), rows.end());
  }
  AnsiString GetEditTableName() override { return "members"; }
  AnsiString GetJoinCondition(const AnsiString&, const AnsiString&) override { return ""; }
  bool CheckEditColumns(CCapInfoList& shown, CCapInfo*, CCapInfoList& result) override {
    result.Clear();
    for (int i : {1, 2, 3}) {
      CCapInfo* c = CCapInfo::Clone(shown.GetItem(i));
      c->Position = i;
      result.Add(c);
    }
    return true;
  }
  bool MakeNextChunkCondition(CCapInfoList&, CCapInfo*, const AnsiString& text) override {
    next = std::lower_bound(rows.begin(), rows.end(), std::vector<AnsiString>{text}) - rows.begin();
    return true;
  }
  int FindExtendedItem(TStrings& row) override {
    if (next >= rows.size()) return -1;
    for (const AnsiString& s : rows[next]) row.Add(s);
    ++next;
    return 1;
  }
};

}  // namespace

bool ShotEditDialogCandidates(const std::string& file) {
  Members members;
  CCapInfoList columns;
  TEditDlg dialog(Application);
  TCandForm popup(Application);
  TCandForm* const savedPopup = CandForm;
  CandForm = &popup;
  dialog.SetCaption(SJ("データの編集"));
  dialog.SetBounds(60, 60, 640, 330);
  TKelmGrid* sheet = dialog.Sheet;
  sheet->SetColCount(6);
  sheet->SetFixedCols(1);
  sheet->SetRowCount(5);
  for (int c = 0; c < 5; ++c) {
    auto* info = new CCapInfo;
    info->Name = "members." + Utf8ToSjis(kHeads[c]);
    info->Caption = Utf8ToSjis(kHeads[c]);
    info->Width = kWidths[c];
    info->Shown = true;
    columns.Add(info);
    sheet->SetCells(c + 1, 0, info->Caption);
    sheet->SetObjects(c + 1, 0, reinterpret_cast<void*>(static_cast<intptr_t>(c)));
    sheet->SetColWidths(c + 1, kWidths[c]);
    for (int r = 0; r < 4; ++r) sheet->SetCells(c + 1, r + 1, Utf8ToSjis(kRows[r][c]));
  }
  dialog.Folder = &members;
  dialog.CapList = &columns;
  dialog.Show();
  for (int i = 0; i < 10; ++i) Application->ProcessMessages();
  // The user is typing a name in the third row.
  sheet->SetCol(2);
  sheet->SetRow(3);
  sheet->ClearSelRange();
  sheet->SetCellEdit(true);
  sheet->InplaceEditor()->SetSelStart(2);
  popup.ShowCandidates(2, 3, Utf8ToSjis("佐"));
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();

  // One picture: the dialog with the popup drawn where it stands on the screen, framed as its
  // window is.
  TBitmap picture = dialog.GrabImage();
  const TBitmap list = popup.GrabImage();
  const TPoint origin = dialog.ClientToScreen({0, 0});
  const int x = popup.Left() - origin.x, y = popup.Top() - origin.y;
  TCanvas* c = picture.Canvas();
  c->Draw(x, y, list);
  c->Brush()->SetColor(clGray);
  c->FrameRect(TRect{x - 1, y - 1, x + list.Width() + 1, y + list.Height() + 1});
  const bool saved = popup.Visible() && picture.SaveToFile(file);
  popup.Reset();
  popup.CloseCandidates();
  CandForm = savedPopup;
  return saved;
}
