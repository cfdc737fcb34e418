#include "mainwin/CsvWrite.h"

#include <unistd.h>

#include <string>

#include "foundation/CvMessageUnit.h"

namespace {

TButton* MakeButton(TForm* form, const AnsiString& caption, int left, int top) {
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetCaption(caption);
  button->SetBounds(left, top, 75, 25);
  return button;
}

AnsiString CurrentDir() {
  std::string dir(4096, '\0');
  if (!::getcwd(dir.data(), dir.size())) return AnsiString();
  dir.resize(dir.find('\0'));
  return dir;
}

}  // namespace

TCsvWriteDlg::TCsvWriteDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("CSV出力"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(329);
  SetClientHeight(225);

  RadioGroup1 = new TRadioGroup(this);
  RadioGroup1->SetParent(this);
  RadioGroup1->SetCaption(SJ("出力先"));
  RadioGroup1->SetBounds(8, 8, 313, 64);
  RadioGroup1->Items()->Add(SJ("ファイル (CSV形式)"));
  RadioGroup1->Items()->Add(SJ("クリップボード"));
  RadioGroup1->SetItemIndex(0);

  Label2 = new TLabel(this);
  Label2->SetParent(this);
  Label2->SetCaption(SJ("ファイル名"));
  Label2->SetLeft(16);
  Label2->SetTop(80);
  Edit1 = new TEdit(this);
  Edit1->SetParent(this);
  Edit1->SetBounds(16, 97, 222, 22);
  Button1 = MakeButton(this, SJ("参照"), 246, 96);

  RadioGroup2 = new TRadioGroup(this);
  RadioGroup2->SetParent(this);
  RadioGroup2->SetCaption(SJ("クリップボードの区切り文字"));
  RadioGroup2->SetBounds(8, 130, 313, 50);
  RadioGroup2->SetColumns(2);
  RadioGroup2->Items()->Add(SJ("タブ"));
  RadioGroup2->Items()->Add(SJ("カンマ (\",\")"));
  RadioGroup2->SetItemIndex(0);

  OKBtn = MakeButton(this, "OK", 160, 192);
  OKBtn->Default = true;
  CancelBtn = MakeButton(this, SJ("キャンセル"), 246, 192);
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->Filter = SJ("CSVファイル (*.csv)|*.csv|すべてのファイル (*.*)|*.*");
  OpenDialog1->Options |= ofNoChangeDir;

  OnShow = [this](TObject* s) { FormShow(s); };
  RadioGroup1->OnClick = [this](TObject* s) { RadioGroup1Click(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
}

TCsvWriteDlg::~TCsvWriteDlg() { Destroying(); }

void TCsvWriteDlg::SetSeparator(char separator) { RadioGroup2->SetItemIndex(separator == '\t' ? 0 : 1); }

char TCsvWriteDlg::GetSeparator() const { return RadioGroup2->ItemIndex() == 1 ? ',' : '\t'; }

void TCsvWriteDlg::FormShow(TObject*) {
  OpenDialog1->InitialDir = CurrentDir();
  RadioGroup1Click(RadioGroup1);
}

void TCsvWriteDlg::RadioGroup1Click(TObject*) {
  const bool file = ToFile();
  Label2->SetEnabled(file);
  Edit1->SetEnabled(file);
  Button1->SetEnabled(file);
  RadioGroup2->SetEnabled(!file);
}

void TCsvWriteDlg::Button1Click(TObject*) {
  if (OpenDialog1->Execute()) Edit1->SetText(OpenDialog1->FileName);
}

void TCsvWriteDlg::OKBtnClick(TObject*) {
  if (ToFile() && Edit1->Text().empty()) {
    CvMessageBox(SJ("ファイル名がありません。"), SJ("確認"), 0, this);
    return;
  }
  SetModalResult(mrOk);
}
