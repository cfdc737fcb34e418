// The import of a text file into a table folder's table.
#include <memory>

#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CvMessageUnit.h"
#include "query/CsvFile.h"
#include "query/DbHandle.h"

bool CRuleFolderTbl::ImportFile(int* result, const AnsiString& file, CRuleFolder* origin) {
  if (result) *result = 0;
  CRuleFolder* settings = origin ? origin : this;
  TComponent* owner = Application->MainForm() ? static_cast<TComponent*>(Application->MainForm()) : Application;
  auto dialog = std::make_unique<TReadCsvDlg>(owner);
  dialog->FiltersOffered = true;
  dialog->SetFolder(settings);
  if (!file.empty()) {
    dialog->Edit3->SetText(file);
    LoadCsvPreview(dialog.get());
  }
  if (dialog->ShowModal() != mrOk) return true;
  std::unique_ptr<CCsvFile> reader(CreateCsvReader(dialog.get()));
  if (!reader) {
    // Said, rather than a silent end: the user pressed "開始" and would take silence for success.
    CvMessageBox(Format(SJ("ファイル %s がありません。").c_str(), dialog->Edit3->Text().c_str()), SJ("確認"), 0,
                 nullptr);
    return true;
  }
  const int skip = dialog->GetSkipCount();
  const int limit = dialog->GetRowLimit();
  const AnsiString table = dialog->GetTableName();
  TStrings* map = dialog->GetColumnMap();
  dialog->StoreSettings(settings);
  CDbHandle* handle = GetDbHandle();
  const int stored = handle ? handle->ImportRecords(reader.get(), skip, limit, table, map) : 0;
  if (result) *result = stored;
  return true;
}
