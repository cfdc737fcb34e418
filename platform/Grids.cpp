#include "platform/Grids.h"

#include <QFrame>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

#include "platform/QtBridge.h"

namespace {

const AnsiString kEmpty;

// The widget position (UTF-16 units, CR LF counted once) of a byte offset of an editor text.
int WidgetOffset(const AnsiString& text, int bytes) {
  QString s = ToQ(text.substr(0, std::clamp<size_t>(bytes, 0, text.size())));
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return static_cast<int>(s.size());
}

// The byte offset of a widget position in an editor text.
int ByteOffset(const AnsiString& text, int position) {
  int units = 0;
  size_t i = 0;
  while (i < text.size() && units < position) {
    size_t n = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') n = 2;
    units += static_cast<int>(ToQ(text.substr(i, n == 2 && text[i] == '\r' ? 1 : n)).size());
    i += n;
  }
  return static_cast<int>(i);
}

}  // namespace

// ---- The editor's widget ----

// A plain text box that hands the keyboard to the editor's model and tells it about changes
// made by the mouse, the input method or the clipboard.
class EditWidget : public QPlainTextEdit {
 public:
  EditWidget(TInplaceEdit* edit, QWidget* parent) : QPlainTextEdit(parent), edit_(edit) {
    setFrameStyle(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(1);
    QObject::connect(this, &QPlainTextEdit::textChanged, [this] {
      if (edit_->syncing_) return;
      QString t = toPlainText();
      t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
      const AnsiString text = FromQ(t);
      const QTextCursor c = textCursor();
      edit_->selStart_ = ByteOffset(text, c.selectionStart());
      edit_->selLength_ = ByteOffset(text, c.selectionEnd()) - edit_->selStart_;
      edit_->syncing_ = true;
      edit_->SetCaption(text);
      edit_->syncing_ = false;
    });
    QObject::connect(this, &QPlainTextEdit::cursorPositionChanged, [this] {
      if (edit_->syncing_) return;
      const QTextCursor c = textCursor();
      const int a = ByteOffset(edit_->Text(), c.selectionStart());
      const int b = ByteOffset(edit_->Text(), c.selectionEnd());
      edit_->selStart_ = a;
      edit_->selLength_ = b - a;
    });
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override { ForwardInput(edit_, e, QPoint()); }
  void keyReleaseEvent(QKeyEvent* e) override { ForwardInput(edit_, e, QPoint()); }

 private:
  TInplaceEdit* edit_;
};

// ---- TInplaceEdit ----

TInplaceEdit::TInplaceEdit(TStringGrid* grid) : TWinControl(grid), grid_(grid) {
  SetVisible(false);
  SetColor(clWindow);
}

void TInplaceEdit::SetSelStart(int pos) {
  selStart_ = std::clamp(pos, 0, static_cast<int>(Text().size()));
  selLength_ = 0;
  UpdateWidget();
}

void TInplaceEdit::SetSelLength(int len) {
  selLength_ = std::clamp(len, 0, static_cast<int>(Text().size()) - selStart_);
  UpdateWidget();
}

void TInplaceEdit::SelectAll() {
  selStart_ = 0;
  selLength_ = static_cast<int>(Text().size());
  UpdateWidget();
}

void TInplaceEdit::SetSelText(const AnsiString& text) {
  AnsiString t = Text();
  const size_t start = std::min<size_t>(selStart_, t.size());
  t.replace(start, std::min<size_t>(selLength_, t.size() - start), text);
  selStart_ = static_cast<int>(start + text.size());
  selLength_ = 0;
  SetCaption(t);
  UpdateWidget();
}

void TInplaceEdit::SetEditorText(const AnsiString& text) {
  SetCaption(text);
  selStart_ = std::min(selStart_, static_cast<int>(text.size()));
  selLength_ = std::min(selLength_, static_cast<int>(text.size()) - selStart_);
  UpdateWidget();
}

bool TInplaceEdit::AtStart() const {
  const int len = static_cast<int>(Text().size());
  return selStart_ == 0 && (selLength_ == 0 || selLength_ == len);
}

bool TInplaceEdit::AtEnd() const {
  const int len = static_cast<int>(Text().size());
  return (selStart_ == 0 || selLength_ == 0) && selStart_ + selLength_ == len;
}

int TInplaceEdit::PrevChar(int pos) const {
  const AnsiString& t = Text();
  int i = 0, prev = 0;
  while (i < pos && i < static_cast<int>(t.size())) {
    prev = i;
    int n = IsSjisLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < static_cast<int>(t.size()) ? 2 : 1;
    if (t[i] == '\r' && i + 1 < static_cast<int>(t.size()) && t[i + 1] == '\n') n = 2;
    i += n;
  }
  return prev;
}

int TInplaceEdit::NextChar(int pos) const {
  const AnsiString& t = Text();
  if (pos >= static_cast<int>(t.size())) return static_cast<int>(t.size());
  int i = 0;
  while (i <= pos) {
    int n = IsSjisLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < static_cast<int>(t.size()) ? 2 : 1;
    if (t[i] == '\r' && i + 1 < static_cast<int>(t.size()) && t[i + 1] == '\n') n = 2;
    i += n;
  }
  return std::min(i, static_cast<int>(t.size()));
}

void TInplaceEdit::MoveCaret(uint16_t key) {
  const AnsiString& t = Text();
  const int len = static_cast<int>(t.size());
  int caret = selStart_;
  if (selLength_ > 0 && (key == VK_LEFT || key == VK_RIGHT)) {
    SetSelStart(key == VK_LEFT ? selStart_ : selStart_ + selLength_);
    return;
  }
  auto lineStart = [&](int pos) {
    while (pos > 0 && t[pos - 1] != '\n' && t[pos - 1] != '\r') --pos;
    return pos;
  };
  auto lineEnd = [&](int pos) {
    while (pos < len && t[pos] != '\n' && t[pos] != '\r') ++pos;
    return pos;
  };
  auto column = [&](int start, int pos) {
    int n = 0;
    for (int i = start; i < pos; i = NextChar(i)) ++n;
    return n;
  };
  auto atColumn = [&](int start, int n) {
    const int end = lineEnd(start);
    int i = start;
    while (n-- > 0 && i < end) i = NextChar(i);
    return i;
  };
  switch (key) {
    case VK_LEFT: caret = PrevChar(caret); break;
    case VK_RIGHT: caret = NextChar(caret); break;
    case VK_HOME: caret = lineStart(caret); break;
    case VK_END: caret = lineEnd(caret); break;
    case VK_UP: {
      const int start = lineStart(caret);
      if (start == 0) break;
      int prevEnd = start - 1;
      if (prevEnd > 0 && t[prevEnd] == '\n' && t[prevEnd - 1] == '\r') --prevEnd;
      caret = atColumn(lineStart(prevEnd), column(start, caret));
      break;
    }
    case VK_DOWN: {
      const int start = lineStart(caret), end = lineEnd(caret);
      if (end >= len) break;
      const int next = end + (t[end] == '\r' && end + 1 < len && t[end + 1] == '\n' ? 2 : 1);
      caret = atColumn(next, column(start, caret));
      break;
    }
    default: return;
  }
  SetSelStart(caret);
}

bool TInplaceEdit::GridCanModify() { return grid_->CanEditModify(); }

void TInplaceEdit::SendToGrid(uint16_t& key, TShiftState shift) {
  grid_->KeyDown(key, shift);
  key = 0;
}

void TInplaceEdit::KeyDown(uint16_t& key, TShiftState shift) {
  TWinControl::KeyDown(key, shift);
  switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT: SendToGrid(key, shift); break;
    case VK_TAB:
      if (!(shift & ssAlt)) SendToGrid(key, shift);
      break;
    case VK_LEFT:
    case VK_HOME:
      if (shift == 0 && AtStart()) {
        SendToGrid(key, shift);
      } else {
        MoveCaret(key);
        key = 0;
      }
      break;
    case VK_RIGHT:
    case VK_END:
      if (shift == 0 && AtEnd()) {
        SendToGrid(key, shift);
      } else {
        MoveCaret(key);
        key = 0;
      }
      break;
    case VK_DELETE:
      if (grid_->CanEditModify()) {
        if (selLength_ == 0) selLength_ = NextChar(selStart_) - selStart_;
        SetSelText("");
      }
      key = 0;
      break;
    default: break;
  }
}

void TInplaceEdit::KeyPress(char& key) {
  TWinControl::KeyPress(key);
  if (key == 0) return;
  grid_->KeyPress(key);  // Enter and Escape end the editing there
  if (key == 0 || key == '\r' || key == 27 || key == '\t') return;
  TypeKey(key);
}

void TInplaceEdit::TypeKey(char& key) {
  if (!grid_->CanEditAcceptKey(key)) {
    key = 0;
    return;
  }
  const unsigned char c = static_cast<unsigned char>(key);
  if (key == 8) {
    if (!grid_->CanEditModify()) return;
    if (selLength_ == 0 && selStart_ > 0) {
      const int prev = PrevChar(selStart_);
      selLength_ = selStart_ - prev;
      selStart_ = prev;
    }
    SetSelText("");
    return;
  }
  if (c < 32 && key != '\n') return;
  if (!grid_->CanEditModify()) {
    key = 0;
    return;
  }
  if (pendingLead_) {
    const char both[2] = {pendingLead_, key};
    pendingLead_ = 0;
    SetSelText(AnsiString(both, 2));
  } else if (IsSjisLeadByte(c)) {
    pendingLead_ = key;
  } else {
    SetSelText(AnsiString(1, key));
  }
}

QWidget* TInplaceEdit::CreateWidget(QWidget* parent) { return new EditWidget(this, parent); }

void TInplaceEdit::SyncWidget() {
  TWinControl::SyncWidget();
  auto* e = static_cast<EditWidget*>(widget_);
  syncing_ = true;
  e->setLineWrapMode(wrapLines_ ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  QPalette pal = e->palette();
  pal.setColor(QPalette::Base, ToQColor(Color()));
  pal.setColor(QPalette::Text, ToQColor(Font()->Color()));
  e->setPalette(pal);
  QString text = ToQ(Text());
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  if (e->toPlainText() != text) e->setPlainText(text);
  QTextCursor cursor = e->textCursor();
  cursor.setPosition(WidgetOffset(Text(), selStart_));
  cursor.setPosition(WidgetOffset(Text(), selStart_ + selLength_), QTextCursor::KeepAnchor);
  e->setTextCursor(cursor);
  syncing_ = false;
}

// ---- The grid's widget ----

// A frame with the grid's picture in a viewport and two scroll bars that follow the grid's top
// row and left column.
class GridWidget : public QFrame {
 public:
  GridWidget(TStringGrid* grid, QWidget* parent) : QFrame(parent), grid_(grid) {
    viewport_ = new Viewport(grid, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    QObject::connect(vbar_, &QScrollBar::valueChanged, [this](int v) {
      if (!syncing_) grid_->SetTopRow(grid_->FixedRows() + v);
    });
    QObject::connect(hbar_, &QScrollBar::valueChanged, [this](int v) {
      if (!syncing_) grid_->SetLeftCol(grid_->FixedCols() + v);
    });
  }
  QWidget* viewport() const { return viewport_; }
  void Sync() {
    syncing_ = true;
    const int b = grid_->BorderWidth();
    setFrameStyle(b ? QFrame::StyledPanel | QFrame::Sunken : QFrame::NoFrame);
    const int cw = grid_->ClientWidth(), ch = grid_->ClientHeight();
    viewport_->setGeometry(b, b, cw, ch);
    const bool v = grid_->NeedsVertBar(), h = grid_->NeedsHorzBar();
    const int ext = ScrollBarExtent();
    vbar_->setVisible(v);
    hbar_->setVisible(h);
    vbar_->setGeometry(b + cw, b, ext, ch);
    hbar_->setGeometry(b, b + ch, cw, ext);
    vbar_->setRange(0, std::max(0, grid_->MaxTopRow() - grid_->FixedRows()));
    vbar_->setPageStep(std::max(1, grid_->VisibleRowCount()));
    vbar_->setValue(grid_->TopRow() - grid_->FixedRows());
    vbar_->setTracking(grid_->Options() & goThumbTracking);
    hbar_->setRange(0, std::max(0, grid_->MaxLeftCol() - grid_->FixedCols()));
    hbar_->setPageStep(std::max(1, grid_->VisibleColCount()));
    hbar_->setValue(grid_->LeftCol() - grid_->FixedCols());
    hbar_->setTracking(grid_->Options() & goThumbTracking);
    syncing_ = false;
    viewport_->update();
  }

 private:
  class Viewport : public QWidget {
   public:
    Viewport(TStringGrid* grid, QWidget* parent) : QWidget(parent), grid_(grid) {
      setAttribute(Qt::WA_OpaquePaintEvent);
      setMouseTracking(true);
    }

   protected:
    void paintEvent(QPaintEvent*) override {
      QPainter p(this);
      p.drawImage(0, 0, grid_->Surface().impl()->Image());
    }
    bool event(QEvent* e) override {
      if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease && ForwardInput(grid_, e, QPoint()))
        return true;
      return QWidget::event(e);
    }

   private:
    TStringGrid* grid_;
  };

 protected:
  bool event(QEvent* e) override {
    if ((e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease || e->type() == QEvent::FocusIn) &&
        ForwardInput(grid_, e, QPoint()))
      return true;
    return QFrame::event(e);
  }

 private:
  TStringGrid* grid_;
  QWidget* viewport_;
  QScrollBar* vbar_;
  QScrollBar* hbar_;
  bool syncing_ = false;
};

// ---- TStringGrid: cells ----

TStringGrid::TStringGrid(TComponent* owner) : TCustomControl(owner) {
  SetColor(clWindow);
  TabStop = true;
  colWidths_.assign(colCount_, defaultColWidth_);
  SetBounds(0, 0, 320, 120);
}

TStringGrid::~TStringGrid() = default;

const TStringGrid::Cell* TStringGrid::FindCell(int col, int row) const {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return nullptr;
  const size_t p = static_cast<size_t>(row) / kPageRows;
  if (p >= pages_.size() || !pages_[p]) return nullptr;
  const CellRow* r = pages_[p]->rows[row % kPageRows].get();
  if (!r || static_cast<size_t>(col) >= r->size()) return nullptr;
  return &(*r)[col];
}

TStringGrid::Cell& TStringGrid::MakeCell(int col, int row) {
  const size_t p = static_cast<size_t>(row) / kPageRows;
  if (p >= pages_.size()) pages_.resize(p + 1);
  if (!pages_[p]) pages_[p] = std::make_unique<Page>();
  std::unique_ptr<CellRow>& r = pages_[p]->rows[row % kPageRows];
  if (!r) r = std::make_unique<CellRow>();
  if (static_cast<size_t>(col) >= r->size()) {
    const size_t made = r->size();
    r->resize(col + 1);
    if (fillCol_ >= 0 && static_cast<size_t>(fillCol_) >= made && Filled(fillCol_, row)) (*r)[fillCol_].object = fillObject_;
  }
  return (*r)[col];
}

void TStringGrid::EndFill() {
  if (fillCol_ < 0) return;
  for (int row = fillFrom_; row < std::min(fillTo_, rowCount_); ++row) MakeCell(fillCol_, row);
  fillCol_ = -1;
  fillFrom_ = fillTo_ = 0;
  fillObject_ = nullptr;
}

void TStringGrid::SetDataRowObjects(int col, void* object) {
  if (col < 0 || col >= colCount_) return;
  // A fill of the same column that the new one covers is simply replaced: making its cells first
  // would cost a cell for each of its rows (a list laid out again as it grows).
  if (col != fillCol_ || fillFrom_ < fixedRows_) EndFill();
  fillCol_ = col;
  fillFrom_ = fixedRows_;
  fillTo_ = rowCount_;
  fillObject_ = object;
  for (int p = 0; p < static_cast<int>(pages_.size()); ++p)
    if (pages_[size_t(p)])
      for (int i = 0; i < kPageRows; ++i) {
        CellRow* r = pages_[size_t(p)]->rows[i].get();
        if (r && static_cast<size_t>(col) < r->size() && Filled(col, p * kPageRows + i)) (*r)[size_t(col)].object = object;
      }
}

const AnsiString& TStringGrid::Cells(int col, int row) const {
  const Cell* c = FindCell(col, row);
  return c ? c->text : kEmpty;
}

void TStringGrid::SetCells(int col, int row, const AnsiString& text) {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
  const Cell* old = FindCell(col, row);
  if ((old ? old->text : kEmpty) == text) return;
  MakeCell(col, row).text = text;
  // Rows are at least a pixel high, so a row this far below the top row is out of view.
  if (row < fixedRows_ || (row >= topRow_ && row - topRow_ < Height())) Invalidate();
  if (editorMode_ && editor_ && col == current_.X && row == current_.Y && !updatingText_) editor_->SetEditorText(text);
}

void* TStringGrid::Objects(int col, int row) const {
  if (const Cell* c = FindCell(col, row)) return c->object;
  return Filled(col, row) ? fillObject_ : nullptr;
}

void TStringGrid::SetObjects(int col, int row, void* object) {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
  if (!object && !FindCell(col, row) && !Filled(col, row)) return;
  MakeCell(col, row).object = object;
}

// ---- TStringGrid: shape ----

void TStringGrid::SetColCount(int n) {
  n = std::max(1, n);
  if (n == colCount_) return;
  const int oldCols = colCount_;
  HideEditor();
  if (fillCol_ >= n) fillCol_ = -1;  // the column goes with its cells
  colCount_ = n;
  if (fixedCols_ >= n) fixedCols_ = n - 1;
  colWidths_.resize(n, defaultColWidth_);
  if (n < oldCols)
    for (auto& page : pages_)
      if (page)
        for (auto& row : page->rows)
          if (row && row->size() > static_cast<size_t>(n)) row->resize(n);
  current_.X = std::clamp(current_.X, fixedCols_, n - 1);
  anchor_.X = std::clamp(anchor_.X, fixedCols_, n - 1);
  leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, n - 1));
  SizeChanged(oldCols, rowCount_);
  Moved();
}

