#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "folders/FlowBox.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace {

// The tree as text: kinds with their operands, leaves as their texts in brackets.
std::string Shape(const CLgNode* n) {
  if (!n) return "-";
  switch (n->Kind) {
    case CLgNode::OrNode: return "OR(" + Shape(n->First) + "," + Shape(n->Second) + ")";
    case CLgNode::AndNode: return "AND(" + Shape(n->First) + "," + Shape(n->Second) + ")";
    case CLgNode::NotNode: return "NOT(" + Shape(n->First) + ")";
    default: return "[" + Show(n->Text) + "]";
  }
}

std::string Shape(const CLgParser& p) { return Shape(p.GetRoot()); }

// Parents point where the children are.
bool Linked(const CLgNode* n) {
  if (!n) return true;
  for (const CLgNode* c : {n->First, n->Second})
    if (c && (c->Parent != n || !Linked(c))) return false;
  return true;
}

AnsiString S(const char* utf8) { return Utf8ToSjis(utf8); }

// A diagram on a recording canvas with a 12-pixel font: single-byte characters 6 pixels wide,
// double-byte ones 12, lines 12 high; so a leaf's cell is its sentence plus 32 pixels wide and 20
// high, and its connecting line runs 10 below the cell's top.
struct Diagram : ::testing::Test {
  TForm form{Application};
  TFlowBox* box = nullptr;
  TRecordingCanvas canvas;

