#include "folders/RuleFolder.h"

#include "folders/DbFolder.h"
#include "folders/EditTableUnit.h"
#include "folders/EditTopFolderUnit.h"
#include "folders/FolCreateUnit1.h"
#include "folders/FolExpLogUnit.h"
#include "folders/FolLogiUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "platform/Menus.h"
#include "platform/SysUtils.h"
#include "query/DbHandle.h"
#include "store/Kvrvalue.h"

TImageList* FolderImageList = nullptr;

// ---- Construction and the child list -----------------------------------------------------------

namespace {

CCapInfoList* CloneCapInfoList(const CCapInfoList* list) {
  if (!list) return nullptr;
  auto* copy = new CCapInfoList;
  for (int i = 0; i < list->Count(); ++i) copy->Add(CCapInfo::Clone(list->GetItem(i)));
  return copy;
}

TStringList* CloneLines(const TStringList* lines) {
  if (!lines) return nullptr;
  auto* copy = new TStringList;
  copy->Assign(*lines);
  return copy;
}

}  // namespace

CRuleFolder::CRuleFolder(CRuleFolder* parent) : Name(SJ("名前なし")), Parent(parent) {}

CRuleFolder::~CRuleFolder() {
  Children.Clear();
  ForgetListedColumns();
  delete ListedColumns;
  delete CapInfoList;
  delete SumCapInfoList;
  delete DbHandle;
  delete CardLayout;
  delete SumCardLayout;
}

CRuleFolder* CRuleFolder::AddNewChild() {
  auto* child = new CRuleFolder(this);
  Children.Add(child);
  AddModified(1);
  return child;
}

int CRuleFolder::AddChild(CRuleFolder* folder) {
  folder->Parent = this;
  AddModified(1);
  return Children.Add(folder);
}

bool CRuleFolder::RemoveChild(CRuleFolder* folder) {
  const int i = Children.IndexOf(folder);
  if (i < 0) return false;
  Children.Delete(i);
  AddModified(1);
  return true;
}

bool CRuleFolder::ReorderChildren(const TStrings& order) {
  if (order.Count() != Children.Count()) return false;
  for (int i = 0; i < order.Count(); ++i)
    if (Children.IndexOf(order.Objects(i)) < 0 || order.IndexOfObject(order.Objects(i)) != i) return false;
  for (int i = 0; i < order.Count(); ++i) Children.SetItem(i, order.Objects(i));
  return true;
}

CRuleFolder* CRuleFolder::Clone(CRuleFolder* newParent) {
  auto* copy = new CRuleFolder(newParent);
  copy->Name = Name;
  copy->Kind = Kind;
  copy->Condition = Condition;
  copy->EnumItem = EnumItem;
  copy->StrLength = StrLength;
  copy->MaxEnumCount = MaxEnumCount;
  copy->MaxSearchCount = MaxSearchCount;
  copy->Group = Group;
  copy->CapInfoList = CloneCapInfoList(CapInfoList);
  copy->SumCapInfoList = CloneCapInfoList(SumCapInfoList);
  copy->LockMask = LockMask;
  copy->Flags = Flags;
  copy->OnTreeChanged = OnTreeChanged;
  copy->OnListChanged = OnListChanged;
  copy->ClosedImage = ClosedImage;
  copy->OpenImage = OpenImage;
  copy->CardPrintSettings = CardPrintSettings;
  copy->SumCardPrintSettings = SumCardPrintSettings;
  copy->CardLayout = CloneLines(CardLayout);
  copy->SumCardLayout = CloneLines(SumCardLayout);
  copy->CsvFilterIndex = CsvFilterIndex;
  copy->CsvDir = CsvDir;
  copy->CommandName = CommandName;
  copy->Description = Description;
  copy->Script = Script;
  copy->Target = Target;
  for (int i = 0; i < Children.Count(); ++i) copy->Children.Add(Children.Get(i)->Clone(copy));
  return copy;
}

CTopRuleFolder* CRuleFolder::GetTop() {
  CRuleFolder* f = this;
  while (f->Parent) f = f->Parent;
  return dynamic_cast<CTopRuleFolder*>(f);
}

