// Folder command scripts, the command's entry and the worker that runs it row by row.
#include <gtest/gtest.h>

#include <memory>

#include "folders/CmdYesNoUnit.h"
#include "folders/FolderScript.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "query/RecSelect.h"
#include "tests/folders/FolderTestSupport.h"
#include "views/StringGridEx.h"

namespace {

// Table t (name, city) with a, b, c; table u (code).
struct Scripts {
  Scripts() {
    t = tree.AddTable("t", {"name", "city"});
    tree.AddTable("u", {"code"});
    for (const char* name : {"a", "b", "c"}) tree.Insert("t", {{"name", name}, {"city", AnsiString(name) + "-town"}});
    columns.reset(Columns({Column("t.__REC__ID__", false), Column("t.name"), Column("t.city")}));
    for (const char* text : {"9", "b", "b-town"}) {
      values.Add(text);
      targetValues.Add(text);
    }
    for (const char* name : {"__REC__ID__", "name", "city"}) targetNames.Add(name);
  }

  // Every record of the table with the listed columns, as "name|city", in id order.
  std::vector<std::string> Records(const AnsiString& table = "t", const AnsiString& list = "t.name,t.city") {
    CRecSelect select(t->GetDbHandle()->GetRecFileList());
    TStringList row;
    std::vector<std::string> out;
    if (!select.ListStart(list, table, "")) return {"ERROR"};
    for (int r; (r = select.NextNB(row)) >= 0; row.Clear())
      if (r == 1) out.push_back(Joined(row));
    return out;
  }

  // The listed rows of the table: id, name, city.
  void ListRows() {
    rows.DeleteAll();
    CDbHandle* handle = t->GetDbHandle();
    TStringList none;
    ASSERT_TRUE(handle->ListStart(none, "t.__REC__ID__,t.name,t.city"));
    auto* row = new TStringList;
    for (int r; (r = handle->ListNextNB(*row)) >= 0;)
      if (r == 1) {
        rows.Add(row);
        row = new TStringList;
      }
    delete row;
    rows.ColumnList = columns.get();
  }

  // Runs the script once for the record values (name, city of the listed column order).
  bool Run(const AnsiString& script, AnsiString& log) {
    t->Script = script;
    return t->RunScriptOnValues("t", columns.get(), &values, &targetNames, &targetValues, log);
  }

  FolderTree tree;
  CRuleFolderTbl* t;
  std::unique_ptr<CCapInfoList> columns;
  CStringsList rows;
  TStringList values, targetNames, targetValues;
};

// Plays the user of the confirm-and-run dialog: chooses the target, presses "はい", waits for
// the worker and closes with "閉じる". What it saw is kept.
struct RunAll {
  int target = -1;  // -1: the preselected one
  AnsiString title, memo, count, targets;
  int defaultTarget = -1;
  void operator()(TForm* form) {
    auto* d = dynamic_cast<TCmdYesNoDlg*>(form);
    ASSERT_NE(d, nullptr);
    defaultTarget = d->RadioGroup1->ItemIndex();
    targets = d->RadioGroup1->Items()->Strings(0) + "/" + d->RadioGroup1->Items()->Strings(1) + "/" +
              d->RadioGroup1->Items()->Strings(2);
    title = d->Label1->Caption();
    if (target >= 0) d->RadioGroup1->SetItemIndex(target);
    d->OKBtn->Click();
    ASSERT_TRUE(PumpUntil([d] { return d->Thread == nullptr; }));
    memo = d->Memo1->Text();
    count = d->CountEdit->Text();
    d->AbortBtn->Click();
  }
};

}  // namespace

