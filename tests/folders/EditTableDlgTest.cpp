#include <gtest/gtest.h>

#include <functional>

#include "folders/EditTableUnit.h"
#include "folders/ReadCsvUnit.h"
#include "foundation/CvMessageUnit.h"
#include "platform/SysUtils.h"
#include "store/Kvrcolinfo.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// Plays the user of the message boxes: OK to every error, yes or no to a question; keeps the texts.
struct Boxes {
  std::vector<std::string> texts;
  bool yes = true;
  bool Answer(TForm* f) {
    auto* box = dynamic_cast<TCvMessageDlg*>(f);
    if (!box) return false;
    texts.push_back(box->Label1->Caption());
    PressButton(f, box->ButtonSet == 4 ? Utf8ToSjis(yes ? "はい(&Y)" : "いいえ(&N)") : SJ("ＯＫ"));
    return true;
  }
  // The texts since the last call.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(texts);
    return out;
  }
};

// Runs the table dialog modally for one folder (none: a new table, as the root's command opens
// it), handing it to user while it is shown.
void RunTableDialog(FolderTree& tree, CRuleFolderTbl* folder, Boxes& boxes, const std::function<void(TEditTableDlg*)>& user,
                    TImageList* images = nullptr) {
  TStringList existing;
  TEditTableDlg dialog(Application);
  dialog.SetImageList(images);
  if (folder) {
    dialog.SetTableFolder(folder, folder->CapInfoList);
  } else {
    tree.root.GetTableList(existing);
    dialog.NewTable = dialog.CanDeleteColumns = true;
    dialog.ExistingTables = &existing;
  }
  ModalHandlerScope scope([&](TForm* f) {
    if (boxes.Answer(f)) return;
    ASSERT_EQ(f, &dialog);
    user(&dialog);
    if (dialog.ModalResult() == mrNone) dialog.CancelBtn->Click();
  });
  dialog.ShowModal();
}

void AddColumn(TEditTableDlg* d, const char* name, int type = 0) {
  d->ColNameEdit->SetText(Utf8ToSjis(name));
  d->RadioGroup1->SetItemIndex(type);
  d->ColAddBtn->Click();
}

std::vector<std::string> Items(TStrings* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->Count(); ++i) out.push_back((*list)[i]);
  return out;
}

std::vector<std::string> Settings(TEditTableDlg* d) {
  std::vector<std::string> out;
  for (TComboBox* c : {d->DupCB, d->DefvalCB, d->ChgAlwaysCB, d->NullOnlyCB, d->AppendCB})
    out.push_back(IntToStr(c->ItemIndex()));
  return out;
}

}  // namespace

