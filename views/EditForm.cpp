#include "views/EditForm.h"

#include "foundation/CapInfo.h"
#include "foundation/Lexer.h"

namespace {

constexpr char BS = 8;

// Keys of the input method: they never open the candidates popup.
bool IsInputMethodKey(uint16_t key) {
  switch (key) {
    case 0x15:  // kana
    case 0x17:  // junja
    case 0x18:  // final
    case 0x19:  // kanji
    case 0x1C:  // convert
    case 0x1D:  // non-convert
    case 0x1E:  // accept
    case 0x1F:  // mode change
    case 0xE5:  // process key
      return true;
    default: return false;
  }
}

}  // namespace

TEditDlg::TEditDlg(TComponent* owner) : TForm(owner) {
  Name = "EditDlg";
  SetBorderStyle(bsSizeable);
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 640, 420);

  Panel1 = new TPanel(this);
  Panel1->Name = "Panel1";
  Panel1->SetParent(this);
  Panel1->SetAlign(alBottom);
  Panel1->SetHeight(41);
  Panel1->SetBevelOuter(bvNone);
  OKBtn = new TButton(this);
  OKBtn->Name = "OKBtn";
  OKBtn->SetParent(Panel1);
  OKBtn->SetCaption("OK");
  OKBtn->SetBounds(0, 8, 80, 25);
  OKBtn->ModalResult = mrOk;
  CancelBtn = new TButton(this);
  CancelBtn->Name = "CancelBtn";
  CancelBtn->SetParent(Panel1);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->SetBounds(96, 8, 80, 25);
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;

  // The designed grid lends the sheet its place, options and handlers, and goes.
  auto* designed = new TStringGridEx(this);
  designed->Name = "StringGridEx1x";
  designed->SetParent(this);
  designed->SetAlign(alClient);
  designed->SetColCount(1);
  designed->SetDefaultColWidth(32);
  designed->SetDefaultRowHeight(20);
  designed->SetFixedCols(0);
  designed->SetRowCount(2);
  designed->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect | goColSizing |
                       goTabs | goThumbTracking);
  designed->TabStop = true;
  designed->OnEnter = [this](TObject* s) { SheetEnterExit(s); };
  designed->OnExit = [this](TObject* s) { SheetEnterExit(s); };
  designed->OnSelectCell = [this](TObject* s, int c, int r, bool& can) { SheetSelectCell(s, c, r, can); };
  designed->OnGetEditText = [this](TObject* s, int c, int r, AnsiString& v) { SheetGetEditText(s, c, r, v); };
  designed->OnSetEditText = [this](TObject* s, int c, int r, const AnsiString& v) { SheetSetEditText(s, c, r, v); };
  designed->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { SheetKeyDown(s, k, sh); };
  designed->OnDblClick = [this](TObject* s) { SheetDblClick(s); };
  designed->OnTopLeftChanged = [this](TObject* s) { SheetTopLeftChanged(s); };

  Sheet = new TKelmGrid(this);
  Sheet->Name = "KelmGrid1";
  Sheet->SetParms(designed);
  delete designed;
  Sheet->OnCopyCell = [this](TObject* s, int c, int r, AnsiString& t) { SheetCopyCell(s, c, r, t); };
  Sheet->OnPasteCell = [this](TObject* s, int c, int r, const AnsiString& t) { SheetPasteCell(s, c, r, t); };

  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnResize = [this](TObject* s) { FormResize(s); };
  FormResize(this);
}

TEditDlg::~TEditDlg() { Destroying(); }

// ---- Columns ----

CCapInfo* TEditDlg::ColumnInfo(int col) const {
  if (!CapList || col < 0 || col >= Sheet->ColCount()) return nullptr;
  const intptr_t i = reinterpret_cast<intptr_t>(Sheet->Objects(col, 0));
  return i >= 0 && i < CapList->Count() ? CapList->GetItem(static_cast<int>(i)) : nullptr;
}

bool TEditDlg::ColumnCanEdit(int col) const {
  TGridColumns* columns = Sheet->GridColumns();
  return col >= 0 && col < columns->Count() && columns->Items(col)->CanEdit;
}

bool TEditDlg::EditableInfo(int col) const {
  const CCapInfo* info = ColumnInfo(col);
  return info && info->Editable;
}

int TEditDlg::ColumnOfName(const AnsiString& name) const {
  for (int c = 1; c < Sheet->ColCount(); ++c)
    if (const CCapInfo* info = ColumnInfo(c); info && info->Name == name) return c;
  return -1;
}

bool TEditDlg::OfferToPopup(int col, int row, const AnsiString& text) {
  return CandForm && CandForm->TakeOverValue(col, row, text);
}

// ---- Window ----

void TEditDlg::FormShow(TObject*) {
  Sheet->SetOptions(Sheet->Options() | goEditing);
  FormResize(this);
  if (Sheet->ColCount() > 1) Sheet->SetCol(1);
  if (Sheet->RowCount() > 1) Sheet->SetRow(1);
  if (Sheet->CanFocus()) Sheet->SetFocus();
  Sheet->ClearSelRange();
  if (CandForm) {
    CandForm->CloseCandidates();
    CandForm->SetSource(Folder, ListGrid, Sheet, CapList);
  }
  curCol_ = curRow_ = -1;
}

