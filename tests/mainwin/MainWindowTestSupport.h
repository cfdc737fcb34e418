// Shared pieces of the main window's tests: the program started as from a command line on a
// user's work folder, and a user who answers the dialogs it shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/CvMessageUnit.h"
#include "foundation/StringsList.h"
#include "mainwin/Abount.h"
#include "mainwin/MainForm.h"
#include "mainwin/Startup.h"
#include "platform/SysUtils.h"
#include "tests/folders/FolderTestSupport.h"
#include "views/CvSumCardPr.h"

// Plays the user for every modal form: notes what each one showed, presses the message boxes'
// buttons named in answers in turn (OK once they are used up) and closes the about box.
class UserScript {
 public:
  explicit UserScript(std::vector<const char*> answers = {})
      : answers_(std::move(answers)), scope_([this](TForm* form) { Play(form); }) {}

  struct Shown {
    AnsiString caption;
    AnsiString text;
  };
  std::vector<Shown> shown;  // message boxes, in order
  int aboutBoxes = 0;

 private:
  void Play(TForm* form) {
    if (dynamic_cast<TAboutBox*>(form)) {
      ++aboutBoxes;
      PressButton(form, SJ("閉じる"));
      return;
    }
    auto* box = dynamic_cast<TCvMessageDlg*>(form);
    ASSERT_NE(box, nullptr) << "unexpected dialog \"" << Show(form->Caption()) << "\"";
    shown.push_back({box->Caption(), box->Label1->Caption()});
    const char* answer = next_ < answers_.size() ? answers_[next_++] : "ＯＫ";
    EXPECT_TRUE(PressButton(box, Utf8ToSjis(answer))) << answer << " on \"" << Show(box->Label1->Caption()) << "\"";
  }
  std::vector<const char*> answers_;
  size_t next_ = 0;
  ModalHandlerScope scope_;
};

// A user's work folder: the tables of a folder tree, and its folder file "work.fld" with a table
// folder "顧客" and a condition folder "営業" below it.
class WorkFolder : public FolderTree {
 public:
  WorkFolder() {
    CRuleFolderTbl* customers = AddTable(SJ("顧客"), {"name", "unit", "amount:int"});
    Insert(SJ("顧客"), {{"name", SJ("山田")}, {"unit", SJ("営業")}, {"amount", "120"}});
    auto* sales = new CRuleFolder(customers);
    sales->Name = SJ("営業");
    sales->Condition = SJ("unit = '営業'");
    customers->AddChild(sales);
    root.WritePath = FolderFile();
    EXPECT_TRUE(root.SaveFolderFile());
  }
  std::string Base() const { return dir.File("work"); }
  std::string FolderFile() const { return Base() + ".fld"; }
  std::string Settings() const { return Base() + ".ini"; }
  void WriteSettings(const std::string& utf8) const {
    TStringList lines;
    lines.SetText(Utf8ToSjis(utf8));
    ASSERT_TRUE(lines.SaveToFile(Settings()));
  }
};

// The program started with the arguments after the program's own name: the start-up forms made
// and the main window shown. Everything goes when the object does, as when the program ends.
class StartedProgram {
 public:
  explicit StartedProgram(const std::vector<std::string>& args) {
    std::vector<std::string> all{ExecutablePath()};
    all.insert(all.end(), args.begin(), args.end());
    SetParams(all);
    CreateStartupForms();
    FormMain->Show();
  }
  ~StartedProgram() {
    FreeStartupForms();
    SetParams({});
  }
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;
};

// Each test runs with a configuration folder of its own and leaves the globals it may change as
// they were.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = old, hadConfig_ = true;
    setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  }
  void TearDown() override {
    if (hadConfig_)
      setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    SumCardMaxPrint = 5000;
  }
  TempDir config;

 private:
  std::string savedConfig_;
  bool hadConfig_ = false;
};

// The texts of the tree's nodes from the top down, children indented by two blanks.
inline std::string TreeText(TTreeView* tree) {
  std::string out;
  for (TTreeNode* n = tree->Items()->GetFirstNode(); n;) {
    out += std::string(2 * n->Level(), ' ') + SjisToUtf8(n->Text()) + "\n";
    if (n->GetFirstChild()) {
      n = n->GetFirstChild();
      continue;
    }
    while (n && !n->GetNextSibling()) n = n->Parent();
    if (n) n = n->GetNextSibling();
  }
  return out;
}

// The tree node of the root's sub-folder named name, or null.
inline TTreeNode* TopLevelNode(const AnsiString& name) {
  TTreeNode* root = FormMain->TreeView1->Items()->GetFirstNode();
  for (TTreeNode* n = root ? root->GetFirstChild() : nullptr; n; n = n->GetNextSibling())
    if (n->Text() == name) return n;
  return nullptr;
}

// Selects the node in the tree as a user does, which lists its folder's records into the list
// grid; the number of rows listed (-1 when the node is missing or nothing was listed).
inline int ListAllRecords(TTreeNode* node) {
  if (!node) {
    ADD_FAILURE() << "no node to list\n" << TreeText(FormMain->TreeView1);
    return -1;
  }
  FormMain->TreeView1->SetSelected(node);
  if (FormMain->ListedNode != node) {
    ADD_FAILURE() << "the node was not listed";
    return -1;
  }
  return FormMain->ListRows->Count();
}

// Marks exactly the given grid rows.
inline void MarkRows(std::initializer_list<int> marked) {
  TStringGridEx* grid = FormMain->StringGridEx1;
  for (int r = 1; r < grid->RowCount(); ++r) grid->SetRowSelects(r, false);
  for (int r : marked) grid->SetRowSelects(r, true);
}
