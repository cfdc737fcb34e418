#include "views/KelmGrid.h"

#include <algorithm>

#include "platform/Clipbrd.h"
#include "platform/Menus.h"

namespace {

// The editor of the sheet: every change of its text (typed, pasted, composed by the input
// method) reaches the cell at once, and keys the editor keeps for itself are heard by the sheet's
// OnKeyDown first, so that the owner can follow the typing.
class TKelmInplaceEdit : public TInplaceEditEx {
 public:
  explicit TKelmInplaceEdit(TKelmGrid* grid) : TInplaceEditEx(grid), sheet_(grid) {}

 protected:
  void KeyDown(uint16_t& key, TShiftState shift) override {
    switch (key) {
      case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: case VK_TAB:
      case VK_LEFT: case VK_RIGHT: case VK_HOME: case VK_END:
        break;  // these reach the sheet's own key handling when the editor hands them over
      default:
        if (sheet_->OnKeyDown) sheet_->OnKeyDown(sheet_, key, shift);
        if (key == 0) return;
    }
    TInplaceEditEx::KeyDown(key, shift);
  }
  void CaptionChanged() override {
    TInplaceEditEx::CaptionChanged();
    if (sheet_->EditorMode()) sheet_->EditorChanged();
  }

 private:
  TKelmGrid* sheet_;
};

bool IsBlankOrQuoteTrigger(char c) { return c == ' ' || c == ',' || c == '"' || c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

AnsiString EscapeCsvField(const AnsiString& field) {
  AnsiString out;
  out.reserve(field.size() + 2);
  bool quote = false;
  for (size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (IsSjisLeadByte(static_cast<unsigned char>(c)) && i + 1 < field.size()) {
      out += c;
      out += field[++i];
      continue;
    }
    if (c == '"') out += '"';
    if (IsBlankOrQuoteTrigger(c)) quote = true;
    out += c;
  }
  return quote ? "\"" + out + "\"" : out;
}

int ReadCsvField(const AnsiString& text, size_t pos, AnsiString& field, char separator) {
  field.clear();
  const size_t start = pos, n = text.size();
  while (pos < n && text[pos] == ' ') ++pos;
  bool quoted = false;
  size_t keep = 0;  // stored bytes that trailing blanks may not remove
  while (pos < n) {
    const char c = text[pos];
    if (IsSjisLeadByte(static_cast<unsigned char>(c))) {
      if (pos + 1 < n) {
        field += c;
        field += text[pos + 1];
        keep = field.size();
      }
      pos += 2;
      continue;
    }
    if (quoted) {
      if (c == '"') {
        if (pos + 1 < n && text[pos + 1] == '"') {
          field += '"';
          ++pos;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
      keep = field.size();
      ++pos;
      continue;
    }
    if (c == '"') {
      quoted = true;
      ++pos;
      continue;
    }
    if (c == separator || c == '\r' || c == '\n') break;
    field += c;
    if (c != ' ') keep = field.size();
    ++pos;
  }
  field.resize(keep);
  return static_cast<int>(std::min(pos, n) - start);
}

// ---- Construction ----

TKelmGrid::TKelmGrid(TComponent* owner) : TStringGridEx(owner) {
  ranges_.push_back(TSelRange{});
  SetColCount(30);
  SetRowCount(30);
  SetFixedCols(1);
  SetFixedRows(1);
  SetColWidths(0, 32);
  SetCells(0, 0, "");
  GridColumns()->Items(0)->SetAlignment(taCenter);
  SetOptions(Options() & ~(goEditing | goAlwaysShowEditor | goRangeSelect | goRowSelect | goColMoving | goRowMoving));
  BuildPopup();
}

TKelmGrid::~TKelmGrid() { delete batch_; }

void TKelmGrid::BuildPopup() {
  popup_ = new TPopupMenu(Owner() ? Owner() : this);
  struct Entry {
    const AnsiString& caption;
    TShortCut shortCut;
    std::function<void()> action;
  };
  const Entry entries[] = {
      {SJ("元に戻す"), ShortCut('Z', ssCtrl), [this] { Undo(); }},
      {SJ("繰り返し"), ShortCut('Y', ssCtrl), [this] { Redo(); }},
      {"-", 0, nullptr},
      {SJ("切り取り"), ShortCut('X', ssCtrl), [this] { SelCopy(true); }},
      {SJ("コピー"), ShortCut('C', ssCtrl), [this] { SelCopy(false); }},
      {SJ("貼り付け"), ShortCut('V', ssCtrl), [this] { SelPaste(); }},
      {SJ("クリア"), ShortCut(VK_DELETE, 0), [this] { SelClear(); }},
  };
  int position = 0;
  for (const Entry& e : entries) {
    auto* item = new TMenuItem(popup_);
    item->SetCaption(e.caption);
    item->ShortCut = e.shortCut;
    item->Tag = position++;
    if (e.action) item->OnClick = [action = e.action](TObject*) { action(); };
    popup_->Items()->Add(item);
  }
  popup_->OnPopup = [this](TObject*) { PopupOpening(); };
}

void TKelmGrid::PopupOpening() {
  TMenuItem* items = popup_->Items();
  items->Items(0)->Enabled = CanUndo();
  items->Items(1)->Enabled = CanRedo();
  items->Items(5)->Enabled = Clipboard()->HasFormat(CF_TEXT);
}

void TKelmGrid::DoGridPopup(int x, int y) {
  const TPoint p = ClientToScreen({x, y});
  popup_->PopupComponent = this;
  popup_->Popup(p.x, p.y);
}

void TKelmGrid::SetParms(TStringGrid* g) {
  SetParent(g->Parent());
  SetAlign(g->Align());
  SetAnchors(g->Anchors());
  SetDefaultRowHeight(g->DefaultRowHeight());
  TStringGridEx::SetFixedCols(g->FixedCols());
  TStringGridEx::SetFixedRows(g->FixedRows());
  SetGridLineWidth(g->GridLineWidth());
  SetBounds(g->Left(), g->Top(), g->Width(), g->Height());
  SetOptions(g->Options());
  SetPopupMenu(g->PopupMenu());
  SetScrollBars(g->ScrollBars());
  TabStop = g->TabStop;
  SetTabOrder(g->TabOrder());
  Tag = g->Tag;
  SetVisible(g->Visible());
  OnEnter = g->OnEnter;
  OnExit = g->OnExit;
  OnKeyDown = g->OnKeyDown;
  OnKeyPress = g->OnKeyPress;
  OnKeyUp = g->OnKeyUp;
  OnMouseDown = g->OnMouseDown;
  OnMouseMove = g->OnMouseMove;
  OnMouseUp = g->OnMouseUp;
  OnMouseWheel = g->OnMouseWheel;
  OnClick = g->OnClick;
  OnDblClick = g->OnDblClick;
  OnDrawCell = g->OnDrawCell;
  OnGetEditText = g->OnGetEditText;
  OnSetEditText = g->OnSetEditText;
  OnSelectCell = g->OnSelectCell;
  OnTopLeftChanged = g->OnTopLeftChanged;
  OnColumnMoved = g->OnColumnMoved;
  SetOptions(Options() & ~(goEditing | goAlwaysShowEditor | goRangeSelect | goRowSelect | goColMoving | goRowMoving));
}

void TKelmGrid::SetRowCount(int n) {
  TStringGridEx::SetRowCount(n);
  for (int r = 0; r < RowCount(); ++r) SetCells(0, r, IntToStr(r));
}

bool TKelmGrid::ColumnCanEdit(int col) {
  return col >= 0 && col < GridColumns()->Count() && GridColumns()->Items(col)->CanEdit;
}

// ---- Selection ----

TSelRange TKelmGrid::MakeRange() const {
  TSelRange r{std::min(current_.X, anchor_.X), std::min(current_.Y, anchor_.Y), std::max(current_.X, anchor_.X),
              std::max(current_.Y, anchor_.Y)};
  if (r.Left == 0) r.Right = INT_MAX;
  if (r.Top == 0) r.Bottom = INT_MAX;
  return r;
}

bool TKelmGrid::IsSelected(int col, int row) const {
  for (const TSelRange& r : ranges_)
    if (r.Left >= 0 && r.Top >= 0 && r.Left <= col && col <= r.Right && r.Top <= row && row <= r.Bottom) return true;
  return false;
}

bool TKelmGrid::SingleCellSelected() const {
  if (ranges_.size() != 1) return false;
  const TSelRange& r = ranges_[0];
  return r.Left >= 0 && r.Left == r.Right && r.Top == r.Bottom;
}

void TKelmGrid::ResetRanges(TShiftState shift) {
  if (!(shift & ssShift)) {
    anchor_ = current_;
    if (shift & ssCtrl)
      ranges_.push_back(ranges_[0]);
    else
      ranges_.resize(1);
  }
  ranges_[0] = MakeRange();
}

void TKelmGrid::ClearSelRange() {
  const TGridRect sel = Selection();
  current_ = anchor_ = TGridCoord{sel.Left, sel.Top};
  ranges_.assign(1, MakeRange());
  SetCellEdit(false);
  Invalidate();
}

void TKelmGrid::SetCellEdit(bool on) {
  if (!on) {
    SetOptions(Options() & ~(goEditing | goAlwaysShowEditor));
    HideEditor();
    cellEdit_ = false;
    return;
  }
  if (cellEdit_) return;
  cellEdit_ = true;
  // Only a data cell can be edited: a selection begun on a heading edits the cell below it.
  if (current_.X < 0 || current_.Y < 0) current_ = TGridCoord{Col(), Row()};
  current_ = TGridCoord{std::max(current_.X, FixedCols()), std::max(current_.Y, FixedRows())};
  TStringGrid::SetSelection(TGridRect{current_.X, current_.Y, current_.X, current_.Y});
  anchor_ = current_;
  ranges_.assign(1, MakeRange());
  SetOptions(Options() | goEditing | goAlwaysShowEditor);
  ShowEditor();
  Invalidate();
}

bool TKelmGrid::CanEditModify() { return ColumnCanEdit(Col()) && SingleCellSelected(); }

// ---- Mouse ----

void TKelmGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (shift & ssDouble) return;  // the double click switched cell edit mode on; the press changes nothing
  if (selecting_) return;
  if (button == mbRight) {
    if (!PopupMenu())
      DoGridPopup(x, y);
    else
      TStringGridEx::MouseDown(button, shift, x, y);
    return;
  }
  if (button != mbLeft) return;
  // A press on a sizing line belongs to the base grid alone.
  TStringGridEx::MouseDown(button, shift, x, y);
  if (GetGridState() == TGridState::ColSizing || GetGridState() == TGridState::RowSizing) return;
  const TGridCoord cell = MouseCoord(x, y);
  current_ = cell;
  ResetRanges(shift);
  selecting_ = true;
  SetCellEdit(false);
  TStringGrid::SetSelection(TGridRect{std::max(cell.X, FixedCols()), std::max(cell.Y, FixedRows()),
                                      std::max(cell.X, FixedCols()), std::max(cell.Y, FixedRows())});
  Invalidate();
}

void TKelmGrid::MouseMove(TShiftState shift, int x, int y) {
  if (lastMove_.x == x && lastMove_.y == y) return;
  lastMove_ = {x, y};
  if (selecting_) {
    const TGridCoord cell = MouseCoord(x, y);
    if (cell.X >= 0 && cell.Y >= 0 && !(cell == current_)) {
      current_ = cell;
      ranges_[0] = MakeRange();
      Invalidate();
    }
  }
  TStringGridEx::MouseMove(shift, x, y);
}

void TKelmGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) selecting_ = false;
  TStringGridEx::MouseUp(button, shift, x, y);
}

void TKelmGrid::DblClick() {
  SetCellEdit(true);
  TStringGridEx::DblClick();
}

// ---- Keyboard ----

void TKelmGrid::BaseKeyDown(uint16_t& key, TShiftState shift) {
  // The owner's OnKeyDown has been heard already.
  TKeyEvent saved = std::move(OnKeyDown);
  OnKeyDown = nullptr;
  TStringGridEx::KeyDown(key, shift);
  OnKeyDown = std::move(saved);
}

void TKelmGrid::KeyDown(uint16_t& key, TShiftState shift) {
  typingStarts_ = false;
  if (OnKeyDown) OnKeyDown(this, key, shift);
  if (key == 0) return;
  const bool ctrl = shift & ssCtrl;
  const bool arrow = key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN;
  // Modifier keys pressed alone never start editing: Shift+arrow must still extend the selection.
  const bool command = arrow || key == VK_BACK || key == VK_DELETE || key == VK_CONTROL || key == VK_SHIFT ||
                       key == VK_MENU || (ctrl && (key == 'C' || key == 'X' || key == 'V' || key == 'Y' || key == 'Z'));
  if (!cellEdit_ && !command && SingleCellSelected()) {
    SetCellEdit(true);
    typingStarts_ = true;
  }
  const TGridCoord before{Col(), Row()};
  if (cellEdit_) {
    BaseKeyDown(key, shift);
    if (!(TGridCoord{Col(), Row()} == before)) {
      current_ = anchor_ = TGridCoord{Col(), Row()};
      ranges_.assign(1, MakeRange());
    }
    return;
  }
  if (arrow) {
    BaseKeyDown(key, shift);
    if (!(TGridCoord{Col(), Row()} == before)) {
      current_ = TGridCoord{Col(), Row()};
      ResetRanges(shift);
    }
    Invalidate();
  } else if (key == VK_BACK || key == VK_DELETE) {
    SelClear();
  } else if (ctrl) {
    switch (key) {
      case 'C': SelCopy(false); break;
      case 'X': SelCopy(true); break;
      case 'V': SelPaste(); break;
      case 'Y': Redo(); break;
      case 'Z': Undo(); break;
      default: break;
    }
  }
}

void TKelmGrid::KeyPress(char& key) {
  // The character whose key opened the editor is typed into it, replacing the cell's text.
  if (typingStarts_) {
    typingStarts_ = false;
    if (EditorMode() && InplaceEditor() && static_cast<unsigned char>(key) >= 32) {
      const char typed = key;
      key = 0;
      InplaceEditor()->TypeChar(typed);
      return;
    }
  }
  TStringGridEx::KeyPress(key);
}

// ---- Editing and drawing ----

TInplaceEdit* TKelmGrid::CreateEditor() { return new TKelmInplaceEdit(this); }

void TKelmGrid::SetEditText(int col, int row, const AnsiString& value) {
  const AnsiString old = Cells(col, row);
  if (value == old) return;
  TStringGridEx::SetEditText(col, row, value);
  // An integer column may have refused or normalised the text: what the cell holds is recorded.
  if (Cells(col, row) != old) UndoAddEditText(col, row, old, Cells(col, row));
}

void TKelmGrid::DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {
  if (col >= GridColumns()->Count()) return;
  TGridColumn* column = GridColumns()->Items(col);
  TCanvas* c = Canvas();
  AnsiString text = Cells(col, row);
  const bool fixed = state & gdFixed;
  if (fixed) {
    c->Font()->Assign(*column->FixCellFont());
    if (text.empty() && row == 0) text = column->Caption();
  } else {
    c->Font()->Assign(*column->Font());
    if (IsSelected(col, row)) {
      c->Brush()->SetColor(clHighlight);
      c->Font()->SetColor(clHighlightText);
    } else {
      c->Brush()->SetColor(Color());
    }
    c->Brush()->SetStyle(bsSolid);
    c->FillRect(rect);
  }
  TRect r = rect;
  const int inset = fixed ? 3 : 2;
  InflateRect(r, -inset, -inset);
  r.Left += 2;
  unsigned format = DT_EDITCONTROL | DT_NOPREFIX;
  if (column->Wordwrap()) format |= DT_WORDBREAK;
  if (fixed)
    format |= DT_CENTER;
  else if (column->Alignment() == taRightJustify)
    format |= DT_RIGHT;
  else if (column->Alignment() == taCenter)
    format |= DT_CENTER;
  c->Brush()->SetStyle(bsClear);
  c->DrawText(text, r, format);
  if (fixed && !DefaultDrawing() && Ctl3D) DrawFixedEdges(rect);
}

// ---- Undo history ----

void TKelmGrid::ClearUndo() {
  history_.clear();
  stepIndex_ = -1;
}

void TKelmGrid::UndoAdd(TKelmCmdList step) {
  history_.resize(stepIndex_ + 1);
  history_.push_back(std::move(step));
  stepIndex_ = static_cast<int>(history_.size()) - 1;
}

void TKelmGrid::UndoAdd(TKelmCmdType type, int col, int row, const AnsiString& oldText, const AnsiString& newText) {
  UndoAdd(TKelmCmdList{TKelmCmd{col, row, type, oldText, newText}});
}

void TKelmGrid::UndoAddEditText(int col, int row, const AnsiString& oldText, const AnsiString& newText) {
  if (stepIndex_ >= 0 && stepIndex_ < static_cast<int>(history_.size())) {
    TKelmCmdList& step = history_[stepIndex_];
    if (step.size() == 1 && step[0].Type == kcText && step[0].Col == col && step[0].Row == row) {
      history_.resize(stepIndex_ + 1);
      step[0].NewText = newText;
      return;
    }
  }
  UndoAdd(kcText, col, row, oldText, newText);
}

void TKelmGrid::ApplyStep(const TKelmCmdList& step, bool undo) {
  const bool editing = EditorMode();
  if (undo) {
    for (auto it = step.rbegin(); it != step.rend(); ++it) SetCells(it->Col, it->Row, it->OldText);
  } else {
    for (const TKelmCmd& cmd : step) SetCells(cmd.Col, cmd.Row, cmd.NewText);
  }
  // An open editor shows the cell's restored text.
  if (editing && InplaceEditor()) InplaceEditor()->SetEditorText(Cells(Col(), Row()));
  Invalidate();
}

void TKelmGrid::Undo() {
  if (stepIndex_ < 0 || stepIndex_ >= static_cast<int>(history_.size())) return;
  ApplyStep(history_[stepIndex_], true);
  --stepIndex_;
}

void TKelmGrid::Redo() {
  const int i = stepIndex_ + 1;
  if (i < 0 || i >= static_cast<int>(history_.size())) return;
  stepIndex_ = i;
  ApplyStep(history_[i], false);
}

void TKelmGrid::BeginSubst() {
  if (!batch_) batch_ = new TKelmCmdList;
}

void TKelmGrid::SubstCell(int col, int row, const AnsiString& text) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return;
  const AnsiString& old = Cells(col, row);
  if (old == text) return;
  if (batch_) batch_->push_back(TKelmCmd{col, row, kcText, old, text});
  SetCells(col, row, text);
}

