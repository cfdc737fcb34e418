#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/ComCtrls.h"
#include "platform/ImgList.h"
#include "tests/support/TestSupport.h"

namespace {

// A form with a tree of 200 x 150 pixels at the form's top-left corner.
struct TreeForm : ::testing::Test {
  TForm form{Application};
  TTreeView* tree = nullptr;
  std::string log;
  void SetUp() override {
    form.SetBounds(0, 0, 300, 200);
    tree = new TTreeView(&form);
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 200, 150);
  }
  // The centre of a node's text, in the tree's client coordinates.
  TPoint At(TTreeNode* n) {
    const TRect r = n->DisplayRect(true);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  void Click(TTreeNode* n, TShiftState shift = 0) {
    const TPoint p = At(n);
    tree->PressMouse(mbLeft, shift | ssLeft, p.x, p.y);
    tree->ReleaseMouse(mbLeft, shift, p.x, p.y);
  }
};

}  // namespace

TEST_F(TreeForm, NodesKeepTheirPlacesAndFreedNodesAreReportedChildrenFirst) {
  TTreeNodes* items = tree->Items();
  TTreeNode* root = items->AddObject(nullptr, "root", &log);
  TTreeNode* a = items->AddChild(root, "a");
  TTreeNode* b = items->AddChild(root, "b");
  TTreeNode* b1 = items->AddChild(b, "b1");
  items->AddChild(b, "b2");
  TTreeNode* c = items->AddChild(root, "c");
  EXPECT_EQ(items->Count(), 6);
  EXPECT_EQ(items->GetFirstNode(), root);
  EXPECT_EQ(root->Data, &log);
  EXPECT_EQ(root->Parent(), nullptr);
  EXPECT_EQ(b1->Parent(), b);
  EXPECT_EQ(b1->Level(), 2);
  EXPECT_EQ(c->Index(), 2);
  EXPECT_EQ(a->GetNextSibling(), b);
  EXPECT_EQ(c->GetPrevSibling(), b);
  EXPECT_TRUE(root->HasChildren());
  EXPECT_TRUE(b1->HasAsParent(root));

  tree->OnDeletion = [&](TObject*, TTreeNode* n) { log += n->Text() + " "; };
  int changes = 0;
  tree->OnChange = [&](TObject*, TTreeNode*) { ++changes; };
  tree->SetSelected(b1);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(b->Expanded());  // selecting a node shows it
  b->Delete();
  EXPECT_EQ(log, "b1 b2 b ");
  EXPECT_EQ(items->Count(), 3);
  EXPECT_EQ(c->Index(), 1);
  // The selection passes to the nearest node that is left, without OnChange.
  EXPECT_EQ(tree->Selected(), root);
  EXPECT_EQ(changes, 1);

  log.clear();
  root->DeleteChildren();
  EXPECT_EQ(log, "c a ");
  EXPECT_FALSE(root->HasChildren());
  EXPECT_FALSE(root->Expanded());
  items->Clear();
  EXPECT_EQ(items->Count(), 0);
  EXPECT_EQ(tree->Selected(), nullptr);
}

TEST_F(TreeForm, ExpandingAsksFirstAndANodeWithoutChildrenStaysClosed) {
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  TTreeNode* lazy = tree->Items()->AddChild(root, "lazy");
  lazy->SetHasChildren(true);
  TTreeNode* empty = tree->Items()->AddChild(root, "empty");
  empty->SetHasChildren(true);
  tree->OnExpanding = [&](TObject*, TTreeNode* n, bool& allow) {
    log += "expanding " + n->Text() + " ";
    if (n == lazy) {
      tree->Items()->AddChild(n, "x");
      tree->Items()->AddChild(n, "y");
    }
    if (n == empty) {
      allow = false;
      n->SetHasChildren(false);
    }
  };
  tree->OnCollapsing = [&](TObject*, TTreeNode* n, bool&) { log += "collapsing " + n->Text() + " "; };
  root->Expand(false);
  lazy->Expand(false);
  empty->Expand(false);
  EXPECT_EQ(log, "expanding root expanding lazy expanding empty ");
  EXPECT_TRUE(lazy->Expanded());
  EXPECT_EQ(lazy->Count(), 2);
  EXPECT_FALSE(empty->Expanded());
  EXPECT_FALSE(empty->HasChildren());

  // Collapsing around the selected node moves the selection up to the collapsed node.
  tree->SetSelected(lazy->Item(1));
  TTreeNode* changedTo = nullptr;
  tree->OnChange = [&](TObject*, TTreeNode* n) { changedTo = n; };
  log.clear();
  lazy->Collapse(false);
  EXPECT_EQ(log, "collapsing lazy ");
  EXPECT_EQ(changedTo, lazy);
  EXPECT_EQ(tree->Selected(), lazy);

  // A press on the button expands without selecting; a double click on the text toggles too.
  const TRect r = lazy->DisplayRect(false);
  tree->PressMouse(mbLeft, ssLeft, r.Left - tree->Indent() / 2, (r.Top + r.Bottom) / 2);
  tree->ReleaseMouse(mbLeft, 0, r.Left - tree->Indent() / 2, (r.Top + r.Bottom) / 2);
  EXPECT_TRUE(lazy->Expanded());
  EXPECT_EQ(changedTo, lazy);
  const TPoint p = At(lazy);
  tree->PressMouse(mbLeft, ssLeft, p.x, p.y, true);
  tree->ReleaseMouse(mbLeft, 0, p.x, p.y);
  EXPECT_FALSE(lazy->Expanded());
}

