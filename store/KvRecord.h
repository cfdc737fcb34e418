// Record tables over KORVA files.
#pragma once

#include <atomic>

// Stop request of a running folder expansion: while not 0, the enumerations of distinct values
// answer at once or end their walk. Written by the user-interface thread, read by the walkers.
extern std::atomic<int> ExpandAbort;