void TStringGrid::SetRowCount(int n) {
  n = std::max(1, n);
  if (n == rowCount_) return;
  const int oldRows = rowCount_;
  HideEditor();
  rowCount_ = n;
  fillTo_ = std::min(fillTo_, n);
  if (fixedRows_ >= n) fixedRows_ = n - 1;
  if (n < oldRows) {
    const size_t keep = (static_cast<size_t>(n) + kPageRows - 1) / kPageRows;
    if (pages_.size() > keep) pages_.resize(keep);
    if (!pages_.empty() && pages_.back())
      for (int r = n % kPageRows ? n % kPageRows : kPageRows; r < kPageRows; ++r) pages_.back()->rows[r].reset();
    rowHeights_.erase(rowHeights_.lower_bound(n), rowHeights_.end());
  }
  current_.Y = std::clamp(current_.Y, fixedRows_, n - 1);
  anchor_.Y = std::clamp(anchor_.Y, fixedRows_, n - 1);
  topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, n - 1));
  SizeChanged(colCount_, oldRows);
  Moved();
}

void TStringGrid::SetFixedCols(int n) {
  n = std::clamp(n, 0, colCount_ - 1);
  if (n == fixedCols_) return;
  HideEditor();
  // With fewer fixed columns, a view and a cell at the first data column stay at the first one.
  const int old = fixedCols_;
  fixedCols_ = n;
  if (n < old && leftCol_ == old) leftCol_ = n;
  if (n < old && current_.X == old && anchor_.X == old) current_.X = anchor_.X = n;
  current_.X = std::max(current_.X, n);
  anchor_.X = std::max(anchor_.X, n);
  if (leftCol_ < n) leftCol_ = n;
  Moved();
}