TEST(EditTableDlg, CreatingATableRunsTheChecksInOrderThenMakesTableAndFolder) {
  FolderTree tree;
  tree.AddTable("t", {"id", "name"});
  CRuleFolder* changed = nullptr;
  tree.root.OnTreeChanged = [&](CRuleFolder* f) { changed = f; };
  Boxes boxes;
  std::vector<std::vector<std::string>> seen;
  AnsiString nameAfterYes;
  const std::string log = tree.dir.File("access.log");
  {
    ModalHandlerScope scope([&](TForm* f) {
      if (boxes.Answer(f)) return;
      auto* d = dynamic_cast<TEditTableDlg*>(f);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->Caption(), SJ("表の作成"));
      EXPECT_TRUE(d->OKBtn->Enabled());
      // Each press fails exactly one check while every later one would fail too.
      const auto press = [&](const char* table, bool yes = true) {
        d->Edit1->SetText(Utf8ToSjis(table));
        boxes.yes = yes;
        d->OKBtn->Click();
        EXPECT_EQ(d->ModalResult(), mrNone) << table;
        seen.push_back(boxes.Take());
      };
      press("");
      press("1abc");
      press("a.b");
      press("t x", false);
      press("t x", true);
      nameAfterYes = d->Edit1->Text();
      press("access");
      d->Edit2->SetText(log);
      press("access");
      // Three columns, each taking the automatic value the value page shows as it is added.
      d->RadioGroup1->SetItemIndex(2);
      d->DefvalCB->UserSelect(1);  // ＩＤ番号
      AddColumn(d, "no", 2);
      d->DefvalCB->UserSelect(0);
      AddColumn(d, "host");
      d->DefvalCB->UserSelect(2);  // その時の日付
      AddColumn(d, "at");
      // A column's settings changed afterwards are stored when the dialog is read.
      d->ListBox4->SetItemIndex(1);
      d->ListBox3Click(d->ListBox4);
      d->DefvalCB->UserSelect(4);  // 固定内容
      d->FixStrEdit->SetText("-");
      d->ComboBox3->SetText("host");
      d->ComboBox1->UserSelect(d->ComboBox1->Items()->IndexOf("t"));
      EXPECT_EQ(Items(d->ComboBox2->Items()), (std::vector<std::string>{"id", "name"}));
      d->ComboBox2->SetText("name");
      d->Button2->Click();
      d->Edit3->SetText(SJ("アクセス"));
      d->OKBtn->Click();
      EXPECT_EQ(d->ModalResult(), mrOk);
    });
    EXPECT_TRUE(tree.root.CreateTable());
  }
  const std::vector<std::vector<std::string>> expected = {
      {SJ("表名がありません。")},
      {SJ("表名に 1abc は使えません。")},
      {SJ("表名に a.b は使えません。")},
      {SJ("表名は t になります。よろしいですか？")},
      {SJ("表名は t になります。よろしいですか？"), SJ("表名 t は、既に存在します。")},
      {SJ("ファイル名がありません。")},
      {SJ("項目がありません。")},
  };
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(nameAfterYes, "t");
  EXPECT_TRUE(boxes.texts.empty());

  // The table folder stands last under the root, one modification counted, the tree told.
  ASSERT_EQ(tree.root.Children.Count(), 2);
  auto* folder = dynamic_cast<CRuleFolderTbl*>(tree.root.Children.Get(1));
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(tree.root.GetModified(), 2);
  EXPECT_EQ(changed, &tree.root);
  EXPECT_EQ(folder->Name, SJ("アクセス"));
  EXPECT_EQ(folder->TableName, "access");
  EXPECT_EQ(folder->DataFile, tree.dir.File("access.kvr"));
  EXPECT_EQ(folder->Flags, FOLDER_FLAGS_TABLE);
  EXPECT_EQ(Items(&folder->Relations), (std::vector<std::string>{"host", "t.name"}));
  EXPECT_EQ(folder->MakeJoinCondition("access", "t"), "access.host = t.name");

  // The file holds the columns, their types and automatic values.
  TStringList names, types, options;
  folder->GetDbHandle()->GetColumnInfo("access", names, &types, &options);
  ASSERT_EQ(names.IndexOf(REC_ID_COLUMN), 0);
  EXPECT_EQ(Items(&names), (std::vector<std::string>{REC_ID_COLUMN, "no", "host", "at"}));
  EXPECT_EQ(types[1], "int");
  EXPECT_EQ(types[2], "string");
  uint32_t flags[3] = {};
  AnsiString fixed[3];
  for (int i = 0; i < 3; ++i) {
    AnsiString second;
    TextToColOpt(options[i + 1], flags[i], fixed[i], second);
  }
  EXPECT_EQ(flags[0] & 0xE, 2u);
  EXPECT_EQ(flags[1] & 0xE, 8u);
  EXPECT_EQ(fixed[1], "-");
  EXPECT_EQ(flags[2] & 0xE, 4u);

  // It lists every column, and the store fills the automatic values.
  EXPECT_EQ(Names(folder->MakeDefaultCapInfoList()), (std::vector<std::string>{"access.no", "access.host", "access.at",
                                                                                "access." + std::string(REC_ID_COLUMN)}));
  tree.Insert("access", {{"host", "example.org"}});
  tree.Insert("access", {{"host", "example.org"}});
  CDbFolder* node = NodeFor(folder, nullptr);
  const std::vector<std::string> rows = ListAll(*node, {node});
  delete node;
  ASSERT_EQ(rows.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const std::string& row = rows[i];
    const size_t bar = row.find('|');
    EXPECT_EQ(row.substr(bar, 13), "|example.org|") << row;
    const std::string date = row.substr(bar + 13, 10);
    EXPECT_TRUE(date.size() == 10 && date[4] == '/' && date[7] == '/') << row;
  }
  EXPECT_EQ(std::stoi(rows[1]), std::stoi(rows[0]) + 1);  // serial numbers
}

