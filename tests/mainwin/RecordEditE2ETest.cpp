// A user's records changed through the main window, driven offscreen by its menus, mouse and
// keys: the table is listed; two rows are marked and edited in the record edit dialog (a typed
// value undone and typed again, a block pasted from the clipboard); a record is added; a delete
// is refused while another holder has the table's update lock and done once it is free; the list
// is exported to a CSV file. After each step the table is read back through its own file.
#include <cctype>

#include "mainwin/CsvWrite.h"
#include "platform/Clipbrd.h"
#include "query/DbHandle.h"
#include "store/CondOp.h"
#include "store/KvRecord.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "views/EditForm.h"

namespace {

std::string Fixture(const char* name) { return ReadFileBytes(std::string(std::getenv("CW_TEST_DATA")) + "/data/" + name); }

TPoint Centre(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }

void Click(TStringGrid* grid, int col, int row, TShiftState keys = 0) {
  const TPoint p = Centre(grid->CellRect(col, row));
  grid->PressMouse(mbLeft, keys | ssLeft, p.x, p.y);
  grid->ReleaseMouse(mbLeft, keys, p.x, p.y);
}

// Types ASCII text into a sheet cell the user has clicked: the first key opens the cell's editor.
void Type(TKelmGrid* sheet, const char* text) {
  sheet->PressKey(static_cast<uint16_t>(std::toupper(static_cast<unsigned char>(text[0]))), 0);
  sheet->TypeChar(text[0]);
  for (const char* c = text + 1; *c; ++c) {
    ASSERT_NE(sheet->InplaceEditor(), nullptr);
    sheet->InplaceEditor()->TypeChar(*c);
  }
}

// Every record of the table's file, read by a table object of its own, as "id|name|unit|amount".
std::vector<std::string> Stored(const std::string& file) {
  CKvRecord table;
  table.SetFileName(file);
  std::vector<std::string> out;
  if (table.Open() < 0) return out;
  table.ClearCond();
  table.AddCond("__REC__ID__", COND_GRT_EQL, "0");
  table.AddCondEnd();
  CKvrValueList values;
  while (table.GetRec(values)) {
    std::string line;
    for (int i = 0; i < values.Count(); ++i) line += (i ? "|" : "") + values.GetAt(i)->GetText();
    out.push_back(line);
  }
  table.Close();
  return out;
}

}  // namespace