void TStringGrid::SetFixedRows(int n) {
  n = std::clamp(n, 0, rowCount_ - 1);
  if (n == fixedRows_) return;
  HideEditor();
  const int old = fixedRows_;
  fixedRows_ = n;
  if (n < old && topRow_ == old) topRow_ = n;
  if (n < old && current_.Y == old && anchor_.Y == old) current_.Y = anchor_.Y = n;
  current_.Y = std::max(current_.Y, n);
  anchor_.Y = std::max(anchor_.Y, n);
  if (topRow_ < n) topRow_ = n;
  Moved();
}

void TStringGrid::SetDefaultColWidth(int w) {
  defaultColWidth_ = std::max(0, w);
  colWidths_.assign(colCount_, defaultColWidth_);
  Moved();
}

void TStringGrid::SetDefaultRowHeight(int h) {
  defaultRowHeight_ = std::max(0, h);
  rowHeights_.clear();
  Moved();
}

int TStringGrid::ColWidths(int col) const {
  return col >= 0 && col < colCount_ ? colWidths_[col] : defaultColWidth_;
}

void TStringGrid::SetColWidths(int col, int w) {
  if (col < 0 || col >= colCount_) return;
  w = std::max(0, w);
  if (colWidths_[col] == w) return;
  colWidths_[col] = w;
  Moved();
  ColWidthsChanged();
}

