#include "platform/PrintDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <algorithm>

#include "platform/Dialogs.h"
#include "platform/QtBridge.h"

namespace {

TLabel* AddLabel(TForm* form, const AnsiString& caption, int x, int y) {
  auto* l = new TLabel(form);
  l->SetParent(form);
  l->SetCaption(caption);
  l->SetLeft(x);
  l->SetTop(y);
  return l;
}

// Where a PDF goes when the user has not named a file yet.
AnsiString DefaultFileName() {
  const QString home = HaveGuiApplication() ? QDir::homePath() : QStringLiteral(".");
  return FromQ(home) + "/" + SJ("印刷.pdf");
}

}  // namespace

// ---- TPrintTargetForm ----

TPrintTargetForm::TPrintTargetForm(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 420, 240);
  AddLabel(this, SJ("プリンタ名:"), 12, 16);
  PrinterBox = new TComboBox(this);
  PrinterBox->SetParent(this);
  PrinterBox->Style = csDropDownList;
  PrinterBox->SetBounds(96, 12, 312, 24);
  PrinterBox->OnChange = [this](TObject*) { TargetChanged(); };
  AddLabel(this, SJ("ファイル名:"), 12, 48);
  FileEdit = new TEdit(this);
  FileEdit->SetParent(this);
  FileEdit->SetBounds(96, 44, 230, 24);
  BrowseBtn = new TButton(this);
  BrowseBtn->SetParent(this);
  BrowseBtn->SetCaption(SJ("参照..."));
  BrowseBtn->SetBounds(334, 43, 74, 26);
  BrowseBtn->OnClick = [this](TObject*) {
    if (Application->TestMode || !HaveGuiApplication()) return;
    const QString name = QFileDialog::getSaveFileName(Widget(), ToQ(SJ("PDF ファイル")), ToQ(FileEdit->Text()),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!name.isEmpty()) FileEdit->SetText(FromQ(name));
  };
  MessageLabel = new TLabel(this);
  MessageLabel->SetParent(this);
  MessageLabel->Font()->SetColor(clRed);
  top_ = 80;
}

bool TPrintTargetForm::ToFile() const { return PrinterBox->ItemIndex() == PrinterBox->Items()->Count() - 1; }

void TPrintTargetForm::ChooseFile(const AnsiString& fileName) {
  PrinterBox->SetItemIndex(PrinterBox->Items()->Count() - 1);
  FileEdit->SetText(fileName);
  TargetChanged();
}

void TPrintTargetForm::LoadTarget(TPrinter* printer) {
  TStrings* items = PrinterBox->Items();
  items->Assign(*printer->Printers());
  items->Add(SJ("PDF ファイル"));
  const AnsiString target = printer->TargetName();
  if (printer->FileName().empty() && !target.empty()) {
    PrinterBox->SetItemIndex(std::max(0, items->IndexOf(target)));
    FileEdit->SetText(DefaultFileName());
  } else {
    PrinterBox->SetItemIndex(items->Count() - 1);
    FileEdit->SetText(printer->FileName().empty() ? DefaultFileName() : printer->FileName());
  }
  TargetChanged();
}

void TPrintTargetForm::TargetChanged() {
  FileEdit->SetEnabled(ToFile());
  BrowseBtn->SetEnabled(ToFile());
}

void TPrintTargetForm::Refuse(const AnsiString& message) {
  MessageLabel->SetCaption(message);
  MessageLabel->SetLeft((Width() - MessageLabel->Width()) / 2);
}

bool TPrintTargetForm::CheckTarget() {
  if (ToFile() && Trim(FileEdit->Text()).empty()) {
    Refuse(SJ("ファイル名を入力してください"));
    return false;
  }
  return true;
}

void TPrintTargetForm::StoreTarget(TPrinter* printer) {
  if (ToFile()) {
    printer->SetFileName(Trim(FileEdit->Text()));
  } else {
    printer->SetFileName(AnsiString());
    printer->SetPrinterIndex(PrinterBox->ItemIndex());
  }
}

// ---- TPrintDialogForm ----

TPrintDialogForm::TPrintDialogForm(TComponent* owner) : TPrintTargetForm(owner) {
  SetCaption(SJ("印刷"));
  SetHeight(226);
  RangeGroup = new TRadioGroup(this);
  RangeGroup->SetParent(this);
  RangeGroup->SetCaption(SJ("印刷範囲"));
  RangeGroup->SetBounds(12, top_, 180, 76);
  RangeGroup->Items()->Add(SJ("すべて"));
  RangeGroup->Items()->Add(SJ("ページ指定"));
  RangeGroup->SetItemIndex(0);
  RangeGroup->OnClick = [this](TObject*) { RangeChanged(); };
  AddLabel(this, SJ("開始:"), 206, top_ + 44);
  FromEdit = new TEdit(this);
  FromEdit->SetParent(this);
  FromEdit->SetBounds(240, top_ + 40, 60, 24);
  AddLabel(this, SJ("終了:"), 314, top_ + 44);
  ToEdit = new TEdit(this);
  ToEdit->SetParent(this);
  ToEdit->SetBounds(348, top_ + 40, 60, 24);
  MessageLabel->SetTop(top_ + 86);
  AddOkCancelButtons(this);
  RangeChanged();
  OnCloseQuery = [this](TObject*, bool& canClose) {
    if (ModalResult() == mrOk) canClose = Check();
  };
}

