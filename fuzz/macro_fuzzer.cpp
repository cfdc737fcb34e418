// Texts for the tokenizer and the text-macro language: arbitrary bytes are cut into tokens (with
// look-back) and expanded, counted and evaluated as macros. Host names come from a stub that
// never reaches the network.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/Lexer.h"
#include "foundation/StrMacro.h"
#include "fuzz/MacroStubs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallMacroStubs();

  // An exact heap block, so a scan past the terminating NUL is caught.
  auto text = std::make_unique<char[]>(size + 1);
  if (size > 0) std::memcpy(text.get(), data, size);
  text[size] = '\0';
  const size_t length = std::strlen(text.get());

  CLexer lexer(text.get());
  for (int steps = 0;; ++steps) {
    lexer.NextToken();
    if (lexer.Kind == LEX_END) break;
    if (steps > static_cast<int>(length) + 1) __builtin_trap();  // every token takes a byte
    if (lexer.Token.size() > length) __builtin_trap();
    if (steps % 3 == 0) {
      const int kind = lexer.Kind;
      const AnsiString token = lexer.Token;
      lexer.UngetToken();
      lexer.NextToken();
      if (lexer.Kind != kind || lexer.Token != token) __builtin_trap();
    }
  }

  TCvStrMacro macro;
  int consumed = -1;
  AnsiString result;
  macro.EvalMacro(text.get(), consumed, result);
  if (consumed < 0 || static_cast<size_t>(consumed) > length) __builtin_trap();

  AnsiString expanded(reinterpret_cast<const char*>(data), size);
  const int counted = macro.CountMacros(expanded);
  if (macro.Expand(expanded) != counted) __builtin_trap();

  macro.ParseOnly = true;
  macro.EvalMacro(text.get(), consumed, result);
  return 0;
}
