// The folder command and the confirmed record work: the confirmation in TCmdYesNoDlg and the one
// worker that carries a plan out row by row (copy, move or relate into the target table, set the
// assignments, run the target folder's script, write changed records back).
#include <algorithm>
#include <memory>
#include <vector>

#include "folders/CmdYesNoUnit.h"
#include "folders/DbFolder.h"
#include "folders/FolderScript.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/Lexer.h"
#include "foundation/Listfunc.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "query/CondText.h"
#include "query/DbHandle.h"

namespace {

// The error box stays quiet and the update locks are held while a worker runs; both come back
// however it ends.
class WorkerScope {
 public:
  WorkerScope() { ErrorQuiet = true; }
  ~WorkerScope() {
    for (CDbHandle* handle : locked_) handle->Unlock();
    ErrorQuiet = false;
  }
  WorkerScope(const WorkerScope&) = delete;
  WorkerScope& operator=(const WorkerScope&) = delete;
  // False when another holder has the handle's lock. A handle locked already nests.
  bool Lock(CDbHandle* handle) {
    if (!handle->Lock()) return false;
    locked_.push_back(handle);
    return true;
  }

 private:
  std::vector<CDbHandle*> locked_;
};

// Shows the dialog modally and frees it; the number of rows its worker handled.
int RunDialog(TCmdYesNoDlg* made) {
  std::unique_ptr<TCmdYesNoDlg> dialog(made);
  dialog->ShowModal();
  return StrToIntDef(dialog->CountEdit->Text(), 0);
}

}  // namespace

bool CRuleFolder::RunCommand(int occasion, CCapInfoList* columns, CStringsList* rows, int start, TStringGridEx* grid,
                             bool execute) {
  if (CommandName.empty() || Script.empty()) return false;
  if (rows && rows->Count() <= std::max(0, start)) return false;
  static constexpr int kOccasionFlags[] = {FOLDER_COMMAND_AFTER_LISTING, FOLDER_COMMAND_IN_MENU, FOLDER_COMMAND_ON_DROP};
  if (occasion < 0 || occasion > 2 || !(Flags & kOccasionFlags[occasion])) return false;
  if (!execute) return true;

  auto* dialog = new TCmdYesNoDlg(Application);
  SetupCmdYesNo(dialog, this, columns, rows, start, grid);
  dialog->PlanFlags = DropCommand;
  dialog->SourceFolder = this;
  dialog->Title = CommandName;
  dialog->Description = Description;
  // After a listing the command offers all the new rows, whatever the folder's target says.
  dialog->DefaultTarget = occasion == 0 || Target < 0 || Target > 2 ? 0 : Target;
  dialog->Worker = [this](TCmdYesNoDlgTh* thread) { TransferWorker(thread); };
  // Rows handled count as a run even when the dialog was then closed with its close box: the
  // records have changed, and the caller shows them again.
  return RunDialog(dialog) > 0;
}

int CRuleFolder::ConfirmDropRecords(int plan, CDbFolder*, CDbFolder* source, CCapInfoList* columns, CStringsList* rows,
                                    TStringGridEx* grid, const AnsiString& join, TStrings* names, TStrings* values) {
  CRuleFolder* sourceFolder = source && source->Folder ? source->Folder : this;
  const AnsiString sourceTable = sourceFolder->GetTableName();
  const AnsiString targetTable = GetTableName();
  auto* dialog = new TCmdYesNoDlg(Application);
  SetupCmdYesNo(dialog, this, columns, rows, 0, grid);
  dialog->PlanFlags = plan;
  dialog->SourceFolder = sourceFolder;
  dialog->JoinText = join;
  dialog->Names = names;
  dialog->Values = values;

  std::vector<AnsiString> title;
  AnsiString description;
  if (plan & (DropInsert | DropCopy)) {
    if (plan & DropMove) {
      title.push_back(SJ("レコードの移動"));
      description += Format(SJ("表「%s」のレコードを\r\n表「%s」に移動します。\r\n").c_str(), sourceTable.c_str(),
                            targetTable.c_str());
    } else if (plan & DropRelate) {
      title.push_back(SJ("関連付いたレコードの作製"));
      description += Format(SJ("表「%s」にレコードを作り\r\n表「%s」と関連付けします。\r\n").c_str(),
                            targetTable.c_str(), sourceTable.c_str());
    } else {
      title.push_back(SJ("レコードの複写"));
      description += Format(SJ("表「%s」のレコードを\r\n表「%s」に複写します。\r\n").c_str(), sourceTable.c_str(),
                            targetTable.c_str());
    }
  }
  if (plan & DropChange) {
    title.push_back(SJ("内容の変更"));
    const int pairs = names && values ? std::min(names->Count(), values->Count()) : 0;
    for (int i = 0; i < pairs; ++i)
      description += Format(SJ("カラム「%s」の内容を「%s」にします。\r\n").c_str(), GetFieldPart((*names)[i]).c_str(),
                            (*values)[i].c_str());
  }
  if (plan & DropCommand) {
    title.push_back(CommandName);
    description += Description;
  }
  for (size_t i = 0; i < title.size(); ++i) dialog->Title += (i ? SJ("、") : AnsiString()) + title[i];
  dialog->Description = description;
  dialog->DefaultTarget = 1;
  dialog->Worker = [this](TCmdYesNoDlgTh* thread) { TransferWorker(thread); };
  RunDialog(dialog);
  return 0;
}

