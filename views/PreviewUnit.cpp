#include "views/PreviewUnit.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/LogForm.h"

namespace {

constexpr int kScales[] = {30, 40, 50, 60, 70, 80, 90, 100, 125, 150, 175, 200};
constexpr int kScaleCount = sizeof(kScales) / sizeof(kScales[0]);

// Defaults of the print settings text's positions.
constexpr int kSettingDefaults[10] = {10, 10, 10, 10, 0, 100, 1, 1, 0, 1};

template <class T>
T* Put(TForm* form, TWinControl* parent) {
  auto* c = new T(form);
  c->SetParent(parent);
  return c;
}

// A panel of the tool bars: its caption at the left, its controls to the right.
TPanel* ToolPanel(TForm* form, TWinControl* parent, const AnsiString& caption, int left, int width) {
  auto* p = Put<TPanel>(form, parent);
  p->SetCaption(caption);
  p->SetAlignment(taLeftJustify);
  p->SetBounds(left, 3, width, 30);
  return p;
}

// A number with its up-down, as the card settings show them.
TUpDown* CardSetting(TForm* form, TPanel* panel, TEdit*& edit, int min, int max) {
  edit = Put<TEdit>(form, panel);
  edit->ReadOnly = true;
  edit->SetBounds(panel->Width() - 60, 3, 36, 24);
  auto* ud = Put<TUpDown>(form, panel);
  ud->SetMin(min);
  ud->SetMax(max);
  ud->SetBounds(panel->Width() - 23, 3, 20, 24);
  ud->SetAssociate(edit);
  return ud;
}

}  // namespace

