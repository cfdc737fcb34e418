// The condition pane, the view tabs and list printing of the main window, driven as a user does:
// the diagram's commands through its popup and the comparison dialog, the tabs by clicks, the
// list printed through the print dialog.
#include <algorithm>
#include <functional>

#include "folders/CondUnit.h"
#include "folders/FlowBox.h"
#include "foundation/CellFormat.h"
#include "foundation/StringsList.h"
#include "platform/PrintDialogs.h"
#include "query/SummaryMod.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "tests/support/PdfText.h"
#include "views/CvGraphPr.h"
#include "views/KGridPr.h"
#include "views/PreviewUnit.h"

namespace {

// A work folder whose table holds count customers "顧客 1", "顧客 2", ... of two units.
void AddCustomers(WorkFolder& work, int count) {
  for (int i = 1; i <= count; ++i)
    work.Insert(SJ("顧客"), {{"name", SJ("顧客 ") + IntToStr(i)}, {"unit", i % 2 ? SJ("営業") : SJ("総務")},
                            {"amount", IntToStr(i * 10)}});
}

// The started program with its table folder "顧客" as the listed node and the diagram shown.
class ConditionPane {
 public:
  explicit ConditionPane(const WorkFolder& work) : program_(Start(work)) {
    form = FormMain;
    form->Timer1->SetEnabled(false);
    box = form->DiagramBox;
    form->ListPrinter->SetPrinter(&printer);
    TTreeNode* root = form->TreeView1->Items()->GetFirstNode();
    table = root ? root->GetFirstChild() : nullptr;
  }

  // The table folder selected in the tree and listed; then the diagram is given condition, as
  // though the user had edited it.
  void Listed(const AnsiString& condition) {
    ListTable();
    box->SetExpression(condition);
  }

  // The table folder selected in the tree, which lists its records.
  void ListTable() {
    form->TreeView1->SetSelected(table);
    ASSERT_EQ(form->ListedNode, table);
  }

  // The names of the listed records in list order.
  std::vector<std::string> RecordNames() const {
    CCapInfoList* columns = form->ListRows->ColumnList;
    int at = -1;
    for (int i = 0; columns && i < columns->Count(); ++i)
      if (GetFieldPart(columns->GetItem(i)->Name) == "name") at = i;
    std::vector<std::string> names;
    for (int r = 0; at >= 0 && r < form->ListRows->Count(); ++r)
      names.push_back(SjisToUtf8((*form->ListRows->Row(r))[at]));
    return names;
  }
  // The same sorted, each followed by "/" (the order of a listing follows the index it reads).
  std::string ListedNames() const {
    std::vector<std::string> names = RecordNames();
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += name + "/";
    return joined;
  }

  // Clicks the comparisons at the given leaf positions (in text order), the later ones with Ctrl.
  void Select(std::initializer_list<int> leaves) {
    std::vector<CLgNode*> all;
    std::function<void(CLgNode*)> walk = [&](CLgNode* n) {
      if (!n) return;
      if (n->IsLeaf()) all.push_back(n);
      walk(n->First);
      walk(n->Second);
    };
    walk(box->GetRoot());
    bool first = true;
    for (int i : leaves) {
      ASSERT_LT(i, static_cast<int>(all.size()));
      const TRect& r = all[i]->Box;
      const TShiftState shift = first ? ssLeft : ssLeft | ssCtrl;
      box->PaintBox()->PressMouse(mbLeft, shift, r.Left + 2, r.Top + 2);
      box->PaintBox()->ReleaseMouse(mbLeft, first ? 0 : ssCtrl, r.Left + 2, r.Top + 2);
      first = false;
    }
  }

  // Runs the popup's item with the caption.
  void Popup(const char* caption) {
    TMenuItem* items = form->PopupMenu3->Items();
    for (int i = 0; i < items->Count(); ++i) {
      if (items->Items(i)->Caption() == Utf8ToSjis(caption)) {
        items->Items(i)->Click();
        return;
      }
    }
    ADD_FAILURE() << "no popup item " << caption;
  }

