// The about box, the menu tool bar and the appearance command of the main window.
#include "mainwin/MenuBar.h"
#include "platform/Dialogs.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "views/EditForm.h"
#include "views/SetLooksUnit.h"

namespace {

void AddItems(TMainMenu* menu, std::initializer_list<const char*> captions) {
  for (const char* caption : captions) {
    auto* item = new TMenuItem(menu);
    item->SetCaption(Utf8ToSjis(caption));
    menu->Items()->Add(item);
  }
}

std::string ButtonCaptions(TMenuBar* bar) {
  std::string out;
  for (int i = 0; i < bar->ButtonCount(); ++i) out += (i ? " " : "") + SjisToUtf8(bar->Buttons(i)->Caption());
  return out;
}

}  // namespace

// A button per top-level item of the menu, replaced whole by another menu, kept for the same one
// and gone without one.
TEST(MenuBar, MirrorsTheTopLevelItemsOfItsMenu) {
  TForm form(Application);
  TMainMenu files(&form), help(&form);
  AddItems(&files, {"ファイル", "データ操作", "ヘルプ"});
  AddItems(&help, {"ヘルプ", "表示"});
  auto* bar = new TMenuBar(&form);
  bar->SetParent(&form);
  EXPECT_EQ(bar->Menu(), nullptr);
  EXPECT_TRUE(bar->Flat());
  EXPECT_TRUE(bar->ShowCaptions());

  bar->SetMenu(&files);
  EXPECT_EQ(ButtonCaptions(bar), "ファイル データ操作 ヘルプ");
  TToolButton* first = bar->Buttons(0);
  EXPECT_EQ(first->MenuItem(), files.Items()->Items(0));
  bar->SetMenu(&files);
  EXPECT_EQ(bar->Buttons(0), first);
  EXPECT_EQ(bar->ButtonCount(), 3);

  bar->SetMenu(&help);
  EXPECT_EQ(ButtonCaptions(bar), "ヘルプ 表示");
  EXPECT_EQ(bar->Buttons(1)->MenuItem(), help.Items()->Items(1));
  bar->SetMenu(nullptr);
  EXPECT_EQ(bar->ButtonCount(), 0);
  EXPECT_EQ(bar->Menu(), nullptr);
}

TEST(MenuBar, StandsFirstInTheMainWindowsCoolBar) {
  UserScript user;
  StartedProgram program({});
  FormMain->Timer1->SetEnabled(false);
  TMenuBar* bar = FormMain->MenuBar1;
  EXPECT_EQ(bar->Menu(), FormMain->MainMenu1);
  EXPECT_EQ(ButtonCaptions(bar), "ファイル データ操作 ヘルプ");
  EXPECT_EQ(FormMain->CoolBar1->Bands()->Items(0)->Control(), bar);
  EXPECT_EQ(bar->ButtonHeight(), 20);
  EXPECT_EQ(bar->ButtonWidth(), 59);
}

// The name and the version stand centred as a pair, 8 pixels apart; a click on the picture closes
// the box as "閉じる" does.
TEST(AboutBox, CentresItsLabelsAndClosesOnThePicture) {
  ASSERT_TRUE(JapaneseFontInstalled());
  int shown = 0;
  ModalHandlerScope scope([&](TForm* f) {
    auto* box = dynamic_cast<TAboutBox*>(f);
    ASSERT_NE(box, nullptr);
    ++shown;
    EXPECT_EQ(box->ProductName->Caption(), "Cinderwatch");
    EXPECT_EQ(box->Version->Caption(), "Version 1.2.0 (1.1.9)");
    const int name = box->ProductName->Width(), version = box->Version->Width();
    ASSERT_GT(name, 0);
    ASSERT_GT(version, 0);
    const int left = (box->Panel1->Width() - name - version - 8) / 2;
    EXPECT_EQ(box->ProductName->Left(), left);
    EXPECT_EQ(box->Version->Left(), left + name + 8);
    EXPECT_EQ(box->Image1->Width(), 540);
    EXPECT_EQ(box->Image1->Height(), 360);
    EXPECT_EQ(box->ClientWidth(), 541);
    EXPECT_EQ(box->ClientHeight(), 430);
    box->Image1->PressMouse(mbLeft, ssLeft, 20, 20);
    box->Image1->ReleaseMouse(mbLeft, 0, 20, 20);
  });
  TAboutBox box(Application);
  EXPECT_NE(box.ShowModal(), mrNone);
  EXPECT_EQ(shown, 1);
  EXPECT_FALSE(box.Visible());
}

namespace {

// The appearance dialog: the list font enlarged to size (0: nothing chosen), then OK.
class LooksUser {
 public:
  explicit LooksUser(int size)
      : scope_([this, size](TForm* f) {
          if (CloseAboutBox(f) || LetListingFinish(f)) return;
          if (auto* font = dynamic_cast<TFontDialogForm*>(f)) {
            font->SelectedFont()->SetSize(size);
            PressButton(f, "OK");
            return;
          }
          auto* d = dynamic_cast<TSetLooksDlg*>(f);
          ASSERT_NE(d, nullptr) << "unexpected dialog \"" << Show(f->Caption()) << "\"";
          ++shown;
          if (size > 0) d->FontBtn4->Click();
          PressButton(d, "OK");
        }) {}
  int shown = 0;

 private:
  ModalHandlerScope scope_;
};

}  // namespace

// Without a change nothing is listed again; a new list font goes to the record edit dialog's
// sheet too, and the selected folder is listed again under the refreshed tree.
TEST_F(MainWindowTest, AppearanceRelistsOnlyAfterAChange) {
  WorkFolder work;
  UserScript user;
  StartedProgram program({work.Base()});
  FormMain->Timer1->SetEnabled(false);
  TTreeNode* table = TopLevelNode(SJ("顧客"));
  ASSERT_EQ(ListAllRecords(table), 1);
  const int listings = FormMain->ListingCount;
  {
    LooksUser looks(0);
    FormMain->SetLooks->Execute();
    EXPECT_EQ(looks.shown, 1);
  }
  EXPECT_EQ(FormMain->ListingCount, listings);
  EXPECT_EQ(FormMain->ListedNode, nullptr);  // forgotten until the next selection
  EXPECT_EQ(FormMain->Tv1NodeList->Nodes->Count(), 0);

  {
    LooksUser looks(20);
    FormMain->SetLooks->Execute();
  }
  EXPECT_EQ(FormMain->StringGridEx1->Font()->Size(), 20);
  TStringGridEx* sheet = nullptr;
  for (int i = 0; i < EditDlg->ComponentCount() && !sheet; ++i)
    sheet = dynamic_cast<TStringGridEx*>(EditDlg->Components(i));
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->Font()->Size(), 20);
  EXPECT_EQ(sheet->DefaultRowHeight(), 20 * 17 / 9);
  EXPECT_GT(FormMain->ListingCount, listings);
  ASSERT_NE(FormMain->ListedNode, nullptr);
  EXPECT_EQ(FormMain->ListedNode->Text(), SJ("顧客"));
  EXPECT_EQ(FormMain->ListRows->Count(), 1);
}
