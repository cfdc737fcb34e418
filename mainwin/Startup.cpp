#include "mainwin/Startup.h"

#include "folders/FlowBox.h"
#include "foundation/LogForm.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/MainForm.h"
#include "mainwin/MainSettings.h"
#include "platform/SysUtils.h"
#include "views/CandUnit.h"
#include "views/CardUnit.h"
#include "views/EditForm.h"
#include "views/SumCardUnit.h"

void CreateStartupForms() {
  Application->SetTitle("Cinderwatch");
  Application->HelpFile = ChangeFileExt(ExecutablePath(), ".html");
  Application->CreateForm(FormMain);
  Application->CreateForm(GetListDlg);
  Application->CreateForm(FormLog);
  Application->CreateForm(CardDlg);
  Application->CreateForm(EditDlg);
  Application->CreateForm(CandForm);
  Application->CreateForm(SumCardDlg);
}

void FreeStartupForms() {
  delete SumCardDlg;
  SumCardDlg = nullptr;
  delete CandForm;
  CandForm = nullptr;
  delete EditDlg;
  EditDlg = nullptr;
  delete CardDlg;
  CardDlg = nullptr;
  delete FormLog;  // clears FormLog itself
  delete GetListDlg;
  GetListDlg = nullptr;
  if (FormMain) {
    delete FormMain->DiagramBox;
    FormMain->DiagramBox = nullptr;
  }
  delete FormMain;
  FormMain = nullptr;
}
