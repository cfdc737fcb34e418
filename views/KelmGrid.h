// The sheet grid of the record edit dialog: a TStringGridEx with a selection of several
// rectangular ranges, a selection mode and a cell edit mode, an unlimited undo/redo history, and
// copy, cut, paste and clear through the clipboard.
//
// Ranges: a range is made from two corners (current and anchor) by taking the smaller and larger
// column and row; a range starting in column 0 (the row numbers) reaches to column MAXINT, one
// starting in row 0 (the headings) to row MAXINT. Range 0 is the active one; a range whose
// corners are -1 selects nothing.
//
// Clipboard text: one line per row that holds selected cells, top to bottom; the row's selected
// cells left to right, each escaped, joined by the separator; every line ends with CR LF.
// Escaping scans bytes (a Shift_JIS lead byte and the byte after it are copied as they are),
// doubles every double quote, and encloses the field in double quotes when it holds a blank,
// ",", a double quote, LF, CR or TAB. Reading undoes this (ReadCsvField).
//
// User-interface thread only.
#pragma once

#include <climits>
#include <cstdint>
#include <vector>

#include "views/StringGridEx.h"

class TPopupMenu;
class TMenuItem;

struct TSelRange {
  int Left = -1, Top = -1, Right = -1, Bottom = -1;
  bool operator==(const TSelRange&) const = default;
};

enum TKelmCmdType : uint8_t { kcText = 0 };

// One undoable change of a cell's text.
struct TKelmCmd {
  int Col = 0, Row = 0;
  TKelmCmdType Type = kcText;
  AnsiString OldText, NewText;
};
// One undo step.
using TKelmCmdList = std::vector<TKelmCmd>;

// Supplies a cell's text for copying; receives a pasted field instead of the grid storing it.
using TCopyCellEvent = std::function<void(TObject* sender, int col, int row, AnsiString& text)>;
using TPasteCellEvent = std::function<void(TObject* sender, int col, int row, const AnsiString& text)>;

// Reads one field of clipboard text at pos: leading blanks skipped; a lead byte and its follower
// taken together (a lead byte that ends the text dropped); double quotes open and close quoted
// parts, where a doubled quote stands for one and separators and line ends are data; outside
// quotes the separator, CR or LF ends the field (not consumed); blanks stored outside quotes at
// the end are removed. Answers the bytes consumed.
int ReadCsvField(const AnsiString& text, size_t pos, AnsiString& field, char separator);
// The field escaped for the clipboard text.
AnsiString EscapeCsvField(const AnsiString& field);

class TKelmGrid : public TStringGridEx {
 public:
  explicit TKelmGrid(TComponent* owner);
  ~TKelmGrid() override;

  // Takes the place, layout, options and event handlers of a designed grid (not its cells,
  // sizes, fonts or colours), then drops the options the sheet handles itself.
  void SetParms(TStringGrid* designed);

  const AnsiString& GetCells(int col, int row) const { return Cells(col, row); }
  int GetRowCount() const { return RowCount(); }
  // Sets the row count and writes each row's number into column 0 (row 0 included).
  void SetRowCount(int n);
  void SetCsvSeparator(char c) { separator_ = c; }
  char CsvSeparator() const { return separator_; }

  // ---- Selection ----
  void ClearSelRange();
  void SetCellEdit(bool on);
  bool GetCellEdit() const { return cellEdit_; }
  bool IsSelected(int col, int row) const;
  int RangeCount() const { return static_cast<int>(ranges_.size()); }
  TSelRange Range(int i) const { return ranges_.at(i); }
  // Whether the selection is exactly one range of one cell.
  bool SingleCellSelected() const;

  // ---- Changes ----
  // Cells changed between BeginSubst and EndSubst become one undo step (none when nothing
  // changed). SubstCell ignores cells outside the grid and texts equal to the cell's.
  void BeginSubst();
  void SubstCell(int col, int row, const AnsiString& text);
  void EndSubst();
  void ClearUndo();
  void Undo();
  void Redo();
  bool CanUndo() const { return stepIndex_ >= 0; }
  bool CanRedo() const { return stepIndex_ + 1 < static_cast<int>(history_.size()); }
  int UndoStepCount() const { return static_cast<int>(history_.size()); }
  int UndoStepIndex() const { return stepIndex_; }
  // Appends a step; the steps after the current one (the redo tail) are dropped.
  void UndoAdd(TKelmCmdList step);
  void UndoAdd(TKelmCmdType type, int col, int row, const AnsiString& oldText, const AnsiString& newText);
  // An in-cell edit: merges into the current step when that step is one change of the same cell.
  void UndoAddEditText(int col, int row, const AnsiString& oldText, const AnsiString& newText);

  // ---- Clipboard ----
  // Copies the selected cells; with cut, then empties those whose column may be edited as one
  // undo step.
  void SelCopy(bool cut);
  void SelPaste();
  // Empties the selected cells whose column may be edited, as one undo step.
  void SelClear();
  // The clipboard text of the selection (what SelCopy puts there).
  AnsiString SelectionText();
  // Lays text out over the selection as SelPaste does with the clipboard's text.
  void PasteText(const AnsiString& text);

  void DoGridPopup(int x, int y);
  TPopupMenu* GridPopup() const { return popup_; }

  TCopyCellEvent OnCopyCell;
  TPasteCellEvent OnPasteCell;

  // The in-place editor's text changed: it goes to the cell as a committed edit.
  void EditorChanged() { UpdateText(); }

 protected:
  TInplaceEdit* CreateEditor() override;
  void DrawCell(int col, int row, const TRect& rect, TGridDrawState state) override;
  void SetEditText(int col, int row, const AnsiString& value) override;
  bool CanEditModify() override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;

 private:
  bool ColumnCanEdit(int col);
  TSelRange MakeRange() const;
  // After current moved: the ranges follow the modifiers (see the selection rules).
  void ResetRanges(TShiftState shift);
  void BaseKeyDown(uint16_t& key, TShiftState shift);
  void BuildPopup();
  void PopupOpening();
  void PasteBlock(const AnsiString& text, int col0, int row);
  void PasteOver(const AnsiString& text);
  void PasteField(int col, int row, const AnsiString& field);
  void ApplyStep(const TKelmCmdList& step, bool undo);

  bool selecting_ = false;
  bool cellEdit_ = false;
  bool typingStarts_ = false;  // the key just pressed switched cell edit mode on
  std::vector<TSelRange> ranges_;
  TGridCoord current_{-1, -1}, anchor_{-1, -1};
  TPopupMenu* popup_ = nullptr;
  char separator_ = ',';
  std::vector<TKelmCmdList> history_;
  int stepIndex_ = -1;
  TPoint lastMove_{-99999, -99999};
  TKelmCmdList* batch_ = nullptr;
};
