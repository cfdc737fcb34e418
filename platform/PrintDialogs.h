// The print and printer-setup dialogs. Each shows a form of the program's own modally, so that
// under tests the modal handler answers it like any other dialog: it finds the TPrintDialogForm or
// TPrinterSetupDialogForm, fills its controls and presses "OK" or "キャンセル". Both choose where
// the pages go: one of the system's printers or a PDF file (always offered, last in the list).
#pragma once

#include "platform/Forms.h"
#include "platform/Printers.h"
#include "platform/StdCtrls.h"

enum TPrintRange { prAllPages, prPageNums };
// Print dialog options, a bit set: page numbers may be chosen.
enum : int { poPageNums = 0x1 };
// The largest page number the print dialog accepts.
constexpr int kMaxPrintPage = 65535;

// The list of targets: the system's printers, then "PDF ファイル" with a file-name edit.
class TPrintTargetForm : public TForm {
 public:
  explicit TPrintTargetForm(TComponent* owner);
  TComboBox* PrinterBox;
  TEdit* FileEdit;
  TButton* BrowseBtn;
  TLabel* MessageLabel;  // why the dialog did not close
  // Whether the PDF entry is chosen.
  bool ToFile() const;
  void ChooseFile(const AnsiString& fileName);
  // Shows where the printer prints now.
  void LoadTarget(TPrinter* printer);

 protected:
  // Sends the printer where the form says; false (and a message) when the file name is missing.
  bool CheckTarget();
  void StoreTarget(TPrinter* printer);
  void Refuse(const AnsiString& message);
  void TargetChanged();
  int top_ = 12;  // where the target rows end
};

class TPrintDialogForm : public TPrintTargetForm {
 public:
  explicit TPrintDialogForm(TComponent* owner);
  TRadioGroup* RangeGroup;  // "すべて", "ページ指定"
  TEdit* FromEdit;
  TEdit* ToEdit;

 private:
  friend class TPrintDialog;
  void RangeChanged();
  bool Check();
  int minPage_ = 1, maxPage_ = kMaxPrintPage;
  int from_ = 0, to_ = 0;
};

class TPrinterSetupDialogForm : public TPrintTargetForm {
 public:
  explicit TPrinterSetupDialogForm(TComponent* owner);
  TComboBox* PaperBox;
  TRadioGroup* OrientationGroup;  // "縦", "横"

 private:
  friend class TPrinterSetupDialog;
};

// Asks for the pages and the target of a print job. With poPageNums the user may choose a range
// of pages from MinPage to MaxPage (0 or less: the largest the dialog accepts); true when the
// user confirmed, and then PrintRange, FromPage, ToPage and the printer's target are set.
class TPrintDialog : public TComponent {
 public:
  explicit TPrintDialog(TComponent* owner) : TComponent(owner) {}
  int Options = 0;
  TPrintRange PrintRange = prAllPages;
  int FromPage = 0, ToPage = 0, MinPage = 0, MaxPage = 0;
  // The printer the choice is for (the program's printer when null; not owned).
  TPrinter* Printer = nullptr;
  bool Execute();
};

// Asks for the printer, the paper size and the orientation; true when the user confirmed, and
// then the printer has them.
class TPrinterSetupDialog : public TComponent {
 public:
  explicit TPrinterSetupDialog(TComponent* owner) : TComponent(owner) {}
  TPrinter* Printer = nullptr;
  bool Execute();
};
