#include "folders/DataChkUnit.h"

#include <vector>

#include "folders/DbFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CvMessageUnit.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"

TDataChkDlg* DataChkDlg = nullptr;
int DataChkStepMs = 200;

namespace {

uint32_t g_lastStep = 0;  // tick count of the last accepted progress step, shared by all runs

constexpr int kMostExtensions = 255;

bool Exists(const AnsiString& name) { return !FileStateMark(name).empty(); }

}  // namespace

// ---- Table files ----------------------------------------------------------------------------

AnsiString MakeExtFileName(const AnsiString& name, int n) { return CKorva::ExtensionFileName(name, n); }

bool DeleteTableFiles(const AnsiString& name) {
  if (!DeleteFile(name)) return false;
  for (int n = 1; n <= kMostExtensions; ++n)
    if (!DeleteFile(MakeExtFileName(name, n))) break;
  return true;
}

bool RenameTableFiles(const AnsiString& oldName, const AnsiString& newName) {
  // A name already taken is refused: the renaming would destroy that file, and could not be taken
  // back.
  std::vector<std::pair<AnsiString, AnsiString>> done;
  auto move = [&](const AnsiString& from, const AnsiString& to) {
    if (Exists(to) || !RenameFile(from, to)) return false;
    done.emplace_back(from, to);
    return true;
  };
  bool ok = move(oldName, newName);
  for (int n = 1; ok && n <= kMostExtensions; ++n) {
    const AnsiString from = MakeExtFileName(oldName, n);
    if (!Exists(from)) break;
    ok = move(from, MakeExtFileName(newName, n));
  }
  if (ok) return true;
  for (auto it = done.rbegin(); it != done.rend(); ++it) RenameFile(it->second, it->first);
  return false;
}

// ---- The dialog -----------------------------------------------------------------------------

namespace {

template <class T>
T* Make(TForm* form, int left, int top, int width, int height) {
  auto* c = new T(form);
  c->SetParent(form);
  c->SetBounds(left, top, width, height);
  return c;
}

TButton* MakeButton(TForm* form, const char* caption, int left) {
  auto* b = Make<TButton>(form, left, 268, 75, 25);
  b->SetCaption(Utf8ToSjis(caption));
  return b;
}

const char* const kNote[] = {"データの検査、修復には数分～数十分かかる時があります。", "",
                             "検査、修復中は、データの書き込みが伴う作業をしないで下さい。"};
const char* const kIndexNote[] = {"追加した項目のインデックスを処理します。",
                                  "インデックス処理には、数分～数十分かかる時があります。",
                                  "処理中は、データの書き込みが伴う作業をしないで下さい。"};

}  // namespace

TDataChkDlg::TDataChkDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("データの検査、修復"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetClientWidth(374);
  SetClientHeight(301);

  Label1 = Make<TLabel>(this, 8, 8, 0, 0);
  Label1->Font()->SetStyle(fsBold);
  Label1->SetCaption(SJ("**** 注意 ****"));
  Memo1 = Make<TMemo>(this, 8, 26, 358, 52);
  Memo1->SetReadOnly(true);
  for (const char* line : kNote) Memo1->Lines()->Add(Utf8ToSjis(line));
  // Settings its window takes when it is made.
  RichEdit1 = new TRichEdit(this);
  RichEdit1->ReadOnly = true;
  RichEdit1->ScrollBars = ssVertical;
  RichEdit1->SetParent(this);
  RichEdit1->SetBounds(8, 86, 358, 146);
  OptimizeChkBox = Make<TCheckBox>(this, 8, 240, 200, 17);
  OptimizeChkBox->SetCaption(SJ("最適化と圧縮を行う"));
  for (int i = 0; i < 5; ++i) Indicators[i] = Make<TRadioButton>(this, 8 + 18 * i, 273, 16, 16);
  RadioButton1 = Indicators[0];
  RadioButton2 = Indicators[1];
  RadioButton3 = Indicators[2];
  RadioButton4 = Indicators[3];
  RadioButton5 = Indicators[4];
  OKBtn = MakeButton(this, "開始", 131);
  StopBtn = MakeButton(this, "中止", 211);
  StopBtn->SetEnabled(false);
  CancelBtn = MakeButton(this, "閉じる", 291);
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->Default = true;

  OnShow = [this](TObject* s) { FormShow(s); };
  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  StopBtn->OnClick = [this](TObject* s) { StopBtnClick(s); };
  // A run calls back into the dialog until it ends: the dialog stays until then.
  OnCloseQuery = [this](TObject*, bool& canClose) { canClose = !running_; };
  DataChkDlg = this;
}

