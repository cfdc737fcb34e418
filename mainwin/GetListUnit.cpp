#include "mainwin/GetListUnit.h"

TGetListDlg* GetListDlg = nullptr;

TGetListDlg::TGetListDlg(TComponent* owner) : TForm(owner) {
  Name = "GetListDlg";
  SetCaption(SJ("検索中・・・"));
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
}
