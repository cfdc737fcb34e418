// The tree view: nodes, their lines in the view, drawing, and mouse and key input.
#include <QFontMetrics>

#include <algorithm>

#include "platform/ComCtrls.h"
#include "platform/ImgList.h"
#include "platform/QtBridge.h"

namespace {
constexpr int kMargin = 2;     // left of the first level's button column
constexpr int kGap = 2;        // between a picture and its text
constexpr int kTextPad = 2;    // inside a label, left and right of the text
constexpr int kButton = 9;     // side of an expand button
}  // namespace

// ---- TTreeNode ----

TTreeView* TTreeNode::TreeView() const { return owner_->view_; }

TTreeNode* TTreeNode::Parent() const { return parent_ == &owner_->root_ ? nullptr : parent_; }

int TTreeNode::Level() const { return level_; }

TTreeNode* TTreeNode::GetNextSibling() const {
  if (!parent_) return nullptr;
  const auto& list = parent_->children_;
  return index_ + 1 < static_cast<int>(list.size()) ? list[index_ + 1] : nullptr;
}

TTreeNode* TTreeNode::GetPrevSibling() const {
  if (!parent_ || index_ == 0) return nullptr;
  return parent_->children_[index_ - 1];
}

bool TTreeNode::HasAsParent(const TTreeNode* node) const {
  if (!node) return false;
  for (const TTreeNode* p = parent_; p; p = p->parent_)
    if (p == node) return true;
  return false;
}

void TTreeNode::SetText(const AnsiString& t) {
  if (t == text_) return;
  text_ = t;
  width_ = -1;
  TreeView()->widest_ = -1;
  TreeView()->NodeChanged();
}

void TTreeNode::SetImageIndex(int i) {
  if (i == imageIndex_) return;
  imageIndex_ = i;
  TreeView()->NodeChanged();
}

void TTreeNode::SetSelectedIndex(int i) {
  if (i == selectedIndex_) return;
  selectedIndex_ = i;
  TreeView()->NodeChanged();
}

void TTreeNode::SetHasChildren(bool v) {
  if (v == hasChildren_) return;
  hasChildren_ = v;
  TreeView()->NodeChanged();
}

void TTreeNode::Expand(bool recursive) {
  TreeView()->ExpandNode(this);
  if (!recursive) return;
  for (int i = 0; i < Count(); ++i) Item(i)->Expand(true);
}

void TTreeNode::Collapse(bool recursive) {
  if (recursive)
    for (int i = 0; i < Count(); ++i) Item(i)->Collapse(true);
  TreeView()->CollapseNode(this);
}

bool TTreeNode::Selected() const { return TreeView()->Selected() == this; }

void TTreeNode::SetSelected(bool v) {
  if (v)
    TreeView()->SetSelected(this);
  else if (Selected())
    TreeView()->SetSelected(nullptr);
}

bool TTreeNode::IsVisible() const {
  for (const TTreeNode* p = Parent(); p; p = p->Parent())
    if (!p->expanded_) return false;
  return true;
}

void TTreeNode::MakeVisible() {
  std::vector<TTreeNode*> path;
  for (TTreeNode* p = Parent(); p; p = p->Parent()) path.push_back(p);
  for (auto it = path.rbegin(); it != path.rend(); ++it) TreeView()->ExpandNode(*it);
  const int row = TreeView()->RowOf(this);
  if (row >= 0) TreeView()->ScrollIntoView(row);
}

TRect TTreeNode::DisplayRect(bool textOnly) const {
  TTreeView* view = TreeView();
  const int row = view->RowOf(this);
  return row < 0 ? TRect{} : view->LabelRect(this, row, textOnly);
}

void TTreeNode::Delete() { owner_->Free(this); }

void TTreeNode::DeleteChildren() {
  TTreeNodes* nodes = owner_;
  while (!children_.empty()) nodes->Free(children_.back());
  hasChildren_ = false;
  expanded_ = false;
  TreeView()->StructureChanged();
}

// ---- TTreeNodes ----

TTreeNodes::TTreeNodes(TTreeView* view) : view_(view), root_(this) {
  root_.level_ = -1;
  root_.expanded_ = true;
}

TTreeNodes::~TTreeNodes() {
  // The tree is going: its nodes go without events.
  std::vector<TTreeNode*> stack(root_.children_.begin(), root_.children_.end());
  while (!stack.empty()) {
    TTreeNode* n = stack.back();
    stack.pop_back();
    stack.insert(stack.end(), n->children_.begin(), n->children_.end());
    delete n;
  }
}

