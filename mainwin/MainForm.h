// The main window: the folder tree on the left, the record list inside the view tabs, the
// condition diagram at the bottom, the menus and tools in the cool bar and the status bar.
//
// TFormMain is one class whose handlers are spread over units by concern, each unit named after
// what it holds:
//   MainForm.cpp           construction, first show, the folder tree's first level, the about-box
//                          timer, the end, save, log and help commands, close and destruction
//   MainFormDesign.cpp     the designed components, their captions, layout and event bindings
//   MainSettings.cpp       the settings file
//   MainLooks.cpp          the appearance and font commands, the list fonts
//   MainListing.cpp        the record listing
//   MainListGrid.cpp       the list grid: display rows, filling, sorting, mouse, keys, actions
//   MainTreeView.cpp       the folder tree view: expansion, selection, refresh, drags, folder
//                          commands, dropped files
//   MainConditionPane.cpp  the condition diagram's commands, the view tabs, list printing
//   MainSummaryView.cpp    the summary and ratio views' column commands and popup menu
//   MainRecords.cpp        the record commands: edit, add, cards' write-backs, import, delete,
//                          frozen columns and rows
//   MainExport.cpp         the CSV export of the list
//   MainGraphView.cpp      the chart
//
// Everything runs on the user-interface thread; the listing worker runs only while a modal dialog
// of the listing holds that thread.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ActnList.h"
#include "platform/Chart.h"
#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"
#include "platform/PrintDialogs.h"
#include "platform/ScrollBar.h"
#include "platform/Splitter.h"
#include "platform/StdCtrls.h"
#include "platform/Timer.h"
#include "views/StringGridEx.h"

class CCapInfo;
class CCapInfoList;
class CDbFolder;
class CDbFolderList;
class CListViewRecids;
class CRuleFolder;
class CStringsList;
class CSummaryMod;
class CTopRuleFolder;
class TCvGraphPr;
class TFlowBox;
class TKelmGridPr;
class TMenuBar;

// The tree nodes whose folders are listed together (several when Ctrl is held while selecting).
class CTv1NodeList {
 public:
  CTv1NodeList();
  ~CTv1NodeList();
  CTv1NodeList(const CTv1NodeList&) = delete;
  CTv1NodeList& operator=(const CTv1NodeList&) = delete;

  // Owned, but it only borrows the nodes it holds: it is emptied with the plain TList::Clear.
  CDbFolderList* Folders;
  TList* Nodes;  // TTreeNode pointers in the order they were added; owned list, nodes not owned
  int ChangeCount = 0;  // advanced by every addition, removal and emptying of Nodes
};

// Shows the hourglass for the life of the guard and puts the previous pointer back, also when an
// exception passes.
class CChangeCursor {
 public:
  CChangeCursor();
  ~CChangeCursor();
  CChangeCursor(const CChangeCursor&) = delete;
  CChangeCursor& operator=(const CChangeCursor&) = delete;

 private:
  TCursor saved_;
};

class TFormMain : public TForm {
 public:
  explicit TFormMain(TComponent* owner);
  ~TFormMain() override;

