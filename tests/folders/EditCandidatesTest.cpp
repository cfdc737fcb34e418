// The record edit dialog and its candidates popup over a real folder node: the node answers the
// popup's questions through its folder's tables and joins.
#include <gtest/gtest.h>

#include "platform/Clipbrd.h"
#include "tests/folders/FolderTestSupport.h"
#include "views/CandUnit.h"
#include "views/EditForm.h"

TEST(EditCandidates, LinkedValueCopiedAndPastedThroughTheFolder) {
  // a.bref refers to b.id; the sheet shows a.id, a.bref, b.label and b.id.
  FolderTree tree;
  CRuleFolderTbl* a = tree.AddTable("a", {"id", "bref"}, {"bref", "b.id"});
  tree.AddTable("b", {"id", "label"});
  tree.Insert("b", {{"id", "b1"}, {"label", SJ("一番")}});
  tree.Insert("b", {{"id", "b2"}, {"label", SJ("二番")}});
  std::unique_ptr<CDbFolder> node(NodeFor(a->AddNewChild(), nullptr));
  std::unique_ptr<CCapInfoList> columns(
      Columns({Column("a.id"), Column("a.bref"), Column("b.label"), Column("b.id")}));

  TCandForm* const savedCand = CandForm;
  TEditDlg* const savedDlg = EditDlg;
  CandForm = new TCandForm(Application);
  EditDlg = new TEditDlg(Application);
  TKelmGrid* sheet = EditDlg->Sheet;
  sheet->SetColCount(5);
  sheet->SetFixedCols(1);
  sheet->SetRowCount(3);
  for (int c = 1; c <= 4; ++c) sheet->SetObjects(c, 0, reinterpret_cast<void*>(static_cast<intptr_t>(c - 1)));
  const char* row1[] = {"1", "b1", "一番", "b1"};
  for (int c = 1; c <= 4; ++c) sheet->SetCells(c, 1, Utf8ToSjis(row1[c - 1]));
  EditDlg->Folder = node.get();
  EditDlg->CapList = columns.get();
  CandForm->SetSource(node.get(), nullptr, sheet, columns.get());

  sheet->SetCol(3);
  sheet->SetRow(1);
  sheet->ClearSelRange();
  sheet->SelCopy(false);
  const AnsiString bs(1, 8);
  EXPECT_EQ(Clipboard()->AsText(), bs + SJ("一番") + bs + "b.label" + bs + "b1" + bs + "a.bref" + bs + "\r\n");

  // Pasted into another row, the linked value chooses the related record's candidate.
  sheet->SetRow(2);
  sheet->ClearSelRange();
  sheet->SelPaste();
  EXPECT_EQ(sheet->Cells(2, 2), "b1");
  EXPECT_EQ(sheet->Cells(3, 2), SJ("一番"));
  EXPECT_EQ(sheet->Cells(4, 2), "b1");
  EXPECT_EQ(sheet->UndoStepCount(), 1);

  // Typing in the linking column lists the related records.
  CandForm->ShowCandidates(2, 2, "b");
  EXPECT_TRUE(CandForm->Visible());
  EXPECT_EQ(CandForm->CandidateCount(), 2);
  EXPECT_EQ(CandForm->CandGrid->Cells(CandForm->KeyColumn(), 3), "b2");

  CandForm->Reset();
  CandForm->CloseCandidates();
  delete EditDlg;
  delete CandForm;
  EditDlg = savedDlg;
  CandForm = savedCand;
}