TEST(FolderScript, FunctionsWriteTheTablesAndAnswerTheirErrorTexts) {
  struct Case {
    const char* script;
    const char* log;
    std::vector<std::string> records;
  };
  const Case cases[] = {
      // A pair of another table is dropped with its value.
      {"insert(\"t\", \"name\", \"x\", \"u.code\", \"y\", \"t.city\", \"z\")", "",
       {"a|a-town", "b|b-town", "c|c-town", "x|z"}},
      {"insert(\"t\", \"name\")", "", {"a|a-town", "b|b-town", "c|c-town"}},
      {"insert(\"\", \"name\", \"x\")", "", {"a|a-town", "b|b-town", "c|c-town"}},
      {"update(\"t\", \"name = 'b'\", \"city\", \"B\", \"name\", \"bb\")", "", {"a|a-town", "bb|B", "c|c-town"}},
      {"update(\"t\", \"name = 'b'\", \"city\")", "", {"a|a-town", "b|b-town", "c|c-town"}},
      {"update(\"t\", \"name = 'q'\", \"city\", \"B\")", "Error in Update(t, name = 'q', city, B).",
       {"a|a-town", "b|b-town", "c|c-town"}},
      {"delete(\"t\", \"name = 'b' OR name = 'c'\")", "", {"a|a-town"}},
      {"delete(\"t\", \"name = 'q'\")", "", {"a|a-town", "b|b-town", "c|c-town"}},
      {"delete(\"t\", \"\")", "", {"a|a-town", "b|b-town", "c|c-town"}},
      // A failing function does not stop the script; only the last value is the result.
      {"update(\"t\", \"name = 'q'\", \"city\", \"B\"); delete(\"t\", \"name = 'a'\")", "", {"b|b-town", "c|c-town"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    Scripts s;
    AnsiString log = "before";
    EXPECT_TRUE(s.Run(c.script, log));
    EXPECT_EQ(log, c.log);
    EXPECT_EQ(s.Records(), c.records);
  }
}

TEST(FolderScript, NamesSetvalueCountsAndSeparators) {
  Scripts s;
  s.t->ScriptOrdinal = 3;
  s.t->ScriptTotal = 10;
  struct Case {
    const char* script;
    const char* log;
    const char* city;  // the target value of city afterwards
  };
  const Case cases[] = {
      {"strcat(count(), \"/\", maxcount())", "3/10", "b-town"},
      // A bare name is the listed column of the script's table; a qualified one is taken as
      // written; one that is not listed is empty.
      {"strcat(name, \"|\", t.city, \"|\", other, \"|\", u.code)", "b|b-town||", "b-town"},
      {"setvalue(\"city\", \"X\")", "", "X"},
      {"setvalue(\"t.city\", strcat(city, \"!\"))", "", "b-town!"},
      {"setvalue(\"zip\", \"1\")", "Error in setvalue(zip, 1, ...).", "b-town"},
      {"setvalue(\"zip\", \"1\", \"city\", \"Y\")", "", "Y"},
      {"setvalue(\"city\")", "", "b-town"},
      {"1; 2", "2", "b-town"},
      {"1 2", "2", "b-town"},
      {"1,\r\n2", "2", "b-town"},
      {"\t1 :;, ", "1", "b-town"},
      // A name nothing knows as a function answers itself.
      {"nothing(1)", "nothing", "b-town"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    s.targetValues.SetString(2, "b-town");
    AnsiString log;
    EXPECT_TRUE(s.Run(c.script, log));
    EXPECT_EQ(log, c.log);
    EXPECT_EQ(s.targetValues[2], c.city);
  }

  // "setvalue" exists only while a record is built.
  s.t->ScriptRow = &s.values;
  EXPECT_EQ(CallScriptFunction(s.t, "setvalue", nullptr), "setvalue");
}

TEST(FolderScript, AStatementThatDoesNotReadEndsTheScript) {
  Scripts s;
  AnsiString log = "kept";
  EXPECT_TRUE(s.Run("", log));
  EXPECT_EQ(log, "kept");

  // The statement that fails is shown as far as it was read; the statements before it ran.
  EXPECT_FALSE(s.Run("setvalue(\"city\", \"1\")\n insert(\"t\", \"name\", * \"x\")\n setvalue(\"city\", \"2\")", log));
  EXPECT_EQ(log, "insert(\"t\", \"name\", <<--ERROR");
  EXPECT_EQ(s.targetValues[2], "1");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|a-town", "b|b-town", "c|c-town"}));

  for (const char* bad : {")", "1 )", "strcat(1, *)", "(1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(s.Run(bad, log));
    EXPECT_NE(log.find("<<--ERROR"), std::string::npos) << Show(log);
  }
}

TEST(FolderCommand, RunsOnlyWhenTheFolderHasACommandForTheOccasion) {
  Scripts s;
  s.ListRows();
  struct Case {
    const char* name;
    const char* script;
    int flags;
    int occasion;
    int start;
    bool expected;
  };
  const Case cases[] = {
      {"cmd", "", 0x700, 1, 0, false},       {"", "1", 0x700, 1, 0, false},
      {"cmd", "1", 0x100, 0, 0, true},       {"cmd", "1", 0x200, 1, 0, true},
      {"cmd", "1", 0x400, 2, 0, true},       {"cmd", "1", 0x300, 2, 0, false},
      {"cmd", "1", 0x500, 1, 0, false},      {"cmd", "1", 0x700, 3, 0, false},
      {"cmd", "1", 0x700, -1, 0, false},     {"cmd", "1", 0x700, 1, 2, true},
      {"cmd", "1", 0x700, 1, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.name << " " << c.script << " " << c.flags << " " << c.occasion);
    s.t->CommandName = c.name;
    s.t->Script = c.script;
    s.t->Flags = c.flags;
    // Without execute nothing opens (a modal run here would fail the test).
    EXPECT_EQ(s.t->RunCommand(c.occasion, s.columns.get(), &s.rows, c.start, nullptr, false), c.expected);
    if (!c.expected) EXPECT_FALSE(s.t->RunCommand(c.occasion, s.columns.get(), &s.rows, c.start, nullptr, true));
  }
  // Without a row list only the settings decide.
  EXPECT_TRUE(s.t->RunCommand(1, s.columns.get(), nullptr, 5, nullptr, false));
}

TEST(FolderCommand, SetvalueRewritesTheChangedColumnsOfEachRow) {
  Scripts s;
  s.ListRows();
  s.t->CommandName = SJ("町名");
  s.t->Description = SJ("町の名を変えます。");
  s.t->Script = "setvalue(\"city\", if(name = \"b\", city, strcat(city, count(), \"/\", maxcount())))";
  s.t->Flags = FOLDER_COMMAND_IN_MENU;
  s.t->Target = 2;
  RunAll user;
  user.target = 0;
  {
    ModalHandlerScope modal(std::ref(user));
    EXPECT_TRUE(s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true));
  }
  EXPECT_EQ(user.defaultTarget, 2);  // the folder's target, from the menu
  EXPECT_EQ(Show(user.title), "処理「町名」を実行します。");
  EXPECT_EQ(Show(user.memo), "町の名を変えます。");
  EXPECT_EQ(user.count, "3");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|a-town1/3", "b|b-town", "c|c-town3/3"}));
  EXPECT_FALSE(ErrorQuiet);

  // After a listing every new row is offered, whatever the target says; a script's own writes
  // happen and its last value is logged.
  s.t->Flags = FOLDER_COMMAND_AFTER_LISTING;
  s.t->Script = "insert(\"u\", \"code\", name) strcat(\"done \", name)";
  RunAll after;
  {
    ModalHandlerScope modal(std::ref(after));
    EXPECT_TRUE(s.t->RunCommand(0, s.columns.get(), &s.rows, 1, nullptr, true));
  }
  EXPECT_EQ(after.defaultTarget, 0);
  EXPECT_EQ(Show(after.targets), "全部　　   2件/選択　　   0件/非選択　   2件");
  EXPECT_EQ(Show(after.memo), "町の名を変えます。\r\ndone b\r\ndone c");
  EXPECT_EQ(s.Records("u", "u.code"), (std::vector<std::string>{"b", "c"}));
}

TEST(FolderCommand, AFailingRowEndsTheRunWithTheRowsBeforeItDone) {
  Scripts s;
  s.ListRows();
  s.t->CommandName = "cmd";
  s.t->Flags = FOLDER_COMMAND_IN_MENU;
  s.t->Script = "setvalue(\"city\", \"X\")";
  // The third row's record is gone: its write-back fails.
  s.rows.Row(2)->SetString(0, "77");
  RunAll user;
  {
    ModalHandlerScope modal(std::ref(user));
    EXPECT_TRUE(s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true));
  }
  EXPECT_EQ(user.count, "2");
  EXPECT_EQ(Show(user.memo), "データを更新できません。");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|X", "b|X", "c|c-town"}));

  // A row id that is no number never reaches the condition.
  s.ListRows();
  s.rows.Row(0)->SetString(0, "1 OR 1 = 1");
  s.t->Script = "setvalue(\"city\", \"Y\")";
  RunAll bad;
  {
    ModalHandlerScope modal(std::ref(bad));
    EXPECT_FALSE(s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true));
  }
  EXPECT_EQ(bad.count, "0");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|X", "b|X", "c|c-town"}));

  // A statement that does not read: its text and "<<--ERROR" in the memo, nothing done.
  s.ListRows();
  s.t->Script = "setvalue(\"city\", \"Z\")\nsetvalue(\"city\", * \"W\")";
  RunAll broken;
  {
    ModalHandlerScope modal(std::ref(broken));
    EXPECT_FALSE(s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true));
  }
  EXPECT_EQ(broken.count, "0");
  EXPECT_NE(broken.memo.find("<<--ERROR"), std::string::npos) << Show(broken.memo);
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|X", "b|X", "c|c-town"}));
  EXPECT_FALSE(ErrorQuiet);
}

