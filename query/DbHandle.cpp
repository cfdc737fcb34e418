#include "query/DbHandle.h"

#include <algorithm>

#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LengthPrefixedText.h"
#include "foundation/LogForm.h"
#include "platform/FileLock.h"
#include "query/CondText.h"
#include "query/CsvFile.h"
#include "query/ReadingDlgUnit.h"
#include "store/KvRecord.h"

CDbHandle::CDbHandle() : files_(std::make_unique<CRecFileList>()) {}

CDbHandle::~CDbHandle() = default;

// ---- Tables ------------------------------------------------------------------------------------

CDbHandle* CDbHandle::Clone() {
  auto* copy = new CDbHandle;
  for (int i = 0; i < tableNames_.Count(); ++i) copy->AddTable(fileNames_[i], tableNames_[i]);
  return copy;
}

bool CDbHandle::AddTable(const AnsiString& file, const AnsiString& table) {
  if (tableNames_.IndexOf(table) >= 0 || !files_->AddTable(file, table)) return false;
  fileNames_.Add(file);
  tableNames_.Add(table);
  return true;
}

bool CDbHandle::RemoveTable(const AnsiString& table) {
  const int i = tableNames_.IndexOf(table);
  if (i < 0) return false;
  files_->RemoveTable(table);
  fileNames_.Delete(i);
  tableNames_.Delete(i);
  return true;
}

bool CDbHandle::DeleteTable(const AnsiString& table) {
  const bool deleted = files_->DeleteTable(table);
  RemoveTable(table);
  return deleted;
}

bool CDbHandle::RemoveTableByFile(const AnsiString& file) {
  const int i = fileNames_.IndexOf(file);
  if (i < 0) return false;
  files_->RemoveTable(tableNames_[i]);
  fileNames_.Delete(i);
  tableNames_.Delete(i);
  return true;
}

bool CDbHandle::MainTableExists() {
  if (tableNames_.Count() == 0) return false;
  for (int i = tableNames_.Count() - 1; i >= 0; --i)
    if (!files_->TableExists(tableNames_[i])) return false;
  return true;
}

bool CDbHandle::IsRecIdColumn(const AnsiString& column) {
  return tableNames_.Count() > 0 && GetFieldPart(column) == kvrRecIdName;
}

bool CDbHandle::IsDataColumn(const AnsiString& column) {
  return tableNames_.Count() > 0 && GetFieldPart(column) != kvrRecIdName;
}

bool CDbHandle::TableExists(const AnsiString& table) { return files_->TableExists(table); }

void CDbHandle::SetTableResolver(TableResolver resolver) { files_->SetTableResolver(std::move(resolver)); }

void CDbHandle::ClearTables() {
  fileNames_.Clear();
  tableNames_.Clear();
  files_->ClearTables();
}

AnsiString CDbHandle::TableOrFirst(const AnsiString& table) const {
  return table.empty() && tableNames_.Count() > 0 ? tableNames_[0] : table;
}

AnsiString CDbHandle::Qualified(const AnsiString& column) const {
  return tableNames_.Count() > 0 ? QualifyColumnName(tableNames_[0], column) : column;
}

// ---- Writing -----------------------------------------------------------------------------------

bool CDbHandle::UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                              const AnsiString& condition) {
  return files_->UpdateRecords(columns, table, values, condition);
}

bool CDbHandle::InsertRecord(const AnsiString& columns, const AnsiString& tables, const TStrings& values) {
  return files_->InsertRecord(columns, tables, values);
}

bool CDbHandle::Lock() {
  if (lockDepth_ == 0 && fileNames_.Count() > 0) {
    if (!updateLock_) updateLock_ = std::make_unique<TFileByteLock>();
    if (updateLock_->TryAcquire(fileNames_[0], DB_UPDATE_LOCK_BYTE) == 0) return false;
  }
  ++lockDepth_;
  return true;
}

bool CDbHandle::Unlock() {
  if (lockDepth_ == 0) return false;
  if (--lockDepth_ == 0 && updateLock_) updateLock_->Release();
  return true;
}

bool CDbHandle::DeleteRecords(const AnsiString& table, const TStrings& ids) {
  if (ids.Count() == 0) return true;
  return files_->DeleteRecords(TableOrFirst(table), ids) == ids.Count();
}

bool CDbHandle::SetValue(const AnsiString& table, const TStrings& ids, const AnsiString& column,
                         const AnsiString& value) {
  return files_->SetValue(TableOrFirst(table), ids, column, value) == ids.Count();
}

// ---- Cursors -----------------------------------------------------------------------------------

bool CDbHandle::ListStart(const TStrings& conditions, const AnsiString& columns) {
  AnsiString joined;
  for (int i = 0; i < conditions.Count(); ++i) joined += (i == 0 ? "(" : " OR (") + conditions[i] + ")";
  WriteLog("ListStart(): conds=%s", joined.c_str());
  WriteLog("             cols=%s", columns.c_str());
  return files_->ListStart(columns, AnsiString(), joined);
}

bool CDbHandle::ListStartCond(const AnsiString& condition, const AnsiString& columns) {
  return files_->ListStart(columns, AnsiString(), condition);
}

bool CDbHandle::ListNext(TStrings& row) { return files_->ListNext(row); }
int CDbHandle::ListNextNB(TStrings& row) { return files_->ListNextNB(row); }
void CDbHandle::ListEnd() { files_->ListEnd(); }

