// The column descriptor: how one item (a table column, an extended item or a summary column) is
// shown, typed, sorted, placed on a card and summarised; its list; its record form in the folder
// file; and the font text in which descriptors and settings keep fonts.
//
// Descriptor record: one length-prefixed text record ("%08x" byte count, then the bytes) holding
// the comma text of the 35 fields below and a line feed. The records of the nested descriptors
// follow it directly, depth first, each followed by its own nested records.
//
//   index  field            written as       read back when empty or not an integer text
//   0      Caption          text             empty
//   1      Name             text             empty
//   2      Type             integer          0
//   3      Width            integer          64
//   4      Ditto            0/1              1
//   5      DittoMark        text             empty
//   6      Alignment        integer          0
//   7      Reserved1        integer          -1
//   8      Ascending        0/1              1
//   9      Shown            0/1              0
//   10     Borders          0/1              1
//   11     Editable         0/1              1
//   12     DeclaredType     integer          0
//   13     GroupKey         0/1              0
//   14     Reserved2        integer          0
//   15     Aggregate        integer          0
//   16     nested count     integer          0
//   17-20  CardLeft, CardTop, CardWidth, CardHeight   integer   -1 each
//   21     CardNewLine      0/1              1
//   22     CardWordWrap     0/1              1
//   23     NumberFormat     text             empty
//   24     Flags            unsigned         0
//   25     IncreaseMark     text             "△"
//   26     DecreaseMark     text             "▼"
//   27     CompareBase      text             "-1"
//   28     CardFont         font text        empty
//   29     CardLabel        0/1              1
//   30     Expression       text             empty
//   31     ColumnOptions    unsigned         0
//   32     OptionText1      text             empty
//   33     OptionText2      text             empty
//   34     CardColor        integer          0x80000005 (-2147483643)
//
// Records of an older form end after field 24; their later fields take the defaults above, which
// differ from a new descriptor's marks ("↑", "↓") and comparison base (empty). The run-time fields
// (Position, SourceIndex, SummaryPosition, PassNumber) are never written.
//
// Font text: the comma text of charset, colour, face name, pitch (0 default, 1 variable, 2 fixed),
// size in points and style bits (bold 1, italic 2, underline 4, strikeout 8), numbers in decimal.
#pragma once

#include "platform/Classes.h"
#include "platform/Graphics.h"

class CCapInfoList;
class CStringsList;  // the main window's record rows; only pointed to here

// Flag bits of CCapInfo::Flags.
constexpr unsigned CI_THOUSANDS = 0x1;       // thousands separators in integer and real cells
constexpr unsigned CI_RATIO = 0x2;           // summary: show a ratio
constexpr unsigned CI_PERCENT = 0x4;         // summary: the ratio as a percentage
constexpr unsigned CI_MARKS = 0x8;           // summary: increase and decrease marks
constexpr unsigned CI_DETAIL_OWN = 0x10;     // the detail grid decides by CI_DETAIL_SHOWN
constexpr unsigned CI_DETAIL_SHOWN = 0x20;   // shown in the detail grid
constexpr unsigned CI_EXTENDED = 0x40;       // computed from Expression
constexpr unsigned CI_CARD_BORDER = 0x80;    // single-line border round the card field
constexpr unsigned CI_CARD_KIND = 0xF00;     // 0x000 text, 0x100 barcode, 0x200 picture
constexpr unsigned CI_SORT_KIND = 0xF000;    // 0x1000 weekdays, 0x2000 host addresses, 0x3000 domains
constexpr unsigned CI_SORT_FLIPPED = 0x10000;  // the sort direction is flipped

// One descriptor. Owns its texts and its nested list; copies go through Assign and Clone only, so
// that a descriptor never stands in two owning lists.
class CCapInfo {
 public:
  CCapInfo();
  ~CCapInfo();
  CCapInfo(const CCapInfo&) = delete;
  CCapInfo& operator=(const CCapInfo&) = delete;

  // Copies every field, the run-time and reserved ones included; the nested list becomes a new
  // owning list of clones (or null). Source null: nothing changes. Answers this.
  CCapInfo* Assign(const CCapInfo* source);
  // A new descriptor equal to source (the defaults when source is null); the caller owns it.
  static CCapInfo* Clone(const CCapInfo* source);

