// List boxes: a scrolled list of texts to choose from, and one with a check box per item.
#pragma once

#include <vector>

#include "platform/ScrollView.h"

// A list of texts (Items, with objects). A press of the left button on an item selects it and
// runs OnClick at once, as a choice with the keys does (a drag begun from the item finds it
// selected); setting ItemIndex from the program runs nothing. With MultiSelect, Ctrl adds an
// item to the selection or takes it away and Shift selects a run of items. The selection and the
// check marks stay with their items when the items move (Items->Move, Insert, Delete).
class TListBox : public TCustomScrollView {
 public:
  explicit TListBox(TComponent* owner);
  ~TListBox() override;

  TStrings* Items() { return &items_; }
  void Clear() { items_.Clear(); }
  // The item with the focus (the selected one without MultiSelect), -1 when none.
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int i);
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool Selected(int i) const;
  void SetSelected(int i, bool v);
  int SelCount() const;
  int TopIndex() const { return TopLine(); }
  void SetTopIndex(int i) { SetTopLine(i); }
  int ItemHeight() const { return LineHeight(); }
  void SetItemHeight(int h) { SetLineHeight(h); }
  // The item under a client point; past the last item -1 when existing, else Count.
  int ItemAtPos(TPoint p, bool existing);
  TRect ItemRect(int index);

  void Click() override;

 protected:
  int ContentLines() override { return items_.Count(); }
  void PaintView(TCanvas* canvas, const TRect& view) override;
  // Draws item index in r (the whole line); the canvas holds the list's font.
  virtual void DrawItem(TCanvas* canvas, int index, const TRect& r);
  // Where the item's text begins, from the line's left edge.
  virtual int TextIndent() const { return 2; }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void FontChanged() override;
  void DoEnter() override;
  void DoExit() override;
  // The items changed: item i is now the one that stood at oldIndexOf[i] (-1: a new one). Marks
  // kept per item follow them through it.
  virtual void ItemsRemapped(const std::vector<int>& oldIndexOf) {}
  static void Remap(std::vector<char>& flags, const std::vector<int>& oldIndexOf);
  // Runs OnClick for a choice made by the user.
  void Chosen();

 private:
  void ItemsChanged();
  void Select(int index, TShiftState shift);
  struct Snapshot {
    AnsiString text;
    void* object;
  };
  TStringList items_;
  std::vector<Snapshot> before_;  // the items when they last changed
  std::vector<char> selected_;
  int itemIndex_ = -1;
  int anchor_ = -1;
  bool multiSelect_ = false;
  bool pressClicked_ = false;  // the press already ran OnClick; the release does not again
};

// A list box with a check box before each item. A click on the box, or Space, turns the mark
// over and runs OnClickCheck.
class TCheckListBox : public TListBox {
 public:
  explicit TCheckListBox(TComponent* owner);
  bool Checked(int i) const;
  void SetChecked(int i, bool v);
  TNotifyEvent OnClickCheck;

 protected:
  void DrawItem(TCanvas* canvas, int index, const TRect& r) override;
  int TextIndent() const override { return 19; }
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  void ItemsRemapped(const std::vector<int>& oldIndexOf) override;

 private:
  void Toggle(int i);
  std::vector<char> checked_;
};