TTreeNode* TTreeNodes::GetFirstNode() const { return root_.GetFirstChild(); }

TTreeNode* TTreeNodes::Insert(TTreeNode* parent, const AnsiString& text, void* data) {
  auto* node = new TTreeNode(this);
  node->parent_ = parent;
  node->index_ = static_cast<int>(parent->children_.size());
  node->level_ = parent->level_ + 1;
  node->text_ = text;
  node->Data = data;
  parent->children_.push_back(node);
  parent->hasChildren_ = true;
  ++count_;
  view_->StructureChanged();
  return node;
}

TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const AnsiString& text, void* data) {
  return Insert(sibling ? sibling->parent_ : &root_, text, data);
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const AnsiString& text, void* data) {
  return Insert(parent ? parent : &root_, text, data);
}

void TTreeNodes::Free(TTreeNode* node) {
  // Every node of the subtree hears of it first, children before their parent, all still in
  // their places; then the subtree leaves its parent and is freed.
  std::vector<TTreeNode*> order;
  std::vector<std::pair<TTreeNode*, size_t>> stack{{node, 0}};
  while (!stack.empty()) {
    auto& [n, next] = stack.back();
    if (next < n->children_.size()) {
      TTreeNode* child = n->children_[next++];
      stack.push_back({child, 0});
    } else {
      order.push_back(n);
      stack.pop_back();
    }
  }
  for (TTreeNode* n : order) view_->NodeFreeing(n);
  TTreeNode* parent = node->parent_;
  auto& siblings = parent->children_;
  siblings.erase(siblings.begin() + node->index_);
  for (size_t i = node->index_; i < siblings.size(); ++i) siblings[i]->index_ = static_cast<int>(i);
  if (siblings.empty()) parent->expanded_ = parent == &root_;
  for (TTreeNode* n : order) delete n;
  count_ -= static_cast<int>(order.size());
  view_->StructureChanged();
}

void TTreeNodes::Clear() {
  BeginUpdate();
  while (!root_.children_.empty()) Free(root_.children_.back());
  EndUpdate();
}

void TTreeNodes::EndUpdate() {
  if (updating_ > 0 && --updating_ == 0) view_->StructureChanged();
}

// ---- TTreeView ----

TTreeView::TTreeView(TComponent* owner) : TCustomScrollView(owner), nodes_(new TTreeNodes(this)) {
  SetBounds(0, 0, 121, 97);
  UpdateLineHeight();
}

TTreeView::~TTreeView() {
  OnDeletion = nullptr;
  nodes_.reset();
}

const std::vector<TTreeNode*>& TTreeView::Rows() {
  if (rowsValid_) return rows_;
  rows_.clear();
  std::vector<TTreeNode*> stack;
  const auto& top = nodes_->root_.children_;
  stack.assign(top.rbegin(), top.rend());
  while (!stack.empty()) {
    TTreeNode* n = stack.back();
    stack.pop_back();
    rows_.push_back(n);
    if (n->expanded_) stack.insert(stack.end(), n->children_.rbegin(), n->children_.rend());
  }
  rowsValid_ = true;
  return rows_;
}