int TStringGrid::RowHeights(int row) const {
  auto it = rowHeights_.find(row);
  return it == rowHeights_.end() ? defaultRowHeight_ : it->second;
}

void TStringGrid::SetRowHeights(int row, int h) {
  if (row < 0 || row >= rowCount_) return;
  h = std::max(0, h);
  if (RowHeights(row) == h) return;
  if (h == defaultRowHeight_)
    rowHeights_.erase(row);
  else
    rowHeights_[row] = h;
  Moved();
}

void TStringGrid::SetGridLineWidth(int w) {
  gridLineWidth_ = std::max(0, w);
  Moved();
}

void TStringGrid::SetOptions(TGridOptions o) {
  if (o == options_) return;
  if (o & goRowSelect) o &= ~goAlwaysShowEditor;
  options_ = o;
  if ((o & goRowSelect) || !(o & goEditing)) HideEditor();
  if (!(o & goRangeSelect)) anchor_ = current_;
  Moved();
}

void TStringGrid::SetDefaultDrawing(bool v) {
  defaultDrawing_ = v;
  Invalidate();
}

void TStringGrid::SetFixedColor(TColor c) {
  if (c == fixedColor_) return;
  fixedColor_ = c;
  Invalidate();
}

void TStringGrid::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  Moved();
}

void TStringGrid::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b;
  Moved();
}

// ---- TStringGrid: geometry ----

int TStringGrid::LineWidth(bool horizontal, bool fixed) const {
  const int option = horizontal ? (fixed ? goFixedVertLine : goVertLine) : (fixed ? goFixedHorzLine : goHorzLine);
  return options_ & option ? gridLineWidth_ : 0;
}

int TStringGrid::FixedExtent(bool horizontal) const {
  int extent = 0;
  const int n = horizontal ? fixedCols_ : fixedRows_;
  for (int i = 0; i < n; ++i) extent += (horizontal ? ColWidths(i) : RowHeights(i)) + LineWidth(horizontal, true);
  return extent;
}

namespace {

// Whether extents first..count-1 (each with its line), after fixed, fit in avail.
template <class Extent>
bool Fits(int fixed, int first, int count, int avail, const Extent& extent) {
  int used = fixed;
  for (int i = first; i < count; ++i) {
    used += std::max(1, extent(i));
    if (used > avail) return false;
  }
  return true;
}

}  // namespace

