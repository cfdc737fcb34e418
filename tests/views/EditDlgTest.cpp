#include <gtest/gtest.h>

#include "platform/Clipbrd.h"
#include "tests/support/TestSupport.h"
#include "tests/views/CandidateFixture.h"
#include "views/EditForm.h"

namespace {

constexpr char BS = 8;

// The dialog as the main window fills it: columns t.code, t.cust (the link to table c) and
// c.name; one record A1, C7, Ono.
struct EditDialog : ::testing::Test {
  TEditDlg* savedDlg = EditDlg;
  TCandForm* savedCand = CandForm;
  CCapInfoList columns;
  FakeCandSource folder;
  TKelmGrid* sheet;

  EditDialog() {
    CandForm = new TCandForm(Application);
    EditDlg = new TEditDlg(Application);
    sheet = EditDlg->Sheet;
    sheet->SetColCount(4);
    sheet->SetRowCount(3);
    sheet->SetFixedCols(1);
    const char* names[] = {"t.code", "t.cust", "c.name"};
    for (int i = 0; i < 3; ++i) {
      auto* c = new CCapInfo;
      c->Name = names[i];
      c->Caption = names[i];
      c->Shown = true;
      columns.Add(c);
      sheet->SetObjects(i + 1, 0, reinterpret_cast<void*>(static_cast<intptr_t>(i)));
      sheet->SetColWidths(i + 1, 90);
    }
    sheet->SetCells(1, 1, "A1");
    sheet->SetCells(2, 1, "C7");
    sheet->SetCells(3, 1, "Ono");
    folder.join = "t.cust=c.id";
    folder.keyName = "t.cust";
    folder.nameName = "c.name";
    folder.Add("C7", "Ono");
    folder.Add("C9", "Sato");
    Fill();
  }
  ~EditDialog() override {
    delete EditDlg;
    delete CandForm;
    EditDlg = savedDlg;
    CandForm = savedCand;
  }
  void Fill() {
    EditDlg->Folder = &folder;
    EditDlg->CapList = &columns;
    EditDlg->ListGrid = nullptr;
  }
  AnsiString Copied(int col, int row) {
    AnsiString text;
    EditDlg->SheetCopyCell(sheet, col, row, text);
    return text;
  }
  void SelectCell(int col, int row) {
    sheet->SetCol(col);
    sheet->SetRow(row);
    sheet->ClearSelRange();
  }
};

AnsiString Framed(std::initializer_list<const char*> parts) {
  AnsiString s(1, BS);
  for (const char* p : parts) s += AnsiString(p) + BS;
  return s;
}

}  // namespace

TEST_F(EditDialog, CopiesCellsOfJoinedTablesInTheLinkedValueForm) {
  struct Case {
    const char* join;
    bool withColumns;
    int col;
    AnsiString expected;
  };
  const Case cases[] = {
      {"t.cust=c.id", true, 3, Framed({"Ono", "c.name", "C7", "t.cust"})},
      {"t.cust=c.id", true, 1, "A1"},            // the folder's own table: plain
      {"t.cust=c.id", false, 3, "Ono"},          // no column list: plain
      {"", true, 3, "Ono"},                      // no join
      {"t.cust<c.id", true, 3, "Ono"},           // not an equality
      {"t.cust=", true, 3, "Ono"},
      {"t.other=c.id", true, 3, "Ono"},          // the linking column is not on the sheet
  };
  for (const Case& c : cases) {
    folder.join = c.join;
    EditDlg->CapList = c.withColumns ? &columns : nullptr;
    EXPECT_EQ(Copied(c.col, 1), c.expected) << c.join << " " << c.col;
  }
}

