// The import: the worker on its own (no dialog), then through the database handle with its
// progress dialog and result box played by the modal handler.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "foundation/CvMessageUnit.h"
#include "query/CsvFile.h"
#include "query/DbHandle.h"
#include "query/ReadingDlgUnit.h"
#include "query/ReadingTh.h"
#include "query/RecordPipe.h"
#include "tests/query/QueryTestSupport.h"

namespace {

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
}

// A column map: entry k names the column, its object is the source field index.
std::unique_ptr<TStringList> Map(std::initializer_list<std::pair<const char*, int>> entries) {
  auto map = std::make_unique<TStringList>();
  for (const auto& e : entries) map->AddObject(e.first, reinterpret_cast<void*>(intptr_t(e.second)));
  return map;
}

struct Counts {
  int done, success, errors;
  bool operator==(const Counts&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Counts& c) {
  return os << "{done " << c.done << ", success " << c.success << ", errors " << c.errors << "}";
}

// Runs the worker over a file without any dialog and waits for it.
Counts RunWorker(CRecFileList& files, CCsvFile& reader, const TStrings* map, const AnsiString& table, int skip,
                 int limit) {
  TReadingTh thread(true);
  thread.FileList = &files;
  thread.Reader = &reader;
  thread.ColumnMap = const_cast<TStrings*>(map);
  thread.TableName = table;
  thread.SkipCount = skip;
  thread.RecordLimit = limit;
  thread.Start();
  thread.WaitFor();
  return {thread.RecordsDone, thread.SuccessCount, thread.ErrorCount};
}

Counts RunWorker(CRecFileList& files, const std::string& path, const TStrings* map, const AnsiString& table, int skip,
                 int limit) {
  CCsvFile reader;
  EXPECT_TRUE(reader.Open(path, "rb"));
  return RunWorker(files, reader, map, table, skip, limit);
}

// Column a of table t takes each value once: a repeated one is refused with a message.
void MakeUnique(CRecFileList& files) {
  TStringList names, options;
  names.Add("a");
  options.Add(ColOptToText(kvrOptUnique, "", ""));
  ASSERT_EQ(files.SetColumnInfo("t", names, options), 1);
}

// Five records "r1,x1" ... "r5,x5".
const char* const kFive = "r1,x1\nr2,x2\nr3,x3\nr4,x4\nr5,x5\n";

}  // namespace

TEST(ReadingTh, SkipAndLimit) {
  const struct {
    int skip, limit;
    std::vector<std::string> rows;
    Counts counts;
  } cases[] = {
      {3, 2, {"r4|x4", "r5|x5"}, {2, 2, 0}},
      {1, 2, {"r2|x2", "r3|x3"}, {2, 2, 0}},
      {0, 0, {}, {0, 0, 0}},
      {0, -1, {"r1|x1", "r2|x2", "r3|x3", "r4|x4", "r5|x5"}, {5, 5, 0}},
      {9, -1, {}, {0, 0, 0}},  // a file shorter than the records to skip
  };
  for (const auto& c : cases) {
    TestDb db;
    db.MakeTable("t", {{"a", "string"}, {"b", "string"}});
    WriteBytes(db.dir.File("in.csv"), kFive);
    auto map = Map({{"a", 0}, {"b", 1}});
    EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "t", c.skip, c.limit), c.counts)
        << c.skip << " " << c.limit;
    EXPECT_EQ(ListRows(db.files, "t.a, t.b", "", ""), c.rows) << c.skip << " " << c.limit;
  }
}

TEST(ReadingTh, ColumnMaps) {
  const std::string file = "f0,f1,f2,f3\nshort\n";
  const struct {
    const char* name;
    std::unique_ptr<TStringList> map;
    std::vector<std::string> rows;  // columns a|b|c
  } cases[] = {
      {"identity", Map({{"a", 0}, {"b", 1}, {"c", 2}}), {"f0|f1|f2", "short||"}},
      {"fields 0, 2, 3 to positions 0, 1, 2", Map({{"a", 0}, {"b", 2}, {"c", 3}}), {"f0|f2|f3", "short||"}},
      // A source beyond the record's fields supplies nothing (the second record has one field).
      {"beyond the fields", Map({{"a", 0}, {"b", 3}, {"c", 9}}), {"f0|f3|", "short||"}},
      // Entries out of source order still take their own field.
      {"swapped", Map({{"a", 1}, {"b", 0}, {"c", 2}}), {"f1|f0|f2", "|short|"}},
      {"a column the table lacks", Map({{"a", 0}, {"zz", 1}, {"c", 2}}), {"f0||f2", "short||"}},
  };
  for (const auto& c : cases) {
    TestDb db;
    db.MakeTable("t", {{"a", "string"}, {"b", "string"}, {"c", "string"}});
    WriteBytes(db.dir.File("in.csv"), file);
    EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), c.map.get(), "t", 0, -1), (Counts{2, 2, 0})) << c.name;
    EXPECT_EQ(ListRows(db.files, "t.a, t.b, t.c", "", ""), c.rows) << c.name;
  }
}

