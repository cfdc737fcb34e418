// The small dialogs of the folder tree: the expansion's wait dialog and the confirm-and-run dialog.
#include "folders/CmdYesNoUnit.h"
#include "folders/FolExpandUnit.h"
#include "platform/SysUtils.h"
#include "tools/screenshots/Shots.h"

bool ShotFolExpandDlg(const std::string& file) {
  TFolExpandDlg dialog(Application);
  return SaveFormPicture(&dialog, file);
}

namespace {

void FillCmdYesNoDlg(TCmdYesNoDlg& dialog) {
  ShowTargetCounts(&dialog, 1234, 12, 1222);
  dialog.Title = SJ("レコードの複写、請求書の発行");
  dialog.Description = SJ("表「顧客」のレコードを\r\n表「請求」に複写します。\r\n請求書の番号を振ります。");
  dialog.DefaultTarget = 1;
}

}  // namespace

bool ShotCmdYesNoDlg(const std::string& file) {
  TCmdYesNoDlg dialog(Application);
  FillCmdYesNoDlg(dialog);
  return SaveFormPicture(&dialog, file);
}

// After a run that logged a failing row.
bool ShotCmdYesNoDlgEnded(const std::string& file) {
  TCmdYesNoDlg dialog(Application);
  FillCmdYesNoDlg(dialog);
  dialog.FormShow(&dialog);
  dialog.OnShow = nullptr;
  dialog.OKBtn->Hide();
  dialog.CancelBtn->Hide();
  dialog.AbortBtn->Show();
  dialog.CountLabel->SetEnabled(true);
  dialog.CountEdit->SetEnabled(true);
  dialog.ThreadDone(&dialog);
  dialog.CountEdit->SetText("11");
  dialog.Memo1->Lines()->Add(SJ("データを挿入できません。"));
  return SaveFormPicture(&dialog, file);
}
