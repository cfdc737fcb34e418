#include "folders/CmdYesNoUnit.h"

#include <algorithm>
#include <memory>

#include "foundation/StringsList.h"
#include "platform/SysUtils.h"
#include "views/StringGridEx.h"

namespace {

constexpr int kClientWidth = 360;
constexpr int kClientHeight = 294;

template <class T>
T* Place(TCmdYesNoDlg* form, T* control, int left, int top, int width, int height) {
  control->SetParent(form);
  control->SetBounds(left, top, width, height);
  return control;
}

TLabel* PlaceLabel(TCmdYesNoDlg* form, const AnsiString& caption, int left, int top) {
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetCaption(caption);
  label->SetBounds(left, top, label->Width(), label->Height());
  return label;
}

// Whether list row index belongs to the target: 0 all rows; 1 rows whose grid row exists and is
// selected (none without a grid); 2 rows whose grid row exists and is not (all without a grid).
bool InTarget(const TCmdYesNoDlg* dialog, int target, int index) {
  const signed char mark = size_t(index) < dialog->GridMarks.size() ? dialog->GridMarks[size_t(index)] : -1;
  if (target == 1) return dialog->Grid && mark == 1;
  if (target == 2) return !dialog->Grid || mark == 0;
  return true;
}

}  // namespace

// ---- The dialog --------------------------------------------------------------------------------

