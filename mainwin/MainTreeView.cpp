// The folder tree view: expanding and collapsing nodes, selecting folders (several with Ctrl),
// refreshing the tree by name after folder changes, dragging folders and dropping records, the
// folder commands of its popup menu, and files dropped on the window.
#include "mainwin/MainForm.h"

void TFormMain::TreeView1Expanding(TObject* sender, TTreeNode* node, bool& allowExpansion) {}

void TFormMain::TreeView1Collapsing(TObject* sender, TTreeNode* node, bool& allowCollapse) {}

void TFormMain::TreeView1Change(TObject* sender, TTreeNode* node) {}

void TFormMain::TreeView1Deletion(TObject* sender, TTreeNode* node) {}

void TFormMain::TreeView1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept) {}

void TFormMain::TreeView1DragDrop(TObject* sender, TObject* source, int x, int y) {}

void TFormMain::PopupMenuTVPopup(TObject* sender) {}

void TFormMain::FolEditCapInfoExecute(TObject* sender) {}

void TFormMain::FolDelCapInfoExecute(TObject* sender) {}

void TFormMain::FolCreateExecute(TObject* sender) {}

void TFormMain::FolCreate1Execute(TObject* sender) {}

void TFormMain::FolCreate2Execute(TObject* sender) {}

void TFormMain::FolCreate3Execute(TObject* sender) {}

void TFormMain::FolEditExecute(TObject* sender) {}

void TFormMain::FolDeleteExecute(TObject* sender) {}

void TFormMain::FolCopyExecute(TObject* sender) {}

void TFormMain::FolPasteExecute(TObject* sender) {}

void TFormMain::FolRelKensaExecute(TObject* sender) {}

void TFormMain::FolChkDatExecute(TObject* sender) {}

void TFormMain::FolDoCmdExecute(TObject* sender) {}

void TFormMain::SelectFolder(TTreeNode* node) {}

void TFormMain::ClearNodeList(CTv1NodeList* list) {}

void TFormMain::RefreshTree(TTreeNode* node) {}

void TFormMain::RefreshTreeAndList() {}

void TFormMain::FolderTreeChanged(CRuleFolder* folder) {}

void TFormMain::FolderListChanged(CRuleFolder* folder) {}

void TFormMain::DropFiles(TObject* sender, const std::vector<AnsiString>& paths) {}

bool TFormMain::DragFolder(TTreeView* tree, int x, int y, bool drop) { return false; }
