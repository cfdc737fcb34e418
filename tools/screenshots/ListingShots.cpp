// The listing's progress dialog, as it shows while a chunk of rows is read.
#include "mainwin/GetListUnit.h"
#include "tools/screenshots/Shots.h"

bool ShotGetListDlg(const std::string& file) {
  TGetListDlg dialog(Application);
  // No worker runs here: without its handlers the dialog stays up instead of closing at once.
  dialog.OnShow = nullptr;
  dialog.OnPaint = nullptr;
  dialog.Edit1->SetText("123456");
  return SaveFormPicture(&dialog, file);
}
