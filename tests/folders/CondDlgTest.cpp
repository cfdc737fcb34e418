#include <gtest/gtest.h>

#include "folders/CondUnit.h"
#include "tests/support/TestSupport.h"

TEST(CondDlg, ConditionTextOfEachMethod) {
  const AnsiString so = SJ("ソ");  // its trail byte is a backslash
  const struct {
    AnsiString column;
    int method;
    AnsiString value;
    AnsiString text;
  } cases[] = {
      {"a", 0, "ab%c", "a LIKE 'ab\\%c%'"},
      {"a", 1, "O'Neil", "a = 'O''Neil'"},
      {"a", 2, "it's 5%", "a LIKE '%it''s 5\\%%'"},
      {"a", 3, "10", "a >= '10'"},
      {"a", 4, "10", "a > '10'"},
      {"a", 5, "10", "a <= '10'"},
      {"a", 6, "10", "a < '10'"},
      {"a", 7, "x\\", "a UNLIKE 'x\\\\%'"},
      {"a", 8, "b", "a <> 'b'"},
      {"a", 9, "x", "a UNLIKE '%x%'"},
      {"t.a", -1, "x", "t.a LIKE 'x%'"},  // no method chosen: begins with
      {"a", 10, "x", "a LIKE 'x%'"},
      {SJ("商品.名前"), 2, so, SJ("商品.名前 LIKE '%ソ%'")},
  };
  for (const auto& c : cases) EXPECT_EQ(Show(MakeConditionText(c.column, c.method, c.value)), Show(c.text)) << c.method;
  for (int method = -1; method <= 10; ++method) {
    EXPECT_EQ(MakeConditionText("a", method, ""), "");
    EXPECT_EQ(MakeConditionText("", method, "x"), "");
  }
}

TEST(CondDlg, ReadsBackWhatItWrites) {
  TCondDlg written(Application);
  TCondDlg read(Application);
  read.ComboBox1->Items()->Add("other");
  for (const AnsiString& value : {AnsiString("plain"), AnsiString("50% off"), AnsiString("O'Neil"),
                                 AnsiString("back\\slash"), SJ("ソ表'%"), AnsiString("%x")}) {
    for (int method = 0; method < 10; ++method) {
      written.ComboBox1->SetText(SJ("商品.名前"));
      written.Edit2->SetText(value);
      written.RadioGroup2->SetItemIndex(method);
      const AnsiString text = written.GetConditionText();
      read.SetConditionText(text);
      EXPECT_EQ(Show(read.ComboBox1->Text()), Show(SJ("商品.名前"))) << Show(text);
      EXPECT_EQ(read.RadioGroup2->ItemIndex(), method) << Show(text);
      EXPECT_EQ(Show(read.Edit2->Text()), Show(value)) << Show(text);
    }
  }
  // The caller's column list is kept as it was.
  EXPECT_EQ(read.ComboBox1->Items()->Count(), 1);
}

TEST(CondDlg, ReadsComparisonsWrittenByHand) {
  const struct {
    const char* text;
    const char* column;
    int method;
    const char* value;
  } cases[] = {
      {"a <> 'b'", "a", 8, "b"},
      {"a != 'b'", "a", 8, "b"},
      {"a unlike 'x%'", "a", 7, "x"},
      {"a UnLike '%x%'", "a", 9, "x"},
      {"a like '%x%'", "a", 2, "x"},
      {"a >= 5", "a", 3, "5"},
      {"a IS b", "a", 0, ""},
      {"'a' = b", "", 0, ""},
  };
  for (const auto& c : cases) {
    TCondDlg dialog(Application);
    dialog.SetConditionText(c.text);
    EXPECT_EQ(dialog.ComboBox1->Text(), c.column) << c.text;
    EXPECT_EQ(dialog.RadioGroup2->ItemIndex(), c.method) << c.text;
    EXPECT_EQ(dialog.Edit2->Text(), c.value) << c.text;
    // An empty column list takes the column read.
    ASSERT_EQ(dialog.ComboBox1->Items()->Count(), 1) << c.text;
    EXPECT_EQ((*dialog.ComboBox1->Items())[0], c.column) << c.text;
  }
}

TEST(CondDlg, TheDiagramEditsAComparisonThroughIt) {
  TForm form(Application);
  auto* box = new TFlowBox(&form);
  box->SetParent(&form);
  box->SetBounds(0, 0, 400, 200);
  box->SetExpression("a unlike 'x%' AND b = 1");
  CLgNode* leaf = box->GetRoot()->First;
  ASSERT_TRUE(leaf && leaf->IsLeaf());
  box->PaintBox()->PressMouse(mbLeft, ssLeft, leaf->Box.Left + 2, leaf->Box.Top + 2);
  box->PaintBox()->ReleaseMouse(mbLeft, 0, leaf->Box.Left + 2, leaf->Box.Top + 2);
  ASSERT_EQ(box->GetSelCount(), 1);

  TCondDlg dialog(&form);
  dialog.ComboBox1->Items()->Add("a");
  dialog.ComboBox1->Items()->Add("b");
  int shown = 0;
  ModalHandlerScope scope([&](TForm* f) {
    ASSERT_EQ(f, &dialog);
    ++shown;
    EXPECT_EQ(dialog.Caption(), SJ("検索条件"));
    EXPECT_EQ(dialog.ActiveControl(), dialog.Edit2);
    EXPECT_EQ(dialog.RadioGroup2->ItemIndex(), 7);  // read as UNLIKE, not LIKE
    EXPECT_EQ(dialog.Edit2->Text(), "x");
    dialog.RadioGroup2->SetItemIndex(9);
    dialog.Edit2->SetText("y'z");
    PressButton(&dialog, "OK");
  });
  EXPECT_TRUE(EditFlowNode(box, &dialog));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(box->GetExpression(), "a UNLIKE '%y''z%' AND b = 1");
}