TEST_F(MainWindowTest, RecordsEditedAddedDeletedAndExported) {
  WorkFolder work;
  work.Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}, {"amount", "30"}});
  work.Insert(SJ("顧客"), {{"name", SJ("鈴木")}, {"unit", SJ("営業")}, {"amount", "45"}});
  work.WriteSettings("");
  const std::string tableFile = work.dir.File(SJ("顧客") + ".kvr");
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  TStringGridEx* list = FormMain->StringGridEx1;
  TKelmGrid* sheet = EditDlg->Sheet;

  // Edit: 佐藤 and 鈴木 marked with the mouse.
  Click(list, 0, 2);
  Click(list, 0, 3, ssCtrl);
  ASSERT_FALSE(list->GetRowSelects(1));
  ASSERT_TRUE(list->GetRowSelects(2) && list->GetRowSelects(3));
  int dialogs = 0;
  {
    ModalHandlerScope user([&](TForm* form) {
      if (CloseAboutBox(form)) return;
      ASSERT_EQ(form, EditDlg);
      ++dialogs;
      EXPECT_EQ(SjisToUtf8(form->Caption()), "データの編集");
      ASSERT_EQ(sheet->RowCount(), 3);
      ASSERT_EQ(sheet->Cells(1, 1), SJ("佐藤"));
      ASSERT_EQ(sheet->Cells(3, 2), "45");
      Click(sheet, 3, 1);
      Type(sheet, "99");
      Click(sheet, 3, 2);
      EXPECT_EQ(sheet->Cells(3, 1), "99");
      sheet->PressKey('Z', ssCtrl);
      EXPECT_EQ(sheet->Cells(3, 1), "30");
      Click(sheet, 3, 1);
      Type(sheet, "31");
      Click(sheet, 1, 1);
      // A block over both rows' name and unit; 十 has 0x5C as its second byte.
      Clipboard()->SetAsText(SJ("十河\t人事\r\n高橋\t経理\r\n"));
      sheet->PressKey('V', ssCtrl);
      EXPECT_EQ(sheet->Cells(2, 2), SJ("経理"));
      PressButton(form, "OK");
    });
    ASSERT_TRUE(ChooseOperation("データの編集"));
  }
  EXPECT_EQ(dialogs, 1);
  std::vector<std::string> expected{"1|" + SJ("山田|営業|120"), "2|" + SJ("十河|人事|31"), "3|" + SJ("高橋|経理|45")};
  EXPECT_EQ(Stored(tableFile), expected);
  ASSERT_EQ(FormMain->ListRows->Count(), 3);

  // Add: typed into the first empty row of the sheet.
  {
    ModalHandlerScope user([&](TForm* form) {
      if (CloseAboutBox(form)) return;
      ASSERT_EQ(form, EditDlg);
      EXPECT_EQ(SjisToUtf8(form->Caption()), "データの追加");
      const int first = sheet->RowCount() - 50;
      ASSERT_GE(first, 1);
      EXPECT_EQ(sheet->Cells(1, first), "");
      Click(sheet, 1, first);
      Type(sheet, "Kato");
      Click(sheet, 3, first);
      Type(sheet, "7");
      Click(sheet, 2, first);
      PressButton(form, "OK");
    });
    ASSERT_TRUE(ChooseOperation("データの追加"));
  }
  expected.push_back("4|Kato||7");
  EXPECT_EQ(Stored(tableFile), expected);
  ASSERT_EQ(FormMain->ListRows->Count(), 4);
  ASSERT_EQ(list->Cells(0, 3), SJ("高橋"));

  // Delete 高橋 while a second handle on the table holds its update lock: refused, nothing goes.
  CDbHandle other;
  ASSERT_TRUE(other.AddTable(tableFile, SJ("顧客")));
  ASSERT_TRUE(other.Lock());
  Click(list, 0, 1);
  Click(list, 0, 3);
  ASSERT_FALSE(list->GetRowSelects(1));
  {
    UserScript user;
    ASSERT_TRUE(ChooseOperation("データの削除"));
    ASSERT_EQ(user.shown.size(), 2u);
    EXPECT_EQ(SjisToUtf8(user.shown[0].text), "削除します。よろしいですか？");
    EXPECT_EQ(SjisToUtf8(user.shown[1].text), "他で処理中なので、削除ができません。");
  }
  EXPECT_EQ(Stored(tableFile), expected);
  ASSERT_TRUE(other.Unlock());
  {
    UserScript user;
    ASSERT_TRUE(ChooseOperation("データの削除"));
    EXPECT_EQ(user.shown.size(), 1u);
  }
  expected.erase(expected.begin() + 2);
  EXPECT_EQ(Stored(tableFile), expected);
  ASSERT_EQ(FormMain->ListRows->Count(), 3);

  // Export every row (Ctrl+A in the list) to list.txt, written as list.csv.
  list->PressKey('A', ssCtrl);
  std::vector<AnsiString> messages;
  {
    ModalHandlerScope user([&](TForm* form) {
      if (CloseAboutBox(form)) return;
      if (auto* box = dynamic_cast<TCvMessageDlg*>(form)) {
        messages.push_back(box->Label1->Caption());
        PressButton(box, SJ("ＯＫ"));
        return;
      }
      auto* dialog = dynamic_cast<TCsvWriteDlg*>(form);
      ASSERT_NE(dialog, nullptr);
      dialog->RadioGroup1->SetItemIndex(0);
      dialog->Edit1->SetText(work.dir.File("list.txt"));
      dialog->RadioGroup2->SetItemIndex(1);
      PressButton(dialog, "OK");
    });
    ASSERT_TRUE(ChooseOperation("CSV出力"));
  }
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(ReadFileBytes(work.dir.File("list.csv")), Fixture("record-edit.csv"));
}