void TEditDlg::FormCloseQuery(TObject*, bool& canClose) {
  if (CandForm && CandForm->Visible()) CandForm->CloseCandidates();
  canClose = true;
}

void TEditDlg::FormClose(TObject*, TCloseAction&) {
  Sheet->SetOptions(Sheet->Options() & ~goEditing);
  Sheet->HideEditor();
  Folder = nullptr;
  ListGrid = nullptr;
  CapList = nullptr;
  if (CandForm) {
    CandForm->Reset();
    CandForm->CloseCandidates();
  }
}

void TEditDlg::FormResize(TObject*) {
  const int gap = CancelBtn->Left() - OKBtn->Left();
  const int pair = gap + CancelBtn->Width();
  const int left = (Panel1->Width() - pair) / 2;
  OKBtn->SetLeft(left);
  CancelBtn->SetLeft(left + gap);
}

// ---- The sheet and the candidates popup ----

void TEditDlg::SheetEnterExit(TObject*) { curCol_ = curRow_ = -1; }

void TEditDlg::SheetSelectCell(TObject*, int col, int row, bool&) {
  if (CandForm) CandForm->CloseCandidates();
  curCol_ = col;
  curRow_ = row;
}

void TEditDlg::SheetGetEditText(TObject*, int col, int row, AnsiString&) {
  curCol_ = col;
  curRow_ = row;
}

void TEditDlg::SheetSetEditText(TObject*, int col, int row, const AnsiString& value) {
  if (EditableInfo(col) && CandForm) CandForm->ShowCandidates(col, row, value);
  curCol_ = col;
  curRow_ = row;
}

void TEditDlg::SheetKeyDown(TObject*, uint16_t& key, TShiftState shift) {
  if (!CandForm) return;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  const bool plain = (shift & (ssShift | ssCtrl | ssAlt)) == 0;
  if (!plain) return;
  if (!CandForm->Visible()) {
    if (!Sheet->EditorMode() || IsInputMethodKey(key) || key == VK_ESCAPE || key == VK_LEFT || key == VK_RIGHT) return;
    if (curCol_ < 1 || curRow_ < 1 || !EditableInfo(curCol_)) return;
    const AnsiString text = Sheet->InplaceEditor() ? Sheet->InplaceEditor()->Text() : Sheet->Cells(curCol_, curRow_);
    CandForm->ShowCandidates(curCol_, curRow_, text);
    return;
  }
  if (key == VK_ESCAPE) {
    CandForm->CloseCandidates();
  } else if (key == VK_TAB || key == VK_DOWN) {
    CandForm->CandGrid->SetFocus();
    key = 0;
  }
}

void TEditDlg::SheetDblClick(TObject*) {
  if (!CandForm || curCol_ < 1 || curRow_ < 1 || !EditableInfo(curCol_)) return;
  CandForm->ShowCandidates(curCol_, curRow_, Sheet->Cells(curCol_, curRow_));
}

void TEditDlg::SheetTopLeftChanged(TObject*) {
  if (CandForm) CandForm->CloseCandidates();
}

// ---- The linked-value clipboard form ----

void TEditDlg::SheetCopyCell(TObject*, int col, int row, AnsiString& text) {
  text = Sheet->Cells(col, row);
  const CCapInfo* info = ColumnInfo(col);
  if (!CapList || !Folder || !info) return;
  const AnsiString own = Folder->GetEditTableName();
  const AnsiString table = GetTablePart(info->Name);
  if (table == own) return;
  const AnsiString join = Folder->GetJoinCondition(own, table);
  CLexer lex(join.c_str());
  lex.NextToken();
  if (lex.Kind != LEX_NAME) return;
  const AnsiString first = lex.Token;
  lex.NextToken();
  if (lex.Kind != LEX_COMPARE || lex.Token != "=") return;
  lex.NextToken();
  if (lex.Kind != LEX_NAME) return;
  const int link = ColumnOfName(first);
  if (link < 0) return;
  text = AnsiString(1, BS) + text + BS + info->Name + BS + Sheet->Cells(link, row) + BS + first + BS;
}

void TEditDlg::SheetPasteCell(TObject*, int col, int row, const AnsiString& text) {
  if (!CapList || !Folder) {
    if (ColumnCanEdit(col)) Sheet->SubstCell(col, row, text);
    return;
  }
  if (text.size() < 5 || text[0] != BS) {
    if (ColumnCanEdit(col) && !OfferToPopup(col, row, text)) Sheet->SubstCell(col, row, text);
    return;
  }
  // Parts after the leading BS, each ended by a BS.
  std::vector<AnsiString> parts;
  size_t start = 1;
  for (size_t end; (end = text.find(BS, start)) != AnsiString::npos; start = end + 1)
    parts.push_back(text.substr(start, end - start));
  auto part = [&](size_t i) { return i < parts.size() ? parts[i] : AnsiString(); };
  const AnsiString value = part(0), name = part(1), linked = part(2), linkName = part(3);
  if (!name.empty() && !linkName.empty()) {
    const CCapInfo* info = ColumnInfo(col);
    const int link = ColumnOfName(linkName);
    if (info && info->Name == name && link >= 0 && OfferToPopup(link, row, linked)) return;
  }
  if (ColumnCanEdit(col)) Sheet->SubstCell(col, row, value);
}
