// The generic card box taking over a placeholder scroll box: items with Japanese captions laid out
// in rows, one with three lines of text.
#include "kit/CardBox.h"
#include "tools/screenshots/Shots.h"

bool ShotCardBox(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("カード"));
  form.SetBounds(40, 40, 620, 260);
  auto* holder = new TScrollBox(&form);
  holder->Name = "ScrollBox1";
  holder->SetParent(&form);
  holder->SetBounds(0, 0, 620, 260);
  holder->SetAlign(alClient);
  holder->SetColor(clBtnFace);

  auto* box = new TCardBox(&form);
  box->Assign(holder);
  delete holder;
  TStringList lines;
  auto add = [&](const char* caption, const char* text, bool newLine, int width) {
    lines.SetText(Utf8ToSjis(text));
    TCardColumn* item = box->AddItem(Utf8ToSjis(caption), &lines, newLine);
    item->SetTextWidth(width);
    return item;
  };
  add("氏名", "山田 太郎", true, 160);
  add("フリガナ", "ヤマダ タロウ", false, 160);
  add("住所", "東京都千代田区\r\n丸の内 1-2-3\r\n表ソ能ビル 5F", true, 300);
  add("電話番号", "03-1234-5678", true, 160);
  add("会員番号", "20240511", false, 120);
  add("備考", "", true, 440);
  box->DoArrangeItem(nullptr);
  box->ResetTabOrder();
  return SaveFormPicture(&form, file);
}