TPreviewForm::TPreviewForm(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("印刷プレビュー"));
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 860, 700);

  Panel1 = Put<TPanel>(this, this);
  Panel1->SetAlign(alTop);
  Panel1->SetHeight(36);
  PrintBtn = Put<TButton>(this, Panel1);
  PrintBtn->SetCaption(SJ("印刷"));
  PrintBtn->SetBounds(6, 5, 64, 26);
  PrintSetup = Put<TButton>(this, Panel1);
  PrintSetup->SetCaption(SJ("設定"));
  PrintSetup->SetBounds(74, 5, 64, 26);
  CloseBtn = Put<TButton>(this, Panel1);
  CloseBtn->SetCaption(SJ("閉じる"));
  CloseBtn->Cancel = true;
  CloseBtn->SetBounds(142, 5, 64, 26);

  Panel2 = ToolPanel(this, Panel1, SJ(" 用紙向き"), 214, 136);
  PortraitBtn = Put<TSpeedButton>(this, Panel2);
  PortraitBtn->SetCaption(SJ("縦"));
  PortraitBtn->GroupIndex = 1;
  PortraitBtn->SetBounds(70, 3, 30, 24);
  LandscapeBtn = Put<TSpeedButton>(this, Panel2);
  LandscapeBtn->SetCaption(SJ("横"));
  LandscapeBtn->GroupIndex = 1;
  LandscapeBtn->SetBounds(102, 3, 30, 24);
  PortraitBtn->SetDown(true);

  Panel3 = ToolPanel(this, Panel1, SJ(" ページ"), 354, 190);
  PagenumEdit = Put<TEdit>(this, Panel3);
  PagenumEdit->ReadOnly = true;
  PagenumEdit->SetBounds(54, 3, 88, 24);
  PagenumUD = Put<TUpDown>(this, Panel3);
  PagenumUD->SetOrientation(udHorizontal);
  PagenumUD->SetMin(1);
  PagenumUD->SetBounds(146, 3, 40, 24);
  PagenumUD->SetAssociate(PagenumEdit);

  Panel4 = ToolPanel(this, Panel1, SJ(" 拡大/縮小"), 548, 176);
  ScaleBox = Put<TComboBox>(this, Panel4);
  ScaleBox->Style = csDropDownList;
  ScaleBox->DropDownCount = kScaleCount;
  ScaleBox->SetBounds(84, 3, 86, 24);
  for (int s : kScales) ScaleBox->Items()->Add(Format("%d%%", s));
  ScaleBox->SetItemIndex(static_cast<int>(std::find(kScales, kScales + kScaleCount, 100) - kScales));

  Panel1B = Put<TPanel>(this, this);
  Panel1B->SetAlign(alTop);
  Panel1B->SetHeight(36);
  Panel1B->SetTop(36);
  SplitXPanel = ToolPanel(this, Panel1B, SJ("縦分割"), 6, 120);
  SplitXUD = CardSetting(this, SplitXPanel, SplitXEdit, 1, 99);
  SplitYPanel = ToolPanel(this, Panel1B, SJ("横分割"), 130, 120);
  SplitYUD = CardSetting(this, SplitYPanel, SplitYEdit, 1, 99);
  SkipPanel = ToolPanel(this, Panel1B, SJ("スキップ"), 254, 120);
  SkipUD = CardSetting(this, SkipPanel, SkipEdit, 0, 99);
  RepeatPanel = ToolPanel(this, Panel1B, SJ("繰り返し"), 378, 120);
  RepeatUD = CardSetting(this, RepeatPanel, RepeatEdit, 1, 99);

  ScrollBox1 = Put<TScrollBox>(this, this);
  ScrollBox1->SetAlign(alClient);
  ScrollBox1->SetColor(clGray);
  ScrollBox1->HorzScrollBar()->SetTracking(true);
  ScrollBox1->VertScrollBar()->SetTracking(true);
  PaintBox1 = Put<TPaintBox>(this, ScrollBox1);
  PaintBox1->SetParentColor(true);

  PrintDialog = new TPrintDialog(this);
  PrinterSetupDialog = new TPrinterSetupDialog(this);

  OnShow = [this](TObject*) { FormShow(); };
  PaintBox1->OnPaint = [this](TObject*) { PaintBox1Paint(); };
  PaintBox1->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int x, int y) { PaintBox1MouseDown(b, x, y); };
  PaintBox1->OnMouseMove = [this](TObject*, TShiftState, int x, int y) { PaintBox1MouseMove(x, y); };
  PaintBox1->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int x, int y) { PaintBox1MouseUp(x, y); };
  auto wheel = [this](TObject*, TShiftState, int delta, TPoint, bool& handled) { MouseWheel(delta, handled); };
  ScrollBox1->OnMouseWheel = wheel;
  PaintBox1->OnMouseWheel = wheel;
  PagenumEdit->OnChange = [this](TObject*) { PagenumEditChange(); };
  PagenumUD->OnChangingEx = [this](TObject*, bool& allow, int value, TUpDownDirection direction) {
    allow = GridPr && value >= 1 && value <= GridPr->GetPageCount();
    if (!allow) return;
    if (direction == updUp)
      GridPr->PreviewNextPage();
    else
      GridPr->PreviewPriorPage();
    PaintBox1->Invalidate();
  };
  PortraitBtn->OnClick = [this](TObject*) { OrientationClick(); };
  LandscapeBtn->OnClick = [this](TObject*) { OrientationClick(); };
  ScaleBox->OnChange = [this](TObject*) {
    if (updating_ || !GridPr || ScaleBox->ItemIndex() < 0) return;
    GridPr->Scale = kScales[ScaleBox->ItemIndex()];
    RefreshPreview();
  };
  // The card settings: each up-down allows its range and stores the value in the printer.
  auto cardSetting = [this](TUpDown* ud, int min, int TKelmGridPr::*field) {
    ud->OnChangingEx = [this, min, field](TObject*, bool& allow, int value, TUpDownDirection) {
      allow = value >= min && value <= 99;
      if (!allow || updating_ || !GridPr) return;
      GridPr->*field = value;
      RefreshPreview();
    };
  };
  cardSetting(SplitXUD, 1, &TKelmGridPr::SplitX);
  cardSetting(SplitYUD, 1, &TKelmGridPr::SplitY);
  cardSetting(SkipUD, 0, &TKelmGridPr::SkipNum);
  cardSetting(RepeatUD, 1, &TKelmGridPr::RepeatNum);
  PrintBtn->OnClick = [this](TObject*) { PrintBtnClick(); };
  PrintSetup->OnClick = [this](TObject*) {
    PrinterSetupDialog->Printer = SystemPrinter();
    if (PrinterSetupDialog->Execute()) RefreshPreview();
  };
  CloseBtn->OnClick = [this](TObject*) { Close(); };
}

