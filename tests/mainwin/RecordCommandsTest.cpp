// The list's record commands: deleting under the table's update lock (held by another process,
// then free), writing edited and new records through the listed folder, importing into the
// selected folder, and freezing list columns and rows.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "folders/ReadCsvUnit.h"
#include "mainwin/CsvWrite.h"
#include "query/DbHandle.h"
#include "platform/Clipbrd.h"
#include "query/ReadingDlgUnit.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "views/EditForm.h"

namespace {

// The work folder with three customers, and the file the table "顧客" lives in.
class CustomerFolder : public WorkFolder {
 public:
  CustomerFolder() {
    Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}, {"amount", "30"}});
    Insert(SJ("顧客"), {{"name", SJ("鈴木")}, {"unit", SJ("営業")}, {"amount", "45"}});
    WriteSettings("");  // the folder file is read beside the settings file
  }
  std::string TableFile() const { return dir.File(SJ("顧客") + ".kvr"); }
};

// Every record of the listed folder as "id|name|unit|amount", read from the table.
std::vector<std::string> Records() {
  auto* folder = static_cast<CDbFolder*>(FormMain->ListedNode->Data);
  return ListAll(*folder, {folder});
}

// Another process holding the table's update lock until the object goes.
class LockingProcess {
 public:
  explicit LockingProcess(const std::string& file) {
    int up[2], down[2];
    if (::pipe(up) != 0 || ::pipe(down) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(up[0]);
      ::close(down[1]);  // so that the parent's close is the end of the pipe
      const int fd = ::open(file.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_start = DB_UPDATE_LOCK_BYTE;
      fl.l_len = 1;
      char state = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &fl) == 0 ? '1' : '0';
      if (::write(up[1], &state, 1) != 1 || ::read(down[0], &state, 1) < 0) _exit(1);
      _exit(0);
    }
    ::close(up[1]);
    ::close(down[0]);
    release_ = down[1];
    char state = '0';
    locked_ = ::read(up[0], &state, 1) == 1 && state == '1';
    ::close(up[0]);
  }
  ~LockingProcess() {
    if (pid_ <= 0) return;
    ::close(release_);
    ::waitpid(pid_, nullptr, 0);
  }
  LockingProcess(const LockingProcess&) = delete;
  LockingProcess& operator=(const LockingProcess&) = delete;
  bool Locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

// The position of a field's text in the listed rows.
int Position(const char* field) {
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(FormMain->StringGridEx1, columns, rows)) return -1;
  return columns->IndexOfFieldName(field);
}

// One text per position of the listed rows, as the card window hands a record over: the texts of
// listed row index (none: empty texts) with the given fields replaced.
void CardValues(TStringList& out, int index, std::initializer_list<std::pair<const char*, const char*>> fields) {
  CCapInfoList* columns;
  CStringsList* rows;
  ASSERT_TRUE(GetGridRows(FormMain->StringGridEx1, columns, rows));
  out.Clear();
  for (int i = 0; i < columns->Count(); ++i) out.Add(index >= 0 ? (*rows->Row(index))[i] : AnsiString());
  for (const auto& f : fields) out.SetString(Position(f.first), Utf8ToSjis(f.second));
}

// The cells of one edited record: the listed columns with the texts given (none: the column is
// not part of the sheet).
std::vector<EditedCell> Cells(CCapInfoList* columns, std::initializer_list<const char*> texts) {
  std::vector<EditedCell> cells;
  int i = 0;
  for (const char* text : texts) {
    if (text) cells.push_back({columns->GetItem(i), Utf8ToSjis(text)});
    ++i;
  }
  return cells;
}

}  // namespace

