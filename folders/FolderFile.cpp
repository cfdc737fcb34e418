// The folder file: the whole tree as a sequence of length-prefixed text records.
//
// Per folder, its block:
//   1. table folders only: the table-folder record (5 fields: table name, data file, "", "",
//      the comma text of the relations)
//   2. the folder record (26 fields, below)
//   3. field 8 display-column trees, then field 13 summary-column trees (descriptor records, each
//      followed by its nested ones)
//   4. with own display columns only: field 17 card-layout lines, field 18 summary-card lines
//   5. field 9 not 0: the two table records of the database handle
//   6. per sub-folder: its type key ("table" or "", a length-prefixed text without line feed),
//      then its block
// The root is a plain block: no type key, no table-folder record, field 9 always 0.
//
// Folder record (integers in decimal; a field that is no whole decimal number reads as the
// default shown):
//   0 name ""            7 sub-folders 0        14 closed icon -1      21 CSV directory ""
//   1 kind 0             8 display columns 0    15 open icon -1        22 command name ""
//   2 condition ""       9 own handle 0/1       16 card print ""       23 description ""
//   3 enumeration item   10 max search -1       17 card lines 0        24 script ""
//   4 string length 0    11 lock mask 0         18 sum-card lines 0    25 target 0
//   5 max enum count 0   12 flags 0             19 sum-card print ""
//   6 group ""           13 summary columns 0   20 CSV filter 0
// Fields 16-21 carry the folder's own values only when it has own display columns.
//
// Reading trusts nothing: a unit that does not read is left out (a sub-folder with its subtree)
// and counted at the root; a loop stops at the first read that consumed nothing, and folders
// nest at most FOLDER_MAX_DEPTH levels.
#include <cerrno>
#include <cstring>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/LengthPrefixedText.h"
#include "foundation/LogForm.h"
#include "foundation/StreamUtil.h"
#include "platform/SysUtils.h"
#include "query/DbHandle.h"

namespace {

bool WriteRecord(TStream* stream, const TStrings& fields) {
  return WriteLengthPrefixedString(stream, fields.CommaText() + "\n");
}

bool ReadRecord(TStream* stream, TStrings& fields) {
  AnsiString line;
  if (!ReadLengthPrefixedLine(stream, line)) return false;
  fields.SetCommaText(line);
  return true;
}

// A whole decimal number ("-" allowed) within the int range, else def.
int DecimalField(const CStreamUtil& record, int index, int def) {
  const AnsiString text = CStreamUtil::GetField(&record, index);
  size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i >= text.size()) return def;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return def;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return def;
  }
  if (text[0] == '-') value = -value;
  if (value > 2147483647LL) return def;
  return static_cast<int>(value);
}

AnsiString BaseOf(const AnsiString& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

}  // namespace

// ---- Saving ------------------------------------------------------------------------------------

