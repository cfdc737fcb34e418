// Edit masks: a text laid out by a picture of placeholders and literal characters.
#pragma once

#include "platform/AnsiString.h"

// The value shown through an edit mask "picture;save;blank". Placeholders take the value's
// characters in turn: "0", "9", "#" digits, "L", "l" letters, "A", "a" letters or digits, "C",
// "c" any character; ">" and "<" turn what follows to upper or lower case, "<>" back; "\" makes
// the next character literal; any other character is a literal. When the save field is not "0"
// the value holds the literals too, and a literal in the value is passed over where the mask has
// it. A placeholder left without a character shows the blank character (the third field, "_" by
// default). A double-byte character fills one placeholder.
AnsiString FormatMaskText(const AnsiString& editMask, const AnsiString& value);
