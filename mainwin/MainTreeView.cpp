// The folder tree view: expanding and collapsing nodes, selecting folders (several with Ctrl),
// refreshing the tree by name after folder changes, dragging folders, the folder commands of its
// popup menu, and files dropped on the window.
//
// Every node's Data is the run-time folder node (CDbFolder) it shows. Those nodes are rebuilt
// whenever a folder's children are expanded again, so a tree node whose folder node was rebuilt
// loses its link before anything can reach the freed node through it.
#include <functional>
#include <memory>
#include <vector>

#include "folders/DbFolder.h"
#include "folders/FlowBox.h"
#include "folders/FolExpandUnit.h"
#include "folders/KensaUnit.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "mainwin/MenuClone.h"
#include "mainwin/NodePath.h"
#include "platform/SysUtils.h"
#include "query/SummaryMod.h"

namespace {

CDbFolder* NodeFolder(TTreeNode* node) { return node ? static_cast<CDbFolder*>(node->Data) : nullptr; }

// Whether folder is ancestor itself or lies below it.
bool IsWithin(const CRuleFolder* folder, const CRuleFolder* ancestor) {
  for (const CRuleFolder* f = folder; f; f = f->Parent)
    if (f == ancestor) return true;
  return false;
}

// Lets the folder node build its children on the expansion worker while this thread serves the
// worker's calls; the dialog shows only when the work outlasts a second. A message the expansion
// left is shown once it has ended.
void ExpandOnWorker(TComponent* owner, CDbFolder* folder) {
  auto* dialog = new TFolExpandDlg(owner);
  StartFolderExpansion(dialog, folder, [](void* argument) { static_cast<CDbFolder*>(argument)->Expand(); });
  // Ten rounds of 100 ms, each ending early once the worker's end handler has run.
  for (int round = 0; round < 10 && dialog->Running(); ++round) {
    Application->ProcessMessages();
    for (int ms = 0; ms < 100 && dialog->Running(); ++ms) {
      CheckSynchronize();
      if (dialog->Running()) Sleep(1);
    }
  }
  if (dialog->Running()) dialog->ShowModal();
  delete dialog;
  if (const AnsiString* message = ExpandMessage.load()) CvMessageBox(*message, "Cindervault", 0, owner);
}

// A tree node under parent for the folder node child: its name, pictures and expand button.
TTreeNode* AddFolderNode(TTreeView* tree, TTreeNode* parent, CDbFolder* child) {
  TTreeNode* n = tree->Items()->AddChildObject(parent, child->Name, child);
  n->SetImageIndex(child->GetImageIndex(false));
  n->SetSelectedIndex(child->GetImageIndex(true));
  n->SetHasChildren(child->IsExpandable());
  return n;
}

// Disables the controls a user could start something from, and enables again those it disabled
// however the scope ends: while a worker reads the folders, no listing or folder command may
// start from the window.
class ControlsOff {
 public:
  explicit ControlsOff(std::initializer_list<TControl*> controls) {
    for (TControl* c : controls)
      if (c && c->Enabled()) {
        c->SetEnabled(false);
        off_.push_back(c);
      }
  }
  ~ControlsOff() {
    for (TControl* c : off_) c->SetEnabled(true);
  }
  ControlsOff(const ControlsOff&) = delete;
  ControlsOff& operator=(const ControlsOff&) = delete;

 private:
  std::vector<TControl*> off_;
};

// The extension of the path's file name in upper case ("" without one).
AnsiString UpperExtension(const AnsiString& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return AnsiString();
  return UpperCase(path.substr(dot));
}

}  // namespace

// ---- Expanding, collapsing, selecting, deleting ----