void TStringGrid::ScrollBarsNeeded(bool& horz, bool& vert) const {
  const bool mayH = scrollBars_ == ssHorizontal || scrollBars_ == ssBoth;
  const bool mayV = scrollBars_ == ssVertical || scrollBars_ == ssBoth;
  const int inner = Width() - 2 * BorderWidth(), innerH = Height() - 2 * BorderWidth();
  const int ext = ScrollBarExtent();
  auto colsFit = [&](int avail) {
    return Fits(FixedExtent(true), fixedCols_, colCount_, avail, [&](int c) { return ColWidths(c) + LineWidth(true, false); });
  };
  auto rowsFit = [&](int avail) {
    return Fits(FixedExtent(false), fixedRows_, rowCount_, avail, [&](int r) { return RowHeights(r) + LineWidth(false, false); });
  };
  // Each bar takes room from the other direction: settle them in two rounds.
  horz = mayH && !colsFit(inner);
  vert = mayV && !rowsFit(innerH - (horz ? ext : 0));
  if (mayH && !horz && vert && !colsFit(inner - ext)) {
    horz = true;
    vert = !rowsFit(innerH - ext);
  }
}

bool TStringGrid::NeedsHorzBar() const {
  bool h = false, v = false;
  ScrollBarsNeeded(h, v);
  return h;
}

bool TStringGrid::NeedsVertBar() const {
  bool h = false, v = false;
  ScrollBarsNeeded(h, v);
  return v;
}

int TStringGrid::ClientWidth() const {
  return std::max(0, Width() - 2 * BorderWidth() - (NeedsVertBar() ? ScrollBarExtent() : 0));
}

int TStringGrid::ClientHeight() const {
  return std::max(0, Height() - 2 * BorderWidth() - (NeedsHorzBar() ? ScrollBarExtent() : 0));
}

std::vector<TStringGrid::Span> TStringGrid::Spans(bool horizontal) const {
  std::vector<Span> spans;
  const int limit = horizontal ? ClientWidth() : ClientHeight();
  const int fixed = horizontal ? fixedCols_ : fixedRows_;
  const int count = horizontal ? colCount_ : rowCount_;
  int pos = 0;
  for (int i = 0; i < fixed && pos < limit; ++i) {
    const int size = horizontal ? ColWidths(i) : RowHeights(i);
    spans.push_back({i, pos, size});
    pos += size + LineWidth(horizontal, true);
  }
  for (int i = horizontal ? leftCol_ : topRow_; i < count && pos < limit; ++i) {
    const int size = horizontal ? ColWidths(i) : RowHeights(i);
    spans.push_back({i, pos, size});
    pos += size + LineWidth(horizontal, false);
  }
  return spans;
}

int TStringGrid::FirstInView(bool horizontal, int last, int lowest) const {
  const int avail = (horizontal ? ClientWidth() : ClientHeight()) - FixedExtent(horizontal);
  auto extent = [&](int i) { return (horizontal ? ColWidths(i) : RowHeights(i)) + LineWidth(horizontal, false); };
  int first = last;
  if (first < lowest) return lowest;
  int used = extent(first);
  while (first - 1 >= lowest) {
    const int next = std::max(1, extent(first - 1));
    if (used + next > avail) break;
    used += next;
    --first;
  }
  return first;
}

int TStringGrid::MaxTopRow() const { return FirstInView(false, rowCount_ - 1, fixedRows_); }

int TStringGrid::MaxLeftCol() const { return FirstInView(true, colCount_ - 1, fixedCols_); }

int TStringGrid::VisibleRowCount() const {
  const int limit = ClientHeight();
  int n = 0;
  for (const Span& s : Spans(false))
    if (s.index >= fixedRows_ && s.start + s.size <= limit) ++n;
  return n;
}

int TStringGrid::VisibleColCount() const {
  const int limit = ClientWidth();
  int n = 0;
  for (const Span& s : Spans(true))
    if (s.index >= fixedCols_ && s.start + s.size <= limit) ++n;
  return n;
}

TGridCoord TStringGrid::MouseCoord(int x, int y) const {
  TGridCoord c{-1, -1};
  for (const Span& s : Spans(true))
    if (x >= s.start && x < s.start + s.size + LineWidth(true, s.index < fixedCols_)) c.X = s.index;
  for (const Span& s : Spans(false))
    if (y >= s.start && y < s.start + s.size + LineWidth(false, s.index < fixedRows_)) c.Y = s.index;
  if (c.X < 0 || c.Y < 0) return {-1, -1};
  return c;
}

void TStringGrid::MouseToCell(int x, int y, int& col, int& row) const {
  const TGridCoord c = MouseCoord(x, y);
  col = c.X;
  row = c.Y;
}

TRect TStringGrid::CellRect(int col, int row) const {
  TRect r;
  bool haveCol = false, haveRow = false;
  for (const Span& s : Spans(true))
    if (s.index == col) {
      r.Left = s.start;
      r.Right = s.start + s.size;
      haveCol = true;
    }
  if (!haveCol) return TRect{};
  for (const Span& s : Spans(false))
    if (s.index == row) {
      r.Top = s.start;
      r.Bottom = s.start + s.size;
      haveRow = true;
    }
  return haveRow ? r : TRect{};
}

// ---- TStringGrid: current cell, selection and view ----

TGridRect TStringGrid::Selection() const {
  TGridRect r{std::min(anchor_.X, current_.X), std::min(anchor_.Y, current_.Y), std::max(anchor_.X, current_.X),
              std::max(anchor_.Y, current_.Y)};
  if (options_ & goRowSelect) {
    r.Left = fixedCols_;
    r.Right = colCount_ - 1;
  }
  return r;
}