TEST(FolderCommand, ARunWaitsForNoOneElseHoldingTheTable) {
  Scripts s;
  s.ListRows();
  s.t->CommandName = "cmd";
  s.t->Flags = FOLDER_COMMAND_IN_MENU;
  s.t->Script = "setvalue(\"city\", \"X\")";
  // Another holder of the table's update lock: a second handle on the same file.
  CDbHandle other;
  ASSERT_TRUE(other.AddTable(s.tree.dir.File("t.kvr"), "t"));
  ASSERT_TRUE(other.Lock());
  RunAll user;
  {
    ModalHandlerScope modal(std::ref(user));
    EXPECT_FALSE(s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true));
  }
  EXPECT_EQ(Show(user.memo), "他で処理中なので、更新ができません。");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|a-town", "b|b-town", "c|c-town"}));
  other.Unlock();
}

TEST(FolderCommand, ACopyDropInsertsTheListedValuesIntoTheTargetTable) {
  Scripts s;
  s.ListRows();
  CRuleFolderTbl* v = s.tree.AddTable("v", {"name", "note"});
  CDbFolder* source = NodeFor(s.t, s.tree.root.RootNode);
  CDbFolder* target = NodeFor(v, s.tree.root.RootNode);
  v->CommandName = SJ("注記");
  v->Script = "setvalue(\"note\", strcat(\"from \", city))";
  RunAll user;
  user.target = 0;
  {
    ModalHandlerScope modal(std::ref(user));
    EXPECT_EQ(v->ConfirmDropRecords(DropInsert | DropCopy | DropCommand, target, source, s.columns.get(), &s.rows,
                                    nullptr, "", nullptr, nullptr),
              0);
  }
  EXPECT_EQ(Show(user.title), "処理「レコードの複写、注記」を実行します。");
  EXPECT_EQ(user.count, "3");
  EXPECT_EQ(s.Records("v", "v.name,v.note"),
            (std::vector<std::string>{"a|from a-town", "b|from b-town", "c|from c-town"}));
}