TPreviewForm::~TPreviewForm() {
  if (drag_ >= 0) Screen->SetCursor(crDefault);
}

void TPreviewForm::SetBounds(int left, int top, int width, int height) {
  TForm::SetBounds(left, top, std::max(width, 730), std::max(height, 256));
}

void TPreviewForm::SetCardPanelVisible(bool visible) { Panel1B->SetVisible(visible); }

// ---- Print settings text ----

AnsiString TPreviewForm::GetPrintSettings() const {
  if (!GridPr) return AnsiString();
  const TKelmGridPr& p = *GridPr;
  const int values[10] = {p.LeftMargin, p.TopMargin, p.RightMargin, p.BottomMargin, p.Orientation,
                          p.Scale,      p.SplitX,    p.SplitY,      p.SkipNum,      p.RepeatNum};
  TStringList list;
  for (int v : values) list.Add(IntToStr(v));
  return list.CommaText();
}

void TPreviewForm::SetPrintSettings(const AnsiString& text) {
  if (!GridPr || text.empty()) return;
  TKelmGridPr& p = *GridPr;
  int* fields[10] = {&p.LeftMargin, &p.TopMargin, &p.RightMargin, &p.BottomMargin, &p.Orientation,
                     &p.Scale,      &p.SplitX,    &p.SplitY,      &p.SkipNum,      &p.RepeatNum};
  TStringList list;
  list.SetCommaText(text);
  for (int i = 0; i < std::min(10, list.Count()); ++i) *fields[i] = StrToIntDef(list[i], kSettingDefaults[i]);
}

// ---- Showing and paging ----

void TPreviewForm::FormShow() {
  if (!GridPr) return;
  updating_ = true;
  bitmap_.reset();
  hover_ = drag_ = -1;
  const int* scale = std::find(kScales, kScales + kScaleCount, GridPr->Scale);
  if (scale != kScales + kScaleCount) ScaleBox->SetItemIndex(static_cast<int>(scale - kScales));
  if (ScaleBox->ItemIndex() >= 0) GridPr->Scale = kScales[ScaleBox->ItemIndex()];
  struct {
    TUpDown* ud;
    int value;
  } const cards[] = {
      {SplitXUD, GridPr->SplitX}, {SplitYUD, GridPr->SplitY}, {SkipUD, GridPr->SkipNum}, {RepeatUD, GridPr->RepeatNum}};
  for (const auto& c : cards) {
    c.ud->SetBounds(c.ud->Left(), 3, 20, 24);
    c.ud->SetPosition(c.value);
  }
  const bool landscape = GridPr->Orientation == 1;
  (landscape ? LandscapeBtn : PortraitBtn)->SetDown(true);
  SystemPrinter()->SetOrientation(landscape ? poLandscape : poPortrait);
  bitmap_ = std::make_unique<TBitmap>();
  RefreshPreview();
  updating_ = false;
}

void TPreviewForm::RefreshPreview() {
  if (!GridPr || !bitmap_) return;
  GridPr->BeginPreview(bitmap_.get());
  PagenumUD->SetMax(std::max(1, GridPr->GetPageCount()));
  PagenumUD->SetPosition(1);
  PagenumEdit->SetText("1");
  PagenumEditChange();  // the edit may have shown "1" already, and then heard of no change
  // The printer's orientation may have been changed by the set-up dialog: the buttons and the
  // printer object's value follow it, so that the settings text keeps what is printed.
  const bool portrait = SystemPrinter()->Orientation() == poPortrait;
  (portrait ? PortraitBtn : LandscapeBtn)->SetDown(true);
  GridPr->Orientation = portrait ? 0 : 1;
  PaintBox1->SetBounds(0, 0, bitmap_->Width() + 2 * kBorder, bitmap_->Height() + 2 * kBorder);
  PaintBox1->Invalidate();
}

