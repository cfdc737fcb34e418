// The folder tree: folder definitions (CRuleFolder), the root (CTopRuleFolder) and the child list.
//
// A definition holds what the user set for one folder and owns its sub-folders. What it leaves
// unset it takes from its nearest ancestor:
//
//   setting                                   held by a folder that has             fallback
//   display columns, card layouts and print   own display columns                   none, ""
//     settings, CSV filter and directory
//   summary columns                           own summary columns                   none
//   database handle                           its own handle (root, table folders)  none
//   closed / open icon                        an index of 0 or more                 0 / 1
//   table name                                (table folders answer their own)      ""
//
// Setters of the settings that hang on the display columns store into the nearest folder that
// has own display columns, and store nothing when there is none.
//
// Kinds: 0 condition folder, 1 enumeration folder, -1 heading folder and table folder
// (CRuleFolderTbl). Requests that only a table folder or the root can answer travel up the parent
// chain; a folder outside a tree answers false, 0, -1, "" or none.
//
// Ownership: a folder owns its sub-folders, its own column lists, its own database handle and its
// layout lists; the listed-columns list is owned but its descriptors belong to the own display
// columns. Run-time nodes (CDbFolder) point at definitions and never own them. One thread at a
// time: the user-interface thread, or a worker while that thread waits in the worker's dialog.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Classes.h"

class CCapInfo;
class CCapInfoList;
class CDbFolder;
class CDbFolderList;
class CDbHandle;
class CRecSelect;
class CRuleFolder;
class CStringsList;
class CTopRuleFolder;
class TCmdYesNoDlgTh;
class TImageList;
class TPopupMenu;
class TStringGridEx;

// Folder kinds.
constexpr int FOLDER_CONDITION = 0;
constexpr int FOLDER_ENUMERATION = 1;
constexpr int FOLDER_HEADING = -1;

// Folder flags: bits 0x01-0x40 switch off commands of the tree's popup menu; 0x100-0x400 say when
// the folder command runs. Other bits are kept as they come.
constexpr int FOLDER_FLAGS_DEFAULT = 0x80;
constexpr int FOLDER_FLAGS_TABLE = 0x68;  // copy, cut and delete-the-display-format off

// When the folder command runs: after a listing, from the menu, on a drop (the occasions 0, 1, 2).
constexpr int FOLDER_COMMAND_AFTER_LISTING = 0x100;
constexpr int FOLDER_COMMAND_IN_MENU = 0x200;
constexpr int FOLDER_COMMAND_ON_DROP = 0x400;

// The plan of a record drop, a word of these bits, which the confirmation and its worker carry out.
constexpr int DropInsert = 0x01;   // each row becomes a new record of the target table
constexpr int DropRelate = 0x02;   // the new record is tied to its source by the join text
constexpr int DropMove = 0x04;     // the source record is deleted after the insert
constexpr int DropCancel = 0x08;   // the user cancelled
constexpr int DropChange = 0x10;   // the assignments are written into each record
constexpr int DropCommand = 0x20;  // the target folder's command runs for each record
constexpr int DropCopy = 0x40;     // a copy was asked for

// The pseudo column of every table that holds the record id.
constexpr const char* REC_ID_COLUMN = "__REC__ID__";

// Called with the folder whose definition or display format changed.
using TFolderChangedEvent = std::function<void(CRuleFolder* folder)>;

// The folder icon list that the main window publishes for the folder and table dialogs.
extern TImageList* FolderImageList;

// A list that owns its items. An entry is emptied before its item is deleted, so that an item
// being deleted never meets a deleted sibling in the list.
template <class T>
class COwningList : public TList {
 public:
  COwningList() = default;
  ~COwningList() override { Clear(); }
  COwningList(const COwningList&) = delete;
  COwningList& operator=(const COwningList&) = delete;

  // Deletes every item (null entries skipped), then empties the list.
  void Clear() override {
    for (int i = 0; i < Count(); ++i) {
      T* item = Get(i);
      SetItem(i, nullptr);
      delete item;
    }
    TList::Clear();
  }
  T* Get(int i) const { return static_cast<T*>(Items(i)); }
  // False for an index out of range, else deletes the item and removes its entry.
  bool Delete(int i) {
    if (i < 0 || i >= Count()) return false;
    T* item = Get(i);
    SetItem(i, nullptr);
    delete item;
    TList::Delete(i);
    return true;
  }
};

