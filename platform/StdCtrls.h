// Standard controls: label, push button, bevel, rich edit.
#pragma once

#include <memory>

#include "platform/Controls.h"

// A text label. With AutoSize on (the default) its width and height follow the caption's extent
// in its font; "&" marks an accelerator and "&&" shows one ampersand.
//
// A label that draws itself turns OwnerDraw on in its constructor: its widget then shows what
// Paint draws on Canvas() instead of the caption. Outside Paint the canvas only measures.
class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  ~TLabel() override;
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  // Where the text stands in a label wider than it (AutoSize off).
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  TCanvas* Canvas();
  // Draw again when the window system next shows the label.
  void Invalidate();

 protected:
  void SetOwnerDraw() { ownerDraw_ = true; }
  virtual void Paint() {}
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void FontChanged() override;
  void CaptionChanged() override;

 private:
  friend class LabelCanvasWidget;
  void AdjustSize();
  bool autoSize_ = true;
  bool ownerDraw_ = false;
  TAlignment alignment_ = taLeftJustify;
  std::unique_ptr<TCanvas> canvas_;
};

// A push button, 75 x 25 when made at run time. Clicking sets the form's modal result to the
// button's own before OnClick runs.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  int ModalResult = 0;
  bool Default = false;
  bool Cancel = false;
  void Click() override;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };

class TBevel : public TControl {
 public:
  explicit TBevel(TComponent* owner);
  TBevelShape Shape = bsBox;
  TBevelStyle Style = bsLowered;
  void SetShape(TBevelShape s) {
    Shape = s;
    UpdateWidget();
  }

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line text box whose lines are Lines(). The widget catches up with the lines when the
// event loop next runs, so appending many lines costs one redisplay.
class TRichEdit : public TWinControl {
 public:
  explicit TRichEdit(TComponent* owner);
  ~TRichEdit() override;
  TStrings* Lines() { return &lines_; }
  TScrollStyle ScrollBars = ssBoth;
  bool ReadOnly = false;
  // The caret position as a byte offset into the text with CR LF line ends.
  int SelStart() const { return selStart_; }
  void SetSelStart(int pos);
  // Scrolls so that the caret is visible.
  void ScrollToCaret();
  // The index of the first line the widget shows (0 without a widget).
  int FirstVisibleLine();

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  void LinesChanged();
  void Flush();
  TStringList lines_;
  int selStart_ = 0;
  bool dirty_ = false;
  bool flushPosted_ = false;
  bool scrollPending_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// A one-line text box. OnChange runs after every change of the text, by the user or the program.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* owner);
  TNotifyEvent OnChange;
  bool ReadOnly = false;
  int MaxLength = 0;  // 0: no limit
  // ReadOnly changed while the edit is shown.
  void SetReadOnly(bool v) {
    ReadOnly = v;
    UpdateWidget();
  }

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void CaptionChanged() override;
};

// csOwnerDrawFixed: a drop-down list whose items (each ItemHeight high) OnDrawItem draws.
enum TComboBoxStyle { csDropDown, csDropDownList, csOwnerDrawFixed };

// How an owner-drawn item is shown: chosen, with the focus, or in the closed box.
using TOwnerDrawState = int;
enum : int { odSelected = 0x1, odFocused = 0x10, odComboBoxEdit = 0x1000 };
using TDrawItemEvent = std::function<void(TWinControl* control, int index, TRect rect, TOwnerDrawState state)>;

// A combo box over Items() (strings with objects). In a drop-down list the text is the selected
// item's; a drop-down also takes typed text. Setting ItemIndex or the text from the program does
// not run OnChange; a choice or an edit by the user does.
class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  ~TComboBox() override;
  TStrings* Items() { return &items_; }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int i);
  TComboBoxStyle Style = csDropDown;
  int DropDownCount = 8;
  TNotifyEvent OnChange;
  // What the user's choice of an entry does: selects it and runs OnChange.
  void UserSelect(int i);
  // Owner-drawn items: their height, and the handler that draws one on Canvas(). The canvas comes
  // with the list's font and a brush and font colour for the item's state, its rectangle filled.
  int ItemHeight = 16;
  TDrawItemEvent OnDrawItem;
  TCanvas* Canvas() { return &canvas_; }
  // Platform internals: draws item index in rect on the canvas (bound to the window system).
  void DrawItem(int index, const TRect& rect, TOwnerDrawState state);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  TStringList items_;
  int itemIndex_ = -1;
  bool syncing_ = false;
  TCanvas canvas_;
};

// A check box. Changing Checked, by the user or the program, runs OnClick.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  bool checked_ = false;
};

// A framed, captioned container.
class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* owner);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
};

// A group of radio buttons, one per item, laid out in Columns columns filled top to bottom.
// Selecting an item, by the user or the program, runs OnClick when the index changes.
class TRadioGroup : public TWinControl {
 public:
  explicit TRadioGroup(TComponent* owner);
  ~TRadioGroup() override;
  TStrings* Items() { return &items_; }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int i);
  int Columns() const { return columns_; }
  void SetColumns(int c);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  void RebuildButtons();
  TStringList items_;
  int itemIndex_ = -1;
  int columns_ = 1;
};

