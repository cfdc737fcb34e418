// The graph view: the chart built from the summary.
#include "mainwin/MainForm.h"

void TFormMain::ClearChart() {}
