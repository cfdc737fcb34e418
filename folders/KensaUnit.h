// The relation check dialog: lists the relations of the nearest table folder at or above a
// folder, checks the chosen one on a worker (TKensaTh), shows how many records it read and how
// many have no counterpart in the related table, and lets the user correct those records in the
// record edit dialog.
//
// Per check: idle -> running (開始) -> idle (the worker's end, after its last record or 中止).
// While the worker runs only 中止 is offered; closing the window then stops the worker and the
// dialog closes once it has ended, so the worker never outlives the lists and boxes it uses.
//
// Made per use by its opener and freed after the modal run. User-interface thread only.
#pragma once

#include <memory>

#include "platform/Forms.h"
#include "platform/Grids.h"
#include "platform/StdCtrls.h"

class CCapInfoList;
class CDbFolder;
class CRuleFolderTbl;
class CStringsList;
class TKensaTh;

class TKensaDlg : public TForm {
 public:
  explicit TKensaDlg(TComponent* owner);
  // A worker still running is stopped, and its end handled, before the dialog goes.
  ~TKensaDlg() override;

  TStringGrid* StringGrid1;  // the relations: own column, related table, related column
  TLabel* Label1;
  TEdit* Edit1;  // records checked
  TLabel* Label2;
  TEdit* Edit2;  // records without counterpart
  TButton* StartBtn;
  TButton* StopBtn;
  TButton* EditBtn;
  TButton* CloseBtn;

  // Binds the dialog to the nearest table folder at or above the node's folder and lists its
  // relations. False when there is none (silently) or its table has no relations (after saying
  // so): the dialog is then not to be shown.
  bool SetFolder(CDbFolder* folder);
  // Records written through 編集 during the dialog's life.
  int GetEditCount() const { return editCount_; }

  bool Running() const { return worker_ != nullptr; }
  CStringsList* Rows() const { return rows_.get(); }
  CCapInfoList* Columns() const { return columns_.get(); }

  void FormShow(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void StartBtnClick(TObject* sender);
  void StopBtnClick(TObject* sender);
  void EditBtnClick(TObject* sender);
  void StringGrid1Click(TObject* sender) {}
  void ThreadEnded(TObject* sender);

  // Fills the record edit dialog's sheet with the rows found, one column per shown column.
  void FillSheet();

 private:
  void UpdateButtons();
  // The columns of the checked table: the checked column first (editable), then the record id
  // and the other columns in table order. False without a database handle.
  bool MakeColumns();
  // Writes the sheet's changed rows back; the number of rows that failed.
  int WriteSheet();

  CDbFolder* folder_ = nullptr;
  CRuleFolderTbl* table_ = nullptr;
  TKensaTh* worker_ = nullptr;
  std::unique_ptr<CStringsList> rows_;
  std::unique_ptr<CCapInfoList> columns_;
  int pairIndex_ = -1;
  int editCount_ = 0;
  bool closeWanted_ = false;  // closing was asked for while the worker ran
  bool savedErrorQuiet_ = false;
};