void TPrintDialogForm::RangeChanged() {
  const bool pages = RangeGroup->ItemIndex() == 1;
  FromEdit->SetEnabled(pages);
  ToEdit->SetEnabled(pages);
}

bool TPrintDialogForm::Check() {
  if (!CheckTarget()) return false;
  if (RangeGroup->ItemIndex() != 1) return true;
  int from = 0, to = 0;
  if (!TryStrToInt(FromEdit->Text(), from) || !TryStrToInt(ToEdit->Text(), to) || from < minPage_ || to > maxPage_ ||
      from > to) {
    Refuse(Format(SJ("ページは %d から %d の範囲で指定してください").c_str(), minPage_, maxPage_));
    return false;
  }
  from_ = from;
  to_ = to;
  return true;
}

bool TPrintDialog::Execute() {
  TPrinter* printer = Printer ? Printer : ::Printer();
  TPrintDialogForm form(nullptr);
  form.minPage_ = std::max(1, MinPage);
  form.maxPage_ = MaxPage <= 0 || MaxPage > kMaxPrintPage ? kMaxPrintPage : std::max(form.minPage_, MaxPage);
  form.LoadTarget(printer);
  const bool pages = Options & poPageNums;
  form.RangeGroup->SetEnabled(pages);
  form.RangeGroup->SetItemIndex(pages && PrintRange == prPageNums ? 1 : 0);
  form.FromEdit->SetText(IntToStr(FromPage >= form.minPage_ ? FromPage : form.minPage_));
  form.ToEdit->SetText(IntToStr(ToPage >= form.minPage_ ? std::min(ToPage, form.maxPage_) : form.minPage_));
  if (form.ShowModal() != mrOk) return false;
  form.StoreTarget(printer);
  PrintRange = form.RangeGroup->ItemIndex() == 1 ? prPageNums : prAllPages;
  if (PrintRange == prPageNums) {
    FromPage = form.from_;
    ToPage = form.to_;
  }
  return true;
}

// ---- TPrinterSetupDialogForm ----

TPrinterSetupDialogForm::TPrinterSetupDialogForm(TComponent* owner) : TPrintTargetForm(owner) {
  SetCaption(SJ("プリンタの設定"));
  SetHeight(232);
  AddLabel(this, SJ("用紙サイズ:"), 12, top_ + 4);
  PaperBox = new TComboBox(this);
  PaperBox->SetParent(this);
  PaperBox->Style = csDropDownList;
  PaperBox->SetBounds(96, top_, 150, 24);
  for (int i = 0; i < kPaperSizeCount; ++i) PaperBox->Items()->Add(PaperSizeName(static_cast<TPaperSize>(i)));
  OrientationGroup = new TRadioGroup(this);
  OrientationGroup->SetParent(this);
  OrientationGroup->SetCaption(SJ("印刷の向き"));
  OrientationGroup->SetColumns(2);
  OrientationGroup->SetBounds(12, top_ + 34, 234, 52);
  OrientationGroup->Items()->Add(SJ("縦"));
  OrientationGroup->Items()->Add(SJ("横"));
  MessageLabel->SetTop(top_ + 96);
  AddOkCancelButtons(this);
  OnCloseQuery = [this](TObject*, bool& canClose) {
    if (ModalResult() == mrOk) canClose = CheckTarget();
  };
}

bool TPrinterSetupDialog::Execute() {
  TPrinter* printer = Printer ? Printer : ::Printer();
  TPrinterSetupDialogForm form(nullptr);
  form.LoadTarget(printer);
  form.PaperBox->SetItemIndex(printer->PaperSize());
  form.OrientationGroup->SetItemIndex(printer->Orientation() == poLandscape ? 1 : 0);
  if (form.ShowModal() != mrOk) return false;
  form.StoreTarget(printer);
  if (form.PaperBox->ItemIndex() >= 0) printer->SetPaperSize(static_cast<TPaperSize>(form.PaperBox->ItemIndex()));
  printer->SetOrientation(form.OrientationGroup->ItemIndex() == 1 ? poLandscape : poPortrait);
  return true;
}
