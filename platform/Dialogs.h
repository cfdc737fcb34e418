// The colour, font and file dialogs. Each shows a form of the program's own modally, so that
// under tests the modal handler answers it like any other dialog: it finds the TColorDialogForm,
// TFontDialogForm or TFileDialogForm, sets the choice and presses "OK" or "キャンセル".
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

enum TOpenOption : int {
  ofReadOnly = 0x1,
  ofOverwritePrompt = 0x2,
  ofHideReadOnly = 0x4,
  ofNoChangeDir = 0x8,
  ofPathMustExist = 0x800,
  ofFileMustExist = 0x1000,
  ofEnableSizing = 0x800000,
};
using TOpenOptions = int;

// Asks the user for a file to open. Filter holds pairs of a description and patterns, all
// separated by "|" ("CSVファイル (*.csv)|*.csv|すべてのファイル (*.*)|*.*"); FilterIndex counts the
// pairs from 1. The dialog never changes the current directory. FileName holds the bytes the file
// system names the file by.
class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner);
  AnsiString FileName;
  AnsiString Filter;
  int FilterIndex = 1;
  AnsiString InitialDir;
  AnsiString Title;
  // Added to a name typed without an extension (without the dot).
  AnsiString DefaultExt;
  TOpenOptions Options = ofHideReadOnly | ofEnableSizing;
  // True when the user chose a file, which FileName then names. Under tests the modal handler
  // receives a TFileDialogForm in the dialog's place.
  virtual bool Execute();

 protected:
  virtual bool Saving() const { return false; }
};

// Asks for the name of a file to write; with ofOverwritePrompt an existing file is confirmed.
class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}

 protected:
  bool Saving() const override { return true; }
};

// The form a file dialog shows to the modal handler of a test: the handler types the name into
// FileNameEdit and presses OK (a name without a directory is taken in InitialDir). With
// ofFileMustExist the form does not close on OK while the file does not exist.
class TFileDialogForm : public TForm {
 public:
  TFileDialogForm(TComponent* owner, TOpenDialog* dialog);
  TOpenDialog* Dialog() const { return dialog_; }
  TEdit* FileNameEdit;
  TButton* OKButton;
  TButton* CancelButton;
  // The file the typed name stands for.
  AnsiString ChosenFile() const;

 private:
  TOpenDialog* dialog_;
};
