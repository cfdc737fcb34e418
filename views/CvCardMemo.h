// The controls of a card: the card memo that shows one value (as text, as a barcode or as a
// picture), the heading of a card field, the barcode label that stands for a memo or a field,
// and the measure of a memo's text height.
//
// The pieces of one card field link back to it and to each other (memo <-> heading, barcode
// label -> heading), so that the designer can move a field's pieces together. The links are not
// owned. User-interface thread only.
#pragma once

#include <cstdint>

#include "platform/Image.h"
#include "platform/Memo.h"
#include "views/CvBcLabel.h"

class TCvCardColumn;  // a field of a card box
class TCvCardLabel;
class TCvBcCardLabel;

// A memo that shows its text in one of three display modes: 0 as text (the memo itself), 1 as an
// NW-7 barcode, 2 as the picture of the file its text names. In modes 1 and 2 a substitute (a
// barcode label or a picture, owned by the memo and parented like it) takes the memo's place;
// a picture file that cannot be loaded shows the memo instead, so that its name can be corrected.
// The substitutes exist only in those modes and are rebuilt whenever the text, the parent, the
// wanted visibility or the mode changes, and when the user leaves the memo; entering the memo
// hides them so that the text itself is edited. Tag is the user's (the card window keeps the
// list column there, or a negative number for a free memo).
class TCvCardMemo : public TMemo {
 public:
  explicit TCvCardMemo(TComponent* owner);
  ~TCvCardMemo() override;

  void SetDisplayMode(uint8_t mode);
  uint8_t GetDisplayMode() const { return mode_; }
  void SetMemoText(const AnsiString& text);
  AnsiString GetMemoText() const { return Text(); }
  // Whether the value is to be seen at all; the memo's own Visible follows from it and the mode.
  void SetWantVisible(bool v);
  bool GetWantVisible() const { return wantVisible_; }
  // Left and top move the substitutes along; width and height size the memo only.
  void SetMemoLeft(int v);
  void SetMemoTop(int v);
  void SetMemoWidth(int v) { SetWidth(v); }
  void SetMemoHeight(int v) { SetHeight(v); }
  int GetMemoLeft() const { return Left(); }
  int GetMemoTop() const { return Top(); }
  int GetMemoWidth() const { return Width(); }
  int GetMemoHeight() const { return Height(); }
  TWinControl* GetMemoParent() const { return Parent(); }
  void SetParent(TWinControl* parent) override;

  // Opens the field dialog on this memo modally (the dialog is made and freed here); the modal
  // result.
  int OpenFieldDialog();

  // Gives the focus to the parent when the memo has it, so that its exit step runs (before a
  // designer starts).
  void ReleaseFocus();
  // After designing: a memo shown by the designer is wanted visible again, and the memo goes to
  // where its substitute was moved (or, without one, its substitutes come to the memo).
  void RestoreAfterDesign();

  // The substitutes, or null.
  TCvBcCardLabel* BcLabel() const;
  TImage* Picture() const;

  // The field whose value this is and its heading; null for a free memo.
  TCvCardColumn* Column() const { return column_; }
  void SetColumn(TCvCardColumn* c) { column_ = c; }
  TCvCardLabel* CaptionLabel() const { return captionLabel_; }
  void SetCaptionLabel(TCvCardLabel* l) { captionLabel_ = l; }

 protected:
  void DoEnter() override;
  void DoExit() override;
  // A card memo raises no OnMouseUp.
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override {}

 private:
  bool Owns(const TComponent* c) const;
  void FreeBcLabel();
  void FreePicture();
  void HideSubstitutes();
  // A click on a substitute shows the memo and gives it the focus.
  void SubstituteClick(TObject* sender);

  TCvBcCardLabel* bcLabel_ = nullptr;
  TImage* picture_ = nullptr;
  uint8_t mode_ = 0;
  bool wantVisible_;
  TCvCardColumn* column_ = nullptr;
  TCvCardLabel* captionLabel_ = nullptr;
};

// The heading of a card field.
class TCvCardLabel : public TLabel {
 public:
  explicit TCvCardLabel(TComponent* owner) : TLabel(owner) {}
  TCvCardColumn* Column() const { return column_; }
  void SetColumn(TCvCardColumn* c) { column_ = c; }
  TCvCardMemo* Memo() const { return memo_; }
  void SetMemo(TCvCardMemo* m) { memo_ = m; }

 private:
  TCvCardColumn* column_ = nullptr;
  TCvCardMemo* memo_ = nullptr;
};

// A barcode label that stands for a card memo (its substitute) or for a card field (the field's
// own barcode). The partner is the heading of the field it belongs to; null for a free memo's.
class TCvBcCardLabel : public TCvBcLabel {
 public:
  explicit TCvBcCardLabel(TComponent* owner) : TCvBcLabel(owner) {}
  TCvCardColumn* Column() const { return column_; }
  void SetColumn(TCvCardColumn* c) { column_ = c; }
  TCvCardLabel* PartnerLabel() const { return partner_; }
  void SetPartnerLabel(TCvCardLabel* l) { partner_ = l; }

 private:
  TCvCardColumn* column_ = nullptr;
  TCvCardLabel* partner_ = nullptr;
};

// Measures text for the controls of a window at the screen's resolution.
class TWinCanvas {
 public:
  // The height a memo needs for its text: h x lines (at least one) + h / 2, where h is the text
  // height of "A" in the memo's font.
  static int GetMemoHeight(TMemo* memo);
};
