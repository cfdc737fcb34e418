// The condition diagram control: layout, drawing, selection and the edit commands.
//
// Layout. A leaf's cell is its sentence plus 8 + 8 pixels of outer and inner margin on each side
// horizontally and 2 + 2 vertically; its box lies inside the outer margin and the sentence inside
// both. AND places its operands in a row 10 pixels apart, OR stacks them 10 pixels apart, NOT puts
// a frame with the word "NOT" around its operand. Every cell has a connecting line (its "mid"):
// a leaf's runs through the middle of its box; a row of AND operands is aligned on one line, so a
// taller NOT frame in a row moves its neighbours down rather than bending the line. Without NOT
// every mid lies the centre line below its row's top.
//
// Sizes are measured bottom-up first (CLgNode::Extent and Mid), then the cells are placed top-down
// in one pass, so the work grows with the number of nodes only.
#include "folders/FlowBox.h"

#include <algorithm>
#include <array>

#include "foundation/CapInfo.h"
#include "query/CondText.h"

namespace {

constexpr TColor kFixedColour = static_cast<TColor>(0xFFCCCC);  // light blue (BGR)
constexpr int kCorner = 10;
// A NOT frame: the word stands kNotIndent inside the frame's left edge and kNotGap before the
// operand's cell, which lies kNotPadY inside the frame's top and bottom and ends at its right.
constexpr int kNotIndent = 6, kNotGap = 4, kNotPadY = 3;
// A piece of a sentence longer than this is cut and ends in an ellipsis: a huge value or an
// unreadable condition of many kilobytes would otherwise make a box of millions of pixels.
constexpr size_t kShownBytes = 128;

AnsiString& CopyBuffer() {
  static AnsiString buffer;
  return buffer;
}

const AnsiString& NotWord() {
  static const AnsiString word = "NOT";
  return word;
}

// Text fit for one line of a box: line breaks and tabs shown as blanks, a long text cut.
AnsiString Shown(const AnsiString& text) {
  AnsiString out = text.size() > kShownBytes ? CutTextBytes(text) + SJ("…") : text;
  for (char& c : out)
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  return out;
}

// Whether a LIKE pattern (its content) is one of the forms the sentence names: "v%" or "%v%"
// with no other wildcard. Any other pattern is shown as written.
bool IsSentencePattern(const AnsiString& pattern) {
  std::vector<size_t> wildcards;
  size_t last = AnsiString::npos;
  for (size_t i = 0; i < pattern.size();) {
    last = i;
    const unsigned char c = static_cast<unsigned char>(pattern[i]);
    if (IsSjisLeadByte(c) && i + 1 < pattern.size()) {
      i += 2;
      continue;
    }
    if (c == '\\') {
      i += 2;
      continue;
    }
    if (c == '%') wildcards.push_back(i);
    ++i;
  }
  if (wildcards.empty() || wildcards.back() != last || last == AnsiString::npos) return false;
  return wildcards.size() == 1 || (wildcards.size() == 2 && wildcards.front() == 0 && last > 0);
}

// Whether a leaf reads as one comparison the sentence can say: a column, an operator and a value,
// nothing more (a LIKE with one of the patterns above).
bool IsSentence(const AnsiString& text) {
  if (text.find('\0') != AnsiString::npos) return false;
  CLexer lexer(text.c_str());
  lexer.NextToken();
  if (lexer.Kind != LEX_NAME) return false;
  lexer.NextToken();
  if (lexer.Kind != LEX_COMPARE) return false;
  const AnsiString op = UpperCase(lexer.Token);
  lexer.NextToken();
  const int valueKind = lexer.Kind;
  const AnsiString value = lexer.Token;
  if (valueKind != LEX_STRING && valueKind != LEX_NAME && valueKind != LEX_NUMBER) return false;
  lexer.NextToken();
  if (lexer.Kind != LEX_END) return false;
  if (op == "LIKE" || op == "UNLIKE") return IsSentencePattern(value);
  return true;
}

// What a sentence says around the value, by the operator code of SplitCondition: the words
// between the column and the value, and the words after the value.
const std::array<std::array<AnsiString, 2>, 10>& SentenceWords() {
  static const char* const utf8[10][2] = {
      {" が ", " で始まる"}, {" が ", " と等しい"}, {" が ", " を含む"}, {" >= ", ""}, {" > ", ""},
      {" <= ", ""},         {" < ", ""},          {" が ", " で始まらない"}, {" が ", " と等しくない"},
      {" が ", " を含まない"}};
  static const auto words = [] {
    std::array<std::array<AnsiString, 2>, 10> out;
    for (int i = 0; i < 10; ++i)
      for (int j = 0; j < 2; ++j) out[i][j] = Utf8ToSjis(utf8[i][j]);
    return out;
  }();
  return words;
}

struct TPiece {
  AnsiString text;
  TColor colour, selectedColour;
};

}  // namespace

