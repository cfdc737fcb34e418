// The record edit dialog: records are edited or added as rows of a sheet. The caller sets Folder,
// ListGrid and CapList, fills the sheet (row-0 objects hold each column's descriptor index in
// CapList), shows the dialog modally and reads the cells back on OK.
//
// The sheet's clipboard gives a cell of a column from a related table in the linked-value form:
// BS text BS item name BS linking value BS linking item name BS (BS is the byte 8), so that a
// paste can fill the row through the linking column's candidates.
//
// One instance (EditDlg), made at start-up. User-interface thread only.
#pragma once

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "views/CandUnit.h"
#include "views/KelmGrid.h"

class CCapInfo;
class CCapInfoList;

class TEditDlg : public TForm {
 public:
  explicit TEditDlg(TComponent* owner);
  ~TEditDlg() override;

  TPanel* Panel1;
  TButton* OKBtn;
  TButton* CancelBtn;
  // The editing grid, in the place of the designed one.
  TKelmGrid* Sheet;

  CCandSource* Folder = nullptr;       // not owned: candidates and joins
  TStringGridEx* ListGrid = nullptr;   // not owned: the record list the rows come from, or null
  CCapInfoList* CapList = nullptr;     // not owned: descriptors of the sheet's columns

  // The descriptor of sheet column col, or null.
  CCapInfo* ColumnInfo(int col) const;
  int CurrentCol() const { return curCol_; }
  int CurrentRow() const { return curRow_; }

  // Handlers.
  void FormShow(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void FormClose(TObject* sender, TCloseAction& action);
  void FormResize(TObject* sender);
  void SheetEnterExit(TObject* sender);
  void SheetSelectCell(TObject* sender, int col, int row, bool& canSelect);
  void SheetGetEditText(TObject* sender, int col, int row, AnsiString& value);
  void SheetSetEditText(TObject* sender, int col, int row, const AnsiString& value);
  void SheetKeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void SheetDblClick(TObject* sender);
  void SheetTopLeftChanged(TObject* sender);
  void SheetCopyCell(TObject* sender, int col, int row, AnsiString& text);
  void SheetPasteCell(TObject* sender, int col, int row, const AnsiString& text);

 private:
  bool ColumnCanEdit(int col) const;
  bool EditableInfo(int col) const;
  // The sheet column from 1 whose descriptor has the item name, or -1.
  int ColumnOfName(const AnsiString& name) const;
  // Offers text for (col, row) to the candidates popup; true when a candidate took it over.
  bool OfferToPopup(int col, int row, const AnsiString& text);

  int curCol_ = -1, curRow_ = -1;
};

inline TEditDlg* EditDlg = nullptr;
