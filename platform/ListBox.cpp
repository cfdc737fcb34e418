#include "platform/ListBox.h"

#include <QFontMetrics>

#include <algorithm>
#include <map>

#include "platform/QtBridge.h"

// ---- TListBox ----

TListBox::TListBox(TComponent* owner) : TCustomScrollView(owner) {
  SetBounds(0, 0, 121, 97);
  FontChanged();
  items_.OnChange = [this] { ItemsChanged(); };
}

TListBox::~TListBox() { items_.OnChange = nullptr; }

void TListBox::FontChanged() {
  TCustomScrollView::FontChanged();
  const int text = HaveGuiApplication() ? QFontMetrics(ToQFont(*Font())).height() : Font()->PixelSize();
  SetLineHeight(text + 2);
}

void TListBox::Remap(std::vector<char>& flags, const std::vector<int>& oldIndexOf) {
  std::vector<char> out(oldIndexOf.size(), 0);
  for (size_t i = 0; i < oldIndexOf.size(); ++i) {
    const int o = oldIndexOf[i];
    if (o >= 0 && o < static_cast<int>(flags.size())) out[i] = flags[o];
  }
  flags.swap(out);
}

void TListBox::ItemsChanged() {
  // Which item of before each item is: first the same text and object in order (moves,
  // insertions, deletions), then an item changed in place keeps its place.
  const int n = items_.Count();
  std::vector<int> oldIndexOf(n, -1);
  std::vector<char> used(before_.size(), 0);
  std::map<std::pair<AnsiString, void*>, std::vector<int>> waiting;
  for (int k = static_cast<int>(before_.size()) - 1; k >= 0; --k) waiting[{before_[k].text, before_[k].object}].push_back(k);
  for (int i = 0; i < n; ++i) {
    auto it = waiting.find({items_[i], items_.Objects(i)});
    if (it == waiting.end() || it->second.empty()) continue;
    oldIndexOf[i] = it->second.back();
    used[oldIndexOf[i]] = 1;
    it->second.pop_back();
  }
  for (int i = 0; i < n; ++i)
    if (oldIndexOf[i] < 0 && i < static_cast<int>(before_.size()) && !used[i]) {
      oldIndexOf[i] = i;
      used[i] = 1;
    }
  auto follow = [&](int old) {
    if (old < 0) return -1;
    auto it = std::find(oldIndexOf.begin(), oldIndexOf.end(), old);
    return it == oldIndexOf.end() ? -1 : static_cast<int>(it - oldIndexOf.begin());
  };
  Remap(selected_, oldIndexOf);
  itemIndex_ = follow(itemIndex_);
  anchor_ = follow(anchor_);
  if (!multiSelect_) {
    std::fill(selected_.begin(), selected_.end(), 0);
    if (itemIndex_ >= 0) selected_[itemIndex_] = 1;
  }
  ItemsRemapped(oldIndexOf);
  before_.clear();
  before_.reserve(n);
  for (int i = 0; i < n; ++i) before_.push_back({items_[i], items_.Objects(i)});
  ContentChanged();
}

void TListBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_.Count()) i = -1;
  itemIndex_ = i;
  anchor_ = i;
  if (!multiSelect_) {
    std::fill(selected_.begin(), selected_.end(), 0);
    if (i >= 0) selected_[i] = 1;
  }
  if (i >= 0) ScrollIntoView(i);
  Invalidate();
}

void TListBox::SetMultiSelect(bool v) {
  multiSelect_ = v;
  SetItemIndex(itemIndex_);
}

bool TListBox::Selected(int i) const { return i >= 0 && i < static_cast<int>(selected_.size()) && selected_[i]; }

void TListBox::SetSelected(int i, bool v) {
  if (i < 0 || i >= items_.Count()) return;
  if (!multiSelect_) {
    if (v)
      SetItemIndex(i);
    else if (i == itemIndex_)
      SetItemIndex(-1);
    return;
  }
  selected_[i] = v;
  Invalidate();
}

int TListBox::SelCount() const { return static_cast<int>(std::count(selected_.begin(), selected_.end(), 1)); }

int TListBox::ItemAtPos(TPoint p, bool existing) {
  const TRect view = ViewRect();
  if (existing && (p.x < view.Left || p.x >= view.Right || p.y < view.Top || p.y >= view.Bottom)) return -1;
  const int row = TopLine() + (p.y - view.Top) / LineHeight();
  if (p.y < view.Top || row < 0) return existing ? -1 : 0;
  if (row >= items_.Count()) return existing ? -1 : items_.Count();
  return row;
}

TRect TListBox::ItemRect(int index) {
  const TRect view = ViewRect();
  const int top = view.Top + (index - TopLine()) * LineHeight();
  return Rect(view.Left, top, view.Right, top + LineHeight());
}

void TListBox::Chosen() { TCustomScrollView::Click(); }

void TListBox::Click() {
  // The press on an item has run OnClick already; the release that completes it runs nothing.
  if (pressClicked_) {
    pressClicked_ = false;
    return;
  }
  TCustomScrollView::Click();
}

