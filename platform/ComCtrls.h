// Common controls: tree view, tab control and page control, status bar, up-down buttons, tool bar
// and cool bar.
#pragma once

#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/ActnList.h"
#include "platform/ScrollView.h"

class TImageList;
class TTreeView;
class TTreeNodes;
class TMenuItem;
class TAction;
class QWidget;
class QTabBar;
class QFontMetrics;

// ---- Tree view ----

// One node of a tree view. Nodes are made and freed by the tree's Items; a node owns its child
// nodes. Data is the program's pointer and is never freed by the tree.
class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& t);
  void* Data = nullptr;
  // The picture shown for the node, and the one shown while it is the selected node (-1: none).
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int i);
  int SelectedIndex() const { return selectedIndex_; }
  void SetSelectedIndex(int i);
  // Whether the node shows an expand button: set when a child is added, cleared by
  // DeleteChildren, and settable for children that are made only when the node expands.
  bool HasChildren() const { return hasChildren_; }
  void SetHasChildren(bool v);

  // Expanding asks the tree's OnExpanding first (which may add the children); a node with no
  // child nodes afterwards stays collapsed. Collapsing asks OnCollapsing.
  bool Expanded() const { return expanded_; }
  void Expand(bool recursive);
  void Collapse(bool recursive);

  int Count() const { return static_cast<int>(children_.size()); }
  TTreeNode* Item(int i) const { return children_.at(i); }
  // The parent node, or null for a node at the top level.
  TTreeNode* Parent() const;
  int Index() const { return index_; }
  int Level() const;
  TTreeNode* GetFirstChild() const { return children_.empty() ? nullptr : children_.front(); }
  TTreeNode* GetNextSibling() const;
  TTreeNode* GetPrevSibling() const;
  // Whether node lies below this one (at any depth).
  bool HasAsParent(const TTreeNode* node) const;

  bool Selected() const;
  void SetSelected(bool v);
  // Every ancestor expanded, so that the node has a line in the view.
  bool IsVisible() const;
  void MakeVisible();
  // The node's label (with its picture unless textOnly) in client coordinates; empty when the
  // node has no line in the view.
  TRect DisplayRect(bool textOnly) const;

  // Frees the node (or its children) with everything below it; the tree's OnDeletion sees each
  // freed node first, children before their parent.
  void Delete();
  void DeleteChildren();

  TTreeNodes* Owner() const { return owner_; }
  TTreeView* TreeView() const;

 private:
  friend class TTreeNodes;
  friend class TTreeView;
  explicit TTreeNode(TTreeNodes* owner) : owner_(owner) {}
  ~TTreeNode() = default;
  TTreeNodes* owner_;
  TTreeNode* parent_ = nullptr;  // the hidden top node for nodes at the top level
  std::vector<TTreeNode*> children_;
  int index_ = 0;
  int level_ = 0;
  int width_ = -1;  // the text's width in the tree's font, -1 when not measured
  AnsiString text_;
  int imageIndex_ = -1;
  int selectedIndex_ = -1;
  bool hasChildren_ = false;
  bool expanded_ = false;
};

// The nodes of a tree view.
class TTreeNodes {
 public:
  TTreeNodes(const TTreeNodes&) = delete;
  TTreeNodes& operator=(const TTreeNodes&) = delete;
  ~TTreeNodes();  // with the tree: the nodes go without events

  // Every node at any depth.
  int Count() const { return count_; }
  TTreeNode* GetFirstNode() const;
  // A node after the last child of sibling's parent (at the top level for a null sibling).
  TTreeNode* Add(TTreeNode* sibling, const AnsiString& text) { return AddObject(sibling, text, nullptr); }
  TTreeNode* AddObject(TTreeNode* sibling, const AnsiString& text, void* data);
  // A node after the last child of parent (at the top level for a null parent).
  TTreeNode* AddChild(TTreeNode* parent, const AnsiString& text) { return AddChildObject(parent, text, nullptr); }
  TTreeNode* AddChildObject(TTreeNode* parent, const AnsiString& text, void* data);
  void Delete(TTreeNode* node) {
    if (node) node->Delete();
  }
  void Clear();
  // Changes between BeginUpdate and the last EndUpdate are drawn once, by EndUpdate.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  TTreeView* Owner() const { return view_; }

