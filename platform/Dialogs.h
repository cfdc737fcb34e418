// The colour and font dialogs. Each shows a form of the program's own modally, so that under
// tests the modal handler answers it like any other dialog: it finds the TColorDialogForm or
// TFontDialogForm, sets the choice and presses "OK" or "キャンセル".
#pragma once

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

enum : int { cdFullOpen = 0x2 };

// "OK" and "キャンセル" at the bottom right of a dialog form, setting its modal result.
void AddOkCancelButtons(TForm* form);

class ColorPicker;
class FontPicker;

class TColorDialogForm : public TForm {
 public:
  explicit TColorDialogForm(TComponent* owner);
  TColor SelectedColor() const { return selected_; }
  void SetSelectedColor(TColor c);  // a system colour is taken as its RGB value

 private:
  friend class ColorPicker;
  ColorPicker* picker_;
  TColor selected_ = clBlack;
};

class TFontDialogForm : public TForm {
 public:
  explicit TFontDialogForm(TComponent* owner);
  ~TFontDialogForm() override;
  TFont* SelectedFont() { return &selected_; }

 private:
  friend class FontPicker;
  FontPicker* picker_;
  TFont selected_;
  bool picking_ = false;  // the change comes from the picker
};

// Asks for a colour, starting from Color; true and the new Color when the user confirmed.
class TColorDialog : public TComponent {
 public:
  explicit TColorDialog(TComponent* owner) : TComponent(owner) {}
  TColor Color = clBlack;
  int Options = 0;
  bool Execute();
};

// Asks for a font, starting from Font; true and the new Font when the user confirmed. A face the
// user did not change keeps its stored name.
class TFontDialog : public TComponent {
 public:
  explicit TFontDialog(TComponent* owner) : TComponent(owner) {}
  TFont* Font() { return &font_; }
  bool Execute();

 private:
  TFont font_;
};