  // ---- Designed components ----
  TMainMenu* MainMenu1;
  TMenuItem *File1, *Ope1, *Help1;  // "ファイル", "データ操作", "ヘルプ"
  TCoolBar* CoolBar1;
  TMenuBar* MenuBar1;  // band 0
  TToolBar* ToolBar1;  // band 1
  TStatusBar* StatusBar1;  // panels of 160, 240 and 100: folder file, listing counts, sort order
  TTreeView* TreeView1;
  TSplitter* Splitter1;
  TTabControl* TabControl1;  // "検索表示", "集計表示", "比率表示", "グラフ表示"
  TStringGridEx* StringGridEx1;
  // The graph view: the chart and its control panel.
  TChart* Chart2;
  TComboBox* GraphBox;  // on the chart: the arrangement of bar series
  TPanel* Panel3;
  TLabel *Label1, *Label2, *Label3;  // "視点", "集計", "種類"
  TComboBox *ViewBox, *SumBox, *KindBox;
  TCheckBox *CheckBox1, *CheckBox2;  // "3D", "転置"
  TScrollBar* ScrollBar2;            // 3-D depth in percent
  TLabel *Label4, *Label5, *Label6;  // "横回転", "縦回転", "倍率"
  TScrollBar *ScrollBar3, *ScrollBar4, *ScrollBar5;  // rotation, elevation, zoom
  TButton* Button1;                  // SetChartAttr
  // The placeholder of the condition diagram; the constructor destroys it (null afterwards).
  TScrollBox* ScrollBox1;
  TSplitter* Splitter2;
  TImageList* ImageList1;  // 10 folder pictures, then the icon files
  TOpenDialog* OpenDialog1;
  TPrintDialog* PrintDialog;
  TTimer* Timer1;
  TPopupMenu* PopupMenu1;    // the list's
  TPopupMenu* PopupMenu2;    // template of the folder commands, never shown
  TPopupMenu* PopupMenu3;    // the diagram's
  TPopupMenu* PopupMenuTV;   // the tree's, refilled at every opening
  TPopupMenu* PopupMenuSum;  // the summary's
  TMenuItem* PartitionMI;    // separator before the table folders' checks in PopupMenu2
  TMenuItem *MiCacelPlural, *MiAddSCap, *MiEditSCap, *MiInsSCap, *MiDeleteSCap;
  TActionList* ActionList1;
  TAction *FileSaveFol, *FilePreview, *FilePrint, *FileSaveChart, *FileTblCreate, *FileTblRead, *FileTblWrite,
      *FileLog, *FileExit;
  TAction *OpeContinue, *OpeCard, *OpeEdit, *OpeAdd, *OpeDelete, *OpeCsvGet, *OpeCsv, *OpeFixCol, *OpeFixRow;
  TAction *FolEditCapInfo, *FolDelCapInfo, *FolCreate, *FolCreate1, *FolCreate2, *FolCreate3, *FolEdit,
      *FolRelKensa, *FolChkDat, *FolCut, *FolCopy, *FolPaste, *FolDelete, *FolDoCmd;
  TAction *FlipFlowBox, *FlowEdit, *FlowAnd, *FlowOr, *FlowDel, *FlowRev, *FlowCopy;
  TAction *SCapCancelPlural, *SCapAddNum, *SCapAddMin, *SCapAddMax, *SCapAddRange, *SCapAddSum, *SCapAddAve,
      *SCapEdit, *SCapIns, *SCapDelete;
  TAction *SetChartAttr, *SetLooks, *ChangeFont;
  TAction *HelpHelp, *HelpAbout;

  // ---- Run-time fields ----
  CTv1NodeList* Tv1NodeList;      // owned
  TTreeNode* ListedNode = nullptr;  // the node whose listing is open
  CTopRuleFolder* TopFolder = nullptr;  // owned; made when the window is first shown
  CStringsList* ListRows;         // owned: the listed record rows
  TTreeNode* PopupNode = nullptr;
  CDbFolder* PopupFolder = nullptr;
  CRuleFolder* ClipFolder = nullptr;  // owned: the copied folder waiting to be pasted
  AnsiString ClipTableName;
  int MouseDownX = 0, MouseDownY = 0;
  int DragStartX = -9999, DragStartY = -9999;  // -9999: no record drag can start
  bool DragFromSelectedRow = false;
  AnsiString BaseCaption;
  int ListingCount = 0;
  int TreeRefreshCount = 0;
  TFlowBox* DiagramBox;  // owned by the application, which frees it before the window
  int ViewTab = 0;       // 0 list, 1 summary, 2 ratio, 3 graph
  int GridClickCount = 0;
  CStringsList* SumRows;        // owned
  CCapInfoList* SumColumns = nullptr;  // not owned
  CSummaryMod* Summary;         // owned
  int CardState = 0;
  int ChunkSize = 50000;
  int InlinePhaseMs = 500;  // how long a listing reads on this thread before the worker takes over
  int SearchedCount = 0;
  TGridRect SavedSelection{-1, -1, -1, -1};  // Left -1: none
  int LastTopRow = 0, LastFrozenRow = 0;
  bool AddingToSelection = false;
  CListViewRecids* RecordIds;   // owned
  TKelmGridPr* ListPrinter;     // owned, bound to StringGridEx1
  TCvGraphPr* GraphPrinter;     // the same printer, which prints the chart while it has one
  TSaveDialog* ChartSaveDialog = nullptr;
  AnsiString IniReadPath;   // the settings file that is read
  AnsiString IniWritePath;  // the settings file that is written
  char ClipSeparator = '\t';
  int MaxPoint = 10000;
  CCapInfoList* SortColumns;  // owned list, not owning its items