TEST_F(TreeForm, AClickSelectsOnTheReleaseWithTheModifiersSeenByOnChange) {
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  TTreeNode* a = tree->Items()->AddChild(root, "a");
  TTreeNode* b = tree->Items()->AddChild(root, "b");
  root->Expand(false);
  tree->OnChange = [&](TObject*, TTreeNode* n) {
    log += n->Text();
    log += GetKeyState(VK_CONTROL) < 0 ? "+ctrl" : "";
    log += GetKeyState(VK_LBUTTON) < 0 ? "+held" : "";
    log += " ";
  };
  const TPoint p = At(a);
  tree->PressMouse(mbLeft, ssLeft, p.x, p.y);
  EXPECT_EQ(log, "");  // nothing yet: the press may begin a drag
  tree->ReleaseMouse(mbLeft, 0, p.x, p.y);
  Click(b, ssCtrl);
  EXPECT_EQ(log, "a b+ctrl ");
  EXPECT_EQ(GetKeyState(VK_CONTROL), 0);

  // Keys move the selection; Left goes up to the parent, Right opens a node.
  log.clear();
  tree->PressKey(VK_UP, 0);
  tree->PressKey(VK_LEFT, 0);
  tree->PressKey(VK_LEFT, 0);
  EXPECT_EQ(log, "a root ");
  EXPECT_FALSE(root->Expanded());
  tree->PressKey(VK_RIGHT, 0);
  tree->PressKey(VK_RIGHT, 0);
  tree->PressKey(VK_END, 0);
  EXPECT_EQ(log, "a root a b ");

  // A right click selects only with RightClickSelect.
  log.clear();
  tree->PressMouse(mbRight, ssRight, At(a).x, At(a).y);
  tree->ReleaseMouse(mbRight, 0, At(a).x, At(a).y);
  EXPECT_EQ(log, "");
  tree->RightClickSelect = true;
  tree->PressMouse(mbRight, ssRight, At(a).x, At(a).y);
  tree->ReleaseMouse(mbRight, 0, At(a).x, At(a).y);
  EXPECT_EQ(log, "a ");
}

TEST_F(TreeForm, DraggingANodeSelectsItWithTheButtonHeldAndDropsOnTheNodeUnderThePointer) {
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  TTreeNode* a = tree->Items()->AddChild(root, "a");
  TTreeNode* b = tree->Items()->AddChild(root, "b");
  TTreeNode* c = tree->Items()->AddChild(root, "c");
  root->Expand(false);
  tree->DragMode = dmAutomatic;
  tree->OnChange = [&](TObject*, TTreeNode* n) {
    log += "change " + n->Text() + (GetKeyState(VK_LBUTTON) < 0 ? "+held " : " ");
  };
  tree->OnDragOver = [&](TObject*, TObject* source, int x, int y, TDragState state, bool& accept) {
    TTreeNode* over = tree->GetNodeAt(x, y);
    accept = source == tree && over && over != tree->Selected();
  };
  TTreeNode* dropped = nullptr;
  tree->OnDragDrop = [&](TObject*, TObject*, int x, int y) { dropped = tree->GetNodeAt(x, y); };

  tree->PressMouse(mbLeft, ssLeft, At(a).x, At(a).y);
  tree->MoveMouse(ssLeft, At(a).x, At(a).y + 10);  // past the threshold: the drag begins
  EXPECT_EQ(log, "change a+held ");
  tree->MoveMouse(ssLeft, At(c).x, At(c).y);
  EXPECT_EQ(tree->DropTarget(), c);
  tree->MoveMouse(ssLeft, At(a).x, At(a).y);
  EXPECT_EQ(tree->DropTarget(), nullptr);  // not accepted over itself
  tree->MoveMouse(ssLeft, At(b).x, At(b).y);
  tree->ReleaseMouse(mbLeft, 0, At(b).x, At(b).y);
  EXPECT_EQ(dropped, b);
  EXPECT_EQ(tree->DropTarget(), nullptr);
  EXPECT_EQ(tree->Selected(), a);

  // A press on an empty place drags nothing; a press and release without moving is a click.
  log.clear();
  tree->PressMouse(mbLeft, ssLeft, 190, 140);
  tree->MoveMouse(ssLeft, 150, 100);
  EXPECT_FALSE(tree->Dragging());
  tree->ReleaseMouse(mbLeft, 0, 150, 100);
  tree->PressMouse(mbLeft, ssLeft, At(c).x, At(c).y);
  tree->ReleaseMouse(mbLeft, 0, At(c).x, At(c).y);
  EXPECT_EQ(log, "change c ");
}