TEST_F(MainWindowTest, DeleteWaitsForTheTablesLock) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  const std::vector<std::string> before = Records();
  MarkRows({2});
  {
    LockingProcess other(work.TableFile());
    ASSERT_TRUE(other.Locked());
    UserScript user;
    EXPECT_EQ(FormMain->DeleteSelectedRecords(), TFormMain::DeleteResult::Locked);
    ASSERT_EQ(user.shown.size(), 2u);
    EXPECT_EQ(SjisToUtf8(user.shown[0].text), "削除します。よろしいですか？");
    EXPECT_EQ(SjisToUtf8(user.shown[0].caption), "削除の確認");
    EXPECT_EQ(SjisToUtf8(user.shown[1].text), "他で処理中なので、削除ができません。");
    EXPECT_EQ(Records(), before);
  }
  {
    UserScript user({"キャンセル"});
    EXPECT_EQ(FormMain->DeleteSelectedRecords(), TFormMain::DeleteResult::Nothing);
    EXPECT_EQ(Records(), before);
  }
  UserScript user;
  EXPECT_EQ(FormMain->DeleteSelectedRecords(), TFormMain::DeleteResult::Deleted);
  EXPECT_EQ(user.shown.size(), 1u);
  EXPECT_EQ(Records(), (std::vector<std::string>{before[0], before[2]}));
  // The lock went with the delete: another process may take it again.
  LockingProcess other(work.TableFile());
  EXPECT_TRUE(other.Locked());
}

// Which edited cells become changes of a record: a table of cases over the listed columns of a
// joined listing (name, unit, amount of 顧客, a column of another table, the record id).
TEST(RecordChanges, OnlyChangedWritableColumnsOfTheTable) {
  std::unique_ptr<CCapInfoList> columns(Columns({Column(SJ("顧客") + ".name"), Column(SJ("顧客") + ".unit"),
                                                 Column(SJ("顧客") + ".amount"), Column(SJ("部署") + ".head"),
                                                 Column(SJ("顧客") + ".__REC__ID__", false)}));
  for (int i = 0; i < columns->Count(); ++i) columns->GetItem(i)->Position = i;
  columns->GetItem(2)->Editable = false;
  TStringList base;
  base.SetCommaText("\"a\nb\",x,10,boss,7");
  const struct {
    const char* name;
    std::initializer_list<const char*> texts;
    bool newRecord;
    std::vector<std::string> expected;  // "column=text"
  } cases[] = {
      {"unchanged", {"a\nb", "x", "10", "boss", "7"}, false, {}},
      {"line ends only", {"a\r\nb", "x", nullptr, nullptr, nullptr}, false, {}},
      {"a changed text, stored with LF", {"a\r\nc\r", "y", nullptr, nullptr, nullptr}, false, {"name=a\nc", "unit=y"}},
      {"read-only column", {nullptr, nullptr, "11", nullptr, nullptr}, false, {}},
      {"another table's column", {nullptr, nullptr, nullptr, "new boss", nullptr}, false, {}},
      {"the record id", {nullptr, nullptr, nullptr, nullptr, "8"}, false, {}},
      {"emptied", {"", nullptr, nullptr, nullptr, nullptr}, false, {"name="}},
      {"new record: filled cells, read-only too", {"n", "", "5", "b", "9"}, true, {"name=n", "amount=5"}},
  };
  for (const auto& c : cases) {
    CCapInfoList changed;
    changed.OwnsItems = false;
    TStringList values;
    CollectChanges(Cells(columns.get(), c.texts), c.newRecord ? nullptr : &base, SJ("顧客"), c.newRecord, changed,
                   values);
    std::vector<std::string> got;
    for (int i = 0; i < changed.Count(); ++i) got.push_back(GetFieldPart(changed.GetItem(i)->Name) + "=" + values[i]);
    EXPECT_EQ(got, c.expected) << c.name;
    changed.TList::Clear();
  }
}

