// Tabs, the status bar, up-down buttons, the tool bar and the cool bar.
#include "platform/ComCtrls.h"

#include <QFontMetrics>
#include <QFrame>
#include <QTabBar>
#include <QToolButton>
#include <QWidget>

#include <algorithm>

#include "platform/ActnList.h"
#include "platform/Menus.h"
#include "platform/QtBridge.h"

namespace {

int TextHeightOf(const TFont& font) {
  return HaveGuiApplication() ? QFontMetrics(ToQFont(font)).height() : font.PixelSize();
}

int TextWidthOf(const TFont& font, const AnsiString& text) {
  const QString s = StripAccelerators(ToQ(text));
  return HaveGuiApplication() ? QFontMetrics(ToQFont(font)).horizontalAdvance(s)
                              : static_cast<int>(s.size()) * font.PixelSize();
}

}  // namespace

// ---- TCustomTabControl ----

namespace {
constexpr int kBodyBorder = 2;
}

TCustomTabControl::TCustomTabControl(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 289, 193);
  TabStop = true;
}

TCustomTabControl::~TCustomTabControl() = default;

int TCustomTabControl::TabHeight() const { return TextHeightOf(*Font()) + 10; }

int TCustomTabControl::ClientWidth() const { return std::max(0, Width() - 2 * kBodyBorder); }

int TCustomTabControl::ClientHeight() const { return std::max(0, Height() - TabHeight() - 2 * kBodyBorder); }

void TCustomTabControl::UserSelect(int i) {
  if (i < 0 || i >= TabCount() || i == CurrentTab()) return;
  ChooseTab(i);
  if (OnChange) OnChange(this);
}

void TCustomTabControl::TabsChanged() { UpdateWidget(); }

void TCustomTabControl::FontChanged() {
  TWinControl::FontChanged();
  Realign();  // the tabs' height follows the font
}

QWidget* TCustomTabControl::CreateWidget(QWidget* parent) {
  auto* w = new QWidget(parent);
  bar_ = new QTabBar(w);
  bar_->setDrawBase(false);
  bar_->setExpanding(false);
  auto* frame = new QFrame(w);
  frame->setObjectName("frame");
  frame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  body_ = new QWidget(frame);
  QObject::connect(bar_, &QTabBar::currentChanged, [this](int i) {
    if (!syncing_) UserSelect(i);
  });
  return w;
}

void TCustomTabControl::SyncWidget() {
  TControl::SyncWidget();
  syncing_ = true;
  bool same = bar_->count() == TabCount();
  for (int i = 0; same && i < TabCount(); ++i) same = bar_->tabText(i) == ToQ(TabCaption(i));
  if (!same) {
    while (bar_->count() > 0) bar_->removeTab(bar_->count() - 1);
    for (int i = 0; i < TabCount(); ++i) bar_->addTab(ToQ(TabCaption(i)));
  }
  bar_->setCurrentIndex(CurrentTab());
  syncing_ = false;
  bar_->setFont(ToQFont(*Font()));
  const int tabs = TabHeight();
  bar_->setGeometry(0, 0, Width(), tabs);
  auto* frame = widget_->findChild<QFrame*>("frame");
  frame->setGeometry(0, tabs - 1, Width(), std::max(0, Height() - tabs + 1));
  body_->setGeometry(kBodyBorder, kBodyBorder, ClientWidth(), ClientHeight());
  QPalette pal = widget_->palette();
  pal.setColor(QPalette::Window, ToQColor(Color()));
  frame->setPalette(pal);
  frame->setAutoFillBackground(true);
  bar_->raise();
}

// ---- TTabControl ----

TTabControl::TTabControl(TComponent* owner) : TCustomTabControl(owner) {
  tabs_.OnChange = [this] {
    if (tabs_.Count() == 0)
      tabIndex_ = -1;
    else if (tabIndex_ < 0 || tabIndex_ >= tabs_.Count())
      tabIndex_ = tabIndex_ < 0 ? 0 : tabs_.Count() - 1;
    TabsChanged();
  };
}

TTabControl::~TTabControl() { tabs_.OnChange = nullptr; }

void TTabControl::SetTabIndex(int i) {
  if (i < -1 || i >= tabs_.Count()) return;
  tabIndex_ = i;
  TabsChanged();
}

// ---- TTabSheet ----

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) { TControl::SetVisible(false); }

