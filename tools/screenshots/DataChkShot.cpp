// The data check dialog after the check of a damaged table: its log shows the rebuild, the
// optimisation, the compression and the replacement.
#include <cstdlib>
#include <filesystem>

#include "folders/DataChkUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CvMessageUnit.h"
#include "store/KvRecord.h"
#include "tools/screenshots/Shots.h"

namespace {

// A table of a few records whose first number entry is lost.
bool MakeDamagedTable(const std::string& file) {
  CKvRecord t;
  t.SetFileName(file);
  if (!t.AddColumn(Utf8ToSjis("氏名"), kvrString, 40) || !t.AddColumn(Utf8ToSjis("金額"), kvrSigned, 0)) return false;
  TStringList names, texts;
  names.Add(Utf8ToSjis("氏名"));
  names.Add(Utf8ToSjis("金額"));
  texts.Add("");
  texts.Add("");
  for (int i = 0; i < 20; ++i) {
    texts.SetString(0, Utf8ToSjis("山田") + IntToStr(i));
    texts.SetString(1, IntToStr(i * 100));
    if (!t.InsertEx(names, texts, nullptr, 0)) return false;
  }
  CKvrLock lock(t.File());
  std::vector<unsigned char> entry(size_t(t.File()->DataBlockCap()));
  return t.File()->SelectKey(kvrKeySigned) && t.File()->First(entry.data()) && t.File()->Delete(entry.data());
}

}  // namespace

bool ShotDataChkDlg(const std::string& file) {
  char pattern[] = "/tmp/cw_shots_XXXXXX";
  const char* made = mkdtemp(pattern);
  if (!made) return false;
  const std::string dir = made;
  CTopRuleFolder root;
  auto* table = new CRuleFolderTbl(&root);
  table->Name = Utf8ToSjis("顧客");
  table->TableName = table->Name;
  table->DataFile = dir + "/" + table->Name + ".kvr";
  root.AddChild(table);
  bool ok = MakeDamagedTable(table->DataFile);
  {
    TDataChkDlg dialog(Application);
    dialog.SetFolder(table);
    dialog.Show();
    // The user says yes to the question before the run.
    Application->ModalHandler = [](TForm* f) { f->SetModalResult(mrYes); };
    dialog.OKBtn->Click();
    Application->ModalHandler = nullptr;
    ok = ok && SaveFormPicture(&dialog, file);
  }
  std::filesystem::remove_all(dir);
  return ok;
}
