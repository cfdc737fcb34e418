// The text-macro language's shared state.
#pragma once

#include "platform/Classes.h"

// Host names found by the macro function "host": the name as the string, the 32-bit address as
// the object; at most 10000 entries, oldest first. Created and freed by the main window; null
// without one.
extern TStringList* HostNameCache;