void TKelmGrid::EndSubst() {
  if (!batch_) return;
  TKelmCmdList* step = batch_;
  batch_ = nullptr;
  if (!step->empty()) UndoAdd(std::move(*step));
  delete step;
  Invalidate();
}

// ---- Clipboard ----

void TKelmGrid::SelClear() {
  TKelmCmdList step;
  for (int r = FixedRows(); r < RowCount(); ++r)
    for (int c = FixedCols(); c < ColCount(); ++c) {
      if (!IsSelected(c, r) || !ColumnCanEdit(c)) continue;
      step.push_back(TKelmCmd{c, r, kcText, Cells(c, r), ""});
      SetCells(c, r, "");
    }
  if (!step.empty()) UndoAdd(std::move(step));
  Invalidate();
}

AnsiString TKelmGrid::SelectionText() {
  AnsiString out;
  for (int r = FixedRows(); r < RowCount(); ++r) {
    bool any = false;
    for (int c = FixedCols(); c < ColCount(); ++c) {
      if (!IsSelected(c, r)) continue;
      AnsiString text = Cells(c, r);
      if (OnCopyCell) OnCopyCell(this, c, r, text);
      if (any) out += separator_;
      out += EscapeCsvField(text);
      any = true;
    }
    if (any) out += "\r\n";
  }
  return out;
}