void TStringGrid::SetSelection(const TGridRect& r) {
  anchor_ = {std::clamp(r.Left, 0, colCount_ - 1), std::clamp(r.Top, 0, rowCount_ - 1)};
  current_ = {std::clamp(r.Right, 0, colCount_ - 1), std::clamp(r.Bottom, 0, rowCount_ - 1)};
  Invalidate();
  InvalidateEditor();
}

void TStringGrid::SetCol(int c) { FocusCell(c, current_.Y, false); }

void TStringGrid::SetRow(int r) { FocusCell(current_.X, r, false); }

bool TStringGrid::SelectCell(int col, int row) {
  bool can = true;
  if (OnSelectCell) OnSelectCell(this, col, row, can);
  return can;
}

void TStringGrid::FocusCell(int col, int row, bool keepAnchor) {
  col = std::clamp(col, fixedCols_, colCount_ - 1);
  row = std::clamp(row, fixedRows_, rowCount_ - 1);
  if (col < fixedCols_ || row < fixedRows_) return;  // a grid of fixed cells only
  if (!(TGridCoord{col, row} == current_)) {
    if (!SelectCell(col, row)) return;
    UpdateText();
  }
  current_ = {col, row};
  if (!keepAnchor || !(options_ & goRangeSelect)) anchor_ = current_;
  ScrollIntoView(col, row);
  Invalidate();
  InvalidateEditor();
}

void TStringGrid::ScrollIntoView(int col, int row) {
  if (row >= fixedRows_) {
    if (row < topRow_)
      SetTopRow(row);
    else if (const int top = FirstInView(false, row, topRow_); top > topRow_)
      SetTopRow(top);
  }
  if (col >= fixedCols_ && !(options_ & goRowSelect)) {
    if (col < leftCol_)
      SetLeftCol(col);
    else if (const int left = FirstInView(true, col, leftCol_); left > leftCol_)
      SetLeftCol(left);
  }
}

void TStringGrid::SetTopRow(int r) {
  r = std::clamp(r, fixedRows_, std::max(fixedRows_, MaxTopRow()));
  if (r == topRow_) return;
  topRow_ = r;
  TopLeftChanged();
  Moved();
}

void TStringGrid::SetLeftCol(int c) {
  c = std::clamp(c, fixedCols_, std::max(fixedCols_, MaxLeftCol()));
  if (c == leftCol_) return;
  leftCol_ = c;
  TopLeftChanged();
  Moved();
}

void TStringGrid::TopLeftChanged() {
  if (OnTopLeftChanged) OnTopLeftChanged(this);
}

void TStringGrid::MoveColumn(int from, int to) {
  if (from == to || from < 0 || to < 0 || from >= colCount_ || to >= colCount_) return;
  HideEditor();
  EndFill();
  const size_t lo = size_t(std::min(from, to)), hi = size_t(std::max(from, to));
  auto shift = [&](auto& v) {
    if (from < to)
      std::rotate(v.begin() + lo, v.begin() + lo + 1, v.begin() + hi + 1);
    else
      std::rotate(v.begin() + lo, v.begin() + hi, v.begin() + hi + 1);
  };
  for (auto& page : pages_)
    if (page)
      for (auto& row : page->rows)
        if (row && row->size() > lo) {
          if (row->size() <= hi) row->resize(hi + 1);
          shift(*row);
        }
  shift(colWidths_);
  Moved();
  ColumnMoved(from, to);
}

void TStringGrid::ColumnMoved(int from, int to) {
  if (OnColumnMoved) OnColumnMoved(this, from, to);
}

void TStringGrid::Moved() {
  Invalidate();
  InvalidateEditor();
  UpdateWidget();
}

// ---- TStringGrid: painting ----

void TStringGrid::DrawFixedEdges(const TRect& rect) {
  TCanvas* c = Canvas();
  TRect r = rect;
  if (options_ & goFixedVertLine) {
    r.Right += gridLineWidth_;
    c->DrawEdge(r, BDR_RAISEDINNER, BF_RIGHT);
    r.Right -= gridLineWidth_;
    c->DrawEdge(r, BDR_RAISEDINNER, BF_LEFT);
  }
  if (options_ & goFixedHorzLine) {
    r.Bottom += gridLineWidth_;
    c->DrawEdge(r, BDR_RAISEDINNER, BF_BOTTOM);
    r.Bottom -= gridLineWidth_;
    c->DrawEdge(r, BDR_RAISEDINNER, BF_TOP);
  }
}

void TStringGrid::Paint() {
  TCanvas* c = Canvas();
  const std::vector<Span> cols = Spans(true), rows = Spans(false);
  const TGridRect sel = Selection();
  const bool focused = Focused();
  const TColor dataLine = ColorToRGB(Color()) == ColorToRGB(clSilver) ? clGray : clSilver;
  for (const Span& rs : rows) {
    for (const Span& cs : cols) {
      const int col = cs.index, row = rs.index;
      const bool fixed = col < fixedCols_ || row < fixedRows_;
      const TRect rect = Rect(cs.start, rs.start, cs.start + cs.size, rs.start + rs.size);
      TGridDrawState state = fixed ? gdFixed : 0;
      if (!fixed) {
        if (focused && col == current_.X && row == current_.Y) state |= gdFocused;
        if (col >= sel.Left && col <= sel.Right && row >= sel.Top && row <= sel.Bottom) state |= gdSelected;
      }
      if (defaultDrawing_) {
        c->Font()->Assign(*Font());
        c->Brush()->SetStyle(bsSolid);
        if (fixed) {
          c->Brush()->SetColor(fixedColor_);
        } else if ((state & gdSelected) && (!(state & gdFocused) || (options_ & (goDrawFocusSelected | goRowSelect)))) {
          c->Brush()->SetColor(clHighlight);
          c->Font()->SetColor(clHighlightText);
        } else {
          c->Brush()->SetColor(Color());
        }
        c->FillRect(rect);
      }
      DrawCell(col, row, rect, state);
      if (defaultDrawing_ && fixed && Ctl3D) DrawFixedEdges(rect);
      if (defaultDrawing_ && (state & gdFocused) && !(options_ & goRowSelect) &&
          (options_ & (goEditing | goAlwaysShowEditor)) != (goEditing | goAlwaysShowEditor))
        c->DrawFocusRect(rect);
      // The grid lines to the right of and below the cell.
      const int lw = LineWidth(true, col < fixedCols_ || row < fixedRows_);
      const int lh = LineWidth(false, col < fixedCols_ || row < fixedRows_);
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(fixed ? clBlack : dataLine);
      if (lw > 0) c->FillRect(Rect(rect.Right, rect.Top, rect.Right + lw, rect.Bottom + lh));
      if (lh > 0) c->FillRect(Rect(rect.Left, rect.Bottom, rect.Right + lw, rect.Bottom + lh));
    }
  }
  // Where a dragged heading would go: a bar on the side of the target that it would take.
  if (gridState_ == TGridState::ColMoving && moveTarget_ >= 0 && moveTarget_ != sizingIndex_)
    for (const Span& cs : cols)
      if (cs.index == moveTarget_) {
        const int x = moveTarget_ > sizingIndex_ ? cs.start + cs.size : cs.start;
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(clBlack);
        c->FillRect(Rect(x - 1, 0, x + 2, ClientHeight()));
      }
}

