// The start-up of the program after the application object exists: its title, its help file and
// the forms that live as long as it does, made in this order and held in their globals:
// FormMain (the main form), GetListDlg, FormLog, CardDlg, EditDlg, CandForm, SumCardDlg.
#pragma once

void CreateStartupForms();
// Frees them as the application does when it ends: the last made first, the main window last.
// For tests, which keep one application across many starts.
void FreeStartupForms();