// Names the condition lexer would cut apart ("1月", "a-b", a blank inside) keep their values.
TEST(ReadingTh, ColumnNamesAreTakenWhole) {
  TestDb db;
  const AnsiString month = SJ("1月");
  db.files.AddTable(db.File("t"), "t");
  for (const AnsiString& name : {month, AnsiString("a-b"), AnsiString("two words"), AnsiString("z")})
    ASSERT_EQ(db.files.AddColumn("t", name, "string", 20), 1) << name;
  WriteBytes(db.dir.File("in.csv"), "v1,v2,v3,v4\n");
  auto map = Map({{"", 0}, {"a-b", 1}, {"two words", 2}, {"z", 3}});
  map->SetString(0, month);
  EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "t", 0, -1), (Counts{1, 1, 0}));
  for (int column = 1; column <= 4; ++column) EXPECT_EQ(db.Field("t", 1, column), Format("v%d", column));
}

// Through one inserter the tables hold exactly what one InsertRecord per record stores.
TEST(ReadingTh, StoresWhatSingleInsertsStore) {
  TestDb db;
  for (const char* t : {"bulk", "single"})
    db.MakeTable(t, {{"id", "unsigned"}, {"name", "string"}, {"amount", "real"}, {"tags", "keyword"}});
  const std::string csv = Utf8ToSjis(
      "1,佐藤,12.5,\"a,b\"\n2,,x,c\n3,\"ソ表\"\n\n4,  blank  ,1E3,\"\"\n5,鈴木,-0.25,a,extra\n");
  WriteBytes(db.dir.File("in.csv"), csv);
  auto map = Map({{"id", 0}, {"name", 1}, {"amount", 2}, {"tags", 3}});
  EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "bulk", 0, -1), (Counts{5, 5, 0}));

  CCsvFile reader;
  ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
  TStringList fields;
  while (reader.ReadRecord(&fields)) {
    EXPECT_TRUE(db.files.InsertRecord(map->CommaText(), "single", fields));
    fields.Clear();
  }
  const AnsiString columns = "__REC__ID__, id, name, amount, tags";
  const auto bulk = ListRows(db.files, columns, "bulk", "");
  EXPECT_EQ(bulk.size(), 5u);
  EXPECT_EQ(bulk, ListRows(db.files, columns, "single", ""));
}

// Public files of other programs import as the reader reads them, every record a success.
TEST(ReadingTh, RealFilesImportWhole) {
  const struct {
    const char* file;
    int format;
    int fields, records;
  } cases[] = {
      {"statistics-cp932.csv", CCsvFile::kDelimited, 13, 49},
      {"rfc-utf8.csv", CCsvFile::kDelimited, 3, 3},
      {"access-mixed.log", CCsvFile::kAccessLog, 18, 15},
      {"sendmail-1.log", CCsvFile::kSendmailLog, 26, 8},
  };
  for (const auto& c : cases) {
    TestDb db;
    db.files.AddTable(db.File("t"), "t");
    auto map = std::make_unique<TStringList>();
    for (int k = 0; k < c.fields; ++k) {
      ASSERT_EQ(db.files.AddColumn("t", Format("f%d", k), "string", 40), 1);
      map->AddObject(Format("f%d", k), reinterpret_cast<void*>(intptr_t(k)));
    }
    CCsvFile reader;
    ASSERT_TRUE(reader.Open(DataFile("real/") + c.file, "rb")) << c.file;
    reader.QuotePairs = CCsvFile::kImportQuotePairs;
    reader.FileFormat = c.format;
    EXPECT_EQ(RunWorker(db.files, reader, map.get(), "t", 0, -1), (Counts{c.records, c.records, 0})) << c.file;
    EXPECT_EQ(ListRows(db.files, "t.f0", "", "").size(), size_t(c.records)) << c.file;
  }
}

