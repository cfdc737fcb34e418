#include "views/StringGridEx.h"

#include <algorithm>

#include "platform/Mask.h"

// ---- TGridColumn ----

TGridColumn::TGridColumn(TCollection* collection) : TCollectionItem(collection) {
  if (TStringGridEx* grid = Grid()) {
    color_ = grid->Color();
    font_.Assign(*grid->Font());
  }
  fixCellFont_.Assign(font_);
}

TGridColumn::~TGridColumn() = default;

TStringGridEx* TGridColumn::Grid() const {
  auto* columns = static_cast<TGridColumns*>(Collection());
  return columns ? columns->Grid() : nullptr;
}

void TGridColumn::Repaint() {
  if (TStringGridEx* grid = Grid()) grid->Invalidate();
}

void TGridColumn::Assign(const TPersistent* source) {
  const auto* o = dynamic_cast<const TGridColumn*>(source);
  if (!o) return;
  caption_ = o->caption_;
  alignment_ = o->alignment_;
  DataType = o->DataType;
  DisplayMask = o->DisplayMask;
  CanEdit = o->CanEdit;
  color_ = o->color_;
  fixCellFont_.Assign(o->fixCellFont_);
  font_.Assign(o->font_);
  ImeMode = o->ImeMode;
  MultiLine = o->MultiLine;
  wordwrap_ = o->wordwrap_;
  Repaint();
}

void TGridColumn::SetAlignment(TAlignment a) {
  if (a == alignment_) return;
  alignment_ = a;
  Repaint();
}

void TGridColumn::SetCaption(const AnsiString& c) {
  const AnsiString value = c.empty() ? " " : c;
  if (value == caption_) return;
  caption_ = value;
  Repaint();
}

void TGridColumn::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Repaint();
}

void TGridColumn::SetFont(const TFont& f) {
  font_.Assign(f);
  Repaint();
}

void TGridColumn::SetFixCellFont(const TFont& f) {
  fixCellFont_.Assign(f);
  Repaint();
}

void TGridColumn::SetWordwrap(bool w) {
  if (w == wordwrap_) return;
  wordwrap_ = w;
  Repaint();
}

// ---- TGridColumns ----

TGridColumns::~TGridColumns() { follow_ = false; }

TPersistent* TGridColumns::GetOwner() const { return grid_; }

TCollectionItem* TGridColumns::NewItem() { return new TGridColumn(this); }

void TGridColumns::Update(TCollectionItem*) {
  if (follow_ && Count() != grid_->ColCount()) grid_->SetColCount(Count());
  grid_->Invalidate();
}

// ---- TInplaceEditEx ----

void TInplaceEditEx::SetWordWrap(bool w) {
  if (w == wrapLines_) return;
  wrapLines_ = w;
  UpdateWidget();
}

void TInplaceEditEx::KeyDown(uint16_t& key, TShiftState shift) {
  if (!MultiLine) {
    if (key == VK_RETURN) key = VK_RIGHT;
    TInplaceEdit::KeyDown(key, shift);
    return;
  }
  if (key == VK_RETURN && (shift & ssCtrl)) {
    Grid()->HideEditor();
    key = 0;
    return;
  }
  const bool arrow = key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN;
  if (arrow && shift == 0) {
    if (Grid()->OnKeyDown) Grid()->OnKeyDown(Grid(), key, shift);
    if (key) MoveCaret(key);
    key = 0;
    return;
  }
  if (arrow && shift == ssCtrl) {
    SetSelStart(static_cast<int>(Text().size()));
    SendToGrid(key, 0);
    return;
  }
  TInplaceEdit::KeyDown(key, shift);
}

void TInplaceEditEx::KeyPress(char& key) {
  if (MultiLine && key == '\r') {
    if (Grid() && GridCanModify()) {
      SetSelText("\r\n");
      key = 0;
      return;
    }
  }
  TInplaceEdit::KeyPress(key);
}

// ---- Row marks ----

bool TStringGridEx::RowMarks::Get(int row) const {
  auto it = runs_.upper_bound(row);
  if (it == runs_.begin()) return false;
  --it;
  return row < it->second;
}

void TStringGridEx::RowMarks::Set(int first, int last, bool on) {
  if (last < first) return;
  int begin = first, end = last + 1;
  // Take out every run that overlaps or touches [begin, end), keeping the parts outside.
  auto it = runs_.upper_bound(begin);
  if (it != runs_.begin() && std::prev(it)->second >= begin) --it;
  std::vector<std::pair<int, int>> keep;
  while (it != runs_.end() && it->first <= end) {
    if (on) {
      begin = std::min(begin, it->first);
      end = std::max(end, it->second);
    } else {
      if (it->first < begin) keep.emplace_back(it->first, begin);
      if (it->second > end) keep.emplace_back(end, it->second);
    }
    it = runs_.erase(it);
  }
  if (on) runs_.emplace(begin, end);
  for (const auto& [b, e] : keep) runs_.emplace(b, e);
}