int CRuleFolder::Depth() const {
  int depth = 0;
  for (const CRuleFolder* f = Parent; f; f = f->Parent) ++depth;
  return depth;
}

void CRuleFolder::ForgetListedColumns() {
  if (ListedColumns) ListedColumns->TList::Clear();
}

void CRuleFolder::DeleteCapInfo(int i) {
  if (!CapInfoList || i < 0 || i >= CapInfoList->Count()) return;
  ForgetListedColumns();
  CapInfoList->Delete(i);
}

// ---- Lookups along the parent chain ------------------------------------------------------------

CRuleFolder* CRuleFolder::FormatOwner() {
  for (CRuleFolder* f = this; f; f = f->Parent)
    if (f->CapInfoList) return f;
  return nullptr;
}

CDbHandle* CRuleFolder::GetDbHandle() { return DbHandle ? DbHandle : Parent ? Parent->GetDbHandle() : nullptr; }

CCapInfoList* CRuleFolder::GetCapInfoList() {
  return CapInfoList ? CapInfoList : Parent ? Parent->GetCapInfoList() : nullptr;
}

CCapInfoList* CRuleFolder::GetSumCapInfoList() {
  return SumCapInfoList ? SumCapInfoList : Parent ? Parent->GetSumCapInfoList() : nullptr;
}

int CRuleFolder::GetImageIndex(bool open) {
  const int index = open ? OpenImage : ClosedImage;
  if (index >= 0) return index;
  return Parent ? Parent->GetImageIndex(open) : (open ? 1 : 0);
}

AnsiString CRuleFolder::GetOwnerName() { return Parent ? Parent->GetOwnerName() : AnsiString(); }
AnsiString CRuleFolder::GetTypeName() { return AnsiString(); }
AnsiString CRuleFolder::GetTableName() { return Parent ? Parent->GetTableName() : AnsiString(); }
TStrings* CRuleFolder::GetSharedList() { return Parent ? Parent->GetSharedList() : nullptr; }
int CRuleFolder::AddModified(int n) { return Parent ? Parent->AddModified(n) : 0; }
int CRuleFolder::GetModified() { return Parent ? Parent->GetModified() : 0; }
TPopupMenu* CRuleFolder::PopupFolderMenu() { return nullptr; }

void CRuleFolder::SetCardPrintSettings(const AnsiString& text) {
  if (CRuleFolder* owner = FormatOwner()) owner->CardPrintSettings = text;
}

void CRuleFolder::SetSumCardPrintSettings(const AnsiString& text) {
  if (CRuleFolder* owner = FormatOwner()) owner->SumCardPrintSettings = text;
}

AnsiString CRuleFolder::GetCardPrintSettings() {
  CRuleFolder* owner = FormatOwner();
  return owner ? owner->CardPrintSettings : AnsiString();
}

AnsiString CRuleFolder::GetSumCardPrintSettings() {
  CRuleFolder* owner = FormatOwner();
  return owner ? owner->SumCardPrintSettings : AnsiString();
}

TStrings* CRuleFolder::GetCardLayout() {
  CRuleFolder* owner = FormatOwner();
  if (!owner) return nullptr;
  if (!owner->CardLayout) owner->CardLayout = new TStringList;
  return owner->CardLayout;
}

TStrings* CRuleFolder::GetSumCardLayout() {
  CRuleFolder* owner = FormatOwner();
  if (!owner) return nullptr;
  if (!owner->SumCardLayout) owner->SumCardLayout = new TStringList;
  return owner->SumCardLayout;
}

AnsiString CRuleFolder::GetImportDir() {
  CRuleFolder* owner = FormatOwner();
  return owner ? owner->CsvDir : AnsiString();
}

void CRuleFolder::SetImportDir(const AnsiString& dir) {
  if (CRuleFolder* owner = FormatOwner()) owner->CsvDir = dir;
}

int CRuleFolder::GetImportFilter() {
  CRuleFolder* owner = FormatOwner();
  return owner ? owner->CsvFilterIndex : 0;
}

void CRuleFolder::SetImportFilter(int index) {
  if (CRuleFolder* owner = FormatOwner()) owner->CsvFilterIndex = index;
}

