// "文字枠の設定": the look, text, place and size of one card memo (a card field's value or a free
// text frame), changed on the card while the dialog is open. Every setting but the text shows on
// the memo at once; the text is taken on OK. Cancel (or the close box) puts the memo and its
// heading back as they were when the memo was attached.
//
// Calling order: constructor, AttachCardMemo, ShowModal; then the caller frees the dialog (the
// memo's OpenFieldDialog does all of it). User-interface thread only.
#pragma once

#include <cstdint>

#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"
#include "views/CvCardMemo.h"

class TCvcmEditDlg : public TForm {
 public:
  explicit TCvcmEditDlg(TComponent* owner);
  ~TCvcmEditDlg() override;

  // The memo to style (not owned); its look, and its heading's, are kept for Cancel.
  void AttachCardMemo(TCvCardMemo* memo);
  TCvCardMemo* CardMemo() const { return memo_; }

  TButton* Button2;  // colour
  TButton* Button1;  // font
  TRadioGroup *RadioGroup1, *RadioGroup2, *RadioGroup3, *RadioGroup4;
  TMemo* Memo1;
  TBevel *Bevel1, *Bevel2;
  TLabel* PosiLabel;
  TUpDown *UpDown1, *UpDown2;
  TLabel* SizeLabel;
  TUpDown *UpDown3, *UpDown4;
  TLabel* Label3;
  TLabel* SaveLb;  // hidden: the memo's font, colour, bounds and alignment when it was attached
  TButton* OKBtn;
  TButton* CancelBtn;
  TFontDialog* FontDialog1;
  TColorDialog* ColorDialog1;

  void FormShow(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void Button2Click(TObject* sender);
  void Button1Click(TObject* sender);
  void RadioGroup1Click(TObject* sender);  // every radio group
  void UpDown1Click(TObject* sender, TUDBtnType button);  // every up-down

 private:
  void ShowBounds();
  // Moves memo and heading by (dx, dy) and sizes the memo by (dw, dh), then shows its bounds.
  void MoveMemo(int dx, int dy, int dw, int dh);
  // The end of a drag of the place handle (the memo is kept on the card) and of the size handle
  // (the memo keeps a size it can be grabbed by).
  void PosiReleased();
  void SizeReleased();
  // Gives the heading a font, keeping its right edge and top where they are.
  void SetHeadingFont(const TFont& font);

  TCvCardMemo* memo_ = nullptr;
  bool savedHeadingVisible_ = true;
  TFont savedHeadingFont_;
  TBorderStyle savedBorder_ = bsSingle;
  uint8_t savedMode_ = 0;
  bool showing_ = false;  // FormShow sets the groups: their handler leaves the memo alone
};
