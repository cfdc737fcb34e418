// Condition texts as the condition diagram reads them (folder files hold them): any bytes are read
// into a tree or kept whole; a tree is written back into a text that reads into the same tree,
// also after negation, and is laid out, hit and edited without a window system.
#include <cstddef>
#include <cstdint>
#include <string>

#include "folders/FlowBox.h"

namespace {

std::string Shape(const CLgNode* n) {
  if (!n) return "-";
  if (n->IsLeaf()) return "[" + n->Text + "]";
  if (n->First && n->First->Parent != n) __builtin_trap();
  if (n->Second && n->Second->Parent != n) __builtin_trap();
  return std::to_string(n->Kind) + "(" + Shape(n->First) + "," + Shape(n->Second) + ")";
}

// The text of the tree reads back into the same tree.
void CheckRoundTrip(const CLgParser& tree) {
  const AnsiString text = tree.GetExpression();
  CLgParser again;
  if (!again.SetExpression(text)) __builtin_trap();
  if (Shape(again.GetRoot()) != Shape(tree.GetRoot())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(data), size);
  CLgParser tree;
  const bool read = tree.SetExpression(text);
  if (!read) {
    // Kept whole, never dropped.
    if (!tree.GetRoot() || !tree.GetRoot()->IsLeaf() || tree.GetExpression() != text) __builtin_trap();
  } else if (tree.GetRoot()) {
    CheckRoundTrip(tree);
    CLgParser negated;
    negated.SetExpression(text);
    negated.Reverse();
    CheckRoundTrip(negated);
  } else if (!tree.GetExpression().empty()) {
    __builtin_trap();
  }

  // The diagram: laid out on a canvas without a device (text measured by estimate), hit at the
  // corners of every box, the first selected leaf deleted and a comparison added.
  TFlowBox box(nullptr);
  TCanvas canvas;
  box.SetMeasureCanvas(&canvas);
  box.SetExpression_a(text, size > 0 && data[0] & 1 ? "T.k = U.k" : "");
  box.PaintNodes(&canvas);
  if (CLgNode* root = box.GetRoot()) {
    for (CLgNode* n = root; n; n = n->First ? n->First : n->Second) {
      if (n->IsLeaf() && root->HitTest(n->Box.Left, n->Box.Top) != n) __builtin_trap();
    }
    box.PaintBox()->PressMouse(mbLeft, ssLeft, 30, 25);
    box.PaintBox()->ReleaseMouse(mbLeft, 0, 30, 25);
    if (box.GetSelCount() > 0 && !box.DeleteNode(box.GetSelNode(0))) __builtin_trap();
  }
  box.AddOrNode("X = 1");
  box.ReverseExpression();
  box.PaintNodes(&canvas);
  box.SetMeasureCanvas(nullptr);
  return 0;
}
