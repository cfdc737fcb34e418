#include "folders/DbFolder.h"

#include "foundation/CapInfo.h"
#include "folders/FolderText.h"
#include "query/CondText.h"

// ---- CDbFolder ---------------------------------------------------------------------------------

CDbFolder::CDbFolder(CDbFolder* parent) : Name(SJ("名前なし")), Parent(parent) {}

CDbFolder::~CDbFolder() = default;

AnsiString CDbFolder::GetOwnerName() { return Folder ? Folder->GetOwnerName() : AnsiString(); }

void CDbFolder::SetTreeChangedHandler(TFolderChangedEvent handler) {
  if (Folder) Folder->OnTreeChanged = std::move(handler);
}

void CDbFolder::SetListChangedHandler(TFolderChangedEvent handler) {
  if (Folder) Folder->OnListChanged = std::move(handler);
}

bool CDbFolder::IsExpandable() { return !NoChildren; }

void CDbFolder::ClearChildren() {
  if (!Fixed) Children.Clear();
}

void CDbFolder::Expand() {
  if (Fixed) return;
  Children.Clear();
  if (Folder) Folder->MakeChildNodes(this);
}

AnsiString CDbFolder::GetNodeCondition() {
  std::vector<const AnsiString*> found;
  for (CDbFolder* node = this; node; node = node->Parent) {
    if (!node->Condition.empty() && (node == this || !node->PageNode)) found.push_back(&node->Condition);
    if (node->Folder && node->Folder->DbHandle) break;
  }
  AnsiString joined;
  for (auto it = found.rbegin(); it != found.rend(); ++it) joined += (joined.empty() ? "(" : " AND (") + **it + ")";
  return joined.empty() ? joined : "(" + joined + ")";
}

namespace {

AnsiString TableOf(const CDbFolder* node) { return node->Folder ? node->Folder->GetTableName() : AnsiString(); }

// The item names of the columns joined by ","; a name without a table part taken as one of table.
AnsiString ColumnListText(const CCapInfoList& columns, const AnsiString& table) {
  AnsiString text;
  for (int i = 0; i < columns.Count(); ++i) {
    const AnsiString& name = columns.GetItem(i)->Name;
    if (i > 0) text += ",";
    text += GetTablePart(name).empty() ? table + "." + name : name;
  }
  return text;
}

}  // namespace

bool CDbFolder::MakeOrCondition(CCapInfoList* columns, const TList* nodes, AnsiString& condition,
                                AnsiString& columnList) {
  if (!columns) return false;
  condition.clear();
  columnList.clear();
  const AnsiString table = TableOf(this);
  bool everything = false;
  for (int i = 0; nodes && i < nodes->Count(); ++i) {
    auto* node = static_cast<CDbFolder*>(nodes->Items(i));
    if (!node || TableOf(node) != table) continue;
    const AnsiString c = node->GetNodeCondition();
    // A node without a condition stands for every record, and so does the OR it joins.
    if (c.empty()) everything = true;
    else condition = condition.empty() ? c : "(" + condition + ") OR " + c;
  }
  if (everything) condition.clear();
  columnList = ColumnListText(*columns, table);
  return true;
}

bool CDbFolder::MakeAndCondition(const TList& nodes, TStrings& conditions, AnsiString& columns) {
  CCapInfoList* display = GetCapInfoList();
  if (!display || !Folder) return false;
  const AnsiString table = TableOf(this);
  for (int i = 0; i < nodes.Count(); ++i) {
    auto* node = static_cast<CDbFolder*>(nodes.Items(i));
    if (!node || TableOf(node) != table) continue;
    const AnsiString c = node->GetNodeCondition();
    const AnsiString x = Folder->ResolveExtendedItems(c, *display);
    if (!c.empty()) conditions.Add(x.empty() ? c : "(" + c + ") AND " + x);
  }
  if (conditions.Count() == 0) {
    const AnsiString x = Folder->ResolveExtendedItems(AnsiString(), *display);
    if (!x.empty()) conditions.Add(x);
  }
  columns = ColumnListText(*display, table);
  return true;
}

