#include "views/CvStrGrid.h"

#include <algorithm>

#include "foundation/CellFormat.h"

namespace {

const AnsiString kNoText;

// The record's text at pos, "" where the record has none.
const AnsiString& RawAt(const TStrings* data, int pos) {
  return data && pos >= 0 && pos < data->Count() ? data->Strings(pos) : kNoText;
}

bool HasAt(const TStrings* data, int pos) { return data && pos >= 0 && pos < data->Count(); }

// A printed length: grid pixels times the scale, truncated toward zero.
int Scaled(double v) { return static_cast<int>(v); }

// Sets the canvas pen for a grid line and gives the one it replaced back at the end of the scope.
class PenScope {
 public:
  PenScope(TCanvas* canvas, TColor color, int width) : canvas_(canvas) {
    kept_.Assign(*canvas->Pen());
    TPen* pen = canvas->Pen();
    pen->SetColor(color);
    pen->SetWidth(std::max(1, width));
    pen->SetStyle(psSolid);
    pen->SetMode(pmCopy);
  }
  ~PenScope() { canvas_->Pen()->Assign(kept_); }
  void Width(int w) { canvas_->Pen()->SetWidth(std::max(1, w)); }

 private:
  TCanvas* canvas_;
  TPen kept_;
};

void Line(TCanvas* canvas, int x1, int y1, int x2, int y2) {
  canvas->MoveTo(x1, y1);
  canvas->LineTo(x2, y2);
}

}  // namespace

TCvStrGrid::TCvStrGrid(TComponent* owner) : TStringGridEx(owner) {
  SetDefaultRowHeight(17);
  SetFixedCenter(true);
  SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goColSizing | goThumbTracking);
  SetGridStyle(gsStriped);
  // A heading and one empty row until records are given: a group without members shows no rows
  // of records that are not there.
  SetRowCount(2);
  rows_.resize(RowCount());
}

TCvStrGrid::~TCvStrGrid() = default;

// ---- Columns ----

bool TCvStrGrid::IsVisibleColumn(const CCapInfo* info) {
  if (!info) return false;
  return (info->Flags & CI_DETAIL_OWN) ? (info->Flags & CI_DETAIL_SHOWN) != 0 : info->Shown;
}

CCapInfo* TCvStrGrid::ColumnInfo(int col) const {
  if (col < 0 || col >= ColCount()) return nullptr;
  return static_cast<CCapInfo*>(Objects(col, 0));
}

void TCvStrGrid::Bind(CCapInfoList* list) {
  binding_ = true;
  const int count = list ? list->Count() : 0;
  int visible = 0;
  for (int i = 0; i < count; ++i) {
    CCapInfo* info = list->GetItem(i);
    info->Position = i;
    if (IsVisibleColumn(info)) ++visible;
  }
  // Without a visible column the grid keeps one empty column: a grid has at least one.
  if (ColCount() != std::max(visible, 1)) SetColCount(std::max(visible, 1));
  int col = 0;
  for (int i = 0; i < count; ++i) {
    CCapInfo* info = list->GetItem(i);
    if (!IsVisibleColumn(info)) continue;
    SetObjects(col, 0, info);
    SetCells(col, 0, info->Caption);
    SetColWidths(col, info->Width);
    const TAlignment alignment = info->Alignment == 1 ? taCenter : info->Alignment == 2 ? taRightJustify : taLeftJustify;
    GridColumns()->Items(col)->SetAlignment(alignment);
    ++col;
  }
  for (; col < ColCount(); ++col) {
    SetObjects(col, 0, nullptr);
    SetCells(col, 0, "");
  }
  // The columns changed under the rows: every row is filled again.
  for (TCvsgRowInfo& info : rows_) info.state = -1;
  binding_ = false;
}

void TCvStrGrid::SetCapInfoList(CCapInfoList* list) {
  Bind(list);
  SetFixedCols(0);
  SetFixedRows(1);
  changeCount_ = 0;
  sortColumns_.clear();
}

void TCvStrGrid::ResetCapInfoList(CCapInfoList* list) {
  Bind(list);
  Sort_b();
  Invalidate();
  ++changeCount_;
}

void TCvStrGrid::ColWidthsChanged() {
  TStringGridEx::ColWidthsChanged();
  if (binding_) return;
  bool changed = false;
  for (int col = ColCount() - 1; col >= 0; --col) {
    CCapInfo* info = ColumnInfo(col);
    if (!info || info->Width == ColWidths(col)) continue;
    info->Width = ColWidths(col);
    ++changeCount_;
    changed = true;
  }
  if (changed && OnColWidthsChanged) OnColWidthsChanged(this);
}

// ---- Rows ----

void TCvStrGrid::SizeChanged(int oldColCount, int oldRowCount) {
  TStringGridEx::SizeChanged(oldColCount, oldRowCount);
  rows_.resize(RowCount());
}

void TCvStrGrid::SetRowData(int row, TStrings* data) {
  if (row < 1) return;
  if (RowCount() != row + 1) SetRowCount(row + 1);
  rows_.resize(row + 1);
  rows_[row] = TCvsgRowInfo{-1, data};
}