bool TStringGridEx::RowMarks::Assign(int first, int last) {
  if (last < first) {
    const bool changed = !runs_.empty();
    runs_.clear();
    return changed;
  }
  if (runs_.size() == 1 && runs_.begin()->first == first && runs_.begin()->second == last + 1) return false;
  runs_.clear();
  runs_.emplace(first, last + 1);
  return true;
}

// ---- TStringGridEx ----

TStringGridEx::TStringGridEx(TComponent* owner) : TStringGrid(owner), stripeColor_(Color()) {
  colFreeze_.base = TStringGrid::FixedCols();
  // The row freeze starts from the fixed rows (the column count was once taken here by mistake).
  rowFreeze_.base = TStringGrid::FixedRows();
  SetDefaultRowHeight(20);
  SetColCount(4);
  marks_.Clear();
}

TStringGridEx::~TStringGridEx() = default;

void TStringGridEx::SetGridStyle(TGridStyle s) {
  if (s == gridStyle_) return;
  gridStyle_ = s;
  Invalidate();
}

void TStringGridEx::SetStripeColor(TColor c) {
  if (c == stripeColor_) return;
  stripeColor_ = c;
  Invalidate();
}

void TStringGridEx::SetFixedCenter(bool v) {
  if (v == fixedCenter_) return;
  fixedCenter_ = v;
  Invalidate();
}

bool TStringGridEx::GetRowSelects(int row) const {
  if (row < TStringGrid::FixedRows() || row >= RowCount()) return false;
  return marks_.Get(row);
}

void TStringGridEx::SetRowSelects(int row, bool on) {
  if (row < TStringGrid::FixedRows() || row >= RowCount()) return;
  if (marks_.Get(row) == on) return;
  marks_.Set(row, row, on);
  Invalidate();
}

void TStringGridEx::SetSelection(const TGridRect& r) {
  TStringGrid::SetSelection(r);
  marks_.Set(std::max(r.Top, TStringGrid::FixedRows()), std::min(r.Bottom, RowCount() - 1), true);
}

void TStringGridEx::MarkSelectionRows() {
  const TGridRect sel = Selection();
  if (marks_.Assign(std::max(sel.Top, TStringGrid::FixedRows()), std::min(sel.Bottom, RowCount() - 1))) Invalidate();
}

int TStringGridEx::GetFirstMoveCol() const {
  return colFreeze_.count > 0 ? colFreeze_.firstMove : TStringGrid::FixedCols();
}

int TStringGridEx::GetFirstMoveRow() const {
  return rowFreeze_.count > 0 ? rowFreeze_.firstMove : TStringGrid::FixedRows();
}

void TStringGridEx::SetFixedColsEx(int base, int count, int from) {
  // The slots of the previous freeze get their own widths back.
  for (size_t i = 0; i < savedWidths_.size(); ++i) SetColWidths(colFreeze_.base + static_cast<int>(i), savedWidths_[i]);
  savedWidths_.clear();
  base = std::clamp(base, 0, ColCount() - 1);
  count = std::max(count, 0);
  if (count >= 1) from = std::max(from, base);
  // A freeze reaching past the last column is cut down, and leaves one column to scroll.
  count = std::min({count, ColCount() - from, ColCount() - 1 - base});
  if (count < 1) count = 0;
  colFreeze_.base = base;
  colFreeze_.count = count;
  colFreeze_.from = from;
  if (count >= 1) {
    colFreeze_.firstMove = from + count;
    for (int i = 0; i < count; ++i) {
      savedWidths_.push_back(ColWidths(base + i));
      SetColWidths(base + i, ColWidths(from + i));
    }
  } else {
    colFreeze_.firstMove = base;
  }
  TStringGrid::SetFixedCols(base + count);
  if (colFreeze_.firstMove > LeftCol()) SetLeftCol(colFreeze_.firstMove);
  Invalidate();
}

