// The extended string grid on which every table view is built: a column descriptor per grid
// column, stripes, marked rows that follow the selection in row-select mode (several apart with
// Ctrl), multi-line cells with an editor to match, and frozen columns and rows that show a chosen
// stretch of data in place of extra fixed ones. User-interface thread only.
#pragma once

#include <cstdint>
#include <map>

#include "platform/Grids.h"

enum TGridStyle : uint8_t { gsNormal, gsStriped };
enum TInputDataType { dtString, dtInteger };

class TStringGridEx;
class TGridColumns;

// The look and editing rules of one grid column. Changing a property that shows repaints the
// grid.
class TGridColumn : public TCollectionItem {
 public:
  explicit TGridColumn(TCollection* collection);
  ~TGridColumn() override;
  // Copies every property from another column; any other source changes nothing.
  void Assign(const TPersistent* source) override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  bool CanEdit = true;
  // Drawn in the column's cell of row 0 when that cell is empty; an empty caption is kept as one
  // blank.
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TInputDataType DataType = dtString;
  AnsiString DisplayMask;
  TFont* Font() { return &font_; }
  void SetFont(const TFont& f);
  TFont* FixCellFont() { return &fixCellFont_; }
  void SetFixCellFont(const TFont& f);
  TImeMode ImeMode = imDontCare;
  bool Wordwrap() const { return wordwrap_; }
  void SetWordwrap(bool w);
  bool MultiLine = true;

  TStringGridEx* Grid() const;

 private:
  void Repaint();
  TAlignment alignment_ = taLeftJustify;
  AnsiString caption_;
  TColor color_ = clWindow;
  TFont font_;
  TFont fixCellFont_;
  bool wordwrap_ = false;
};

// One TGridColumn per grid column: adding or deleting items changes the grid's column count, and
// a change of the column count adds or frees items at the end.
class TGridColumns : public TCollection {
 public:
  explicit TGridColumns(TStringGridEx* grid) : grid_(grid) {}
  ~TGridColumns() override;
  TGridColumn* GetItems(int i) const { return static_cast<TGridColumn*>(TCollection::Items(i)); }
  TGridColumn* Items(int i) const { return GetItems(i); }
  // Column i takes every property of column.
  void SetItems(int i, const TGridColumn* column) { GetItems(i)->Assign(column); }
  TGridColumn* Add() { return static_cast<TGridColumn*>(TCollection::Add()); }
  TPersistent* GetOwner() const override;
  TStringGridEx* Grid() const { return grid_; }

 protected:
  TCollectionItem* NewItem() override;
  void Update(TCollectionItem* item) override;

 private:
  friend class TStringGridEx;
  TStringGridEx* grid_;
  bool follow_ = true;  // cleared while the grid adjusts the items to its column count
};

// The editor of the extended grid: it takes the column's input-method mode, font, word wrap and
// multi-line behaviour.
class TInplaceEditEx : public TInplaceEdit {
 public:
  explicit TInplaceEditEx(TStringGrid* grid) : TInplaceEdit(grid) {}
  bool MultiLine = false;
  bool WordWrap() const { return wrapLines_; }
  void SetWordWrap(bool w);

 protected:
  // Not multi-line: Enter moves on as the Right key does. Multi-line: Ctrl+Enter ends the
  // editing; the arrows move the caret in the text (the grid's OnKeyDown still hears them);
  // Ctrl+arrow moves to the neighbouring cell.
  void KeyDown(uint16_t& key, TShiftState shift) override;
  // Multi-line: a typed Enter is a line break when the cell may be changed.
  void KeyPress(char& key) override;
};

class TStringGridEx : public TStringGrid {
 public:
  explicit TStringGridEx(TComponent* owner);
  ~TStringGridEx() override;

  TGridColumns* GridColumns() { return &columns_; }
  // The collection is the grid's own: assigning only repaints.
  void SetGridColumns(TGridColumns*) { Invalidate(); }
  TGridStyle GridStyle() const { return gridStyle_; }
  void SetGridStyle(TGridStyle s);
  // Background of the even-numbered rows in the striped style.
  TColor StripeColor() const { return stripeColor_; }
  void SetStripeColor(TColor c);
  // Centre the texts of fixed cells.
  bool FixedCenter() const { return fixedCenter_; }
  void SetFixedCenter(bool v);

