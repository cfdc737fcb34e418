#include "foundation/CapInfo.h"

#include <vector>

#include "foundation/LengthPrefixedText.h"
#include "foundation/StreamUtil.h"

// ---- CCapInfo ----

CCapInfo::CCapInfo() : IncreaseMark(SJ("↑")), DecreaseMark(SJ("↓")) {}

CCapInfo::~CCapInfo() { delete Nested; }

CCapInfo* CCapInfo::Assign(const CCapInfo* s) {
  if (!s || s == this) return this;
  // The new nested list is built before the old one goes: the source may live inside it.
  CCapInfoList* nested = nullptr;
  if (s->Nested) {
    nested = new CCapInfoList;
    for (int i = 0; i < s->Nested->Count(); ++i) nested->Add(Clone(s->Nested->GetItem(i)));
  }
  Caption = s->Caption;
  Name = s->Name;
  Type = s->Type;
  DeclaredType = s->DeclaredType;
  Width = s->Width;
  Ditto = s->Ditto;
  DittoMark = s->DittoMark;
  Alignment = s->Alignment;
  Reserved1 = s->Reserved1;
  Ascending = s->Ascending;
  Shown = s->Shown;
  Borders = s->Borders;
  Editable = s->Editable;
  CardLeft = s->CardLeft;
  CardTop = s->CardTop;
  CardWidth = s->CardWidth;
  CardHeight = s->CardHeight;
  CardNewLine = s->CardNewLine;
  CardWordWrap = s->CardWordWrap;
  CardFont = s->CardFont;
  CardLabel = s->CardLabel;
  CardColor = s->CardColor;
  GroupKey = s->GroupKey;
  Reserved2 = s->Reserved2;
  Aggregate = s->Aggregate;
  Position = s->Position;
  SourceIndex = s->SourceIndex;
  SummaryPosition = s->SummaryPosition;
  NumberFormat = s->NumberFormat;
  Flags = s->Flags;
  IncreaseMark = s->IncreaseMark;
  DecreaseMark = s->DecreaseMark;
  CompareBase = s->CompareBase;
  PassNumber = s->PassNumber;
  Expression = s->Expression;
  ColumnOptions = s->ColumnOptions;
  OptionText1 = s->OptionText1;
  OptionText2 = s->OptionText2;
  delete Nested;
  Nested = nested;
  return this;
}

CCapInfo* CCapInfo::Clone(const CCapInfo* source) { return (new CCapInfo)->Assign(source); }

// ---- CCapInfoList ----

CCapInfoList::~CCapInfoList() {
  if (OwnsItems) Clear();
}

void CCapInfoList::Clear() {
  for (void* p : items_) delete static_cast<CCapInfo*>(p);
  TList::Clear();
}

void CCapInfoList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  delete GetItem(index);
  TList::Delete(index);
}

int CCapInfoList::IndexOfCaption(const AnsiString& text) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i) && GetItem(i)->Caption == text) return i;
  return -1;
}

int CCapInfoList::IndexOfName(const AnsiString& text) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i) && GetItem(i)->Name == text) return i;
  return -1;
}

int CCapInfoList::IndexOfFieldName(const AnsiString& text) const {
  for (int i = 0; i < Count(); ++i)
    if (GetItem(i) && GetFieldPart(GetItem(i)->Name) == text) return i;
  return -1;
}

// ---- item names and type names ----

AnsiString GetTablePart(const AnsiString& name) {
  const size_t dot = name.find('.');
  return dot == AnsiString::npos ? AnsiString() : name.substr(0, dot);
}

AnsiString GetFieldPart(const AnsiString& name) {
  const size_t dot = name.find('.');
  return dot == AnsiString::npos ? name : name.substr(dot + 1);
}

namespace {
const char* const kTypeNames[] = {"string", "int", "real", "keyword"};
}

AnsiString FieldTypeName(int code) { return code >= 0 && code <= 3 ? kTypeNames[code] : kTypeNames[0]; }

int FieldTypeFromName(const AnsiString& name) {
  for (int code = 0; code <= 3; ++code)
    if (name == kTypeNames[code]) return code;
  return 0;
}

// ---- record form ----

namespace {

// The smallest record: eight digits and the line feed.
constexpr int64_t kMinRecordBytes = 9;

const char* Bool(bool b) { return b ? "1" : "0"; }

// The unsigned fields are written in unsigned decimal; besides the integer texts every number
// field takes, their reader takes the decimals up to 4294967295, so a high bit survives.
unsigned UnsignedDef(const AnsiString& text, unsigned def) {
  int v;
  if (TryStrToInt(text, v)) return static_cast<unsigned>(v);
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  if (i == text.size()) return def;
  unsigned long long acc = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return def;
    acc = acc * 10 + (text[i] - '0');
    if (acc > 0xFFFFFFFFull) return def;
  }
  return static_cast<unsigned>(acc);
}

