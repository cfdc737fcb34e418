// Components and controls. A component owns what it created with itself as owner and frees it
// when it is destroyed; a windowed control frees the controls it parents. Controls keep their
// state (bounds, caption, font, visibility) in plain members; the Qt widget behind a control only
// shows that state and exists once a QApplication does. User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "platform/Classes.h"
#include "platform/Graphics.h"

class QWidget;
class TWinControl;
class TForm;
class TPopupMenu;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(i); }
  AnsiString Name;
  // The program's own value; wide enough to hold a pointer.
  intptr_t Tag = 0;

 protected:
  // Frees the owned components, newest first. A derived destructor calls it while the derived
  // object is still whole when its components call back into it as they go.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
// What the input method does while a control has the focus: disabled, off, on, or left alone;
// the others ask for a kind of input (Latin letters for the alphanumeric modes).
enum TImeMode { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata, imKata };
// The sides of its parent that a control without alignment keeps its distance to when the parent
// changes its size: left and right anchored stretch the control, right alone moves it, neither
// keeps it centred.
enum TAnchorKind : int { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };
using TAnchors = int;

// ---- Input ----

enum TMouseButton { mbLeft, mbRight, mbMiddle };
// Bit set of the modifier keys and mouse buttons held during an event.
using TShiftState = int;
enum : int { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };

// Virtual key codes of KeyDown; letters and digits are their upper-case ASCII codes.
constexpr uint16_t VK_BACK = 8, VK_TAB = 9, VK_RETURN = 13, VK_SHIFT = 16, VK_CONTROL = 17, VK_MENU = 18,
                   VK_ESCAPE = 27, VK_SPACE = 32, VK_PRIOR = 33, VK_NEXT = 34, VK_END = 35, VK_HOME = 36,
                   VK_LEFT = 37, VK_UP = 38, VK_RIGHT = 39, VK_DOWN = 40, VK_INSERT = 45, VK_DELETE = 46,
                   VK_F1 = 112, VK_F2 = 113, VK_F12 = 123;
// Mouse buttons and the sides' modifier keys, for GetKeyState.
constexpr uint16_t VK_LBUTTON = 1, VK_RBUTTON = 2, VK_MBUTTON = 4, VK_LSHIFT = 0xA0, VK_RSHIFT = 0xA1,
                   VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3;

// Whether a key or mouse button is held down, as the input delivered so far tells: negative when
// held. The modifiers of the event being delivered count as held while it is handled.
int16_t GetKeyState(int vk);

using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;
using TMouseWheelEvent =
    std::function<void(TObject* sender, TShiftState shift, int wheelDelta, TPoint mousePos, bool& handled)>;
