// The condition diagram: a condition text read into a tree of AND, OR and NOT nodes over single
// comparisons, drawn as boxes (AND: boxes in a row; OR: rows stacked and joined by lines; NOT: a
// frame around its operand) and edited by mouse and commands. The text rebuilt from the tree reads
// back into the same tree.
//
// A text the diagram cannot read (a function call in a value, a surplus parenthesis) is never
// dropped: it becomes one comparison leaf holding the text as it stands, shown as it stands and
// written back in parentheses when it is joined to others. An empty text means "every record", so
// losing a condition would widen a listing.
//
// User-interface thread only; the parser classes are plain objects any thread may use.
#pragma once

#include <vector>

#include "foundation/Lexer.h"
#include "platform/AnsiString.h"
#include "platform/ExtCtrls.h"

// ---- Tokens ----

// Tokenizer over one condition text, with the token kinds of CLexer (LEX_END, LEX_COMPARE,
// LEX_STRING, LEX_NUMBER, LEX_NAME, LEX_AND, LEX_OR, LEX_NOT; any other character is a token whose
// kind is its byte). Unlike CLexer it keeps every token as written (a string with its quotes) and
// reports where each token starts, so that a comparison can be cut out of the source unchanged.
// The text must outlive the tokenizer.
class CLgLexer {
 public:
  explicit CLgLexer(const AnsiString& text) : text_(text) {}
  void NextToken();
  int Kind = LEX_END;
  AnsiString Token;
  size_t Start = 0;  // first byte of the current token (at the end: where the blanks began)
  size_t Pos = 0;    // byte after the current token
  bool Unclosed = false;  // the current token is a string that runs to the end of the text

 private:
  const AnsiString& text_;
};

// ---- Tree ----

// One node of a condition tree. A node owns its children; deleting it deletes them.
class CLgNode {
 public:
  enum : int { OrNode = 1, AndNode = 2, NotNode = 3, CompNode = 4 };

  CLgNode(int kind, const AnsiString& text = AnsiString()) : Kind(kind), Text(text) {}
  ~CLgNode();
  CLgNode(const CLgNode&) = delete;
  CLgNode& operator=(const CLgNode&) = delete;

  // The condition text of the subtree: a leaf's text; "a AND b"; "a OR b", in parentheses under
  // an AND or as the first operand of another OR (so it reads back the same); "NOT (a)". A leaf
  // whose text is not one plain comparison stands in parentheses under another node.
  AnsiString GetExpression() const;
  // The leaf whose box holds the point (left and top inclusive), a node before its first subtree
  // and the first subtree before the second; null when none.
  CLgNode* HitTest(int x, int y);
  // Sets the flag of the node and every node below it.
  void SetFlag(int flag);
  bool IsLeaf() const { return Kind == CompNode; }

  int Kind;
  AnsiString Text;  // a leaf's comparison as it stands in the source, without the blanks after it
  CLgNode* Parent = nullptr;
  CLgNode* First = nullptr;   // OR, AND: both operands; NOT: its operand
  CLgNode* Second = nullptr;
  TRect Box{-1, -1, -1, -1};  // a leaf's box once laid out; (-1, -1, -1, -1) for the others
  int Flag = 0;               // 1: a node of the fixed second condition

  // Layout of the diagram (TFlowBox): the node's cell size and the offset of its connecting line
  // from the cell's top, measured before the cells are placed.
  TSize Extent;
  int Mid = 0;
};

// One condition tree, read from a text and edited in place.
class CLgParser {
 public:
  CLgParser() = default;
  ~CLgParser();
  CLgParser(const CLgParser&) = delete;
  CLgParser& operator=(const CLgParser&) = delete;

  // Deeper nesting than this (parentheses, NOT, chained AND and OR) is not drawn; such a text is
  // kept as one leaf.
  static constexpr int kMaxDepth = 400;

  // Reads text into the tree, freeing the old one. True with the text's tree, or with an empty
  // tree for a text of nothing but blanks. False for any text that is not one whole expression;
  // the tree is then one leaf holding the text as it stands.
  bool SetExpression(const AnsiString& text);
  CLgNode* GetRoot() const { return root_; }
  // The text rebuilt from the tree; "" for an empty tree.
  AnsiString GetExpression() const;
  void SetFlag(int flag);
  // Negates the tree: AND and OR exchanged with their operands negated, a NOT taken away, a
  // comparison's operator replaced by its opposite; a leaf that holds other than exactly one
  // comparison operator gets a NOT. Leaves keep their identity (a selection stays valid).
  void Reverse();
  // Removes a leaf of this tree: its sibling takes its parent's place, and a NOT left without its
  // operand goes with it. False for a node that is not a leaf of this tree.
  bool DeleteNode(CLgNode* node);
  // Joins a new leaf with text to the selected leaves by kind (OR or AND): the new node takes the
  // place of the deepest node common to every selected leaf, which becomes its first operand and
  // the new leaf its second. On an empty tree the leaf becomes the tree. False, changing nothing,
  // with an empty selection on a non-empty tree, a kind other than OR or AND, or a selected node
  // that is not a leaf of this tree.
  bool AddNode(const std::vector<CLgNode*>& selected, int kind, const AnsiString& text);
  // Whether node belongs to this tree.
  bool Contains(const CLgNode* node) const;

 private:
  void Replace(CLgNode* old, CLgNode* now);
  CLgNode* root_ = nullptr;
};

// Whether text is one comparison of plain tokens (names, strings, numbers, operators), which can
// stand between AND and OR without parentheses.
bool IsPlainComparison(const AnsiString& text);

// ---- The diagram ----

