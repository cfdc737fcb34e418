// The CSV export of listed rows: the heading and every marked row of the list grid built as CSV
// text and written to a file, against the sqlite3 program writing the same rows from its database
// as CSV (".mode csv", warm cache, process start included) in the same run. The rows are in memory
// as the listing leaves them; the listing itself is not timed. Eight columns: a number, a Japanese
// name, a text with a comma, a text with a double quote on every seventh row, a date, an amount,
// a host address and a note with a line break on every eleventh row.
// Then the edit dialog's sheet: whole columns of a sheet of rows / 2 rows selected by their
// headings and copied to the clipboard, and a block of rows / 20 lines of ten fields pasted.
// Usage: export_bench [rows] (default 200000).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "platform/Clipbrd.h"
#include "bench/OffscreenApp.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "views/KelmGrid.h"

namespace {

constexpr int kColumns = 8;

void Die(const char* what) {
  std::fprintf(stderr, "export_bench: %s\n", what);
  std::exit(1);
}

std::vector<std::string> MakeRow(long i) {
  const uint64_t v = Mix(uint64_t(i));
  return {
      Format("%ld", i + 1),
      Utf8ToSjis("顧客") + Format("%05d", int(v % 100000)),
      Format("%d,%d", int(v % 97), int(v % 89)),
      i % 7 == 0 ? Format("say \"%d\"", int(v % 1000)) : Format("plain%d", int(v % 1000)),
      Format("2026/%02d/%02d", int(v % 12) + 1, int(v % 28) + 1),
      Format("%d", int(v % 1000000)),
      Format("192.168.%d.%d", int(v % 256), int((v >> 8) % 256)),
      i % 11 == 0 ? std::string("first\nsecond") : Utf8ToSjis("備考") + Format("%d", int(v % 50)),
  };
}

// The median time of three runs of f, in seconds.
template <class F>
double MedianSeconds(const F& f) {
  std::vector<double> s;
  for (int i = 0; i < 3; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    s.push_back(Seconds(start));
  }
  std::sort(s.begin(), s.end());
  return s[1];
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
}

void MakeSqliteTable(const std::string& path, long rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("sqlite3_open");
  Exec(db, "CREATE TABLE t(id, name, pair, said, day, amount, host, note)");
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK)
    Die("prepare");
  for (long i = 0; i < rows; ++i) {
    const std::vector<std::string> row = MakeRow(i);
    for (int c = 0; c < kColumns; ++c)
      sqlite3_bind_text(insert, c + 1, row[c].data(), int(row[c].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) Die("insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::max(1L, std::atol(argv[1])) : 200000L;
  InitOffscreenApplication(argc, argv);
  char dirTemplate[] = "/tmp/export_bench-XXXXXX";
  if (!mkdtemp(dirTemplate)) Die("mkdtemp");
  const std::string dir = dirTemplate;

  // The listed rows and the grid over them, as the listing leaves them: every row marked, no row
  // filled in yet.
  CCapInfoList columns;
  const char* names[kColumns] = {"id", "name", "pair", "said", "day", "amount", "host", "note"};
  for (int c = 0; c < kColumns; ++c) {
    auto* column = new CCapInfo;
    column->Name = std::string("t.") + names[c];
    column->Caption = names[c];
    column->Shown = true;
    column->Position = c;
    columns.Add(column);
  }
  CStringsList list;
  for (long i = 0; i < rows; ++i) {
    auto* row = new TStringList;
    for (const std::string& text : MakeRow(i)) row->Add(text);
    list.Add(row);
  }
  auto* form = new TForm(Application);
  auto* grid = new TStringGridEx(form);
  grid->SetParent(form);
  grid->SetColCount(kColumns);
  grid->SetRowCount(int(rows) + 1);
  grid->SetFixedCols(0);
  for (int c = 0; c < kColumns; ++c) {
    grid->SetObjects(c, 0, columns.GetItem(c));
    grid->SetCells(c, 0, columns.GetItem(c)->Caption);
  }
  for (int r = 1; r <= rows; ++r) grid->SetObjects(0, r, reinterpret_cast<void*>(intptr_t(-1)));
  grid->SetSelection(TGridRect{0, 1, kColumns - 1, int(rows)});

  const std::string ours = dir + "/ours.csv";
  size_t bytes = 0;
  const double export_s = MedianSeconds([&] {
    const AnsiString text = GridExportText(grid, &list, ',');
    bytes = text.size();
    if (!WriteExportFile(ours, text)) Die("export");
  });

  const std::string db = dir + "/t.db";
  MakeSqliteTable(db, rows);
  const std::string theirs = dir + "/theirs.csv";
  const std::string command =
      "sqlite3 -csv -header '" + db + "' 'SELECT * FROM t' > '" + theirs + "'";
  if (std::system(command.c_str()) != 0) Die("the sqlite3 program did not run");  // warms the cache
  const double sqlite_s = MedianSeconds([&] {
    if (std::system(command.c_str()) != 0) Die("sqlite3");
  });
  struct stat theirStat {};
  stat(theirs.c_str(), &theirStat);

  std::printf("figure export_rows %ld rows\n", rows);
  std::printf("figure export_bytes %zu bytes\n", bytes);
  std::printf("figure sqlite_csv_bytes %lld bytes\n", static_cast<long long>(theirStat.st_size));
  std::printf("figure export_csv %.3f s\n", export_s);
  std::printf("figure sqlite_csv %.3f s\n", sqlite_s);
  std::printf("ratio export_csv %.3f\n", export_s / sqlite_s);

  // The sheet: ten data columns after the row numbers.
  const int sheetRows = int(std::max(2L, rows / 2));
  auto* sheet = new TKelmGrid(form);
  sheet->SetParent(form);
  sheet->SetBounds(0, 0, 1000, 700);
  sheet->SetColCount(11);
  sheet->SetCsvSeparator('\t');
  sheet->SetRowCount(sheetRows + 1);
  for (int r = 1; r <= sheetRows; ++r)
    for (int c = 1; c <= 10; ++c) sheet->SetCells(c, r, MakeRow(r)[c % kColumns]);
  auto press = [sheet](int col, int row, TShiftState shift) {
    const TRect cell = sheet->CellRect(col, row);
    const int x = (cell.Left + cell.Right) / 2, y = (cell.Top + cell.Bottom) / 2;
    sheet->PressMouse(mbLeft, shift | ssLeft, x, y);
    sheet->ReleaseMouse(mbLeft, shift, x, y);
  };
  size_t copied = 0;
  const double copy_s = MedianSeconds([&] {
    press(2, 0, 0);
    press(5, 0, ssShift);  // the headings of columns 2 to 5
    sheet->SelCopy(false);
    copied = Clipboard()->AsText().size();
  });
  AnsiString block;
  const int pasteRows = int(std::max(1L, rows / 20));
  for (int r = 0; r < pasteRows; ++r) {
    for (int c = 0; c < 10; ++c) {
      if (c) block += '\t';
      block += EscapeCsvField(MakeRow(r + 7)[c % kColumns]);
    }
    block += "\r\n";
  }
  const double paste_s = MedianSeconds([&] {
    Clipboard()->SetAsText(block);
    press(1, 1, 0);
    sheet->SelPaste();
    sheet->Undo();  // the next round pastes into the same texts
  });
  Clipboard()->SetAsText(block);
  press(1, 1, 0);
  sheet->SelPaste();
  if (sheet->Cells(10, pasteRows) != MakeRow(pasteRows - 1 + 7)[9 % kColumns]) Die("the paste missed its cells");
  if (copied < size_t(sheetRows) * 4) Die("the copy missed its columns");
  std::printf("figure sheet_rows %d rows\n", sheetRows);
  std::printf("figure sheet_copy_columns %.3f s\n", copy_s);
  std::printf("figure sheet_copied_bytes %zu bytes\n", copied);
  std::printf("figure sheet_paste_rows %d rows\n", pasteRows);
  std::printf("figure sheet_paste_block %.3f s\n", paste_s);

  std::remove(ours.c_str());
  std::remove(theirs.c_str());
  std::remove(db.c_str());
  rmdir(dir.c_str());
  delete form;
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