TEST(ReadingTh, RefusedRecordsAreCounted) {
  TestDb db;
  db.MakeTable("t", {{"a", "string"}, {"b", "string"}});
  MakeUnique(db.files);
  WriteBytes(db.dir.File("in.csv"), "k1,x\nk2,x\nk1,again\nk3,x\n");
  auto map = Map({{"a", 0}, {"b", 1}});
  {
    MessageCatcher messages;
    EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "t", 0, -1), (Counts{4, 3, 1}));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.Last(), Format(SJ("項目'%s'の内容'%s'が重複しています。").c_str(), "a", "k1"));
  }
  EXPECT_EQ(ListRows(db.files, "t.a, t.b", "", ""), (std::vector<std::string>{"k1|x", "k2|x", "k3|x"}));

  // A table name that names no table: every record fails, and the table is looked for once.
  MessageCatcher messages;
  EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "nowhere", 0, -1), (Counts{4, 0, 4}));
  EXPECT_EQ(messages.texts, (std::vector<AnsiString>{Format(SJ("テーブル名 %s が不正です。").c_str(), "nowhere")}));
}

TEST(ReadingTh, StopRequestedBeforeStartImportsNothing) {
  TestDb db;
  db.MakeTable("t", {{"a", "string"}});
  WriteBytes(db.dir.File("in.csv"), kFive);
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
  auto map = Map({{"a", 0}});
  TReadingTh thread(true);
  thread.FileList = &db.files;
  thread.Reader = &reader;
  thread.ColumnMap = map.get();
  thread.TableName = "t";
  thread.Terminate();
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(thread.RecordsDone, 0);
  EXPECT_EQ(ListRows(db.files, "t.a", "", ""), std::vector<std::string>{});
}

// ---- Records read on a thread of their own, in batches ----

namespace {

// Records "r1,x1" ... "rN,xN".
std::string Numbered(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += Format("r%d,x%d\n", i, i);
  return text;
}

// The next record the reader gives, as comma text; "end" at the end of the input.
std::string NextRecord(CCsvFile& reader) {
  TStringList fields;
  return reader.ReadRecord(&fields) ? fields.CommaText() : "end";
}

}  // namespace

// Skips and limits that fall inside and across batches take exactly their records, and a limit
// leaves the reader right after the last record that could be taken.
TEST(ReadingTh, SkipAndLimitAcrossBatches) {
  constexpr int kRecords = 3 * CRecordPipe::kBatchRecords + 17;
  const struct {
    int skip, limit, done;
  } cases[] = {
      {0, CRecordPipe::kBatchRecords, CRecordPipe::kBatchRecords},
      {0, CRecordPipe::kBatchRecords + 44, CRecordPipe::kBatchRecords + 44},
      {CRecordPipe::kBatchRecords - 1, 2, 2},
      {2 * CRecordPipe::kBatchRecords + 3, -1, CRecordPipe::kBatchRecords + 14},
      {kRecords - 10, 25, 10},
      {0, -1, kRecords},
  };
  for (const auto& c : cases) {
    TestDb db;
    db.MakeTable("t", {{"a", "string"}, {"b", "string"}});
    WriteBytes(db.dir.File("in.csv"), Numbered(kRecords));
    auto map = Map({{"a", 0}, {"b", 1}});
    CCsvFile reader;
    ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
    EXPECT_EQ(RunWorker(db.files, reader, map.get(), "t", c.skip, c.limit), (Counts{c.done, c.done, 0}))
        << c.skip << " " << c.limit;
    std::vector<std::string> rows;
    for (int i = c.skip + 1; i <= c.skip + c.done; ++i) rows.push_back(Format("r%d|x%d", i, i));
    EXPECT_EQ(ListRows(db.files, "t.a, t.b", "", ""), rows) << c.skip << " " << c.limit;
    const int next = c.skip + c.done + 1;
    EXPECT_EQ(NextRecord(reader), next <= kRecords ? Format("r%d,x%d", next, next) : "end") << c.skip << " " << c.limit;
  }
}