AnsiString TextDef(const AnsiString& text, const AnsiString& def) { return text.empty() ? def : text; }

// One record's fields, read but not yet applied.
struct Record {
  TStringList fields;
  int nested = 0;
};

// Reads the next record; false (nothing known about it) when the record is damaged.
bool ReadRecord(TStream* stream, Record& rec) {
  AnsiString line;
  if (!ReadLengthPrefixedLine(stream, line)) return false;
  rec.fields.SetCommaText(line);
  CStreamUtil util(stream, &rec.fields);
  rec.nested = StrToIntDef(CStreamUtil::GetField(&util, 16), 0);
  return true;
}

// How many more records the stream could hold at most.
int64_t RecordsLeft(TStream* stream) {
  const int64_t left = stream->Size() - stream->Position();
  return left > 0 ? left / kMinRecordBytes : 0;
}

void Apply(Record& rec, CCapInfo* c) {
  CStreamUtil util(nullptr, &rec.fields);
  auto text = [&](int i) { return CStreamUtil::GetField(&util, i); };
  auto num = [&](int i, int def) { return StrToIntDef(text(i), def); };
  auto flag = [&](int i, bool def) { return num(i, def ? 1 : 0) != 0; };
  c->Caption = text(0);
  c->Name = text(1);
  c->Type = num(2, 0);
  c->Width = num(3, 64);
  c->Ditto = flag(4, true);
  c->DittoMark = text(5);
  c->Alignment = num(6, 0);
  c->Reserved1 = num(7, -1);
  c->Ascending = flag(8, true);
  c->Shown = flag(9, false);
  c->Borders = flag(10, true);
  c->Editable = flag(11, true);
  c->DeclaredType = num(12, 0);
  c->GroupKey = flag(13, false);
  c->Reserved2 = num(14, 0);
  c->Aggregate = num(15, 0);
  c->CardLeft = num(17, -1);
  c->CardTop = num(18, -1);
  c->CardWidth = num(19, -1);
  c->CardHeight = num(20, -1);
  c->CardNewLine = flag(21, true);
  c->CardWordWrap = flag(22, true);
  c->NumberFormat = text(23);
  c->Flags = UnsignedDef(text(24), 0);
  c->IncreaseMark = TextDef(text(25), SJ("△"));
  c->DecreaseMark = TextDef(text(26), SJ("▼"));
  c->CompareBase = TextDef(text(27), "-1");
  c->CardFont = text(28);
  c->CardLabel = flag(29, true);
  c->Expression = text(30);
  c->ColumnOptions = UnsignedDef(text(31), 0);
  c->OptionText1 = text(32);
  c->OptionText2 = text(33);
  c->CardColor = num(34, clWindow);
  if (rec.nested <= 0) {
    delete c->Nested;
    c->Nested = nullptr;
  } else if (!c->Nested) {
    c->Nested = new CCapInfoList;
  }
}

}  // namespace

bool CapInfoListToText(const CCapInfo* c, TStream* stream) {
  if (!c || !stream) return false;
  TStringList f;
  f.Add(c->Caption);
  f.Add(c->Name);
  f.Add(IntToStr(c->Type));
  f.Add(IntToStr(c->Width));
  f.Add(Bool(c->Ditto));
  f.Add(c->DittoMark);
  f.Add(IntToStr(c->Alignment));
  f.Add(IntToStr(c->Reserved1));
  f.Add(Bool(c->Ascending));
  f.Add(Bool(c->Shown));
  f.Add(Bool(c->Borders));
  f.Add(Bool(c->Editable));
  f.Add(IntToStr(c->DeclaredType));
  f.Add(Bool(c->GroupKey));
  f.Add(IntToStr(c->Reserved2));
  f.Add(IntToStr(c->Aggregate));
  f.Add(IntToStr(c->Nested ? c->Nested->Count() : 0));
  f.Add(IntToStr(c->CardLeft));
  f.Add(IntToStr(c->CardTop));
  f.Add(IntToStr(c->CardWidth));
  f.Add(IntToStr(c->CardHeight));
  f.Add(Bool(c->CardNewLine));
  f.Add(Bool(c->CardWordWrap));
  f.Add(c->NumberFormat);
  f.Add(UIntToStr(c->Flags));
  f.Add(c->IncreaseMark);
  f.Add(c->DecreaseMark);
  f.Add(c->CompareBase);
  f.Add(c->CardFont);
  f.Add(Bool(c->CardLabel));
  f.Add(c->Expression);
  f.Add(UIntToStr(c->ColumnOptions));
  f.Add(c->OptionText1);
  f.Add(c->OptionText2);
  f.Add(IntToStr(c->CardColor));
  const bool ok = WriteLengthPrefixedString(stream, f.CommaText() + "\n");
  if (c->Nested) {
    // The count above promised one record per entry: an empty entry goes out as a new descriptor.
    const CCapInfo blank;
    for (int i = 0; i < c->Nested->Count(); ++i) {
      const CCapInfo* n = c->Nested->GetItem(i);
      CapInfoListToText(n ? n : &blank, stream);
    }
  }
  return ok;
}