TCmdYesNoDlg::TCmdYesNoDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("処理の実行"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetClientWidth(kClientWidth);
  SetClientHeight(kClientHeight);

  Bevel1 = Place(this, new TBevel(this), 8, 8, 344, 50);
  Bevel1->SetShape(bsFrame);
  Label1 = PlaceLabel(this, SJ("処理「なんたらかんたら」を実行します。"), 0, 15);
  Label2 = PlaceLabel(this, SJ("よろしいですか？"), 0, 35);
  for (TLabel* label : {Label1, Label2}) label->SetLeft((kClientWidth - label->Width()) / 2);

  RadioGroup1 = Place(this, new TRadioGroup(this), 8, 62, 184, 86);
  RadioGroup1->SetCaption(SJ("対象"));
  RadioGroup1->Items()->Add(SJ("全部"));
  RadioGroup1->Items()->Add(SJ("選択"));
  RadioGroup1->Items()->Add(SJ("非選択"));
  RadioGroup1->SetItemIndex(0);

  Label3 = PlaceLabel(this, SJ("メッセージ"), 8, 154);
  Memo1 = Place(this, new TMemo(this), 8, 170, 344, 80);
  Memo1->SetReadOnly(true);
  Memo1->SetScrollBars(ssVertical);
  Memo1->SetText("Memo1");

  Bevel2 = Place(this, new TBevel(this), 200, 80, 152, 68);
  Bevel2->SetShape(bsFrame);
  CountLabel = PlaceLabel(this, SJ("処理した件数"), 212, 92);
  CountLabel->SetEnabled(false);
  CountEdit = Place(this, new TEdit(this), 212, 114, 128, 21);
  CountEdit->ReadOnly = true;
  CountEdit->SetText("0");
  CountEdit->SetEnabled(false);

  OKBtn = Place(this, new TButton(this), 97, 259, 75, 25);
  OKBtn->SetCaption(SJ("はい"));
  OKBtn->Default = true;
  CancelBtn = Place(this, new TButton(this), 188, 259, 75, 25);
  CancelBtn->SetCaption(SJ("いいえ"));
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;
  AbortBtn = Place(this, new TButton(this), 142, 259, 75, 25);
  AbortBtn->SetCaption(SJ("中止"));
  AbortBtn->Hide();

  OKBtn->SetTabOrder(0);
  CancelBtn->SetTabOrder(1);
  AbortBtn->SetTabOrder(2);
  RadioGroup1->SetTabOrder(3);
  Memo1->SetTabOrder(4);
  CountEdit->SetTabOrder(5);

  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  AbortBtn->OnClick = [this](TObject* s) { AbortBtnClick(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
}

TCmdYesNoDlg::~TCmdYesNoDlg() {
  // The end handler reaches this dialog; it must have run before the dialog goes.
  if (Thread) Thread->Terminate();
  while (Thread) {
    CheckSynchronize();
    Sleep(1);
  }
}

void TCmdYesNoDlg::FormShow(TObject*) {
  Label1->SetCaption(Format(SJ("処理「%s」を実行します。").c_str(), Title.c_str()));
  if (ClientWidth() < Label1->Width()) SetClientWidth(Label1->Width() + 32);
  for (TLabel* label : {Label1, Label2}) label->SetLeft((ClientWidth() - label->Width()) / 2);
  RadioGroup1->SetItemIndex(DefaultTarget);
  Memo1->SetText(Description);
  SavedCaption = Caption();
}

void TCmdYesNoDlg::OKBtnClick(TObject*) {
  if (Thread) return;
  OKBtn->Hide();
  CancelBtn->Hide();
  AbortBtn->Show();
  Thread = new TCmdYesNoDlgTh(true);
  Thread->OnTerminate = [this](TObject* s) { ThreadDone(s); };
  Thread->FreeOnTerminate = true;
  Thread->Dialog = this;
  CountLabel->SetEnabled(true);
  CountEdit->SetEnabled(true);
  SetCaption(SavedCaption + SJ(" - 実行中"));
  Thread->Start();
}

void TCmdYesNoDlg::AbortBtnClick(TObject*) {
  if (AbortBtn->Caption() == SJ("閉じる")) {
    SetModalResult(mrOk);
    return;
  }
  if (!Thread) return;
  Thread->Terminate();
  SetCaption(SavedCaption + SJ(" - 中止中・・・"));
}

void TCmdYesNoDlg::FormCloseQuery(TObject*, bool& canClose) { canClose = Thread == nullptr; }

void TCmdYesNoDlg::ThreadDone(TObject*) {
  AbortBtn->SetCaption(SJ("閉じる"));
  SetCaption(SavedCaption + SJ(" - 終了しました"));
  Label2->SetCaption(SJ("終了しました。"));
  Label2->SetLeft((ClientWidth() - Label2->Width()) / 2);
  if (Thread) CountEdit->SetText(IntToStr(Thread->Count));
  Thread = nullptr;
}

// ---- Set-up ------------------------------------------------------------------------------------

void SetupCmdYesNo(TCmdYesNoDlg* dialog, CRuleFolder* folder, CCapInfoList* columns, CStringsList* rows, int start,
                   TStringGridEx* grid) {
  dialog->CmdFolder = folder;
  dialog->Columns = columns;
  dialog->Rows = rows;
  dialog->StartIndex = start;
  dialog->Grid = grid;
  dialog->GridMarks.assign(size_t(rows ? rows->Count() : 0), -1);
  for (int i = 0; grid && rows && i < rows->Count() && i + 1 < grid->RowCount(); ++i)
    dialog->GridMarks[size_t(i)] = grid->GetRowSelects(i + 1) ? 1 : 0;
  // Each count is of the rows that choice hands to the worker.
  int counts[3] = {0, 0, 0};
  for (int i = std::max(0, start); rows && i < rows->Count(); ++i)
    for (int target = 0; target < 3; ++target) counts[target] += InTarget(dialog, target, i);
  ShowTargetCounts(dialog, counts[0], counts[1], counts[2]);
}

void ShowTargetCounts(TCmdYesNoDlg* dialog, int all, int selected, int unselected) {
  TStrings* items = dialog->RadioGroup1->Items();
  items->SetString(0, Format(SJ("全部　　%4d件").c_str(), all));
  items->SetString(1, Format(SJ("選択　　%4d件").c_str(), selected));
  items->SetString(2, Format(SJ("非選択　%4d件").c_str(), unselected));
}

// ---- The worker thread -------------------------------------------------------------------------

void TCmdYesNoDlgTh::Execute() {
  TCmdYesNoDlg* dialog = Dialog;
  if (!dialog) return;
  const int start = std::max(0, dialog->StartIndex);
  CStringsList* rows = dialog->Rows;
  const int target = dialog->RadioGroup1->ItemIndex();
  Count = 0;
  LastTick = GetTickCount();

  // The worker's rows are borrowed from the dialog's list, which keeps owning them.
  auto chosen = std::make_unique<CStringsList>();
  if (rows) {
    chosen->ColumnList = rows->ColumnList;
    for (int i = start; i < rows->Count(); ++i)
      if (InTarget(dialog, target, i)) chosen->Add(rows->Row(i));
  }
  struct GiveBack {
    TCmdYesNoDlg* dialog;
    CStringsList* rows;
    CStringsList* chosen;
    ~GiveBack() {
      dialog->Rows = rows;
      chosen->Clear();
    }
  } giveBack{dialog, rows, chosen.get()};
  dialog->Rows = chosen.get();
  if (dialog->Worker) dialog->Worker(this);
  const int count = Count;
  TEdit* edit = dialog->CountEdit;
  Synchronize([edit, count] { edit->SetText(IntToStr(count)); });
}

bool ReportProgress(TCmdYesNoDlgTh* thread, int count) {
  thread->Count = count;
  thread->NowTick = GetTickCount();
  if (thread->NowTick - thread->LastTick > TCmdYesNoDlgTh::kDisplayMs) {
    thread->LastTick = thread->NowTick;
    TEdit* edit = thread->Dialog->CountEdit;
    TThread::Synchronize([edit, count] { edit->SetText(IntToStr(count)); });
  }
  return !thread->Terminated();
}

void AddLogLine(TCmdYesNoDlgTh* thread, const AnsiString& text) {
  thread->LogLine = text;
  TThread::Synchronize([thread] { thread->Dialog->Memo1->Lines()->Add(thread->LogLine); });
}