void TPreviewForm::PagenumEditChange() {
  const AnsiString text = PagenumEdit->Text();
  if (!GridPr || text.find('/') != AnsiString::npos) return;
  PagenumEdit->SetText(text + "/" + IntToStr(GridPr->GetPageCount()));
}

void TPreviewForm::MouseWheel(int delta, bool& handled) {
  TControlScrollBar* bar = ScrollBox1->VertScrollBar();
  if (bar->IsScrollBarVisible()) bar->SetPosition(bar->Position() + (delta < 0 ? 2 : -2) * bar->Increment);
  handled = true;
}

void TPreviewForm::OrientationClick() {
  if (updating_ || !GridPr) return;
  TPrinter* printer = SystemPrinter();
  printer->SetOrientation(LandscapeBtn->Down() ? poLandscape : poPortrait);
  GridPr->Orientation = printer->Orientation() == poLandscape ? 1 : 0;
  RefreshPreview();
}

void TPreviewForm::PrintBtnClick() {
  if (!GridPr) return;
  TPrinter* printer = SystemPrinter();
  PrintDialog->Printer = printer;
  PrintDialog->Options = poPageNums;
  PrintDialog->PrintRange = prAllPages;
  PrintDialog->MinPage = 1;
  PrintDialog->MaxPage = kMaxPrintPage;
  PrintDialog->FromPage = 1;
  PrintDialog->ToPage = std::max(1, GridPr->PageCountY());
  if (!PrintDialog->Execute()) return;
  if (PrintDialog->PrintRange == prPageNums) {
    GridPr->SetFromPage(PrintDialog->FromPage);
    GridPr->SetToPage(PrintDialog->ToPage);
  } else {
    GridPr->SetFromPage(1);
    GridPr->SetToPage(-1);
  }
  if (!printer->BeginDoc()) {
    ReportError("%s", printer->LastError().c_str());
    return;
  }
  GridPr->GoPrint();
  if (!printer->EndDoc()) ReportError("%s", printer->LastError().c_str());
  RefreshPreview();
}

// ---- The page and its guide lines ----

void TPreviewForm::ComputeLines() {
  if (!GridPr || !bitmap_) return;
  const int w = bitmap_->Width(), h = bitmap_->Height();
  const int left = kBorder + GridPr->printerPixelsX(GridPr->LeftMargin);
  const int right = kBorder + w - GridPr->printerPixelsX(GridPr->RightMargin);
  const int top = kBorder + GridPr->printerPixelsY(GridPr->TopMargin);
  const int bottom = kBorder + h - GridPr->printerPixelsY(GridPr->BottomMargin);
  lines_[0] = {left, kBorder, left, kBorder + h};
  lines_[1] = {right, kBorder, right, kBorder + h};
  lines_[2] = {kBorder, top, kBorder + w, top};
  lines_[3] = {kBorder, bottom, kBorder + w, bottom};
}

void TPreviewForm::PaintBox1Paint() {
  TCanvas* c = PaintBox1->Canvas();
  if (!GridPr || !bitmap_) return;
  c->Draw(kBorder, kBorder, *bitmap_);
  ComputeLines();
  TPen* pen = c->Pen();
  pen->SetMode(pmCopy);
  pen->SetColor(clBlack);
  pen->SetWidth(1);
  pen->SetStyle(psDot);
  for (const Line& l : lines_) {
    c->MoveTo(l.x1, l.y1);
    c->LineTo(l.x2, l.y2);
  }
  pen->SetStyle(psSolid);
}

