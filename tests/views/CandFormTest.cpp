#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "foundation/CapInfo.h"
#include "platform/Timer.h"
#include "tests/support/TestSupport.h"
#include "tests/views/CandidateFixture.h"
#include "views/CandUnit.h"

namespace {

struct Candidates : CandidateFixture {
  Candidates() {
    for (int i = 0; i < 40; ++i) source.Add(Format("k%02d", i), Format("name%02d", i));
    Bind();
  }
};

}  // namespace

TEST_F(Candidates, ListIsKeptWhileTheKeyStaysInsideIt) {
  struct Case {
    AnsiString typed;
    int searches;        // searches started so far
    AnsiString first;    // first listed key
    AnsiString selected; // key of the selected row
  };
  const Case cases[] = {
      {"k0", 1, "k00", "k00"},
      {"k05", 1, "k00", "k05"},   // inside the list: only the selection moves
      {"k1", 1, "k00", "k10"},
      {"k3", 2, "k30", "k30"},    // past the last listed key: a new search
      {"k29", 3, "k29", "k29"},   // before the first: a new search
      {"k35", 3, "k29", "k35"},
  };
  for (const Case& c : cases) {
    CandForm->ShowCandidates(1, 1, c.typed);
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(static_cast<int>(source.searches.size()), c.searches);
    EXPECT_EQ(CandForm->CandGrid->Cells(CandForm->KeyColumn(), 2), c.first);
    EXPECT_EQ(CandForm->CandGrid->Cells(CandForm->KeyColumn(), CandForm->SelectedRow()), c.selected);
    EXPECT_TRUE(CandForm->Visible());
  }
  // The popup stands under the typed cell, its key column under the value.
  const TRect cell = sheet->CellRect(1, 1);
  const TPoint under = sheet->ClientToScreen({cell.Left, cell.Bottom});
  EXPECT_EQ(CandForm->Left(), under.x);
  EXPECT_EQ(CandForm->Top(), under.y + 1);
  // A new search lists one batch; reaching its last row fetches a batch more.
  CandForm->ShowCandidates(1, 1, "k0");
  EXPECT_EQ(CandForm->CandidateCount(), 11);
  bool can = true;
  CandForm->CandGridSelectCell(CandForm->CandGrid, 0, 12, can);
  EXPECT_TRUE(can);
  EXPECT_EQ(CandForm->CandidateCount(), 22);
  // A key beyond every stored one closes the popup.
  CandForm->ShowCandidates(1, 1, "z");
  EXPECT_FALSE(CandForm->Visible());
}

TEST_F(Candidates, SearchBackwardCutsOnlyAtCharacterBoundaries) {
  struct Case {
    AnsiString key;
    std::vector<AnsiString> prefixes;  // the keys searched, longest first
  };
  const Case cases[] = {
      {"abc", {"abc", "ab", "a", ""}},
      {SJ("アイ"), {SJ("アイ"), SJ("ア"), ""}},        // 83 41 83 43: byte 3 is a trail byte
      {SJ("亜亜"), {SJ("亜亜"), SJ("亜"), ""}},        // 88 9F 88 9F: a trail byte that looks like a lead byte
      {SJ("ソ表x"), {SJ("ソ表x"), SJ("ソ表"), SJ("ソ"), ""}},  // trail bytes 0x5C
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.key));
    source.rows.clear();
    source.Add(c.key + "~", "after");  // every prefix finds the same first key: the search goes on to ""
    CandForm->SetSource(&source, nullptr, sheet, &shown);
    CandForm->ShowCandidates(1, 1, c.key);
    ASSERT_EQ(CandForm->CandidateCount(), 1);
    source.searches.clear();
    CandForm->SearchBackward();
    EXPECT_EQ(source.searches, c.prefixes);
  }
  // A shorter prefix that brings in an earlier key stops the search there and fills the page.
  source.rows.clear();
  for (const char* k : {"a", "b1", "b2", "bb", "bc"}) source.Add(k, "");
  CandForm->SetSource(&source, nullptr, sheet, &shown);
  CandForm->ShowCandidates(1, 1, "bb");
  source.searches.clear();
  CandForm->SearchBackward();
  EXPECT_EQ(source.searches, (std::vector<AnsiString>{"bb", "b"}));
  EXPECT_EQ(CandForm->CandGrid->Cells(CandForm->KeyColumn(), 2), "b1");
  EXPECT_EQ(CandForm->CandidateCount(), 4);
}