TEST(EditTableDlg, ACreationThatFailsSaysWhyAndLeavesNothing) {
  FolderTree tree;
  tree.AddTable("t", {"id"});
  const std::string garbage = tree.dir.File("garbage.kvr");
  ASSERT_TRUE(WriteFileDurably(garbage, "not a table", 11));
  const struct {
    std::string file;
    std::string reason;
  } cases[] = {
      {tree.dir.File("missing/x.kvr"), SJ("ファイル ") + tree.dir.File("missing/x.kvr") + SJ(" が作成できません。")},
      {garbage, SJ("項目 a が追加できません。")},
  };
  for (const auto& c : cases) {
    Boxes boxes;
    ModalHandlerScope scope([&](TForm* f) {
      if (boxes.Answer(f)) return;
      auto* d = static_cast<TEditTableDlg*>(f);
      d->Edit1->SetText("x");
      d->Edit2->SetText(c.file);
      AddColumn(d, "a");
      d->OKBtn->Click();
    });
    EXPECT_FALSE(tree.root.CreateTable()) << c.file;
    EXPECT_EQ(boxes.texts, std::vector<std::string>{SJ("表は作成できません。") + "\n" + c.reason});
    EXPECT_EQ(tree.root.Children.Count(), 1);
    EXPECT_EQ(tree.root.GetModified(), 1);
  }
  EXPECT_FALSE(FileExists(tree.dir.File("missing/x.kvr")));
  EXPECT_EQ(ReadFileBytes(garbage), "not a table");

  // A file that exists needs no columns: the table takes it over with the columns it has.
  Boxes boxes;
  ModalHandlerScope scope([&](TForm* f) {
    if (boxes.Answer(f)) return;
    auto* d = static_cast<TEditTableDlg*>(f);
    d->Edit1->SetText("again");
    d->Edit2->SetText(tree.dir.File("t.kvr"));
    d->OKBtn->Click();
  });
  EXPECT_TRUE(tree.root.CreateTable());
  EXPECT_TRUE(boxes.texts.empty());
  ASSERT_EQ(tree.root.Children.Count(), 2);
  EXPECT_EQ(Names(tree.root.Children.Get(1)->CapInfoList),
            (std::vector<std::string>{"again.id", "again." + std::string(REC_ID_COLUMN)}));
}

