// The CSV export of the list: the heading and the marked records to a CSV file or to the
// clipboard. The heading and every record line take the grid's column order: each grid column's
// heading cell carries its descriptor, whose run-time position names the column's text in a
// record row, so a column moved in the grid moves its heading and its fields together.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/CsvWrite.h"
#include "mainwin/MainForm.h"
#include "mainwin/MainSettings.h"
#include "platform/Clipbrd.h"
#include "platform/SysUtils.h"
#include "query/CsvFile.h"

namespace {

void AppendLine(AnsiString& out, const TStrings& fields, char separator) {
  out += JoinCsvFields(&fields, separator);
  out += "\r\n";
}

}  // namespace

int GridRowIndex(TStringGridEx* grid, int row) {
  const auto index = static_cast<int>(reinterpret_cast<intptr_t>(grid->Objects(0, row)));
  return index < 0 ? row - 1 : index;
}

void GridRecordFields(TStringGridEx* grid, const TStrings* row, TStrings& out) {
  out.Clear();
  for (int c = 0; c < grid->ColCount(); ++c) {
    const auto* column = static_cast<const CCapInfo*>(grid->Objects(c, 0));
    const int at = column ? column->Position : -1;
    out.Add(row && at >= 0 && at < row->Count() ? (*row)[at] : AnsiString());
  }
}

AnsiString GridExportText(TStringGridEx* grid, CStringsList* rows, char separator) {
  AnsiString text;
  TStringList fields;
  for (int c = 0; c < grid->ColCount(); ++c) fields.Add(grid->Cells(c, 0));
  AppendLine(text, fields, separator);
  for (int r = 1; r < grid->RowCount(); ++r) {
    if (!grid->GetRowSelects(r)) continue;
    const int index = GridRowIndex(grid, r);
    if (index < 0 || index >= rows->Count()) continue;
    GridRecordFields(grid, rows->Row(index), fields);
    AppendLine(text, fields, separator);
  }
  return text;
}

bool WriteExportFile(const AnsiString& path, const AnsiString& text) {
  TFileStream file(path, fmCreate);
  if (!file.IsOpen()) {
    ReportError("%s", Format(SJ("ファイル %s が作成できません。").c_str(), path.c_str()).c_str());
    return false;
  }
  const long n = static_cast<long>(text.size());
  errno = 0;
  if (file.Write(text.data(), n) == n) return true;
  const int error = errno ? errno : ENOSPC;
  // A cut file would pass for the whole list.
  DeleteFile(path);
  ReportError("%s", Format(SJ("ファイル %s に書き込めません（%s）。エクスポートできませんでした。").c_str(), path.c_str(),
                           std::strerror(error))
                        .c_str());
  return false;
}

bool TFormMain::ExportList() {
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(StringGridEx1, columns, rows)) return false;
  auto* dialog = new TCsvWriteDlg(this);
  dialog->SetSeparator(ClipSeparator);
  if (dialog->ShowModal() != mrOk) {
    delete dialog;
    return false;
  }
  const bool toFile = dialog->ToFile();
  const AnsiString path = ChangeFileExt(dialog->Edit1->Text(), ".csv");
  ClipSeparator = dialog->GetSeparator();
  delete dialog;

  AnsiString text;
  try {
    text = GridExportText(StringGridEx1, rows, toFile ? ',' : ClipSeparator);
  } catch (const std::bad_alloc&) {
    ReportError("%s", SJ("エクスポートできません。").c_str());
    return false;
  }
  if (toFile) return WriteExportFile(path, text);
  Clipboard()->SetTextBuf(text.c_str());
  return true;
}

void TFormMain::OpeCsvExecute(TObject*) { ExportList(); }
