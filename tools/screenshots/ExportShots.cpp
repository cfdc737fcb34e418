// The export dialog of the list, with a Japanese file name typed in.
#include "mainwin/CsvWrite.h"
#include "tools/screenshots/Shots.h"

bool ShotCsvWriteDlg(const std::string& file) {
  TCsvWriteDlg dialog(Application);
  dialog.Edit1->SetText(SJ("/home/user/顧客一覧.csv"));
  dialog.SetSeparator(',');
  return SaveFormPicture(&dialog, file);
}