TTabSheet::~TTabSheet() {
  if (pageControl_) pageControl_->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* p) {
  if (p == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  pageControl_ = p;
  SetParent(p);
  if (p) p->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  const auto& v = pageControl_->pages_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::CaptionChanged() {
  if (pageControl_) pageControl_->TabsChanged();
}

// ---- TPageControl ----

TPageControl::TPageControl(TComponent* owner) : TCustomTabControl(owner) {}

TPageControl::~TPageControl() {
  // The pages are freed with the control's children, after this control has stopped being one.
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
  pages_.clear();
  active_ = nullptr;
}

void TPageControl::InsertPage(TTabSheet* page) {
  pages_.push_back(page);
  if (!active_) active_ = page;
  TabsChanged();
  Realign();
}

void TPageControl::RemovePage(TTabSheet* page) {
  auto it = std::find(pages_.begin(), pages_.end(), page);
  if (it == pages_.end()) return;
  const size_t at = it - pages_.begin();
  pages_.erase(it);
  page->pageControl_ = nullptr;
  if (active_ == page) active_ = pages_.empty() ? nullptr : pages_[std::min(at, pages_.size() - 1)];
  TabsChanged();
  Realign();
}

int TPageControl::ActivePageIndex() const {
  auto it = std::find(pages_.begin(), pages_.end(), active_);
  return it == pages_.end() ? -1 : static_cast<int>(it - pages_.begin());
}

void TPageControl::SetActivePageIndex(int i) {
  if (i >= 0 && i < PageCount()) SetActivePage(pages_[i]);
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == active_ || (page && page->pageControl_ != this)) return;
  TTabSheet* old = active_;
  active_ = page;
  Realign();
  TabsChanged();
  if (old && old->OnHide) old->OnHide(old);
  if (page && page->OnShow) page->OnShow(page);
}

void TPageControl::AlignControls() {
  TCustomTabControl::AlignControls();
  for (TTabSheet* p : pages_) {
    p->SetBounds(0, 0, ClientWidth(), ClientHeight());
    p->SetVisible(p == active_);
  }
}

// ---- TStatusBar ----

void TStatusPanel::SetText(const AnsiString& t) {
  if (t == text_) return;
  text_ = t;
  bar_->Invalidate();
}

void TStatusPanel::SetWidth(int w) {
  width_ = std::max(0, w);
  bar_->Invalidate();
}

void TStatusPanel::SetAlignment(TAlignment a) {
  alignment_ = a;
  bar_->Invalidate();
}

int TStatusPanel::Index() const {
  const auto& v = bar_->panels_.panels_;
  for (size_t i = 0; i < v.size(); ++i)
    if (v[i].get() == this) return static_cast<int>(i);
  return -1;
}

TStatusPanel* TStatusPanels::Add() {
  panels_.push_back(std::unique_ptr<TStatusPanel>(new TStatusPanel(bar_)));
  bar_->Invalidate();
  return panels_.back().get();
}

void TStatusPanels::Clear() {
  panels_.clear();
  bar_->Invalidate();
}

TStatusBar::TStatusBar(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 200, std::max(19, TextHeightOf(*Font()) + 8));
  SetAlign(alBottom);
}

TStatusBar::~TStatusBar() = default;

void TStatusBar::FontChanged() {
  TCustomControl::FontChanged();
  SetHeight(std::max(19, TextHeightOf(*Font()) + 8));
}

TRect TStatusBar::PanelRect(int index) {
  int x = 0;
  for (int i = 0; i < index && i < panels_.Count(); ++i) x += panels_.Items(i)->Width();
  if (index < 0 || index >= panels_.Count()) return TRect{};
  const bool last = index == panels_.Count() - 1;
  const int right = last ? Width() : x + panels_.Items(index)->Width() - 2;
  return Rect(x, 2, std::max(x, right), Height());
}

void TStatusBar::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  for (int i = 0; i < panels_.Count(); ++i) {
    TRect r = PanelRect(i);
    if (r.Empty()) continue;
    c->DrawEdge(r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    const TStatusPanel* p = panels_.Items(i);
    TRect text = r;
    InflateRect(text, -2, 0);
    unsigned format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    if (p->Alignment() == taCenter) format |= DT_CENTER;
    if (p->Alignment() == taRightJustify) format |= DT_RIGHT;
    c->Brush()->SetStyle(bsClear);
    c->DrawText(p->Text(), text, format);
    c->Brush()->SetStyle(bsSolid);
  }
}

// ---- TToolButton ----

TToolButton::TToolButton(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 23, 22); }

TToolButton::~TToolButton() { SetAction(nullptr); }

