// Opening documents and web addresses with the programs the desktop chooses for them.
#pragma once

#include "platform/AnsiString.h"

// Opens a web address or a file the way the desktop opens it; false when nothing could. Under
// tests (Application->TestMode) nothing is opened: the target is only kept (ShellOpenedLast).
bool ShellOpen(const AnsiString& target);
const AnsiString& ShellOpenedLast();