TEST(FolderCommand, AStopEndsTheRunBeforeTheNextRow) {
  Scripts s;
  s.ListRows();
  s.t->CommandName = "cmd";
  s.t->Flags = FOLDER_COMMAND_IN_MENU;
  // Each row logs a line, for which the worker waits on this thread: pressing "中止" before this
  // thread looks at anything lets at most the row in hand finish.
  s.t->Script = "setvalue(\"city\", \"X\") strcat(\"row \", count())";
  AnsiString count, memo;
  ModalHandlerScope modal([&](TForm* form) {
    auto* d = dynamic_cast<TCmdYesNoDlg*>(form);
    ASSERT_NE(d, nullptr);
    d->OKBtn->Click();
    d->AbortBtn->Click();
    ASSERT_TRUE(PumpUntil([d] { return d->Thread == nullptr; }));
    count = d->CountEdit->Text();
    memo = d->Memo1->Text();
    d->AbortBtn->Click();
  });
  s.t->RunCommand(1, s.columns.get(), &s.rows, 0, nullptr, true);
  if (count == "1") {
    EXPECT_EQ(memo, "row 1");
    EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|X", "b|b-town", "c|c-town"}));
  } else {
    EXPECT_EQ(count, "0");
    EXPECT_EQ(memo, "");
    EXPECT_EQ(s.Records(), (std::vector<std::string>{"a|a-town", "b|b-town", "c|c-town"}));
  }
  EXPECT_FALSE(ErrorQuiet);
}

