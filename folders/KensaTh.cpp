#include "folders/KensaTh.h"

#include <chrono>
#include <memory>
#include <unordered_set>

#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "query/CondText.h"
#include "query/DbHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

// The count boxes are written at most about four times a second.
constexpr auto kShowInterval = std::chrono::milliseconds(250);

// The lookup's outcome: found, not found, or stopped before it knew.
enum class Lookup { Found, Missing, Stopped };

}  // namespace

AnsiString KensaLookupCondition(const AnsiString& relatedItem, const AnsiString& value, int declaredType) {
  if (declaredType == 1 || declaredType == 2) {
    if (value.empty()) return relatedItem + " = ''";
    // A stored number reads back as a number; anything else is quoted, never taken as more of
    // the condition.
    double number;
    if (TryStrToFloat(value, number) && value.find_first_not_of("0123456789+-.eE ") == AnsiString::npos)
      return relatedItem + " = " + value;
  }
  return Format("%s = '%s'", relatedItem.c_str(), EscapeQuotes(value).c_str());
}

TKensaTh::TKensaTh(bool createSuspended) : TThread(createSuspended) {}

void TKensaTh::SetTarget(CRuleFolderTbl* folder, CStringsList* rows, CCapInfoList* columns, int pairIndex) {
  folder_ = folder;
  rows_ = rows;
  columns_ = columns;
  pairIndex_ = pairIndex;
}

void TKensaTh::ShowCounts() {
  if (Edit1) Edit1->SetText(IntToStr(CheckedCount));
  if (Edit2) Edit2->SetText(IntToStr(UnmatchedCount));
}

void TKensaTh::Execute() {
  if (!folder_ || !rows_ || !columns_ || pairIndex_ < 0 || pairIndex_ + 1 >= folder_->Relations.Count()) return;
  CDbHandle* own = folder_->GetDbHandle();
  if (!own) return;

  // The own column may be written with this table's name in front.
  const AnsiString ownColumn = UnqualifyColumnName(folder_->TableName, folder_->Relations[pairIndex_]);
  AnsiString columnText;
  int key = -1;
  for (int i = 0; i < columns_->Count(); ++i) {
    const AnsiString& name = columns_->GetItem(i)->Name;
    columnText += (i ? "," : "") + name;
    if (key < 0 && GetFieldPart(name) == ownColumn) key = i;
  }
  if (key < 0) return;
  const int keyType = columns_->GetItem(key)->DeclaredType;

  const AnsiString relatedItem = folder_->Relations[pairIndex_ + 1];
  CRuleFolderTbl* relatedFolder = folder_->FindTableFolder(GetTablePart(relatedItem), true);
  CDbHandle* related = relatedFolder ? relatedFolder->GetDbHandle() : nullptr;
  if (!related) return;

  const std::unique_ptr<CDbHandle> scan(own->Clone());
  const std::unique_ptr<CDbHandle> lookups(related->Clone());
  CheckedCount = UnmatchedCount = 0;
  std::unordered_set<AnsiString> found, missing;
  auto row = std::make_unique<TStringList>();
  TStringList lookupRow;

  const auto lookUp = [&](const AnsiString& value) {
    TStringList conditions;
    conditions.Add(KensaLookupCondition(relatedItem, value, keyType));
    lookups->ListStart(conditions, relatedItem);
    int r;
    while ((r = lookups->ListNextNB(lookupRow)) == 0 && !Terminated()) {
    }
    lookups->ListEnd();
    return r == 1 ? Lookup::Found : r == 0 ? Lookup::Stopped : Lookup::Missing;
  };

  Clock::time_point shown = Clock::now();
  TStringList none;
  scan->ListStart(none, columnText);
  while (!Terminated()) {
    if (Clock::now() - shown > kShowInterval) {
      shown = Clock::now();
      Synchronize([this] { ShowCounts(); });
    }
    const int r = scan->ListNextNB(*row);
    if (r < 0) break;
    if (r == 0) continue;
    const AnsiString value = key < row->Count() ? (*row)[key] : AnsiString();
    bool matched = found.count(value) > 0;
    if (!matched && !missing.count(value)) {
      // A record whose lookup the stop cut short is not counted: nothing is known of it.
      const Lookup answer = lookUp(value);
      if (answer == Lookup::Stopped) break;
      matched = answer == Lookup::Found;
      (matched ? found : missing).insert(value);
    }
    ++CheckedCount;
    if (matched) continue;
    ++UnmatchedCount;
    rows_->Add(row.release());
    row = std::make_unique<TStringList>();
  }
  scan->ListEnd();
  Synchronize([this] { ShowCounts(); });
}