namespace {

TToolBar* BarOf(const TControl* c) { return dynamic_cast<TToolBar*>(c->Parent()); }

}  // namespace

void TToolButton::SetAction(TAction* a) {
  if (a == action_) return;
  if (action_) action_->RemoveClient(this);
  action_ = a;
  if (!a) return;
  a->AddClient(this);
  ActionChanged();
}

void TToolButton::ActionChanged() {
  if (!action_) return;
  SetCaption(action_->Caption());
  SetEnabled(action_->Enabled());
  SetVisible(action_->Visible());
  Hint = action_->Hint;
}

void TToolButton::SetMenuItem(TMenuItem* item) {
  menuItem_ = item;
  if (item) SetCaption(item->Caption());
}

void TToolButton::SetStyle(TToolButtonStyle s) {
  style_ = s;
  if (TToolBar* bar = BarOf(this)) bar->Realign();
  UpdateWidget();
}

void TToolButton::CaptionChanged() {
  if (TToolBar* bar = BarOf(this)) bar->Realign();
}

void TToolButton::Click() {
  if (style_ == tbsSeparator || !Enabled()) return;
  if (OnClick)
    OnClick(this);
  else if (action_)
    action_->Execute();
  if (menuItem_) {
    if (menuItem_->Count() > 0)
      DropDown();
    else
      menuItem_->Click();
  }
}

void TToolButton::DropDown() {
  QPoint at(0, Height());
  if (widget_) {
    at = widget_->mapToGlobal(at);
    static_cast<QToolButton*>(widget_)->setDown(true);
  }
  PopupSubmenu(menuItem_, at.x(), at.y());
  if (widget_) static_cast<QToolButton*>(widget_)->setDown(false);
}

QWidget* TToolButton::CreateWidget(QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  b->setFocusPolicy(Qt::NoFocus);
  QObject::connect(b, &QToolButton::clicked, [this] { Click(); });
  return b;
}

void TToolButton::SyncWidget() {
  TControl::SyncWidget();
  auto* b = static_cast<QToolButton*>(widget_);
  const TToolBar* bar = BarOf(this);
  b->setAutoRaise(bar ? bar->Flat() : false);
  b->setText(style_ == tbsSeparator ? QString() : StripAccelerators(ToQ(Caption())));
  b->setEnabled(Enabled() && style_ != tbsSeparator);
  b->setToolTip(ShowHint ? ToQ(Hint) : QString());
  if (style_ == tbsSeparator) b->setAutoRaise(true);
}

// ---- TToolBar ----

TToolBar::TToolBar(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 150, 29);
  SetAlign(alTop);
}

int TToolBar::ButtonCount() const {
  int n = 0;
  for (int i = 0; i < ControlCount(); ++i) n += dynamic_cast<TToolButton*>(Controls(i)) != nullptr;
  return n;
}

TToolButton* TToolBar::Buttons(int i) const {
  for (int k = 0; k < ControlCount(); ++k)
    if (auto* b = dynamic_cast<TToolButton*>(Controls(k)); b && i-- == 0) return b;
  return nullptr;
}

void TToolBar::SetButtonWidth(int w) {
  buttonWidth_ = std::max(1, w);
  Realign();
}

void TToolBar::SetButtonHeight(int h) {
  buttonHeight_ = std::max(1, h);
  Realign();
}

void TToolBar::SetShowCaptions(bool v) {
  showCaptions_ = v;
  Realign();
}

void TToolBar::SetFlat(bool v) {
  flat_ = v;
  for (int i = 0; i < ButtonCount(); ++i) Buttons(i)->UpdateWidget();
}

void TToolBar::SetAutoSize(bool v) {
  autoSize_ = v;
  Realign();
}

int TToolBar::ButtonExtent(const TToolButton* b) const {
  if (b->Style() == tbsSeparator) return 8;
  if (showCaptions_ && b->AutoSize) return TextWidthOf(*Font(), b->Caption()) + 14;
  return buttonWidth_;
}

void TToolBar::AlignControls() {
  TWinControl::AlignControls();
  int x = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    auto* b = dynamic_cast<TToolButton*>(Controls(i));
    if (!b || !b->Visible()) continue;
    const int w = ButtonExtent(b);
    b->SetBounds(x, 0, w, buttonHeight_);
    x += w;
  }
  if (autoSize_) SetHeight(buttonHeight_);
}

QWidget* TToolBar::CreateWidget(QWidget* parent) { return new QWidget(parent); }

