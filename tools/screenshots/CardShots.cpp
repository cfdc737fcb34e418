// The controls of a card: a barcode label, card memos shown as text, barcode and picture beside
// their headings, and the layout design surface over them with one memo selected.
#include "platform/ExtCtrls.h"
#include "platform/StdCtrls.h"
#include "tools/screenshots/Shots.h"
#include "views/CvCardMemo.h"
#include "views/CvDesignBox.h"
#include "views/CvcmEditUnit.h"

namespace {

// A heading and its memo at (x, y) on the parent.
TCvCardMemo* AddField(TComponent* owner, TWinControl* parent, int x, int y, const char* heading, const AnsiString& text,
                      int height) {
  auto* label = new TCvCardLabel(owner);
  label->SetParent(parent);
  label->SetCaption(Utf8ToSjis(heading));
  label->SetBounds(x, y + 3, label->Width(), label->Height());
  auto* memo = new TCvCardMemo(owner);
  memo->SetParent(parent);
  memo->SetBounds(x + 72, y, 200, height);
  memo->SetMemoText(text);
  memo->SetCaptionLabel(label);
  label->SetMemo(memo);
  return memo;
}

// The card: a name, a three-line address, a code shown as a barcode, a picture whose file is
// missing (so its name shows), and a free barcode label.
TCvCardMemo* BuildCard(TForm* form, TWinControl* parent) {
  AddField(form, parent, 16, 16, "氏名", SJ("山田 太郎"), 22);
  auto* address = AddField(form, parent, 16, 48, "住所", SJ("東京都千代田区\r\n丸の内 1-2-3\r\n表ソ能ビル 5F"), 0);
  address->SetMemoHeight(TWinCanvas::GetMemoHeight(address));
  auto* code = AddField(form, parent, 16, 112, "会員番号", "20240511", 22);
  code->SetDisplayMode(1);
  auto* photo = AddField(form, parent, 16, 176, "写真", "/nowhere/photo.jpg", 22);
  photo->SetDisplayMode(2);
  auto* bc = new TCvBcLabel(form);
  bc->SetParent(parent);
  bc->SetLeft(320);
  bc->SetTop(16);
  bc->SetCaption("A-1234$");
  return address;
}

}  // namespace

bool ShotCardControls(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("カード"));
  form.SetBounds(40, 40, 480, 220);
  form.SetColor(clWindow);
  BuildCard(&form, &form);
  return SaveFormPicture(&form, file);
}

bool ShotDesignSurface(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("カード - 配置変え"));
  form.SetBounds(40, 40, 480, 220);
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  panel->SetBevelOuter(bvNone);
  panel->SetAlign(alClient);
  panel->SetColor(clWindow);
  BuildCard(&form, panel);
  auto* design = new TCvDesignBox(&form);
  design->SetParent(panel);
  design->SetVisible(true);
  // The address memo selected by a click.
  design->PressMouse(mbLeft, ssLeft, 150, 60);
  design->ReleaseMouse(mbLeft, 0, 150, 60);
  return SaveFormPicture(&form, file);
}

bool ShotCardFieldDialog(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("カード"));
  form.SetBounds(40, 40, 480, 220);
  form.SetColor(clWindow);
  TCvCardMemo* address = BuildCard(&form, &form);
  address->SetAlignment(taCenter);
  form.Show();
  TCvcmEditDlg dlg(address);
  dlg.AttachCardMemo(address);
  return SaveFormPicture(&dlg, file);
}