 private:
  friend class TTreeNode;
  friend class TTreeView;
  explicit TTreeNodes(TTreeView* view);
  TTreeNode* Insert(TTreeNode* parent, const AnsiString& text, void* data);
  void Free(TTreeNode* node);
  TTreeView* view_;
  TTreeNode root_;
  int count_ = 0;
  int updating_ = 0;
};

using TTVExpandingEvent = std::function<void(TObject* sender, TTreeNode* node, bool& allowExpansion)>;
using TTVCollapsingEvent = std::function<void(TObject* sender, TTreeNode* node, bool& allowCollapse)>;
using TTVChangedEvent = std::function<void(TObject* sender, TTreeNode* node)>;

// Where a point lies relative to the tree's lines (GetHitTestInfoAt).
enum THitTest : int {
  htNowhere = 1,   // below the last line
  htOnButton = 2,  // the expand button
  htOnIcon = 4,    // the picture
  htOnLabel = 8,   // the text
  htOnIndent = 16, // left of the button
  htOnRight = 32,  // right of the text
  htOnItem = htOnIcon | htOnLabel,
};
using THitTests = int;

// A tree of nodes with pictures, drawn by the framework. One node at a time is the selected node
// (the program marks others itself, by their pictures). A click selects on the release of the
// button, unless a drag began, which selects the pressed node while the button is still held;
// Up, Down, Home, End and the page keys move the selection, Right and Left expand and collapse.
// OnChange runs after every change of the selected node, also one the program makes; when the
// selected node is freed the selection passes to its parent (or to nothing) without OnChange.
// Node captions are never edited in place.
class TTreeView : public TCustomScrollView {
 public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;

  TTreeNodes* Items() { return nodes_.get(); }
  TTreeNode* Selected() const { return selected_; }
  void SetSelected(TTreeNode* node);
  // The node under a client point when it is over the node's picture or text, else null.
  TTreeNode* GetNodeAt(int x, int y);
  THitTests GetHitTestInfoAt(int x, int y);
  // The node shown as the place of a drop while something is dragged over the tree.
  TTreeNode* DropTarget() const { return dropTarget_; }
  TTreeNode* TopItem();
  void SetTopItem(TTreeNode* node);

  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);  // not owned
  // Expand buttons and lines at the top level too.
  bool ShowRoot() const { return showRoot_; }
  void SetShowRoot(bool v);
  bool ShowLines() const { return showLines_; }
  void SetShowLines(bool v);
  bool ShowButtons() const { return showButtons_; }
  void SetShowButtons(bool v);
  // A right click selects the node under the pointer before the popup menu opens.
  bool RightClickSelect = false;
  // Pixels from a level to the next.
  int Indent() const { return indent_; }
  void SetIndent(int v);

  TTVExpandingEvent OnExpanding;
  TTVCollapsingEvent OnCollapsing;
  TTVChangedEvent OnChange;
  // Each node that leaves the tree, children before their parent, while it is still whole.
  TTVChangedEvent OnDeletion;

 protected:
  int ContentLines() override;
  int ContentWidth() override;
  void PaintView(TCanvas* canvas, const TRect& view) override;
  void FontChanged() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void DoStartDrag() override;
  void DragOver(TObject* source, int x, int y, TDragState state, bool& accept) override;
  void DragDrop(TObject* source, int x, int y) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  friend class TTreeNode;
  friend class TTreeNodes;
  // The nodes that have a line in the view, top to bottom (built again after a change).
  const std::vector<TTreeNode*>& Rows();
  int RowOf(const TTreeNode* node);
  void StructureChanged();
  void NodeChanged();
  void NodeFreeing(TTreeNode* node);
  void Select(TTreeNode* node);
  bool ExpandNode(TTreeNode* node);
  bool CollapseNode(TTreeNode* node);
  // Layout of one line: where the button, picture and text of a node of a level begin.
  int ContentX(int level) const;
  int TextWidthOf(const TTreeNode* node);
  TRect LabelRect(const TTreeNode* node, int row, bool textOnly);
  int LineHeightFor() const;
  void UpdateLineHeight();
  std::unique_ptr<TTreeNodes> nodes_;
  TTreeNode* selected_ = nullptr;
  TTreeNode* dropTarget_ = nullptr;
  TTreeNode* pressed_ = nullptr;   // where the left button went down
  TTreeNode* rightPressed_ = nullptr;
  TImageList* images_ = nullptr;
  bool showRoot_ = true, showLines_ = true, showButtons_ = true;
  int indent_ = 19;
  std::vector<TTreeNode*> rows_;
  bool rowsValid_ = false;
  int widest_ = -1;  // the widest line, -1 when not measured since the last change
  std::unordered_map<uint16_t, int> charWidths_;  // in the tree's font
  std::unique_ptr<QFontMetrics> metrics_;
};

