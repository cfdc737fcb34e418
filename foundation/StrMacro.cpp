#include "foundation/StrMacro.h"

TStringList* HostNameCache = nullptr;