  AnsiString Caption;       // heading in grids, label on cards
  AnsiString Name;          // "table.column"
  int Type = 0;             // 0 text, 1 integer, 2 real
  int DeclaredType = 0;     // the table column's type code (FieldTypeName)
  int Width = 64;           // grid column width in pixels
  bool Ditto = true;        // show DittoMark for a value repeated from the row above
  AnsiString DittoMark;
  int Alignment = 0;        // 0 left, 1 centre, 2 right
  int Reserved1 = -1;
  bool Ascending = true;
  bool Shown = false;       // shown in the record grid
  bool Borders = true;
  bool Editable = true;
  int CardLeft = -1;        // card top below 0: the card arranges the field itself
  int CardTop = -1;
  int CardWidth = -1;       // below 0: the grid width and a height of 20
  int CardHeight = -1;
  bool CardNewLine = true;
  bool CardWordWrap = true;
  AnsiString CardFont;      // font text; empty: the card's own font
  bool CardLabel = true;
  TColor CardColor = clWindow;
  bool GroupKey = false;    // summary: a grouping key rather than a value column
  int Reserved2 = 0;
  int Aggregate = 0;        // 0 count, 1 minimum, 2 maximum, 3 range, 4 sum, 5 average
  CCapInfoList* Nested = nullptr;  // owned, may be null
  int Position = -1;        // run time: index of the column's text in a record row
  int SourceIndex = 0;      // run time: the summary engine's source column
  int SummaryPosition = 0;  // run time: index in the summary column list
  AnsiString NumberFormat;  // real cells: empty, "0", or "0." and one zero per decimal
  unsigned Flags = 0;       // CI_* bits
  AnsiString IncreaseMark;  // "↑"
  AnsiString DecreaseMark;  // "↓"
  AnsiString CompareBase;   // summary: "-1" the previous value, "1" the first
  int PassNumber = 0;       // run time: the summary's search pass
  AnsiString Expression;    // extended item: the text-macro expression
  unsigned ColumnOptions = 0;  // the table column's option flags
  AnsiString OptionText1;
  AnsiString OptionText2;
};

// A list of descriptors. Rows points to the record rows the list currently describes (not
// owned). The destructor deletes the descriptors only when OwnsItems is set; Clear and Delete
// always delete them.
class CCapInfoList : public TList {
 public:
  CCapInfoList() = default;
  ~CCapInfoList() override;
  CCapInfoList(const CCapInfoList&) = delete;
  CCapInfoList& operator=(const CCapInfoList&) = delete;

  void Clear() override;
  // Deletes the descriptor at index and removes its entry; an index out of range does nothing.
  void Delete(int index);
  // The descriptor at index; an index out of range throws EListError.
  CCapInfo* GetItem(int index) const { return static_cast<CCapInfo*>(Items(index)); }
  // Index of the first descriptor whose heading, item name, or the item name's part after its
  // first period equals text byte for byte; -1 when none does.
  int IndexOfCaption(const AnsiString& text) const;
  int IndexOfName(const AnsiString& text) const;
  int IndexOfFieldName(const AnsiString& text) const;

  CStringsList* Rows = nullptr;
  bool OwnsItems = true;
};

// "table.column" -> "table" (empty without a period or with one at the start) and "column" (the
// whole text without a period).
AnsiString GetTablePart(const AnsiString& name);
AnsiString GetFieldPart(const AnsiString& name);
// Type codes 0-3 <-> "string", "int", "real", "keyword"; other codes give "string", other texts
// (case matters) 0.
AnsiString FieldTypeName(int code);
int FieldTypeFromName(const AnsiString& name);

// Writes the descriptor's record and then its nested records; the result is that of its own
// record.
bool CapInfoListToText(const CCapInfo* info, TStream* stream);
// Reads one record into info, then its nested records (appended to an existing nested list).
// False, with info unchanged, when its own record is damaged: short, not "%08x", empty, without
// its line feed, or claiming more nested records than the stream can still hold. A nested record
// that cannot be read, or that would nest more than CAPINFO_MAX_DEPTH levels below info or claim
// more records than can follow, leaves a descriptor with the defaults in its place, and reading
// goes on with the next record.
bool CapInfoListFromText(CCapInfo* info, TStream* stream);
constexpr int CAPINFO_MAX_DEPTH = 64;

// The font text of font; empty for a null font, or when ref is given and agrees in all six
// attributes.
AnsiString FontToText(const TFont* font, const TFont* ref);
// Sets the attributes whose fields the text holds (a number that does not read, or a pitch
// outside 0-2, as 0); false, with the font untouched, for an empty text or a null font.
bool FontFromText(TFont* font, const AnsiString& text);
int FontStyleToBits(TFontStyles style);
TFontStyles BitsToFontStyle(int bits);
bool SameFontStyle(TFontStyles a, TFontStyles b);