int TTreeView::RowOf(const TTreeNode* node) {
  if (!node || !node->IsVisible()) return -1;
  const auto& rows = Rows();
  auto it = std::find(rows.begin(), rows.end(), node);
  return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

void TTreeView::StructureChanged() {
  rowsValid_ = false;
  widest_ = -1;
  if (nodes_ && nodes_->updating_ == 0) ContentChanged();
}

void TTreeView::NodeChanged() {
  if (nodes_ && nodes_->updating_ == 0) ContentChanged();
}

void TTreeView::NodeFreeing(TTreeNode* node) {
  if (OnDeletion) OnDeletion(this, node);
  if (selected_ == node) selected_ = node->Parent();
  if (dropTarget_ == node) dropTarget_ = nullptr;
  if (pressed_ == node) pressed_ = nullptr;
  if (rightPressed_ == node) rightPressed_ = nullptr;
}

void TTreeView::SetSelected(TTreeNode* node) { Select(node); }

void TTreeView::Select(TTreeNode* node) {
  if (node == selected_) return;
  selected_ = node;
  if (node) node->MakeVisible();
  Invalidate();
  if (OnChange) OnChange(this, node);
}

bool TTreeView::ExpandNode(TTreeNode* node) {
  if (node->expanded_) return true;
  if (!node->hasChildren_ && node->children_.empty()) return false;
  bool allow = true;
  if (OnExpanding) OnExpanding(this, node, allow);
  if (!allow || node->children_.empty()) return false;
  node->expanded_ = true;
  StructureChanged();
  return true;
}

bool TTreeView::CollapseNode(TTreeNode* node) {
  if (!node->expanded_) return true;
  bool allow = true;
  if (OnCollapsing) OnCollapsing(this, node, allow);
  if (!allow) return false;
  if (node->expanded_) {
    node->expanded_ = false;
    StructureChanged();
  }
  if (selected_ && selected_->HasAsParent(node)) Select(node);
  return true;
}

TTreeNode* TTreeView::TopItem() {
  const auto& rows = Rows();
  return TopLine() < static_cast<int>(rows.size()) ? rows[TopLine()] : nullptr;
}

void TTreeView::SetTopItem(TTreeNode* node) {
  const int row = RowOf(node);
  if (row >= 0) SetTopLine(row);
}

void TTreeView::SetImages(TImageList* images) {
  images_ = images;
  UpdateLineHeight();
  widest_ = -1;
  ContentChanged();
}

void TTreeView::SetShowRoot(bool v) {
  showRoot_ = v;
  widest_ = -1;
  ContentChanged();
}

void TTreeView::SetShowLines(bool v) {
  showLines_ = v;
  Invalidate();
}

void TTreeView::SetShowButtons(bool v) {
  showButtons_ = v;
  Invalidate();
}

void TTreeView::SetIndent(int v) {
  indent_ = std::max(kButton + 4, v);
  widest_ = -1;
  ContentChanged();
}

int TTreeView::LineHeightFor() const {
  int text = Font()->PixelSize();
  if (HaveGuiApplication()) text = QFontMetrics(ToQFont(*Font())).height();
  return std::max(text + 2, images_ ? images_->Height() + 2 : 0);
}

void TTreeView::UpdateLineHeight() { SetLineHeight(LineHeightFor()); }

void TTreeView::FontChanged() {
  TCustomScrollView::FontChanged();
  // Text widths were measured in the old font.
  std::vector<TTreeNode*> stack(nodes_->root_.children_.begin(), nodes_->root_.children_.end());
  while (!stack.empty()) {
    TTreeNode* n = stack.back();
    stack.pop_back();
    n->width_ = -1;
    stack.insert(stack.end(), n->children_.begin(), n->children_.end());
  }
  widest_ = -1;
  charWidths_.clear();
  metrics_.reset();
  UpdateLineHeight();
  ContentChanged();
}

int TTreeView::ContentLines() { return static_cast<int>(Rows().size()); }

int TTreeView::ContentX(int level) const { return kMargin + (level + (showRoot_ ? 1 : 0)) * indent_; }

int TTreeView::TextWidthOf(const TTreeNode* node) {
  if (node->width_ >= 0) return node->width_;
  // A sum of character widths, each measured once: a tree of many thousands of nodes is
  // measured without converting every text.
  if (!metrics_ && HaveGuiApplication()) metrics_ = std::make_unique<QFontMetrics>(ToQFont(*Font()));
  const AnsiString& t = node->text_;
  int w = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const bool dbcs = IsSjisLeadByte(static_cast<unsigned char>(t[i])) && i + 1 < t.size();
    const uint16_t code = dbcs ? static_cast<uint16_t>(static_cast<unsigned char>(t[i]) << 8 | static_cast<unsigned char>(t[i + 1]))
                               : static_cast<unsigned char>(t[i]);
    auto it = charWidths_.find(code);
    if (it == charWidths_.end()) {
      const int cw = metrics_ ? metrics_->horizontalAdvance(ToQ(t.substr(i, dbcs ? 2 : 1)))
                              : (dbcs ? Font()->PixelSize() : Font()->PixelSize() / 2);
      it = charWidths_.emplace(code, cw).first;
    }
    w += it->second;
    i += dbcs;
  }
  const_cast<TTreeNode*>(node)->width_ = w;
  return w;
}

int TTreeView::ContentWidth() {
  if (widest_ < 0) {
    const int picture = images_ ? images_->Width() + kGap : 0;
    int widest = 0;
    for (const TTreeNode* n : Rows())
      widest = std::max(widest, ContentX(n->level_) + picture + TextWidthOf(n) + 2 * kTextPad + kMargin);
    widest_ = widest;
  }
  return widest_;
}