void TFormMain::TreeView1Expanding(TObject* sender, TTreeNode* node, bool& allowExpansion) {
  WriteLog("TreeView Expanding");
  CDbFolder* folder = NodeFolder(node);
  if (!folder) {
    allowExpansion = false;
    return;
  }
  CChangeCursor cursor;
  node->DeleteChildren();
  const uint32_t t0 = GetTickCount();
  {
    ControlsOff off({CoolBar1, static_cast<TControl*>(DiagramBox), TabControl1, TreeView1});
    ExpandOnWorker(this, folder);
  }
  const uint32_t t1 = GetTickCount();
  const int count = folder->Children.Count();
  if (count == 0) {
    allowExpansion = false;
    node->SetHasChildren(false);
  } else {
    node->SetHasChildren(true);
    TreeView1->Items()->BeginUpdate();
    for (int i = 0; i < count; ++i) AddFolderNode(TreeView1, node, folder->Children.Get(i));
    TreeView1->Items()->EndUpdate();
  }
  const uint32_t t2 = GetTickCount();
  StatusBar1->Panels()->Items(1)->SetText(
      Format(SJ("展開:%d 検索:%d(ミリ秒) 表示:%d(ミリ秒)").c_str(), count, int(t1 - t0), int(t2 - t1)));
}

void TFormMain::TreeView1Collapsing(TObject* sender, TTreeNode* node, bool& allowCollapse) {
  WriteLog("TreeView Collapsing");
  allowCollapse = true;
  CDbFolder* folder = NodeFolder(node);
  if (!folder) return;
  TTreeNode* selected = TreeView1->Selected();
  node->DeleteChildren();
  node->SetHasChildren(folder->Children.Count() > 0);
  folder->ClearChildren();
  if (TreeView1->Selected() != selected) TreeView1Change(TreeView1, TreeView1->Selected());
}

void TFormMain::TreeView1Change(TObject* sender, TTreeNode* node) {
  WriteLog("TreeView Change");
  AddingToSelection = false;
  if (GetKeyState(VK_LBUTTON) < 0) {
    // The node was selected because a drag began on it: nothing is listed while it is dragged.
    ClearNodeList(Tv1NodeList);
    SearchedCount = 0;
    SelectFolder(nullptr);
  } else if (GetKeyState(VK_CONTROL) >= 0) {
    ClearNodeList(Tv1NodeList);
    SearchedCount = 0;
    SelectFolder(node);
  } else {
    TList* nodes = Tv1NodeList->Nodes;
    const int before = nodes->Count();
    if (CDbFolder* folder = NodeFolder(node); folder && nodes->IndexOf(node) < 0) {
      node->SetImageIndex(folder->GetImageIndex(true));
      nodes->Add(node);
      ++Tv1NodeList->ChangeCount;
    }
    AddingToSelection = before >= 1 && nodes->Count() > before;
    SelectFolder(node);
    AddingToSelection = false;
  }
}

void TFormMain::SelectFolder(TTreeNode* node) {
  SetCaption(node ? BaseCaption + " - " + NodePathText(node) : BaseCaption);
  if (CDbFolder* folder = NodeFolder(node); folder && Tv1NodeList->Nodes->IndexOf(node) < 0) {
    node->SetImageIndex(folder->GetImageIndex(true));
    Tv1NodeList->Nodes->Add(node);
    ++Tv1NodeList->ChangeCount;
  }
  RefreshListView(node, false);
}

void TFormMain::ClearNodeList(CTv1NodeList* list) {
  for (int i = list->Nodes->Count() - 1; i >= 0; --i) {
    auto* node = static_cast<TTreeNode*>(list->Nodes->Items(i));
    if (CDbFolder* folder = NodeFolder(node)) node->SetImageIndex(folder->GetImageIndex(false));
  }
  list->Nodes->Clear();
  ++list->ChangeCount;
}