void CRuleFolder::TransferWorker(TCmdYesNoDlgTh* thread) {
  TCmdYesNoDlg* dialog = thread->Dialog;
  CRuleFolder* source = dialog->SourceFolder ? dialog->SourceFolder : this;
  CCapInfoList* columns = dialog->Columns;
  CStringsList* rows = dialog->Rows;
  const int plan = dialog->PlanFlags;
  const AnsiString sourceTable = source->GetTableName();
  const AnsiString targetTable = GetTableName();
  const int idColumn = columns ? IndexOfRecIdColumn(columns, sourceTable) : -1;
  CDbHandle* targetHandle = GetDbHandle();
  CDbHandle* sourceHandle = source->GetDbHandle();
  if (idColumn < 0 || !rows || !targetHandle || !sourceHandle) return;

  WorkerScope scope;
  if (!scope.Lock(targetHandle) || (sourceHandle != targetHandle && (plan & DropMove) && !scope.Lock(sourceHandle))) {
    AddLogLine(thread, SJ("他で処理中なので、更新ができません。"));
    return;
  }

  // Target names, each linked to the listed column that feeds it (-1: none).
  const bool sameTable = sourceTable == targetTable;
  TStringList targetNames, targetValues, changedValues, ids;
  if (sameTable) {
    for (int i = 0; i < columns->Count(); ++i) {
      const AnsiString& name = columns->GetItem(i)->Name;
      targetNames.Add(GetTablePart(name) == sourceTable ? GetFieldPart(name) : name);
    }
  } else {
    targetHandle->GetColumnTypes(targetTable, targetNames, nullptr);
  }
  std::vector<int> links(size_t(targetNames.Count()), -1);
  for (int i = 0; i < targetNames.Count(); ++i) targetValues.Add(AnsiString());
  ids.Add(AnsiString());

  int relateTarget = -1, relateSource = -1;
  if (plan & DropRelate) {
    // The join must read "target.column = listed column", exactly three tokens.
    CLexer lexer(dialog->JoinText.c_str());
    lexer.NextToken();
    const bool leftOk = lexer.Kind == LEX_NAME && GetTablePart(lexer.Token) == targetTable;
    const AnsiString left = lexer.Token;
    lexer.NextToken();
    const bool equalOk = lexer.Kind == LEX_COMPARE && lexer.Token == "=";
    lexer.NextToken();
    const bool rightOk = lexer.Kind == LEX_NAME;
    const AnsiString right = lexer.Token;
    lexer.NextToken();
    if (!leftOk || !equalOk || !rightOk || lexer.Kind != LEX_END) {
      AddLogLine(thread, SJ("関連付けがありません。"));
      return;
    }
    relateSource = columns->IndexOfName(right);
    if (relateSource < 0) {
      AddLogLine(thread, Format(SJ("カラム %s が見つかりません。").c_str(), right.c_str()));
      return;
    }
    relateTarget = FindString(&targetNames, GetFieldPart(left), false);
    if (relateTarget < 0) {
      AddLogLine(thread, Format(SJ("カラム %s が見つかりません。").c_str(), left.c_str()));
      return;
    }
    links[size_t(relateTarget)] = relateSource;
  } else {
    for (int i = 0; i < targetNames.Count(); ++i)
      if (targetNames[i] != REC_ID_COLUMN) links[size_t(i)] = columns->IndexOfName(sourceTable + "." + targetNames[i]);
  }

  // Assignments of a change: a column of another table becomes the linking column of the target
  // table, or is dropped; each keeps the position of its target name.
  TStrings* names = dialog->Names;
  TStrings* values = dialog->Values;
  std::vector<int> assigned;
  if ((plan & DropChange) && names && values) {
    for (int i = std::min(names->Count(), values->Count()) - 1; i >= 0; --i) {
      AnsiString name = (*names)[i], value = (*values)[i];
      if (GetTablePart(name) == targetTable) continue;
      if (FindLinkedRecords(targetTable, name, value)) {
        names->SetString(i, name);
        values->SetString(i, value);
      } else {
        names->Delete(i);
        values->Delete(i);
      }
    }
    for (int i = 0; i < std::min(names->Count(), values->Count()); ++i)
      assigned.push_back(FindString(&targetNames, GetFieldPart((*names)[i]), false));
  }

  AnsiString insertColumns;
  for (int i = 0; i < targetNames.Count(); ++i) insertColumns += (i ? "," : "") + targetNames[i];
  ScriptTotal = rows->Count();

  int done = 0;
  for (int i = 0; i < rows->Count(); ++i) {
    ScriptOrdinal = i + 1;
    if (!ReportProgress(thread, i)) break;
    TStrings* row = rows->Row(i);
    const auto has = [row](int position) { return position >= 0 && position < row->Count(); };
    for (int j = 0; j < targetValues.Count(); ++j) targetValues.SetString(j, AnsiString());
    if (plan & DropRelate) {
      if (has(relateSource)) targetValues.SetString(relateTarget, (*row)[relateSource]);
    } else {
      for (int j = 0; j < targetValues.Count(); ++j)
        if (has(links[size_t(j)])) targetValues.SetString(j, (*row)[links[size_t(j)]]);
    }
    for (size_t k = 0; k < assigned.size(); ++k)
      if (assigned[k] >= 0) targetValues.SetString(assigned[k], (*values)[int(k)]);

    if (plan & DropCommand) {
      AnsiString log;
      if (!RunScriptOnValues(sourceTable, columns, sameTable ? &targetValues : row, &targetNames, &targetValues, log)) {
        AddLogLine(thread, log);
        break;
      }
      if (!log.empty()) AddLogLine(thread, log);
    }

    const AnsiString id = has(idColumn) ? (*row)[idColumn] : AnsiString();
    if (plan & (DropInsert | DropCopy)) {
      if (!targetHandle->InsertRecord(insertColumns, targetTable, targetValues)) {
        AddLogLine(thread, SJ("データを挿入できません。"));
        break;
      }
      if (plan & DropMove) {
        ids.SetString(0, id);
        if (!sourceHandle->DeleteRecords(sourceTable, ids)) {
          AddLogLine(thread, SJ("データを削除できません。"));
          break;
        }
      }
    } else {
      // Only the listed columns whose value really changed are written back.
      AnsiString changed;
      changedValues.Clear();
      for (int j = targetNames.Count() - 1; j >= 0; --j) {
        const int at = links[size_t(j)];
        if (!has(at) || targetValues[j] == (*row)[at]) continue;
        changed += (changed.empty() ? "" : ",") + targetNames[j];
        changedValues.Add(targetValues[j]);
      }
      if (!changed.empty()) {
        // An id that is no number must not reach the condition, where it could name other records.
        const AnsiString condition = Format("%s.%s = %s", targetTable.c_str(), REC_ID_COLUMN, id.c_str());
        if (!IsRecordIdText(id) || !targetHandle->UpdateRecords(changed, targetTable, changedValues, condition)) {
          AddLogLine(thread, SJ("データを更新できません。"));
          break;
        }
      }
    }
    ++done;
  }
  ReportProgress(thread, done);
}

bool CRuleFolder::RunScriptOnValues(const AnsiString& sourceTable, CCapInfoList* columns, TStrings* values,
                                    TStrings* targetNames, TStrings* targetValues, AnsiString& log) {
  ScriptTable = sourceTable;
  ScriptColumns = columns;
  ScriptRow = values;
  ScriptTargetNames = targetNames;
  ScriptTargetValues = targetValues;
  return RunFolderScriptText(this, CallScriptFunctionOnValues, log);
}