void CDbHandle::EnumStart(const AnsiString& condition, const AnsiString& column, int cut, TStrings& out,
                          RecEnumProgress progress) {
  files_->EnumStart(condition, Qualified(column), cut, out, progress);
}

void CDbHandle::EnumStartCond(const AnsiString& condition, const AnsiString& column, int cut) {
  files_->EnumStartCond(condition, Qualified(column), cut);
}

bool CDbHandle::EnumNext(TStrings& list) { return files_->EnumNext(list); }
int CDbHandle::EnumNextNB(TStrings& list) { return files_->EnumNextNB(list); }
void CDbHandle::EnumEnd() { files_->EnumEnd(); }

void CDbHandle::GetExtendedValue(const CCapInfo* column) {
  if (!column) return;
  char type = kvrString;
  if (column->Type == 1) type = kvrSigned;
  else if (column->Type == 2) type = kvrReal;
  else if (column->Type == 3) type = kvrSet;
  files_->GetExtendedValue(GetFieldPart(column->Name), type, column->Expression);
}

bool CDbHandle::GetRecordById(const AnsiString& id, const AnsiString& tables, const AnsiString& columns,
                              TStrings& row) {
  row.Clear();
  // The id goes into the condition as it stands: anything but digits would read as more of the
  // condition than one comparison.
  if (id.empty() || !std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
  if (!files_->ListStart(columns, tables, Format("%s=%s", kvrRecIdName, id.c_str()))) return false;
  const bool found = files_->ListNext(row);
  files_->ListEnd();
  return found;
}

// ---- Columns -----------------------------------------------------------------------------------

int CDbHandle::GetAllColumns(TStrings& names, TStrings& types) {
  files_->GetAllColumns(names, types);
  return names.Count();
}

void CDbHandle::GetColumnTypes(const AnsiString& table, TStrings& names, TStrings* types) {
  if (TableExists(table)) files_->GetColumnTypes(table, names, types);
}

void CDbHandle::GetColumnInfo(const AnsiString& table, TStrings& names, TStrings* types, TStrings* options) {
  if (TableExists(table)) files_->GetColumnInfo(table, names, types, options);
}

AnsiString CDbHandle::GetColumnType(const AnsiString& column) {
  AnsiString table = GetTablePart(column);
  if (table.empty()) {
    if (tableNames_.Count() == 0) return "string";
    table = tableNames_[0];
  }
  TStringList names, types;
  files_->GetColumnTypes(table, names, &types);
  const int i = names.IndexOf(GetFieldPart(column));
  if (i < 0 || i >= types.Count()) return "string";
  return types[i] == "unsigned" ? AnsiString("int") : types[i];
}

bool CDbHandle::AddColumn(const AnsiString& table, const AnsiString& column, const AnsiString& type, int length) {
  return files_->AddColumn(table, column, type, length) >= 0;
}

int CDbHandle::SetColumnInfo(const AnsiString& table, const TStrings& names, const TStrings& options) {
  return files_->SetColumnInfo(table, names, options);
}

int CDbHandle::ReIndexTable(const AnsiString& table, RecProgress progress, void* context) {
  return files_->ReIndexTable(table, progress, context);
}

// ---- Import ------------------------------------------------------------------------------------

bool CDbHandle::ImportFile(const AnsiString& file, int skip, int limit, const AnsiString& table, TStrings* map) {
  CCsvFile reader;
  if (!reader.Open(file, "rb")) return false;
  return ImportRecords(&reader, skip, limit, table, map) != 0;
}

int CDbHandle::ImportRecords(CCsvFile* reader, int skip, int limit, const AnsiString& table, TStrings* map) {
  if (files_->Count() == 0) {
    ReportError("%s", SJ("データファイルが設定されていません。").c_str());
    return 0;
  }
  auto* dialog = new TReadingDlg(Application);
  ReadingDlg = dialog;
  TReadingTh* thread = dialog->Thread;
  thread->FileList = files_.get();
  thread->Reader = reader;
  thread->ColumnMap = map;
  thread->TableName = table;
  thread->SkipCount = skip;
  thread->RecordLimit = limit;
  dialog->ShowModal();
  const int success = dialog->SuccessCount;
  const int errors = dialog->ErrorCount;
  ReadingDlg = nullptr;
  delete dialog;
  CvMessageBox(Format(SJ("読込成功 %d 件、エラー %d 件").c_str(), success, errors), SJ("読込成功"), 0, nullptr);
  return success;
}

// ---- The table block ---------------------------------------------------------------------------

bool CDbHandle::SaveTables(TStream* stream) {
  if (!stream) return false;
  const AnsiString record = TStringList().CommaText() + "\n";
  return WriteLengthPrefixedString(stream, record) && WriteLengthPrefixedString(stream, record);
}

bool CDbHandle::LoadTables(TStream* stream) {
  files_ = std::make_unique<CRecFileList>();
  fileNames_.Clear();
  tableNames_.Clear();
  if (!stream) return false;
  AnsiString fileLine, tableLine;
  if (!ReadLengthPrefixedLine(stream, fileLine) || !ReadLengthPrefixedLine(stream, tableLine)) return false;
  TStringList files, tables;
  files.SetCommaText(fileLine);
  tables.SetCommaText(tableLine);
  for (int i = 0; i < files.Count() && i < tables.Count(); ++i)
    if (!files[i].empty() && !tables[i].empty()) AddTable(files[i], tables[i]);
  return true;
}