TEST_F(MainWindowTest, CardWriteBacksGoThroughTheListedFolder) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  const std::vector<std::string> before = Records();
  TStringList values;
  CardValues(values, 1, {{"unit", "人事"}, {"amount", "31"}});
  EXPECT_EQ(FormMain->CardUpdateRecord(1, &values), 1);
  EXPECT_EQ(Records()[1], "2|" + SJ("佐藤|人事|31"));
  EXPECT_EQ(FormMain->CardState, 1);
  EXPECT_EQ(FormMain->CardUpdateRecord(3, &values), 0);  // no such row

  TStringList added;
  // An id given by the card is not the new record's.
  CardValues(added, -1, {{"name", "田中"}, {"unit", "開発"}, {"amount", "50"}, {"__REC__ID__", "1"}});
  EXPECT_EQ(FormMain->CardAddRecord(&added), 1);
  const std::vector<std::string> after = Records();
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[3], "4|" + SJ("田中|開発|50"));

  // With the table locked elsewhere nothing is written.
  LockingProcess other(work.TableFile());
  ASSERT_TRUE(other.Locked());
  CardValues(values, 1, {{"unit", "経理"}});
  EXPECT_EQ(FormMain->CardUpdateRecord(1, &values), 0);
  EXPECT_EQ(FormMain->CardAddRecord(&added), 0);
  EXPECT_EQ(Records(), after);
}

TEST_F(MainWindowTest, ImportIntoTheSelectedFolder) {
  CustomerFolder work;
  const std::string file = work.dir.File("more.csv");
  WriteFileBytes(file, SJ("田中,開発,50\r\n伊藤,営業,12\r\n"));
  StartedProgram program({work.Base()});
  TTreeNode* node = TopLevelNode(SJ("顧客"));
  ASSERT_NE(node, nullptr);
  std::vector<AnsiString> messages;
  int imports = 0;
  ModalHandlerScope user([&](TForm* form) {
    if (LetListingFinish(form) || CloseAboutBox(form)) return;
    if (auto* box = dynamic_cast<TCvMessageDlg*>(form)) {
      messages.push_back(box->Label1->Caption());
      PressButton(box, SJ("ＯＫ"));
    } else if (auto* reading = dynamic_cast<TReadingDlg*>(form)) {
      EXPECT_TRUE(PumpUntil([reading] { return reading->ModalResult() != mrNone; }, 20000));
    } else if (auto* dialog = dynamic_cast<TReadCsvDlg*>(form)) {
      ++imports;
      EXPECT_EQ(dialog->Edit3->Text(), file);  // the file named by the command is loaded already
      PressButton(dialog, SJ("開始"));
    } else {
      ADD_FAILURE() << "unexpected dialog " << Show(form->Caption());
    }
  });

  // Nothing selected: refused.
  FormMain->TreeView1->SetSelected(nullptr);
  FormMain->ImportIntoSelection(file);
  EXPECT_EQ(imports, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(SjisToUtf8(messages[0]), "選択中のフォルダには取りこめません。");

  FormMain->TreeView1->SetSelected(node);
  FormMain->ImportIntoSelection(file);
  EXPECT_EQ(imports, 1);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(SjisToUtf8(messages[1]), "読込成功 2 件、エラー 0 件");
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 5);  // the refresh made the tree anew
  EXPECT_EQ(Records()[3], "4|" + SJ("田中|開発|50"));
  EXPECT_EQ(Records()[4], "5|" + SJ("伊藤|営業|12"));
}

TEST_F(MainWindowTest, FreezingColumnsAndRowsAtThePressedCell) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  TStringGridEx* grid = FormMain->StringGridEx1;
  // The press in the second column of the second data row.
  const TRect cell = grid->CellRect(1, 2);
  FormMain->MouseDownX = cell.Left + 2;
  FormMain->MouseDownY = cell.Top + 2;
  FormMain->OpeFixColExecute(nullptr);
  FormMain->OpeFixRowExecute(nullptr);
  EXPECT_EQ(grid->FrozenColCount(), 2);
  EXPECT_EQ(grid->FrozenColFrom(), 0);
  EXPECT_EQ(grid->FrozenRowCount(), 2);
  EXPECT_EQ(grid->FrozenRowFrom(), 1);
  EXPECT_EQ(grid->FixedRows(), 3);  // the heading and the two frozen rows
  FormMain->OpeFixColExecute(nullptr);
  FormMain->OpeFixRowExecute(nullptr);
  EXPECT_EQ(grid->FrozenColCount(), 0);
  EXPECT_EQ(grid->FrozenRowCount(), 0);
  EXPECT_EQ(grid->LeftCol(), 0);
  EXPECT_EQ(grid->TopRow(), 1);
}