void TKelmGrid::SelCopy(bool cut) {
  Clipboard()->SetAsText(SelectionText());
  // A cut empties what a clear would, and can be undone like it; read-only values stay.
  if (cut) SelClear();
}

void TKelmGrid::SelPaste() {
  if (!Clipboard()->HasFormat(CF_TEXT)) return;
  PasteText(Clipboard()->AsText());
}

void TKelmGrid::PasteText(const AnsiString& text) {
  BeginSubst();
  if (SingleCellSelected())
    PasteBlock(text, ranges_[0].Left, ranges_[0].Top);
  else
    PasteOver(text);
  EndSubst();
}

void TKelmGrid::PasteField(int col, int row, const AnsiString& field) {
  if (OnPasteCell)
    OnPasteCell(this, col, row, field);
  else if (col < ColCount() && ColumnCanEdit(col))
    SubstCell(col, row, field);
}

void TKelmGrid::PasteBlock(const AnsiString& text, int col0, int row) {
  const size_t n = text.size();
  size_t pos = 0;
  int col = col0;
  AnsiString field;
  // Rows grow one at a time as the text needs them; the row numbers are written once at the end,
  // which leaves what numbering at every step would, without its quadratic cost.
  const int rowsBefore = RowCount();
  while (pos < n) {
    pos += ReadCsvField(text, pos, field, separator_);
    if (row >= RowCount()) {
      TStringGridEx::SetRowCount(row + 1);
      SetObjects(0, row, nullptr);
    }
    PasteField(col, row, field);
    if (pos >= n) break;
    if (text[pos] == '\r' && pos + 1 < n && text[pos + 1] == '\n') {
      pos += 2;
    } else if (text[pos] == '\n') {
      ++pos;
    } else {
      ++pos;
      ++col;
      continue;
    }
    col = col0;
    ++row;
  }
  if (RowCount() != rowsBefore) SetRowCount(RowCount());
}

void TKelmGrid::PasteOver(const AnsiString& text) {
  const size_t n = text.size();
  size_t pos = 0;
  AnsiString field;
  for (int r = FixedRows(); r < RowCount(); ++r)
    for (int c = FixedCols(); c < ColCount(); ++c) {
      if (!IsSelected(c, r)) continue;
      if (pos >= n) pos = 0;  // a short text repeats over the selection
      pos += ReadCsvField(text, pos, field, separator_);
      if (pos < n && text[pos] == '\r' && pos + 1 < n && text[pos + 1] == '\n')
        pos += 2;
      else if (pos < n)
        ++pos;
      PasteField(c, r, field);
    }
}
