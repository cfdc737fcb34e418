#include "kit/CardBox.h"

#include <algorithm>
#include <vector>

#include "views/CvCardMemo.h"

namespace {

// Item memos stand on multiples of this many pixels.
constexpr int kItemGrid = 8;

// How far v must move forward to reach a multiple of the item grid (negative v included).
int GridShift(int v) {
  const int r = ((v % kItemGrid) + kItemGrid) % kItemGrid;
  return r == 0 ? 0 : kItemGrid - r;
}

TSize TextExtentIn(const TFont* font, const AnsiString& text) {
  TCanvas canvas;
  canvas.Font()->Assign(*font);
  return canvas.TextExtent(text);
}

}  // namespace

// ---- TCardColumn ----

TCardColumn::TCardColumn(TCollection* collection) : TCollectionItem(collection) {
  TCardBox* box = Box();
  memo_ = new TCardMemo(box);
  label_ = new TCardLabel(box);
  memo_->SetParent(box);
  label_->SetParent(box);
  memo_->SetLabel(label_);
  label_->SetMemo(memo_);
  label_->SetAutoSize(false);
  label_->SetAlignment(taRightJustify);
  label_->SetHeight(TextExtentIn(label_->Font(), "A").cy + 3);
  // The label of an empty caption is sized by the same rule as any other, so that the memo
  // starts on the item grid.
  FitLabelWidth("");
  FitMemoHeight();
  PlaceControls();
}

TCardColumn::~TCardColumn() {
  delete memo_;
  delete label_;
}

TCardBox* TCardColumn::Box() const { return static_cast<TCardColumns*>(Collection())->CardBox(); }

void TCardColumn::PlaceControls() {
  if (label_->Left() != left_) label_->SetLeft(left_);
  const int memoLeft = left_ + label_->Width() + gap_;
  if (memo_->Left() != memoLeft) memo_->SetLeft(memoLeft);
  if (label_->Top() != top_) {
    label_->SetTop(top_);
    memo_->SetTop(top_);
  }
  if (const int dx = GridShift(memo_->Left())) {
    label_->SetLeft(label_->Left() + dx);
    memo_->SetLeft(memo_->Left() + dx);
  }
  if (const int dy = GridShift(memo_->Top())) {
    label_->SetTop(label_->Top() + dy);
    memo_->SetTop(memo_->Top() + dy);
  }
  left_ = label_->Left();
  top_ = memo_->Top();
}

void TCardColumn::FitMemoHeight() { memo_->SetHeight(TWinCanvas::GetMemoHeight(memo_)); }

const AnsiString& TCardColumn::Caption() const { return label_->Caption(); }

// The label is as wide as the caption, less Gap, rounded so that label and gap together span a
// whole number of grid steps.
void TCardColumn::FitLabelWidth(const AnsiString& caption) {
  const int span = (TextExtentIn(label_->Font(), caption).cx + gap_ + kItemGrid - 1) / kItemGrid * kItemGrid;
  label_->SetWidth(span - gap_);
}

void TCardColumn::SetCaption(const AnsiString& text) {
  if (text == label_->Caption()) return;
  FitLabelWidth(text);
  label_->SetCaption(text);
  PlaceControls();
  Box()->ArrangeItem(this);
}

AnsiString TCardColumn::Text() const { return memo_->Text(); }

void TCardColumn::SetText(const AnsiString& text) {
  if (text == memo_->Text()) return;
  memo_->SetText(text);
  if (autoSize_) FitMemoHeight();
  Box()->ArrangeItem(this);
}

void TCardColumn::SetNewLine(bool v) {
  newLine_ = v;
  Box()->ArrangeItem(this);
}

void TCardColumn::SetAutoSize(bool v) {
  autoSize_ = v;
  if (!v) return;
  FitMemoHeight();
  Box()->ArrangeItem(this);
}

void TCardColumn::SetGap(int v) {
  gap_ = v;
  PlaceControls();
  Box()->ArrangeItem(this);
}

