// The small dialogs of the folder tree: the expansion's wait dialog.
#include "folders/FolExpandUnit.h"
#include "tools/screenshots/Shots.h"

bool ShotFolExpandDlg(const std::string& file) {
  TFolExpandDlg dialog(Application);
  return SaveFormPicture(&dialog, file);
}