  TFormMain* form;
  TFlowBox* box;
  TTreeNode* table;
  TPrinter printer;  // the list printer's, outliving the window

 private:
  // The work folder's settings keep the diagram shown.
  static std::vector<std::string> Start(const WorkFolder& work) {
    work.WriteSettings("[ScrollBox1FB]\nVisible=1\n");
    return {work.Base() + ".txt"};
  }
  StartedProgram program_;
};

// What the user does in the comparison dialog: column, method and value typed in, or nothing
// typed when column is null; then OK, or Cancel when ok is false.
struct DialogInput {
  const char* column = nullptr;
  int method = 0;
  const char* value = "";
  bool ok = true;
};

// Answers every comparison dialog with input, noting what each one showed.
class ComparisonUser {
 public:
  explicit ComparisonUser(DialogInput input)
      : input_(input), scope_([this](TForm* f) { Play(f); }) {}
  int shown = 0;
  std::string columns;  // the column choices, "|"-joined
  std::string loaded;   // column, method and value the dialog showed, "|"-joined

 private:
  void Play(TForm* f) {
    auto* dialog = dynamic_cast<TCondDlg*>(f);
    ASSERT_NE(dialog, nullptr) << "unexpected dialog \"" << Show(f->Caption()) << "\"";
    ++shown;
    columns = SjisToUtf8(Joined(*dialog->ComboBox1->Items()));
    loaded = SjisToUtf8(dialog->ComboBox1->Text()) + "|" + std::to_string(dialog->RadioGroup2->ItemIndex()) + "|" +
             SjisToUtf8(dialog->Edit2->Text());
    if (input_.column) {
      dialog->ComboBox1->SetText(Utf8ToSjis(input_.column));
      dialog->RadioGroup2->SetItemIndex(input_.method);
      dialog->Edit2->SetText(Utf8ToSjis(input_.value));
    }
    PressButton(dialog, input_.ok ? AnsiString("OK") : SJ("キャンセル"));
  }
  DialogInput input_;
  ModalHandlerScope scope_;
};

}  // namespace

