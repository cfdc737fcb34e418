// The string grid: a table of texts with objects, fixed rows and columns, owner drawing, a
// selection, scrolling by rows and columns, and an in-place editor.
//
// The grid keeps its cells, sizes and selection in plain members and draws only the cells in
// view: painting, scrolling and sizing cost what the view holds, whatever the row count. Cells
// are stored only where a text or an object was set; a row's height is stored only where it
// differs from the default. User-interface thread only.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// Grid options, a bit set.
enum : int {
  goFixedVertLine = 0x1,
  goFixedHorzLine = 0x2,
  goVertLine = 0x4,
  goHorzLine = 0x8,
  goRangeSelect = 0x10,
  goDrawFocusSelected = 0x20,
  goRowSizing = 0x40,
  goColSizing = 0x80,
  goRowMoving = 0x100,
  goColMoving = 0x200,
  goEditing = 0x400,
  goTabs = 0x800,
  goRowSelect = 0x1000,
  goAlwaysShowEditor = 0x2000,
  goThumbTracking = 0x4000,
};
using TGridOptions = int;

// How a cell is drawn, a bit set.
enum : int { gdSelected = 0x1, gdFocused = 0x2, gdFixed = 0x4 };
using TGridDrawState = int;

// What the mouse is doing to the grid.
enum class TGridState { Normal, Selecting, RowSizing, ColSizing, RowMoving, ColMoving };

struct TGridCoord {
  int X = 0, Y = 0;
  bool operator==(const TGridCoord&) const = default;
};

// A block of cells, columns Left..Right and rows Top..Bottom, all inclusive.
struct TGridRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TGridRect&) const = default;
};

using TDrawCellEvent = std::function<void(TObject* sender, int col, int row, TRect rect, TGridDrawState state)>;
using TSelectCellEvent = std::function<void(TObject* sender, int col, int row, bool& canSelect)>;
using TGetEditEvent = std::function<void(TObject* sender, int col, int row, AnsiString& value)>;
using TSetEditEvent = std::function<void(TObject* sender, int col, int row, const AnsiString& value)>;
// After a column or row moved from one index to another.
using TMovedEvent = std::function<void(TObject* sender, int fromIndex, int toIndex)>;

class TStringGrid;

// The editor that opens over the grid's current cell. Its text, caret and selection are plain
// members (byte offsets into the Shift_JIS text). The grid stores the text in the cell
// (SetEditText) when the editor closes or the current cell moves.
class TInplaceEdit : public TWinControl {
 public:
  explicit TInplaceEdit(TStringGrid* grid);
  TStringGrid* Grid() const { return grid_; }
  int SelStart() const { return selStart_; }
  int SelLength() const { return selLength_; }
  void SetSelStart(int pos);
  void SetSelLength(int len);
  void SelectAll();
  // Replaces the selection with text, as typing or pasting does.
  void SetSelText(const AnsiString& text);
  // Sets the whole text; the caret and selection stay inside it.
  void SetEditorText(const AnsiString& text);

 protected:
  // Arrow keys move the caret, and hand over to the grid at the ends of the text; up, down, page
  // keys, tab and escape go to the grid. Delete removes the selection or the next character.
  void KeyDown(uint16_t& key, TShiftState shift) override;
  // The grid sees the key first (Enter and Escape end the editing there); then TypeKey.
  void KeyPress(char& key) override;
  // Backspace deletes; other characters are typed when the grid accepts them and the cell may be
  // changed (a double-byte character arrives as its two bytes in turn).
  void TypeKey(char& key);
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  // The grid sees the key as its own, and the editor leaves it.
  void SendToGrid(uint16_t& key, TShiftState shift);
  // Whether the grid lets the current cell be changed.
  bool GridCanModify();
  // Whether the caret stands at the start or the end of the text (a whole selection counts).
  bool AtStart() const;
  bool AtEnd() const;
  // The byte offsets of the character before and after pos.
  int PrevChar(int pos) const;
  int NextChar(int pos) const;
  // Moves the caret by an arrow, Home or End key inside the text, line by line where it has line
  // breaks; the selection collapses.
  void MoveCaret(uint16_t key);
  bool wrapLines_ = false;  // lines wrap at the editor's width (what the widget shows)

