#include "store/KorvaEngine.h"

ProgressHook progress_hook = nullptr;