bool CRuleFolder::Save(TStream* stream) {
  const bool own = CapInfoList != nullptr;
  TStringList f;
  f.Add(Name);
  f.Add(IntToStr(Kind));
  f.Add(Condition);
  f.Add(EnumItem);
  f.Add(IntToStr(StrLength));
  f.Add(IntToStr(MaxEnumCount));
  f.Add(Group);
  f.Add(IntToStr(Children.Count()));
  f.Add(IntToStr(own ? CapInfoList->Count() : 0));
  f.Add(DbHandle ? "1" : "0");
  f.Add(IntToStr(MaxSearchCount));
  f.Add(IntToStr(LockMask));
  f.Add(IntToStr(Flags));
  f.Add(IntToStr(SumCapInfoList ? SumCapInfoList->Count() : 0));
  f.Add(IntToStr(ClosedImage));
  f.Add(IntToStr(OpenImage));
  f.Add(own ? CardPrintSettings : AnsiString());
  f.Add(IntToStr(own && CardLayout ? CardLayout->Count() : 0));
  f.Add(IntToStr(own && SumCardLayout ? SumCardLayout->Count() : 0));
  f.Add(own ? SumCardPrintSettings : AnsiString());
  f.Add(IntToStr(own ? CsvFilterIndex : 0));
  f.Add(own ? CsvDir : AnsiString());
  f.Add(CommandName);
  f.Add(Description);
  f.Add(Script);
  f.Add(IntToStr(Target));
  if (!WriteRecord(stream, f)) return false;

  for (int i = 0; own && i < CapInfoList->Count(); ++i)
    if (!CapInfoListToText(CapInfoList->GetItem(i), stream)) return false;
  for (int i = 0; SumCapInfoList && i < SumCapInfoList->Count(); ++i)
    if (!CapInfoListToText(SumCapInfoList->GetItem(i), stream)) return false;
  for (const TStringList* lines : {CardLayout, SumCardLayout})
    for (int i = 0; own && lines && i < lines->Count(); ++i)
      if (!WriteLengthPrefixedString(stream, (*lines)[i])) return false;
  if (DbHandle && !DbHandle->SaveTables(stream)) return false;
  for (int i = 0; i < Children.Count(); ++i) {
    CRuleFolder* child = Children.Get(i);
    if (!WriteLengthPrefixedString(stream, child->GetTypeName()) || !child->Save(stream)) return false;
  }
  return true;
}

bool CTopRuleFolder::Save(TStream* stream) {
  CDbHandle* handle = DbHandle;
  DbHandle = nullptr;
  const bool saved = CRuleFolder::Save(stream);
  DbHandle = handle;
  return saved;
}

bool CRuleFolderTbl::Save(TStream* stream) {
  TStringList f;
  f.Add(TableName);
  f.Add(DataFile);
  f.Add(AnsiString());
  f.Add(AnsiString());
  f.Add(Relations.CommaText());
  if (!WriteRecord(stream, f)) return false;
  return CRuleFolder::Save(stream);
}

// ---- Loading -----------------------------------------------------------------------------------

void CRuleFolder::NoteLoadSkip() {
  if (CTopRuleFolder* top = GetTop()) ++top->LoadSkipped;
}

bool CRuleFolder::LoadColumns(TStream* stream, int count, CCapInfoList*& list) {
  if (list == CapInfoList) ForgetListedColumns();
  if (list) list->Clear();
  if (count <= 0) return true;
  if (!list) list = new CCapInfoList;
  for (int i = 0; i < count; ++i) {
    const int64_t at = stream->Position();
    auto* info = new CCapInfo;
    if (CapInfoListFromText(info, stream)) {
      list->Add(info);
      continue;
    }
    delete info;
    NoteLoadSkip();
    if (stream->Position() <= at) return false;
  }
  return true;
}

bool CRuleFolder::LoadLines(TStream* stream, int count, TStringList*& lines) {
  if (count <= 0) {
    delete lines;
    lines = nullptr;
    return true;
  }
  if (lines) lines->Clear();
  else lines = new TStringList;
  for (int i = 0; i < count; ++i) {
    const int64_t at = stream->Position();
    AnsiString line;
    if (ReadLengthPrefixedString(stream, line)) {
      lines->Add(line);
      continue;
    }
    NoteLoadSkip();
    if (stream->Position() <= at) return false;
  }
  return true;
}