 private:
  friend class TStringGrid;
  friend class EditWidget;
  TStringGrid* grid_;
  int selStart_ = 0, selLength_ = 0;
  char pendingLead_ = 0;  // the lead byte of a double-byte character typed in two parts
  bool syncing_ = false;
};

class TStringGrid : public TCustomControl {
 public:
  explicit TStringGrid(TComponent* owner);
  ~TStringGrid() override;

  // ---- Cells ----
  const AnsiString& Cells(int col, int row) const;
  void SetCells(int col, int row, const AnsiString& text);
  void* Objects(int col, int row) const;
  void SetObjects(int col, int row, void* object);
  // Every data row now in the grid takes object in column col, as SetObjects row by row would,
  // without a cell per row; rows added later start with none.
  void SetDataRowObjects(int col, void* object);

  // ---- Shape ----
  int ColCount() const { return colCount_; }
  void SetColCount(int n);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int n);
  int FixedCols() const { return fixedCols_; }
  void SetFixedCols(int n);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int n);
  int DefaultColWidth() const { return defaultColWidth_; }
  void SetDefaultColWidth(int w);  // every column takes it
  int DefaultRowHeight() const { return defaultRowHeight_; }
  void SetDefaultRowHeight(int h);  // every row takes it
  int ColWidths(int col) const;
  void SetColWidths(int col, int w);
  int RowHeights(int row) const;
  void SetRowHeights(int row, int h);
  int GridLineWidth() const { return gridLineWidth_; }
  void SetGridLineWidth(int w);
  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions o);
  bool DefaultDrawing() const { return defaultDrawing_; }
  void SetDefaultDrawing(bool v);
  TColor FixedColor() const { return fixedColor_; }
  void SetFixedColor(TColor c);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  // Fixed cells drawn with raised edges.
  bool Ctl3D = true;

  // ---- Current cell, selection, view ----
  int Col() const { return current_.X; }
  void SetCol(int c);
  int Row() const { return current_.Y; }
  void SetRow(int r);
  // The selected block (whole rows of data columns in row-select mode).
  TGridRect Selection() const;
  void SetSelection(const TGridRect& r);
  int TopRow() const { return topRow_; }
  void SetTopRow(int r);
  int LeftCol() const { return leftCol_; }
  void SetLeftCol(int c);
  int VisibleRowCount() const;  // data rows wholly in view
  int VisibleColCount() const;
  // The cell under a client point (-1, -1 when none), and a cell's rectangle in the client area
  // (empty when it is out of view).
  TGridCoord MouseCoord(int x, int y) const;
  void MouseToCell(int x, int y, int& col, int& row) const;
  TRect CellRect(int col, int row) const;
  // What the mouse is doing; during OnMouseUp, the column or row sizing that the release ends.
  TGridState GridState() const { return gridState_; }
  // Moves the column at from to the index to, the columns between shifting by one: its cells in
  // every row and its width go with it; then ColumnMoved. With goColMoving the user does the same
  // by dragging a heading (a cell of a fixed row) and dropping it over another column.
  void MoveColumn(int from, int to);

  // ---- Editor ----
  bool EditorMode() const { return editorMode_; }
  void SetEditorMode(bool v);
  void ShowEditor();
  void HideEditor();  // stores the editor's text in its cell
  TInplaceEdit* InplaceEditor() const { return editor_; }

  int ClientWidth() const override;
  int ClientHeight() const override;
  QWidget* ClientWidget() const override;

  TDrawCellEvent OnDrawCell;
  TSelectCellEvent OnSelectCell;
  TGetEditEvent OnGetEditText;
  TSetEditEvent OnSetEditText;
  TNotifyEvent OnTopLeftChanged;
  TMovedEvent OnColumnMoved;

 protected:
  // Draws one cell. The grid filled it first when DefaultDrawing is on (the fixed colour, the
  // highlight for a selected cell, else the grid's colour); the string grid then writes the text
  // and runs OnDrawCell.
  virtual void DrawCell(int col, int row, const TRect& rect, TGridDrawState state);
  virtual AnsiString GetEditText(int col, int row);
  virtual void SetEditText(int col, int row, const AnsiString& value);
  virtual bool CanEditAcceptKey(char key) { return true; }
  virtual bool CanEditModify() { return true; }
  virtual bool SelectCell(int col, int row);
  virtual TInplaceEdit* CreateEditor();
  // After ColCount or RowCount changed.
  virtual void SizeChanged(int oldColCount, int oldRowCount) {}
  // After TopRow or LeftCol changed.
  virtual void TopLeftChanged();
  // After a column's width changed (SetColWidths, the user sizing a column).
  virtual void ColWidthsChanged() {}
  // After MoveColumn; runs OnColumnMoved.
  virtual void ColumnMoved(int from, int to);
  void Paint() override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool DoMouseWheelDown(TShiftState shift, TPoint mousePos) override;
  bool DoMouseWheelUp(TShiftState shift, TPoint mousePos) override;
  void DoExit() override;
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  // Makes (col, row) current after OnSelectCell agreed; the anchor of the selection moves with it
  // unless keepAnchor. The editor's text is stored first; an open editor moves along.
  void FocusCell(int col, int row, bool keepAnchor);
  // Scrolls so that the cell is in view.
  void ScrollIntoView(int col, int row);
  // Hands the editor's text to SetEditText.
  void UpdateText();
  void InvalidateEditor();  // places the editor over the current cell again
  TGridCoord Anchor() const { return anchor_; }
  // The raised edges of a fixed cell, on the sides that have fixed grid lines.
  void DrawFixedEdges(const TRect& r);

 private:
  friend class TInplaceEdit;
  friend class GridWidget;
  struct Cell {
    AnsiString text;
    void* object = nullptr;
  };
  using CellRow = std::vector<Cell>;
  static constexpr int kPageRows = 256;
  struct Page {
    std::unique_ptr<CellRow> rows[kPageRows];
  };
  const Cell* FindCell(int col, int row) const;
  Cell& MakeCell(int col, int row);
  // The object SetDataRowObjects gave the rows from fillFrom up to fillTo in column fillCol_,
  // held for every such row that has no cell of its own.
  bool Filled(int col, int row) const { return col == fillCol_ && row >= fillFrom_ && row < fillTo_; }
  void EndFill();  // the rows of the fill get cells of their own
  int fillCol_ = -1, fillFrom_ = 0, fillTo_ = 0;
  void* fillObject_ = nullptr;
  // The columns (horizontal) or rows in view, fixed ones first, each with its start in the client
  // area and its extent, the grid line after it not included.
  struct Span {
    int index, start, size;
  };
  std::vector<Span> Spans(bool horizontal) const;
  int LineWidth(bool horizontal, bool fixed) const;
  int FixedExtent(bool horizontal) const;
  // The first column (horizontal) or row, not before lowest, from which the data up to last fits
  // in view beside the fixed ones.
  int FirstInView(bool horizontal, int last, int lowest) const;
  int MaxTopRow() const;
  int MaxLeftCol() const;
  // The column a heading dragged to client x would be dropped on.
  int MoveTargetAt(int x) const;
  void ScrollBarsNeeded(bool& horz, bool& vert) const;
  bool NeedsVertBar() const;
  bool NeedsHorzBar() const;
  int BorderWidth() const { return borderStyle_ == bsNone ? 0 : 2; }
  void SyncScrollBars();
  void Moved();

  int colCount_ = 5, rowCount_ = 5, fixedCols_ = 1, fixedRows_ = 1;
  int defaultColWidth_ = 64, defaultRowHeight_ = 24, gridLineWidth_ = 1;
  std::vector<int> colWidths_;
  std::map<int, int> rowHeights_;  // rows whose height is not the default
  std::vector<std::unique_ptr<Page>> pages_;
  TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  bool defaultDrawing_ = true;
  TColor fixedColor_ = clBtnFace;
  TScrollStyle scrollBars_ = ssBoth;
  TBorderStyle borderStyle_ = bsSingle;
  TGridCoord current_{1, 1}, anchor_{1, 1};
  int topRow_ = 1, leftCol_ = 1;
  TGridState gridState_ = TGridState::Normal;
  int sizingIndex_ = -1, sizingStart_ = 0;
  int moveTarget_ = -1;  // while a heading is dragged: the column it would be dropped on
  bool pressedOnCurrent_ = false;
  bool editorMode_ = false;
  TInplaceEdit* editor_ = nullptr;
  AnsiString editorOriginal_;
  bool updatingText_ = false;
};