TRect TTreeView::LabelRect(const TTreeNode* node, int row, bool textOnly) {
  const TRect view = ViewRect();
  const int top = view.Top + (row - TopLine()) * LineHeight();
  int x = view.Left - ScrollLeft() + ContentX(node->level_);
  const int picture = images_ ? images_->Width() + kGap : 0;
  const int right = x + picture + TextWidthOf(node) + 2 * kTextPad;
  if (textOnly) x += picture;
  return Rect(x, top, right, top + LineHeight());
}

THitTests TTreeView::GetHitTestInfoAt(int x, int y) {
  const TRect view = ViewRect();
  if (y < view.Top) return htNowhere;
  const int row = TopLine() + (y - view.Top) / LineHeight();
  const auto& rows = Rows();
  if (row >= static_cast<int>(rows.size())) return htNowhere;
  const TTreeNode* node = rows[row];
  const int cx = view.Left - ScrollLeft() + ContentX(node->level_);
  const bool hasButton = showButtons_ && node->hasChildren_ && node->level_ + (showRoot_ ? 1 : 0) >= 1;
  if (hasButton && x >= cx - indent_ && x < cx) return htOnButton;
  if (x < cx) return htOnIndent;
  const int picture = images_ ? images_->Width() + kGap : 0;
  if (x < cx + picture) return htOnIcon;
  if (x < cx + picture + TextWidthOf(node) + 2 * kTextPad) return htOnLabel;
  return htOnRight;
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) {
  if (!(GetHitTestInfoAt(x, y) & htOnItem)) return nullptr;
  return Rows()[TopLine() + (y - ViewRect().Top) / LineHeight()];
}

// ---- Drawing ----

void TTreeView::PaintView(TCanvas* c, const TRect& view) {
  c->Font()->Assign(*Font());
  const auto& rows = Rows();
  const int lh = LineHeight();
  const int shift = showRoot_ ? 1 : 0;
  const int picture = images_ ? images_->Width() + kGap : 0;
  const bool focused = Focused();
  const int left = view.Left - ScrollLeft();
  auto buttonX = [&](int level) { return left + ContentX(level) - indent_ / 2 - 1; };

  c->Pen()->SetColor(clGray);
  c->Pen()->SetStyle(psDot);
  c->Pen()->SetWidth(1);
  c->Pen()->SetMode(pmCopy);
  const int last = std::min(static_cast<int>(rows.size()), TopLine() + view.Height() / lh + 2);
  for (int r = TopLine(); r < last; ++r) {
    const TTreeNode* n = rows[r];
    const int top = view.Top + (r - TopLine()) * lh;
    const int mid = top + lh / 2;
    const int cx = left + ContentX(n->level_);

    if (showLines_ && n->level_ + shift >= 1) {
      const int bx = buttonX(n->level_);
      c->MoveTo(bx, mid);
      c->LineTo(cx - 1, mid);
      const bool first = n->level_ == 0 && n->index_ == 0;
      c->MoveTo(bx, first ? mid : top);
      c->LineTo(bx, n->GetNextSibling() ? top + lh : mid + 1);
      for (const TTreeNode* a = n->Parent(); a && a->level_ + shift >= 1; a = a->Parent())
        if (a->GetNextSibling()) {
          c->MoveTo(buttonX(a->level_), top);
          c->LineTo(buttonX(a->level_), top + lh);
        }
    }
    if (showButtons_ && n->hasChildren_ && n->level_ + shift >= 1) {
      const int bx = buttonX(n->level_);
      const TRect box = Rect(bx - kButton / 2, mid - kButton / 2, bx - kButton / 2 + kButton, mid - kButton / 2 + kButton);
      c->Brush()->SetColor(Color());
      c->FillRect(box);
      c->Brush()->SetColor(clGray);
      c->FrameRect(box);
      c->Brush()->SetColor(clWindowText);
      c->FillRect(Rect(box.Left + 2, mid, box.Right - 2, mid + 1));
      if (!n->expanded_) c->FillRect(Rect(bx, box.Top + 2, bx + 1, box.Bottom - 2));
    }
    if (images_) {
      const int index = n == selected_ && n->selectedIndex_ >= 0 ? n->selectedIndex_ : n->imageIndex_;
      images_->Draw(c, cx, top + (lh - images_->Height()) / 2, index, Enabled());
    }
    const int tx = cx + picture;
    const TRect label = Rect(tx, top, tx + TextWidthOf(n) + 2 * kTextPad, top + lh);
    const bool marked = n == dropTarget_ || (n == selected_ && !dropTarget_);
    if (marked) {
      const bool strong = n == dropTarget_ || focused;
      c->Brush()->SetColor(strong ? clHighlight : clBtnFace);
      c->FillRect(label);
      c->Font()->SetColor(strong ? clHighlightText : clWindowText);
    } else {
      c->Font()->SetColor(Enabled() ? Font()->Color() : clGrayText);
    }
    c->Brush()->SetStyle(bsClear);
    c->TextOut(tx + kTextPad, top + (lh - c->TextHeight(n->text_)) / 2, n->text_);
    c->Brush()->SetStyle(bsSolid);
  }
  c->Pen()->SetStyle(psSolid);
}

