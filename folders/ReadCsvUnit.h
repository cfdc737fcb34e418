// The CSV import dialog: the file to import, a preview of its first records under the table's
// column headings, the first record and the number of records to import, and the reader's format.
//
// The preview grid's row 0 holds the headings: a heading cell's object is the display column
// (CCapInfo, not owned) whose table column takes the file column under it; a heading without one
// leaves its file column out. Rows 1 to 20 show the first records, field i in grid column i.
// Dragging a heading moves the heading alone, so it assigns the table column to another file
// column; skipping a column moves its heading to a new column without data at the right end.
//
// Every import reads with a comma, the quote pairs "" and '' and one line per record: the
// controls of those settings stay hidden. In item-creation mode ("CSV 項目作成") the file's first
// record stands in the heading row, the filter row is hidden and nothing is assigned.
//
// Created for one import and deleted after it; the settings that carry over (filter and
// directory) are stored into the settings folder. User-interface thread only.
#pragma once

#include "platform/ActnList.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Grids.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"

class CCsvFile;
class CRuleFolder;

class TReadCsvDlg : public TForm {
 public:
  explicit TReadCsvDlg(TComponent* owner);
  ~TReadCsvDlg() override;

  // Takes the table name, the headings (the folder's listed columns of its table, the record id
  // left out), the import directory and, with FiltersOffered, the filter from folder.
  void SetFolder(CRuleFolder* folder);
  // Stores the chosen filter and the file's directory into folder.
  void StoreSettings(CRuleFolder* folder);
  int GetSkipCount();  // records passed over before the first imported one
  int GetRowLimit();   // records to import at most; -1 no limit
  AnsiString GetTableName() { return TableName; }
  // Rebuilt from the headings: entry k names a table column (without table part), its object
  // the grid column (field index) that feeds it, in increasing field order. Owned by the dialog.
  TStrings* GetColumnMap();

  TStringGrid* StringGrid1;
  TPanel* Panel1;
  TLabel* Label3;
  TEdit* Edit3;  // the file name
  TButton* Button1;
  TLabel* Label1;
  TEdit* Edit1;
  TUpDown* UpDown1;  // the first record to import, from 1
  TLabel* Label2;
  TEdit* Edit2;
  TUpDown* UpDown2;  // the number of records to import, -1 all
  TLabel* Label7;
  TComboBox* ComboBox2;  // the format: CSV, sendmail log, access log
  TLabel* Label4;
  TComboBox* ComboBox1;  // the separator (hidden)
  TLabel* Label5;
  TEdit* Edit4;  // the quote pairs (hidden)
  TLabel* Label6;
  TEdit* Edit5;
  TUpDown* UpDown3;  // lines per record (hidden)
  TButton* OKBtn;
  TButton* CancelBtn;
  TOpenDialog* OpenDialog1;
  TActionList* ActionList1;
  TAction* SkipCol;
  TAction* StartRow;
  TPopupMenu* PopupMenu1;

  AnsiString TableName;
  TStringList* ColumnMap;
  CRuleFolder* SettingsFolder = nullptr;  // not owned
  bool ItemCreation = false;
  bool FiltersOffered = false;

  void FormShow(TObject* sender);
  void Button1Click(TObject* sender);
  void Edit3KeyPress(TObject* sender, char& key);
  void ComboBox2Change(TObject* sender);
  void StringGrid1ColumnMoved(TObject* sender, int fromIndex, int toIndex);
  void StringGrid1ContextPopup(TObject* sender, TPoint mousePos, bool& handled);
  void SkipColExecute(TObject* sender);
  void StartRowExecute(TObject* sender);

  // The filter row's height, taken off the panel and the dialog when no filter is offered.
  static constexpr int kFilterRowTop = 64;
  static constexpr int kPreviewRecords = 20;
};

// A reader opened on the dialog's file with its settings (the caller owns it); none when the file
// does not open.
CCsvFile* CreateCsvReader(TReadCsvDlg* dialog);
// Reads the first records of the dialog's file into its preview; reports a file that does not
// open and leaves the grid as it was.
void LoadCsvPreview(TReadCsvDlg* dialog);