TStrings* TCvStrGrid::RowData(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].data : nullptr;
}

int TCvStrGrid::RowState(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].state : -1;
}

AnsiString TCvStrGrid::CookedStr(const AnsiString& value, const CCapInfo* info) { return FormatCellValue(info, value); }

AnsiString TCvStrGrid::strip_crlf(const AnsiString& text) {
  // CR and LF are never the second byte of a Shift_JIS character.
  AnsiString out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

void TCvStrGrid::CheckCellsData(int row) {
  if (row < 0 || row >= RowCount() || row >= static_cast<int>(rows_.size())) return;
  TCvsgRowInfo& info = rows_[row];
  if (info.state != -1 || !info.data) return;
  const TStrings* data = info.data;
  const TStrings* previous = row - 1 >= 1 ? rows_[row - 1].data : nullptr;
  int differs = -1;
  for (int col = 0; col < ColCount(); ++col) {
    const CCapInfo* column = ColumnInfo(col);
    AnsiString text;
    if (column && HasAt(data, column->Position)) text = strip_crlf(CookedStr(data->Strings(column->Position), column));
    SetCells(col, row, text);
    // The ditto rule looks at the stored values, line breaks and all.
    if (differs < 0 && previous && column && column->Ditto &&
        RawAt(data, column->Position) != RawAt(previous, column->Position))
      differs = col;
  }
  info.state = differs < 0 ? 0 : differs;
}

AnsiString TCvStrGrid::ShownText(int col, int row) {
  const CCapInfo* info = ColumnInfo(col);
  if (info && info->Ditto && RowState(row) > col) return info->DittoMark;
  return Cells(col, row);
}

bool TCvStrGrid::LineBelow(int col, int row) {
  if (row >= RowCount() - 1) return true;
  const CCapInfo* info = ColumnInfo(col);
  if (!info || !info->Borders) return false;
  if (!info->Ditto) return true;
  CheckCellsData(row + 1);
  return RowState(row + 1) <= col;
}

// ---- Sorting ----

void TCvStrGrid::Sort(const int* columns) {
  sortColumns_.clear();
  if (columns)
    for (const int* c = columns; *c >= 0 && *c < ColCount(); ++c)
      if (ColumnInfo(*c)) sortColumns_.push_back(*c);
  Sort_b();
}

int TCvStrGrid::CompareRows(const TStrings* a, const TStrings* b) const {
  for (int col : sortColumns_) {
    const CCapInfo* info = ColumnInfo(col);
    if (!info) continue;
    const int result = CompareCellValues(info, a, b);
    if (result == CELL_MISSING) {
      const bool hasA = HasAt(a, info->Position), hasB = HasAt(b, info->Position);
      if (hasA != hasB) return hasA ? -1 : 1;
      continue;
    }
    if (result != 0) return result < 0 ? -1 : 1;
  }
  return 0;
}

void TCvStrGrid::Sort_b() {
  if (sortColumns_.empty()) return;
  // The rows with data are sorted among their own places; a row without data stays where it is.
  std::vector<int> places;
  TCvsgRowInfoList items;
  for (int row = 1; row < static_cast<int>(rows_.size()); ++row)
    if (rows_[row].data) {
      places.push_back(row);
      items.push_back(rows_[row]);
    }
  // A merge sort: stable, n log n comparisons, and it stays inside its lists whatever the
  // comparison answers.
  const size_t n = items.size();
  TCvsgRowInfoList merged(n);
  for (size_t width = 1; width < n; width *= 2) {
    for (size_t lo = 0; lo < n; lo += 2 * width) {
      const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      size_t i = lo, j = mid, k = lo;
      while (i < mid && j < hi) merged[k++] = CompareRows(items[j].data, items[i].data) < 0 ? items[j++] : items[i++];
      while (i < mid) merged[k++] = items[i++];
      while (j < hi) merged[k++] = items[j++];
    }
    items.swap(merged);
  }
  for (size_t i = 0; i < n; ++i) rows_[places[i]] = items[i];
  // Cells belong to grid rows, and ditto marks to the row above: both are made again.
  for (TCvsgRowInfo& info : rows_) info.state = -1;
  Invalidate();
}

// ---- Screen ----

void TCvStrGrid::DrawCell(int col, int row, const TRect& rect, TGridDrawState state) {
  CheckCellsData(row);
  if (row < TopRow()) {
    TStringGridEx::DrawCell(col, row, rect, state);
    return;
  }
  if (row == TopRow()) {
    // The top row in view shows its full texts: the row its marks refer to is scrolled away.
    TStringGridEx::DrawCell(col, row, rect, state);
    topRowDrawn_ = row;
  } else {
    DrawCellStr(ShownText(col, row), col, row, rect, state);
  }
  if (LineBelow(col, row)) {
    TCanvas* canvas = Canvas();
    PenScope pen(canvas, clWindowText, GridLineWidth());
    Line(canvas, rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom - 1);
  }
}

void TCvStrGrid::TopLeftChanged() {
  TStringGridEx::TopLeftChanged();
  // The new top row must show its full texts and the former one its ditto marks again.
  if (TopRow() != topRowDrawn_) Invalidate();
  topRowDrawn_ = -1;
}

// ---- Printing ----

void TCvStrGrid::Print(TCanvas* canvas, const TRect& area, double scaleX, double scaleY, int first, int count) {
  if (!canvas) return;
  printScaleX_ = scaleX;
  printScaleY_ = scaleY;
  first = std::max(first, 0);
  const int last = std::min(first + std::max(count, 0), RowCount()) - 1;
  if (first > last) return;
  canvas->Font()->Assign(*Font());
  const int lineWidth = GridLineWidth();
  int y = lineWidth;
  int blockLeft = area.Left, blockTop = area.Top, blockRight = area.Left, blockBottom = area.Top;
  for (int row = first; row <= last; ++row) {
    CheckCellsData(row);
    const int top = area.Top + Scaled(y * scaleY);
    y += RowHeights(row) + lineWidth;
    const int bottom = area.Top + Scaled(y * scaleY);
    int x = lineWidth;
    for (int col = 0; col < ColCount(); ++col) {
      const int left = area.Left + Scaled(x * scaleX);
      x += ColWidths(col) + lineWidth;
      const int right = area.Left + Scaled(x * scaleX);
      const TGridDrawState state = row < FixedRows() || col < FixedCols() ? gdFixed : 0;
      PrintCell(canvas, col, row, Rect(left, top, right, bottom), state, row == first);
      if (col == 0) blockLeft = left;
      blockRight = right;
    }
    if (row == first) blockTop = top;
    blockBottom = bottom;
  }
  const int thick = Scaled(2 * lineWidth * scaleY), thin = Scaled(lineWidth * scaleY);
  PenScope pen(canvas, clBlack, thick);
  Line(canvas, blockLeft, blockTop, blockLeft, blockBottom);
  Line(canvas, blockRight, blockTop, blockRight, blockBottom);
  pen.Width(first == 0 ? thick : thin);
  Line(canvas, blockLeft, blockTop, blockRight, blockTop);
  pen.Width(last == RowCount() - 1 ? thick : thin);
  Line(canvas, blockLeft, blockBottom, blockRight, blockBottom);
}

void TCvStrGrid::PrintCell(TCanvas* canvas, int col, int row, const TRect& rect, TGridDrawState state,
                           bool firstPrinted) {
  const bool fixed = state & gdFixed;
  const AnsiString text = firstPrinted || fixed ? Cells(col, row) : ShownText(col, row);
  const int lineWidth = GridLineWidth();
  int w;
  TBrush* brush = canvas->Brush();
  if (fixed) {
    w = Scaled(2 * lineWidth * printScaleY_);
    brush->SetColor(FixedColor());
  } else {
    w = Scaled(lineWidth * printScaleY_);
    brush->SetColor(row % 2 == 1 ? Color() : StripeColor());
  }
  w = std::max(w, 1);
  brush->SetStyle(bsSolid);
  canvas->FillRect(Rect(rect.Left + (w + 1) / 2, rect.Top + (w + 1) / 2, rect.Right, rect.Bottom));

  const bool small = DefaultRowHeight() < 18;
  const int marginX = std::max(1, Scaled((small ? 2 : 4) * printScaleX_));
  const int marginY = std::max(1, Scaled((small ? 1 : 2) * printScaleY_));
  {
    PenScope pen(canvas, clBlack, w);
    Line(canvas, rect.Right, rect.Top, rect.Right, rect.Bottom);
    if (fixed || LineBelow(col, row)) Line(canvas, rect.Left, rect.Bottom, rect.Right, rect.Bottom);
  }

  TGridColumn* column = col < GridColumns()->Count() ? GridColumns()->Items(col) : nullptr;
  unsigned format = DT_EDITCONTROL | DT_NOPREFIX;
  if (column && column->Wordwrap()) format |= DT_WORDBREAK;
  if (fixed) {
    format |= DT_CENTER;
  } else if (column) {
    if (column->Alignment() == taRightJustify) format |= DT_RIGHT;
    if (column->Alignment() == taCenter) format |= DT_CENTER;
  }
  TRect box = Rect(rect.Left + w + marginX, rect.Top + w + marginY, rect.Right - w - marginX, rect.Bottom);
  brush->SetStyle(bsClear);
  canvas->DrawText(text, box, format);
}

void TCvStrGrid::GetPrintCellString(AnsiString& text, bool& drawLine, int col, int row, bool firstLine) {
  CheckCellsData(row);
  const bool fixed = row < FixedRows() || col < FixedCols();
  text = fixed || firstLine ? Cells(col, row) : ShownText(col, row);
  // The printer draws the line above a cell: the line under the row above.
  if (!fixed && !firstLine && row - 1 >= FixedRows()) drawLine = LineBelow(col, row - 1);
}