void TCardColumn::SetLeft(int v) {
  left_ = v;
  PlaceControls();
  Box()->ArrangeItem(this);
}

void TCardColumn::SetTop(int v) {
  top_ = v;
  PlaceControls();
  Box()->ArrangeItem(this);
}

void TCardColumn::SetPosition(int left, int top) {
  left_ = left;
  top_ = top;
  PlaceControls();
}

void TCardColumn::TakePlaceFromMemo() {
  left_ = memo_->Left() - gap_ - label_->Width();
  top_ = memo_->Top();
  label_->SetBounds(left_, top_, label_->Width(), label_->Height());
}

int TCardColumn::Width() const { return label_->Width() + gap_ + memo_->Width(); }

int TCardColumn::Height() const { return std::max(label_->Height(), memo_->Height()); }

int TCardColumn::TextWidth() const { return memo_->Width(); }

void TCardColumn::SetTextWidth(int v) { memo_->SetWidth(v); }

bool TCardColumn::CanEdit() const { return !memo_->ReadOnly(); }

void TCardColumn::SetCanEdit(bool v) {
  memo_->SetReadOnly(!v);
  memo_->TabStop = v;
}

bool TCardColumn::WordWrap() const { return memo_->WordWrap(); }

void TCardColumn::SetWordWrap(bool v) { memo_->SetWordWrap(v); }

TAlignment TCardColumn::Alignment() const { return memo_->Alignment(); }

void TCardColumn::SetAlignment(TAlignment a) { memo_->SetAlignment(a); }

void TCardColumn::SetEnabled(bool v) {
  enabled_ = v;
  label_->SetEnabled(v);
  memo_->SetEnabled(v);
}

// ---- TCardColumns ----

TCollectionItem* TCardColumns::NewItem() { return new TCardColumn(this); }

TCardColumn* TCardColumns::Add() {
  auto* item = static_cast<TCardColumn*>(TCollection::Add());
  box_->ArrangeItem(item);
  TCardBox* box = box_;
  item->Memo()->OnChange = [box](TObject* sender) { box->MemoChange(sender); };
  return item;
}

// ---- TCardDesignBox ----

namespace {

// The label of a memo, the memo of a label.
TControl* PartnerOf(TControl* c) {
  if (auto* memo = dynamic_cast<TCardMemo*>(c)) return memo->Label();
  if (auto* label = dynamic_cast<TCardLabel*>(c)) return label->Memo();
  return nullptr;
}

}  // namespace

// An unselected partner follows the control's move to r; a selected one moves by itself.
void TCardDesignBox::MovePartner(TControl* control, const TRect& r) {
  TControl* partner = PartnerOf(control);
  if (!partner || IsSelected(partner)) return;
  partner->SetBounds(partner->Left() + r.Left - control->Left(), partner->Top() + r.Top - control->Top(),
                     partner->Width(), partner->Height());
  if (TDesignItem* item = ItemOf(partner)) SetBRect(item);
}

void TCardDesignBox::MoveControl(TControl* control, const TRect& r) {
  MovePartner(control, r);
  TDesignBox::MoveControl(control, r);
}

void TCardDesignBox::ResizeControl(TControl* control, const TRect& r) {
  MovePartner(control, r);
  if (dynamic_cast<TCardLabel*>(control))
    TDesignBox::MoveControl(control, r);
  else
    TDesignBox::ResizeControl(control, r);
}

// ---- TCardBox ----

TCardBox::TCardBox(TComponent* owner) : TScrollBox(owner), columns_(std::make_unique<TCardColumns>(this)) {
  HorzScrollBar()->SetTracking(true);
  VertScrollBar()->SetTracking(true);
}

// The items go first, while the box they call back into is still whole; their controls are
// children of the box and would otherwise be freed twice.
TCardBox::~TCardBox() {
  designBox_.reset();
  columns_.reset();
}

