#include "folders/FolderScript.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/Listfunc.h"
#include "foundation/StrMacro.h"
#include "query/DbHandle.h"
#include "query/RecSelect.h"

namespace {

// The bytes that separate two statements.
bool IsStatementSeparator(char c) { return c != '\0' && std::strchr(" \r\n\t,;:", c) != nullptr; }

int ArgCount(const TStrings* args) { return args ? args->Count() : 0; }

AnsiString Arg(const TStrings* args, int i) { return i < ArgCount(args) ? (*args)[i] : AnsiString(); }

// The column pairs of insert and update from argument first on: the kept names joined with ","
// and their values in the same order.
void CollectPairs(const AnsiString& table, const TStrings* args, int first, AnsiString& columns, TStrings& values) {
  for (int i = first; i + 1 < ArgCount(args); i += 2) {
    AnsiString name = (*args)[i];
    const AnsiString part = GetTablePart(name);
    if (part.empty())
      name = table + "." + name;
    else if (part != table)
      continue;
    if (!columns.empty()) columns += ",";
    columns += name;
    values.Add((*args)[i + 1]);
  }
}

}  // namespace

bool RunFolderScriptText(CRuleFolder* folder, TScriptFunctions dispatch, AnsiString& result) {
  CDbHandle* handle = folder->GetDbHandle();
  if (!handle) return false;
  auto query = std::make_unique<CRecSelect>(handle->GetRecFileList());
  folder->ScriptQuery = query.get();
  struct Forget {
    CRuleFolder* folder;
    ~Forget() { folder->ScriptQuery = nullptr; }
  } forget{folder};
  TCvStrMacro* macro = query->GetMacro();
  macro->OnGetValue = [folder](const AnsiString& name) { return ResolveScriptName(folder, name); };
  macro->OnCallFunction = [folder, dispatch](const AnsiString& name, const TStrings* args) {
    return dispatch(folder, name, args);
  };

  // The script is read from a copy: a statement may not pull the text from under the reader.
  const AnsiString script = folder->Script;
  const char* p = script.c_str();
  const char* const end = p + std::strlen(p);
  while (p < end) {
    int consumed = 0;
    if (!macro->EvalMacro(p, consumed, result)) return false;
    // A statement that reads nothing would be read again for ever.
    if (consumed <= 0) {
      result = "<<--ERROR";
      return false;
    }
    p += std::min<ptrdiff_t>(consumed, end - p);
    while (p < end && IsStatementSeparator(*p)) ++p;
  }
  return true;
}

AnsiString ResolveScriptName(CRuleFolder* folder, const AnsiString& name) {
  const AnsiString qualified = GetTablePart(name).empty() ? folder->ScriptTable + "." + name : name;
  if (!folder->ScriptColumns || !folder->ScriptRow) return AnsiString();
  const int i = folder->ScriptColumns->IndexOfName(qualified);
  return i >= 0 && i < folder->ScriptRow->Count() ? (*folder->ScriptRow)[i] : AnsiString();
}

AnsiString CallScriptFunction(CRuleFolder* folder, const AnsiString& name, const TStrings* args) {
  if (name == "insert") return ScriptInsert(folder, args);
  if (name == "update") return ScriptUpdate(folder, args);
  if (name == "delete") return ScriptDelete(folder, args);
  if (name == "count") return ScriptCount(folder, args);
  if (name == "maxcount") return ScriptMaxCount(folder, args);
  return folder->ScriptQuery ? folder->ScriptQuery->CallFunction(name, args) : name;
}

AnsiString CallScriptFunctionOnValues(CRuleFolder* folder, const AnsiString& name, const TStrings* args) {
  if (name == "setvalue") return ScriptSetValue(folder, args);
  return CallScriptFunction(folder, name, args);
}

AnsiString ScriptSetValue(CRuleFolder* folder, const TStrings* args) {
  if (ArgCount(args) < 2) return AnsiString();
  TStrings* names = folder->ScriptTargetNames;
  TStrings* values = folder->ScriptTargetValues;
  int stored = 0;
  for (int i = 0; i + 1 < ArgCount(args) && names && values; i += 2) {
    const int k = FindString(names, GetFieldPart((*args)[i]), false);
    if (k < 0 || k >= values->Count()) continue;
    values->SetString(k, (*args)[i + 1]);
    ++stored;
  }
  if (stored > 0) return AnsiString();
  return Format("Error in setvalue(%s, %s, ...).", (*args)[0].c_str(), (*args)[1].c_str());
}

AnsiString ScriptInsert(CRuleFolder* folder, const TStrings* args) {
  CDbHandle* handle = folder->GetDbHandle();
  const AnsiString table = Arg(args, 0);
  if (ArgCount(args) < 3 || !handle || table.empty()) return AnsiString();
  AnsiString columns;
  TStringList values;
  CollectPairs(table, args, 1, columns, values);
  if (handle->InsertRecord(columns, table, values)) return AnsiString();
  return Format("Error in Insert(%s, %s, %s).", table.c_str(), Arg(args, 1).c_str(), Arg(args, 2).c_str());
}

AnsiString ScriptUpdate(CRuleFolder* folder, const TStrings* args) {
  CDbHandle* handle = folder->GetDbHandle();
  const AnsiString table = Arg(args, 0);
  const AnsiString condition = Arg(args, 1);
  if (ArgCount(args) < 4 || !handle || table.empty() || condition.empty()) return AnsiString();
  AnsiString columns;
  TStringList values;
  CollectPairs(table, args, 2, columns, values);
  if (handle->UpdateRecords(columns, table, values, condition)) return AnsiString();
  return Format("Error in Update(%s, %s, %s, %s).", table.c_str(), condition.c_str(), Arg(args, 2).c_str(),
                Arg(args, 3).c_str());
}

AnsiString ScriptDelete(CRuleFolder* folder, const TStrings* args) {
  CDbHandle* handle = folder->GetDbHandle();
  const AnsiString table = Arg(args, 0);
  const AnsiString condition = Arg(args, 1);
  if (ArgCount(args) < 2 || !handle || table.empty() || condition.empty()) return AnsiString();
  // The ids are gathered by a query of their own: the handle's listing cursor may hold the main
  // window's listing, which must survive the script.
  TStringList ids, row;
  {
    CRecSelect select(handle->GetRecFileList());
    if (select.ListStart(REC_ID_COLUMN, table, condition)) {
      for (int r; (r = select.NextNB(row)) >= 0; row.Clear())
        if (r == 1 && row.Count() > 0) ids.Add(row[0]);
    }
  }
  if (ids.Count() == 0 || handle->DeleteRecords(table, ids)) return AnsiString();
  return Format("Error in Delete(%s, %s).", table.c_str(), condition.c_str());
}

AnsiString ScriptCount(CRuleFolder* folder, const TStrings*) { return IntToStr(folder->ScriptOrdinal); }

AnsiString ScriptMaxCount(CRuleFolder* folder, const TStrings*) { return IntToStr(folder->ScriptTotal); }

bool IsRecordIdText(const AnsiString& text) {
  if (text.empty() || text.size() > 10) return false;
  for (const char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}