void TStringGrid::DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {
  if (defaultDrawing_) Canvas()->TextRect(rect, rect.Left + 2, rect.Top + 2, Cells(col, row));
  if (OnDrawCell) OnDrawCell(this, col, row, rect, state);
}

// ---- TStringGrid: editing ----

TInplaceEdit* TStringGrid::CreateEditor() { return new TInplaceEdit(this); }

AnsiString TStringGrid::GetEditText(int col, int row) {
  AnsiString value = Cells(col, row);
  if (OnGetEditText) OnGetEditText(this, col, row, value);
  return value;
}

void TStringGrid::SetEditText(int col, int row, const AnsiString& value) {
  SetCells(col, row, value);
  if (OnSetEditText) OnSetEditText(this, col, row, value);
}

void TStringGrid::UpdateText() {
  if (!editorMode_ || !editor_ || updatingText_) return;
  updatingText_ = true;
  SetEditText(current_.X, current_.Y, editor_->Text());
  updatingText_ = false;
}

void TStringGrid::SetEditorMode(bool v) {
  if (v)
    ShowEditor();
  else
    HideEditor();
}

void TStringGrid::ShowEditor() {
  if ((options_ & (goEditing | goRowSelect)) != goEditing) return;
  if (current_.X < fixedCols_ || current_.Y < fixedRows_) return;
  if (!editor_) {
    editor_ = CreateEditor();
    editor_->SetParent(this);
  }
  editorMode_ = true;
  InvalidateEditor();
}

void TStringGrid::InvalidateEditor() {
  if (!editorMode_ || !editor_) return;
  const AnsiString text = GetEditText(current_.X, current_.Y);
  editorOriginal_ = Cells(current_.X, current_.Y);
  editor_->pendingLead_ = 0;
  editor_->SetEditorText(text);
  editor_->SelectAll();
  const TRect r = CellRect(current_.X, current_.Y);
  if (r.Empty()) {
    editor_->Hide();
    return;
  }
  editor_->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  editor_->Show();
  if (editor_->Widget() && Focused()) editor_->Widget()->setFocus();
}

void TStringGrid::HideEditor() {
  if (!editorMode_) return;
  UpdateText();
  editorMode_ = false;
  if (editor_) {
    editor_->Hide();
    if (widget_ && Focused()) widget_->setFocus();
  }
  Invalidate();
}

void TStringGrid::DoExit() {
  TCustomControl::DoExit();
  if (!(options_ & goAlwaysShowEditor)) HideEditor();
}

// ---- TStringGrid: keyboard ----

void TStringGrid::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  const bool rowSelect = options_ & goRowSelect;
  const bool extend = (shift & ssShift) && (options_ & goRangeSelect);
  int col = current_.X, row = current_.Y;
  const int page = std::max(1, VisibleRowCount());
  switch (key) {
    case VK_UP: --row; break;
    case VK_DOWN: ++row; break;
    case VK_LEFT:
      if (rowSelect) {
        SetLeftCol(leftCol_ - 1);
        return;
      }
      --col;
      break;
    case VK_RIGHT:
      if (rowSelect) {
        SetLeftCol(leftCol_ + 1);
        return;
      }
      ++col;
      break;
    case VK_PRIOR:
      SetTopRow(topRow_ - page);
      row -= page;
      break;
    case VK_NEXT:
      SetTopRow(topRow_ + page);
      row += page;
      break;
    case VK_HOME:
      if ((shift & ssCtrl) || rowSelect) row = fixedRows_;
      col = fixedCols_;
      break;
    case VK_END:
      if ((shift & ssCtrl) || rowSelect) row = rowCount_ - 1;
      col = colCount_ - 1;
      break;
    case VK_TAB:
      if (!(options_ & goTabs)) return;
      if (shift & ssShift) {
        if (--col < fixedCols_) {
          col = colCount_ - 1;
          --row;
        }
      } else if (++col >= colCount_) {
        col = fixedCols_;
        ++row;
      }
      if (row < fixedRows_ || row >= rowCount_) return;
      FocusCell(col, row, false);
      return;
    case VK_F2:
      if (options_ & goEditing) ShowEditor();
      return;
    default: return;
  }
  FocusCell(col, row, extend);
}

void TStringGrid::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  if (key == 0 || !(options_ & goEditing)) return;
  if (key == '\r') {
    if (!(options_ & goAlwaysShowEditor)) {
      if (editorMode_)
        HideEditor();
      else
        ShowEditor();
    }
    key = 0;
    return;
  }
  if (key == 27) {
    if (editorMode_ && editor_) {
      // Back to the text the cell had when the editor opened.
      editor_->SetEditorText(editorOriginal_);
      UpdateText();
      if (!(options_ & goAlwaysShowEditor)) HideEditor();
    }
    key = 0;
    return;
  }
  if (editorMode_ || static_cast<unsigned char>(key) < 32) return;
  if (!CanEditAcceptKey(key) || !CanEditModify()) return;
  ShowEditor();
  if (editorMode_ && editor_) editor_->TypeKey(key);  // the typed key replaces the text
}