// Sub-folders in display order.
class CRuleFolderList : public COwningList<CRuleFolder> {};

class CRuleFolder {
 public:
  explicit CRuleFolder(CRuleFolder* parent);
  virtual ~CRuleFolder();
  CRuleFolder(const CRuleFolder&) = delete;
  CRuleFolder& operator=(const CRuleFolder&) = delete;

  // ---- Run-time nodes ----
  // Appends to out the nodes that stand for this folder under parent: one node for a kind of 0
  // or less, the value nodes for an enumeration folder, none for any other kind.
  virtual void AddNodes(CDbFolder* parent, CDbFolderList& out);
  // Fills the child list of the node that shows this folder: each sub-folder's nodes in order;
  // without sub-folders, the nodes of the group siblings (unless the node has no children).
  virtual void MakeChildNodes(CDbFolder* node);

  // ---- Display columns ----
  // Brings the own display columns in line with the given columns of the folder's table (names
  // as "table.column", type names, option lines); nothing without own display columns.
  virtual void RefreshCapInfoList(CDbHandle* handle, const TStrings& names, const TStrings& types,
                                  const TStrings& options);
  // The same on this folder and every folder below, sub-folders from the last to the first.
  virtual void RefreshCapInfoListTree(CDbHandle* handle, const TStrings& names, const TStrings& types,
                                      const TStrings& options);
  // Reads the current columns of the folder's table and refreshes the own display columns.
  void SyncCapInfoList();
  virtual CCapInfoList* GetCapInfoList();
  // The listed columns of the nearest folder with own display columns, refilled: its shown
  // columns in order, then the hidden record-id column of every table they name (added to the
  // display columns when missing). None without such a folder.
  virtual CCapInfoList* MakeDefaultCapInfoList();
  // Opens the display-format dialog; its count of stored changes, -1 when no folder in reach has
  // own display columns.
  virtual int EditCapInfo();
  virtual CCapInfoList* GetSumCapInfoList();

  // ---- The tree ----
  virtual AnsiString GetOwnerName();
  virtual AnsiString GetTypeName();   // the type key in the folder file: "" here
  virtual AnsiString GetTableName();  // the nearest table folder's table, "" at the top
  virtual CRuleFolder* AddNewChild();  // a new sub-folder, appended; counts one modification
  virtual int AddChild(CRuleFolder* folder);  // adopts folder as the last sub-folder; its index
  // Deletes the sub-folder with its subtree and counts one modification; false when folder is
  // not a sub-folder.
  virtual bool RemoveChild(CRuleFolder* folder);
  // A deep copy under newParent (always of this base class), sub-folders included, without the
  // own database handle; not put into any child list.
  virtual CRuleFolder* Clone(CRuleFolder* newParent);
  virtual CDbHandle* GetDbHandle();
  // Puts the sub-folders into the order of the list's objects; false, order unchanged, unless the
  // objects are exactly the sub-folders.
  bool ReorderChildren(const TStrings& order);
  virtual TStrings* GetSharedList();
  virtual int GetImageIndex(bool open);
  virtual int AddModified(int n);  // the root's counter after adding n; 0 outside a tree
  virtual int GetModified();
  virtual TPopupMenu* PopupFolderMenu();
  CTopRuleFolder* GetTop();  // the root of the tree, none outside one
  // Empties the listed columns before descriptors of the own display columns go away.
  void ForgetListedColumns();
  // Deletes the own display column at i (the listed columns are emptied first).
  void DeleteCapInfo(int i);
  int Depth() const;         // 0 for a folder without parent

  // ---- Dialogs ----
  // Kind 1 heading, 2 condition, 3 enumeration folder. The number of folders the dialog stored,
  // -1 (after a message) when no database handle is in reach.
  virtual int CreateChildFolder(int kind);
  virtual int EditFolder();