// ---- Requests answered further up --------------------------------------------------------------

bool CRuleFolder::ImportFile(int* result, const AnsiString& file, CRuleFolder* origin) {
  if (!origin) origin = this;
  return Parent ? Parent->ImportFile(result, file, origin) : false;
}

bool CRuleFolder::ImportFile_a(const AnsiString& text1, const AnsiString& text2, int value) {
  return Parent ? Parent->ImportFile_a(text1, text2, value) : false;
}

bool CRuleFolder::MakeSubCondition(const AnsiString& condition, const AnsiString& columns, TStrings& row) {
  return Parent ? Parent->MakeSubCondition(condition, columns, row) : false;
}

AnsiString CRuleFolder::MakeJoinCondition(const AnsiString& tableA, const AnsiString& tableB) {
  return Parent ? Parent->MakeJoinCondition(tableA, tableB) : AnsiString();
}

AnsiString CRuleFolder::MakeJoinCondition_a(const AnsiString& tableA, const AnsiString& tableB) {
  return Parent ? Parent->MakeJoinCondition_a(tableA, tableB) : AnsiString();
}

AnsiString CRuleFolder::ResolveExtendedCondition(const AnsiString& condition, CCapInfoList* columns) {
  return Parent ? Parent->ResolveExtendedCondition(condition, columns) : AnsiString();
}

AnsiString CRuleFolder::ResolveExtendedCondition_a(const AnsiString& text1, const AnsiString& text2) {
  return Parent ? Parent->ResolveExtendedCondition_a(text1, text2) : AnsiString();
}

bool CRuleFolder::FindLinkedRecords(const AnsiString& table, AnsiString& column, AnsiString& value) {
  return Parent ? Parent->FindLinkedRecords(table, column, value) : false;
}

bool CRuleFolder::CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result) {
  return Parent ? Parent->CheckEditColumns(shown, target, result) : false;
}

bool CRuleFolder::MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value) {
  return Parent ? Parent->MakeNextChunkCondition(columns, key, value) : false;
}

int CRuleFolder::NextChunkRow(TStrings& row) { return Parent ? Parent->NextChunkRow(row) : -1; }
int CRuleFolder::CollectRelatedTables(TStrings& list) { return Parent ? Parent->CollectRelatedTables(list) : 0; }
int CRuleFolder::CollectAllTableFolders(TList& list) { return Parent ? Parent->CollectAllTableFolders(list) : 0; }
int CRuleFolder::GetTableList(TStrings& list) { return Parent ? Parent->GetTableList(list) : 0; }
int CRuleFolder::GetExtendedItemDefs(CCapInfoList& list) { return Parent ? Parent->GetExtendedItemDefs(list) : 0; }

// ---- Dialogs -----------------------------------------------------------------------------------

int CRuleFolder::CreateChildFolder(int kind) {
  if (!GetDbHandle()) {
    CvMessageBox(SJ("作成できません。"), SJ("確認"), 0, nullptr);
    return -1;
  }
  TFolForm* dialog;
  if (kind == 2) dialog = new TFolLogiDlg(Application);
  else if (kind == 3) dialog = new TFolExpLogDlg(Application);
  else dialog = new TFolCreate1(Application);
  dialog->EditMode = 0;
  dialog->SetFolder(this);
  dialog->ShowModal();
  const int count = dialog->UpdateCount;
  delete dialog;
  return count;
}

int CRuleFolder::EditFolder() {
  if (!GetDbHandle()) {
    CvMessageBox(SJ("編集できません。"), SJ("確認"), 0, nullptr);
    return -1;
  }
  TFolForm* dialog;
  if (Kind == FOLDER_CONDITION) dialog = new TFolLogiDlg(Application);
  else if (Kind == FOLDER_ENUMERATION) dialog = new TFolExpLogDlg(Application);
  else dialog = new TFolCreate1(Application);
  dialog->EditMode = 1;
  dialog->SetFolder(this);
  dialog->ShowModal();
  const int count = dialog->UpdateCount;
  delete dialog;
  if (count > 0 && OnTreeChanged) OnTreeChanged(this);
  return count;
}