// The sheet of the edit dialog written back: changed records updated, new rows inserted when
// adding, a record that is gone reported by its sheet row and kept with the user's text.
TEST_F(MainWindowTest, SheetRowsWrittenAndTheFailedOnesKept) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  CCapInfoList* columns;
  CStringsList* rows;
  ASSERT_TRUE(GetGridRows(FormMain->StringGridEx1, columns, rows));
  auto* folder = static_cast<CDbFolder*>(FormMain->ListedNode->Data);
  TStringList gone;
  gone.Add("3");
  ASSERT_TRUE(folder->Folder->GetDbHandle()->DeleteRecords(SJ("顧客"), gone));  // taken by someone else

  TStringGridEx sheet(FormMain);
  sheet.SetColCount(4);
  sheet.SetRowCount(6);
  const char* fields[] = {"name", "unit", "amount"};
  for (int c = 1; c <= 3; ++c) sheet.SetObjects(c, 0, reinterpret_cast<void*>(intptr_t(Position(fields[c - 1]))));
  const struct {
    intptr_t object;
    const char* name;
    const char* unit;
    const char* amount;
  } lines[] = {
      {1, "山田太郎", "営業", "120"},  // changed
      {2, "佐藤", "総務", "30"},       // as listed
      {3, "鈴木", "営業", "46"},       // its record is gone
      {0, "新人", "", "7"},            // a new record
      {0, "", "", ""},                 // an empty new row
  };
  for (int r = 1; r <= 5; ++r) {
    const auto& l = lines[r - 1];
    sheet.SetObjects(0, r, reinterpret_cast<void*>(l.object));
    sheet.SetCells(1, r, Utf8ToSjis(l.name));
    sheet.SetCells(2, r, Utf8ToSjis(l.unit));
    sheet.SetCells(3, r, l.amount);
  }
  std::vector<int> failed;
  WriteSheetRows(&sheet, folder, columns, rows, false, failed);
  EXPECT_EQ(failed, std::vector<int>{3});
  const std::vector<std::string> edited{"1|" + SJ("山田太郎|営業|120"), "2|" + SJ("佐藤|総務|30")};
  EXPECT_EQ(Records(), edited);  // without adding the new row is left
  failed.clear();
  WriteSheetRows(&sheet, folder, columns, rows, true, failed);
  EXPECT_EQ(failed, std::vector<int>{3});
  EXPECT_EQ(Records(), (std::vector<std::string>{edited[0], edited[1], "4|" + SJ("新人||7")}));
  EXPECT_EQ(SjisToUtf8(WriteErrorText(failed)), "データの更新時にエラーが発生しました。\r\n書き込めなかった行: 3");

  KeepSheetRows(&sheet, failed);
  EXPECT_EQ(sheet.RowCount(), 2);
  EXPECT_EQ(sheet.Objects(0, 1), reinterpret_cast<void*>(intptr_t(3)));
  EXPECT_EQ(SjisToUtf8(sheet.Cells(1, 1)), "鈴木");
  EXPECT_EQ(sheet.Cells(3, 1), "46");
}