// Each command changes the diagram and lists the records again under it, once; a cancelled or
// empty comparison changes and lists nothing. The table: 山田 (営業, 120) and 顧客 1..4 (営業,
// 総務, 営業, 総務; 10 to 40).
TEST_F(MainWindowTest, DiagramCommandsChangeTheListedCondition) {
  const char* const unchanged = "山田/顧客 1/顧客 2/顧客 3/顧客 4/";  // the table folder's own listing
  const struct {
    const char* name;
    const char* condition;
    std::initializer_list<int> selected;
    const char* command;
    DialogInput input;
    const char* loaded;  // what the dialog showed; "" when none was shown
    const char* after;
    const char* listed;  // nullptr: not listed again
  } cases[] = {
      {"edit", "unit = '営業'", {0}, "編集", {"unit", 8, "総務"}, "unit|1|営業", "unit <> '総務'",
       "山田/顧客 1/顧客 3/"},
      {"edit cancelled", "unit = '営業'", {0}, "編集", {"unit", 8, "総務", false}, "unit|1|営業", "unit = '営業'",
       nullptr},
      {"edit emptied", "unit = '営業'", {0}, "編集", {"unit", 1, ""}, "unit|1|営業", "unit = '営業'", nullptr},
      {"edit without selection", "unit = '営業'", {}, "編集", {"unit", 1, "x"}, "", "unit = '営業'", nullptr},
      {"and", "unit = '営業'", {0}, "AND条件追加", {"amount", 3, "30"}, "|0|", "unit = '営業' AND amount >= '30'",
       "山田/顧客 3/"},
      {"or", "unit = '総務' AND amount >= '30'", {1}, "OR条件追加", {"name", 0, "顧客 2"}, "|0|",
       "unit = '総務' AND (amount >= '30' OR name LIKE '顧客 2%')", "顧客 2/顧客 4/"},
      {"or cancelled", "unit = '営業'", {0}, "OR条件追加", {"name", 0, "山", false}, "|0|", "unit = '営業'",
       nullptr},
      {"delete two", "unit = '営業' AND amount >= '30' AND name = 'x'", {0, 2}, "削除", {}, "", "amount >= '30'",
       "山田/顧客 3/顧客 4/"},
      {"delete all", "unit = '営業'", {0}, "削除", {}, "", "", unchanged},
      {"reverse", "unit = '営業' OR amount < '25'", {}, "条件の反転", {}, "", "unit <> '営業' AND amount >= '25'",
       "顧客 4/"},
  };
  for (const auto& c : cases) {
    WorkFolder work;
    AddCustomers(work, 4);
    ConditionPane pane(work);
    pane.Listed(Utf8ToSjis(c.condition));
    ASSERT_EQ(pane.ListedNames(), unchanged);
    pane.Select(c.selected);
    ComparisonUser user(c.input);
    const int listings = pane.form->ListingCount;
    pane.Popup(c.command);
    EXPECT_EQ(SjisToUtf8(pane.box->GetExpression()), c.after) << c.name;
    EXPECT_EQ(user.shown, *c.loaded ? 1 : 0) << c.name;
    if (user.shown) {
      EXPECT_EQ(user.loaded, c.loaded) << c.name;
      EXPECT_EQ(user.columns, "__REC__ID__|name|unit|amount") << c.name;
    }
    EXPECT_EQ(pane.form->ListingCount - listings, c.listed ? 1 : 0) << c.name;
    EXPECT_EQ(pane.ListedNames(), c.listed ? c.listed : unchanged) << c.name;
    EXPECT_EQ(pane.form->ListedNode, pane.table) << c.name;
  }
}

TEST_F(MainWindowTest, DiagramNegatedTwiceAndCopied) {
  WorkFolder work;
  AddCustomers(work, 4);
  ConditionPane pane(work);
  pane.Listed(SJ("unit = '営業' AND (amount >= '30' OR name LIKE '山%')"));
  const AnsiString before = pane.box->GetExpression();
  pane.Popup("条件の反転");
  EXPECT_NE(pane.box->GetExpression(), before);
  EXPECT_EQ(pane.ListedNames(), "顧客 1/顧客 2/顧客 4/");
  pane.Popup("条件の反転");
  EXPECT_EQ(Show(pane.box->GetExpression()), Show(before));
  EXPECT_EQ(pane.ListedNames(), "山田/顧客 3/");

  // The copy goes to the buffer every diagram shares; the folder dialogs paste it.
  TFlowBox::ClearCopyBuffer();
  pane.Popup("条件のコピー");
  TForm other(Application);
  auto* pasted = new TFlowBox(&other);
  pasted->SetParent(&other);
  pasted->PasteExpression();
  EXPECT_EQ(Show(pasted->GetExpression()), Show(before));
  EXPECT_EQ(Show(pane.box->GetExpression()), Show(before));
  TFlowBox::ClearCopyBuffer();
}

TEST_F(MainWindowTest, DoubleClickOnTheDiagramEditsTheComparison) {
  WorkFolder work;
  ConditionPane pane(work);
  pane.Listed(SJ("unit unlike '営%'"));
  pane.Select({0});
  ComparisonUser user({"name", 2, "田"});
  const TRect r = pane.box->GetSelNode(0)->Box;
  pane.box->PaintBox()->PressMouse(mbLeft, ssLeft | ssDouble, r.Left + 2, r.Top + 2, true);
  pane.box->PaintBox()->ReleaseMouse(mbLeft, 0, r.Left + 2, r.Top + 2);
  EXPECT_EQ(user.shown, 1);
  EXPECT_EQ(user.loaded, "unit|7|営");  // read back as "does not begin with"
  EXPECT_EQ(SjisToUtf8(pane.box->GetExpression()), "name LIKE '%田%'");
}

