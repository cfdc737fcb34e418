// Run-time nodes of the folder tree. Each node of the tree view carries one CDbFolder, which shows
// one folder definition and adds its own condition: the definition's condition, the value of an
// enumeration node, or the OR of its children for a page node. The node's operations are the
// main window's interface to the folders; most pass the call to the node's folder.
//
// Node condition: the conditions of the node and its ancestors up to the nearest node whose folder
// has its own database handle (a table folder or the root), outermost first, each in parentheses,
// joined by " AND ", the whole in parentheses; page nodes above the node are skipped.
//
// A node owns its child nodes, never its folder. One thread at a time (the expansion and listing
// workers run while the user-interface thread waits).
#pragma once

#include "folders/RuleFolder.h"
#include "platform/Classes.h"
#include "views/CandUnit.h"

class CDbFolder;

// Child nodes in display order.
class CDbFolderList : public COwningList<CDbFolder> {};

// A node answers the candidates popup and the record edit dialog (CCandSource) through its folder.
class CDbFolder : public CCandSource {
 public:
  explicit CDbFolder(CDbFolder* parent);
  virtual ~CDbFolder();
  CDbFolder(const CDbFolder&) = delete;
  CDbFolder& operator=(const CDbFolder&) = delete;

  virtual AnsiString GetOwnerName();
  virtual void SetTreeChangedHandler(TFolderChangedEvent handler);
  virtual void SetListChangedHandler(TFolderChangedEvent handler);
  virtual bool IsExpandable();
  virtual void ClearChildren();  // unless fixed
  virtual void Expand();         // unless fixed: the folder builds the children again

  // Lists of nodes hold CDbFolder pointers (a CDbFolderList the caller only borrows, or a plain
  // list); null entries are skipped.
  // One condition per node of the list (nodes of another table than this node's are left out),
  // each with the joins its display columns need; false without display columns.
  virtual bool MakeAndCondition(const TList& nodes, TStrings& conditions, AnsiString& columns);
  // The node conditions of the nodes of this node's table joined by OR (a node with an empty
  // condition makes the whole condition empty: every record), and the column list of columns;
  // false when columns is none. nodes null: only the column list.
  virtual bool MakeOrCondition(CCapInfoList* columns, const TList* nodes, AnsiString& condition,
                               AnsiString& columnList);
  // Opens the listing of the selected nodes (this one among them) on this node's folder.
  virtual void ListStart(const TList& nodes);
  // Opens a listing of the given condition (the condition diagram's) on this node's folder.
  virtual void ListStart_a(const AnsiString& condition);
  virtual bool ListNext(TStrings& row);
  virtual int ListNextNB(TStrings& row);
  virtual void ListEnd();
  virtual CCapInfoList* GetCapInfoList();
  virtual CCapInfoList* MakeDefaultCapInfoList();
  virtual bool IsReadOnly() { return false; }
  virtual int EditCapInfo();
  virtual int CreateChildFolder(int kind);
  virtual int EditFolder();
  virtual AnsiString GetNodeCondition();
  // The node's own condition with every column qualified by the folder's table.
  virtual AnsiString GetQualifiedCondition();
  // 0 when columns is none; otherwise the folder's DeleteRecords.
  virtual int DeleteRecords(CCapInfoList* columns, const std::vector<int>& indexes, const TList& rows);
  // The folder's UpdateRecord and InsertRecord; false without a folder.
  virtual bool UpdateRecord(CCapInfoList* columns, const TStrings& values);
  virtual bool InsertRecord(CCapInfoList* columns, const TStrings& values);
  virtual bool Lock();
  virtual bool Unlock();
  // The folder's command over the listed rows (CRuleFolder::RunCommand, executing); false
  // without a folder.
  virtual bool RunCommand(int occasion, CCapInfoList* columns, CStringsList* rows, int start, TStringGridEx* grid);
  virtual bool ImportFile(int* result, const AnsiString& file);
  virtual int GetImageIndex(bool open);
  virtual TPopupMenu* PopupFolderMenu();
  virtual CCapInfoList* GetSumCapInfoList();
  bool CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result) override;
  bool MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value) override;
  virtual int NextChunkRow(TStrings& row);
  int FindExtendedItem(TStrings& row) override { return NextChunkRow(row); }
  AnsiString GetEditTableName() override { return Folder ? Folder->GetTableName() : AnsiString(); }
  AnsiString GetJoinCondition(const AnsiString& ownTable, const AnsiString& otherTable) override {
    return Folder ? Folder->MakeJoinCondition(ownTable, otherTable) : AnsiString();
  }

  AnsiString Name;
  AnsiString Condition;
  CDbFolderList Children;
  CDbFolder* Parent;
  CRuleFolder* Folder = nullptr;  // not owned
  bool NoChildren = false;  // known to have no children: no expand button
  bool Fixed = false;       // children are fixed (page nodes): clearing and expanding leave them
  bool PageNode = false;    // gathers value nodes; its condition is skipped for the nodes below
  bool WasExpanded = false;
  bool WasSelected = false;
  bool WasCurrent = false;

 private:
  // Composes condition and columns and opens the listing; condition given: it stands in for the
  // nodes' condition.
  void StartListing(const TList* nodes, const AnsiString* condition);
};

// ---- Nodes made from folders ----
//
// A condition, heading or table folder stands as one node; an enumeration folder as one node per
// distinct value of its column (gathered into page nodes when they are more than its maximum
// enumeration count); a folder without sub-folders shows below its node the folders of its group
// that are not yet on the node's path. These run on the expansion worker.

// The most value nodes one enumeration makes under one node.
constexpr int FOLDER_MAX_ENUM_NODES = 10000;

// One node for folder under parent. It has no expand button when the folder has no sub-folders
// and no group sibling could stand under it.
void AddSingleNode(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& out);
// The value nodes of an enumeration folder under parent: none without a database handle; one
// ordinary node when no value comes (or the item is an extended item). Stops at
// FOLDER_MAX_ENUM_NODES values (leaving ExpandMessage) or when ExpandAbort is raised, keeping the
// values gathered so far.
void EnumerateChildFolders(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& out);
// The nodes of the group siblings that may stand under node.
void AddGroupSiblingNodes(CRuleFolder* folder, CDbFolder* node, CDbFolderList& out);
// The folders of the group of the nearest grouped node at or above node, in child order, less
// the folders on node's path to the root.
void CollectGroupSiblings(CRuleFolder* folder, CDbFolder* node, std::vector<CRuleFolder*>& out);
// While nodes holds more than the folder's maximum enumeration count (above 1), gathers every
// run of that many into a fixed page node under parent whose condition is their conditions
// joined by OR; the first level of pages is named after its first node and "～".
void MakePageNodes(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& nodes);
