// The detail grid of a summary card: the member records of one group, one record row per grid
// row under a heading row, in the columns that the source descriptors choose to show.
//
// Row 0 holds the headings; the object of heading cell (c, 0) is the descriptor of grid column c.
// Each data row points at its record row (a TStrings the summary engine keeps; not owned) and
// keeps a state:
//
//   state   meaning
//   -1      the row's cells are not filled yet (they are filled when drawn or printed)
//   0       no ditto marks: the first data row, or a row that differs from the row above in no
//           ditto column or already in the first one
//   d > 0   the first ditto column in which the row differs from the row above is grid column d;
//           ditto columns left of d show their descriptor's ditto mark
//
// Between two rows the horizontal line is left out in a ditto column where the lower row shows
// the mark, so that a repeated value reads as one block. User-interface thread only.
#pragma once

#include <vector>

#include "foundation/CapInfo.h"
#include "views/StringGridEx.h"

// One grid row: its state and its record row (not owned, may be null).
struct TCvsgRowInfo {
  int state = -1;
  TStrings* data = nullptr;
};
using TCvsgRowInfoList = std::vector<TCvsgRowInfo>;

class TCvStrGrid : public TStringGridEx {
 public:
  explicit TCvStrGrid(TComponent* owner);
  ~TCvStrGrid() override;

  // Binds the descriptors (not owned; they must outlive the binding): each one's Position
  // becomes its index in the list, and every visible one (in list order) a grid column with its
  // heading, width and alignment. The change count and the sort columns start afresh.
  void SetCapInfoList(CCapInfoList* list);
  // The same binding after the descriptors' visibility changed, keeping the fixed rows and the
  // sort columns; every row is filled again and sorted. Counts one change.
  void ResetCapInfoList(CCapInfoList* list);
  // Data row row (1 or more) shows data, and the grid ends after it: rows are given in order
  // 1, 2, ..., so the last call sets the row count. A row below 1 is ignored.
  void SetRowData(int row, TStrings* data);
  TStrings* RowData(int row) const;
  // Sorts by the given grid columns, most significant first, read up to the first index that is
  // negative or not below ColCount (null: no sort columns).
  void Sort(const int* columns);
  // Sorts the data rows by the sort columns, each by its descriptor's rule (CompareCellValues);
  // equal rows keep their order, and a row that lacks a column's value sorts after those that
  // have it. Every row is filled again afterwards.
  void Sort_b();
  const std::vector<int>& SortColumns() const { return sortColumns_; }
  // Fills the cells of a row not filled yet.
  void CheckCellsData(int row);
  // The row's state (see the header); -1 outside the grid.
  int RowState(int row) const;
  // Width changes taken over into the descriptors, plus one per ResetCapInfoList.
  int ChangeCount() const { return changeCount_; }

  static AnsiString CookedStr(const AnsiString& value, const CCapInfo* info);
  static AnsiString strip_crlf(const AnsiString& text);
  // Whether the descriptor shows in the detail grid: by CI_DETAIL_SHOWN once CI_DETAIL_OWN is
  // set, else by its Shown field.
  static bool IsVisibleColumn(const CCapInfo* info);
  // The descriptor of grid column col, or null.
  CCapInfo* ColumnInfo(int col) const;

  // Prints rows first .. first + count - 1 (cut at the grid's end) onto canvas with the grid's
  // top-left corner at area's left and top, every grid length times the scale. The first printed
  // row shows its full texts; the frame is thick at the grid's own top and bottom edges and thin
  // where the range cuts the grid.
  void Print(TCanvas* canvas, const TRect& area, double scaleX, double scaleY, int first, int count);
  void PrintCell(TCanvas* canvas, int col, int row, const TRect& rect, TGridDrawState state, bool firstPrinted);
  // The cell text handler for the grid printer (TKelmGridPr::OnGetCellString): headings, full
  // texts in the first row of a page, ditto marks below, and the line above a cell left out
  // where the cell shows a ditto mark or its column has no borders.
  void GetPrintCellString(AnsiString& text, bool& drawLine, int col, int row, bool firstLine);

  // After ColWidthsChanged copied at least one width into the descriptors.
  TNotifyEvent OnColWidthsChanged;

 protected:
  void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) override;
  void TopLeftChanged() override;
  void ColWidthsChanged() override;
  void SizeChanged(int oldColCount, int oldRowCount) override;

 private:
  void Bind(CCapInfoList* list);
  // The text a data cell shows below a first row: the ditto mark or the cell text.
  AnsiString ShownText(int col, int row);
  // Whether the line under a data cell is drawn.
  bool LineBelow(int col, int row);
  // -1 when row a sorts before row b, 1 after, 0 when they tie on every sort column.
  int CompareRows(const TStrings* a, const TStrings* b) const;

  TCvsgRowInfoList rows_;  // one per grid row
  int topRowDrawn_ = -1;
  int changeCount_ = 0;
  std::vector<int> sortColumns_;
  double printScaleX_ = 1.0, printScaleY_ = 1.0;
  bool binding_ = false;  // the columns are being bound: widths are not taken over
};
