// The tree view with many children under one node, as an enumeration folder gives them: the
// nodes made (inside BeginUpdate and EndUpdate), the node expanded and the view drawn, then the
// same children thrown away and made again (a refresh), and the last child selected and drawn.
// There is no other system to compare with: the figures stand alone.
//
//   treeview_bench [children]   (default 10000)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/ComCtrls.h"
#include "platform/ImgList.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

// Children named like the values of an enumeration folder, each marked as having children.
void MakeChildren(TTreeView* tree, TTreeNode* parent, int n) {
  tree->Items()->BeginUpdate();
  for (int i = 0; i < n; ++i) {
    TTreeNode* node = tree->Items()->AddChildObject(parent, Utf8ToSjis("値 ") + IntToStr(100000 + i), nullptr);
    node->SetImageIndex(0);
    node->SetSelectedIndex(1);
    node->SetHasChildren(true);
  }
  tree->Items()->EndUpdate();
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitApplication(argc, argv);
  Application->TestMode = true;
  {
    TForm form(Application);
    form.SetBounds(0, 0, 400, 600);
    TImageList images(&form);
    TBitmap icon(16, 16);
    images.AddMasked(icon, clWhite);
    images.AddMasked(icon, clWhite);
    auto* tree = new TTreeView(&form);
    tree->SetParent(&form);
    tree->SetAlign(alClient);
    tree->SetImages(&images);
    TTreeNode* root = tree->Items()->Add(nullptr, "Cindervault");
    tree->PaintToImage();  // fonts loaded before anything is timed

    auto start = std::chrono::steady_clock::now();
    MakeChildren(tree, root, n);
    root->Expand(false);
    tree->PaintToImage();
    std::printf("figure tree_build_ms %.1f ms\n", Ms(start));

    start = std::chrono::steady_clock::now();
    tree->Items()->BeginUpdate();
    root->DeleteChildren();
    MakeChildren(tree, root, n);
    tree->Items()->EndUpdate();
    root->Expand(false);
    tree->PaintToImage();
    std::printf("figure tree_refresh_ms %.1f ms\n", Ms(start));

    start = std::chrono::steady_clock::now();
    tree->SetSelected(root->Item(root->Count() - 1));
    tree->PaintToImage();
    std::printf("figure tree_select_last_ms %.1f ms\n", Ms(start));
  }
  DoneApplication();
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
