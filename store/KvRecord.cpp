#include "store/KvRecord.h"

std::atomic<int> ExpandAbort{0};