void CDbFolder::StartListing(const TList* nodes, const AnsiString* given) {
  AnsiString condition, columns;
  if (!Folder || !MakeOrCondition(GetCapInfoList(), given ? nullptr : nodes, condition, columns)) return;
  if (given) condition = *given;
  const AnsiString extra = Folder->MakeColumnCondition(condition, columns);
  if (!extra.empty()) condition = condition.empty() ? extra : "(" + condition + ") AND " + extra;
  TStringList conditions;
  if (!condition.empty()) conditions.Add(condition);
  Folder->ListStart(conditions, columns);
}

void CDbFolder::ListStart(const TList& nodes) { StartListing(&nodes, nullptr); }
void CDbFolder::ListStart_a(const AnsiString& condition) { StartListing(nullptr, &condition); }

bool CDbFolder::ListNext(TStrings& row) { return Folder ? Folder->ListNext(row) : false; }
int CDbFolder::ListNextNB(TStrings& row) { return Folder ? Folder->ListNextNB(row) : -1; }

void CDbFolder::ListEnd() {
  if (Folder) Folder->ListEnd();
}

CCapInfoList* CDbFolder::GetCapInfoList() { return Folder ? Folder->GetCapInfoList() : nullptr; }
CCapInfoList* CDbFolder::MakeDefaultCapInfoList() { return Folder ? Folder->MakeDefaultCapInfoList() : nullptr; }
int CDbFolder::EditCapInfo() { return Folder ? Folder->EditCapInfo() : -1; }
int CDbFolder::CreateChildFolder(int kind) { return Folder ? Folder->CreateChildFolder(kind) : -1; }
int CDbFolder::EditFolder() { return Folder ? Folder->EditFolder() : -1; }

AnsiString CDbFolder::GetQualifiedCondition() {
  const AnsiString table = TableOf(this);
  const AnsiString prefix = table.empty() ? table : table + ".";
  AnsiString result;
  CLexer lexer(Condition.c_str());
  for (lexer.NextToken(); lexer.Kind != LEX_END; lexer.NextToken()) {
    if (!result.empty()) result += " ";
    if (lexer.Kind == LEX_NAME) result += GetTablePart(lexer.Token).empty() ? prefix + lexer.Token : lexer.Token;
    else if (lexer.Kind == LEX_STRING) result += "'" + EscapeQuotes(lexer.Token) + "'";
    else result += LexTokenText(lexer);
  }
  return result;
}

int CDbFolder::DeleteRecords(CCapInfoList* columns, const std::vector<int>& indexes, const TList& rows) {
  if (!columns || !Folder) return 0;
  return Folder->DeleteRecords(columns, indexes, rows);
}

bool CDbFolder::UpdateRecord(CCapInfoList* columns, const TStrings& values) {
  return Folder && Folder->UpdateRecord(columns, values);
}

bool CDbFolder::InsertRecord(CCapInfoList* columns, const TStrings& values) {
  return Folder && Folder->InsertRecord(columns, values);
}

bool CDbFolder::Lock() { return Folder ? Folder->Lock() : true; }
bool CDbFolder::Unlock() { return Folder ? Folder->Unlock() : true; }

bool CDbFolder::RunCommand(int occasion, CCapInfoList* columns, CStringsList* rows, int start, TStringGridEx* grid) {
  return Folder && Folder->RunCommand(occasion, columns, rows, start, grid, true);
}

bool CDbFolder::ImportFile(int* result, const AnsiString& file) {
  return Folder ? Folder->ImportFile(result, file, nullptr) : false;
}

int CDbFolder::GetImageIndex(bool open) { return Folder ? Folder->GetImageIndex(open) : (open ? 1 : 0); }
TPopupMenu* CDbFolder::PopupFolderMenu() { return Folder ? Folder->PopupFolderMenu() : nullptr; }
CCapInfoList* CDbFolder::GetSumCapInfoList() { return Folder ? Folder->GetSumCapInfoList() : nullptr; }

bool CDbFolder::CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result) {
  return Folder ? Folder->CheckEditColumns(shown, target, result) : false;
}

bool CDbFolder::MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value) {
  return Folder ? Folder->MakeNextChunkCondition(columns, key, value) : false;
}

int CDbFolder::NextChunkRow(TStrings& row) { return Folder ? Folder->NextChunkRow(row) : -1; }
