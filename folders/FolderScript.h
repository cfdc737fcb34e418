// Folder command scripts: statements of the text-macro language run once per record, separated
// by runs of blanks, line breaks, tabs, ",", ";" and ":". Bare names read the values of the
// record in hand; the script functions below write records of the folder's tables.
//
//   function   arguments                              result
//   setvalue   column, value, ...                     "" or "Error in setvalue(%s, %s, ...)."
//   insert     table, column, value, ...              "" or "Error in Insert(%s, %s, %s)."
//   update     table, condition, column, value, ...   "" or "Error in Update(%s, %s, %s, %s)."
//   delete     table, condition                       "" or "Error in Delete(%s, %s)."
//   count      -                                      the ordinal of the row in hand
//   maxcount   -                                      the number of rows the worker handles
//
// "setvalue" exists only while a record is being built (CRuleFolder::RunScriptOnValues). A
// function that fails answers its error text and the script goes on; missing arguments, an
// empty table or condition, or no database handle make it do nothing and answer "". Column
// pairs of insert and update: a name without a table part takes the table argument's, a name of
// another table is dropped with its value, a last name without a value is ignored.
//
// All run on the thread that runs the script, with the folder's script context (the Script*
// fields of CRuleFolder) set by the runner.
#pragma once

#include "platform/Classes.h"

class CRuleFolder;

// A function hook of the script's evaluator: (folder, function name, arguments or null) -> value.
using TScriptFunctions = AnsiString (*)(CRuleFolder* folder, const AnsiString& name, const TStrings* args);

// Runs the folder's script with its context already set, functions through dispatch. False when
// the folder has no database handle (result untouched) or a statement cannot be read (result:
// the text read so far followed by "<<--ERROR"); otherwise result holds the value of the last
// statement (untouched for an empty script).
bool RunFolderScriptText(CRuleFolder* folder, TScriptFunctions dispatch, AnsiString& result);

// The value of a bare name: the record's value of the listed column of that item name (the
// script table put before a name without one); "" when no listed column has it.
AnsiString ResolveScriptName(CRuleFolder* folder, const AnsiString& name);
// insert, update, delete, count and maxcount; any other name goes to the query's lookups.
AnsiString CallScriptFunction(CRuleFolder* folder, const AnsiString& name, const TStrings* args);
// setvalue, then as CallScriptFunction.
AnsiString CallScriptFunctionOnValues(CRuleFolder* folder, const AnsiString& name, const TStrings* args);

AnsiString ScriptSetValue(CRuleFolder* folder, const TStrings* args);
AnsiString ScriptInsert(CRuleFolder* folder, const TStrings* args);
AnsiString ScriptUpdate(CRuleFolder* folder, const TStrings* args);
AnsiString ScriptDelete(CRuleFolder* folder, const TStrings* args);
AnsiString ScriptCount(CRuleFolder* folder, const TStrings* args);
AnsiString ScriptMaxCount(CRuleFolder* folder, const TStrings* args);

// Whether text can stand for a record id in a condition: 1 to 10 decimal digits.
bool IsRecordIdText(const AnsiString& text);