  // The base grid's fixed columns and rows, frozen ones included.
  int GetFixedCols() const { return TStringGrid::FixedCols(); }
  int GetFixedRows() const { return TStringGrid::FixedRows(); }
  int FixedCols() const { return GetFixedCols(); }
  int FixedRows() const { return GetFixedRows(); }
  // Fixed columns or rows without a freeze.
  void SetFixedCols(int n) { SetFixedColsEx(n, 0, 0); }
  void SetFixedRows(int n) { SetFixedRowsEx(n, 0, 0); }
  // Freezing: after base fixed columns, count more fixed columns show the data columns from ..
  // from + count - 1, and scrolling starts after them. A count that would pass the last column is
  // cut down to fit.
  void SetFixedColsEx(int base, int count, int from);
  void SetFixedRowsEx(int base, int count, int from);
  // What the last freeze kept: how many columns or rows are frozen (0 when none) and where the
  // frozen ones come from.
  int FrozenColCount() const { return colFreeze_.count; }
  int FrozenColFrom() const { return colFreeze_.from; }
  int FrozenRowCount() const { return rowFreeze_.count; }
  int FrozenRowFrom() const { return rowFreeze_.from; }
  // The first column and row that scroll.
  int GetFirstMoveCol() const;
  int GetFirstMoveRow() const;

  // Row marks: false for fixed rows and rows outside the grid, where setting is ignored.
  bool GetRowSelects(int row) const;
  void SetRowSelects(int row, bool on);
  TGridRect GetSelection() const { return Selection(); }
  // Sets the selection and marks every data row it covers (it never unmarks).
  void SetSelection(const TGridRect& r);
  // The row's height becomes the default height plus a line for every line break of its most
  // broken cell.
  void AdjustRowHeight(int row);
  TGridState GetGridState() const { return GridState(); }
  void BeginDrag(bool immediate, int threshold = -1) override;
  // From a string grid: its look, size, options and events; cells and column descriptors are not
  // copied, and any freeze ends. Any other source changes nothing.
  void Assign(const TPersistent* source) override;

 protected:
  TInplaceEdit* CreateEditor() override;
  void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) override;
  // Draws a cell's text with the column's look (see the grid's header).
  void DrawCellStr(AnsiString text, int col, int row, const TRect& rect, TGridDrawState state);
  TColor GetBrushColor(int col, int row) const;
  AnsiString GetDisplayText(const AnsiString& text, const AnsiString& mask) const;
  AnsiString GetEditText(int col, int row) override;
  void SetEditText(int col, int row, const AnsiString& value) override;
  bool CanEditAcceptKey(char key) override;
  bool CanEditModify() override;
  void SizeChanged(int oldColCount, int oldRowCount) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool DoMouseWheelDown(TShiftState shift, TPoint mousePos) override;
  bool DoMouseWheelUp(TShiftState shift, TPoint mousePos) override;
  void TopLeftChanged() override;

 private:
  // Marked rows as disjoint runs (first row -> one past the last), so marking or clearing a
  // block of a million rows costs one entry.
  class RowMarks {
   public:
    bool Get(int row) const;
    void Set(int first, int last, bool on);  // rows first..last inclusive
    void Clear() { runs_.clear(); }
    int First() const { return runs_.empty() ? -1 : runs_.begin()->first; }
    // Marks exactly rows first..last; whether anything changed.
    bool Assign(int first, int last);

   private:
    std::map<int, int> runs_;
  };
  struct Freeze {
    int base = 1, count = 0, from = 0, firstMove = 0;
  };
  TGridColumn* Column(int col) const { return col >= 0 && col < columns_.Count() ? columns_.Items(col) : nullptr; }
  bool RowSelectMode() const { return (Options() & (goRowSelect | goEditing)) == goRowSelect; }
  // Marks follow the selection's data rows; repaints when that changed anything.
  void MarkSelectionRows();

  TGridColumns columns_{this};
  TGridStyle gridStyle_ = gsNormal;
  TColor stripeColor_;
  bool dragging_ = false;
  bool pressedOnMarked_ = false;
  TShiftState shiftAtPress_ = 0;
  RowMarks marks_;
  std::vector<int> savedWidths_;
  bool fixedCenter_ = false;
  Freeze colFreeze_, rowFreeze_;
};