TDataChkDlg::~TDataChkDlg() {
  Destroying();
  if (DataChkDlg == this) DataChkDlg = nullptr;
}

bool TDataChkDlg::SetFolder(CRuleFolder* folder) {
  for (CRuleFolder* f = folder; f; f = f->Parent) {
    if (f->GetTypeName() != "table") continue;
    auto* table = static_cast<CRuleFolderTbl*>(f);
    DataFile = table->DataFile;
    TableName = table->TableName;
    return true;
  }
  return false;
}

bool TDataChkDlg::SetDbFolder(CDbFolder* node) { return node && SetFolder(node->Folder); }

AnsiString TDataChkDlg::WorkFile(const char* extension) const {
  // A data file that bears a work file's extension itself keeps it, so that no work file is it.
  for (const char* own : {".#1", ".#3", ".#4", ".bak"})
    if (ChangeFileExt(DataFile, own) == DataFile) return DataFile + extension;
  return ChangeFileExt(DataFile, extension);
}

void TDataChkDlg::FormShow(TObject*) {
  StepCount = 0;
  RadioButton1->SetChecked(true);
  for (TRadioButton* b : Indicators) b->SetEnabled(false);
  if (!FileExists(DataFile)) {
    AddMessage("ファイル %s がありません。", DataFile);
    OKBtn->SetEnabled(false);
    StopBtn->SetEnabled(false);
    CancelBtn->SetEnabled(true);
  } else {
    AddMessage(SJ("検査対象は以下の通りです。"));
    AddMessage("　　　　表名 : %s", TableName);
    AddMessage("　ファイル名 : %s", DataFile);
  }
  if (!IndexMode) return;
  OptimizeChkBox->SetVisible(false);
  SetCaption(SJ("追加項目のインデックス処理"));
  Memo1->Lines()->Clear();
  for (const char* line : kIndexNote) Memo1->Lines()->Add(Utf8ToSjis(line));
}

void TDataChkDlg::AddMessage(const AnsiString& text) {
  RichEdit1->Lines()->Add(text);
  int end = 0;
  for (int i = 0; i < RichEdit1->Lines()->Count(); ++i) end += int((*RichEdit1->Lines())[i].size()) + 2;
  RichEdit1->SetSelStart(end);
  RichEdit1->ScrollToCaret();
  Application->ProcessMessages();
}

void TDataChkDlg::AddMessage(const char* utf8Format, const AnsiString& name) {
  AddMessage(Format(Utf8ToSjis(utf8Format).c_str(), name.c_str()));
}

// ---- Progress -------------------------------------------------------------------------------

void TDataChkDlg::AdvanceIndicator() {
  int checked = 4;
  for (int i = 0; i < 5; ++i)
    if (Indicators[i]->Checked()) {
      checked = i;
      break;
    }
  Indicators[(checked + 1) % 5]->SetChecked(true);
}

int TDataChkDlg::ProgressStep(void* dialog, int) {
  const uint32_t now = GetTickCount();
  // The store calls this for every record: most calls must cost nothing.
  if (now - g_lastStep < uint32_t(DataChkStepMs)) return 0;
  g_lastStep = now;
  auto* self = static_cast<TDataChkDlg*>(dialog);
  if (!self) return 0;
  self->AdvanceIndicator();
  Application->ProcessMessages();
  return self->StopRequest ? -1 : 0;
}

int DataChkProgress(int count) { return TDataChkDlg::ProgressStep(DataChkDlg, count); }

void TDataChkDlg::StopBtnClick(TObject*) {
  AddMessage(SJ("中止します。"));
  StopRequest = true;
}

// ---- The run --------------------------------------------------------------------------------

void TDataChkDlg::SetRunning(bool running) {
  running_ = running;
  if (running) OKBtn->SetEnabled(false);
  CancelBtn->SetEnabled(!running);
  StopBtn->SetEnabled(running);
  for (TRadioButton* b : Indicators) b->SetEnabled(running);
  if (running) StopRequest = false;
  progress_hook = running ? &DataChkProgress : nullptr;
}

void TDataChkDlg::OKBtnClick(TObject*) {
  const AnsiString& question =
      IndexMode ? SJ("インデックス処理を開始します。よろしいですか？") : SJ("データファイルの検査を開始します。よろしいですか？");
  if (CvMessageBox(question, SJ("確認"), 4, this) != mrYes) return;
  SetRunning(true);
  AddMessage("ファイル %s の検査を開始します。", DataFile);
  if (!FileExists(DataFile)) {
    AddMessage("ファイル %s がありません。", DataFile);
  } else if (IndexMode) {
    RunIndex();
  } else {
    RunCheck();
  }
  SetRunning(false);
}