  // ---- Listing ----
  // Opens the folder's listing on the database handle in reach; without one no listing opens.
  virtual void ListStart(const TStrings& conditions, const AnsiString& columns);
  virtual bool ListNext(TStrings& row);
  // 1 a row, 0 call again, -1 the end, no listing, or the maximum search count reached.
  virtual int ListNextNB(TStrings& row);
  virtual void ListEnd();
  virtual bool Lock();    // true when no handle is in reach
  virtual bool Unlock();
  // Deletes the records of the rows at the given indexes through the record-id column of the
  // folder's table; 1 when every collected id was deleted, else 0.
  // rows holds TStrings rows (a CStringsList).
  virtual int DeleteRecords(CCapInfoList* columns, const std::vector<int>& indexes, const TList& rows);
  // One record's values, values[i] for columns[i]. Update: writes the values of the columns of
  // the record's table (the table of the columns' record-id column of the folder's table) to the
  // record whose id that column's value names; false without a handle or that id column, or when
  // the table refused. Insert: one new record of the folder's table from every column; false
  // without a handle or when the table refused.
  virtual bool UpdateRecord(CCapInfoList* columns, const TStrings& values);
  virtual bool InsertRecord(CCapInfoList* columns, const TStrings& values);

  // ---- The folder command and confirmed record work (folders/FolderCommand.cpp) ----
  // Occasion 0 after a listing, 1 from the menu, 2 on a drop. False when the folder has no
  // command name or script, when rows is given and holds no row from start on, or when the
  // occasion's flag is off. With execute false: true, nothing shown. Otherwise the command is
  // confirmed and run in TCmdYesNoDlg over the rows (grid: whose selection decides the selected
  // rows, or none); true when the user ran it and at least one row was handled.
  virtual bool RunCommand(int occasion, CCapInfoList* columns, CStringsList* rows, int start, TStringGridEx* grid,
                          bool execute);
  // Confirms a drop plan in TCmdYesNoDlg and runs it with TransferWorker, this folder being the
  // target; source is the node whose rows are listed; names and values are the assignments of
  // DropChange (borrowed, may be none). The caller holds the target's lock. 0 after the dialog.
  int ConfirmDropRecords(int plan, CDbFolder* target, CDbFolder* source, CCapInfoList* columns, CStringsList* rows,
                         TStringGridEx* grid, const AnsiString& join, TStrings* names, TStrings* values);
  // The worker of TCmdYesNoDlg: carries out the dialog's plan row by row on its rows, this folder
  // being the target. Runs on the dialog's thread.
  void TransferWorker(TCmdYesNoDlgTh* thread);
  // Runs the script once for one record: names read values (aligned with columns), "setvalue"
  // writes targetValues (aligned with targetNames). log: the last statement's value, or the error
  // text of a statement that could not be read (then false).
  bool RunScriptOnValues(const AnsiString& sourceTable, CCapInfoList* columns, TStrings* values,
                         TStrings* targetNames, TStrings* targetValues, AnsiString& log);

  // ---- The folder file ----
  virtual bool Save(TStream* stream);
  virtual bool Load(TStream* stream);
  // Reads a type key and makes a sub-folder of that class under parent (the caller owns it);
  // none when the key does not read or names no class.
  virtual CRuleFolder* CreateChild(CRuleFolder* parent, TStream* stream);

  // ---- Cross-table conditions (answered by the table folder) ----
  virtual AnsiString MakeJoinCondition(const AnsiString& tableA, const AnsiString& tableB);
  virtual AnsiString MakeJoinCondition_a(const AnsiString& tableA, const AnsiString& tableB);
  virtual AnsiString ResolveExtendedCondition(const AnsiString& condition, CCapInfoList* columns);
  virtual AnsiString ResolveExtendedCondition_a(const AnsiString& text1, const AnsiString& text2);
  // Turns a column of another table and its value into the linking column of table and its value.
  virtual bool FindLinkedRecords(const AnsiString& table, AnsiString& column, AnsiString& value);
  // The joins a listing with these columns needs; the list comes back as it was given.
  virtual AnsiString ResolveExtendedItems(const AnsiString& condition, CCapInfoList& columns);
  virtual AnsiString MakeColumnCondition(const AnsiString& condition, const AnsiString& columns);
  virtual void AddReferencedTables(const TStrings& conditions, const AnsiString& columns);
  virtual bool MakeSubCondition(const AnsiString& condition, const AnsiString& columns, TStrings& row);

  // ---- Import ----
  // originating null: this folder. False when no folder above takes data.
  virtual bool ImportFile(int* result, const AnsiString& file, CRuleFolder* origin);
  virtual bool ImportFile_a(const AnsiString& text1, const AnsiString& text2, int value);