// Without a listed folder the editing commands ask nothing and change nothing.
TEST_F(MainWindowTest, DiagramCommandsWaitForAListing) {
  WorkFolder work;
  ConditionPane pane(work);
  pane.box->SetExpression("unit = 'a' AND amount = '1'");
  pane.Select({0});
  ComparisonUser user({"unit", 1, "b"});
  for (const char* command : {"編集", "AND条件追加", "OR条件追加", "削除"}) pane.Popup(command);
  EXPECT_EQ(user.shown, 0);
  EXPECT_EQ(pane.box->GetExpression(), "unit = 'a' AND amount = '1'");
  EXPECT_EQ(pane.box->GetSelCount(), 1);
}

TEST_F(MainWindowTest, DiagramShowsAndHidesWithItsSplitter) {
  WorkFolder work;
  ConditionPane pane(work);
  TFormMain* form = pane.form;
  std::string captions;
  for (int i = 0; i < form->PopupMenu3->Items()->Count(); ++i)
    captions += SjisToUtf8(form->PopupMenu3->Items()->Items(i)->Caption()) + "/";
  EXPECT_EQ(captions, "編集/AND条件追加/OR条件追加/削除/-/条件の反転/条件のコピー/");
  EXPECT_EQ(pane.box->PopupMenu(), form->PopupMenu3);

  ASSERT_TRUE(pane.box->Visible());
  for (bool shown : {false, true, false, true}) {
    form->FlipFlowBox->Execute();
    EXPECT_EQ(pane.box->Visible(), shown);
    EXPECT_EQ(form->Splitter2->Visible(), shown);
    if (shown) {
      // The splitter stands right above the diagram, under the tabs.
      EXPECT_EQ(form->Splitter2->Top() + form->Splitter2->Height(), pane.box->Top());
      EXPECT_LE(form->TabControl1->Top() + form->TabControl1->Height(), form->Splitter2->Top());
    }
  }
}

TEST_F(MainWindowTest, ViewTabsSwitchWithoutRows) {
  WorkFolder work;
  ConditionPane pane(work);
  TFormMain* form = pane.form;
  const struct {
    int tab;
    const char* print;
    const char* preview;
  } steps[] = {
      {3, "グラフの印刷", "グラフの印刷プレビュー"}, {1, "リストの印刷", "リストの印刷プレビュー"},
      {2, "リストの印刷", "リストの印刷プレビュー"}, {3, "グラフの印刷", "グラフの印刷プレビュー"},
      {0, "リストの印刷", "リストの印刷プレビュー"}, {2, "リストの印刷", "リストの印刷プレビュー"},
      {0, "リストの印刷", "リストの印刷プレビュー"},
  };
  for (const auto& s : steps) {
    form->TabControl1->UserSelect(s.tab);
    EXPECT_EQ(form->ViewTab, s.tab);
    EXPECT_EQ(SjisToUtf8(form->FilePrint->Caption()), s.print) << s.tab;
    EXPECT_EQ(SjisToUtf8(form->FilePreview->Caption()), s.preview) << s.tab;
    const bool graph = s.tab == 3;
    EXPECT_EQ(form->Panel3->Visible(), graph) << s.tab;
    EXPECT_EQ(form->Chart2->Visible(), graph) << s.tab;
    EXPECT_EQ(form->FileSaveChart->Visible(), graph) << s.tab;
    EXPECT_EQ(form->GraphPrinter->Chart, graph ? form->Chart2 : nullptr) << s.tab;
    if (!graph) {
      EXPECT_EQ(form->StringGridEx1->PopupMenu(), s.tab == 0 ? form->PopupMenu1 : form->PopupMenuSum) << s.tab;
      EXPECT_EQ((form->StringGridEx1->Options() & goColMoving) != 0, s.tab != 0) << s.tab;
    }
    EXPECT_EQ(form->GridClickCount, 0);
  }
}

