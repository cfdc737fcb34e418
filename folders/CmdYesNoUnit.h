// TCmdYesNoDlg: the confirm-and-run dialog of every bulk operation on listed records. It names
// the operation, lets the user choose all, the selected or the unselected rows (with their
// counts), and after "はい" runs the operation's worker on TCmdYesNoDlgTh while it shows the rows
// handled, the worker's log lines and "中止". It stays open after the run until "閉じる".
//
// Modal results: 1 after "閉じる"; 2 after "いいえ", Esc or the close box (before or after a
// run). While the worker runs every close is refused; "中止" asks it to stop before its next row.
//
// The user of the dialog makes it with the application as owner, calls SetupCmdYesNo, fills the
// fields its worker reads, shows it modally once and frees it. The rows stay the caller's.
//
// Threads: the dialog and its handlers run on the user-interface thread; the worker runs on the
// dialog's thread and reaches the dialog only through ReportProgress and AddLogLine, which hand
// the display to the user-interface thread. The thread frees itself after its end handler.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Forms.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "platform/Thread.h"

class CCapInfoList;
class CRuleFolder;
class CStringsList;
class TCmdYesNoDlg;
class TStringGridEx;

class TCmdYesNoDlgTh : public TThread {
 public:
  explicit TCmdYesNoDlgTh(bool createSuspended) : TThread(createSuspended) {}
  ~TCmdYesNoDlgTh() override = default;

  int Count = 0;       // rows handled, as last reported
  AnsiString LogLine;  // the line being handed to the memo
  uint32_t LastTick = 0;
  uint32_t NowTick = 0;
  TCmdYesNoDlg* Dialog = nullptr;

  // The count reaches the screen at most this often while the worker runs.
  static constexpr uint32_t kDisplayMs = 250;

 protected:
  void Execute() override;
};

// The operation the dialog runs; called once on the dialog's thread, with the dialog's Rows set
// to the rows of the chosen target.
using TCmdWorker = std::function<void(TCmdYesNoDlgTh* thread)>;

class TCmdYesNoDlg : public TForm {
 public:
  explicit TCmdYesNoDlg(TComponent* owner);
  // A worker still running is asked to stop and its end handler run before the dialog goes.
  ~TCmdYesNoDlg() override;

  TLabel* Label1;
  TLabel* Label2;
  TBevel* Bevel1;
  TBevel* Bevel2;
  TRadioGroup* RadioGroup1;
  TLabel* Label3;
  TMemo* Memo1;
  TLabel* CountLabel;
  TEdit* CountEdit;
  TButton* OKBtn;
  TButton* CancelBtn;
  TButton* AbortBtn;

  AnsiString SavedCaption;
  TCmdYesNoDlgTh* Thread = nullptr;  // the running worker thread, null when none runs
  CCapInfoList* Columns = nullptr;   // the listed columns
  CRuleFolder* CmdFolder = nullptr;  // the folder whose operation runs
  CStringsList* Rows = nullptr;      // borrowed; the worker's rows while it runs
  int StartIndex = 0;                // first row the counts and the targets consider
  TStringGridEx* Grid = nullptr;     // whose row selection defines the selected rows, or none
  // The grid's marks of the rows when the dialog was set up, by list row: -1 no grid row, 0 not
  // selected, 1 selected. The targets are taken from these, so the worker gets the rows that
  // were counted (whatever becomes of the grid meanwhile) and its thread never reads the grid.
  std::vector<signed char> GridMarks;
  CRuleFolder* SourceFolder = nullptr;
  bool MoveFlag = false;
  AnsiString JoinText;
  TStrings* Names = nullptr;  // borrowed column assignments
  TStrings* Values = nullptr;
  bool CopyFlag = false;
  int PlanFlags = 0;
  TCmdWorker Worker;
  AnsiString Title;
  AnsiString Description;
  int DefaultTarget = 0;  // 0 all, 1 selected, 2 unselected rows

  void FormShow(TObject* sender);
  void OKBtnClick(TObject* sender);
  void AbortBtnClick(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void ThreadDone(TObject* sender);
};

// Stores the five values in the dialog and writes the counted target texts, each the number of
// rows from the start index on that the choice hands to the worker: all; those whose grid row
// is selected (none without a grid); those whose grid row is not (all without a grid).
void SetupCmdYesNo(TCmdYesNoDlg* dialog, CRuleFolder* folder, CCapInfoList* columns, CStringsList* rows, int start,
                   TStringGridEx* grid);
void ShowTargetCounts(TCmdYesNoDlg* dialog, int all, int selected, int unselected);

// For workers, on the dialog's thread. ReportProgress notes the rows handled (shown at most every
// kDisplayMs) and answers false once a stop was asked for; AddLogLine appends a line to the memo.
bool ReportProgress(TCmdYesNoDlgTh* thread, int count);
void AddLogLine(TCmdYesNoDlgTh* thread, const AnsiString& text);
