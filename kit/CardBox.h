// The generic card box: a scroll box showing a card of items, each a caption label followed by a
// text memo, laid out in rows from left to right.
//
// Layout of the items, in collection order:
//   first item                 (LeftMargin, TopMargin)
//   item with NewLine          (LeftMargin, previous item's Top + Height + VertGap)
//   any other item             (previous item's Left + Width + HorzGap, previous item's Top)
// after which every item moves right and down to put its memo on a multiple of 8 pixels (the
// item grid). A new row starts below the previous item only, not below the row's tallest item.
//
// The box owns its items; an item owns its label and memo, both children of the box.
// In editing mode a design surface lies over the box and the user moves and resizes the labels
// and memos with the mouse; leaving it, each item takes its place from where its memo ended up.
// User-interface thread only.
#pragma once

#include <memory>

#include "kit/DesignBox.h"
#include "platform/ExtCtrls.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"

class TCardBox;
class TCardMemo;

// The caption of an item; linked to the item's memo.
class TCardLabel : public TLabel {
 public:
  explicit TCardLabel(TComponent* owner) : TLabel(owner) {}
  TCardMemo* Memo() const { return memo_; }
  void SetMemo(TCardMemo* m) { memo_ = m; }

 private:
  TCardMemo* memo_ = nullptr;
};

// The text of an item; linked to the item's label.
class TCardMemo : public TMemo {
 public:
  explicit TCardMemo(TComponent* owner) : TMemo(owner) {}
  TCardLabel* Label() const { return label_; }
  void SetLabel(TCardLabel* l) { label_ = l; }

 private:
  TCardLabel* label_ = nullptr;
};

// One item of a card box. Left and Top are the label's top-left corner; the memo stands Gap
// pixels right of the label. Setters that change the item's size or place re-lay the box out
// from this item when the box's AutoArrange is on; TextWidth never does.
class TCardColumn : public TCollectionItem {
 public:
  explicit TCardColumn(TCollection* collection);
  ~TCardColumn() override;  // frees the memo and the label

  const AnsiString& Caption() const;
  void SetCaption(const AnsiString& text);
  AnsiString Text() const;
  void SetText(const AnsiString& text);
  bool NewLine() const { return newLine_; }
  void SetNewLine(bool v);
  // The memo's height follows its text.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  int Gap() const { return gap_; }
  void SetGap(int v);
  int Left() const { return left_; }
  void SetLeft(int v);
  int Top() const { return top_; }
  void SetTop(int v);
  // Label width + Gap + memo width.
  int Width() const;
  // The larger of the label's and the memo's height.
  int Height() const;
  int TextWidth() const;
  void SetTextWidth(int v);
  bool CanEdit() const;
  void SetCanEdit(bool v);
  bool WordWrap() const;
  void SetWordWrap(bool v);
  TAlignment Alignment() const;
  void SetAlignment(TAlignment a);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  TCardMemo* Memo() const { return memo_; }
  TCardLabel* Label() const { return label_; }

  // Stores both coordinates and places the controls, without re-laying the box out.
  void SetPosition(int left, int top);

 private:
  friend class TCardBox;
  // Left and Top from the memo's place; the label goes to the memo's left at its top.
  void TakePlaceFromMemo();
  TCardBox* Box() const;
  void PlaceControls();
  void FitMemoHeight();
  void FitLabelWidth(const AnsiString& caption);
  TCardMemo* memo_;
  TCardLabel* label_;
  bool newLine_ = true;
  bool autoSize_ = true;
  int left_ = 0;
  int top_ = 0;
  int gap_ = 4;
  bool enabled_ = true;
};

// The items of a card box.
class TCardColumns : public TCollection {
 public:
  explicit TCardColumns(TCardBox* box) : box_(box) {}
  TCardBox* CardBox() const { return box_; }
  TCardColumn* Items(int i) const { return static_cast<TCardColumn*>(TCollection::Items(i)); }
  // A new item at the end, laid out, its memo's changes reported by the box.
  TCardColumn* Add();

 protected:
  TCollectionItem* NewItem() override;

 private:
  TCardBox* box_;
};

// The design surface of a card box in editing mode. A label and its memo move together: moving
// or resizing one moves the other by as much, unless the other is selected and moves on its own.
// Labels keep their size.
class TCardDesignBox : public TDesignBox {
 public:
  using TDesignBox::TDesignBox;
  void MoveControl(TControl* control, const TRect& r) override;
  void ResizeControl(TControl* control, const TRect& r) override;

 private:
  void MovePartner(TControl* control, const TRect& r);
};

class TCardBox : public TScrollBox {
 public:
  explicit TCardBox(TComponent* owner);
  ~TCardBox() override;  // frees the design surface, then the items, last first

  int LeftMargin() const { return leftMargin_; }
  void SetLeftMargin(int v) { leftMargin_ = v; }
  int TopMargin() const { return topMargin_; }
  void SetTopMargin(int v) { topMargin_ = v; }
  int HorzGap() const { return horzGap_; }
  void SetHorzGap(int v) { horzGap_ = v; }
  int VertGap() const { return vertGap_; }
  void SetVertGap(int v) { vertGap_ = v; }
  // Kept with the box; the layout does not use it.
  int ItemGap() const { return itemGap_; }
  void SetItemGap(int v) { itemGap_ = v; }
  bool AutoArrange() const { return autoArrange_; }
  void SetAutoArrange(bool v) { autoArrange_ = v; }
  TCardColumns* Columns() const { return columns_.get(); }

  // Appends an item with the caption, the lines' text (none: empty) and the new-line flag, and
  // lays the box out from it whether AutoArrange is on or not.
  TCardColumn* AddItem(const AnsiString& caption, const TStrings* lines, bool newLine);
  // Lays out from the item on when AutoArrange is on.
  void ArrangeItem(TCardColumn* item);
  // Lays out from the item (null: the first) to the last.
  void DoArrangeItem(TCardColumn* item);

  // A scroll box hands its place and looks to Set; anything else is ignored.
  void Assign(const TPersistent* source) override;
  // Takes over the scroll box's bounds, parent and looks, its name with "CB" appended, and its
  // mouse and drag events.
  void Set(TScrollBox* box);

  // Called when the text of any item's memo changes, with the memo as sender.
  TNotifyEvent GetOnChange() const { return onChange_; }
  void SetOnChange(TNotifyEvent e) { onChange_ = std::move(e); }
  void MemoChange(TObject* sender);

  // Gives the memos tab orders 0, 1, ... by Top, then by Left.
  void ResetTabOrder();

  // Editing mode. Leaving it places every item where the user left its memo, without re-laying
  // the box out.
  bool GetEditting() const { return editting_; }
  void SetEditting(bool v);

 private:
  std::unique_ptr<TCardDesignBox> designBox_;
  int leftMargin_ = 10;
  int topMargin_ = 10;
  int horzGap_ = 6;
  int vertGap_ = 2;
  int itemGap_ = 2;
  bool autoArrange_ = false;
  std::unique_ptr<TCardColumns> columns_;
  TNotifyEvent onChange_;
  bool editting_ = false;
};
