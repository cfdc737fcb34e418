#include <gtest/gtest.h>

#include "folders/EditTopFolderUnit.h"
#include "platform/Menus.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

std::vector<std::string> ChildNames(CRuleFolder* folder) {
  std::vector<std::string> out;
  for (int i = 0; i < folder->Children.Count(); ++i) out.push_back(folder->Children.Get(i)->Name);
  return out;
}

TPoint Middle(TListBox* list, int item) {
  const TRect r = list->ItemRect(item);
  return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

// Publishes an icon list of two pictures for the life of the object.
struct Icons {
  Icons() {
    images.AddMasked(TBitmap(16, 16), clFuchsia);
    images.AddMasked(TBitmap(16, 16), clFuchsia);
    FolderImageList = &images;
  }
  ~Icons() { FolderImageList = nullptr; }
  TImageList images{nullptr};
};

}  // namespace

TEST(EditTopFolderDlg, EditsTheRootThroughItsMenu) {
  Icons icons;
  CTopRuleFolder root;
  for (const char* name : {"A", "B", "C"}) root.AddNewChild()->Name = name;
  root.AddModified(-root.GetModified());
  root.OpenImage = 1;
  TMenuItem* edit = root.PopupFolderMenu()->Items()->Items(1);
  bool confirm = false;
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TEditTopFolderDlg*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Caption(), SJ("トップフォルダの編集"));
    EXPECT_EQ(d->NameEdit->Text(), root.Name);
    EXPECT_EQ(d->Image0CB->Items()->Count(), 3);
    EXPECT_EQ((*d->Image0CB->Items())[0], SJ("省略値"));
    EXPECT_EQ(d->Image0CB->ItemIndex(), 0);
    EXPECT_EQ(d->Image1CB->ItemIndex(), 2);
    // The third sub-folder dragged onto the first.
    const TPoint from = Middle(d->ListBox1, 2), to = Middle(d->ListBox1, 0);
    d->ListBox1->PressMouse(mbLeft, ssLeft, from.x, from.y);
    d->ListBox1->MoveMouse(ssLeft, to.x, to.y);
    d->ListBox1->ReleaseMouse(mbLeft, 0, to.x, to.y);
    EXPECT_EQ(d->ListBox1->ItemIndex(), 0);
    d->NameEdit->SetText("Vault");
    d->Image1CB->SetItemIndex(1);
    PressButton(d, confirm ? AnsiString("OK") : SJ("キャンセル"));
  });
  edit->Click();
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(root.Name, "Cindervault");
  EXPECT_EQ(root.GetModified(), 0);
  confirm = true;
  edit->Click();
  EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"C", "A", "B"}));
  EXPECT_EQ(root.Name, "Vault");
  EXPECT_EQ(root.RootNode->Name, "Vault");
  EXPECT_EQ(root.ClosedImage, -1);
  EXPECT_EQ(root.OpenImage, 0);
  EXPECT_EQ(root.GetModified(), 1);
}

TEST(EditTopFolderDlg, DraggingPastTheListScrollsIt) {
  CTopRuleFolder root;
  for (int i = 0; i < 40; ++i) root.AddNewChild()->Name = Format("F%02d", i);
  TEditTopFolderDlg dialog(Application);
  dialog.SetFolder(&root);
  TListBox* list = dialog.ListBox1;
  ASSERT_LT(list->VisibleLines(), 40);
  list->SetTopIndex(5);
  const TPoint start = Middle(list, 5);
  list->PressMouse(mbLeft, ssLeft, start.x, start.y);
  // Above the list, over its label: one line up for every 3 pixels further up.
  const int label = dialog.Label5->Top() + dialog.Label5->Height() / 2 - list->Top();
  const struct {
    int y;
    int top;
  } above[] = {{label, 5}, {label - 2, 5}, {label - 3, 4}, {label - 2, 4}, {label - 5, 3}, {label - 6, 3}};
  for (const auto& step : above) {
    list->MoveMouse(ssLeft, start.x, step.y);
    EXPECT_EQ(list->TopIndex(), step.top) << step.y;
  }
  // Back over the list nothing scrolls; below it, over the form, one line down per 3 pixels.
  list->MoveMouse(ssLeft, start.x, start.y);
  EXPECT_EQ(list->TopIndex(), 3);
  const int below = list->Height() + 6;
  for (const auto& step : {std::pair{below, 3}, {below + 3, 4}, {below + 4, 4}, {below + 7, 5}}) {
    list->MoveMouse(ssLeft, 4, step.first);
    EXPECT_EQ(list->TopIndex(), step.second) << step.first;
  }
  // Dropped outside the list: the order stays.
  list->ReleaseMouse(mbLeft, 0, 4, below + 7);
  dialog.UpdateFolder(&root);
  EXPECT_EQ(root.Children.Get(0)->Name, "F00");
  EXPECT_EQ(root.Children.Get(5)->Name, "F05");
}