TEST(ReadingTh, EmptyInput) {
  for (const char* text : {"", "\n\r\n\n"}) {
    for (const auto& [skip, limit] : {std::pair{0, -1}, std::pair{2, 5}}) {
      TestDb db;
      db.MakeTable("t", {{"a", "string"}});
      WriteBytes(db.dir.File("in.csv"), text);
      auto map = Map({{"a", 0}});
      EXPECT_EQ(RunWorker(db.files, db.dir.File("in.csv"), map.get(), "t", skip, limit), (Counts{0, 0, 0}));
      EXPECT_EQ(ListRows(db.files, "t.a", "", ""), std::vector<std::string>{});
    }
  }
}

// A stop request while records are read ahead: the worker stops after the record it was inserting,
// the counts agree with the table, and the reading has ended between two records (the reader goes on
// where it stopped, some records ahead, from this thread alone).
TEST(ReadingTh, StopMidImport) {
  constexpr int kRecords = 8 * CRecordPipe::kBatchRecords, kStopAt = CRecordPipe::kBatchRecords + 100;
  TestDb db;
  db.MakeTable("t", {{"a", "string"}, {"b", "string"}});
  MakeUnique(db.files);
  std::string text = Numbered(kRecords);
  // Record kStopAt repeats record 1's key: the worker waits on the error box while the stop comes.
  const std::string stopLine = Format("r%d,", kStopAt);
  text.replace(text.find("\n" + stopLine) + 1, stopLine.size(), "r1,");
  WriteBytes(db.dir.File("in.csv"), text);
  auto map = Map({{"a", 0}, {"b", 1}});
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
  TReadingTh thread(true);
  thread.FileList = &db.files;
  thread.Reader = &reader;
  thread.ColumnMap = map.get();
  thread.TableName = "t";
  int boxes = 0;
  ModalHandlerScope scope([&](TForm* f) {
    ++boxes;
    thread.Terminate();
    PressButton(f, SJ("ＯＫ"));
  });
  thread.Start();
  thread.WaitFor();
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ((Counts{thread.RecordsDone, thread.SuccessCount, thread.ErrorCount}), (Counts{kStopAt, kStopAt - 1, 1}));
  EXPECT_EQ(ListRows(db.files, "t.a", "", "").size(), size_t(kStopAt - 1));

  const std::string next = NextRecord(reader);
  ASSERT_EQ(next[0], 'r') << next;
  int at = std::stoi(next.substr(1));
  EXPECT_GT(at, kStopAt);
  EXPECT_LE(at, kStopAt + CRecordPipe::kBatches * CRecordPipe::kBatchRecords);
  while (++at <= kRecords) ASSERT_EQ(NextRecord(reader), Format("r%d,x%d", at, at));
  EXPECT_EQ(NextRecord(reader), "end");
}

// ---- Through the database handle and its dialog ----

namespace {

// Plays the user of an import: watches the progress dialog until it closes itself, answers the
// message boxes with OK (first letting onBox act), and keeps what it saw.
struct ImportUser {
  std::function<void()> onBox;  // runs when a message box other than the result comes up
  std::vector<AnsiString> boxes, boxCaptions;
  AnsiString caption, label, buttonAtStart, countAtStart, buttonAtEnd, countAtEnd;
  int buttonX = -1, buttonY = -1;
  ModalHandlerScope scope{[this](TForm* f) { Handle(f); }};

  void Handle(TForm* f) {
    if (auto* box = dynamic_cast<TCvMessageDlg*>(f)) {
      boxes.push_back(box->Label1->Caption());
      boxCaptions.push_back(box->Caption());
      if (onBox && box->Caption() != SJ("読込成功")) onBox();
      PressButton(f, SJ("ＯＫ"));
      return;
    }
    auto* d = dynamic_cast<TReadingDlg*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(ReadingDlg, d);
    caption = d->Caption();
    label = d->Label1->Caption();
    buttonAtStart = d->OKBtn->Caption();
    countAtStart = d->CountEdit->Text();
    buttonX = d->Left() + d->OKBtn->Left() + d->OKBtn->Width() / 2;
    buttonY = d->Top() + d->OKBtn->Top() + d->OKBtn->Height() / 2;
    EXPECT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 60000));
    buttonAtEnd = d->OKBtn->Caption();
    countAtEnd = d->CountEdit->Text();
  }
};