void TFormMain::TreeView1Deletion(TObject* sender, TTreeNode* node) {
  if (!Tv1NodeList) return;
  if (node == ListedNode) {
    if (CDbFolder* folder = NodeFolder(node)) folder->ListEnd();
    ListedNode = nullptr;
  }
  if (node == PopupNode) {
    PopupNode = nullptr;
    PopupFolder = nullptr;
  }
  const int i = Tv1NodeList->Nodes->IndexOf(node);
  if (i >= 0) {
    Tv1NodeList->Nodes->Delete(i);
    ++Tv1NodeList->ChangeCount;
    WriteLog(SJ("Tv1NodeListより削除 ノード名=%s").c_str(), node->Text().c_str());
  }
}

// ---- Refreshing by name ----

namespace {

// Turns off the tree's expanding, collapsing and selection handlers and the controls a user could
// start something from, and puts them back however the refresh ends.
class RefreshGuard {
 public:
  RefreshGuard(TTreeView* tree, std::initializer_list<TControl*> controls) : tree_(tree), off_(controls) {
    tree_->Items()->BeginUpdate();
    expanding_ = std::move(tree_->OnExpanding);
    collapsing_ = std::move(tree_->OnCollapsing);
    change_ = std::move(tree_->OnChange);
    tree_->OnExpanding = nullptr;
    tree_->OnCollapsing = nullptr;
    tree_->OnChange = nullptr;
  }
  ~RefreshGuard() {
    tree_->OnExpanding = std::move(expanding_);
    tree_->OnCollapsing = std::move(collapsing_);
    tree_->OnChange = std::move(change_);
    tree_->Items()->EndUpdate();
  }
  RefreshGuard(const RefreshGuard&) = delete;
  RefreshGuard& operator=(const RefreshGuard&) = delete;

 private:
  TTreeView* tree_;
  ControlsOff off_;
  TTVExpandingEvent expanding_;
  TTVCollapsingEvent collapsing_;
  TTVChangedEvent change_;
};

}  // namespace

void TFormMain::RefreshTree(TTreeNode* node) {
  ++TreeRefreshCount;
  TTreeNode* first = TreeView1->Items()->GetFirstNode();
  if (!node) {
    node = first;
    if (!node || !TopFolder) return;
    CDbFolder* root = TopFolder->RootNode;
    node->SetImageIndex(root->GetImageIndex(false));
    node->SetSelectedIndex(root->GetImageIndex(true));
    node->SetText(root->Name);
  }
  CChangeCursor cursor;
  const bool hadChildren = node->Count() > 0;
  RefreshNode(node);
  if (node == first && !hadChildren) node->Expand(false);
}

void TFormMain::RefreshNode(TTreeNode* node) {
  const int changes = Tv1NodeList->ChangeCount;
  {
    RefreshGuard guard(TreeView1, {CoolBar1, static_cast<TControl*>(DiagramBox), TabControl1, TreeView1});
    RebuildNodeFolders(node);
    node->DeleteChildren();
    BuildChildNodes(node);
    RestoreNodeStates(node);
  }
  if (changes != Tv1NodeList->ChangeCount) {
    SearchedCount = 0;
    SelectFolder(TreeView1->Selected());
  }
}

void TFormMain::ForgetNodeFolders(TTreeNode* node) {
  if (node == ListedNode) {
    if (CDbFolder* folder = NodeFolder(node)) folder->ListEnd();
    ListedNode = nullptr;
  }
  node->Data = nullptr;
  for (int i = 0; i < node->Count(); ++i) ForgetNodeFolders(node->Item(i));
}

