// The data check and repair of one table file, run on the user-interface thread inside its modal
// dialog. Check mode examines the file, rebuilds a damaged one from its data blocks, optionally
// optimises (a new table with every record) and compresses (a record-by-record copy) it, and puts
// the result in place of the file, keeping the previous content as ".bak". Index mode rewrites the
// index entries of a table after columns were added to it.
//
// Work files beside the data file (each with the numbered extension files the store makes):
//   ".#1"  the records salvaged from a damaged file
//   ".#3"  the optimised table
//   ".#4"  the compressed copy of ".#3", which becomes the data file
//   ".bak" the data file as it was before the last replacement
// A work file is written only after an old one of its name is deleted, and a failed pass deletes
// what it wrote. The data file is replaced only when it did not change since it was checked, by
// renamings that are taken back when one of them fails, so it is never left missing; a result
// that could not be put in place stays in its work file. The journal of the data file's unfinished
// runs goes with it to ".bak".
//
// The store's passes call back (progress_hook, the table's progress) into ProgressStep, which at
// most every DataChkStepMs processes the window's messages, moves the indicator and reports a
// Stop; one thread: the user-interface thread.
#pragma once

#include "platform/Forms.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"

class CRuleFolder;
class CDbFolder;

// The data-check dialog most recently constructed: the engine's progress hook reaches it here.
class TDataChkDlg;
extern TDataChkDlg* DataChkDlg;
// The least time between two progress steps that process messages (milliseconds).
extern int DataChkStepMs;

// The name of extension file n of a table file, as the store names it ("T.kvr" -> "T#1.kvr").
AnsiString MakeExtFileName(const AnsiString& name, int n);
// Deletes the file and then its extension files 1, 2, ... up to the first missing one; whether
// the file itself was deleted.
bool DeleteTableFiles(const AnsiString& name);
// Gives the file and each of its extension files the names of newName's; all or nothing: when one
// renaming fails, or a new name is taken already, those made are taken back and the answer is
// false.
bool RenameTableFiles(const AnsiString& oldName, const AnsiString& newName);

class TDataChkDlg : public TForm {
 public:
  explicit TDataChkDlg(TComponent* owner);
  ~TDataChkDlg() override;

  // Binds the dialog to the nearest table folder at or above folder; false when there is none.
  bool SetFolder(CRuleFolder* folder);
  bool SetDbFolder(CDbFolder* node);

  void FormShow(TObject* sender);
  void OKBtnClick(TObject* sender);
  void StopBtnClick(TObject* sender);
  // The step every pass of a run calls: 0 to go on, -1 when Stop was pressed.
  static int ProgressStep(void* dialog, int count);

  TLabel* Label1;
  TMemo* Memo1;
  TRichEdit* RichEdit1;
  TCheckBox* OptimizeChkBox;
  TRadioButton* RadioButton1;
  TRadioButton* RadioButton2;
  TRadioButton* RadioButton3;
  TRadioButton* RadioButton4;
  TRadioButton* RadioButton5;
  TButton* OKBtn;
  TButton* StopBtn;
  TButton* CancelBtn;

  AnsiString DataFile;
  AnsiString TableName;
  bool StopRequest = false;
  // Replacement steps done in this showing (rebuild, optimisation, compression): the opener
  // lists the folder again when it is positive.
  int StepCount = 0;
  TRadioButton* Indicators[5];
  bool IndexMode = false;

 private:
  void AddMessage(const AnsiString& text);
  void AddMessage(const char* utf8Format, const AnsiString& name);
  void AdvanceIndicator();
  void SetRunning(bool running);
  void RunCheck();
  void RunIndex();
  // Checks the data file, noting its state, and rebuilds it into ".#1" when it is damaged: the
  // file to go on with (the data file itself when it is sound), or "" after the message failure
  // when the rebuild failed.
  AnsiString CheckedFile(const char* failure);
  // Puts `result` in place of the data file, which becomes ".bak"; false after its message, the
  // data file then being as it was.
  bool Replace(const AnsiString& result);
  AnsiString WorkFile(const char* extension) const;

  bool running_ = false;
  AnsiString checkedState_;  // FileStateMark of the data file after its check
};

// The same step for the dialog DataChkDlg names: what a run installs as the engine's progress_hook.
int DataChkProgress(int count);