// A scroll box holding a paint box on which the diagram is drawn. The first tree is the condition
// being edited; a second, fixed condition (a join that the listing needs) may be shown beside it,
// in light blue, joined by AND, never selectable and never part of GetExpression.
class TFlowBox : public TScrollBox {
 public:
  explicit TFlowBox(TComponent* owner);
  ~TFlowBox() override;

  // From a scroll box: takes its place and look (name with "FB" appended, parent, alignment,
  // border, colour, font, cursor, bounds, visibility, scroll bars, popup menu, hint, mouse and drag
  // handlers). Any other source is ignored.
  void Assign(const TPersistent* source) override;

  bool SetExpression(const AnsiString& text) { return SetExpression_a(text, AnsiString()); }
  // Empties the selection and the default table name, reads both trees and draws them. True when
  // both texts were read.
  bool SetExpression_a(const AnsiString& text, const AnsiString& fixedText);
  AnsiString GetExpression() const { return tree_.GetExpression(); }
  // The root of the edited condition's tree (null when it is empty).
  CLgNode* GetRoot() const { return tree_.GetRoot(); }
  // Columns of this table are shown without their table part (set after SetExpression_a).
  void SetDefTableName(const AnsiString& table);

  int GetSelCount() const { return static_cast<int>(selection_.size()); }
  CLgNode* GetSelNode(int index) const;
  AnsiString GetNodeText(const CLgNode* node) const;
  // Replaces a leaf's comparison; false for a node that is not a leaf of the first tree or a
  // blank text.
  bool SetNodeText(CLgNode* node, const AnsiString& text);
  bool AddAndNode(const AnsiString& text) { return AddNode(CLgNode::AndNode, text); }
  bool AddOrNode(const AnsiString& text) { return AddNode(CLgNode::OrNode, text); }
  bool DeleteNode(CLgNode* node);
  void ReverseExpression();
  // The copy buffer is shared by every diagram of the program.
  void CopyExpression();
  void PasteExpression();
  static void ClearCopyBuffer();

  // Where the diagram starts in the paint box (20, 20 at first).
  void SetOrigin(int x, int y);
  TPaintBox* PaintBox() const { return paintBox_; }
  // Lays out and draws the whole diagram on canvas.
  void PaintNodes(TCanvas* canvas);
  // Measures and draws on this canvas instead of the paint box's (null: the paint box's again);
  // tests lay the diagram out with a known text measure.
  void SetMeasureCanvas(TCanvas* canvas);

  void SetBounds(int left, int top, int width, int height) override;

 protected:
  // A new font makes new boxes.
  void FontChanged() override;
  // The wheel never scrolls the diagram.
  bool DoMouseWheel(TShiftState shift, int delta, TPoint mousePos) override { return true; }

 private:
  struct TCell {
    TRect rect;
    int mid = 0;  // y of the connecting line
  };
  bool AddNode(int kind, const AnsiString& text);
  CLgNode* GetTopNode();
  TCanvas* MeasureCanvas();
  int CentreLine(TCanvas* canvas);
  void Measure(TCanvas* canvas, CLgNode* node);
  TCell DrawNode(TCanvas* canvas, CLgNode* node, int x, int y);
  TCell PrintNode(TCanvas* canvas, CLgNode* node, int x, int y);
  TCell PrintNot(TCanvas* canvas, CLgNode* node, int x, int y);
  TSize PrintNodeStr(TCanvas* canvas, CLgNode* node, int x, int y, bool draw);
  void ConnectAnd(TCanvas* canvas, const TCell& a, const TCell& b);
  void ConnectOr(TCanvas* canvas, const TCell& a, const TCell& b);
  void Arrow(TCanvas* canvas, int x, int y);
  void Line(TCanvas* canvas, int x1, int y1, int x2, int y2);
  void SetCanvasSize();
  void Changed();
  bool Selected(const CLgNode* node) const;
  // The paint box's events; a click or double click is the diagram's own, with the diagram as
  // sender.
  void PaintBoxPaint(TObject* sender);
  void PaintBoxMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void PaintBoxClick(TObject* sender);
  void PaintBoxDblClick(TObject* sender);

  CLgParser tree_;
  CLgParser fixed_;
  int originX_ = 20, originY_ = 20;
  int rowGap_ = 10, columnGap_ = 10;
  int outerMarginX_ = 8, innerMarginX_ = 8, outerMarginY_ = 2, innerMarginY_ = 2;
  int centre_ = 0;
  bool drawing_ = true;
  TPaintBox* paintBox_ = nullptr;
  std::vector<CLgNode*> selection_;
  CLgNode joinNode_{CLgNode::AndNode};
  AnsiString defTableName_;
  TCanvas* measureCanvas_ = nullptr;
};

// What the diagram's edit commands need of the single-comparison dialog (its unit derives the
// dialog from this): a comparison loaded, a modal run, the comparison read back.
class TFlowCondDialog : public TForm {
 public:
  explicit TFlowCondDialog(TComponent* owner) : TForm(owner) {}
  virtual void SetConditionText(const AnsiString& text) = 0;
  virtual AnsiString GetConditionText() = 0;
  // The columns the dialog offers and the one it shows (the folder's display columns, own table's
  // without their table part); a dialog without a column list ignores them.
  virtual void SetFieldList(const TStrings& fields, const AnsiString& field) {}
};

// The diagram's edit command (its menus and its double click): with a leaf selected, the first
// selected comparison is loaded into the dialog and, when the dialog ends with OK and a non-empty
// text, replaced by it. True when the diagram changed.
bool EditFlowNode(TFlowBox* box, TFlowCondDialog* dialog);
// The add commands: the dialog is run with the inputs the caller left in it; on OK with a
// non-empty text the comparison is joined to the selection by kind (CLgNode::AndNode or OrNode).
// True when the diagram changed.
bool AddFlowNode(TFlowBox* box, TFlowCondDialog* dialog, int kind);