void TToolBar::SyncWidget() {
  TWinControl::SyncWidget();
  QPalette pal = widget_->palette();
  pal.setColor(QPalette::Window, ToQColor(Color()));
  widget_->setPalette(pal);
  widget_->setAutoFillBackground(true);
}

// ---- TCoolBar ----

namespace {
constexpr int kGripper = 12;  // the band's gripper, left of its control
constexpr int kBandPad = 2;   // above and below a band's control
}  // namespace

void TCoolBand::SetControl(TWinControl* c) {
  control_ = c;
  if (auto* bands = dynamic_cast<TCoolBands*>(Collection()); bands && c && c->Parent() != bands->bar_)
    c->SetParent(bands->bar_);
  Changed(false);
}

void TCoolBand::SetVisible(bool v) {
  visible_ = v;
  Changed(false);
}

void TCoolBand::SetBreak(bool v) {
  break_ = v;
  Changed(false);
}

void TCoolBand::SetWidth(int w) {
  width_ = std::max(0, w);
  Changed(false);
}

void TCoolBand::SetMinWidth(int w) {
  minWidth_ = std::max(0, w);
  Changed(false);
}

TPersistent* TCoolBands::GetOwner() const { return bar_; }

void TCoolBands::Update(TCollectionItem*) { bar_->Realign(); }

TCoolBar::TCoolBar(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 150, 75);
  SetAlign(alTop);
}

TCoolBar::~TCoolBar() = default;

bool TCoolBar::Holds(const TControl* c) const {
  for (int k = 0; k < ControlCount(); ++k)
    if (Controls(k) == c) return true;
  return false;
}

std::vector<TRect> TCoolBar::LayOut(int* height) {
  // A band's control that was freed is no longer among the children: the band forgets it.
  for (int i = 0; i < bands_.Count(); ++i)
    if (bands_.Items(i)->control_ && !Holds(bands_.Items(i)->control_)) bands_.Items(i)->control_ = nullptr;
  std::vector<TRect> rects(bands_.Count());
  // Rows of visible bands: a band with Break begins a new row (the first always does).
  std::vector<std::vector<int>> rows;
  for (int i = 0; i < bands_.Count(); ++i) {
    const TCoolBand* b = bands_.Items(i);
    if (!b->visible_) continue;
    if (rows.empty() || b->break_) rows.emplace_back();
    rows.back().push_back(i);
  }
  int y = 0;
  for (const auto& row : rows) {
    int h = 0;
    for (int i : row) {
      const TWinControl* c = bands_.Items(i)->control_;
      h = std::max(h, (c ? c->Height() : 22) + 2 * kBandPad);
    }
    int x = 0;
    for (size_t k = 0; k < row.size(); ++k) {
      const TCoolBand* b = bands_.Items(row[k]);
      int w = std::max(b->width_, b->minWidth_);
      if (k + 1 == row.size()) w = std::max(w, Width() - x);
      rects[row[k]] = Rect(x, y, x + w, y + h);
      x += w;
    }
    y += h;
  }
  if (height) *height = y;
  return rects;
}

TRect TCoolBar::BandRect(int index) {
  if (index < 0 || index >= bands_.Count()) return TRect{};
  return LayOut(nullptr)[index];
}

void TCoolBar::AlignControls() {
  TCustomControl::AlignControls();
  int height = 0;
  const std::vector<TRect> rects = LayOut(&height);
  for (int i = 0; i < bands_.Count(); ++i) {
    TCoolBand* b = bands_.Items(i);
    TWinControl* c = b->control_;
    if (!c) continue;
    const TRect& r = rects[i];
    if (b->visible_)
      c->SetBounds(r.Left + kGripper, r.Top + kBandPad, std::max(0, r.Width() - kGripper - 2), c->Height());
    c->SetVisible(b->visible_);
  }
  if (AutoSize && height > 0) SetHeight(height);
  Invalidate();
}

void TCoolBar::Paint() {
  TCanvas* c = Canvas();
  const std::vector<TRect> rects = LayOut(nullptr);
  for (int i = 0; i < bands_.Count(); ++i) {
    if (!bands_.Items(i)->visible_) continue;
    TRect r = rects[i];
    c->DrawEdge(r, EDGE_ETCHED, BF_RECT);
    // The gripper: two raised lines down the band's left side.
    for (int k = 0; k < 2; ++k) {
      TRect g = Rect(r.Left + 3 + 3 * k, r.Top + 3, r.Left + 6 + 3 * k, r.Bottom - 3);
      c->DrawEdge(g, BDR_RAISEDINNER, BF_LEFT | BF_RIGHT);
    }
  }
}