TCardColumn* TCardBox::AddItem(const AnsiString& caption, const TStrings* lines, bool newLine) {
  TCardColumn* item = columns_->Add();
  item->SetCaption(caption);
  item->SetNewLine(newLine);
  item->SetText(lines ? lines->Text() : AnsiString());
  DoArrangeItem(item);
  return item;
}

void TCardBox::ArrangeItem(TCardColumn* item) {
  if (autoArrange_) DoArrangeItem(item);
}

void TCardBox::DoArrangeItem(TCardColumn* item) {
  const int from = item ? std::max(0, item->Index()) : 0;
  for (int i = from; i < columns_->Count(); ++i) {
    TCardColumn* c = columns_->Items(i);
    if (i == 0) {
      c->SetPosition(leftMargin_, topMargin_);
      continue;
    }
    const TCardColumn* prev = columns_->Items(i - 1);
    if (c->NewLine())
      c->SetPosition(leftMargin_, prev->Top() + prev->Height() + vertGap_);
    else
      c->SetPosition(prev->Left() + prev->Width() + horzGap_, prev->Top());
  }
}

void TCardBox::Assign(const TPersistent* source) {
  if (auto* box = dynamic_cast<TScrollBox*>(const_cast<TPersistent*>(source))) Set(box);
}

void TCardBox::Set(TScrollBox* box) {
  SetBounds(box->Left(), box->Top(), box->Width(), box->Height());
  Name = box->Name + "CB";
  SetParent(box->Parent());
  SetAlign(box->Align());
  SetAnchors(box->Anchors());
  SetBorderStyle(box->BorderStyle());
  SetColor(box->Color());
  SetCursor(box->Cursor());
  SetEnabled(box->Enabled());
  Font()->Assign(*box->Font());
  for (bool horizontal : {true, false}) {
    TControlScrollBar* from = horizontal ? box->HorzScrollBar() : box->VertScrollBar();
    TControlScrollBar* to = horizontal ? HorzScrollBar() : VertScrollBar();
    to->SetVisible(from->Visible());
    to->SetTracking(from->Tracking());
    to->Increment = from->Increment;
  }
  if (box->ParentColor()) SetParentColor(true);
  if (box->ParentFont()) SetParentFont(true);
  SetPopupMenu(box->PopupMenu());
  ShowHint = box->ShowHint;
  SetTabOrder(box->TabOrder());
  TabStop = box->TabStop;
  SetVisible(box->Visible());
  SetAutoScroll(box->AutoScroll());
  OnClick = box->OnClick;
  OnDblClick = box->OnDblClick;
  OnDragDrop = box->OnDragDrop;
  OnDragOver = box->OnDragOver;
  OnMouseDown = box->OnMouseDown;
  OnMouseMove = box->OnMouseMove;
  OnMouseUp = box->OnMouseUp;
}

void TCardBox::MemoChange(TObject* sender) {
  if (onChange_) onChange_(sender);
}

void TCardBox::SetEditting(bool v) {
  if (v == editting_) return;
  if (v) {
    designBox_ = std::make_unique<TCardDesignBox>(this);
    designBox_->SetParent(this);
    designBox_->SetVisible(true);
  } else {
    designBox_->SetVisible(false);
    designBox_.reset();
    for (int i = columns_->Count() - 1; i >= 0; --i) columns_->Items(i)->TakePlaceFromMemo();
  }
  editting_ = v;
}

void TCardBox::ResetTabOrder() {
  std::vector<TCardColumn*> items;
  for (int i = 0; i < columns_->Count(); ++i) items.push_back(columns_->Items(i));
  std::stable_sort(items.begin(), items.end(), [](const TCardColumn* a, const TCardColumn* b) {
    return a->Top() != b->Top() ? a->Top() < b->Top() : a->Left() < b->Left();
  });
  for (size_t i = 0; i < items.size(); ++i) items[i]->Memo()->SetTabOrder(static_cast<int>(i));
}