// ---- TFlowBox ----

TFlowBox::TFlowBox(TComponent* owner) : TScrollBox(owner) {
  paintBox_ = new TPaintBox(this);
  paintBox_->SetParent(this);
  paintBox_->SetBounds(0, 0, ClientWidth(), ClientHeight());
  paintBox_->SetPopupMenu(PopupMenu());
  paintBox_->OnPaint = [this](TObject* s) { PaintBoxPaint(s); };
  paintBox_->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState shift, int x, int y) {
    PaintBoxMouseDown(s, b, shift, x, y);
  };
  paintBox_->OnClick = [this](TObject* s) { PaintBoxClick(s); };
  paintBox_->OnDblClick = [this](TObject* s) { PaintBoxDblClick(s); };
  HorzScrollBar()->SetTracking(true);
  VertScrollBar()->SetTracking(true);
}

TFlowBox::~TFlowBox() {
  // The joining node only borrows the roots of the two trees.
  joinNode_.First = joinNode_.Second = nullptr;
}

void TFlowBox::Assign(const TPersistent* source) {
  auto* box = dynamic_cast<TScrollBox*>(const_cast<TPersistent*>(source));
  if (!box) return;
  Name = box->Name + "FB";
  SetBorderStyle(box->BorderStyle());
  SetCursor(box->Cursor());
  SetEnabled(box->Enabled());
  for (bool horizontal : {true, false}) {
    TControlScrollBar* from = horizontal ? box->HorzScrollBar() : box->VertScrollBar();
    TControlScrollBar* to = horizontal ? HorzScrollBar() : VertScrollBar();
    to->SetVisible(from->Visible());
    to->SetTracking(from->Tracking());
    to->Increment = from->Increment;
  }
  SetPopupMenu(box->PopupMenu());
  Hint = box->Hint;
  ShowHint = box->ShowHint;
  TabStop = box->TabStop;
  SetVisible(box->Visible());
  SetAutoScroll(box->AutoScroll());
  SetBounds(box->Left(), box->Top(), box->Width(), box->Height());
  SetParent(box->Parent());
  SetAlign(box->Align());
  Font()->Assign(*box->Font());
  if (box->ParentFont()) SetParentFont(true);
  SetColor(box->Color());
  if (box->ParentColor()) SetParentColor(true);
  OnClick = box->OnClick;
  OnDblClick = box->OnDblClick;
  OnMouseDown = box->OnMouseDown;
  OnMouseMove = box->OnMouseMove;
  OnMouseUp = box->OnMouseUp;
  OnDragOver = box->OnDragOver;
  OnDragDrop = box->OnDragDrop;
  SetCanvasSize();
}

bool TFlowBox::SetExpression_a(const AnsiString& text, const AnsiString& fixedText) {
  selection_.clear();
  defTableName_.clear();
  const bool first = tree_.SetExpression(text);
  const bool second = fixed_.SetExpression(fixedText);
  fixed_.SetFlag(1);
  Changed();
  return first && second;
}

void TFlowBox::SetDefTableName(const AnsiString& table) {
  defTableName_ = table;
  Changed();
}

CLgNode* TFlowBox::GetSelNode(int index) const {
  return index >= 0 && index < GetSelCount() ? selection_[index] : nullptr;
}

AnsiString TFlowBox::GetNodeText(const CLgNode* node) const { return node ? node->Text : AnsiString(); }

bool TFlowBox::SetNodeText(CLgNode* node, const AnsiString& text) {
  if (!node || !node->IsLeaf() || !tree_.Contains(node) || Trim(text).empty()) return false;
  node->Text = text;
  Changed();
  return true;
}

bool TFlowBox::AddNode(int kind, const AnsiString& text) {
  if (Trim(text).empty() || !tree_.AddNode(selection_, kind, text)) return false;
  Changed();
  return true;
}

bool TFlowBox::DeleteNode(CLgNode* node) {
  if (!tree_.DeleteNode(node)) return false;
  selection_.erase(std::remove(selection_.begin(), selection_.end(), node), selection_.end());
  Changed();
  return true;
}

