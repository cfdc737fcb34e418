// The data check and repair, driven through its dialog as a user drives it: sound, damaged and
// re-indexed tables, the work files it leaves, failures part way and Stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "folders/DataChkUnit.h"
#include "platform/SysUtils.h"
#include "platform/Thread.h"
#include "platform/Timer.h"
#include "store/CondOp.h"
#include "store/KorvaFormat.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// A table folder "t" over t.kvr holding records of Japanese texts and numbers.
struct CheckFixture {
  explicit CheckFixture(int records = 40) {
    table = tree.AddTable("t", {"name", "n:int"});
    for (int i = 0; i < records; ++i) tree.Insert("t", {{"name", SJ("山田ソ表") + IntToStr(i)}, {"n", IntToStr(i * 7)}});
    file = tree.dir.File("t.kvr");
  }
  std::string Work(const char* extension) const { return tree.dir.File(std::string("t") + extension); }
  // Every record's values (its id left out, since a rebuilt table numbers its records anew).
  std::vector<std::string> Values() const {
    std::vector<std::string> out;
    CKvRecord t;
    t.SetFileName(file);
    if (t.Open() < 0) return out;
    t.AddCond("__REC__ID__", COND_GRT_EQL, "1");
    t.AddCondEnd();
    CKvrValueList values;
    while (t.GetRec(values)) {
      std::string row;
      for (int i = 1; i < values.Count(); ++i) row += values.GetAt(i)->GetText() + "|";
      out.push_back(row);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  FolderTree tree;
  CRuleFolderTbl* table;
  std::string file;
};

// A key block overwritten, as a faulty disk leaves it.
void OverwriteBodyRoot(const std::string& file) {
  using namespace korva;
  std::string bytes = ReadFileBytes(file);
  ASSERT_GT(bytes.size(), size_t(kHeaderLarge));
  const auto* h = reinterpret_cast<const uint8_t*>(bytes.data());
  const uint32_t root = Get32(h + kKtDescriptors + kDescSize * (kvrKeyBody - 1) + kDescRoot);
  const int kb = Get16(h + kHdrKeyBlock);
  ASSERT_LE(size_t(root) + size_t(kb), bytes.size());
  std::fill(bytes.begin() + root, bytes.begin() + root + kb, char(0xA5));
  WriteFileBytes(file, bytes);
}

struct CheckRun {
  bool optimize = false;
  bool index = false;
  bool confirm = true;
  std::function<void(TDataChkDlg*)> beforeStart;
  // What the user saw: the log before and after the run, and the state of the buttons.
  std::vector<std::string> shown, log, errors;
  bool startEnabled = false, startAfter = true, closeAfter = false, stopAfter = true, hookAfter = true;
  int steps = -1;
};

std::vector<std::string> Lines(TRichEdit* edit) {
  std::vector<std::string> out;
  for (int i = 0; i < edit->Lines()->Count(); ++i) out.push_back(SjisToUtf8((*edit->Lines())[i]));
  return out;
}

// Opens the dialog on folder as its opener does, starts one run and closes it.
void RunDialog(CRuleFolder* folder, CheckRun& run) {
  ModalHandlerScope scope([&](TForm* f) {
    if (auto* m = dynamic_cast<TCvMessageDlg*>(f)) {
      const bool question = SjisToUtf8(m->Label1->Caption()).find("よろしいですか") != std::string::npos;
      if (!question) run.errors.push_back(SjisToUtf8(m->Label1->Caption()));
      PressButton(m, question ? (run.confirm ? SJ("はい(&Y)") : SJ("いいえ(&N)")) : SJ("ＯＫ"));
      return;
    }
    auto* d = dynamic_cast<TDataChkDlg*>(f);
    ASSERT_NE(d, nullptr);
    run.shown = Lines(d->RichEdit1);
    run.startEnabled = d->OKBtn->Enabled();
    EXPECT_TRUE(d->RadioButton1->Checked());
    d->OptimizeChkBox->SetChecked(run.optimize);
    if (run.beforeStart) run.beforeStart(d);
    if (run.startEnabled) d->OKBtn->Click();
    run.log = Lines(d->RichEdit1);
    run.startAfter = d->OKBtn->Enabled();
    run.closeAfter = d->CancelBtn->Enabled();
    run.stopAfter = d->StopBtn->Enabled();
    run.hookAfter = progress_hook != nullptr;
    d->CancelBtn->Click();
  });
  auto* dialog = new TDataChkDlg(Application);
  dialog->IndexMode = run.index;
  ASSERT_TRUE(dialog->SetFolder(folder));
  EXPECT_EQ(DataChkDlg, dialog);
  EXPECT_EQ(dialog->ShowModal(), mrCancel);
  run.steps = dialog->StepCount;
  delete dialog;
  EXPECT_EQ(DataChkDlg, nullptr);
}

std::vector<std::string> Tail(const std::vector<std::string>& log, size_t shown) {
  return std::vector<std::string>(log.begin() + std::min(shown, log.size()), log.end());
}

std::string Started(const std::string& file) { return "ファイル " + file + " の検査を開始します。"; }
std::string Done(const std::string& file) { return "ファイル " + file + " の処理は正常に終了しました。"; }

}  // namespace

TEST(DataChkDlg, SoundTableIsCheckedAndLeftAlone) {
  CheckFixture x;
  const std::string before = ReadFileBytes(x.file);
  CheckRun run;
  RunDialog(x.table, run);
  EXPECT_EQ(run.shown, (std::vector<std::string>{"検査対象は以下の通りです。", "　　　　表名 : t",
                                                 "　ファイル名 : " + x.file}));
  EXPECT_TRUE(run.startEnabled);
  EXPECT_EQ(Tail(run.log, 3), (std::vector<std::string>{Started(x.file), "ファイルは正常です。"}));
  // One run per showing; nothing left running.
  EXPECT_FALSE(run.startAfter);
  EXPECT_TRUE(run.closeAfter);
  EXPECT_FALSE(run.stopAfter);
  EXPECT_FALSE(run.hookAfter);
  EXPECT_EQ(run.steps, 0);
  EXPECT_EQ(ReadFileBytes(x.file), before);
  for (const char* work : {".#1", ".#3", ".#4", ".bak"}) EXPECT_FALSE(FileExists(x.Work(work))) << work;
}

// Each way through the dialog on a small table: what it did, and that every value is kept.
TEST(DataChkDlg, EveryRunKeepsEveryValue) {
  struct Case {
    const char* what;
    std::function<void(const std::string&)> damage;
    bool optimize, index;
    std::vector<const char*> messages;
    int steps;
    bool bak;
    bool journal = false;  // the table has a journal, which goes with it to ".bak"
  };
  const std::vector<const char*> repaired = {"エラーがあるので再作成します。", "ファイルを再作成しました。",
                                             "ファイルを最適化します。",         "最適化が終わりました。",
                                             "ファイルを圧縮します。",           "圧縮が終わりました。"};
  const Case cases[] = {
      {"sound, optimised and compressed", nullptr, true, false,
       {"ファイルは正常です。", "ファイルを最適化します。", "最適化が終わりました。", "ファイルを圧縮します。",
        "圧縮が終わりました。"},
       2, true, true},
      {"lost index entry, box clear", [](const std::string& f) { LoseFirstEntry(f); }, false, false, repaired, 3, true},
      {"overwritten key block, box checked", OverwriteBodyRoot, true, false, repaired, 3, true},
      {"index mode, sound", nullptr, false, true, {"ファイルは正常です。", "インデックス処理を開始します。", "インデックス処理が終わりました。"}, 0, false},
      {"index mode, overwritten key block", OverwriteBodyRoot, false, true,
       {"エラーがあるので再作成します。", "ファイルを再作成しました。", "インデックス処理を開始します。"}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckFixture x;
    const std::vector<std::string> values = x.Values();
    ASSERT_EQ(values.size(), 40u);
    if (c.damage) {
      c.damage(x.file);
      EXPECT_LT(CKorva::Check(x.file), 0);
    }
    const std::string before = ReadFileBytes(x.file);
    if (c.journal) WriteFileBytes(x.file + ".jnl", "");
    CheckRun run;
    run.optimize = c.optimize;
    run.index = c.index;
    RunDialog(x.table, run);
    std::vector<std::string> expected = {Started(x.file)};
    for (const char* m : c.messages) expected.push_back(m);
    if (c.bak) expected.push_back(Done(x.file));
    if (c.index && c.bak) expected.push_back("インデックス処理が終わりました。");
    EXPECT_EQ(Tail(run.log, 3), expected);
    EXPECT_EQ(run.steps, c.steps);
    EXPECT_TRUE(run.errors.empty()) << run.errors.front();
    EXPECT_GE(CKorva::Check(x.file), 0);
    EXPECT_EQ(x.Values(), values);
    EXPECT_EQ(FileExists(x.Work(".bak")), c.bak);
    if (c.bak) EXPECT_EQ(ReadFileBytes(x.Work(".bak")), before);
    EXPECT_FALSE(FileExists(x.file + ".jnl"));
    EXPECT_EQ(FileExists(x.Work(".bak.jnl")), c.journal);
    for (const char* work : {".#1", ".#3", ".#4"}) EXPECT_FALSE(FileExists(x.Work(work))) << work;
  }
}

// A step that fails part way ends the run with its reason; the table file stays as it was.
TEST(DataChkDlg, FailurePartWayKeepsTheOriginal) {
  struct Case {
    const char* what;
    const char* obstacle;  // a directory where the step writes its file
    bool damaged;
    const char* last;
    std::vector<const char*> left;
    bool journal = false;  // the table has a journal, which goes with it to ".bak"
  };
  const Case cases[] = {
      {"rebuild", ".#1", true, "ファイル %s を再作成できないので修復不可能です。", {}},
      {"optimisation", ".#3", false, "最適化に失敗しました。", {}},
      {"optimisation after a rebuild", ".#3", true, "最適化に失敗しました。", {}},
      {"compression", ".#4", false, "ファイルの圧縮に失敗しました。", {}},
      {"renaming to .bak", ".bak", false, "bak ファイルへのリネームに失敗しました。", {".#4"}},
      // The table was already renamed: it is given its name back.
      {"moving the journal", ".bak.jnl", false, "bak ファイルへのリネームに失敗しました。", {".#4"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckFixture x;
    const std::vector<std::string> values = x.Values();
    if (c.damaged) LoseFirstEntry(x.file);
    const std::string before = ReadFileBytes(x.file);
    std::filesystem::create_directories(x.Work(c.obstacle) + "/inside");
    if (c.journal) WriteFileBytes(x.file + ".jnl", "");
    CheckRun run;
    run.optimize = true;
    RunDialog(x.table, run);
    ASSERT_FALSE(run.log.empty());
    std::string last = c.last;
    if (last.find("%s") != std::string::npos) last.replace(last.find("%s"), 2, x.file);
    EXPECT_EQ(run.log.back(), last);
    EXPECT_TRUE(run.closeAfter);
    EXPECT_EQ(ReadFileBytes(x.file), before);
    EXPECT_FALSE(FileExists(x.Work(".bak")));
    EXPECT_EQ(FileExists(x.file + ".jnl"), c.journal);
    if (!c.damaged) EXPECT_EQ(x.Values(), values);
    for (const char* work : {".#1", ".#3", ".#4"}) {
      if (work == std::string(c.obstacle)) continue;
      const bool kept = std::find(c.left.begin(), c.left.end(), std::string(work)) != c.left.end();
      EXPECT_EQ(FileExists(x.Work(work)), kept) << work;
    }
  }
}

// A data file that bears a work file's extension is never taken for one of its work files.
TEST(DataChkDlg, DataFileNamedLikeAWorkFile) {
  CheckFixture x;
  const std::vector<std::string> values = x.Values();
  const std::string before = ReadFileBytes(x.file);
  ASSERT_TRUE(RenameFile(x.file, x.Work(".bak")));
  x.file = x.Work(".bak");
  x.table->DataFile = x.file;
  CheckRun run;
  run.optimize = true;
  RunDialog(x.table, run);
  EXPECT_EQ(run.log.back(), Done(x.file));
  EXPECT_EQ(x.Values(), values);
  EXPECT_EQ(ReadFileBytes(x.file + ".bak"), before);
}

// A table written by someone else while it was being repaired is not replaced by the older copy.
TEST(DataChkDlg, TableWrittenMeanwhileIsNotReplaced) {
  CheckFixture x(300);
  DataChkStepMs = 0;
  TTimer writer(nullptr);
  writer.SetInterval(1);
  bool wrote = false;
  TDataChkDlg* shown = nullptr;
  writer.OnTimer = [&](TObject*) {
    if (wrote || !shown) return;
    const std::vector<std::string> log = Lines(shown->RichEdit1);
    if (std::find(log.begin(), log.end(), "ファイルを圧縮します。") == log.end()) return;
    x.tree.Insert("t", {{"name", "late"}, {"n", "1"}});
    wrote = true;
  };
  CheckRun run;
  run.optimize = true;
  run.beforeStart = [&](TDataChkDlg* d) { shown = d; };
  RunDialog(x.table, run);
  DataChkStepMs = 200;
  ASSERT_TRUE(wrote);
  EXPECT_EQ(run.log.back(), "ファイル " + x.file + " は処理中に変更されたので置き換えません。");
  EXPECT_EQ(x.Values().size(), 301u);
  EXPECT_FALSE(FileExists(x.Work(".bak")));
}

// Stop makes the running pass fail; a Stop during the check counts as damage, and the rebuild
// then fails at its first step.
TEST(DataChkDlg, StopDuringTheCheck) {
  CheckFixture x;
  const std::string before = ReadFileBytes(x.file);
  DataChkStepMs = 0;
  CheckRun run;
  run.beforeStart = [](TDataChkDlg* d) { QueueOnMainThread([d] { d->StopBtn->Click(); }); };
  RunDialog(x.table, run);
  DataChkStepMs = 200;
  EXPECT_EQ(Tail(run.log, 3), (std::vector<std::string>{Started(x.file), "中止します。", "エラーがあるので再作成します。",
                                                        "ファイル " + x.file + " を再作成できないので修復不可能です。"}));
  EXPECT_EQ(run.steps, 0);
  EXPECT_EQ(ReadFileBytes(x.file), before);
  EXPECT_FALSE(FileExists(x.Work(".#1")));
}

TEST(DataChkDlg, MissingFileAndDeclinedStart) {
  CheckFixture x;
  const std::string before = ReadFileBytes(x.file);
  CheckRun declined;
  declined.confirm = false;
  RunDialog(x.table, declined);
  EXPECT_EQ(declined.log, declined.shown);
  EXPECT_TRUE(declined.startAfter);
  EXPECT_EQ(ReadFileBytes(x.file), before);

  ASSERT_TRUE(DeleteFile(x.file));
  CheckRun missing;
  RunDialog(x.table, missing);
  EXPECT_EQ(missing.shown, std::vector<std::string>{"ファイル " + x.file + " がありません。"});
  EXPECT_FALSE(missing.startEnabled);

  // Index mode says what it does in its caption and note, and offers no optimisation.
  CheckFixture y;
  ModalHandlerScope scope([](TForm* f) {
    auto* d = dynamic_cast<TDataChkDlg*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Caption(), SJ("追加項目のインデックス処理"));
    EXPECT_EQ(SjisToUtf8((*d->Memo1->Lines())[0]), "追加した項目のインデックスを処理します。");
    EXPECT_FALSE(d->OptimizeChkBox->Visible());
    d->CancelBtn->Click();
  });
  TDataChkDlg dialog(Application);
  dialog.IndexMode = true;
  ASSERT_TRUE(dialog.SetFolder(y.table));
  dialog.ShowModal();
}

// The indicator moves one button per accepted step, round the five.
TEST(DataChkDlg, IndicatorGoesRound) {
  TDataChkDlg dialog(Application);
  DataChkStepMs = 0;
  dialog.RadioButton1->SetChecked(true);
  std::vector<int> seen;
  for (int step = 0; step < 6; ++step) {
    EXPECT_EQ(TDataChkDlg::ProgressStep(&dialog, step), 0);
    for (int i = 0; i < 5; ++i)
      if (dialog.Indicators[i]->Checked()) seen.push_back(i + 1);
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 4, 5, 1, 2}));
  dialog.StopRequest = true;
  EXPECT_EQ(DataChkProgress(0), -1);
  // Within the least time between steps, a step costs nothing and does not stop.
  DataChkStepMs = 60000;
  EXPECT_EQ(DataChkProgress(0), 0);
  DataChkStepMs = 200;
}

// A table file's extension files go with it, all or nothing.
TEST(DataChkDlg, TableFilesMoveWithTheirExtensionFiles) {
  TempDir dir;
  const std::string t = dir.File("T.kvr");
  EXPECT_EQ(MakeExtFileName(t, 1), dir.File("T#1.kvr"));
  EXPECT_EQ(MakeExtFileName(dir.File("T"), 2), dir.File("T#2"));
  for (const std::string& f : {t, dir.File("T#1.kvr"), dir.File("T#2.kvr"), dir.File("T#4.kvr")}) WriteFileBytes(f, f);
  ASSERT_TRUE(RenameTableFiles(t, dir.File("T.bak")));
  EXPECT_EQ(ReadFileBytes(dir.File("T#2.bak")), dir.File("T#2.kvr"));
  EXPECT_FALSE(FileExists(t));
  EXPECT_FALSE(FileExists(dir.File("T#1.kvr")));
  EXPECT_TRUE(FileExists(dir.File("T#4.kvr")));  // beyond the first missing number: not its own

  // A name already taken stops the renaming, and what was renamed goes back.
  WriteFileBytes(dir.File("U#2.kvr"), "taken");
  EXPECT_FALSE(RenameTableFiles(dir.File("T.bak"), dir.File("U.kvr")));
  EXPECT_TRUE(FileExists(dir.File("T.bak")));
  EXPECT_TRUE(FileExists(dir.File("T#1.bak")));
  EXPECT_FALSE(FileExists(dir.File("U.kvr")));
  EXPECT_EQ(ReadFileBytes(dir.File("U#2.kvr")), "taken");
  EXPECT_FALSE(RenameTableFiles(dir.File("none.kvr"), dir.File("V.kvr")));

  EXPECT_TRUE(DeleteTableFiles(dir.File("T.bak")));
  for (const char* gone : {"T.bak", "T#1.bak", "T#2.bak"}) EXPECT_FALSE(FileExists(dir.File(gone))) << gone;
  EXPECT_FALSE(DeleteTableFiles(dir.File("T.bak")));
}