TEST(FolderCommand, DropPlansMoveRelateAndChangeTheListedRecords) {
  struct Case {
    int plan;
    const char* join;
    const char* assignment;  // "column=value" or none
    const char* title;
    const char* memo;  // the lines after the description
    std::vector<std::string> t, v;
  };
  const std::vector<std::string> untouched{"a|a-town", "b|b-town", "c|c-town"};
  const Case cases[] = {
      {DropInsert | DropMove, "", nullptr, "レコードの移動", "", {}, {"a|", "b|", "c|"}},
      {DropInsert | DropRelate, "v.note = t.city", nullptr, "関連付いたレコードの作製", "", untouched,
       {"|a-town", "|b-town", "|c-town"}},
      {DropInsert | DropRelate, "v.note", nullptr, "関連付いたレコードの作製", "関連付けがありません。", untouched, {}},
      {DropInsert | DropRelate, "v.zip = t.city", nullptr, "関連付いたレコードの作製",
       "カラム v.zip が見つかりません。", untouched, {}},
      {DropInsert | DropRelate, "v.note = t.zip", nullptr, "関連付いたレコードの作製",
       "カラム t.zip が見つかりません。", untouched, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.join);
    Scripts s;
    s.ListRows();
    CRuleFolderTbl* v = s.tree.AddTable("v", {"name", "note"});
    CDbFolder* source = NodeFor(s.t, s.tree.root.RootNode);
    CDbFolder* target = NodeFor(v, s.tree.root.RootNode);
    RunAll user;
    user.target = 0;
    {
      ModalHandlerScope modal(std::ref(user));
      v->ConfirmDropRecords(c.plan, target, source, s.columns.get(), &s.rows, nullptr, c.join, nullptr, nullptr);
    }
    EXPECT_EQ(Show(user.title), std::string("処理「") + c.title + "」を実行します。");
    EXPECT_NE(Show(user.memo).find(c.memo), std::string::npos) << Show(user.memo);
    EXPECT_EQ(s.Records(), c.t);
    EXPECT_EQ(s.Records("v", "v.name,v.note"), c.v);
  }

  // A change of the records in place: only the assigned column is written, a name without its
  // table is the target table's.
  Scripts s;
  s.ListRows();
  CDbFolder* node = NodeFor(s.t, s.tree.root.RootNode);
  TStringList names, values;
  names.Add("t.city");
  values.Add("Q");
  names.Add("name");
  values.Add("n");
  RunAll user;
  user.target = 0;
  {
    ModalHandlerScope modal(std::ref(user));
    s.t->ConfirmDropRecords(DropChange, node, node, s.columns.get(), &s.rows, nullptr, "", &names, &values);
  }
  EXPECT_EQ(user.defaultTarget, 1);
  EXPECT_EQ(Show(user.memo), "カラム「city」の内容を「Q」にします。\r\nカラム「name」の内容を「n」にします。");
  EXPECT_EQ(user.count, "3");
  EXPECT_EQ(s.Records(), (std::vector<std::string>{"n|Q", "n|Q", "n|Q"}));
}