using TKeyEvent = std::function<void(TObject* sender, uint16_t& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;

enum TDragMode { dmManual, dmAutomatic };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
using TDragOverEvent =
    std::function<void(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept)>;
using TDragDropEvent = std::function<void(TObject* sender, TObject* source, int x, int y)>;
using TEndDragEvent = std::function<void(TObject* sender, TObject* target, int x, int y)>;
// Before a right click opens the popup menu: mousePos in client coordinates; handled keeps it shut.
using TContextPopupEvent = std::function<void(TObject* sender, TPoint mousePos, bool& handled)>;

// Mouse pointer shapes.
using TCursor = int;
constexpr TCursor crDefault = 0, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6, crSizeNS = -7,
                  crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12, crNoDrop = -13,
                  crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crNo = -18, crHandPoint = -21, crSizeAll = -22;

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
  void SetTop(int v) { SetBounds(left_, v, width_, height_); }
  void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
  void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
  virtual void SetBounds(int left, int top, int width, int height);
  // Width and height of the area inside the control's border (the whole control by default).
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& text);
  // Edits and combo boxes call their caption their text.
  const AnsiString& Text() const { return caption_; }
  void SetText(const AnsiString& text) { SetCaption(text); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign a);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors a) { anchors_ = a; }

  // The control's own font; while ParentFont is on it follows the parent's font.
  TFont* Font() { return &font_; }
  const TFont* Font() const { return &font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  // While ParentColor is on the control shows its parent's colour; SetColor turns it off.
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool v);

  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  // The menu a right click on the control opens (not owned), after OnContextPopup.
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* m) { popupMenu_ = m; }
  TContextPopupEvent OnContextPopup;
  // Over or under the parent's other controls.
  void BringToFront();
  void SendToBack();
  AnsiString Hint;
  bool ShowHint = false;

  TNotifyEvent OnClick;
  virtual void Click();
  TNotifyEvent OnDblClick;
  // After every change of the control's width or height.
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TMouseWheelEvent OnMouseWheel;

  // Mouse input as the window system delivers it, in client coordinates: a press and release of
  // the left button on the control clicks it, a right click opens its popup menu, and a drag
  // begun by BeginDrag follows the pointer to a target.
  void PressMouse(TMouseButton button, TShiftState shift, int x, int y, bool doubleClick = false);
  void MoveMouse(TShiftState shift, int x, int y);
  void ReleaseMouse(TMouseButton button, TShiftState shift, int x, int y);
  // One notch of a wheel is 120; positive turns away from the user.
  void TurnWheel(TShiftState shift, int delta, int x, int y);

  // Drag and drop inside the program. An immediate drag starts at once; otherwise it starts when
  // the pointer has moved threshold pixels (5 when negative) with the button held.
  TDragMode DragMode = dmManual;
  // The pointer while a drag begun here is over a target that accepts it (crNoDrop elsewhere).
  TCursor DragCursor = crDrag;
  virtual void BeginDrag(bool immediate, int threshold = -1);
  bool Dragging() const;
  // Ends a drag begun from this control: dropped on the target under the pointer or cancelled.
  void EndDrag(bool drop);
  TNotifyEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;

  // Client coordinates of this control to the screen's and back (forms placed where their
  // client area starts).
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  // The form this control sits on (itself for a form), or null.
  TForm* ParentForm();

  // What the control looks like now, drawn off screen.
  TBitmap GrabImage();

  // Platform internals: the widget that shows the control (null without a QApplication).
  QWidget* Widget() const { return widget_; }

 protected:
  // Makes the widget for this control under the parent's widget (parent may be null).
  virtual QWidget* CreateWidget(QWidget* parent);
  // Pushes the control's state into its widget; overriders call the base first.
  virtual void SyncWidget();
  void UpdateWidget() {
    if (widget_) SyncWidget();
  }
  // Creates the widget (and those of parented controls) when a QApplication exists.
  virtual void EnsureWidget();
  virtual void FontChanged();
  virtual void CaptionChanged() {}
  virtual void Resize();
  virtual void ColorChanged() { UpdateWidget(); }
  void DestroyWidget();

  // What the control does with mouse input; each calls its event.
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void DblClick();
  // OnMouseWheel first; unless it handled the turn, DoMouseWheelDown or DoMouseWheelUp. True when
  // handled.
  virtual bool DoMouseWheel(TShiftState shift, int delta, TPoint mousePos);
  virtual bool DoMouseWheelDown(TShiftState shift, TPoint mousePos) { return false; }
  virtual bool DoMouseWheelUp(TShiftState shift, TPoint mousePos) { return false; }
  // Drag and drop as a target: whether source may be dropped here, and the drop.
  virtual void DragOver(TObject* source, int x, int y, TDragState state, bool& accept);
  virtual void DragDrop(TObject* source, int x, int y);
  virtual void DoStartDrag();
  virtual void DoEndDrag(TObject* target, int x, int y);
  QWidget* widget_ = nullptr;

 private:
  friend class TWinControl;
  friend struct DragSession;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString caption_;
  TAlign align_ = alNone;
  TAnchors anchors_ = akLeft | akTop;
  TFont font_;
  bool parentFont_ = true;
  bool followingParent_ = false;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
  bool clicked_ = false;  // a left press waits for its release to click
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;  // frees the controls it parents

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(i); }
  void SetBounds(int left, int top, int width, int height) override;
  // The visible control at a client point, at any depth (this control when no child is there).
  TControl* ControlAtPos(int x, int y);

  // Keyboard focus: the form's active control. Tab moves it through the windowed controls of a
  // parent in their tab order (the order they were placed there, unless set).
  bool TabStop = false;
  int TabOrder() const;
  void SetTabOrder(int order);
  virtual bool CanFocus() const;
  void SetFocus();
  bool Focused() const;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;

  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;
  // Keyboard input as the window system delivers it to this control; with the form's KeyPreview
  // the form sees it first and may swallow it (key set to 0). False when the key was swallowed.
  bool PressKey(uint16_t key, TShiftState shift);
  bool ReleaseKey(uint16_t key, TShiftState shift);
  bool TypeChar(char key);

  // Places aligned children inside the client area (and whatever else the control arranges).
  void Realign();

  TImeMode ImeMode() const { return imeMode_; }
  void SetImeMode(TImeMode m);

  // Platform internals: the widget that holds the widgets of parented controls.
  virtual QWidget* ClientWidget() const { return widget_; }

 protected:
  void SyncWidget() override;
  void EnsureWidget() override;
  void FontChanged() override;
  void ColorChanged() override;
  // Lays the children out: aligned ones top, bottom, left, right, then client, each kind in the
  // order of their places; a control that arranges its children itself adds to it.
  virtual void AlignControls();
  // A parented control moved or changed its size.
  virtual void ControlBoundsChanged(TControl* c) {}
  virtual void KeyDown(uint16_t& key, TShiftState shift);
  virtual void KeyUp(uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void DoEnter();
  virtual void DoExit();

 private:
  friend class TControl;
  friend class TForm;
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  void ApplyTabOrder();
  void AnchorChildren(int dw, int dh);
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tabList_;
  bool realigning_ = false;
  TImeMode imeMode_ = imDontCare;
  bool destroying_ = false;
};

// A windowed control that draws itself on its canvas. What is drawn is kept in an image of the
// client size: Paint draws it afresh after Invalidate, and drawing on the canvas at any other
// time (a rubber band in XOR) changes that image until the next Paint.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  TCanvas* Canvas();
  // Draw again when the window system next shows the control.
  void Invalidate();
  // Draw again now.
  void Repaint();
  // The client area drawn afresh, without a window system.
  TBitmap PaintToImage();
  // The client area drawn on another canvas (a page, a recording), which Canvas() returns while
  // it draws.
  void PaintOn(TCanvas* canvas);
  // How many times the window system has shown the client area.
  int TimesShown() const { return timesShown_; }

 protected:
  // Draws the client area; the canvas was filled with the control's colour first.
  virtual void Paint() {}
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void ColorChanged() override;
  void FontChanged() override;
  // Brings the image up to date (drawing it when invalid) and returns it.
  const TBitmap& Surface();

 private:
  friend class CanvasWidget;
  void Erase(TCanvas* c);
  TBitmap surface_;
  TCanvas* target_ = nullptr;
  bool valid_ = false;
  int timesShown_ = 0;
  bool painting_ = false;
};

// A plain drawing area: OnPaint draws it on its canvas.
class TPaintBox : public TCustomControl {
 public:
  explicit TPaintBox(TComponent* owner);
  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
};