void TStringGridEx::SetFixedRowsEx(int base, int count, int from) {
  base = std::clamp(base, 0, RowCount() - 1);
  count = std::max(count, 0);
  if (count >= 1) from = std::max(from, base);
  count = std::min({count, RowCount() - from, RowCount() - 1 - base});
  if (count < 1) count = 0;
  rowFreeze_.base = base;
  rowFreeze_.count = count;
  rowFreeze_.from = from;
  rowFreeze_.firstMove = count >= 1 ? from + count : base;
  TStringGrid::SetFixedRows(base + count);
  if (rowFreeze_.firstMove > TopRow()) SetTopRow(rowFreeze_.firstMove);
  Invalidate();
}

void TStringGridEx::TopLeftChanged() {
  if (colFreeze_.count > 0 && LeftCol() < colFreeze_.firstMove) {
    SetLeftCol(colFreeze_.firstMove);
  } else if (rowFreeze_.count > 0 && TopRow() < rowFreeze_.firstMove) {
    SetTopRow(rowFreeze_.firstMove);
  } else {
    TStringGrid::TopLeftChanged();
  }
}

void TStringGridEx::AdjustRowHeight(int row) {
  if (row < 0 || row >= RowCount()) return;
  int most = 0;
  for (int col = 0; col < ColCount(); ++col) {
    const AnsiString& text = Cells(col, row);
    int breaks = 0;
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\r' || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))) ++breaks;
    most = std::max(most, breaks);
  }
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  SetRowHeights(row, DefaultRowHeight() + most * (c->TextHeight("A") + 1));
}

void TStringGridEx::BeginDrag(bool immediate, int threshold) {
  dragging_ = true;
  TStringGrid::BeginDrag(immediate, threshold);
  dragging_ = false;
}

void TStringGridEx::Assign(const TPersistent* source) {
  const auto* g = dynamic_cast<const TStringGrid*>(source);
  if (!g) return;
  auto* src = const_cast<TStringGrid*>(g);
  SetAlign(g->Align());
  SetBorderStyle(g->BorderStyle());
  SetColCount(g->ColCount());
  SetRowCount(g->RowCount());
  SetColor(g->Color());
  SetCursor(g->Cursor());
  SetDefaultColWidth(g->DefaultColWidth());
  SetDefaultDrawing(g->DefaultDrawing());
  SetDefaultRowHeight(g->DefaultRowHeight());
  DragMode = g->DragMode;
  SetEnabled(g->Enabled());
  SetFixedColor(g->FixedColor());
  SetFixedCols(g->FixedCols());
  SetFixedRows(g->FixedRows());
  Font()->Assign(*src->Font());
  SetGridLineWidth(g->GridLineWidth());
  Hint = g->Hint;
  SetOptions(g->Options());
  SetParentColor(g->ParentColor());
  SetParentFont(g->ParentFont());
  SetPopupMenu(g->PopupMenu());
  SetScrollBars(g->ScrollBars());
  ShowHint = g->ShowHint;
  TabStop = g->TabStop;
  Tag = g->Tag;
  SetBounds(g->Left(), g->Top(), g->Width(), g->Height());
  SetVisible(g->Visible());
  OnClick = g->OnClick;
  OnDblClick = g->OnDblClick;
  OnMouseDown = g->OnMouseDown;
  OnMouseMove = g->OnMouseMove;
  OnMouseUp = g->OnMouseUp;
  OnKeyDown = g->OnKeyDown;
  OnKeyPress = g->OnKeyPress;
  OnKeyUp = g->OnKeyUp;
  OnDragDrop = g->OnDragDrop;
  OnDragOver = g->OnDragOver;
  OnEndDrag = g->OnEndDrag;
  OnStartDrag = g->OnStartDrag;
  OnEnter = g->OnEnter;
  OnExit = g->OnExit;
  OnDrawCell = g->OnDrawCell;
  OnGetEditText = g->OnGetEditText;
  OnSetEditText = g->OnSetEditText;
  OnSelectCell = g->OnSelectCell;
  OnTopLeftChanged = g->OnTopLeftChanged;
}

// ---- Drawing ----

TColor TStringGridEx::GetBrushColor(int col, int row) const {
  if (gridStyle_ == gsStriped) return row % 2 == 0 ? stripeColor_ : Color();
  const TGridColumn* c = Column(col);
  return c ? c->Color() : Color();
}

AnsiString TStringGridEx::GetDisplayText(const AnsiString& text, const AnsiString& mask) const {
  const bool numeric = std::all_of(text.begin(), text.end(), [](char c) { return c == '+' || c == '-' || c == '.' || (c >= '0' && c <= '9'); });
  if (numeric) {
    // Only a real number is formatted; "--", "1.2.3" or a date show as they are.
    double v = 0;
    return TryStrToFloat(text, v) ? FormatFloat(mask, v) : text;
  }
  return FormatMaskText(mask, text);
}