TEST(EditTableDlg, AutomaticValuesSnapToTheTypeAndTheTableKeepsItsTypes) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"id:int", "name"});
  Boxes boxes;
  RunTableDialog(tree, t, boxes, [&](TEditTableDlg* d) {
    d->ColNameEdit->SetText("fresh");  // a column to be added: no stored type to keep
    const struct {
      int type, value, expected;
    } cases[] = {
        {2, 2, 0}, {2, 3, 0}, {2, 1, 1}, {2, 4, 4},            // 整数: no dates
        {1, 1, 0}, {1, 2, 2}, {1, 3, 3},                       // キーワード: no ID number
        {3, 1, 0}, {3, 2, 0}, {3, 3, 0}, {3, 4, 4},            // 実数: neither
        {0, 1, 1}, {0, 2, 2}, {0, 3, 3}, {0, 4, 4},            // 文字列: all
    };
    for (const auto& c : cases) {
      d->RadioGroup1->SetItemIndex(c.type);
      EXPECT_EQ(d->TypeCB->ItemIndex(), c.type);
      d->DefvalCB->UserSelect(c.value);
      EXPECT_EQ(d->DefvalCB->ItemIndex(), c.expected) << c.type << " " << c.value;
    }
    // Choosing a type drops a value that does not suit it.
    d->DefvalCB->UserSelect(3);
    d->RadioGroup1->SetItemIndex(2);
    EXPECT_EQ(d->DefvalCB->ItemIndex(), 0);
    // The ID number resets when, under what condition and how it is set.
    d->RadioGroup1->SetItemIndex(0);
    for (TComboBox* c : {d->DupCB, d->ChgAlwaysCB, d->NullOnlyCB, d->AppendCB}) c->UserSelect(1);
    d->DefvalCB->UserSelect(1);
    EXPECT_EQ(Settings(d), (std::vector<std::string>{"1", "1", "0", "0", "0"}));

    // A column of the table keeps its type; a column added here may change it.
    d->ListBox3->SetItemIndex(1);
    d->ListBox3Click(d->ListBox3);
    EXPECT_EQ(d->ColNameEdit->Text(), "name");
    d->RadioGroup1->SetItemIndex(2);
    EXPECT_EQ(d->RadioGroup1->ItemIndex(), 0);
    EXPECT_EQ(d->TypeCB->ItemIndex(), 0);
    AddColumn(d, "extra", 2);
    d->ListBox4->SetItemIndex(2);
    d->ListBox3Click(d->ListBox4);
    EXPECT_EQ(d->ListBox3->ItemIndex(), 2);
    EXPECT_EQ(d->RadioGroup1->ItemIndex(), 2);
    d->RadioGroup1->SetItemIndex(3);
    EXPECT_EQ(d->TypeCB->ItemIndex(), 3);
    d->ListBox3->SetItemIndex(0);
    d->ListBox3Click(d->ListBox3);
    EXPECT_EQ(d->ColumnTypes[d->ColumnNames.IndexOf("extra")], "real");
  });
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(EditTableDlg, ColumnNamesAreOneNewWord) {
  FolderTree tree;
  Boxes boxes;
  RunTableDialog(tree, nullptr, boxes, [&](TEditTableDlg* d) {
    const struct {
      const char* name;
      bool yes;
      std::vector<std::string> messages;
    } cases[] = {
        {"", true, {SJ("項目名がありません。")}},
        {"first word", false, {SJ("項目名は first になります。よろしいですか？")}},
        {"first word", true, {SJ("項目名は first になります。よろしいですか？")}},
        {"first", true, {SJ("項目 first は、存在します。")}},
        {"__REC__ID__", true, {SJ("項目 __REC__ID__ は、存在します。")}},
        {"(x)", true, {SJ("項目名に (x) は使えません。")}},
        {"t.x", true, {SJ("項目名に t.x は使えません。")}},
        {"名前", true, {}},
    };
    for (const auto& c : cases) {
      boxes.yes = c.yes;
      AddColumn(d, c.name);
      EXPECT_EQ(boxes.Take(), c.messages) << c.name;
    }
    const std::vector<std::string> columns = {"first", SJ("名前")};
    for (TListBox* list : {d->ListBox2, d->ListBox3, d->ListBox4}) EXPECT_EQ(Items(list->Items()), columns);
    EXPECT_EQ(Items(d->ComboBox3->Items()), columns);

    // Columns from the first record of a CSV file, read by the import dialog in its item-creation
    // mode; refused ones left out.
    TempDir dir;
    WriteFileBytes(dir.File("head.csv"), "host,,first,a b,bytes\n1,2,3,4,5\n");
    boxes.yes = false;
    {
      ModalHandlerScope csv([&](TForm* f) {
        if (boxes.Answer(f)) return;
        auto* r = dynamic_cast<TReadCsvDlg*>(f);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->Caption(), SJ("CSV 項目作成"));
        r->Edit3->SetText(dir.File("head.csv"));
        r->Edit3->TypeChar('\r');
        ASSERT_TRUE(PressButton(f, SJ("開始")));
      });
      d->CsvBtn->Click();
    }
    EXPECT_EQ(boxes.Take(), (std::vector<std::string>{SJ("項目 first は、存在します。"),
                                                       SJ("項目名は a になります。よろしいですか？")}));
    EXPECT_EQ(Items(d->ListBox3->Items()), (std::vector<std::string>{"first", SJ("名前"), "host", "bytes"}));

    // Delete and Backspace remove the chosen column of any of the three lists.
    d->ListBox4->SetItemIndex(1);
    d->ListBox4->PressKey(VK_DELETE, 0);
    d->ListBox2->SetItemIndex(0);
    d->ListBox2->PressKey(VK_BACK, 0);
    EXPECT_EQ(Items(d->ListBox3->Items()), (std::vector<std::string>{"host", "bytes"}));
  });
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(EditTableDlg, ShowsAnExistingTableAndItsRelations) {
  FolderTree tree;
  CRuleFolderTbl* a = tree.AddTable("a", {"id:int", "label"});
  CRuleFolderTbl* b = tree.AddTable("b", {"id", "aref"}, {"aref", "a.id"});
  tree.AddTable("c", {"code"});
  ASSERT_TRUE(FileExists(b->DataFile));
  TStringList names, options;
  names.Add("id");
  options.Add(ColOptToText(0x1 | 0x8 | 0x100, "fixed", "second"));  // unique, fixed content, a bit not shown
  b->GetDbHandle()->SetColumnInfo("b", names, options);
  b->CapInfoList->Add(Column("b.memo"));  // a column only the display format knows
  b->CapInfoList->GetItem(b->CapInfoList->Count() - 1)->DeclaredType = 3;
  b->ClosedImage = 7;  // more than the icon list holds
  a->CapInfoList->Add(Column(SJ("__拡張項目__.x")));
  TImageList images(nullptr);
  images.AddMasked(TBitmap(16, 16), clFuchsia);
  Boxes boxes;
  std::vector<std::string> readBack;
  RunTableDialog(
      tree, b, boxes,
      [&](TEditTableDlg* d) {
        EXPECT_EQ(d->Caption(), SJ("表の編集"));
        EXPECT_TRUE(d->Edit1->ReadOnly);
        EXPECT_FALSE(d->CsvBtn->Visible());
        EXPECT_TRUE(d->OKBtn->Enabled());
        EXPECT_EQ(Items(d->ListBox2->Items()), (std::vector<std::string>{"id", "aref", "memo"}));
        EXPECT_EQ(d->OldColumnCount, 3);  // the record id stays in the lists
        EXPECT_EQ(d->CurrentColumn, 0);
        EXPECT_EQ(d->ColNameEdit2->Text(), "id");
        EXPECT_EQ(Settings(d), (std::vector<std::string>{"1", "4", "0", "1", "0"}));
        EXPECT_EQ(d->FixStrEdit->Text(), "fixed");
        EXPECT_EQ(d->Image0CB->ItemIndex(), -1);
        EXPECT_EQ(d->Image1CB->ItemIndex(), 0);
        EXPECT_EQ(Items(d->ComboBox1->Items()), (std::vector<std::string>{"a", "c"}));
        ASSERT_EQ(d->RelationCount(), 1);
        EXPECT_EQ(d->ComboBox2->Text(), "id");
        EXPECT_EQ(Items(d->ComboBox2->Items()), (std::vector<std::string>{"id", "label"}));

        // 決定 on the same column and table changes the row; on another column it adds one.
        d->ComboBox2->SetText("label");
        d->Button2->Click();
        EXPECT_EQ(d->RelationCount(), 1);
        EXPECT_EQ(d->StringGrid1->Cells(2, 1), "label");
        d->ComboBox3->SetText("id");
        d->ComboBox1->UserSelect(1);
        EXPECT_EQ(Items(d->ComboBox2->Items()), std::vector<std::string>{"code"});
        d->ComboBox2->SetText("code");
        d->Button2->Click();
        ASSERT_EQ(d->RelationCount(), 2);
        d->StringGrid1->SetRow(1);
        d->Button4->Click();
        EXPECT_EQ(d->RelationCount(), 1);
        EXPECT_EQ(d->StringGrid1->Cells(0, 1), "id");
        d->Button4->Click();
        EXPECT_EQ(d->RelationCount(), 0);
        d->Button2->Click();
        d->OKBtn->Click();
        EXPECT_EQ(d->ModalResult(), mrOk);
        TStringList n, t, o;
        d->GetColumns(b, n, t, o);
        for (int i = 0; i < n.Count(); ++i)
          readBack.push_back(n[i] + " " + t[i] + " " +
                             IntToStr(static_cast<int>(reinterpret_cast<intptr_t>(n.Objects(i)))) + " " + o[i]);
      },
      &images);
  EXPECT_TRUE(boxes.texts.empty());
  // The shown column's settings are stored without their second text; other bits stay.
  EXPECT_EQ(readBack, (std::vector<std::string>{"id string 0 " + ColOptToText(0x1 | 0x8 | 0x100, "fixed", ""),
                                                "aref string 0 " + ColOptToText(0, "", ""),
                                                "memo keyword 3 " + ColOptToText(0, "", "")}));
  EXPECT_EQ(Items(&b->Relations), (std::vector<std::string>{"id", "c.code"}));
  EXPECT_EQ(b->ClosedImage, 7);
  EXPECT_EQ(b->OpenImage, -1);
}