TEST_F(Candidates, EnterWritesTheRowAsOneUndoStep) {
  sheet->SetCells(1, 2, "k0");
  CandForm->ShowCandidates(1, 2, "k0");
  CandForm->SelectRow(4);  // k02
  CandForm->CandGrid->PressKey(VK_RETURN, 0);
  EXPECT_EQ(sheet->Cells(1, 2), "k02");
  EXPECT_EQ(sheet->Cells(2, 2), "name02");
  EXPECT_FALSE(CandForm->Visible());
  EXPECT_EQ(sheet->UndoStepCount(), 1);
  sheet->Undo();
  EXPECT_EQ(sheet->Cells(1, 2), "k0");
  EXPECT_EQ(sheet->Cells(2, 2), "");
  // Another letter in the popup closes it without choosing.
  CandForm->ShowCandidates(1, 2, "k1");
  CandForm->CandGrid->PressKey('Q', 0);
  EXPECT_FALSE(CandForm->Visible());
  EXPECT_EQ(sheet->UndoStepCount(), 1);
  // An input-method composition anywhere closes it, and its closing hands the hook back.
  const bool hooked = static_cast<bool>(Application->OnInputMethod);
  CandForm->ShowCandidates(1, 2, "k1");
  ASSERT_TRUE(CandForm->Visible());
  Application->InputMethodComposing();
  EXPECT_FALSE(CandForm->Visible());
  EXPECT_EQ(static_cast<bool>(Application->OnInputMethod), hooked);
  // A pasted value equal to a stored key fills the row's related column.
  EXPECT_TRUE(CandForm->TakeOverValue(1, 3, "k07"));
  EXPECT_EQ(sheet->Cells(2, 3), "name07");
  EXPECT_FALSE(CandForm->TakeOverValue(1, 3, "k07x"));
}

TEST_F(Candidates, TheWaitForARowIsBoundedAndServesTheWindowSystem) {
  source.stall = true;  // the folder keeps answering "not yet"
  CandForm->FetchWaitMs = 300;
  TTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(10);
  timer.OnTimer = [&](TObject*) { ++ticks; };
  timer.SetEnabled(true);
  const auto start = std::chrono::steady_clock::now();
  CandForm->ShowCandidates(1, 1, "k0");
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_LT(ms.count(), 2000);
  EXPECT_GT(ticks, 0);  // timers ran while the popup waited
  EXPECT_FALSE(CandForm->Visible());
  // The search was not given up: once the folder answers, the next fetch lists the rows.
  source.stall = false;
  CandForm->FetchCandidates(0);
  EXPECT_EQ(CandForm->CandidateCount(), 11);
}

TEST(CandidateText, LineBreakFunctions) {
  struct Case {
    AnsiString in, crlf, lf, strip;
  };
  const Case cases[] = {
      {"a\nb", "a\r\nb", "a\nb", "ab"},
      {"a\r\nb", "a\r\nb", "a\nb", "ab"},
      {"a\rb", "a\rb", "a\rb", "ab"},
      {"end\r", "end\r", "end", "end"},
      {"\n\n", "\r\n\r\n", "\n\n", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TCandForm::LfToCrLf(c.in), c.crlf) << Show(c.in);
    EXPECT_EQ(TCandForm::CrLfToLf(c.in), c.lf) << Show(c.in);
    EXPECT_EQ(TCandForm::StripLineBreaks(c.in), c.strip) << Show(c.in);
  }
}