// ---- Tabs ----

// The tab strip with the area below it: the base of the tab control and the page control. The
// children stand in the area below the tabs. OnChange runs when the user chooses another tab, not
// when the program does.
class TCustomTabControl : public TWinControl {
 public:
  explicit TCustomTabControl(TComponent* owner);
  ~TCustomTabControl() override;
  int ClientWidth() const override;
  int ClientHeight() const override;
  QWidget* ClientWidget() const override { return body_; }
  TNotifyEvent OnChange;
  // What the user's click on tab i does.
  void UserSelect(int i);

 protected:
  // The tabs' captions and the index of the chosen one.
  virtual int TabCount() const = 0;
  virtual AnsiString TabCaption(int i) const = 0;
  virtual int CurrentTab() const = 0;
  virtual void ChooseTab(int i) = 0;
  void TabsChanged();
  int TabHeight() const;
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void FontChanged() override;

 private:
  QTabBar* bar_ = nullptr;
  QWidget* body_ = nullptr;
  bool syncing_ = false;
};

// A strip of tabs over one area: the program shows in the area what the chosen tab stands for.
class TTabControl : public TCustomTabControl {
 public:
  explicit TTabControl(TComponent* owner);
  ~TTabControl() override;
  TStrings* Tabs() { return &tabs_; }
  int TabIndex() const { return tabIndex_; }
  void SetTabIndex(int i);

 protected:
  int TabCount() const override { return tabs_.Count(); }
  AnsiString TabCaption(int i) const override { return tabs_[i]; }
  int CurrentTab() const override { return tabIndex_; }
  void ChooseTab(int i) override { SetTabIndex(i); }

 private:
  TStringList tabs_;
  int tabIndex_ = -1;
};

class TPageControl;

// A page of a page control: its caption is the tab's; it fills the area below the tabs and shows
// while it is the active page. OnShow runs each time it becomes the active page.
class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* owner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return pageControl_; }
  void SetPageControl(TPageControl* p);
  int PageIndex() const;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 protected:
  void CaptionChanged() override;

 private:
  friend class TPageControl;
  TPageControl* pageControl_ = nullptr;
};

class TPageControl : public TCustomTabControl {
 public:
  explicit TPageControl(TComponent* owner);
  ~TPageControl() override;
  int PageCount() const { return static_cast<int>(pages_.size()); }
  TTabSheet* Pages(int i) const { return pages_.at(i); }
  TTabSheet* ActivePage() const { return active_; }
  void SetActivePage(TTabSheet* page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int i);

 protected:
  int TabCount() const override { return PageCount(); }
  AnsiString TabCaption(int i) const override { return pages_[i]->Caption(); }
  int CurrentTab() const override { return ActivePageIndex(); }
  void ChooseTab(int i) override { SetActivePageIndex(i); }
  void AlignControls() override;

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

// ---- Status bar ----

class TStatusBar;

class TStatusPanel {
 public:
  const AnsiString& Text() const { return text_; }
  void SetText(const AnsiString& t);
  int Width() const { return width_; }
  void SetWidth(int w);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  int Index() const;

 private:
  friend class TStatusPanels;
  explicit TStatusPanel(TStatusBar* bar) : bar_(bar) {}
  TStatusBar* bar_;
  AnsiString text_;
  int width_ = 50;
  TAlignment alignment_ = taLeftJustify;
};

class TStatusPanels {
 public:
  int Count() const { return static_cast<int>(panels_.size()); }
  TStatusPanel* Items(int i) const { return panels_.at(i).get(); }
  TStatusPanel* Add();
  void Clear();

