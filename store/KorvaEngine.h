// The KORVA block-file engine's process-wide state.
#pragma once

// Progress callback of the engine's long passes (check, copy, salvage): called once per step
// with the count of steps so far; a negative result stops the pass. Null by default; installed
// by the data check.
using ProgressHook = int (*)(int count);
extern ProgressHook progress_hook;