// ---- TStringGrid: mouse ----

void TStringGrid::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (TabStop && CanFocus() && !Focused()) SetFocus();
  pressedOnCurrent_ = false;
  if (button == mbLeft) {
    // A press on the edge of a fixed cell sizes its column or row.
    const std::vector<Span> cols = Spans(true), rows = Spans(false);
    const int fixedBottom = FixedExtent(false), fixedRight = FixedExtent(true);
    if ((options_ & goColSizing) && y < fixedBottom)
      for (const Span& s : cols)
        if (std::abs(x - (s.start + s.size)) <= 2) {
          gridState_ = TGridState::ColSizing;
          sizingIndex_ = s.index;
          sizingStart_ = s.start;
        }
    if (gridState_ == TGridState::Normal && (options_ & goRowSizing) && x < fixedRight)
      for (const Span& s : rows)
        if (std::abs(y - (s.start + s.size)) <= 2) {
          gridState_ = TGridState::RowSizing;
          sizingIndex_ = s.index;
          sizingStart_ = s.start;
        }
    if (gridState_ == TGridState::Normal && (options_ & goColMoving) && y < fixedBottom) {
      const TGridCoord cell = MouseCoord(x, y);
      if (cell.X >= fixedCols_ && cell.Y >= 0 && cell.Y < fixedRows_) {
        gridState_ = TGridState::ColMoving;
        sizingIndex_ = moveTarget_ = cell.X;
      }
    }
    if (gridState_ == TGridState::Normal) {
      const TGridCoord cell = MouseCoord(x, y);
      if (cell.X >= fixedCols_ && cell.Y >= fixedRows_) {
        pressedOnCurrent_ = cell == current_ && !(shift & ssDouble);
        if (editorMode_ && !pressedOnCurrent_) HideEditor();
        FocusCell(cell.X, cell.Y, shift & ssShift);
        gridState_ = TGridState::Selecting;
      }
    }
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TStringGrid::MouseMove(TShiftState shift, int x, int y) {
  switch (gridState_) {
    case TGridState::Selecting: {
      if (!(shift & ssLeft)) break;
      // The cell under the pointer, or the nearest data cell when it is outside them.
      TGridCoord cell = MouseCoord(std::clamp(x, 0, std::max(0, ClientWidth() - 1)),
                                   std::clamp(y, 0, std::max(0, ClientHeight() - 1)));
      if (cell.X < 0) break;
      if (y >= ClientHeight()) cell.Y = std::min(rowCount_ - 1, cell.Y + 1);
      if (y < FixedExtent(false)) cell.Y = std::max(fixedRows_, topRow_ - 1);
      if (x >= ClientWidth()) cell.X = std::min(colCount_ - 1, cell.X + 1);
      if (x < FixedExtent(true)) cell.X = std::max(fixedCols_, leftCol_ - 1);
      if (!(cell == current_)) {
        pressedOnCurrent_ = false;
        FocusCell(cell.X, cell.Y, true);
      }
      break;
    }
    case TGridState::ColSizing: SetColWidths(sizingIndex_, x - sizingStart_); break;
    case TGridState::RowSizing: SetRowHeights(sizingIndex_, y - sizingStart_); break;
    case TGridState::ColMoving: {
      const int target = MoveTargetAt(x);
      if (target != moveTarget_) {
        moveTarget_ = target;
        Invalidate();
      }
      break;
    }
    default: break;
  }
  TCustomControl::MouseMove(shift, x, y);
}

int TStringGrid::MoveTargetAt(int x) const {
  const TGridCoord cell = MouseCoord(std::clamp(x, 0, std::max(0, ClientWidth() - 1)), 0);
  if (cell.X < 0) return colCount_ - 1;  // beyond the last column
  return std::max(cell.X, fixedCols_);
}

void TStringGrid::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  const bool wasSelecting = gridState_ == TGridState::Selecting;
  if (gridState_ == TGridState::ColMoving) {
    gridState_ = TGridState::Normal;
    const int from = sizingIndex_, to = MoveTargetAt(x);
    moveTarget_ = -1;
    Invalidate();
    if (to != from) MoveColumn(from, to);
  }
  // OnMouseUp still sees the sizing that this release ends (GridState), so that it can keep the
  // new widths.
  const bool sizing = gridState_ == TGridState::ColSizing || gridState_ == TGridState::RowSizing;
  if (!sizing) gridState_ = TGridState::Normal;
  if (wasSelecting && pressedOnCurrent_ && (options_ & goEditing) && MouseCoord(x, y) == current_) ShowEditor();
  pressedOnCurrent_ = false;
  TCustomControl::MouseUp(button, shift, x, y);
  gridState_ = TGridState::Normal;
}

bool TStringGrid::DoMouseWheelDown(TShiftState, TPoint) {
  FocusCell(current_.X, current_.Y + 1, false);
  return true;
}

bool TStringGrid::DoMouseWheelUp(TShiftState, TPoint) {
  FocusCell(current_.X, current_.Y - 1, false);
  return true;
}

// ---- TStringGrid: widget ----

QWidget* TStringGrid::CreateWidget(QWidget* parent) { return new GridWidget(this, parent); }

QWidget* TStringGrid::ClientWidget() const { return widget_ ? static_cast<GridWidget*>(widget_)->viewport() : nullptr; }

void TStringGrid::SyncWidget() {
  TWinControl::SyncWidget();
  auto* w = static_cast<GridWidget*>(widget_);
  w->setFocusPolicy(TabStop ? Qt::StrongFocus : Qt::NoFocus);
  w->Sync();
}
