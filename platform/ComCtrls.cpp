#include "platform/ComCtrls.h"

#include <QFrame>
#include <QTabBar>

#include <algorithm>

#include "platform/QtBridge.h"

namespace {

// The height of a row of tabs in the current style and font.
int TabHeight(const TFont& font) {
  if (!HaveGuiApplication()) return 22;
  QTabBar bar;
  bar.setFont(ToQFont(font));
  bar.addTab(QStringLiteral("Ag"));
  return bar.sizeHint().height();
}

// A frame under a tab bar; the bar reports the user's choice.
class TabbedWidget : public QWidget {
 public:
  explicit TabbedWidget(QWidget* parent) : QWidget(parent) {
    frame = new QFrame(this);
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    bar = new QTabBar(this);
    bar->setDrawBase(false);
    bar->setExpanding(false);
  }
  void Place(int tabHeight) {
    bar->setGeometry(0, 0, width(), tabHeight);
    frame->setGeometry(0, tabHeight - 1, width(), std::max(0, height() - tabHeight + 1));
    frame->lower();
  }
  void SetTabs(const QStringList& texts, int index) {
    while (bar->count() > texts.size()) bar->removeTab(bar->count() - 1);
    for (int i = 0; i < texts.size(); ++i) {
      if (i < bar->count())
        bar->setTabText(i, texts[i]);
      else
        bar->addTab(texts[i]);
    }
    if (index >= 0) bar->setCurrentIndex(index);
  }
  QTabBar* bar;
  QFrame* frame;
};

// The area under the tabs and inside the frame of a tabbed control.
TRect TabbedDisplayRect(const TControl* c) {
  const int tabs = TabHeight(*c->Font());
  return Rect(4, tabs + 3, std::max(4, c->Width() - 4), std::max(tabs + 3, c->Height() - 4));
}

}  // namespace

// ---- TTabSheet ----

TTabSheet::TTabSheet(TComponent* owner) : TWinControl(owner) { SetVisible(false); }

TTabSheet::~TTabSheet() { SetPageControl(nullptr); }

void TTabSheet::SetPageControl(TPageControl* pc) {
  if (pc == pageControl_) return;
  if (pageControl_) pageControl_->RemovePage(this);
  pageControl_ = pc;
  SetParent(pc);
  if (pc) pc->AddPage(this);
}

int TTabSheet::PageIndex() const {
  if (!pageControl_) return -1;
  const auto& v = pageControl_->pages_;
  return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TTabSheet::CaptionChanged() {
  if (pageControl_) pageControl_->UpdateWidget();
}

// ---- TPageControl ----

TPageControl::TPageControl(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 289, 193); }

TPageControl::~TPageControl() {
  for (TTabSheet* p : pages_) p->pageControl_ = nullptr;
}

void TPageControl::AddPage(TTabSheet* page) {
  pages_.push_back(page);
  PlacePages();
  if (!active_) SetActivePage(page);
  UpdateWidget();
}

void TPageControl::RemovePage(TTabSheet* page) {
  pages_.erase(std::remove(pages_.begin(), pages_.end(), page), pages_.end());
  if (active_ == page) {
    active_ = nullptr;
    if (!pages_.empty()) SetActivePage(pages_.front());
  }
  UpdateWidget();
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == active_ || (page && page->pageControl_ != this)) return;
  active_ = page;
  for (TTabSheet* p : pages_) p->SetVisible(p == active_);
  UpdateWidget();
  if (OnChange) OnChange(this);
}

int TPageControl::ActivePageIndex() const { return active_ ? active_->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(int i) {
  if (i >= 0 && i < PageCount()) SetActivePage(pages_[i]);
}

TRect TPageControl::DisplayRect() const { return TabbedDisplayRect(this); }

void TPageControl::PlacePages() {
  const TRect r = DisplayRect();
  for (TTabSheet* p : pages_) p->SetBounds(r.Left, r.Top, r.Width(), r.Height());
}

void TPageControl::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, width, height);
  PlacePages();
}

QWidget* TPageControl::CreateWidget(QWidget* parent) {
  auto* w = new TabbedWidget(parent);
  QObject::connect(w->bar, &QTabBar::currentChanged, [this](int i) {
    if (!syncing_) SetActivePageIndex(i);
  });
  return w;
}

void TPageControl::SyncWidget() {
  TWinControl::SyncWidget();
  auto* w = static_cast<TabbedWidget*>(widget_);
  syncing_ = true;
  QStringList texts;
  for (TTabSheet* p : pages_) texts << StripAccelerators(ToQ(p->Caption()));
  w->SetTabs(texts, ActivePageIndex());
  w->Place(TabHeight(*Font()));
  syncing_ = false;
}

// ---- TTabControl ----

TTabControl::TTabControl(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 289, 193);
  tabs_.OnChange = [this] {
    if (tabIndex_ >= tabs_.Count()) tabIndex_ = tabs_.Count() - 1;
    if (tabIndex_ < 0 && tabs_.Count() > 0) tabIndex_ = 0;
    UpdateWidget();
  };
}

TTabControl::~TTabControl() { tabs_.OnChange = nullptr; }

void TTabControl::SetTabIndex(int i) {
  if (i < -1 || i >= tabs_.Count() || i == tabIndex_) return;
  tabIndex_ = i;
  UpdateWidget();
  if (OnChange) OnChange(this);
}

TRect TTabControl::DisplayRect() const { return TabbedDisplayRect(this); }

QWidget* TTabControl::CreateWidget(QWidget* parent) {
  auto* w = new TabbedWidget(parent);
  QObject::connect(w->bar, &QTabBar::currentChanged, [this](int i) {
    if (!syncing_) SetTabIndex(i);
  });
  return w;
}

void TTabControl::SyncWidget() {
  TWinControl::SyncWidget();
  auto* w = static_cast<TabbedWidget*>(widget_);
  syncing_ = true;
  QStringList texts;
  for (int i = 0; i < tabs_.Count(); ++i) texts << StripAccelerators(ToQ(tabs_[i]));
  w->SetTabs(texts, tabIndex_);
  w->Place(TabHeight(*Font()));
  syncing_ = false;
}
