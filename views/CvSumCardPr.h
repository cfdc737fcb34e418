// The summary-card printer.
#pragma once

// Page limit of a summary-card preview (printing has none); the main window sets it from the
// settings key "MaxPrint" of the section "SumCard".
extern int SumCardMaxPrint;