AnsiString GetFolderPath(CRuleFolder* folder) {
  AnsiString path;
  for (CRuleFolder* f = folder; f; f = f->Parent) path = "/" + f->Name + path;
  return path;
}

// ---- The root ----------------------------------------------------------------------------------

namespace {

// The file-name part of a path with its extension replaced.
AnsiString FileNameWithExtension(const AnsiString& path, const char* extension) {
  const size_t slash = path.rfind('/');
  AnsiString name = slash == AnsiString::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != AnsiString::npos) name.resize(dot);
  return name + extension;
}

}  // namespace

CTopRuleFolder::CTopRuleFolder()
    : CRuleFolder(nullptr), SharedList(new TStringList), RootNode(new CDbFolder(nullptr)),
      menu_(std::make_unique<TPopupMenu>(nullptr)) {
  Name = "Cindervault";
  Flags = -1;
  DbHandle = new CDbHandle;
  RootNode->Name = Name;
  RootNode->Folder = this;
  const std::string exe = ExecutablePath();
  if (!exe.empty()) {
    const size_t slash = exe.rfind('/');
    ReadPath = exe.substr(0, slash + 1) + FileNameWithExtension(exe, ".fld");
  }
  WritePath = ReadPath;
  menu_->AutoPopup = false;
  const auto add = [this](const AnsiString& caption, int tag, bool enabled) {
    auto* item = new TMenuItem(menu_.get());
    item->SetCaption(caption);
    item->Tag = tag;
    item->Enabled = enabled;
    menu_->Items()->Add(item);
  };
  add(SJ("表作成"), 1, true);
  add(SJ("編集"), 2, true);
  add("-", -1, true);
  add(SJ("表定義の書き出し"), 4, false);
  add(SJ("表定義の読み込み"), 3, false);
}

CTopRuleFolder::~CTopRuleFolder() {
  delete SharedList;
  delete RootNode;
}

TStrings* CTopRuleFolder::GetSharedList() { return SharedList; }

int CTopRuleFolder::AddModified(int n) { return Modified += n; }
int CTopRuleFolder::GetModified() { return Modified; }

TPopupMenu* CTopRuleFolder::PopupFolderMenu() {
  for (int i = 0; i < menu_->Items()->Count(); ++i)
    menu_->Items()->Items(i)->OnClick = [this](TObject* sender) { MenuItemClick(static_cast<TMenuItem*>(sender)->Tag); };
  return menu_.get();
}

void CTopRuleFolder::MenuItemClick(int tag) {
  switch (tag) {
    case 1:
      CreateTable();
      break;
    case 2:
      EditTopFolder();
      break;
    case 3:
      ReadTableDefinitionFile(AnsiString());
      break;
    case 4:
      WriteTableDefinitionFile();
      break;
    default:
      break;
  }
}

void CTopRuleFolder::EditTopFolder() {
  auto* dialog = new TEditTopFolderDlg(Application);
  dialog->SetImageList(FolderImageList);
  dialog->SetFolder(this);
  if (dialog->ShowModal() == mrOk) {
    dialog->UpdateFolder(this);
    RootNode->Name = Name;
    AddModified(1);
    if (OnTreeChanged) OnTreeChanged(this);
  }
  delete dialog;
}