TEST(RecordTexts, LineEndsBetweenTheListAndTheSheet) {
  const struct {
    const char* stored;  // as the table holds it
    const char* shown;   // as the sheet shows it
    const char* typed;   // as the sheet may hand it back
  } cases[] = {
      {"", "", ""},
      {"a\nb", "a\r\nb", "a\r\nb"},
      {"\n\n", "\r\n\r\n", "\r\n\r\n"},
      {"a\r\nb", "a\r\nb", "a\r\r\nb"},  // a CR LF stored stays; only the added CR goes
      {"a\rb", "a\rb", "a\rb"},          // a lone CR is a character of the text
      {"ab", "ab", "ab\r"},              // a CR that ends the text is dropped
      {"\x83\x5C\n", "\x83\x5C\r\n", "\x83\x5C\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LfToCrLf(c.stored), c.shown) << Show(c.stored);
    EXPECT_EQ(CrLfToLf(c.typed), c.stored) << Show(c.typed);
  }
}

TEST_F(MainWindowTest, EditSheetFilledFromTheMarkedRows) {
  CustomerFolder work;
  work.Insert(SJ("顧客"), {{"name", "two\nlines"}, {"unit", ""}, {"amount", "1"}});
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 4);
  CCapInfoList* columns;
  CStringsList* rows;
  ASSERT_TRUE(GetGridRows(FormMain->StringGridEx1, columns, rows));
  columns->GetItem(Position("amount"))->Editable = false;
  FormMain->StringGridEx1->MoveColumn(2, 0);  // amount, name, unit
  for (int r = 1; r <= 4; ++r) FormMain->StringGridEx1->SetObjects(0, r, reinterpret_cast<void*>(intptr_t(-1)));
  MarkRows({2, 4});
  TStringGridEx sheet(FormMain);

  FillEditSheet(&sheet, FormMain->StringGridEx1, columns, rows, false);
  ASSERT_EQ(sheet.ColCount(), 4);
  EXPECT_EQ(sheet.RowCount(), 3);
  const std::vector<std::string> headings{sheet.Cells(1, 0), sheet.Cells(2, 0), sheet.Cells(3, 0)};
  EXPECT_EQ(headings, (std::vector<std::string>{"amount", "name", "unit"}));
  EXPECT_FALSE(sheet.GridColumns()->Items(1)->CanEdit);
  EXPECT_TRUE(sheet.GridColumns()->Items(2)->CanEdit);
  EXPECT_EQ(sheet.Objects(0, 1), reinterpret_cast<void*>(intptr_t(2)));  // the second record
  EXPECT_EQ(sheet.Cells(1, 1), "30");
  EXPECT_EQ(sheet.Cells(2, 2), "two\r\nlines");
  EXPECT_GT(sheet.RowHeights(2), sheet.RowHeights(1));

  // Adding: the column list's order, every column open to typing, fifty rows for new records.
  FillEditSheet(&sheet, FormMain->StringGridEx1, columns, rows, true);
  EXPECT_EQ(sheet.Cells(1, 0), "name");
  EXPECT_TRUE(sheet.GridColumns()->Items(3)->CanEdit);
  EXPECT_EQ(sheet.RowCount(), 1 + 2 + 50);
  EXPECT_EQ(sheet.Cells(3, 1), "30");
  EXPECT_EQ(sheet.Objects(0, 3), nullptr);
  EXPECT_EQ(sheet.Cells(1, 3), "");
  EXPECT_EQ(sheet.Cells(2, 1), SJ("総務"));
}