namespace {

// Answers the print dialog: the pages go to file, all of them or from..to.
class PrintUser {
 public:
  PrintUser(const std::string& file, int from = 0, int to = 0)
      : scope_([=, this](TForm* f) {
          if (auto* dialog = dynamic_cast<TPrintDialogForm*>(f)) {
            ++dialogs;
            dialog->ChooseFile(file);
            if (from > 0) {
              dialog->RangeGroup->SetItemIndex(1);
              dialog->FromEdit->SetText(IntToStr(from));
              dialog->ToEdit->SetText(IntToStr(to));
            }
            PressButton(dialog, "OK");
          } else if (auto* box = dynamic_cast<TCvMessageDlg*>(f)) {
            errors.push_back(SjisToUtf8(box->Label1->Caption()));
            PressButton(box, SJ("ＯＫ"));
          } else {
            ADD_FAILURE() << "unexpected dialog \"" << Show(f->Caption()) << "\"";
          }
        }) {}
  int dialogs = 0;
  std::vector<std::string> errors;

 private:
  ModalHandlerScope scope_;
};

// The PDF's text without the blanks a reader puts between glyphs that stand apart.
std::string PdfWords(const std::string& file) {
  std::string text = PdfText(file);
  std::erase(text, ' ');
  return text;
}

}  // namespace