  // ---- Maintenance of the subtree ----
  virtual int CollectTableFolders(TList& list);
  virtual void RemoveTableColumns(const AnsiString& table);
  virtual void RemoveTableColumns_a(const TStrings& tables);
  virtual void ReplaceTableName(const AnsiString& oldName, const AnsiString& newName);
  virtual bool CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result);
  virtual bool MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value);
  virtual int NextChunkRow(TStrings& row);
  virtual int CollectRelatedTables(TStrings& list);
  virtual int CollectAllTableFolders(TList& list);
  virtual int GetTableList(TStrings& list);

  // ---- Display-format settings ----
  virtual void SetCardPrintSettings(const AnsiString& text);
  virtual void SetSumCardPrintSettings(const AnsiString& text);
  virtual AnsiString GetCardPrintSettings();
  virtual AnsiString GetSumCardPrintSettings();
  virtual TStrings* GetCardLayout();     // made empty on first use; none without a display format
  virtual TStrings* GetSumCardLayout();
  virtual AnsiString GetImportDir();
  virtual void SetImportDir(const AnsiString& dir);
  virtual int GetImportFilter();
  virtual void SetImportFilter(int index);

  // ---- Extended items ----
  virtual void GetExtendedValue(CCapInfo* item);  // registers item with the open listing
  virtual int GetExtendedItemDefs(CCapInfoList& list);
  virtual int CollectExtendedCapInfos(CCapInfoList& list);
  // The item of that name ("__拡張項目__.name"): own display columns, then up the parent chain.
  virtual CCapInfo* GetExtendedItemValue(const AnsiString& name);
  // The item of that name in this folder or below it.
  virtual CCapInfo* GetExtendedItemValue_a(const AnsiString& name);
  // One step of collecting the columns an expression needs into list; answers name.
  virtual AnsiString MakeExtendedMacro(const AnsiString& name, CCapInfoList& list);
  virtual void GetExtendedItemTable();
  virtual void GetExtendedItemTable_a(CCapInfo* item);

  // ---- Persistent fields, in the order of the folder record ----
  AnsiString Name;
  int Kind = FOLDER_CONDITION;
  AnsiString Condition;
  AnsiString EnumItem;       // enumeration folders: "table.column" of the values
  int StrLength = -1;        // enumeration folders: values cut to this many bytes; -1 not set
  int MaxEnumCount = -1;     // enumeration folders: value nodes per page; 1 or less no paging
  AnsiString Group;
  CRuleFolderList Children;
  CCapInfoList* CapInfoList = nullptr;     // own display columns, none = inherited
  CDbHandle* DbHandle = nullptr;           // own database handle, none = inherited
  int MaxSearchCount = -1;                 // rows one listing delivers; -1 no limit
  int LockMask = 0;                        // settings the folder dialogs keep fixed
  int Flags = FOLDER_FLAGS_DEFAULT;
  CCapInfoList* SumCapInfoList = nullptr;  // own summary columns, none = inherited
  int ClosedImage = -1;
  int OpenImage = -1;
  AnsiString CardPrintSettings;
  TStringList* CardLayout = nullptr;
  TStringList* SumCardLayout = nullptr;
  AnsiString SumCardPrintSettings;
  int CsvFilterIndex = 0;
  AnsiString CsvDir;
  AnsiString CommandName;
  AnsiString Description;
  AnsiString Script;
  int Target = 0;  // rows of the folder command: 0 all, 1 selected, 2 unselected

  // ---- Run-time fields ----
  CRuleFolder* Parent;
  CDbHandle* ListHandle = nullptr;  // the handle holding this folder's open listing, not owned
  int FetchedCount = 0;
  CCapInfoList* ListedColumns = nullptr;  // owned list, descriptors of CapInfoList
  TFolderChangedEvent OnTreeChanged;
  TFolderChangedEvent OnListChanged;

  // What the script of the running command sees; set before each run of the script, kept after.
  CRecSelect* ScriptQuery = nullptr;          // owned during one run of the script
  AnsiString ScriptTable;                     // put before names written without a table
  CCapInfoList* ScriptColumns = nullptr;      // not owned: the descriptors of ScriptRow's values
  TStrings* ScriptRow = nullptr;              // not owned: the values of the record in hand
  TStrings* ScriptTargetNames = nullptr;      // not owned: columns of the record being built
  TStrings* ScriptTargetValues = nullptr;     // not owned: its values, which "setvalue" writes
  int ScriptOrdinal = 0;                      // 1 for the first row the worker handles
  int ScriptTotal = 0;                        // rows the worker handles

 protected:
  // The nearest folder, this one or above, that has own display columns.
  CRuleFolder* FormatOwner();
  // Notes an item of the folder file that could not be read (counted at the root).
  void NoteLoadSkip();
  // Registers item with handle for the open listing, the items its expression names first, each
  // once (registered lists them). An item whose expression leads back to itself is registered
  // without an expression, so that it computes as "".
  void RegisterExtendedItem(CDbHandle* handle, CCapInfo* item, std::vector<AnsiString>& registered);

  friend class TCvStrMacro_b;

 private:
  bool LoadColumns(TStream* stream, int count, CCapInfoList*& list);
  bool LoadLines(TStream* stream, int count, TStringList*& lines);
  // Names of the extended items whose expressions the column collector is walking now.
  std::vector<AnsiString> extWalking_;
};

