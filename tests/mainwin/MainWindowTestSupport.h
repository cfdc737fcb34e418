// Shared pieces of the main window's tests: the program started as from a command line on a
// user's work folder, and a user who answers the dialogs it shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "foundation/CvMessageUnit.h"
#include "foundation/StringsList.h"
#include "mainwin/Abount.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/MainForm.h"
#include "mainwin/Startup.h"
#include "platform/SysUtils.h"
#include "tests/folders/FolderTestSupport.h"
#include "views/CvSumCardPr.h"

// A listing that outlasts its inline time shows its progress dialog, which closes itself when the
// listing ends (slow machines, sanitizer builds): true when form was that dialog, after it closed.
inline bool LetListingFinish(TForm* form) {
  if (form != GetListDlg) return false;
  EXPECT_TRUE(PumpUntil([form] { return form->ModalResult() != mrNone; }, 60000));
  return true;
}

// The about box shows once, a while after the start; a slow run can meet it in the middle of a
// test's own dialogs. True when form was the about box, after closing it.
inline bool CloseAboutBox(TForm* form) {
  if (!dynamic_cast<TAboutBox*>(form)) return false;
  PressButton(form, SJ("閉じる"));
  return true;
}

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
    if (LetListingFinish(form)) return;
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
  {
    ModalHandlerScope listing([](TForm* form) {
      if (!LetListingFinish(form)) ADD_FAILURE() << "unexpected dialog \"" << Show(form->Caption()) << "\"";
    });
    FormMain->TreeView1->SetSelected(node);
  }
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

// The texts of a tree node's children, blank-separated.
inline std::string ChildTexts(TTreeNode* node) {
  std::string out;
  for (int i = 0; node && i < node->Count(); ++i) out += (i ? " " : "") + SjisToUtf8(node->Item(i)->Text());
  return out;
}

// The node reached from the root node through the child texts of path ("顧客/B/B1"; "" the root).
inline TTreeNode* NodeAt(const std::string& path) {
  TTreeNode* node = FormMain->TreeView1->Items()->GetFirstNode();
  size_t from = 0;
  while (node && from < path.size()) {
    const size_t slash = path.find('/', from);
    const std::string name = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
    TTreeNode* found = nullptr;
    for (int i = 0; i < node->Count() && !found; ++i)
      if (SjisToUtf8(node->Item(i)->Text()) == name) found = node->Item(i);
    node = found;
    from = slash == std::string::npos ? path.size() : slash + 1;
  }
  EXPECT_NE(node, nullptr) << path;
  return node;
}

// The middle of the node's text in the tree.
inline TPoint Centre(TTreeNode* node) {
  const TRect r = node->DisplayRect(false);
  return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

// A mouse drag in the tree from one node to another, Ctrl held or not.
inline void Drag(TTreeNode* from, TTreeNode* to, bool ctrl) {
  TTreeView* tree = FormMain->TreeView1;
  const TPoint a = Centre(from), b = Centre(to);
  const TShiftState keys = ctrl ? ssCtrl : 0;
  tree->PressMouse(mbLeft, keys, a.x, a.y);
  tree->MoveMouse(ssLeft | keys, b.x, b.y);
  tree->ReleaseMouse(mbLeft, keys, b.x, b.y);
}

// A left click on the node, keys held.
inline void Click(TTreeNode* node, TShiftState keys = 0) {
  const TPoint p = Centre(node);
  FormMain->TreeView1->PressMouse(mbLeft, keys, p.x, p.y);
  FormMain->TreeView1->ReleaseMouse(mbLeft, keys, p.x, p.y);
}

// A right click on the node: it is selected and the tree's popup menu is filled.
inline void RightClick(TTreeNode* node) {
  const TPoint p = Centre(node);
  FormMain->TreeView1->PressMouse(mbRight, 0, p.x, p.y);
  FormMain->TreeView1->ReleaseMouse(mbRight, 0, p.x, p.y);
}

// The text of a status bar panel.
inline std::string Status(int panel) { return SjisToUtf8(FormMain->StatusBar1->Panels()->Items(panel)->Text()); }

// The listing's count as the status bar shows it, or -1.
inline int StatusCount() {
  std::smatch m;
  const std::string s = Status(1);
  static const std::regex pattern("件数:(\\d+)  検索:\\d+\\(ミリ秒\\)  表示:\\d+\\(ミリ秒\\)");
  return std::regex_match(s, m, pattern) ? std::stoi(m[1]) : -1;
}

// Clicks the item of that caption in the tree's popup menu as the last right click filled it;
// false when the menu has no such item.
inline bool ClickTreePopupItem(const AnsiString& caption) {
  TMenuItem* items = FormMain->PopupMenuTV->Items();
  for (int i = 0; i < items->Count(); ++i)
    if (items->Items(i)->Caption() == caption) {
      items->Items(i)->Click();
      return true;
    }
  return false;
}

// Chooses the item of the "データ操作" menu with that caption; false when it is not there or disabled.
inline bool ChooseOperation(const char* caption) {
  for (int i = 0; i < FormMain->Ope1->Count(); ++i) {
    TMenuItem* item = FormMain->Ope1->Items(i);
    if (SjisToUtf8(item->Caption()) != caption) continue;
    if (!item->Enabled) return false;
    item->Click();
    return true;
  }
  return false;
}

// The about box closed, a message box noted as "caption: text" (UTF-8) in boxes and answered with
// the next of answers (OK once they are used up); false for any other form.
inline bool AnswerMessages(TForm* form, std::vector<std::string>& boxes, const std::vector<const char*>& answers,
                           size_t& next) {
  if (dynamic_cast<TAboutBox*>(form)) {
    PressButton(form, SJ("閉じる"));
    return true;
  }
  auto* box = dynamic_cast<TCvMessageDlg*>(form);
  if (!box) return false;
  boxes.push_back(SjisToUtf8(box->Caption()) + ": " + SjisToUtf8(box->Label1->Caption()));
  const char* answer = next < answers.size() ? answers[next++] : "ＯＫ";
  EXPECT_TRUE(PressButton(box, Utf8ToSjis(answer))) << answer;
  return true;
}