void TFormMain::RebuildNodeFolders(TTreeNode* node) {
  CDbFolder* folder = NodeFolder(node);
  if (!folder) return;
  TStringList expanded, listed;  // names of the children: expanded (with the old node), listed
  TTreeNode* selected = nullptr;
  for (int i = 0; i < node->Count(); ++i) {
    TTreeNode* child = node->Item(i);
    if (child == TreeView1->Selected()) selected = child;
    if (child->Expanded()) expanded.AddObject(child->Text(), child);
    if (const int k = Tv1NodeList->Nodes->IndexOf(child); k >= 0) {
      listed.Add(child->Text());
      Tv1NodeList->Nodes->Delete(k);
      ++Tv1NodeList->ChangeCount;
    }
    // The folder nodes of the whole subtree go with the expansion below: no tree node may keep a
    // link to one, and a listing open on one ends while it can still be reached.
    ForgetNodeFolders(child);
  }
  ExpandOnWorker(this, folder);
  for (int i = 0; i < folder->Children.Count(); ++i) {
    CDbFolder* child = folder->Children.Get(i);
    if (const int k = expanded.IndexOf(child->Name); k >= 0) {
      child->WasExpanded = true;
      auto* old = static_cast<TTreeNode*>(expanded.Objects(k));
      old->Data = child;
      RebuildNodeFolders(old);
      expanded.Delete(k);
    }
    if (const int k = listed.IndexOf(child->Name); k >= 0) {
      child->WasSelected = true;
      listed.Delete(k);
    }
    if (selected && selected->Text() == child->Name) {
      child->WasCurrent = true;
      selected = nullptr;
    }
  }
}

void TFormMain::BuildChildNodes(TTreeNode* node) {
  CDbFolder* folder = NodeFolder(node);
  if (!folder) return;
  for (int i = 0; i < folder->Children.Count(); ++i) {
    CDbFolder* child = folder->Children.Get(i);
    TTreeNode* n = AddFolderNode(TreeView1, node, child);
    if (child->WasExpanded) BuildChildNodes(n);
  }
}

void TFormMain::RestoreNodeStates(TTreeNode* node) {
  if (!NodeFolder(node)) return;
  node->Expand(false);
  for (int i = 0; i < node->Count(); ++i) {
    TTreeNode* child = node->Item(i);
    CDbFolder* folder = NodeFolder(child);
    if (folder->WasExpanded) RestoreNodeStates(child);
    if (folder->WasSelected && Tv1NodeList->Nodes->IndexOf(child) < 0) {
      child->SetImageIndex(folder->GetImageIndex(true));
      Tv1NodeList->Nodes->Add(child);
      ++Tv1NodeList->ChangeCount;
    }
    if (folder->WasCurrent) TreeView1->SetSelected(child);
  }
}

void TFormMain::RefreshTreeAndList() {
  const int listings = ListingCount;
  RefreshTree(nullptr);
  if (ListingCount == listings) {
    SearchedCount = 0;
    RefreshListView(TreeView1->Selected(), false);
  }
}

void TFormMain::FolderTreeChanged(CRuleFolder* folder) {
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  TTreeNode* first = TreeView1->Items()->GetFirstNode();
  CRuleFolder* parent = folder ? folder->Parent : nullptr;
  TTreeNode* shown = FindNodeOfFolderPath(parent, first);
  if (!shown || !shown->Data || shown == first) {
    RefreshTree(nullptr);
    return;
  }
  TTreeNode* level = shown->Parent();
  for (int i = level->Count() - 1; i >= 0; --i) {
    if (i >= level->Count()) continue;
    TTreeNode* node = level->Item(i);
    CDbFolder* nodeFolder = NodeFolder(node);
    if (!node->Expanded() || !nodeFolder || nodeFolder->Folder != parent) continue;
    node->SetImageIndex(nodeFolder->GetImageIndex(false));
    node->SetSelectedIndex(nodeFolder->GetImageIndex(true));
    RefreshTree(node);
  }
}

void TFormMain::FolderListChanged(CRuleFolder* folder) {
  CRuleFolder* listed = NodeRuleFolder(ListedNode);
  if (!listed || !folder) return;
  folder->GetExtendedItemTable();
  if (folder->MakeDefaultCapInfoList() != listed->MakeDefaultCapInfoList()) return;
  ClearStatusColumns();
  SearchedCount = 0;
  RefreshListView(TreeView1->Selected(), false);
}

