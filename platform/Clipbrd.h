// The system clipboard, holding text.
#pragma once

#include "platform/AnsiString.h"

constexpr int CF_TEXT = 1;

// The clipboard's text as the program holds text: Shift_JIS bytes, converted to and from Unicode
// at the clipboard. Text the program put there itself comes back with the bytes it had. Without a
// window system the clipboard lives in the program.
class TClipboard {
 public:
  AnsiString AsText() const;
  void SetAsText(const AnsiString& text);
  // The text up to the terminating NUL byte.
  void SetTextBuf(const char* buffer);
  // Whether the clipboard holds text (CF_TEXT; other formats are never held).
  bool HasFormat(int format) const;
  void Clear();
};

TClipboard* Clipboard();