// A user edits two listed records in the dialog (types, undoes, types again, pastes a block) and
// confirms; adds a record by pasting into the first empty row; exports the list again.
TEST_F(MainWindowTest, EditAndAddThroughTheDialog) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  const std::vector<std::string> before = Records();
  TKelmGrid* sheet = EditDlg->Sheet;
  auto click = [sheet](int col, int row) {
    const TRect r = sheet->CellRect(col, row);
    const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
    sheet->PressMouse(mbLeft, ssLeft, x, y);
    sheet->ReleaseMouse(mbLeft, 0, x, y);
  };
  std::vector<std::string> captions;
  ModalHandlerScope user([&](TForm* form) {
    if (LetListingFinish(form) || CloseAboutBox(form)) return;
    ASSERT_EQ(form, EditDlg);
    captions.push_back(SjisToUtf8(form->Caption()));
    if (captions.size() == 1) {
      ASSERT_EQ(sheet->RowCount(), 3);
      EXPECT_EQ(sheet->Cells(2, 1), SJ("営業"));
      click(2, 1);
      sheet->PressKey('X', 0);
      sheet->TypeChar('x');
      sheet->Undo();
      click(2, 1);
      sheet->PressKey('Z', 0);
      sheet->TypeChar('z');
      click(1, 2);
      Clipboard()->SetAsText("P\tQ\r\n");
      sheet->SelPaste();
    } else {
      ASSERT_EQ(sheet->RowCount(), 1 + 50);
      click(1, 1);
      Clipboard()->SetAsText(SJ("新人") + "\t\t5\r\n");
      sheet->SelPaste();
    }
    PressButton(form, "OK");
  });
  MarkRows({1, 2});
  FormMain->OpeEditExecute(nullptr);
  const std::vector<std::string> edited{"1|" + SJ("山田|z|120"), "2|P|Q|30", before[2]};
  EXPECT_EQ(Records(), edited);
  EXPECT_EQ(sheet->RowCount(), 2);  // cut back after the dialog

  MarkRows({});
  FormMain->OpeAddExecute(nullptr);
  std::vector<std::string> added = edited;
  added.push_back("4|" + SJ("新人||5"));
  EXPECT_EQ(Records(), added);
  EXPECT_EQ(captions, (std::vector<std::string>{"データの編集", "データの追加"}));

  // The list shows the table again, and the export gives what it holds.
  ASSERT_EQ(FormMain->ListRows->Count(), 4);
  MarkRows({1, 2, 3, 4});
  ModalHandlerScope exporter([](TForm* form) {
    if (CloseAboutBox(form)) return;
    auto* dialog = dynamic_cast<TCsvWriteDlg*>(form);
    ASSERT_NE(dialog, nullptr);
    dialog->RadioGroup1->SetItemIndex(1);
    dialog->RadioGroup2->SetItemIndex(1);
    PressButton(dialog, "OK");
  });
  EXPECT_TRUE(FormMain->ExportList());
  EXPECT_EQ(Clipboard()->AsText(),
            "name,unit,amount\r\n" + SJ("山田") + ",z,120\r\nP,Q,30\r\n" + SJ("鈴木,営業,45") + "\r\n" + SJ("新人") + ",,5\r\n");
}

// Confirming while another process holds the lock, and a record that went meanwhile: each is
// said, and the dialog comes back with what is still to be written.
TEST_F(MainWindowTest, EditDialogComesBackWithWhatWasNotWritten) {
  CustomerFolder work;
  StartedProgram program({work.Base()});
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  auto* folder = static_cast<CDbFolder*>(FormMain->ListedNode->Data);
  TStringList gone;
  gone.Add("3");
  ASSERT_TRUE(folder->Folder->GetDbHandle()->DeleteRecords(SJ("顧客"), gone));
  auto other = std::make_unique<LockingProcess>(work.TableFile());
  ASSERT_TRUE(other->Locked());
  TKelmGrid* sheet = EditDlg->Sheet;
  std::vector<std::string> messages;
  int shows = 0;
  ModalHandlerScope user([&](TForm* form) {
    if (LetListingFinish(form) || CloseAboutBox(form)) return;
    if (auto* box = dynamic_cast<TCvMessageDlg*>(form)) {
      messages.push_back(SjisToUtf8(box->Label1->Caption()));
      PressButton(box, SJ("ＯＫ"));
      return;
    }
    ASSERT_EQ(form, EditDlg);
    ++shows;
    if (shows == 1) {
      sheet->SetCells(1, 1, "A");  // 佐藤
      sheet->SetCells(1, 2, "B");  // 鈴木, whose record is gone
    } else if (shows == 2) {
      other.reset();
      EXPECT_EQ(sheet->Cells(1, 1), "A");
    } else {
      ASSERT_EQ(sheet->RowCount(), 2);
      EXPECT_EQ(sheet->Cells(1, 1), "B");
      EXPECT_EQ(sheet->Cells(0, 1), "1");
      PressButton(form, SJ("キャンセル"));
      return;
    }
    PressButton(form, "OK");
  });
  MarkRows({2, 3});
  FormMain->OpeEditExecute(nullptr);
  EXPECT_EQ(shows, 3);
  EXPECT_EQ(messages, (std::vector<std::string>{"他で処理中なので、更新ができません。",
                                                "データの更新時にエラーが発生しました。\r\n書き込めなかった行: 2"}));
  EXPECT_EQ(Records()[1], "2|A|" + SJ("総務|30"));
}
