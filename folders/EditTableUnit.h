// The table-definition dialog "表の編集" ("表の作成" for a new table): a table folder's name and
// icons, its table's name and data file, the sub-folder order, the columns with their types and
// automatic values, and the relations of its columns to columns of other tables.
//
// It works on copies: the three parallel column lists below, its controls and its grid; the
// openers read the definition back only after modal result 1, which "OK" gives once its checks
// pass. The column list boxes hold the column names with the index into the three lists as each
// entry's object; an entry removed from a list box stays in the lists.
//
// Option flags of a column (the automatic values the record store applies) and their controls:
//
//   bits  meaning                           control     items (flag value)
//   0x1   values must not repeat            DupCB       可能 (0), 不可 (1)
//   0xE   automatic value                   DefvalCB    なし, ＩＤ番号, 日付, 日付と時刻, 固定内容 (0-8 by 2)
//   0x10  set also when updated             ChgAlwaysCB 新規作成時 (0), 新規と更新時 (1)
//   0x20  set only when the value is empty  NullOnlyCB  内容が空の時 (1), 常時 (0)
//   0x40  append instead of overwriting     AppendCB    上書 (0), 追加 (1)
//
// Other bits of a stored line are kept; its second option text is written empty.
#pragma once

#include <functional>

#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/Grids.h"
#include "platform/ImgList.h"
#include "platform/ListBox.h"
#include "platform/StdCtrls.h"

class CCapInfoList;
class CRuleFolderTbl;

class TEditTableDlg : public TForm {
 public:
  explicit TEditTableDlg(TComponent* owner);
  ~TEditTableDlg() override;

  // Fills both icon combos and selects item 0 in each.
  void SetImageList(TImageList* list);
  // Shows the folder's definition: its table's columns (without the record id), then the columns
  // of its own table that only the display columns define.
  void SetTableFolder(CRuleFolderTbl* folder, CCapInfoList* columns);

  // ---- Reading back after modal result 1 ----
  AnsiString GetTableName() const { return Edit1->Text(); }
  // The file name entered with its extension replaced by ".kvr".
  AnsiString GetDataFileName() const;
  // Stores the shown column's settings, writes into folder its table name, data file, name, icons
  // and relations, and gives the columns of the "項目" list in order: names (the type code 0-3 as
  // each entry's object), type names and option lines. The sub-folder order is ListBox1's.
  void GetColumns(CRuleFolderTbl* folder, TStrings& names, TStrings& types, TStrings& options);

  // Set by the root's create command before the modal run.
  bool NewTable = false;
  bool CanDeleteColumns = false;
  TStrings* ExistingTables = nullptr;  // table names in use, table folders as objects; not owned

  // Reads the cells of the first record of a CSV file the user picks: the import dialog in its
  // item-creation mode unless a test puts something else here; false when the user gave up.
  std::function<bool(TStrings& cells)> ReadCsvHeader;

  // The definition being edited (see the header comment).
  TStringList ColumnNames;
  TStringList ColumnTypes;    // "string", "keyword", "int", "real"
  TStringList ColumnOptions;  // ColOptToText lines
  int CurrentColumn = -1;     // list-box entry whose settings the controls show
  int OldColumnCount = 0;     // entries that came from the table itself: their type is fixed

  TPageControl* PageControl1;
  TTabSheet* TabSheet1;  // 全般
  TTabSheet* TabSheet2;  // 項目
  TTabSheet* TabSheet4;  // 値指定
  TTabSheet* TabSheet3;  // 関連付け
  // 全般
  TLabel* Label3;
  TEdit* Edit3;  // folder name
  TLabel* Label1;
  TEdit* Edit1;  // table name
  TLabel* Label2;
  TEdit* Edit2;  // data file
  TButton* Button1;
  TLabel* Label4;
  TComboBox* Image0CB;
  TLabel* Label5;
  TComboBox* Image1CB;
  TLabel* Label6;
  TListBox* ListBox2;
  TLabel* Label7;
  TListBox* ListBox1;  // sub-folder order
  // 項目
  TLabel* Label8;
  TEdit* ColNameEdit;
  TRadioGroup* RadioGroup1;
  TButton* ColAddBtn;
  TButton* CsvBtn;
  TLabel* Label9;
  TListBox* ListBox3;
  TComboBox* TypeCB;  // hidden; mirrors RadioGroup1
  // 値指定
  TLabel* Label10;
  TEdit* ColNameEdit2;
  TLabel* Label11;
  TComboBox* DupCB;
  TLabel* Label12;
  TComboBox* DefvalCB;
  TLabel* Label13;
  TEdit* FixStrEdit;
  TLabel* Label14;
  TComboBox* ChgAlwaysCB;
  TLabel* Label15;
  TComboBox* NullOnlyCB;
  TLabel* Label16;
  TComboBox* AppendCB;
  TLabel* Label17;
  TListBox* ListBox4;
  // 関連付け
  TStringGrid* StringGrid1;
  TLabel* Label18;
  TComboBox* ComboBox3;  // own column
  TLabel* Label19;
  TComboBox* ComboBox1;  // related table, table folders as objects
  TLabel* Label20;
  TComboBox* ComboBox2;  // related column
  TButton* Button2;
  TButton* Button4;

  TButton* OKBtn;
  TButton* CancelBtn;
  TOpenDialog* OpenDialog1;

  void FormShow(TObject* sender);
  void TabSheet1Show(TObject* sender);
  void TabSheet2Show(TObject* sender);
  void TabSheet4Show(TObject* sender);
  void Button1Click(TObject* sender);
  void ColAddBtnClick(TObject* sender);
  void CsvBtnClick(TObject* sender);
  void ListBox2KeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void ListBox3Click(TObject* sender);
  void RadioGroup1Click(TObject* sender);
  void TypeCBChange(TObject* sender);
  void ComboBox1Change(TObject* sender);
  void StringGrid1Click(TObject* sender);
  void Button2Click(TObject* sender);
  void Button4Click(TObject* sender);
  void ImageCBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState state);
  void ListBox1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void ListBox1DragDrop(TObject* sender, TObject* source, int x, int y);
  // Checks the definition (table name, file name, columns) and closes with modal result 1 when
  // it passes; otherwise reports the first failure and stays open.
  void OKBtnClick(TObject* sender);

  void ShowColumnSettings(int index);
  void StoreColumnSettings(int index);
  // Accepts a new column's name: not empty, one word (on the user's Yes the first word of several
  // becomes the name), not there yet. name comes back as settled.
  bool CheckColumnName(AnsiString& name);
  void FillRelationColumns();
  // Data rows of the relation grid (an empty grid keeps one blank row below its heading).
  int RelationCount() const;

 private:
  // Appends a column to the lists and to ListBox2; its index in the lists.
  int AddColumn(const AnsiString& name, const AnsiString& type, const AnsiString& options);
  // ListBox3, ListBox4 and the own-column combo follow ListBox2.
  void RefillColumnLists();
  // The list index of list-box entry index, -1 when there is none.
  int ListIndexOf(int index);
  // The option line of the value page's controls, keeping the bits they do not show of keep.
  AnsiString OptionLineFromControls(const AnsiString& keep);
  void StoreSettingsInto(int listIndex);
  // The table name's own check: the first word of several on Yes; false after a message.
  bool CheckTableName(AnsiString& name);

  TImageList* ImageList = nullptr;  // not owned
  int LastDragY = 0;
  int shownClosed_ = -1, shownOpen_ = -1;
  bool typeChanging_ = false;
  AnsiString startDir_;
};