  // ---- Start-up and life (MainForm.cpp) ----
  void FormCreate(TObject* sender);
  void FormShow(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void FormDestroy(TObject* sender);
  void Timer1Timer(TObject* sender);
  void FileExitExecute(TObject* sender);
  void FileSaveFolExecute(TObject* sender);
  void FileLogExecute(TObject* sender);
  void HelpHelpExecute(TObject* sender);
  void HelpAboutExecute(TObject* sender);
  // Makes the top folder when there is none and fills the tree with the root and its first level.
  void BuildFolderTree();
  // The save question and the save: false when the user chose to save and the folder file could
  // not be written (the error box said why and the modification count is kept).
  bool SaveFolderTree();

  // ---- Settings (MainSettings.cpp) ----
  void LoadSettings();
  void SaveSettings();

  // ---- Looks (MainLooks.cpp) ----
  void SetLooksExecute(TObject* sender);
  void ChangeFontExecute(TObject* sender);
  // The list grid and the record edit dialog's sheet take the font.
  void SetListFonts(const TFont* font);

  // ---- Record listing (MainListing.cpp) ----
  void RefreshListView(TTreeNode* node, bool fromDiagram);
  void OpeContinueExecute(TObject* sender);
  CDbFolderList* CollectSelectedFolders(CTv1NodeList* list);
  void SetDiagramFromSelection(CCapInfoList* columns, CDbFolder* folder, TFlowBox* diagram, CDbFolderList* folders);
  int CompareRowsBySortColumns(TStrings* a, TStrings* b);
  AnsiString SortOrderText();
  void FillGridLayout();
  void FillGridRow(TStrings* row, int index);
  // Makes KeptRows, and empties the summary and KeptRows whenever ListRows deletes its rows.
  void WatchListedRows();
  // Moves the shown rows to KeptRows, leaving ListRows empty.
  void KeepListedRows();
  // Lays the grid out over the rows listed so far when the list view shows them (or relays it
  // when it still shows the listing's rows elsewhere), so a repaint reads only rows that exist.
  void ShowRowsSoFar(CCapInfoList* columns);
  // Rows of earlier chunks that a continuation took off the screen; the summary still names
  // them. Deleted with ListRows' rows at the next fresh listing. Null until first needed.
  std::unique_ptr<CStringsList> KeptRows;

  // ---- List grid (MainListGrid.cpp) ----
  void ClearGrid(TStringGridEx* grid);
  void ResetEditGrid(TStringGridEx* grid);
  int MakeDisplayRow(TStrings& out, CCapInfoList* columns, CStringsList* rows, int index);
  void ClearStatusColumns();
  void UpdateActions();
  void LoadFolderIcons(TImageList* images);
  void StringGridEx1DrawCell(TObject* sender, int col, int row, TRect rect, TGridDrawState state);
  void StringGridEx1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void StringGridEx1MouseMove(TObject* sender, TShiftState shift, int x, int y);
  void StringGridEx1MouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void StringGridEx1StartDrag(TObject* sender);
  void StringGridEx1KeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void StringGridEx1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void StringGridEx1DragDrop(TObject* sender, TObject* source, int x, int y);
  // A heading dragged to another place in the summary views (column moving is on there).
  void StringGridEx1ColumnMoved(TObject* sender, int fromIndex, int toIndex);
  void StringGridEx1TopLeftChanged(TObject* sender);
  void PopupMenu1Popup(TObject* sender);

  // ---- Folder tree view (MainTreeView.cpp) ----
  void TreeView1Expanding(TObject* sender, TTreeNode* node, bool& allowExpansion);
  void TreeView1Collapsing(TObject* sender, TTreeNode* node, bool& allowCollapse);
  void TreeView1Change(TObject* sender, TTreeNode* node);
  void TreeView1Deletion(TObject* sender, TTreeNode* node);
  void TreeView1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void TreeView1DragDrop(TObject* sender, TObject* source, int x, int y);
  void PopupMenuTVPopup(TObject* sender);
  void FolEditCapInfoExecute(TObject* sender);
  void FolDelCapInfoExecute(TObject* sender);
  void FolCreateExecute(TObject* sender);
  void FolCreate1Execute(TObject* sender);
  void FolCreate2Execute(TObject* sender);
  void FolCreate3Execute(TObject* sender);
  void FolEditExecute(TObject* sender);
  void FolDeleteExecute(TObject* sender);  // also FolCut's
  void FolCopyExecute(TObject* sender);
  void FolPasteExecute(TObject* sender);
  void FolRelKensaExecute(TObject* sender);
  void FolChkDatExecute(TObject* sender);
  void FolDoCmdExecute(TObject* sender);
  void SelectFolder(TTreeNode* node);
  void ClearNodeList(CTv1NodeList* list);
  void RefreshTree(TTreeNode* node);
  void RefreshTreeAndList();
  void FolderTreeChanged(CRuleFolder* folder);
  void FolderListChanged(CRuleFolder* folder);
  // Files dropped on the window, each with its full path.
  using TForm::DropFiles;
  void DropFiles(TObject* sender, const std::vector<AnsiString>& paths);
  bool DragFolder(TTreeView* tree, int x, int y, bool drop);
  // The refresh of one node: its folder's children built again, the child nodes made anew, and
  // expansion, listing and selection carried over by name.
  void RefreshNode(TTreeNode* node);
  void RebuildNodeFolders(TTreeNode* node);
  void BuildChildNodes(TTreeNode* node);
  void RestoreNodeStates(TTreeNode* node);
  // Unlinks node and every node below it from its folder node, ending the listing of ListedNode
  // among them.
  void ForgetNodeFolders(TTreeNode* node);
  // Ends the open listing, and lets go of the rows and summary it showed, when its folder is
  // folder or lies below it.
  void EndListingWithin(CRuleFolder* folder);
  void CreateChildOfPopupFolder(int kind);

  // ---- Condition pane, view tabs and printing (MainConditionPane.cpp) ----
  void FlipFlowBoxExecute(TObject* sender);
  void FlowEditExecute(TObject* sender);
  void FlowAndExecute(TObject* sender);
  void FlowOrExecute(TObject* sender);
  void FlowDelExecute(TObject* sender);
  void FlowRevExecute(TObject* sender);
  void FlowCopyExecute(TObject* sender);
  void FloxBox1DblClick(TObject* sender);
  void TabControl1Change(TObject* sender);
  void FilePreviewExecute(TObject* sender);
  void FilePrintExecute(TObject* sender);
  void FileTblCreateExecute(TObject* sender);
  void FileTblReadExecute(TObject* sender);
  void FileTblWriteExecute(TObject* sender);
  void ShowViewData();
  void GetPrintCellText(AnsiString& text, bool& drawLine, int col, int row, bool firstRow);
  // The list printer takes its cell texts from GetPrintCellText.
  void UsePrintCellTexts();

  // ---- Summary and ratio views (MainSummaryView.cpp) ----
  void SCapInsExecute(TObject* sender);
  void SCapEditExecute(TObject* sender);
  void SCapDeleteExecute(TObject* sender);
  void SCapAddNumExecute(TObject* sender);
  void SCapAddMinExecute(TObject* sender);
  void SCapAddMaxExecute(TObject* sender);
  void SCapAddRangeExecute(TObject* sender);
  void SCapAddSumExecute(TObject* sender);
  void SCapAddAveExecute(TObject* sender);
  void SCapCancelPluralExecute(TObject* sender);
  void PopupMenuSumPopup(TObject* sender);
  // The summary built again over the listed rows with the listed folder's summary columns (or,
  // when the rows are not those of the last listing, the folder listed afresh); the folder is
  // marked modified.
  void RefreshSummary();
  // Whether the column commands may change the summary columns: the summary or ratio view shows
  // the listed folder's own summary, not one of several folders.
  bool EditsFolderSummary();
  // The index in SumColumns of the column under the last press in the grid, -1 when none.
  int ClickedSummaryColumn();
  void RunSummaryColumnCommand(const std::function<bool(CSummaryMod*, int)>& command);
  void AddSummaryMethodColumn(int method);
  // SumColumns becomes the folder's summary columns, summarising every listed row (the kept ones
  // of a continued listing first), and the view shows them.
  void ResummariseListedRows(CDbFolder* folder);

  // ---- Graph view (MainGraphView.cpp) ----
  // Removes and frees every series of the chart.
  void ClearChart();
  // Fills the viewpoint and value boxes from the summary and builds the chart.
  void ShowGraphView();
  // The chart built afresh from the summary's selected key and value column, unless it would
  // show more than MaxPoint points (the user is told, and the chart stays empty).
  void BuildChart();
  // A new series of the kind (0 bars, 1 horizontal bars, 2 line, 3 pie, 4 area; others bars),
  // owned by the window.
  TChartSeries* MakeSeries(int kind);
  static TColor SeriesColor(int index);
  void ViewBoxChange(TObject* sender);
  void GraphBoxClick(TObject* sender);
  void CheckBox1Click(TObject* sender);
  void CheckBox2Click(TObject* sender);
  void ScrollBar2Change(TObject* sender);
  void ScrollBar3Change(TObject* sender);
  void ScrollBar4Change(TObject* sender);
  void ScrollBar5Change(TObject* sender);
  void FileSaveChartExecute(TObject* sender);
  void SetChartAttrExecute(TObject* sender);

  // ---- Record commands (MainRecords.cpp) ----
  void OpeEditExecute(TObject* sender);
  void OpeCardExecute(TObject* sender);
  // The card window's write-backs: 1 written (or nothing to write), 0 not.
  int CardUpdateRecord(int index, TStrings* values);
  int CardAddRecord(TStrings* values);
  void OpeAddExecute(TObject* sender);
  // The edit dialog over the marked rows (and, when adding, rows for new records), written back
  // on OK under the folder's lock; the rows not written are named and shown again. Whether
  // anything was written.
  bool RunEditDialog(CDbFolder* folder, CCapInfoList* columns, CStringsList* rows, bool adding);
  void OpeCsvGetExecute(TObject* sender);
  // The empty name lets the folder ask for the file.
  void ImportIntoSelection(const AnsiString& file);
  void OpeDeleteExecute(TObject* sender);
  // What the delete did: deleted, nothing to do or declined, refused (the folder is locked), or
  // failed.
  enum class DeleteResult { Deleted, Nothing, Locked, Failed };
  DeleteResult DeleteSelectedRecords();
  void OpeFixColExecute(TObject* sender);
  void OpeFixRowExecute(TObject* sender);

  // ---- CSV export (MainExport.cpp) ----
  void OpeCsvExecute(TObject* sender);
  // The export through its dialog; false when nothing was exported (cancelled, no list, or the
  // file could not be written, which was reported).
  bool ExportList();

 private:
  // Builds the designed components and binds their events (MainFormDesign.cpp).
  void CreateComponents();
  void CreateActions();
  void CreateMenus();
};

extern TFormMain* FormMain;

// The grid's shown columns (its Tag) and the rows they describe; false when either is missing.
bool GetGridRows(TStringGridEx* grid, CCapInfoList*& columns, CStringsList*& rows);
// The text without its CR and LF bytes.
AnsiString RemoveLineBreaks(const AnsiString& text);

// ---- Record commands (MainRecords.cpp) ----
// Appends r - 1 for every marked data row r of the grid, in order.
void SelectedRowIndexes(TStringGridEx* grid, TList* out);
// A CR before every LF that has none; CrLfToLf drops the CR of every CR LF and a CR that ends the
// text, and keeps any other CR.
AnsiString LfToCrLf(const AnsiString& text);
AnsiString CrLfToLf(const AnsiString& text);
// One cell of an edited record: the list column it shows and the text the user left in it.
struct EditedCell {
  CCapInfo* column;
  AnsiString text;
};
// Adds to columns and values every cell whose column may be written to table and whose text, with
// its line ends as stored (CrLfToLf), differs from the base row's text at the column's position
// (the empty text without a base row or beyond it). Columns of other tables and record ids are
// never written; read-only columns only when anyColumn is set (a new record takes them). columns
// does not own what it is given.
void CollectChanges(const std::vector<EditedCell>& cells, const TStrings* base, const AnsiString& table,
                    bool anyColumn, CCapInfoList& columns, TStringList& values);
// Writes one edited row through the folder: with a base row, the changes update its record,
// named by the listing's record-id column of the folder's table; without one, the filled cells of
// the folder's own table make a new record. 1 written, 0 nothing to write, -1 not written (no
// record-id column listed, or the table refused). The caller holds the folder's lock.
int WriteEditedRow(CDbFolder* folder, CCapInfoList* listColumns, const TStrings* base,
                   const std::vector<EditedCell>& cells);
// The record edit dialog's sheet: the object of (c, 0) is the position of column c's list column;
// the object of (0, r) is the index + 1 of the record row that sheet row r stands for, or 0 for a
// row of a new record. Writes every sheet row from 1 through the folder (the caller holds its
// lock): a record's row updates it, a new record's row is inserted when adding (and left when
// not). The sheet rows that could not be written go to failed, in order.
void WriteSheetRows(TStringGrid* sheet, CDbFolder* folder, CCapInfoList* columns, CStringsList* rows, bool adding,
                    std::vector<int>& failed);
// Lays the sheet out for the list and appends a row for every marked list row that names a record
// row (object: its index + 1; texts with CR LF line ends). Editing: one sheet column per list grid
// column, in grid order, taking its heading, width and alignment and its descriptor's edit flag.
// Adding: one per shown column of the column list, every one open to typing, then fifty rows for
// new records (object 0).
void FillEditSheet(TStringGridEx* sheet, TStringGridEx* list, CCapInfoList* columns, CStringsList* rows, bool adding);
// Keeps only the given sheet rows (ascending), with their texts, objects and heights, from row 1.
void KeepSheetRows(TStringGrid* sheet, const std::vector<int>& kept);
// "データの更新時にエラーが発生しました。" naming the sheet rows.
AnsiString WriteErrorText(const std::vector<int>& failed);

// ---- CSV export (MainExport.cpp) ----
// The index in the row list of grid row r: the object of cell (0, r), or r - 1 while negative.
int GridRowIndex(TStringGridEx* grid, int row);
// One field per grid column, in grid order: the row's text at the position of the descriptor that
// the column's heading cell carries (empty without one or beyond the row).
void GridRecordFields(TStringGridEx* grid, const TStrings* row, TStrings& out);
// The heading line and a line for every marked row that names a row of rows, as CSV joined by
// separator, each line ended by CR LF.
AnsiString GridExportText(TStringGridEx* grid, CStringsList* rows, char separator);
// Replaces the file by text; false, after reporting, when it cannot be created or written whole
// (a file cut short is removed).
bool WriteExportFile(const AnsiString& path, const AnsiString& text);