 private:
  friend class TStatusBar;
  friend class TStatusPanel;
  explicit TStatusPanels(TStatusBar* bar) : bar_(bar) {}
  TStatusBar* bar_;
  std::vector<std::unique_ptr<TStatusPanel>> panels_;
};

// A bar at the bottom of a window with panels of given widths side by side, each showing a line
// of text; the last panel reaches to the right edge.
class TStatusBar : public TCustomControl {
 public:
  explicit TStatusBar(TComponent* owner);
  ~TStatusBar() override;
  TStatusPanels* Panels() { return &panels_; }
  // The panel's area in client coordinates.
  TRect PanelRect(int index);

 protected:
  void Paint() override;
  void FontChanged() override;

 private:
  friend class TStatusPanel;
  friend class TStatusPanels;
  TStatusPanels panels_{this};
};

// ---- Tool bar ----

class TToolBar;
enum TToolButtonStyle { tbsButton, tbsSeparator };

// A button of a tool bar. Bound to an action it shows the action's caption and state and runs it;
// bound to a menu item it shows the item's caption and drops down the item's submenu (an item
// without a submenu is clicked).
class TToolButton : public TControl, public TActionClient {
 public:
  explicit TToolButton(TComponent* owner);
  ~TToolButton() override;
  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle s);
  TAction* Action() const { return action_; }
  void SetAction(TAction* a);
  TMenuItem* MenuItem() const { return menuItem_; }
  void SetMenuItem(TMenuItem* item);
  bool Grouped = false;
  bool AutoSize = false;
  void Click() override;
  void ActionChanged() override;
  void ActionFreed() override { SetAction(nullptr); }

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void CaptionChanged() override;

 private:
  friend class TToolBar;
  void DropDown();
  TToolButtonStyle style_ = tbsButton;
  TAction* action_ = nullptr;
  TMenuItem* menuItem_ = nullptr;
};

// A row of tool buttons, laid out left to right in the order they were placed on it.
class TToolBar : public TWinControl {
 public:
  explicit TToolBar(TComponent* owner);
  int ButtonCount() const;
  TToolButton* Buttons(int i) const;
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int w);
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int h);
  bool ShowCaptions() const { return showCaptions_; }
  void SetShowCaptions(bool v);
  bool Flat() const { return flat_; }
  void SetFlat(bool v);
  // The bar's height follows the buttons.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  // Platform internals: the width a button takes.
  int ButtonExtent(const TToolButton* b) const;

 protected:
  void AlignControls() override;
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  int buttonWidth_ = 23, buttonHeight_ = 22;
  bool showCaptions_ = false, flat_ = false, autoSize_ = false;
};

// ---- Cool bar ----

class TCoolBar;

// A band of a cool bar: one control with a gripper at its left. A band with Break begins a new
// row; the last band of a row reaches to the right edge.
class TCoolBand : public TCollectionItem {
 public:
  explicit TCoolBand(TCollection* collection) : TCollectionItem(collection) {}
  TWinControl* Control() const { return control_; }
  void SetControl(TWinControl* c);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Break() const { return break_; }
  void SetBreak(bool v);
  int Width() const { return width_; }
  void SetWidth(int w);
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int w);

 private:
  friend class TCoolBar;
  TWinControl* control_ = nullptr;
  bool visible_ = true, break_ = true;
  int width_ = 150, minWidth_ = 25;
};

class TCoolBands : public TCollection {
 public:
  TCoolBand* Items(int i) const { return static_cast<TCoolBand*>(TCollection::Items(i)); }
  TCoolBand* Add() { return static_cast<TCoolBand*>(TCollection::Add()); }
  TPersistent* GetOwner() const override;

 protected:
  TCollectionItem* NewItem() override { return new TCoolBand(this); }
  void Update(TCollectionItem* item) override;

 private:
  friend class TCoolBar;
  friend class TCoolBand;
  explicit TCoolBands(TCoolBar* bar) : bar_(bar) {}
  TCoolBar* bar_;
};

// Rows of bands, each holding one control (a tool bar). With AutoSize (the default) its height
// follows the rows.
class TCoolBar : public TCustomControl {
 public:
  explicit TCoolBar(TComponent* owner);
  ~TCoolBar() override;
  TCoolBands* Bands() { return &bands_; }
  bool AutoSize = true;
  // The band's area in client coordinates (empty when it is hidden).
  TRect BandRect(int index);

 protected:
  void AlignControls() override;
  void Paint() override;

 private:
  bool Holds(const TControl* c) const;
  std::vector<TRect> LayOut(int* height);
  TCoolBands bands_{this};
};
