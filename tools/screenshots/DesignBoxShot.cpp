// The generic layout designer over a small form of labels, edit boxes and a memo, with the memo
// selected.
#include "kit/DesignBox.h"
#include "platform/ExtCtrls.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "tools/screenshots/Shots.h"

namespace {

void AddLabel(TForm* form, TWinControl* parent, int x, int y, const char* caption) {
  auto* label = new TLabel(form);
  label->SetParent(parent);
  label->SetCaption(Utf8ToSjis(caption));
  label->SetBounds(x, y, label->Width(), label->Height());
}

void AddEdit(TForm* form, TWinControl* parent, int x, int y, int width, const char* text) {
  auto* edit = new TEdit(form);
  edit->SetParent(parent);
  edit->SetBounds(x, y, width, 22);
  edit->SetText(Utf8ToSjis(text));
}

}  // namespace

bool ShotLayoutDesigner(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("配置の設計"));
  form.SetBounds(40, 40, 420, 200);
  auto* panel = new TPanel(&form);
  panel->SetParent(&form);
  panel->SetBevelOuter(bvNone);
  panel->SetAlign(alClient);
  AddLabel(&form, panel, 16, 19, "氏名");
  AddEdit(&form, panel, 88, 16, 160, "山田 太郎");
  AddLabel(&form, panel, 16, 51, "電話");
  AddEdit(&form, panel, 88, 48, 120, "03-1234-5678");
  AddLabel(&form, panel, 16, 83, "備考");
  auto* memo = new TMemo(&form);
  memo->SetParent(panel);
  memo->SetBounds(88, 80, 240, 64);
  memo->Lines()->Add(SJ("毎週月曜に連絡"));
  memo->Lines()->Add(SJ("午後のみ在宅"));
  auto* design = new TDesignBox(&form);
  design->SetParent(panel);
  design->SetVisible(true);
  // The memo selected by a click.
  design->PressMouse(mbLeft, ssLeft, 150, 100);
  design->ReleaseMouse(mbLeft, 0, 150, 100);
  return SaveFormPicture(&form, file);
}