  void SetUp() override {
    box = new TFlowBox(&form);
    box->SetParent(&form);
    box->SetBounds(0, 0, 400, 200);
    canvas.Font()->SetPixelSize(12);
    box->SetMeasureCanvas(&canvas);
  }
  void TearDown() override { box->SetMeasureCanvas(nullptr); }
  void Set(const char* text, const char* fixed = "") { box->SetExpression_a(S(text), S(fixed)); }
  void Click(int x, int y, TShiftState shift = 0, TMouseButton button = mbLeft) {
    box->PaintBox()->PressMouse(button, shift | (button == mbLeft ? ssLeft : ssRight), x, y);
    box->PaintBox()->ReleaseMouse(button, shift, x, y);
  }
  static CLgNode* FindIn(CLgNode* n, const AnsiString& text) {
    if (!n) return nullptr;
    if (n->IsLeaf() && n->Text == text) return n;
    if (CLgNode* f = FindIn(n->First, text)) return f;
    return FindIn(n->Second, text);
  }
  CLgNode* Leaf(const char* text) { return FindIn(box->GetRoot(), S(text)); }
  // Clicks the middle of a leaf's box.
  void ClickLeaf(CLgNode* leaf, TShiftState shift = 0, TMouseButton button = mbLeft) {
    ASSERT_NE(leaf, nullptr);
    Click((leaf->Box.Left + leaf->Box.Right) / 2, (leaf->Box.Top + leaf->Box.Bottom) / 2, shift, button);
  }
  std::vector<std::string> Selection() const {
    std::vector<std::string> out;
    for (int i = 0; i < box->GetSelCount(); ++i) out.push_back(Show(box->GetNodeText(box->GetSelNode(i))));
    return out;
  }
  // The lines drawn, as "x1,y1-x2,y2".
  std::vector<std::string> Lines() {
    canvas.Clear();
    box->PaintNodes(&canvas);
    std::vector<std::string> out;
    for (const auto& op : canvas.Ops)
      if (op.kind == TRecordingCanvas::opLine)
        for (size_t i = 1; i < op.points.size(); ++i)
          out.push_back(std::to_string(op.points[i - 1].x) + "," + std::to_string(op.points[i - 1].y) + "-" +
                        std::to_string(op.points[i].x) + "," + std::to_string(op.points[i].y));
    return out;
  }
  bool Drawn(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// A stand-in for the single-comparison dialog: one edit field and the two buttons.
class TestCondDialog : public TFlowCondDialog {
 public:
  explicit TestCondDialog(TComponent* owner) : TFlowCondDialog(owner) {
    SetCaption(SJ("検索条件"));
    Edit = new TEdit(this);
    Edit->SetParent(this);
    for (auto [caption, result] : {std::pair{"OK", mrOk}, std::pair{"キャンセル", mrCancel}}) {
      auto* b = new TButton(this);
      b->SetParent(this);
      b->SetCaption(Utf8ToSjis(caption));
      b->ModalResult = result;
    }
  }
  void SetConditionText(const AnsiString& text) override {
    Loaded = text;
    Edit->SetText(text);
  }
  AnsiString GetConditionText() override { return Edit->Text(); }
  TEdit* Edit;
  AnsiString Loaded;
};

}  // namespace

// ---- Reading and writing back ----

TEST(FlowParser, ReadsAndWritesBackTheSameTree) {
  struct Case {
    const char* text;
    const char* shape;
    const char* rebuilt;  // null: the text itself
  };
  const Case cases[] = {
      {"A = 1", "[A = 1]", nullptr},
      {"A = 1 AND B = 2 OR C = 3", "OR(AND([A = 1],[B = 2]),[C = 3])", nullptr},
      {"A = 1 AND (B = 2 OR C = 3)", "AND([A = 1],OR([B = 2],[C = 3]))", nullptr},
      {"(A = 1 OR B = 2) AND NOT C LIKE 'x%'", "AND(OR([A = 1],[B = 2]),NOT([C LIKE 'x%']))",
       "(A = 1 OR B = 2) AND NOT (C LIKE 'x%')"},
      {"NOT NOT A = 1", "NOT(NOT([A = 1]))", "NOT (NOT (A = 1))"},
      {"NOT (A = 1 OR B = 2) AND C = 3", "AND(NOT(OR([A = 1],[B = 2])),[C = 3])", nullptr},
      {"(A = 1 OR B = 2) OR C = 3", "OR(OR([A = 1],[B = 2]),[C = 3])", nullptr},
      {"(A = 1 AND B = 2) AND C = 3", "AND(AND([A = 1],[B = 2]),[C = 3])", nullptr},
      {"(A = 1 AND B = 2) OR C = 3", "OR(AND([A = 1],[B = 2]),[C = 3])", "A = 1 AND B = 2 OR C = 3"},
      {"((A = 1))", "[A = 1]", "A = 1"},
      {"a=1 and b<>2 or not c!=3", "OR(AND([a=1],[b<>2]),NOT([c!=3]))", "a=1 AND b<>2 OR NOT (c!=3)"},
      {"  A  =  1\r\n AND\tB = 2  ", "AND([A  =  1],[B = 2])", "A  =  1 AND B = 2"},
      {"name = 'O''Neil AND x' AND n = \"a \"\" b\"", "AND([name = 'O''Neil AND x'],[n = \"a \"\" b\"])", nullptr},
      {"商品.名前 LIKE '%ソ表%' OR 商品.価格 >= -1.5", "OR([商品.名前 LIKE '%ソ表%'],[商品.価格 >= -1.5])", nullptr},
      {"d >= '$(today(\"y\"))' AND __REC__ID__ = 7", "AND([d >= '$(today(\"y\"))'],[__REC__ID__ = 7])", nullptr},
      {"x UNLIKE 'a\\%b%' AND y = .5", "AND([x UNLIKE 'a\\%b%'],[y = .5])", nullptr},
  };
  for (const Case& c : cases) {
    CLgParser first;
    ASSERT_TRUE(first.SetExpression(S(c.text))) << c.text;
    EXPECT_EQ(Shape(first), c.shape) << c.text;
    EXPECT_TRUE(Linked(first.GetRoot())) << c.text;
    const AnsiString rebuilt = first.GetExpression();
    EXPECT_EQ(Show(rebuilt), c.rebuilt ? c.rebuilt : c.text) << c.text;
    CLgParser second;
    ASSERT_TRUE(second.SetExpression(rebuilt)) << c.text;
    EXPECT_EQ(Shape(second), Shape(first)) << c.text;
    EXPECT_EQ(second.GetExpression(), rebuilt) << c.text;
  }
}

TEST(FlowParser, KeepsWhatItCannotReadAsOneLeafWithTheOriginalText) {
  const char* unreadable[] = {
      "A = today()",         // a function call
      "A = $(today)",        // a macro outside quotes
      "A = 1 AND",           // breaks off
      "(A = 1 OR B = 2",     // ")" missing
      "A = 1)",              // surplus ")"
      "NOT",                 //
      "A = 1 OR OR B = 2",   //
      "  A = 1 ; B = 2  ",   // stray token; the blanks are kept too
      "NOT A = 'x",          // a quote left open would swallow what is written after it
  };
  for (const char* text : unreadable) {
    CLgParser p;
    EXPECT_FALSE(p.SetExpression(S(text))) << text;
    ASSERT_NE(p.GetRoot(), nullptr) << text;
    EXPECT_TRUE(p.GetRoot()->IsLeaf()) << text;
    EXPECT_EQ(Show(p.GetExpression()), text) << text;
  }
  // A lead byte without its trail at the end would take a ")" or a blank written after it.
  for (const AnsiString& text : {AnsiString("A = B\x8f"), AnsiString("A = 1 AND B = \x8f")}) {
    CLgParser p;
    EXPECT_FALSE(p.SetExpression(text));
    EXPECT_EQ(p.GetExpression(), text);
  }
  for (const char* blank : {"", "   ", "\r\n\t"}) {
    CLgParser p;
    EXPECT_TRUE(p.SetExpression(blank));
    EXPECT_EQ(p.GetRoot(), nullptr);
    EXPECT_EQ(p.GetExpression(), "");
  }

  // Nesting beyond what is drawn is kept as text as well, however deep.
  for (int depth : {CLgParser::kMaxDepth - 5, CLgParser::kMaxDepth + 5, 200000}) {
    const AnsiString text = AnsiString(depth, '(') + "A = 1" + AnsiString(depth, ')');
    CLgParser p;
    EXPECT_EQ(p.SetExpression(text), depth < CLgParser::kMaxDepth) << depth;
    EXPECT_EQ(p.GetExpression(), depth < CLgParser::kMaxDepth ? "A = 1" : text) << depth;
  }
  AnsiString chain = "A = 0";
  for (int i = 1; i < 100000; ++i) chain += " OR A = " + IntToStr(i);
  CLgParser p;
  EXPECT_FALSE(p.SetExpression(chain));
  EXPECT_EQ(p.GetExpression(), chain);
}

TEST(FlowParser, NegatesByTheOperatorTableAndTakesNotAway) {
  const struct {
    const char* text;
    const char* negated;
  } cases[] = {
      {"A = 1 AND B LIKE 'x%'", "A <> 1 OR B UNLIKE 'x%'"},
      {"A<>1", "A = 1"},
      {"A != 1", "A = 1"},
      {"A < 1 OR A >= 2", "A >= 1 AND A < 2"},
      {"A <= 1 OR A > 2", "A > 1 AND A <= 2"},
      {"A unlike '%x%'", "A LIKE '%x%'"},
      {"t.a   =   'O''Neil'", "t.a <> 'O''Neil'"},
      {"NOT A = 1", "A = 1"},
      {"A = 1 AND NOT (B = 2 OR C = 3)", "A <> 1 OR B = 2 OR C = 3"},
      {"A = 1 AND (B = 2 OR C = 3)", "A <> 1 OR B <> 2 AND C <> 3"},
      // Not exactly one operator: negated by NOT, never left as it was.
      {"A", "NOT (A)"},
      {"A = B = C AND D = 1", "NOT (A = B = C) OR D <> 1"},
      {"A = f(x)", "NOT (A = f(x))"},
  };
  for (const auto& c : cases) {
    CLgParser p;
    p.SetExpression(S(c.text));
    p.Reverse();
    EXPECT_EQ(Show(p.GetExpression()), c.negated) << c.text;
    EXPECT_TRUE(Linked(p.GetRoot())) << c.text;
  }
  // Twice negated: the same condition again.
  CLgParser p;
  p.SetExpression("(A = 1 OR NOT B LIKE 'x%') AND C >= 2");
  p.Reverse();
  p.Reverse();
  EXPECT_EQ(p.GetExpression(), "(A = 1 OR B UNLIKE 'x%') AND C >= 2");
}

TEST(FlowParser, AddsAtTheDeepestCommonNodeAndDeletesLeaves) {
  CLgParser p;
  EXPECT_FALSE(p.AddNode({}, CLgNode::AndNode, "X = 9") && p.GetRoot() == nullptr);
  // On an empty tree the new comparison is the whole tree.
  CLgParser empty;
  ASSERT_TRUE(empty.AddNode({}, CLgNode::AndNode, "X = 9"));
  EXPECT_EQ(empty.GetExpression(), "X = 9");

  p.SetExpression("A = 1 AND (B = 2 OR C = 3)");
  CLgNode* a = p.GetRoot()->First;
  CLgNode* b = p.GetRoot()->Second->First;
  CLgNode* c = p.GetRoot()->Second->Second;
  EXPECT_FALSE(p.AddNode({}, CLgNode::AndNode, "X = 9"));  // nothing selected
  EXPECT_FALSE(p.AddNode({a}, 3, "X = 9"));
  EXPECT_FALSE(p.AddNode({p.GetRoot()}, CLgNode::OrNode, "X = 9"));  // not a leaf
  CLgNode foreign(CLgNode::CompNode, "Z = 0");
  EXPECT_FALSE(p.AddNode({&foreign}, CLgNode::OrNode, "X = 9"));
  EXPECT_EQ(p.GetExpression(), "A = 1 AND (B = 2 OR C = 3)");

  // Both leaves of the OR: the AND takes the OR's place with the OR as its first operand.
  ASSERT_TRUE(p.AddNode({b, c}, CLgNode::AndNode, "D = 4"));
  EXPECT_EQ(Shape(p), "AND([A = 1],AND(OR([B = 2],[C = 3]),[D = 4]))");
  EXPECT_EQ(p.GetExpression(), "A = 1 AND (B = 2 OR C = 3) AND D = 4");
  // Leaves on both sides: the root.
  ASSERT_TRUE(p.AddNode({c, a}, CLgNode::OrNode, "E = 5"));
  EXPECT_EQ(p.GetExpression(), "A = 1 AND (B = 2 OR C = 3) AND D = 4 OR E = 5");
  // One leaf: the leaf itself.
  ASSERT_TRUE(p.AddNode({a}, CLgNode::OrNode, "F = 6"));
  EXPECT_EQ(p.GetExpression(), "(A = 1 OR F = 6) AND (B = 2 OR C = 3) AND D = 4 OR E = 5");
  EXPECT_TRUE(Linked(p.GetRoot()));

  CLgParser q;
  q.SetExpression("A = 1 AND B = 2");
  EXPECT_FALSE(q.DeleteNode(q.GetRoot()));
  EXPECT_FALSE(q.DeleteNode(&foreign));
  ASSERT_TRUE(q.DeleteNode(q.GetRoot()->First));
  EXPECT_EQ(Shape(q), "[B = 2]");
  EXPECT_EQ(q.GetRoot()->Parent, nullptr);
  ASSERT_TRUE(q.DeleteNode(q.GetRoot()));
  EXPECT_EQ(q.GetRoot(), nullptr);
  EXPECT_FALSE(q.DeleteNode(nullptr));

  // A NOT goes with its operand.
  q.SetExpression("A = 1 AND NOT NOT B = 2 OR C = 3");
  ASSERT_TRUE(q.DeleteNode(q.GetRoot()->First->Second->First->First));
  EXPECT_EQ(q.GetExpression(), "A = 1 OR C = 3");
  q.SetExpression("NOT B = 2");
  ASSERT_TRUE(q.DeleteNode(q.GetRoot()->First));
  EXPECT_EQ(q.GetRoot(), nullptr);

  // A text the diagram could not read joins others in parentheses and is negated by NOT.
  q.SetExpression("A = f(1) OR B = 2");
  ASSERT_TRUE(q.AddNode({q.GetRoot()}, CLgNode::AndNode, "C = 3"));
  EXPECT_EQ(q.GetExpression(), "(A = f(1) OR B = 2) AND C = 3");
  q.Reverse();
  EXPECT_EQ(q.GetExpression(), "NOT (A = f(1) OR B = 2) OR C <> 3");
}

// ---- The diagram ----

TEST_F(Diagram, LaysOutRowsAndColumnsAndHitsBoxes) {
  // "A が 1 と等しい" is 90 pixels wide: cells of 122 by 20 from the origin (20, 20).
  Set("A = 1 AND B = 2 OR C = 3");
  CLgNode* a = Leaf("A = 1");
  CLgNode* b = Leaf("B = 2");
  CLgNode* c = Leaf("C = 3");
  EXPECT_EQ(a->Box, Rect(28, 22, 134, 38));
  EXPECT_EQ(b->Box, Rect(160, 22, 266, 38));  // 10 to the right of A's cell
  EXPECT_EQ(c->Box, Rect(28, 52, 134, 68));   // 10 below the row
  EXPECT_EQ(box->GetRoot()->Box, Rect(-1, -1, -1, -1));
  EXPECT_EQ(box->PaintBox()->Width(), box->ClientWidth());  // the diagram fits
  EXPECT_GE(box->PaintBox()->Height(), 80);

  struct Hit {
    int x, y;
    CLgNode* leaf;
  };
  for (const Hit& h : {Hit{28, 22, a}, Hit{133, 37, a}, Hit{134, 30, nullptr}, Hit{133, 38, nullptr},
                       Hit{27, 30, nullptr}, Hit{150, 30, nullptr}, Hit{160, 22, b}, Hit{30, 60, c},
                       Hit{200, 60, nullptr}})
    EXPECT_EQ(box->GetRoot()->HitTest(h.x, h.y), h.leaf) << h.x << "," << h.y;

  const auto lines = Lines();
  EXPECT_TRUE(Drawn(lines, "142,30-152,30"));   // AND: A's cell to B's on the row's line
  EXPECT_TRUE(Drawn(lines, "20,30-20,61"));     // OR, left: down to C's line
  EXPECT_TRUE(Drawn(lines, "142,60-274,60"));   // OR, right: C's line out to the row's end
  EXPECT_TRUE(Drawn(lines, "273,30-273,61"));
  EXPECT_TRUE(Drawn(lines, "10,30-20,30"));     // entry
  EXPECT_TRUE(Drawn(lines, "274,30-284,30"));   // exit, with its arrowhead
  EXPECT_TRUE(Drawn(lines, "280,26-284,30"));
  EXPECT_TRUE(Drawn(lines, "20,30-28,30"));     // into A's box, with its arrowhead
  EXPECT_TRUE(Drawn(lines, "24,26-28,30"));

  // A larger origin moves everything; a wider diagram than the view makes the paint box wider.
  box->SetOrigin(20, 5);
  EXPECT_EQ(a->Box, Rect(28, 7, 134, 23));
  box->SetBounds(0, 0, 150, 200);
  EXPECT_EQ(box->PaintBox()->Width(), 294);
  EXPECT_TRUE(box->HorzScrollBar()->IsScrollBarVisible());
}

TEST_F(Diagram, DrawsNotAsAFrameAroundItsOperandOnTheRowsLine) {
  Set("X = 1 AND NOT A = 1");
  // NOT is 18 wide: its frame holds the word, 4 pixels, and the operand's cell, 5 below its top;
  // the row's line moves down to the operand's, and X's box with it.
  EXPECT_EQ(Leaf("X = 1")->Box, Rect(28, 27, 134, 43));
  EXPECT_EQ(Leaf("A = 1")->Box, Rect(196, 27, 302, 43));
  canvas.Clear();
  box->PaintNodes(&canvas);
  const auto* word = canvas.FindText("NOT");
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(word->rect.Left, 166);
  EXPECT_EQ(word->rect.Top, 29);
  bool frame = false;
  for (const auto& op : canvas.Ops)
    frame |= op.kind == TRecordingCanvas::opRoundRect && op.rect == Rect(160, 22, 310, 48) && op.brushStyle == bsClear;
  EXPECT_TRUE(frame);
  const auto lines = Lines();
  EXPECT_TRUE(Drawn(lines, "142,35-152,35"));
  // Clicking inside the frame but outside the box selects nothing.
  ClickLeaf(Leaf("A = 1"));
  EXPECT_EQ(Selection(), std::vector<std::string>{"A = 1"});
  Click(170, 45);
  EXPECT_TRUE(Selection().empty());
}

TEST_F(Diagram, SaysEachComparisonAsASentenceInColouredPieces) {
  const struct {
    const char* text;
    std::vector<const char*> pieces;
  } cases[] = {
      {"c LIKE 'ab%'", {"c", " が ", "ab", " で始まる"}},
      {"c = 'O''Neil'", {"c", " が ", "O'Neil", " と等しい"}},
      {"c like '%a\\%b%'", {"c", " が ", "a%b", " を含む"}},
      {"c >= 10", {"c", " >= ", "10"}},
      {"c > x", {"c", " > ", "x"}},
      {"c <= -1.5", {"c", " <= ", "-1.5"}},
      {"c < 'z'", {"c", " < ", "z"}},
      {"c UNLIKE 'ab%'", {"c", " が ", "ab", " で始まらない"}},
      {"c != 1", {"c", " が ", "1", " と等しくない"}},
      {"c unlike '%ソ%'", {"c", " が ", "ソ", " を含まない"}},
      {"T.c = 1", {"c", " が ", "1", " と等しい"}},         // the default table
      {"U.c = 1", {"U.", "c", " が ", "1", " と等しい"}},   // another table keeps its part
      // What the sentence cannot say is shown as written.
      {"c LIKE 'abc'", {"c LIKE 'abc'"}},
      {"c LIKE 'a%b%'", {"c LIKE 'a%b%'"}},
      {"c = 1 2", {"c = 1 2"}},
      {"1 = c", {"1 = c"}},
      {"c = f(1)", {"c = f(1)"}},
      {"c = 'a\r\nb'", {"c", " が ", "a  b", " と等しい"}},
  };
  for (const auto& c : cases) {
    Set(c.text);
    box->SetDefTableName("T");
    canvas.Clear();
    box->PaintNodes(&canvas);
    std::vector<AnsiString> want;
    for (const char* p : c.pieces) want.push_back(S(p));
    EXPECT_EQ(canvas.Texts(), want) << c.text;
  }

  // Colours: the table part green, the value blue; selected: yellow, aqua and the highlight's text.
  Set("U.c LIKE '%x%'");
  canvas.Clear();
  box->PaintNodes(&canvas);
  EXPECT_EQ(canvas.FindText("U.")->color, clGreen);
  EXPECT_EQ(canvas.FindText("c")->color, clWindowText);
  EXPECT_EQ(canvas.FindText("x")->color, clBlue);
  ClickLeaf(box->GetRoot());
  canvas.Clear();
  box->PaintNodes(&canvas);
  EXPECT_EQ(canvas.FindText("U.")->color, clYellow);
  EXPECT_EQ(canvas.FindText("c")->color, clHighlightText);
  EXPECT_EQ(canvas.FindText("x")->color, clAqua);
  EXPECT_EQ(canvas.FindText("U.")->rect.Left, 36);  // x + 16
  EXPECT_EQ(canvas.FindText("c")->rect.Left, 48);

  // A huge value is cut for the box; the condition keeps it whole.
  const AnsiString value(5000, 'v');
  box->SetExpression("c = '" + value + "'");
  EXPECT_LT(box->GetRoot()->Box.Width(), 1000);
  EXPECT_EQ(box->GetExpression(), "c = '" + value + "'");
}

TEST_F(Diagram, SelectsWithClicksCtrlAndKeepsTheSelectionForThePopup) {
  TPopupMenu menu(&form);
  box->SetPopupMenu(&menu);
  int popups = 0;
  menu.OnPopup = [&](TObject*) { ++popups; };
  Set("A = 1 AND B = 2 OR C = 3");
  CLgNode* a = Leaf("A = 1");
  CLgNode* b = Leaf("B = 2");
  CLgNode* c = Leaf("C = 3");
  ClickLeaf(a);
  ClickLeaf(b);
  EXPECT_EQ(Selection(), std::vector<std::string>{"B = 2"});
  ClickLeaf(c, ssCtrl);
  ClickLeaf(a, ssCtrl);
  EXPECT_EQ(Selection(), (std::vector<std::string>{"B = 2", "C = 3", "A = 1"}));
  ClickLeaf(c, ssCtrl);
  EXPECT_EQ(Selection(), (std::vector<std::string>{"B = 2", "A = 1"}));
  // A right click keeps a selection, even on another box, and opens the menu.
  ClickLeaf(c, 0, mbRight);
  EXPECT_EQ(Selection(), (std::vector<std::string>{"B = 2", "A = 1"}));
  EXPECT_EQ(popups, 1);
  Click(300, 150);
  EXPECT_TRUE(Selection().empty());
  // Without a selection a right click selects the box under the pointer.
  ClickLeaf(c, 0, mbRight);
  EXPECT_EQ(Selection(), std::vector<std::string>{"C = 3"});

  // The selected box is drawn in the highlight colour.
  canvas.Clear();
  box->PaintNodes(&canvas);
  int highlighted = 0;
  for (const auto& op : canvas.Ops)
    if (op.kind == TRecordingCanvas::opRoundRect) highlighted += op.brush == clHighlight;
  EXPECT_EQ(highlighted, 1);
}

TEST_F(Diagram, ShowsTheFixedConditionBesideAndNeverSelectsOrWritesIt) {
  Set("A = 1", "T.k = U.k");
  EXPECT_EQ(box->GetExpression(), "A = 1");
  canvas.Clear();
  box->PaintNodes(&canvas);
  std::vector<TRect> fixed, own;
  for (const auto& op : canvas.Ops)
    if (op.kind == TRecordingCanvas::opRoundRect) (op.brush == static_cast<TColor>(0xFFCCCC) ? fixed : own).push_back(op.rect);
  ASSERT_EQ(fixed.size(), 1u);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(fixed[0].Left, 160);  // to the right of the first, joined by AND
  EXPECT_TRUE(Drawn(Lines(), "142,30-152,30"));

  ClickLeaf(box->GetRoot());
  EXPECT_EQ(Selection(), std::vector<std::string>{"A = 1"});
  Click(fixed[0].Left + 5, fixed[0].Top + 5);
  EXPECT_TRUE(Selection().empty());
  EXPECT_FALSE(box->AddOrNode("B = 2"));  // the first tree is not empty and nothing is selected
}

TEST_F(Diagram, AddsDeletesNegatesAndCopies) {
  Set("A = 1 OR B = 2");
  EXPECT_FALSE(box->AddAndNode("C = 3"));  // nothing selected
  ClickLeaf(Leaf("A = 1"));
  ClickLeaf(Leaf("B = 2"), ssCtrl);
  EXPECT_FALSE(box->AddAndNode("  "));
  ASSERT_TRUE(box->AddAndNode("C = 3"));
  EXPECT_EQ(box->GetExpression(), "(A = 1 OR B = 2) AND C = 3");
  EXPECT_EQ(Leaf("C = 3")->Box.Left, Leaf("A = 1")->Box.Right + 26);  // laid out again at once
  EXPECT_EQ(box->GetSelCount(), 2);

  // Deleting a selected leaf takes it out of the selection; a node that is no leaf of the first
  // tree is refused.
  EXPECT_FALSE(box->DeleteNode(box->GetRoot()));
  ASSERT_TRUE(box->DeleteNode(Leaf("A = 1")));
  EXPECT_EQ(Selection(), std::vector<std::string>{"B = 2"});
  EXPECT_EQ(box->GetExpression(), "B = 2 AND C = 3");

  ASSERT_TRUE(box->SetNodeText(Leaf("C = 3"), "C LIKE 'x%'"));
  EXPECT_FALSE(box->SetNodeText(box->GetRoot(), "D = 4"));
  EXPECT_FALSE(box->SetNodeText(Leaf("B = 2"), ""));
  box->ReverseExpression();
  EXPECT_EQ(box->GetExpression(), "B <> 2 OR C UNLIKE 'x%'");
  EXPECT_EQ(Selection(), std::vector<std::string>{"B <> 2"});  // leaves stay selected

  // The copy buffer is shared by every diagram; an empty buffer pastes nothing.
  TFlowBox other(&form);
  other.SetMeasureCanvas(&canvas);
  TFlowBox::ClearCopyBuffer();
  other.SetExpression("Z = 0");
  other.PasteExpression();
  EXPECT_EQ(other.GetExpression(), "Z = 0");
  box->CopyExpression();
  other.PasteExpression();
  EXPECT_EQ(other.GetExpression(), "B <> 2 OR C UNLIKE 'x%'");
  TFlowBox::ClearCopyBuffer();
  other.SetMeasureCanvas(nullptr);

  // A condition the diagram cannot read is shown as one box and comes back whole.
  EXPECT_FALSE(box->SetExpression("A = today() OR B = 2"));
  EXPECT_EQ(box->GetExpression(), "A = today() OR B = 2");
  canvas.Clear();
  box->PaintNodes(&canvas);
  EXPECT_EQ(canvas.Texts(), std::vector<AnsiString>{"A = today() OR B = 2"});
  ClickLeaf(box->GetRoot());
  ASSERT_TRUE(box->AddAndNode("C = 3"));
  EXPECT_EQ(box->GetExpression(), "(A = today() OR B = 2) AND C = 3");

  ASSERT_TRUE(box->DeleteNode(Leaf("C = 3")));
  ASSERT_TRUE(box->DeleteNode(box->GetRoot()));
  EXPECT_EQ(box->GetExpression(), "");
  EXPECT_EQ(box->GetSelCount(), 0);
  ASSERT_TRUE(box->AddOrNode("N = 1"));  // an empty diagram takes the comparison whole
  EXPECT_EQ(box->GetExpression(), "N = 1");
}

TEST_F(Diagram, EditsAndAddsThroughTheComparisonDialog) {
  Set("A = 1 AND B = 2");
  TestCondDialog dialog(&form);
  int runs = 0;
  AnsiString answer;
  const char* button = "OK";
  ModalHandlerScope modal([&](TForm* f) {
    ++runs;
    auto* d = dynamic_cast<TestCondDialog*>(f);
    ASSERT_NE(d, nullptr);
    d->Edit->SetText(answer);
    ASSERT_TRUE(PressButton(f, Utf8ToSjis(button)));
  });

  EXPECT_FALSE(EditFlowNode(box, &dialog));  // nothing selected: no dialog
  EXPECT_EQ(runs, 0);
  ClickLeaf(Leaf("B = 2"));
  answer = "B LIKE 'q%'";
  ASSERT_TRUE(EditFlowNode(box, &dialog));
  EXPECT_EQ(dialog.Loaded, "B = 2");
  EXPECT_EQ(box->GetExpression(), "A = 1 AND B LIKE 'q%'");

  answer = "";  // an empty answer changes nothing
  EXPECT_FALSE(EditFlowNode(box, &dialog));
  button = "キャンセル";
  answer = "B = 9";
  EXPECT_FALSE(EditFlowNode(box, &dialog));
  EXPECT_FALSE(AddFlowNode(box, &dialog, CLgNode::OrNode));
  EXPECT_EQ(box->GetExpression(), "A = 1 AND B LIKE 'q%'");

  button = "OK";
  answer = "C = 3";
  ASSERT_TRUE(AddFlowNode(box, &dialog, CLgNode::OrNode));
  EXPECT_EQ(box->GetExpression(), "A = 1 AND (B LIKE 'q%' OR C = 3)");
  EXPECT_EQ(runs, 5);
}

TEST(FlowBox, TakesOverAPlaceholderScrollBox) {
  TForm form(Application);
  TPopupMenu menu(&form);
  auto* holder = new TScrollBox(&form);
  holder->Name = "ScrollBox1";
  holder->SetParent(&form);
  holder->SetBounds(5, 100, 300, 80);
  holder->SetBorderStyle(bsNone);
  holder->SetColor(clWindow);
  holder->SetPopupMenu(&menu);
  holder->Hint = "hint";
  std::vector<std::string> log;
  holder->OnClick = [&](TObject* s) { log.push_back(s == holder ? "click:holder" : "click:other"); };
  holder->OnDblClick = [&](TObject* s) { log.push_back("dbl"); };

  auto* box = new TFlowBox(Application);
  box->Assign(&form);  // not a scroll box: ignored
  EXPECT_EQ(box->Parent(), nullptr);
  box->Assign(holder);
  EXPECT_EQ(box->Name, "ScrollBox1FB");
  EXPECT_EQ(box->Parent(), &form);
  EXPECT_EQ(box->Left(), 5);
  EXPECT_EQ(box->Top(), 100);
  EXPECT_EQ(box->Width(), 300);
  EXPECT_EQ(box->BorderStyle(), bsNone);
  EXPECT_EQ(box->Color(), clWindow);
  EXPECT_EQ(box->PopupMenu(), &menu);
  EXPECT_EQ(box->Hint, "hint");
  EXPECT_EQ(box->PaintBox()->Width(), 300);
  delete holder;
  holder = nullptr;

  // Clicks on the paint box reach the taken-over handlers with the diagram as sender.
  TFlowBox* sender = nullptr;
  box->OnClick = [&](TObject* s) { sender = dynamic_cast<TFlowBox*>(s); };
  box->PaintBox()->PressMouse(mbLeft, ssLeft, 3, 3);
  box->PaintBox()->ReleaseMouse(mbLeft, 0, 3, 3);
  EXPECT_EQ(sender, box);
  box->PaintBox()->PressMouse(mbLeft, ssLeft, 3, 3, true);
  EXPECT_EQ(log, std::vector<std::string>{"dbl"});

  // The wheel does not scroll the diagram.
  AnsiString tall = "A = 0";
  for (int i = 1; i < 30; ++i) tall += " OR A = " + IntToStr(i);
  box->SetExpression(tall);
  ASSERT_TRUE(box->VertScrollBar()->IsScrollBarVisible());
  box->TurnWheel(0, -120, 10, 10);
  box->PaintBox()->TurnWheel(0, -120, 10, 10);
  EXPECT_EQ(box->VertScrollBar()->Position(), 0);
  delete box;  // the application owns it
}

// The diagram as the user sees it, against a picture kept with the tests: a row of two boxes, the
// first selected. CW_UPDATE_REFERENCE=1 writes the picture anew (look at it before keeping it).
TEST(FlowBox, DrawsASelectedBoxAsTheReferencePicture) {
  ASSERT_TRUE(JapaneseFontInstalled()) << "install fonts-ipafont-gothic";
  TForm form(Application);
  auto* box = new TFlowBox(&form);
  box->SetParent(&form);
  box->SetBorderStyle(bsNone);
  box->SetColor(clWindow);
  box->SetBounds(0, 0, 330, 44);
  box->SetOrigin(20, 5);
  box->SetExpression(Utf8ToSjis("A = 1 AND 商品.名前 LIKE 'ソ%'"));
  const CLgNode* first = box->GetRoot()->First;
  box->PaintBox()->PressMouse(mbLeft, ssLeft, first->Box.Left + 3, first->Box.Top + 3);
  box->PaintBox()->ReleaseMouse(mbLeft, 0, first->Box.Left + 3, first->Box.Top + 3);
  ASSERT_EQ(box->GetSelCount(), 1);
  const TBitmap image = box->PaintBox()->PaintToImage();
  ASSERT_EQ(image.Width(), 330);
  ASSERT_EQ(image.Height(), 44);

  // Whatever the font: the selected box is filled with the highlight colour, the other with the
  // window's, and the connecting lines are black.
  const TRect a = box->GetRoot()->First->Box, b = box->GetRoot()->Second->Box;
  EXPECT_EQ(image.Pixel(a.Left + 3, a.Top + 3), ColorToRGB(clHighlight));
  EXPECT_EQ(image.Pixel(b.Left + 3, b.Top + 3), 0xFFFFFFu);
  EXPECT_EQ(image.Pixel(a.Right + 4, (a.Top + a.Bottom) / 2), 0u);

  const char* dataDir = getenv("CW_TEST_DATA");
  ASSERT_NE(dataDir, nullptr);
  const std::string path = std::string(dataDir) + "/data/flowbox_selected.png";
  if (getenv("CW_UPDATE_REFERENCE")) {
    ASSERT_TRUE(image.SaveToFile(path));
  }
  TBitmap reference;
  ASSERT_TRUE(reference.LoadFromFile(path)) << path;
  ASSERT_EQ(reference.Width(), image.Width());
  ASSERT_EQ(reference.Height(), image.Height());
  // Glyph edges may differ a little between font renderer versions; shapes and colours may not.
  int differing = 0;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const uint32_t p = image.Pixel(x, y), q = reference.Pixel(x, y);
      for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) > 64) {
          ++differing;
          break;
        }
    }
  EXPECT_LE(differing, image.Width() * image.Height() / 200) << "see " << path;
}