void TFormMain::EndListingWithin(CRuleFolder* folder) {
  if (!ListedNode || !IsWithin(NodeRuleFolder(ListedNode), folder)) return;
  NodeFolder(ListedNode)->ListEnd();
  ListedNode = nullptr;
  // The shown rows and the summary are described by columns the folder may own: they are let go
  // first, so that no paint or tab switch reads the freed columns.
  ClearGrid(StringGridEx1);
  SumColumns = nullptr;
  SumRows->ColumnList = nullptr;
  Summary->SetSummaryColumns(SumRows, nullptr, nullptr);
  SumRows->DeleteAll();
  ListRows->ColumnList = nullptr;
  ListRows->DeleteAll();
  ClearStatusColumns();
}

// ---- Dragging ----

bool TFormMain::DragFolder(TTreeView* tree, int x, int y, bool drop) {
  CRuleFolder* source = NodeRuleFolder(tree->Selected());
  CRuleFolder* target = NodeRuleFolder(tree->GetNodeAt(x, y));
  if (!source || !target || source == target || !source->Parent || !target->Parent) return false;
  // A folder placed beside a folder of its own subtree would become its own ancestor when moved,
  // and a copy would land inside what it copies.
  if (IsWithin(target, source)) return false;
  const bool copy = GetKeyState(VK_CONTROL) < 0;
  // A copy is a plain folder: it cannot stand for a table.
  if (copy && source->GetTypeName() == "table") return false;
  CRuleFolder* parent = target->Parent;
  CRuleFolderList& into = parent->Children;
  CRuleFolder* level = parent;
  if (source->Parent == parent) {
    if (!drop) return true;
    const int from = into.IndexOf(source), to = into.IndexOf(target);
    if (from < 0 || to < 0) return false;
    if (copy) {
      into.Insert(to, source->Clone(parent));
    } else {
      // Taken out first and put in at the target's former place: downwards the folder lands after
      // the target, upwards before it.
      into.TList::Delete(from);
      into.Insert(to, source);
    }
    FolderTreeChanged(parent);
  } else {
    if (source->GetTableName() != parent->GetTableName()) return false;
    CRuleFolderList& from = source->Parent->Children;
    const int fromIndex = from.IndexOf(source), to = into.IndexOf(target);
    if (fromIndex < 0 || to < 0) return false;
    if (!drop) return true;
    if (!IsWithin(source, parent)) {
      while (level && level != source->Parent && level->GetTypeName() != "table") level = level->Parent;
    }
    if (copy) {
      into.Insert(to, source->Clone(parent));
    } else {
      from.TList::Delete(fromIndex);
      into.Insert(to, source);
      source->Parent = parent;
    }
    FolderTreeChanged(level);
  }
  parent->AddModified(1);
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  if (TreeView1->Selected() != ListedNode) RefreshListView(TreeView1->Selected(), false);
  return true;
}

void TFormMain::TreeView1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept) {
  const TCursor cursor = GetKeyState(VK_CONTROL) < 0 ? 2 : crDrag;
  (source == TreeView1 ? static_cast<TControl*>(TreeView1) : StringGridEx1)->DragCursor = cursor;
  // Only folders are taken: records dropped on a folder are not offered.
  accept = source == TreeView1 && DragFolder(TreeView1, x, y, false);
}

void TFormMain::TreeView1DragDrop(TObject* sender, TObject* source, int x, int y) {
  TreeView1->DragCursor = GetKeyState(VK_CONTROL) < 0 ? 2 : crDrag;
  if (source == TreeView1) DragFolder(TreeView1, x, y, true);
}

// ---- The popup menu and the folder commands ----