bool CRuleFolder::Load(TStream* stream) {
  TStringList fields;
  if (!ReadRecord(stream, fields)) return false;
  const CStreamUtil r(stream, &fields);
  Name = CStreamUtil::GetField(&r, 0);
  Kind = DecimalField(r, 1, 0);
  Condition = CStreamUtil::GetField(&r, 2);
  EnumItem = CStreamUtil::GetField(&r, 3);
  StrLength = DecimalField(r, 4, 0);
  MaxEnumCount = DecimalField(r, 5, 0);
  Group = CStreamUtil::GetField(&r, 6);
  const int children = DecimalField(r, 7, 0);
  const int columns = DecimalField(r, 8, 0);
  const bool handle = DecimalField(r, 9, 0) != 0;
  MaxSearchCount = DecimalField(r, 10, -1);
  LockMask = DecimalField(r, 11, 0);
  Flags = DecimalField(r, 12, 0);
  const int sumColumns = DecimalField(r, 13, 0);
  ClosedImage = DecimalField(r, 14, -1);
  OpenImage = DecimalField(r, 15, -1);
  CardPrintSettings = CStreamUtil::GetField(&r, 16);
  const int cardLines = DecimalField(r, 17, 0);
  const int sumCardLines = DecimalField(r, 18, 0);
  SumCardPrintSettings = CStreamUtil::GetField(&r, 19);
  CsvFilterIndex = DecimalField(r, 20, 0);
  CsvDir = CStreamUtil::GetField(&r, 21);
  CommandName = CStreamUtil::GetField(&r, 22);
  Description = CStreamUtil::GetField(&r, 23);
  Script = CStreamUtil::GetField(&r, 24);
  Target = DecimalField(r, 25, 0);

  // Each step reads on from wherever the one before stopped; only a step that could read nothing
  // at all ends the rest of this folder's block.
  bool more = LoadColumns(stream, columns, CapInfoList) && LoadColumns(stream, sumColumns, SumCapInfoList) &&
              LoadLines(stream, cardLines, CardLayout) && LoadLines(stream, sumCardLines, SumCardLayout);

  if (!handle) {
    delete DbHandle;
    DbHandle = nullptr;
  } else if (more) {
    if (!DbHandle) DbHandle = new CDbHandle;
    if (!DbHandle->LoadTables(stream)) NoteLoadSkip();
  }

  Children.Clear();
  const int depth = Depth();
  for (int i = 0; more && i < children; ++i) {
    if (depth >= FOLDER_MAX_DEPTH) {
      NoteLoadSkip();
      break;
    }
    const int64_t at = stream->Position();
    CRuleFolder* child = CreateChild(this, stream);
    if (!child) {
      NoteLoadSkip();
      more = stream->Position() > at;
      continue;
    }
    Children.Add(child);
    // A sub-folder whose own records do not read is left out with its subtree, rather than kept
    // with the settings of a new folder that the next save would write as real.
    if (!child->Load(stream)) {
      Children.Delete(Children.Count() - 1);
      NoteLoadSkip();
    }
  }
  return true;
}

CRuleFolder* CRuleFolder::CreateChild(CRuleFolder* parent, TStream* stream) {
  if (Parent) return Parent->CreateChild(parent, stream);
  AnsiString key;
  if (!ReadLengthPrefixedString(stream, key)) return nullptr;
  return new CRuleFolder(parent);
}

CRuleFolder* CTopRuleFolder::CreateChild(CRuleFolder* parent, TStream* stream) {
  AnsiString key;
  if (!ReadLengthPrefixedString(stream, key)) return nullptr;
  if (key == "table") return new CRuleFolderTbl(parent);
  if (key.empty()) return new CRuleFolder(parent);
  return nullptr;
}

bool CTopRuleFolder::Load(TStream* stream) {
  LoadSkipped = 0;
  if (!CRuleFolder::Load(stream)) return false;
  delete DbHandle;
  DbHandle = new CDbHandle;
  for (int i = 0; i < Children.Count(); ++i)
    if (Children.Get(i)->GetTypeName() == "table") static_cast<CRuleFolderTbl*>(Children.Get(i))->ResetTables();
  return true;
}

