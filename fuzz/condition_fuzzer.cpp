// Condition texts: arbitrary bytes are parsed with the text macros of quoted operands expanded (as
// the query compiler does), and read back as one comparison of the condition dialog. Every value
// quoted and escaped by the text functions must come back unchanged. Host names come from a stub
// that never reaches the network.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/Lexer.h"
#include "foundation/StrMacro.h"
#include "fuzz/MacroStubs.h"
#include "query/CondText.h"
#include "query/Condtree.h"

namespace {

bool BlankOnly(const AnsiString& text) {
  return text.find_first_not_of(" \t\r\n") == AnsiString::npos;
}

bool EndsInLoneLeadByte(const AnsiString& text) {
  size_t i = 0, last = 0;
  while (i < text.size()) {
    last = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    i += last;
  }
  return last == 1 && IsSjisLeadByte(static_cast<unsigned char>(text.back()));
}

void CheckParse(const AnsiString& text) {
  CCondTree tree;
  const bool ok = tree.Parse(text, [](AnsiString& operand) { ExpandMacroText(operand); });
  if (!ok) {
    if (!tree.Alternatives().empty() || tree.Root() || tree.ErrorText().empty()) __builtin_trap();
    return;
  }
  if (tree.Alternatives().empty() != BlankOnly(text)) __builtin_trap();
  if (tree.Alternatives().size() > static_cast<size_t>(CCondTree::kMaxAlternatives)) __builtin_trap();
  for (const TCondAndList& alternative : tree.Alternatives()) {
    if (alternative.empty()) __builtin_trap();
    for (CCondTreeNodeComp* comp : alternative) {
      if (comp->Op < COND_LES || comp->Op > COND_REJ || comp->First || comp->Second) __builtin_trap();
      if (!comp->Left.IsName() && !comp->Left.IsValue()) __builtin_trap();
      comp->SwapSides();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallMacroStubs();

  const AnsiString text(reinterpret_cast<const char*>(data), size);
  CheckParse(text);

  AnsiString column, value;
  int index = -1;
  SplitCondition(text, column, index, value);
  if (index < 0 || index > 9) __builtin_trap();

  // Round trips of a value through quoting and LIKE escaping (texts end at a NUL, so none here).
  AnsiString v = text.substr(0, text.find('\0'));
  if (UnescapeLikeText(EscapeLikeText(v)) != v) __builtin_trap();
  const AnsiString quoted = EscapeQuotes(v);
  if (v.size() > quoted.size() + 1) __builtin_trap();
  if (EndsInLoneLeadByte(v)) v.pop_back();  // EscapeQuotes drops it
  CCondTree tree;
  if (!tree.Parse("x = '" + quoted + "'")) __builtin_trap();
  if (tree.Alternatives().at(0).at(0)->Right.Text != v) __builtin_trap();
  SplitCondition("x UNLIKE '%" + EscapeQuotes(EscapeLikeText(v)) + "%'", column, index, value);
  if (index != 9 || value != v) __builtin_trap();

  if (CutTextBytes(text).size() > 128) __builtin_trap();
  return 0;
}