namespace {

// Creates (or takes over) the table file of a new table folder with the given columns and their
// option lines. False with the reason when a step fails; a file that this call created is then
// removed again. The store's own messages are kept back: the caller reports once, with the reason.
bool MakeTableFile(CRuleFolderTbl* table, const TStrings& names, const TStrings& options, AnsiString& reason) {
  CDbHandle* handle = table->DbHandle;
  if (!table->ResetTables()) {
    reason = Format(SJ("ファイル %s が作成できません。").c_str(), table->DataFile.c_str());
    return false;
  }
  const bool quiet = ErrorQuiet.exchange(true);
  const bool existed =
      IsRemoteName(table->DataFile.c_str()) ? handle->TableExists(table->TableName) : FileExists(table->DataFile);
  bool made = true;
  for (int i = 0; made && i < names.Count(); ++i) {
    const int code = static_cast<int>(reinterpret_cast<intptr_t>(names.Objects(i)));
    if (!handle->AddColumn(table->TableName, names[i], FieldTypeName(code), 16)) {
      made = false;
      reason = existed || handle->TableExists(table->TableName)
                   ? Format(SJ("項目 %s が追加できません。").c_str(), names[i].c_str())
                   : Format(SJ("ファイル %s が作成できません。").c_str(), table->DataFile.c_str());
    }
  }
  TStringList columns;
  if (made) handle->GetColumnInfo(table->TableName, columns, nullptr, nullptr);
  if (made && columns.Count() == 0) {
    made = false;
    reason = Format(SJ("ファイル %s が開けません。").c_str(), table->DataFile.c_str());
  }
  if (made && handle->SetColumnInfo(table->TableName, names, options) < 0) {
    made = false;
    reason = SJ("項目の設定が書き込めません。");
  }
  if (!made && !existed && handle->TableExists(table->TableName)) handle->DeleteTable(table->TableName);
  ErrorQuiet = quiet;
  return made;
}

}  // namespace

bool CTopRuleFolder::CreateTable() {
  auto* dialog = new TEditTableDlg(Application);
  dialog->SetImageList(FolderImageList);
  dialog->NewTable = true;
  dialog->CanDeleteColumns = true;
  auto* existing = new TStringList;
  GetTableList(*existing);
  dialog->ExistingTables = existing;
  bool created = false;
  if (dialog->ShowModal() == mrOk) {
    auto* table = new CRuleFolderTbl(this);
    TStringList names, types, options;
    dialog->GetColumns(table, names, types, options);
    if (table->Name.empty()) table->Name = table->TableName;
    AnsiString reason;
    if (MakeTableFile(table, names, options, reason)) {
      // Every column of the table is listed, in the table's order.
      TStringList columns;
      table->DbHandle->GetColumnInfo(table->TableName, columns, nullptr, nullptr);
      table->CapInfoList = new CCapInfoList;
      table->SumCapInfoList = new CCapInfoList;
      for (int i = 0; i < columns.Count(); ++i) {
        if (columns[i] == REC_ID_COLUMN) continue;
        auto* info = new CCapInfo;
        info->Name = table->TableName + "." + columns[i];
        info->Caption = columns[i];
        info->Shown = true;
        table->CapInfoList->Add(info);
      }
      AddChild(table);
      table->SyncCapInfoList();
      created = true;
      if (OnTreeChanged) OnTreeChanged(this);
    } else {
      ReportError("%s\n%s", SJ("表は作成できません。").c_str(), reason.c_str());
      delete table;
    }
  }
  delete dialog;
  delete existing;
  return created;
}

void CTopRuleFolder::SetFolderFilePaths(const AnsiString& readSettings, const AnsiString& writeSettings) {
  // Beside the settings files: the directory of the settings is the user's, the current one may
  // be anything.
  const auto beside = [](const AnsiString& settings) {
    const size_t slash = settings.rfind('/');
    return (slash == AnsiString::npos ? AnsiString() : settings.substr(0, slash + 1)) +
           FileNameWithExtension(settings, ".fld");
  };
  ReadPath = beside(readSettings);
  WritePath = beside(writeSettings);
}

AnsiString CTopRuleFolder::MakeJoinCondition_a(const AnsiString&, const AnsiString&) { return AnsiString(); }

int CTopRuleFolder::CollectAllTableFolders(TList& list) { return CollectTableFolders(list); }

int CTopRuleFolder::GetTableList(TStrings& list) {
  TList folders;
  CollectAllTableFolders(folders);
  for (int i = 0; i < folders.Count(); ++i) {
    auto* folder = static_cast<CRuleFolder*>(folders.Items(i));
    list.AddObject(folder->GetTableName(), folder);
  }
  return folders.Count();
}

void WriteTableDefinitionFile() { ReportError("%s", SJ("表定義の書き出しはできません。").c_str()); }

bool ReadTableDefinitionFile(const AnsiString&) {
  ReportError("%s", SJ("表定義の読み込みはできません。").c_str());
  return false;
}