void TStringGridEx::DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {
  // Marks follow the painted selection in row-select mode.
  if (RowSelectMode()) {
    if (row >= TStringGrid::FixedRows() && (state & gdSelected) && !marks_.Get(row)) marks_.Set(row, row, true);
  } else if (marks_.Get(row)) {
    marks_.Set(row, row, false);
  }
  // Frozen columns and rows show their source cells and look like data cells. Only the frozen
  // slots map: when the view is too wide to scroll past the sources, the columns between the
  // slots and the first movable one show themselves, not cells further right.
  int srcCol = col, srcRow = row;
  TGridDrawState shown = state;
  if (col >= colFreeze_.base && col < colFreeze_.base + colFreeze_.count) {
    srcCol = col - colFreeze_.base + colFreeze_.from;
    if (row >= rowFreeze_.base) shown &= ~gdFixed;
  }
  if (row >= rowFreeze_.base && row < rowFreeze_.base + rowFreeze_.count) {
    srcRow = row - rowFreeze_.base + rowFreeze_.from;
    if (col >= colFreeze_.base) shown &= ~gdFixed;
  }
  DrawCellStr(Cells(srcCol, srcRow), col, row, rect, shown);
  if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
}

void TStringGridEx::DrawCellStr(AnsiString text, int col, int row, const TRect& rect, TGridDrawState state) {
  if (col >= ColCount()) return;
  TGridColumn* column = Column(col);
  TCanvas* c = Canvas();
  const bool fixed = state & gdFixed;
  if (!fixed) {
    c->Font()->Assign(column ? *column->Font() : *Font());
    if (marks_.Get(row) && row >= TStringGrid::FixedRows()) {
      c->Brush()->SetColor(clHighlight);
      c->Font()->SetColor(clHighlightText);
    } else {
      c->Brush()->SetColor(GetBrushColor(col, row));
    }
    if (!text.empty() && column && !column->DisplayMask.empty()) text = GetDisplayText(text, column->DisplayMask);
  } else {
    c->Font()->Assign(column ? *column->FixCellFont() : *Font());
    c->Brush()->SetColor(FixedColor());
    if (text.empty() && row == 0 && column) text = column->Caption();
  }
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(rect);

  const int m = (DefaultRowHeight() >= 18 ? 2 : 1) + (fixed ? 1 : 0);
  TRect r = rect;
  InflateRect(r, -m, -m);
  r.Left += 2;
  r.Right -= 2;
  unsigned format = DT_EDITCONTROL | DT_NOPREFIX;
  if (column && column->Wordwrap()) format |= DT_WORDBREAK;
  if (fixed && fixedCenter_) {
    format |= DT_CENTER;
  } else if (column) {
    if (column->Alignment() == taRightJustify) format |= DT_RIGHT;
    if (column->Alignment() == taCenter) format |= DT_CENTER;
  }
  c->DrawText(text, r, format);

  if (!DefaultDrawing()) {
    if (fixed && Ctl3D) DrawFixedEdges(rect);
    if ((state & gdFocused) && !(Options() & goRowSelect) &&
        (Options() & (goEditing | goAlwaysShowEditor)) != (goEditing | goAlwaysShowEditor))
      c->DrawFocusRect(rect);
  }
}

// ---- Editing ----

TInplaceEdit* TStringGridEx::CreateEditor() { return new TInplaceEditEx(this); }

AnsiString TStringGridEx::GetEditText(int col, int row) {
  if (auto* editor = dynamic_cast<TInplaceEditEx*>(InplaceEditor())) {
    if (TGridColumn* column = Column(col)) {
      editor->SetImeMode(column->ImeMode);
      editor->Font()->Assign(*column->Font());
      editor->MultiLine = column->MultiLine;
      editor->SetWordWrap(column->Wordwrap());
    } else {
      editor->SetImeMode(imClose);
      editor->Font()->Assign(*Font());
    }
    editor->SetColor(GetBrushColor(col, row));
  }
  return TStringGrid::GetEditText(col, row);
}

bool TStringGridEx::CanEditModify() {
  const TGridColumn* column = Column(Col());
  return column ? column->CanEdit : true;
}

bool TStringGridEx::CanEditAcceptKey(char key) {
  const TGridColumn* column = Column(Col());
  if (!column || column->DataType != dtInteger) return true;
  const unsigned char c = static_cast<unsigned char>(key);
  return c <= 32 || key == '+' || key == '-' || key == '.' || (key >= '0' && key <= '9');
}