// ---- Input ----

void TTreeView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    pressed_ = nullptr;
    const THitTests hit = GetHitTestInfoAt(x, y);
    TTreeNode* node = hit == htNowhere ? nullptr : Rows()[TopLine() + (y - ViewRect().Top) / LineHeight()];
    if (hit & htOnButton) {
      EndDrag(false);
      if (node->expanded_)
        node->Collapse(false);
      else
        node->Expand(false);
    } else if ((hit & htOnItem) && (shift & ssDouble)) {
      EndDrag(false);
      if (node->expanded_)
        node->Collapse(false);
      else
        node->Expand(false);
    } else if (hit & htOnItem) {
      pressed_ = node;
    } else {
      EndDrag(false);  // nothing to drag from an empty place
    }
  } else if (button == mbRight) {
    rightPressed_ = GetNodeAt(x, y);
  }
  TCustomScrollView::MouseDown(button, shift, x, y);
}

void TTreeView::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    TTreeNode* node = pressed_;
    pressed_ = nullptr;
    if (node) Select(node);
  } else if (button == mbRight) {
    TTreeNode* node = rightPressed_;
    rightPressed_ = nullptr;
    if (RightClickSelect && node && GetNodeAt(x, y) == node) Select(node);
  }
  TCustomScrollView::MouseUp(button, shift, x, y);
}

void TTreeView::DoStartDrag() {
  // A drag takes the pressed node along: it becomes the selected node with the button held.
  TTreeNode* node = pressed_;
  pressed_ = nullptr;
  if (node) Select(node);
  TCustomScrollView::DoStartDrag();
}

void TTreeView::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomScrollView::KeyDown(key, shift);
  if (key == 0) return;
  const auto& rows = Rows();
  if (rows.empty()) return;
  const int count = static_cast<int>(rows.size());
  const int row = std::max(0, RowOf(selected_));
  TTreeNode* to = nullptr;
  switch (key) {
    case VK_UP: to = rows[std::max(0, row - 1)]; break;
    case VK_DOWN: to = rows[std::min(count - 1, selected_ ? row + 1 : 0)]; break;
    case VK_HOME: to = rows.front(); break;
    case VK_END: to = rows.back(); break;
    case VK_PRIOR: to = rows[std::max(0, row - VisibleLines() + 1)]; break;
    case VK_NEXT: to = rows[std::min(count - 1, row + VisibleLines() - 1)]; break;
    case VK_RIGHT:
      if (!selected_) break;
      if (!selected_->expanded_)
        selected_->Expand(false);
      else
        to = selected_->GetFirstChild();
      break;
    case VK_LEFT:
      if (!selected_) break;
      if (selected_->expanded_)
        selected_->Collapse(false);
      else
        to = selected_->Parent();
      break;
    default: return;
  }
  if (to) {
    Select(to);
    ScrollIntoView(RowOf(to));
  }
}

void TTreeView::DragOver(TObject* source, int x, int y, TDragState state, bool& accept) {
  TCustomScrollView::DragOver(source, x, y, state, accept);
  TTreeNode* target = state != dsDragLeave && accept ? GetNodeAt(x, y) : nullptr;
  if (target != dropTarget_) {
    dropTarget_ = target;
    Invalidate();
  }
  if (state == dsDragMove) {
    // Near the top or bottom edge the view moves on, so that far nodes can be reached.
    const TRect view = ViewRect();
    if (y < view.Top + LineHeight() / 2)
      SetTopLine(TopLine() - 1);
    else if (y >= view.Bottom - LineHeight() / 2)
      SetTopLine(TopLine() + 1);
  }
}

void TTreeView::DragDrop(TObject* source, int x, int y) {
  dropTarget_ = nullptr;
  Invalidate();
  TCustomScrollView::DragDrop(source, x, y);
}

void TTreeView::DoEnter() {
  Invalidate();
  TCustomScrollView::DoEnter();
}

void TTreeView::DoExit() {
  Invalidate();
  TCustomScrollView::DoExit();
}