// The root of the tree. It owns the tree's database handle (never saved), the root run-time node
// and the folder-file paths, counts the modifications since the last save, and decides the class
// of every sub-folder read from the folder file.
class CTopRuleFolder : public CRuleFolder {
 public:
  CTopRuleFolder();
  ~CTopRuleFolder() override;

  TStrings* GetSharedList() override;
  int AddModified(int n) override;
  int GetModified() override;
  // The root's menu: "表作成", "編集", "-", "表定義の書き出し", "表定義の読み込み", every item's
  // click bound to MenuItemClick.
  TPopupMenu* PopupFolderMenu() override;
  bool Save(TStream* stream) override;
  bool Load(TStream* stream) override;
  CRuleFolder* CreateChild(CRuleFolder* parent, TStream* stream) override;
  AnsiString MakeJoinCondition_a(const AnsiString& tableA, const AnsiString& tableB) override;
  int CollectAllTableFolders(TList& list) override;
  int GetTableList(TStrings& list) override;

  // The folder files: the settings files' paths with the extension ".fld".
  void SetFolderFilePaths(const AnsiString& readSettings, const AnsiString& writeSettings);
  // Writes the whole tree to a temporary file beside the write path, then moves the older files
  // down the backup generations and puts the new file in place. False, with the current file and
  // every backup as they were, when anything fails.
  virtual bool SaveFolderFile();
  // Why the last SaveFolderFile failed (the file and the system's reason); empty after a success.
  AnsiString SaveError;
  // Reads the tree from the read path. False, tree unchanged, when the file does not open or its
  // root record does not read. Items that could not be read are left out and reported once.
  virtual bool LoadFolderFile();

  // The root menu's commands, by the item's tag: 1 create a table, 2 edit the root, 3 read and 4
  // write table definitions.
  void MenuItemClick(int tag);
  // Asks for a new table's definition, then makes the table file (its columns and automatic
  // values) and the table folder, last under the root. False when the user cancelled, or when
  // the making failed: then it was reported with its reason and nothing is left behind.
  bool CreateTable();
  void EditTopFolder();

  TStringList* SharedList;
  int Modified = 0;
  CDbFolder* RootNode;
  AnsiString ReadPath;
  AnsiString WritePath;
  int LoadSkipped = 0;  // items the last load could not read

 private:
  std::unique_ptr<TPopupMenu> menu_;
};

// "/root/A/B" for a folder B under A under the root; "" for none.
AnsiString GetFolderPath(CRuleFolder* folder);
// Moves the current folder file (the write path with ".fld") and its backups "%s_%d.fld" one
// generation down, the oldest deleted, and then, when newFile is given, renames it into the
// current file's place. A step that fails puts back the renames already done and answers false.
bool RotateFolderBackups(CTopRuleFolder* root, int generations, const AnsiString& newFile = AnsiString());
void WriteTableDefinitionFile();
bool ReadTableDefinitionFile(const AnsiString& file);

// The deepest folder level the folder file may hold.
constexpr int FOLDER_MAX_DEPTH = 1000;