void TStringGridEx::SetEditText(int col, int row, const AnsiString& value) {
  AnsiString stored = value;
  const TGridColumn* column = Column(col);
  if (column && column->DataType == dtInteger && !value.empty()) {
    int n = 0;
    if (value == "-") {
      stored = "-0";
    } else if (TryStrToInt(value, n)) {
      stored = IntToStr(n);
    } else {
      // Not a number: the editor shows the cell's text again, its caret a character back.
      if (TInplaceEdit* editor = InplaceEditor()) {
        const int caret = editor->SelStart();
        editor->SetEditorText(Cells(col, row));
        editor->SetSelStart(std::max(0, caret - 1));
      }
      return;
    }
  }
  TStringGrid::SetEditText(col, row, stored);
  AdjustRowHeight(row);
}

void TStringGridEx::SizeChanged(int oldColCount, int oldRowCount) {
  TStringGrid::SizeChanged(oldColCount, oldRowCount);
  columns_.follow_ = false;
  while (columns_.Count() < ColCount()) columns_.Add();
  while (columns_.Count() > ColCount()) columns_.Delete(columns_.Count() - 1);
  columns_.follow_ = true;
  marks_.Clear();
}

// ---- Keyboard and mouse ----

void TStringGridEx::KeyDown(uint16_t& key, TShiftState shift) {
  const uint16_t pressed = key;
  const int left = LeftCol();
  TStringGrid::KeyDown(key, shift);
  if (RowSelectMode()) {
    SetLeftCol(left);
    if (pressed == VK_UP || (pressed == VK_DOWN && !(shift & ssCtrl))) MarkSelectionRows();
    return;
  }
  if (pressed == VK_F2)
    if (const TGridColumn* column = Column(Col()); column && column->MultiLine && InplaceEditor() && EditorMode())
      InplaceEditor()->SetSelStart(static_cast<int>(InplaceEditor()->Text().size()));
}

void TStringGridEx::KeyPress(char& key) {
  const bool enter = key == '\r';
  TStringGrid::KeyPress(key);
  if (enter && EditorMode() && InplaceEditor())
    if (const TGridColumn* column = Column(Col()); column && column->MultiLine)
      InplaceEditor()->SetSelStart(static_cast<int>(InplaceEditor()->Text().size()));
}

void TStringGridEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (!RowSelectMode()) {
    TStringGrid::MouseDown(button, shift, x, y);
    return;
  }
  shiftAtPress_ = shift;
  pressedOnMarked_ = false;
  int col = -1, row = -1;
  MouseToCell(x, y, col, row);
  if (GetRowSelects(row)) {
    // The selection stays, so that the marked rows can be dragged together.
    if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
    pressedOnMarked_ = true;
    return;
  }
  const TGridOptions options = Options();
  SetOptions(options & ~goRowSelect);
  TStringGrid::MouseDown(button, shift, x, y);
  SetOptions(options);
  if (GridState() == TGridState::Selecting && !(shift & ssCtrl)) MarkSelectionRows();
}

void TStringGridEx::MouseMove(TShiftState shift, int x, int y) {
  if (shift & ssLeft) pressedOnMarked_ = false;
  TStringGrid::MouseMove(shift, x, y);
}

void TStringGridEx::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (dragging_) return;
  TStringGrid::MouseUp(button, shift, x, y);
  if (!RowSelectMode() || button == mbRight) return;
  if (!pressedOnMarked_) {
    const TGridRect sel = Selection();
    marks_.Set(std::max(sel.Top, TStringGrid::FixedRows()), sel.Bottom, true);
    Invalidate();
    return;
  }
  // A click on a marked row without a drag.
  pressedOnMarked_ = false;
  int col = -1, row = -1;
  MouseToCell(x, y, col, row);
  if (row < TStringGrid::FixedRows()) row = Row();
  int current = row;
  if (shiftAtPress_ & ssCtrl) {
    marks_.Set(row, row, false);
    const int first = marks_.First();
    if (first >= 0) current = first;
  } else {
    marks_.Clear();
  }
  SetSelection(TGridRect{TStringGrid::FixedCols(), current, ColCount() - 1, current});
  Invalidate();
}

bool TStringGridEx::DoMouseWheelDown(TShiftState, TPoint) {
  if (TopRow() + VisibleRowCount() < RowCount()) SetTopRow(TopRow() + 1);
  return true;
}

bool TStringGridEx::DoMouseWheelUp(TShiftState, TPoint) {
  if (TopRow() > TStringGrid::FixedRows()) SetTopRow(TopRow() - 1);
  return true;
}
