// Tabbed containers: the page control with its tab sheets, and the tab control.
#pragma once

#include "platform/Controls.h"

class TPageControl;

// One page of a page control; the controls it parents show while it is the active page.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* pc);
  int PageIndex() const;

 protected:
  void CaptionChanged() override;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
};

// A stack of tab sheets under a row of tabs, one sheet showing at a time. Choosing a tab, by the
// user or the program through SetActivePage, runs OnChange when the page changes.
class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(i); }
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);
  TNotifyEvent OnChange;
  void SetBounds(int left, int top, int width, int height) override;
  // Where the sheets sit, inside the tabs and the frame.
  TRect DisplayRect() const;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  friend class TTabSheet;
  void AddPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void PlacePages();
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
  bool syncing_ = false;
};

// A row of tabs over an area whose controls stay the same whichever tab is chosen; the program
// reacts to OnChange. Choosing a tab, by the user or through SetTabIndex, runs OnChange when the
// index changes.
class TTabControl : public TWinControl {
 public:
  explicit TTabControl(TComponent* owner);
  ~TTabControl() override;
  TStrings* Tabs() { return &tabs_; }
  int TabIndex() const { return tabIndex_; }
  void SetTabIndex(int i);
  TNotifyEvent OnChange;
  TRect DisplayRect() const;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  TStringList tabs_;
  int tabIndex_ = -1;
  bool syncing_ = false;
};