bool CapInfoListFromText(CCapInfo* info, TStream* stream) {
  if (!info || !stream) return false;
  Record rec;
  if (!ReadRecord(stream, rec)) return false;
  // No count is trusted beyond the records the stream could still hold.
  rec.nested = static_cast<int>(std::min<int64_t>(rec.nested, RecordsLeft(stream)));
  Apply(rec, info);

  // Depth first without recursion. Each open level remembers how many of its nested records are
  // still to come; together they never claim more records than the stream can hold, which keeps
  // a damaged count from creating descriptors out of nothing.
  struct Level {
    CCapInfo* parent;
    int left;
  };
  std::vector<Level> open;
  int64_t pending = 0;
  if (rec.nested > 0) {
    open.push_back({info, rec.nested});
    pending = rec.nested;
  }
  while (!open.empty()) {
    Level& level = open.back();
    if (level.left == 0) {
      open.pop_back();
      continue;
    }
    --level.left;
    --pending;
    CCapInfo* child = new CCapInfo;
    level.parent->Nested->Add(child);
    Record sub;
    if (!ReadRecord(stream, sub)) continue;  // unreadable: the child keeps its defaults
    // A damaged count is cut to what could still follow; past the depth limit there is none.
    const int64_t room = std::max<int64_t>(0, RecordsLeft(stream) - pending);
    if (static_cast<int>(open.size()) >= CAPINFO_MAX_DEPTH) sub.nested = 0;
    else if (sub.nested > room) sub.nested = static_cast<int>(room);
    Apply(sub, child);
    if (sub.nested > 0) {
      open.push_back({child, sub.nested});
      pending += sub.nested;
    }
  }
  return true;
}

// ---- fonts ----

int FontStyleToBits(TFontStyles style) { return style & (fsBold | fsItalic | fsUnderline | fsStrikeOut); }

TFontStyles BitsToFontStyle(int bits) { return bits & (fsBold | fsItalic | fsUnderline | fsStrikeOut); }

bool SameFontStyle(TFontStyles a, TFontStyles b) { return FontStyleToBits(a) == FontStyleToBits(b); }

AnsiString FontToText(const TFont* font, const TFont* ref) {
  if (!font) return AnsiString();
  if (ref && font->Charset() == ref->Charset() && font->Color() == ref->Color() && font->Name() == ref->Name() &&
      font->Pitch() == ref->Pitch() && font->Size() == ref->Size() && SameFontStyle(font->Style(), ref->Style()))
    return AnsiString();
  TStringList f;
  f.Add(IntToStr(font->Charset()));
  f.Add(IntToStr(font->Color()));
  f.Add(font->Name());
  f.Add(IntToStr(font->Pitch()));
  f.Add(IntToStr(font->Size()));
  f.Add(IntToStr(FontStyleToBits(font->Style())));
  return f.CommaText();
}

bool FontFromText(TFont* font, const AnsiString& text) {
  if (!font || text.empty()) return false;
  TStringList f;
  f.SetCommaText(text);
  const int n = f.Count();
  if (n > 0) font->SetCharset(StrToIntDef(f[0], 0));
  if (n > 1) font->SetColor(StrToIntDef(f[1], 0));
  if (n > 2) font->SetName(f[2]);
  if (n > 3) {
    const int pitch = StrToIntDef(f[3], 0);
    font->SetPitch(pitch >= fpDefault && pitch <= fpFixed ? static_cast<TFontPitch>(pitch) : fpDefault);
  }
  if (n > 4) font->SetSize(StrToIntDef(f[4], 0));
  if (n > 5) font->SetStyle(BitsToFontStyle(StrToIntDef(f[5], 0)));
  return true;
}