TEST_F(EditDialog, PastingALinkedValueFillsTheRowThroughTheCandidates) {
  CandForm->SetSource(&folder, nullptr, sheet, &columns);
  SelectCell(3, 1);
  sheet->SelCopy(false);
  EXPECT_EQ(Clipboard()->AsText(), Framed({"Ono", "c.name", "C7", "t.cust"}) + "\r\n");
  SelectCell(3, 2);
  sheet->SelPaste();
  EXPECT_EQ(sheet->Cells(2, 2), "C7");  // the linking column took the linked value
  EXPECT_EQ(sheet->Cells(3, 2), "Ono");
  EXPECT_EQ(sheet->UndoStepCount(), 1);
  sheet->Undo();
  EXPECT_EQ(sheet->Cells(2, 2), "");
  EXPECT_EQ(sheet->Cells(3, 2), "");

  // Short or broken frames are plain fields.
  struct Case {
    AnsiString pasted, stored;
  };
  const Case cases[] = {
      {Framed({"A"}), Framed({"A"})},                         // shorter than five bytes
      {Framed({"Ono", "", "C7", "t.cust"}), "Ono"},          // no item name: the text alone
      {Framed({"Ono", "c.name", "C7", "t.none"}), "Ono"},    // no linking column on the sheet
      {Framed({"Ono", "c.name", "X1", "t.cust"}), "Ono"},    // no candidate for the linked value
  };
  for (const Case& c : cases) {
    sheet->SetCells(2, 2, "");
    sheet->SetCells(3, 2, "");
    EditDlg->SheetPasteCell(sheet, 3, 2, c.pasted);
    EXPECT_EQ(sheet->Cells(3, 2), c.stored) << Show(c.pasted);
    EXPECT_EQ(sheet->Cells(2, 2), "") << Show(c.pasted);
  }
  // Without a column list or folder the field is stored as it came, where the column may be edited.
  EditDlg->CapList = nullptr;
  sheet->GridColumns()->Items(1)->CanEdit = false;
  EditDlg->SheetPasteCell(sheet, 1, 2, "P");
  EditDlg->SheetPasteCell(sheet, 3, 2, Framed({"Ono", "c.name", "C7", "t.cust"}));
  EXPECT_EQ(sheet->Cells(1, 2), "");
  EXPECT_EQ(sheet->Cells(3, 2), Framed({"Ono", "c.name", "C7", "t.cust"}));
}

TEST_F(EditDialog, ModalRunTypesWithCandidatesAndClosesThePopupFirst) {
  folder.keyName = "t.code";
  folder.nameName = "c.name";
  folder.rows.clear();
  folder.Add("K1", "Ito");
  folder.Add("K2", "Mori");
  bool checked = false;
  ModalHandlerScope handler([&](TForm* form) {
    ASSERT_EQ(form, EditDlg);
    EXPECT_EQ(sheet->Range(0), (TSelRange{1, 1, 1, 1}));
    sheet->PressKey('K', ssShift);
    sheet->TypeChar('K');
    EXPECT_TRUE(sheet->GetCellEdit());
    EXPECT_TRUE(CandForm->Visible());  // the typed text has candidates
    TInplaceEdit* editor = sheet->InplaceEditor();
    editor->PressKey(VK_ESCAPE, 0);
    EXPECT_FALSE(CandForm->Visible());
    editor->PressKey(VK_LEFT, 0);     // moving the caret never opens the popup
    editor->PressKey(VK_RIGHT, 0);
    EXPECT_FALSE(CandForm->Visible());
    editor->PressKey('2', 0);         // a character key does, for an editable column
    editor->TypeChar('2');
    EXPECT_TRUE(CandForm->Visible());
    EXPECT_EQ(CandForm->CandGrid->Cells(CandForm->KeyColumn(), CandForm->SelectedRow()), "K2");
    editor->PressKey(VK_DOWN, 0);     // into the popup, then Enter chooses
    CandForm->CandGrid->PressKey(VK_RETURN, 0);
    EXPECT_EQ(sheet->Cells(3, 1), "Mori");
    CandForm->ShowCandidates(1, 1, "K");
    ASSERT_TRUE(CandForm->Visible());
    checked = true;
    PressButton(form, "OK");
  });
  EXPECT_EQ(EditDlg->ShowModal(), mrOk);
  EXPECT_TRUE(checked);
  EXPECT_EQ(sheet->Cells(1, 1), "K2");
  EXPECT_EQ(sheet->Cells(3, 1), "Mori");
  EXPECT_FALSE(CandForm->Visible());  // closed with the dialog
  EXPECT_EQ(EditDlg->Folder, nullptr);
  EXPECT_EQ(EditDlg->CapList, nullptr);
  EXPECT_EQ(CandForm->TargetColumn(), -1);
}