void TFormMain::PopupMenuTVPopup(TObject* sender) {
  PopupNode = TreeView1->Selected();
  PopupFolder = NodeFolder(PopupNode);
  TAction* const commands[] = {FolEditCapInfo, FolDelCapInfo, FolCreate, FolCreate1, FolCreate2, FolCreate3, FolEdit,
                               FolRelKensa, FolChkDat, FolCut, FolCopy, FolPaste, FolDelete};
  TPopupMenu* source = PopupMenu2;
  CRuleFolder* folder = PopupFolder ? PopupFolder->Folder : nullptr;
  const bool table = folder && folder->GetTypeName() == "table";
  PartitionMI->Visible = table;
  FolRelKensa->SetVisible(table);
  FolChkDat->SetVisible(table);
  if (!PopupFolder) {
    for (TAction* action : commands) action->SetEnabled(false);
  } else if (TPopupMenu* own = PopupFolder->PopupFolderMenu()) {
    source = own;
  } else {
    const int flags = folder ? folder->Flags : 0;
    for (TAction* action : commands) action->SetEnabled(true);
    const std::pair<int, std::vector<TAction*>> locks[] = {
        {0x01, {FolEdit}},
        {0x02, {FolEditCapInfo}},
        {0x04, {FolDelete}},
        {0x08, {FolDelCapInfo}},
        {0x10, {FolCreate, FolCreate1, FolCreate2, FolCreate3, FolPaste}},
        {0x20, {FolCopy}},
        {0x40, {FolCut}},
    };
    for (const auto& [bit, actions] : locks)
      if (flags & bit)
        for (TAction* action : actions) action->SetEnabled(false);
    if (!folder || !folder->CapInfoList) FolDelCapInfo->SetEnabled(false);
    if (!ClipFolder) FolPaste->SetEnabled(false);
    // The data check has no dialog to open yet: shown, but not offered.
    FolChkDat->SetEnabled(false);
  }
  TMenuItem* items = PopupMenuTV->Items();
  items->Clear();
  for (int i = 0; i < source->Items()->Count(); ++i) items->Add(CloneMenuItem(source->Items()->Items(i)));
  if (PopupFolder) {
    PopupFolder->SetListChangedHandler([this](CRuleFolder* f) { FolderListChanged(f); });
    PopupFolder->SetTreeChangedHandler([this](CRuleFolder* f) { FolderTreeChanged(f); });
  }
}

void TFormMain::FolEditCapInfoExecute(TObject* sender) {
  if (!PopupFolder) return;
  PopupFolder->SetListChangedHandler([this](CRuleFolder* f) { FolderListChanged(f); });
  PopupFolder->EditCapInfo();
}

void TFormMain::FolDelCapInfoExecute(TObject* sender) {
  CRuleFolder* folder = PopupFolder ? PopupFolder->Folder : nullptr;
  if (!folder) return;
  if (CvMessageBox(Format(SJ("フォルダ %s の表示書式を削除します。よろしいですか？").c_str(), folder->Name.c_str()),
                   SJ("削除の確認"), 1, this) != mrOk ||
      !folder->CapInfoList)
    return;
  folder->AddModified(1);
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  // A listing under the folder shows these columns: it ends before they go.
  EndListingWithin(folder);
  folder->ForgetListedColumns();
  delete folder->CapInfoList;
  folder->CapInfoList = nullptr;
  delete folder->SumCapInfoList;
  folder->SumCapInfoList = nullptr;
  delete folder->CardLayout;
  folder->CardLayout = nullptr;
  delete folder->SumCardLayout;
  folder->SumCardLayout = nullptr;
  FolderListChanged(folder);
}

void TFormMain::FolCreateExecute(TObject* sender) {}

void TFormMain::CreateChildOfPopupFolder(int kind) {
  if (!PopupFolder || PopupFolder->CreateChildFolder(kind) <= 0) return;
  // The new folder is a change to save like any other.
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  RefreshTree(nullptr);
}

void TFormMain::FolCreate1Execute(TObject* sender) { CreateChildOfPopupFolder(1); }

void TFormMain::FolCreate2Execute(TObject* sender) { CreateChildOfPopupFolder(2); }