void TFlowBox::ReverseExpression() {
  tree_.Reverse();
  Changed();
}

void TFlowBox::CopyExpression() { CopyBuffer() = GetExpression(); }

void TFlowBox::PasteExpression() {
  if (!CopyBuffer().empty()) SetExpression(CopyBuffer());
}

void TFlowBox::ClearCopyBuffer() { CopyBuffer().clear(); }

void TFlowBox::SetOrigin(int x, int y) {
  originX_ = x;
  originY_ = y;
  Changed();
}

void TFlowBox::SetMeasureCanvas(TCanvas* canvas) {
  measureCanvas_ = canvas;
  Changed();
}

void TFlowBox::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  TScrollBox::SetBounds(left, top, width, height);
  if (resized && paintBox_) SetCanvasSize();
}

void TFlowBox::FontChanged() {
  TScrollBox::FontChanged();
  if (paintBox_) Changed();
}

bool TFlowBox::Selected(const CLgNode* node) const {
  return std::find(selection_.begin(), selection_.end(), node) != selection_.end();
}

void TFlowBox::Changed() {
  SetCanvasSize();
  paintBox_->Invalidate();
}

CLgNode* TFlowBox::GetTopNode() {
  CLgNode* first = tree_.GetRoot();
  CLgNode* second = fixed_.GetRoot();
  if (!second) return first;
  if (!first) return second;
  joinNode_.First = first;
  joinNode_.Second = second;
  return &joinNode_;
}

TCanvas* TFlowBox::MeasureCanvas() {
  if (measureCanvas_) return measureCanvas_;
  TCanvas* canvas = paintBox_->Canvas();
  canvas->Font()->Assign(*paintBox_->Font());
  return canvas;
}

int TFlowBox::CentreLine(TCanvas* canvas) { return canvas->TextHeight("A") / 2 + innerMarginY_ + outerMarginY_; }

// ---- Layout ----

void TFlowBox::Measure(TCanvas* canvas, CLgNode* node) {
  switch (node->Kind) {
    case CLgNode::AndNode:
    case CLgNode::OrNode: {
      CLgNode* a = node->First;
      CLgNode* b = node->Second;
      Measure(canvas, a);
      Measure(canvas, b);
      if (node->Kind == CLgNode::AndNode) {
        node->Mid = std::max(a->Mid, b->Mid);
        node->Extent.cx = a->Extent.cx + columnGap_ + b->Extent.cx;
        node->Extent.cy = std::max(node->Mid - a->Mid + a->Extent.cy, node->Mid - b->Mid + b->Extent.cy);
      } else {
        node->Mid = a->Mid;
        node->Extent.cx = std::max(a->Extent.cx, b->Extent.cx);
        node->Extent.cy = a->Extent.cy + rowGap_ + b->Extent.cy;
      }
      break;
    }
    case CLgNode::NotNode: {
      CLgNode* a = node->First;
      Measure(canvas, a);
      node->Extent.cx = a->Extent.cx + canvas->TextWidth(NotWord()) + kNotIndent + kNotGap + 2 * outerMarginX_;
      node->Extent.cy = a->Extent.cy + 2 * (outerMarginY_ + kNotPadY);
      node->Mid = a->Mid + outerMarginY_ + kNotPadY;
      break;
    }
    default: {
      const TSize size = PrintNodeStr(canvas, node, 0, 0, false);
      node->Extent.cx = size.cx + 2 * (outerMarginX_ + innerMarginX_);
      node->Extent.cy = size.cy + 2 * (outerMarginY_ + innerMarginY_);
      node->Mid = centre_;
      break;
    }
  }
}

TFlowBox::TCell TFlowBox::DrawNode(TCanvas* canvas, CLgNode* node, int x, int y) {
  if (node->Kind == CLgNode::CompNode) return PrintNode(canvas, node, x, y);
  node->Box = Rect(-1, -1, -1, -1);
  if (node->Kind == CLgNode::NotNode) return PrintNot(canvas, node, x, y);
  CLgNode* a = node->First;
  CLgNode* b = node->Second;
  TCell first, second;
  if (node->Kind == CLgNode::AndNode) {
    first = DrawNode(canvas, a, x, y + node->Mid - a->Mid);
    second = DrawNode(canvas, b, first.rect.Right + columnGap_, y + node->Mid - b->Mid);
    ConnectAnd(canvas, first, second);
  } else {
    first = DrawNode(canvas, a, x, y);
    second = DrawNode(canvas, b, x, first.rect.Bottom + rowGap_);
    ConnectOr(canvas, first, second);
  }
  return {Rect(x, y, x + node->Extent.cx, y + node->Extent.cy), y + node->Mid};
}