int TPreviewForm::HitLine(int x, int y) const {
  for (int i = 0; i < 4; ++i) {
    const Line& l = lines_[i];
    if (l.Vertical() ? std::abs(x - l.x1) <= 2 && y >= l.y1 && y < l.y2
                     : std::abs(y - l.y1) <= 2 && x >= l.x1 && x < l.x2)
      return i;
  }
  return -1;
}

void TPreviewForm::DrawDragLine() {
  TCanvas* c = PaintBox1->Canvas();
  const Line& l = lines_[drag_];
  c->Pen()->SetMode(pmNotXor);  // drawn twice, the line is gone
  c->Pen()->SetColor(clBlack);
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetWidth(1);
  if (l.Vertical()) {
    c->MoveTo(dragPos_, l.y1);
    c->LineTo(dragPos_, l.y2);
  } else {
    c->MoveTo(l.x1, dragPos_);
    c->LineTo(l.x2, dragPos_);
  }
  c->Pen()->SetMode(pmCopy);
}

void TPreviewForm::EndDrag() {
  drag_ = -1;
  hover_ = -1;
  PaintBox1->SetCursor(crDefault);
  Screen->SetCursor(crDefault);
}

void TPreviewForm::PaintBox1MouseDown(TMouseButton button, int x, int y) {
  if (drag_ >= 0) {  // a second button cancels the drag
    EndDrag();
    PaintBox1->Invalidate();
    return;
  }
  if (button != mbLeft || !bitmap_) return;
  ComputeLines();
  hover_ = HitLine(x, y);
  if (hover_ < 0) return;
  drag_ = hover_;
  hover_ = -1;
  dragStart_ = dragLast_ = {x, y};
  dragPos_ = lines_[drag_].Vertical() ? lines_[drag_].x1 : lines_[drag_].y1;
  Screen->SetCursor(lines_[drag_].Vertical() ? crSizeWE : crSizeNS);
  DrawDragLine();
}

void TPreviewForm::PaintBox1MouseMove(int x, int y) {
  if (!bitmap_) return;
  if (drag_ < 0) {
    ComputeLines();
    hover_ = HitLine(x, y);
    const TCursor cursor = hover_ < 0 ? crDefault : hover_ < 2 ? crSizeWE : crSizeNS;
    if (PaintBox1->Cursor() != cursor) PaintBox1->SetCursor(cursor);
    return;
  }
  DrawDragLine();  // away from where it was
  const int w = bitmap_->Width(), h = bitmap_->Height();
  switch (drag_) {
    case 0:
      dragPos_ = std::clamp(lines_[0].x1 + x - dragStart_.x, kBorder, lines_[1].x1 - 1);
      break;
    case 1:
      dragPos_ = std::clamp(lines_[1].x1 + x - dragStart_.x, lines_[0].x1 + 1, kBorder + w);
      break;
    case 2:
      dragPos_ = std::clamp(lines_[2].y1 + y - dragStart_.y, kBorder, lines_[3].y1 - 1);
      break;
    default:
      dragPos_ = std::clamp(lines_[3].y1 + y - dragStart_.y, lines_[2].y1 + 1, kBorder + h);
      break;
  }
  dragLast_ = {x, y};
  DrawDragLine();
}

void TPreviewForm::PaintBox1MouseUp(int, int) {
  if (drag_ < 0) return;
  const int line = drag_;
  const bool moved = dragPos_ != (lines_[line].Vertical() ? lines_[line].x1 : lines_[line].y1);
  EndDrag();
  if (!moved || !GridPr) {
    PaintBox1->Invalidate();
    return;
  }
  const int w = bitmap_->Width(), h = bitmap_->Height();
  switch (line) {
    case 0:
      GridPr->LeftMargin = GridPr->printerMmX(dragPos_ - kBorder);
      break;
    case 1:
      GridPr->RightMargin = GridPr->printerMmX(kBorder + w - dragPos_);
      break;
    case 2:
      GridPr->TopMargin = GridPr->printerMmY(dragPos_ - kBorder);
      break;
    default:
      GridPr->BottomMargin = GridPr->printerMmY(kBorder + h - dragPos_);
      break;
  }
  RefreshPreview();
}
