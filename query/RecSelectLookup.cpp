// The select's evaluator hooks: names read the current records, and the lookup functions run a
// nested select over the same record-file list.
//
//   function            arguments                                        result
//   検索                condition, column, default                       column of the first match
//   検索件数            condition                                        number of matches
//   検索合計            condition, column                                sum of the column's numbers
//   検索A / 検索Ａ      column, operator, value, result column, default   result column of the first
//                                                                        record where column op 'value'
//   検索最小 / 検索最大  as 検索A                                          result column of a record with
//                                                                        the smallest / largest column
//
// Values put between quotes have their quotes doubled, so a value never ends its quote early.
#include <set>

#include "foundation/StrMacro.h"
#include "query/CondText.h"
#include "query/RecSelect.h"

namespace {

AnsiString Arg(const TStrings* args, int i) { return args->Strings(i); }

}  // namespace

AnsiString CRecSelect::GetVariable(const AnsiString& name) {
  if (tables_->Count() == 0) return AnsiString();
  AnsiString table, column;
  SplitColumnName(name, table, column);
  if (table.empty()) table = tables_->Get(0)->Name;
  if (table == ExtendedItemsTableName())
    if (const CTableInfo* info = ExtendedTable()) EvalExtendedItem(info->ColNames->IndexOf(column));
  AnsiString text;
  return GetValue(table, column, text) ? text : AnsiString();
}

CRecSelect& CRecSelect::Nested() {
  if (!nested_) {
    nested_ = std::make_unique<CRecSelect>(owner_);
    nested_->ReportErrors = false;
  }
  return *nested_;
}

bool CRecSelect::RunLookup(const AnsiString& condition, const AnsiString& columns, TStrings& row) {
  return Nested().ListStart(columns, AnsiString(), condition) && nested_->Next(row);
}

AnsiString CRecSelect::CallFunction(const AnsiString& name, const TStrings* args) {
  const int argc = args ? args->Count() : 0;
  const bool first = name == SJ("検索");
  const bool count = name == SJ("検索件数");
  const bool sum = name == SJ("検索合計");
  const bool byOperator = name == SJ("検索A") || name == SJ("検索Ａ");
  const bool least = name == SJ("検索最小");
  const bool most = name == SJ("検索最大");
  if (!first && !count && !sum && !byOperator && !least && !most) return name;

  TStringList row;
  if (first) {
    if (argc < 3) return SJ("検索()");
    return RunLookup(Arg(args, 0), Arg(args, 1), row) && row.Count() > 0 ? row[0] : Arg(args, 2);
  }
  if (count || sum) {
    if (argc < (count ? 1 : 2)) return count ? SJ("検索件数()") : SJ("検索合計()");
    long long matches = 0;
    double total = 0;
    if (Nested().ListStart(count ? AnsiString() : Arg(args, 1), AnsiString(), Arg(args, 0))) {
      CRecSelectHold hold(*nested_);
      for (int r; (r = nested_->NextNB(row)) >= 0; row.Clear(), hold.Breathe()) {
        if (r == 0) continue;
        ++matches;
        double v;
        if (sum && row.Count() > 0 && TryStrToFloat(row[0], v)) total += v;
      }
    }
    return count ? IntToStr(matches) : FloatToStr(total);
  }
  if (argc < 5) return byOperator ? SJ("検索Ａ()") : SJ("検索()");
  const AnsiString column = Arg(args, 0), op = Arg(args, 1), result = Arg(args, 3), fallback = Arg(args, 4);
  const AnsiString base = Format("%s %s '%s'", column.c_str(), op.c_str(), EscapeQuotes(Arg(args, 2)).c_str());
  if (byOperator) return RunLookup(base, result, row) && row.Count() > 0 ? row[0] : fallback;

  if (!RunLookup(base, column, row) || row.Count() == 0) return fallback;
  AnsiString best = row[0];
  // Each round asks for a better value than the last; a value met before (an ordering that does
  // not narrow, as a set's may not) ends the search instead of repeating it.
  std::set<AnsiString> seen{best};
  for (;;) {
    row.Clear();
    const AnsiString better = Format("%s %s '%s' AND (%s)", column.c_str(), least ? "<" : ">",
                                     EscapeQuotes(best).c_str(), base.c_str());
    if (!RunLookup(better, column, row) || row.Count() == 0 || !seen.insert(row[0]).second) break;
    best = row[0];
  }
  row.Clear();
  const AnsiString final = Format("%s = '%s' AND (%s)", column.c_str(), EscapeQuotes(best).c_str(), base.c_str());
  return RunLookup(final, result, row) && row.Count() > 0 ? row[0] : fallback;
}