void TFormMain::FolCreate3Execute(TObject* sender) { CreateChildOfPopupFolder(3); }

void TFormMain::FolEditExecute(TObject* sender) {
  if (!PopupFolder) return;
  PopupFolder->SetTreeChangedHandler([this](CRuleFolder* f) { FolderTreeChanged(f); });
  PopupFolder->EditFolder();
}

void TFormMain::FolDeleteExecute(TObject* sender) {
  CRuleFolder* folder = PopupFolder ? PopupFolder->Folder : nullptr;
  if (!folder) return;
  const bool cut = sender == FolCut;
  const AnsiString question = cut ? SJ("フォルダ %s を切り取ります。よろしいですか？") : SJ("フォルダ %s を削除します。よろしいですか？");
  if (CvMessageBox(Format(question.c_str(), folder->Name.c_str()), cut ? SJ("切り取りの確認") : SJ("削除の確認"), 1,
                   this) != mrOk)
    return;
  if (cut) FolCopyExecute(sender);
  CRuleFolder* parent = folder->Parent;
  if (!parent) return;
  // The listing open on the folder or below it ends before the folder goes.
  EndListingWithin(folder);
  if (!parent->RemoveChild(folder)) return;
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  FolderTreeChanged(parent);
}

void TFormMain::FolCopyExecute(TObject* sender) {
  CRuleFolder* folder = PopupFolder ? PopupFolder->Folder : nullptr;
  if (!folder) return;
  delete ClipFolder;
  ClipFolder = folder->Clone(nullptr);
  ClipTableName = folder->GetTableName();
}

void TFormMain::FolPasteExecute(TObject* sender) {
  CRuleFolder* folder = PopupFolder ? PopupFolder->Folder : nullptr;
  if (!folder || !ClipFolder) return;
  CRuleFolder* copy = ClipFolder->Clone(folder);
  folder->AddChild(copy);
  const AnsiString table = copy->GetTableName();
  if (!ClipTableName.empty() && !table.empty() && ClipTableName != table) copy->ReplaceTableName(ClipTableName, table);
  copy->SyncCapInfoList();
  folder->AddModified(1);
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  FolderTreeChanged(folder);
}

void TFormMain::FolRelKensaExecute(TObject* sender) {
  if (!PopupFolder) return;
  const std::unique_ptr<TKensaDlg> dialog = std::make_unique<TKensaDlg>(this);
  if (!dialog->SetFolder(PopupFolder)) return;
  PopupFolder->ListEnd();
  dialog->ShowModal();
  if (dialog->GetEditCount() > 0) RefreshTreeAndList();
}

void TFormMain::FolChkDatExecute(TObject* sender) {}

// The listed folder's command over the listed rows, the grid's selection deciding the selected
// ones; the records it changed are shown afresh.
void TFormMain::FolDoCmdExecute(TObject* sender) {
  CDbFolder* folder = NodeFolder(ListedNode);
  CCapInfoList* columns = nullptr;
  CStringsList* rows = nullptr;
  if (!folder || !folder->Folder || !GetGridRows(StringGridEx1, columns, rows)) return;
  if (folder->RunCommand(1, columns, rows, 0, StringGridEx1)) RefreshTreeAndList();
}

// ---- Dropped files ----

void TFormMain::DropFiles(TObject* sender, const std::vector<AnsiString>& paths) {
  int imported = 0;
  for (const AnsiString& path : paths) {
    if (UpperExtension(path) == ".TLD") {
      if (!ReadTableDefinitionFile(path)) break;
      ++imported;
      continue;
    }
    CDbFolder* folder = NodeFolder(TreeView1->Selected());
    int count = 0;
    if (!folder || !folder->ImportFile(&count, path)) {
      ReportError("%s", SJ("選択中のフォルダには取りこめません。").c_str());
      break;
    }
    imported += count;
  }
  if (imported > 0) RefreshTreeAndList();
}