struct HandleDb {
  HandleDb() {
    handle.AddTable(dir.File("t.kv"), "t");
    EXPECT_TRUE(handle.AddColumn("t", "a", "string", 20));
    EXPECT_TRUE(handle.AddColumn("t", "b", "string", 20));
  }
  std::vector<std::string> Rows() { return ListRows(*handle.GetRecFileList(), "t.a, t.b", "", ""); }
  TempDir dir;
  CDbHandle handle;
};

}  // namespace

TEST(ReadingDlg, TextsAndCountsOfAnImport) {
  HandleDb db;
  WriteBytes(db.dir.File("in.csv"), kFive);
  auto map = Map({{"a", 0}, {"b", 1}});
  SetCursorPos(300, 200);
  ImportUser user;
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
  EXPECT_EQ(db.handle.ImportRecords(&reader, 1, -1, "t", map.get()), 4);
  EXPECT_EQ(ReadingDlg, nullptr);

  EXPECT_EQ(user.caption, SJ("読み込み中・・・"));
  EXPECT_EQ(user.label, SJ("読み込んだレコード数"));
  EXPECT_EQ(user.buttonAtStart, SJ("中止"));
  EXPECT_EQ(user.countAtStart, "0");
  EXPECT_EQ(user.buttonAtEnd, SJ("閉じる"));
  EXPECT_EQ(user.countAtEnd, "4");
  int x = 0, y = 0;
  GetCursorPos(x, y);
  if (x == 300 && y == 200) {  // the window system moves the pointer: the button came up under it
    EXPECT_EQ(user.buttonX, 300);
    EXPECT_EQ(user.buttonY, 200);
  }
  EXPECT_EQ(user.boxes, (std::vector<AnsiString>{Format(SJ("読込成功 %d 件、エラー %d 件").c_str(), 4, 0)}));
  EXPECT_EQ(user.boxCaptions, (std::vector<AnsiString>{SJ("読込成功")}));
  EXPECT_EQ(db.Rows().size(), 4u);
}

// The stop request arrives while the worker waits on the error box of record 3: that record
// is the last one handled, and the dialog then closes by itself.
TEST(ReadingDlg, StopRequestEndsTheImport) {
  const struct {
    const char* how;
    std::function<void()> stop;
  } ways[] = {
      {"中止", [] { EXPECT_TRUE(PressButton(ReadingDlg, SJ("中止"))); }},
      {"closing the window", [] { EXPECT_FALSE(ReadingDlg->CloseQuery()); }},
  };
  for (const auto& way : ways) {
    HandleDb db;
    MakeUnique(*db.handle.GetRecFileList());
    WriteBytes(db.dir.File("in.csv"), "k1,x\nk2,x\nk1,dup\nk4,x\nk5,x\n");
    auto map = Map({{"a", 0}, {"b", 1}});
    ImportUser user;
    user.onBox = way.stop;
    CCsvFile reader;
    ASSERT_TRUE(reader.Open(db.dir.File("in.csv"), "rb"));
    EXPECT_EQ(db.handle.ImportRecords(&reader, 0, -1, "t", map.get()), 2) << way.how;
    EXPECT_EQ(user.boxes.back(), Format(SJ("読込成功 %d 件、エラー %d 件").c_str(), 2, 1)) << way.how;
    EXPECT_EQ(user.buttonAtEnd, SJ("閉じる")) << way.how;
    EXPECT_EQ(user.countAtEnd, "3") << way.how;
    EXPECT_EQ(db.Rows(), (std::vector<std::string>{"k1|x", "k2|x"})) << way.how;
  }
}

TEST(ReadingDlg, NothingToImportInto) {
  TempDir dir;
  CDbHandle handle;
  WriteBytes(dir.File("in.csv"), kFive);
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(dir.File("in.csv"), "rb"));
  MessageCatcher messages;
  EXPECT_EQ(handle.ImportRecords(&reader, 0, -1, "t", nullptr), 0);
  EXPECT_EQ(messages.texts, (std::vector<AnsiString>{SJ("データファイルが設定されていません。")}));

  handle.AddTable(dir.File("t.kv"), "t");
  EXPECT_FALSE(handle.ImportFile(dir.File("missing.csv"), 0, -1, "t", nullptr));
  EXPECT_EQ(messages.texts.size(), 1u);
}