AnsiString TDataChkDlg::CheckedFile(const char* failure) {
  const bool sound = CKorva::Check(DataFile) >= 0;
  // What the replacement compares with: a file written meanwhile is not replaced.
  checkedState_ = FileStateMark(DataFile);
  if (sound) {
    AddMessage(SJ("ファイルは正常です。"));
    return DataFile;
  }
  AddMessage(SJ("エラーがあるので再作成します。"));
  const AnsiString rebuilt = WorkFile(".#1");
  // A file of the name left by an earlier run would be written over, not replaced.
  DeleteTableFiles(rebuilt);
  if (CKorva::Salvage(DataFile, rebuilt, 0, 0) < 0) {
    DeleteTableFiles(rebuilt);
    AddMessage(failure, DataFile);
    return AnsiString();
  }
  AddMessage(SJ("ファイルを再作成しました。"));
  ++StepCount;
  return rebuilt;
}

void TDataChkDlg::RunCheck() {
  const AnsiString current = CheckedFile("ファイル %s を再作成できないので修復不可能です。");
  if (current.empty() || (current == DataFile && !OptimizeChkBox->Checked())) return;

  const AnsiString optimised = WorkFile(".#3");
  DeleteTableFiles(optimised);
  AddMessage(SJ("ファイルを最適化します。"));
  int copied;
  {
    CKvRecord table;
    table.SetFileName(current);
    table.SetProgress(&TDataChkDlg::ProgressStep, this);
    copied = table.CopyTo(optimised);
  }
  if (current != DataFile) DeleteTableFiles(current);
  if (copied < 0) {
    AddMessage(SJ("最適化に失敗しました。"));
    DeleteTableFiles(optimised);
    return;
  }
  AddMessage(SJ("最適化が終わりました。"));
  ++StepCount;

  const AnsiString compressed = WorkFile(".#4");
  DeleteTableFiles(compressed);
  AddMessage(SJ("ファイルを圧縮します。"));
  const int kept = CKorva::Copy(optimised, compressed, 0, 0);
  DeleteTableFiles(optimised);
  if (kept < 0) {
    AddMessage(SJ("ファイルの圧縮に失敗しました。"));
    DeleteTableFiles(compressed);
    return;
  }
  AddMessage(SJ("圧縮が終わりました。"));
  ++StepCount;

  if (Replace(compressed)) AddMessage("ファイル %s の処理は正常に終了しました。", DataFile);
}

void TDataChkDlg::RunIndex() {
  const AnsiString current = CheckedFile("ファイル %s を再作成できないので処理不可能です。");
  if (current.empty()) return;
  AddMessage(SJ("インデックス処理を開始します。"));
  int added;
  {
    CKvRecord table;
    table.SetFileName(current);
    added = table.ReIndex(&TDataChkDlg::ProgressStep, this);
  }
  if (added < 0) {
    AddMessage(SJ("インデックス処理に失敗しました。"));
    if (current != DataFile) DeleteTableFiles(current);
    return;
  }
  if (current != DataFile && Replace(current)) AddMessage("ファイル %s の処理は正常に終了しました。", DataFile);
  AddMessage(SJ("インデックス処理が終わりました。"));
}

bool TDataChkDlg::Replace(const AnsiString& result) {
  if (FileStateMark(DataFile) != checkedState_) {
    AddMessage("ファイル %s は処理中に変更されたので置き換えません。", DataFile);
    return false;
  }
  const AnsiString bak = WorkFile(".bak");
  DeleteTableFiles(bak);
  // An unfinished run's journal belongs to the file it was written for, which becomes ".bak".
  const AnsiString journal = CKorva::JournalFileName(DataFile), bakJournal = CKorva::JournalFileName(bak);
  DeleteFile(bakJournal);
  if (!RenameTableFiles(DataFile, bak)) {
    AddMessage(SJ("bak ファイルへのリネームに失敗しました。"));
    return false;
  }
  const bool journalMoved = !Exists(journal) || RenameFile(journal, bakJournal);
  if (journalMoved && RenameTableFiles(result, DataFile)) return true;
  // The data file is never left missing: the previous content goes back under its name.
  if (RenameTableFiles(bak, DataFile) && journalMoved && Exists(bakJournal)) RenameFile(bakJournal, journal);
  AddMessage(journalMoved ? SJ("元ファイルへのリネームに失敗しました。") : SJ("bak ファイルへのリネームに失敗しました。"));
  return false;
}