TEST_F(TreeForm, TenThousandChildrenExpandAndScrollToTheLast) {
  TTreeNode* root = tree->Items()->Add(nullptr, "root");
  tree->Items()->BeginUpdate();
  for (int i = 0; i < 10000; ++i) tree->Items()->AddChild(root, "value " + IntToStr(i));
  tree->Items()->EndUpdate();
  root->Expand(false);
  EXPECT_EQ(root->Count(), 10000);
  EXPECT_EQ(root->Item(9999)->Index(), 9999);
  tree->SetSelected(root->Item(9999));
  const TRect r = root->Item(9999)->DisplayRect(true);
  ASSERT_FALSE(r.Empty());
  EXPECT_LE(r.Bottom, tree->ViewRect().Bottom);
  EXPECT_EQ(tree->GetNodeAt(r.Left + 2, r.Top + 1), root->Item(9999));
  root->Item(5000)->Delete();
  EXPECT_EQ(root->Item(5000)->Text(), "value 5001");
  EXPECT_EQ(root->Item(5000)->Index(), 5000);
  tree->Items()->Clear();
  EXPECT_EQ(tree->Items()->Count(), 0);
}

TEST_F(TreeForm, DrawsPicturesJapaneseTextAndTheSelection) {
  ASSERT_TRUE(JapaneseFontInstalled());
  TImageList images(&form);
  for (TColor color : {clRed, clBlue}) {
    TBitmap icon(16, 16);
    icon.Canvas()->Brush()->SetColor(clFuchsia);
    icon.Canvas()->FillRect(Rect(0, 0, 16, 16));
    icon.Canvas()->Brush()->SetColor(color);
    icon.Canvas()->FillRect(Rect(2, 3, 14, 13));
    images.AddMasked(icon, clFuchsia);
  }
  tree->SetImages(&images);
  tree->SetShowRoot(false);
  tree->Font()->SetPixelSize(12);
  TTreeNode* root = tree->Items()->Add(nullptr, SJ("フォルダ一覧"));
  root->SetImageIndex(0);
  root->SetSelectedIndex(1);
  TTreeNode* child = tree->Items()->AddChild(root, SJ("表示データ"));
  child->SetImageIndex(0);
  child->SetSelectedIndex(1);
  root->Expand(false);
  tree->SetSelected(child);
  EXPECT_TRUE(FontShowsText(*tree->Font(), child->Text()));

  TBitmap image = tree->PaintToImage();
  const TRect rr = root->DisplayRect(false), cr = child->DisplayRect(false);
  // The root shows its normal picture, the selected child its selected one, inside a transparent
  // margin that shows the tree's colour.
  EXPECT_EQ(image.Pixel(rr.Left + 8, (rr.Top + rr.Bottom) / 2), 0xFF0000u);
  EXPECT_EQ(image.Pixel(cr.Left + 8, (cr.Top + cr.Bottom) / 2), 0x0000FFu);
  EXPECT_EQ(image.Pixel(cr.Left, (cr.Top + cr.Bottom) / 2), 0xFFFFFFu);
  EXPECT_GT(cr.Left, rr.Left);  // one level in
  // The selected label is filled (greyed while the tree has no focus) and holds dark text.
  const TRect label = child->DisplayRect(true);
  EXPECT_EQ(image.Pixel(label.Right - 1, label.Top + 1), ColorToRGB(clBtnFace));
  tree->SetFocus();
  image = tree->PaintToImage();
  EXPECT_EQ(image.Pixel(label.Right - 1, label.Top + 1), ColorToRGB(clHighlight));
  int ink = 0;
  const TRect text = root->DisplayRect(true);
  for (int x = text.Left; x < text.Right; ++x)
    for (int y = text.Top; y < text.Bottom; ++y) ink += image.Pixel(x, y) != 0xFFFFFFu;
  EXPECT_GT(ink, 30);
  if (const char* dir = getenv("CW_SCREENSHOT_DIR")) image.SaveToFile(std::string(dir) + "/tree.png");
}