void TListBox::Select(int index, TShiftState shift) {
  if (!multiSelect_) {
    SetItemIndex(index);
    return;
  }
  if ((shift & ssShift) && anchor_ >= 0) {
    if (!(shift & ssCtrl)) std::fill(selected_.begin(), selected_.end(), 0);
    for (int i = std::min(anchor_, index); i <= std::max(anchor_, index); ++i) selected_[i] = 1;
  } else if (shift & ssCtrl) {
    selected_[index] = !selected_[index];
    anchor_ = index;
  } else {
    std::fill(selected_.begin(), selected_.end(), 0);
    selected_[index] = 1;
    anchor_ = index;
  }
  itemIndex_ = index;
  ScrollIntoView(index);
  Invalidate();
}

void TListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  pressClicked_ = false;
  if (button == mbLeft && !(shift & ssDouble)) {
    const int i = ItemAtPos({x, y}, true);
    if (i >= 0) {
      Select(i, shift);
      pressClicked_ = true;
      Chosen();
    }
  }
  TCustomScrollView::MouseDown(button, shift, x, y);
}

void TListBox::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomScrollView::KeyDown(key, shift);
  const int n = items_.Count();
  if (key == 0 || n == 0) return;
  int to;
  switch (key) {
    case VK_UP: to = std::max(0, itemIndex_ - 1); break;
    case VK_DOWN: to = std::min(n - 1, itemIndex_ + 1); break;
    case VK_HOME: to = 0; break;
    case VK_END: to = n - 1; break;
    case VK_PRIOR: to = std::max(0, itemIndex_ - VisibleLines() + 1); break;
    case VK_NEXT: to = std::min(n - 1, std::max(0, itemIndex_) + VisibleLines() - 1); break;
    default: return;
  }
  Select(to, shift & ssShift);
  Chosen();
}

void TListBox::DoEnter() {
  Invalidate();
  TCustomScrollView::DoEnter();
}

void TListBox::DoExit() {
  Invalidate();
  TCustomScrollView::DoExit();
}

void TListBox::PaintView(TCanvas* c, const TRect& view) {
  const int last = std::min(items_.Count(), TopLine() + view.Height() / LineHeight() + 1);
  for (int i = TopLine(); i < last; ++i) {
    c->Font()->Assign(*Font());
    DrawItem(c, i, ItemRect(i));
  }
  if (Focused() && itemIndex_ >= TopLine() && itemIndex_ < last) c->DrawFocusRect(ItemRect(itemIndex_));
}

void TListBox::DrawItem(TCanvas* c, int index, const TRect& r) {
  const bool marked = Selected(index);
  TRect text = r;
  text.Left += TextIndent();
  c->Brush()->SetColor(marked ? clHighlight : Color());
  c->FillRect(text);
  c->Font()->SetColor(marked ? clHighlightText : (Enabled() ? Font()->Color() : clGrayText));
  text.Left += 2;
  c->Brush()->SetStyle(bsClear);
  c->DrawText(items_[index], text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  c->Brush()->SetStyle(bsSolid);
}

// ---- TCheckListBox ----

namespace {
constexpr int kBox = 13;
}

TCheckListBox::TCheckListBox(TComponent* owner) : TListBox(owner) {}

bool TCheckListBox::Checked(int i) const { return i >= 0 && i < static_cast<int>(checked_.size()) && checked_[i]; }

void TCheckListBox::SetChecked(int i, bool v) {
  if (i < 0 || i >= static_cast<int>(checked_.size())) return;
  checked_[i] = v;
  Invalidate();
}

void TCheckListBox::ItemsRemapped(const std::vector<int>& oldIndexOf) { Remap(checked_, oldIndexOf); }

void TCheckListBox::Toggle(int i) {
  if (i < 0 || i >= static_cast<int>(checked_.size()) || !Enabled()) return;
  checked_[i] = !checked_[i];
  Invalidate();
  if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  const int i = ItemAtPos({x, y}, true);
  const bool onBox = button == mbLeft && i >= 0 && x - ItemRect(i).Left < TextIndent();
  TListBox::MouseDown(button, shift, x, y);
  if (onBox) Toggle(i);
}

void TCheckListBox::KeyDown(uint16_t& key, TShiftState shift) {
  TListBox::KeyDown(key, shift);
  if (key == VK_SPACE) Toggle(ItemIndex());
}

void TCheckListBox::DrawItem(TCanvas* c, int index, const TRect& r) {
  TListBox::DrawItem(c, index, r);
  c->Brush()->SetColor(Color());
  c->FillRect(Rect(r.Left, r.Top, r.Left + TextIndent(), r.Bottom));
  const int top = r.Top + (r.Height() - kBox) / 2;
  TRect box = Rect(r.Left + 3, top, r.Left + 3 + kBox, top + kBox);
  c->DrawEdge(box, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  c->Brush()->SetColor(Enabled() ? clWindow : clBtnFace);
  c->FillRect(box);
  if (!Checked(index)) return;
  // A tick of two strokes, three pixels thick.
  c->Brush()->SetColor(clWindowText);
  const int x0 = box.Left + 1, y0 = box.Top + 3;
  for (int k = 0; k < 7; ++k) {
    const int y = k < 3 ? y0 + 2 + k : y0 + 4 - (k - 2);
    c->FillRect(Rect(x0 + k, y, x0 + k + 1, y + 3));
  }
}