TFlowBox::TCell TFlowBox::PrintNode(TCanvas* canvas, CLgNode* node, int x, int y) {
  const int outerX = outerMarginX_, outerY = outerMarginY_;
  const TCell cell{Rect(x, y, x + node->Extent.cx, y + node->Extent.cy), y + node->Mid};
  const TRect box = Rect(x + outerX, y + outerY, cell.rect.Right - outerX, cell.rect.Bottom - outerY);
  node->Box = box;
  if (!drawing_) return cell;
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(node->Flag == 1 ? kFixedColour : Selected(node) ? clHighlight : clWindow);
  canvas->Pen()->SetColor(clBlack);
  canvas->RoundRect(box.Left, box.Top, box.Right, box.Bottom, kCorner, kCorner);
  Line(canvas, cell.rect.Left, cell.mid, box.Left, cell.mid);
  Arrow(canvas, box.Left, cell.mid);
  Line(canvas, box.Right, cell.mid, cell.rect.Right, cell.mid);
  PrintNodeStr(canvas, node, box.Left + innerMarginX_, box.Top + innerMarginY_, true);
  return cell;
}

TFlowBox::TCell TFlowBox::PrintNot(TCanvas* canvas, CLgNode* node, int x, int y) {
  const int word = canvas->TextWidth(NotWord());
  const TRect frame = Rect(x + outerMarginX_, y + outerMarginY_, x + node->Extent.cx - outerMarginX_,
                           y + node->Extent.cy - outerMarginY_);
  const TCell cell{Rect(x, y, x + node->Extent.cx, y + node->Extent.cy), y + node->Mid};
  if (drawing_) {
    canvas->Brush()->SetStyle(bsClear);
    canvas->Pen()->SetColor(clGray);
    canvas->RoundRect(frame.Left, frame.Top, frame.Right, frame.Bottom, kCorner, kCorner);
    canvas->Pen()->SetColor(clBlack);
    Line(canvas, cell.rect.Left, cell.mid, frame.Left, cell.mid);
    Arrow(canvas, frame.Left, cell.mid);
    Line(canvas, frame.Right, cell.mid, cell.rect.Right, cell.mid);
    canvas->Font()->SetColor(clWindowText);
    canvas->TextOut(frame.Left + kNotIndent, cell.mid - canvas->TextHeight(NotWord()) / 2, NotWord());
  }
  DrawNode(canvas, node->First, frame.Left + kNotIndent + word + kNotGap, frame.Top + kNotPadY);
  return cell;
}

TSize TFlowBox::PrintNodeStr(TCanvas* canvas, CLgNode* node, int x, int y, bool draw) {
  std::vector<TPiece> pieces;
  if (IsSentence(node->Text)) {
    AnsiString column, value;
    int code = 0;
    SplitCondition(node->Text, column, code, value);
    AnsiString table = GetTablePart(column);
    if (!table.empty() && table != defTableName_) table += ".";
    else table.clear();
    const auto& words = SentenceWords();
    const int op = code >= 0 && code <= 9 ? code : 0;
    pieces = {{Shown(table), clGreen, clYellow},
              {Shown(GetFieldPart(column)), clWindowText, clHighlightText},
              {words[op][0], clWindowText, clHighlightText},
              {Shown(value), clBlue, clAqua},
              {words[op][1], clWindowText, clHighlightText}};
  } else {
    pieces = {{Shown(node->Text), clWindowText, clHighlightText}};
  }
  AnsiString all;
  for (const TPiece& piece : pieces) all += piece.text;
  const TSize size = canvas->TextExtent(all);
  if (draw) {
    const bool selected = node->Flag != 1 && Selected(node);
    canvas->Brush()->SetStyle(bsClear);
    for (const TPiece& piece : pieces) {
      if (piece.text.empty()) continue;
      canvas->Font()->SetColor(selected ? piece.selectedColour : piece.colour);
      canvas->TextOut(x, y, piece.text);
      x += canvas->TextWidth(piece.text);
    }
    canvas->Brush()->SetStyle(bsSolid);
  }
  return size;
}

void TFlowBox::Line(TCanvas* canvas, int x1, int y1, int x2, int y2) {
  canvas->MoveTo(x1, y1);
  canvas->LineTo(x2, y2);
}