bool CRuleFolderTbl::Load(TStream* stream) {
  TStringList fields;
  if (!ReadRecord(stream, fields)) return false;
  const CStreamUtil r(stream, &fields);
  TableName = CStreamUtil::GetField(&r, 0);
  DataFile = CStreamUtil::GetField(&r, 1);
  Relations.SetCommaText(CStreamUtil::GetField(&r, 4));
  // Relations are pairs whose related item is never empty: empty entries at the end carry
  // nothing, and a comma text would lose one of them at each save, so a file would never read
  // back as it was written.
  while (Relations.Count() > 0 && Relations[Relations.Count() - 1].empty()) Relations.Delete(Relations.Count() - 1);
  if (!CRuleFolder::Load(stream)) return false;
  Flags = FOLDER_FLAGS_TABLE;
  if (!CapInfoList) CapInfoList = new CCapInfoList;
  if (!SumCapInfoList) SumCapInfoList = new CCapInfoList;
  // A table folder always has a handle of its own, also when its record said otherwise: binding
  // its table must never empty the handle of the root.
  if (!DbHandle) DbHandle = new CDbHandle;
  DbHandle->SetTableResolver([this](const AnsiString& table) { return ResolveTableFile(table); });
  return true;
}

// ---- The file ----------------------------------------------------------------------------------

bool RotateFolderBackups(CTopRuleFolder* root, int generations, const AnsiString& newFile) {
  if (!root || root->WritePath.empty()) return false;
  const AnsiString base = BaseOf(root->WritePath);
  auto generation = [&](int k) { return k == 0 ? root->WritePath : Format("%s_%d.fld", base.c_str(), k); };
  struct Move {
    AnsiString from, to;
  };
  std::vector<Move> done;
  auto move = [&](const AnsiString& from, const AnsiString& to) {
    if (!RenameFile(from, to)) {
      for (auto it = done.rbegin(); it != done.rend(); ++it) RenameFile(it->to, it->from);
      return false;
    }
    done.push_back({from, to});
    return true;
  };
  // The oldest generation is only put aside until every other step has succeeded.
  AnsiString aside;
  if (generations > 0 && FileExists(generation(generations))) {
    aside = generation(generations) + ".old";
    if (!move(generation(generations), aside)) return false;
  }
  for (int k = generations; k >= 1; --k)
    if (FileExists(generation(k - 1)) && !move(generation(k - 1), generation(k))) return false;
  if (!newFile.empty() && !move(newFile, root->WritePath)) return false;
  if (!aside.empty()) DeleteFile(aside);
  return true;
}

bool CTopRuleFolder::SaveFolderFile() {
  SaveError.clear();
  if (WritePath.empty()) {
    SaveError = SJ("保存先のファイル名がありません");
    return false;
  }
  TMemoryStream bytes;
  if (!Save(&bytes)) {
    SaveError = SJ("フォルダの情報を書き出せません");
    return false;
  }
  const AnsiString temporary = WritePath + ".tmp";
  const bool written = WriteFileDurably(temporary, bytes.Memory(), static_cast<size_t>(bytes.Size()));
  if (!written || !RotateFolderBackups(this, 4, temporary)) {
    // The reason is taken before the clean-up can overwrite it.
    SaveError = (written ? WritePath : temporary) + " (" + std::strerror(errno) + ")";
    DeleteFile(temporary);
    return false;
  }
  return true;
}

bool CTopRuleFolder::LoadFolderFile() {
  TMemoryStream bytes;
  if (!FileExists(ReadPath) || !bytes.LoadFromFile(ReadPath)) return false;
  const AnsiString base = BaseOf(WritePath);
  RootNode->Children.Clear();
  if (!Load(&bytes)) {
    ReportError(SJ("フォルダファイル %s を読めませんでした。以前の版は %s_1.fld ～ %s_4.fld にあります。").c_str(),
                ReadPath.c_str(), base.c_str(), base.c_str());
    return false;
  }
  RootNode->Name = Name;
  if (LoadSkipped > 0)
    ReportError(SJ("フォルダファイル %s の %d 個の項目が読めなかったため、読み飛ばしました。以前の版は %s_1.fld ～ %s_4.fld にあります。")
                    .c_str(),
                ReadPath.c_str(), LoadSkipped, base.c_str(), base.c_str());
  return true;
}
