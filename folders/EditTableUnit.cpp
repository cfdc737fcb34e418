#include "folders/EditTableUnit.h"

#include "foundation/CapInfo.h"
#include "folders/RuleFolderTbl.h"
#include "query/DbHandle.h"

TEditTableDlg::TEditTableDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("表の編集"));
  SetBorderStyle(bsDialog);
}

void TEditTableDlg::SetTableFolder(CRuleFolderTbl* folder, CCapInfoList*) {
  TableName = folder->TableName;
  FileName = folder->DataFile;
  FolderName = folder->Name;
  ClosedImage = folder->ClosedImage;
  OpenImage = folder->OpenImage;
  Order.Clear();
  for (int i = 0; i < folder->Children.Count(); ++i) Order.AddObject(folder->Children.Get(i)->Name, folder->Children.Get(i));
  ColumnNames.Clear();
  ColumnTypes.Clear();
  ColumnOptions.Clear();
  if (CDbHandle* handle = folder->GetDbHandle()) handle->GetColumnInfo(folder->TableName, ColumnNames, &ColumnTypes, &ColumnOptions);
  const int id = ColumnNames.IndexOf(REC_ID_COLUMN);
  if (id >= 0) {
    ColumnNames.Delete(id);
    if (id < ColumnTypes.Count()) ColumnTypes.Delete(id);
    if (id < ColumnOptions.Count()) ColumnOptions.Delete(id);
  }
  Relations.Assign(folder->Relations);
}

AnsiString TEditTableDlg::GetDataFileName() const {
  const size_t slash = FileName.rfind('/');
  const size_t dot = FileName.rfind('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return FileName + ".kvr";
  return FileName.substr(0, dot) + ".kvr";
}

void TEditTableDlg::GetColumns(CRuleFolderTbl* folder, TStrings& names, TStrings& types, TStrings& options) {
  folder->TableName = TableName;
  folder->DataFile = GetDataFileName();
  folder->Name = FolderName;
  folder->ClosedImage = ClosedImage;
  folder->OpenImage = OpenImage;
  folder->Relations.Assign(Relations);
  for (int i = 0; i < ColumnNames.Count(); ++i) {
    const AnsiString type = i < ColumnTypes.Count() ? ColumnTypes[i] : AnsiString("string");
    names.AddObject(ColumnNames[i], reinterpret_cast<void*>(static_cast<intptr_t>(FieldTypeFromName(type))));
    types.Add(type);
    options.Add(i < ColumnOptions.Count() ? ColumnOptions[i] : AnsiString());
  }
}