void TFlowBox::Arrow(TCanvas* canvas, int x, int y) {
  canvas->MoveTo(x - 4, y - 4);
  canvas->LineTo(x, y);
  canvas->LineTo(x - 5, y + 5);
}

void TFlowBox::ConnectAnd(TCanvas* canvas, const TCell& a, const TCell& b) {
  if (drawing_) Line(canvas, a.rect.Right, a.mid, b.rect.Left, a.mid);
}

void TFlowBox::ConnectOr(TCanvas* canvas, const TCell& a, const TCell& b) {
  if (!drawing_) return;
  Line(canvas, a.rect.Left, a.mid, a.rect.Left, b.mid + 1);
  const int right = std::max(a.rect.Right, b.rect.Right);
  if (b.rect.Right < right) Line(canvas, b.rect.Right, b.mid, right, b.mid);
  if (a.rect.Right < right) Line(canvas, a.rect.Right, a.mid, right, a.mid);
  Line(canvas, right - 1, a.mid, right - 1, b.mid + 1);
}

void TFlowBox::PaintNodes(TCanvas* canvas) {
  CLgNode* top = GetTopNode();
  if (!top) return;
  canvas->Pen()->SetColor(clBlack);
  canvas->Pen()->SetStyle(psSolid);
  canvas->Pen()->SetMode(pmCopy);
  centre_ = CentreLine(canvas);
  Measure(canvas, top);
  drawing_ = true;
  const TCell cell = DrawNode(canvas, top, originX_, originY_);
  Line(canvas, 10, cell.mid, cell.rect.Left, cell.mid);
  Line(canvas, cell.rect.Right, cell.mid, cell.rect.Right + 10, cell.mid);
  Arrow(canvas, cell.rect.Right + 10, cell.mid);
}

void TFlowBox::SetCanvasSize() {
  int width = 0, height = 0;
  if (CLgNode* top = GetTopNode()) {
    TCanvas* canvas = MeasureCanvas();
    centre_ = CentreLine(canvas);
    Measure(canvas, top);
    drawing_ = false;
    const TCell cell = DrawNode(canvas, top, originX_, originY_);
    drawing_ = true;
    width = cell.rect.Right + 20;
    height = cell.rect.Bottom + 10;
  }
  // The diagram's own size first, so that the client size below counts only the scroll bars the
  // diagram needs.
  paintBox_->SetBounds(0, 0, width, height);
  paintBox_->SetBounds(0, 0, std::max(width, ClientWidth()), std::max(height, ClientHeight()));
}

// ---- Mouse ----

void TFlowBox::PaintBoxPaint(TObject*) { PaintNodes(measureCanvas_ ? measureCanvas_ : paintBox_->Canvas()); }

void TFlowBox::PaintBoxClick(TObject*) {
  if (OnClick) OnClick(this);
}

void TFlowBox::PaintBoxDblClick(TObject*) {
  if (OnDblClick) OnDblClick(this);
}

void TFlowBox::PaintBoxMouseDown(TObject*, TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbRight && !selection_.empty()) return;  // the popup menu works on the selection
  CLgNode* hit = tree_.GetRoot() ? tree_.GetRoot()->HitTest(x, y) : nullptr;
  if (!hit || !hit->IsLeaf() || hit->Flag == 1) {
    selection_.clear();
  } else {
    if (!(shift & ssCtrl)) selection_.clear();
    auto it = std::find(selection_.begin(), selection_.end(), hit);
    if (it != selection_.end()) selection_.erase(it);
    else selection_.push_back(hit);
  }
  paintBox_->Invalidate();
}

// ---- Edit commands through the single-comparison dialog ----

bool EditFlowNode(TFlowBox* box, TFlowCondDialog* dialog) {
  if (box->GetSelCount() == 0) return false;
  CLgNode* node = box->GetSelNode(0);
  dialog->SetConditionText(box->GetNodeText(node));
  if (dialog->ShowModal() != mrOk) return false;
  const AnsiString text = dialog->GetConditionText();
  return !text.empty() && box->SetNodeText(node, text);
}

bool AddFlowNode(TFlowBox* box, TFlowCondDialog* dialog, int kind) {
  if (dialog->ShowModal() != mrOk) return false;
  const AnsiString text = dialog->GetConditionText();
  if (text.empty()) return false;
  return kind == CLgNode::OrNode ? box->AddOrNode(text) : box->AddAndNode(text);
}