TEST_F(MainWindowTest, ListPrintsToAPdfPage) {
  ASSERT_TRUE(JapaneseFontInstalled());
  WorkFolder work;
  AddCustomers(work, 5);
  ConditionPane pane(work);
  pane.ListTable();
  ASSERT_EQ(pane.form->ListRows->Count(), 6);
  const std::string file = work.dir.File("list.pdf");
  PrintUser user(file);
  pane.form->FilePrint->Execute();
  EXPECT_EQ(user.dialogs, 1);
  EXPECT_TRUE(user.errors.empty());
  EXPECT_EQ(PdfPageCount(file), 1);
  const std::string text = PdfWords(file);
  for (const char* expected : {"name", "unit", "amount", "山田", "営業", "120", "顧客1", "顧客2", "顧客5", "総務", "50"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
}

TEST_F(MainWindowTest, ListPrintsTheChosenPages) {
  WorkFolder work;
  AddCustomers(work, 150);
  ConditionPane pane(work);
  pane.ListTable();
  const struct {
    int from, to;
    int pages;
  } cases[] = {{2, 3, 2}, {0, 0, 0}, {2, 2, 1}};
  int all = 0;
  for (const auto& c : cases) {
    const std::string file = work.dir.File("pages.pdf");
    std::remove(file.c_str());
    PrintUser user(file, c.from, c.to);
    pane.form->FilePrint->Execute();
    EXPECT_TRUE(user.errors.empty());
    if (c.from == 0) {
      all = PdfPageCount(file);
      EXPECT_GE(all, 3);
      EXPECT_EQ(all, pane.form->ListPrinter->PageCount());
    } else {
      EXPECT_EQ(PdfPageCount(file), c.pages) << c.from << "-" << c.to;
      // Page numbers in the footer are the chosen ones.
      EXPECT_NE(PdfWords(file).find(Format("－%d－", c.from)), std::string::npos);
    }
  }
}

// A file that cannot be written is reported with its reason instead of passing for printed.
TEST_F(MainWindowTest, ListPrintToAnUnwritableFileIsReported) {
  WorkFolder work;
  ConditionPane pane(work);
  pane.ListTable();
  PrintUser user(work.dir.File("no such folder/list.pdf"));
  pane.form->FilePrint->Execute();
  ASSERT_EQ(user.errors.size(), 1u);
  EXPECT_NE(user.errors[0].find("印刷"), std::string::npos) << user.errors[0];
  EXPECT_FALSE(pane.printer.Printing());
}

TEST_F(MainWindowTest, ListPreviewShowsTheListedRows) {
  WorkFolder work;
  ConditionPane pane(work);
  pane.ListTable();
  int shown = 0;
  ModalHandlerScope scope([&](TForm* f) {
    auto* preview = dynamic_cast<TPreviewForm*>(f);
    ASSERT_NE(preview, nullptr) << "unexpected dialog \"" << Show(f->Caption()) << "\"";
    ++shown;
    EXPECT_EQ(preview->GridPr, pane.form->ListPrinter);
    EXPECT_FALSE(preview->Panel1B->Visible());  // no card settings for a list
    EXPECT_EQ(preview->GridPr->PageCount(), 1);
    // The printed cells come from the listed rows.
    AnsiString text;
    bool line = false;
    preview->GridPr->OnGetCellString(text, line, 0, 1, true);
    EXPECT_EQ(Show(text), Show(SJ("山田")));
    PressButton(preview, SJ("閉じる"));
  });
  pane.form->FilePreview->Execute();
  EXPECT_EQ(shown, 1);
}

namespace {

// 山田 and 40 customers listed, summarised by unit with a count.
class UnitSummary {
 public:
  UnitSummary() {
    AddCustomers(work, 40);
    CCapInfoList* sum = static_cast<CDbFolder*>(pane.table->Data)->GetSumCapInfoList();
    auto* key = Column(SJ("顧客.unit"));
    key->GroupKey = true;
    sum->Add(key);
    sum->Add(Column(SJ("顧客.name"), true, SJ("件数")));
    pane.ListTable();
  }
  WorkFolder work;
  ConditionPane pane{work};
  TFormMain* form = pane.form;
};

// The names of the records on the marked rows of the list grid.
std::string MarkedNames(const ConditionPane& pane) {
  TStringGridEx* grid = pane.form->StringGridEx1;
  const std::vector<std::string> names = pane.RecordNames();
  std::string marked;
  for (int r = 1; r < grid->RowCount() && r <= static_cast<int>(names.size()); ++r)
    if (grid->GetRowSelects(r)) marked += names[r - 1] + "/";
  return marked;
}

}  // namespace

TEST_F(MainWindowTest, ViewTabsSwitchOverListedRows) {
  UnitSummary listed;
  TFormMain* form = listed.form;
  CCapInfoList* listColumns = form->ListRows->ColumnList;
  for (int tab : {1, 2, 3, 0, 3, 2, 1, 0}) {
    form->TabControl1->UserSelect(tab);
    EXPECT_EQ(form->StringGridEx1->Tag,
              reinterpret_cast<intptr_t>(tab == 0 ? listColumns : form->SumColumns)) << tab;
    EXPECT_EQ(form->ListRows->Count(), 41) << tab;
    TStringGridEx* grid = form->StringGridEx1;
    if (tab == 0) {
      EXPECT_EQ(grid->RowCount(), 42);
      EXPECT_EQ(grid->Cells(0, 0), "name");
    } else if (tab != 3) {
      // One row per unit: 営業 (山田 and the odd customers), 総務.
      EXPECT_EQ(grid->RowCount(), 3) << tab;
      EXPECT_EQ(grid->Cells(0, 0), "unit") << tab;
      EXPECT_EQ(SjisToUtf8(grid->Cells(0, 1)) + "/" + SjisToUtf8(grid->Cells(0, 2)), "営業/総務") << tab;
    }
    if (tab == 1) {
      EXPECT_EQ(grid->Cells(1, 1) + "/" + grid->Cells(1, 2), "21/20");
    }
  }
  EXPECT_EQ(listColumns->Rows, form->ListRows);
  EXPECT_EQ(form->SumColumns->Rows, form->SumRows);
}

// Marking summary rows and going back to the list marks the records of those groups there and
// brings the first of them to the top; without a press in the grid the list keeps its own marks.
TEST_F(MainWindowTest, SummaryMarksCarryToTheList) {
  for (bool pressed : {true, false}) {
    UnitSummary listed;
    TFormMain* form = listed.form;
    TStringGridEx* grid = form->StringGridEx1;
    grid->SetRowSelects(1, true);  // the list's own mark: 山田
    form->TabControl1->UserSelect(1);
    ASSERT_EQ(form->SumRows->Count(), 2);
    ASSERT_EQ(SjisToUtf8((*form->SumRows->Row(1))[0]), "総務");
    if (!pressed) {
      form->TabControl1->UserSelect(0);
      EXPECT_EQ(MarkedNames(listed.pane), "山田/") << "the list's own marks";
      continue;
    }
    const TRect cell = grid->CellRect(0, 2);  // the group "総務"
    grid->PressMouse(mbLeft, ssLeft, cell.Left + 2, cell.Top + 2);
    grid->ReleaseMouse(mbLeft, 0, cell.Left + 2, cell.Top + 2);
    ASSERT_EQ(form->GridClickCount, 1);
    ASSERT_FALSE(grid->GetRowSelects(1));
    form->TabControl1->UserSelect(0);
    std::string expected;
    for (int i = 2; i <= 40; i += 2) expected += "顧客 " + std::to_string(i) + "/";
    EXPECT_EQ(MarkedNames(listed.pane), expected);
    EXPECT_EQ(grid->GetSelection().Top, 3);
    EXPECT_EQ(grid->TopRow(), 3);
  }
}

// The printed cells: headings, full values on a page's first row (formatted, without line
// breaks), ditto marks and open lines below it, nothing outside the grid or the rows.
TEST_F(MainWindowTest, PrintedCellTexts) {
  WorkFolder work;  // 山田, 営業, 120
  work.Insert(SJ("顧客"), {{"name", SJ("山田")}, {"unit", SJ("営業")}, {"amount", "999"}});
  work.Insert(SJ("顧客"), {{"name", SJ("二行\r\n目")}, {"unit", SJ("総務")}, {"amount", "1234567"}});
  ConditionPane pane(work);
  TFormMain* form = pane.form;
  AnsiString text = "junk";
  bool line = false;
  form->GetPrintCellText(text, line, 0, 0, false);  // nothing listed
  EXPECT_EQ(text, "");
  EXPECT_TRUE(line);

  pane.ListTable();
  ASSERT_EQ(pane.RecordNames(), (std::vector<std::string>{"山田", "山田", "二行\r\n目"}));
  ASSERT_EQ(form->StringGridEx1->ColCount(), 3);
  auto* amount = static_cast<CCapInfo*>(form->StringGridEx1->Objects(2, 0));
  ASSERT_NE(amount, nullptr);
  amount->Flags |= CI_THOUSANDS;
  const struct {
    int col, row;
    bool first;
    const char* text;
    bool line;
  } cases[] = {
      {0, 0, false, "name", true},    {2, 0, true, "amount", true},   {0, 1, true, "山田", true},
      {0, 2, true, "山田", true},     {0, 2, false, "", false},       {1, 2, false, "", false},
      {2, 2, false, "999", true},     {0, 3, false, "二行目", true},  {2, 3, true, "1,234,567", true},
      {-1, 1, true, "", true},        {3, 1, true, "", true},         {0, 4, true, "", true},
      {0, -1, true, "", true},
  };
  for (const auto& c : cases) {
    text = "junk";
    line = !c.line;
    form->GetPrintCellText(text, line, c.col, c.row, c.first);
    EXPECT_EQ(SjisToUtf8(text), c.text) << c.col << "," << c.row << "," << c.first;
    EXPECT_EQ(line, c.line) << c.col << "," << c.row << "," << c.first;
  }
  // A column without its descriptor prints nothing.
  form->StringGridEx1->SetObjects(1, 0, nullptr);
  form->GetPrintCellText(text, line, 1, 3, true);
  EXPECT_EQ(text, "");
}
