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

class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int i) const { return components_.at(i); }
  AnsiString Name;
  int Tag = 0;

 protected:
  // Frees the owned components, newest first. A derived destructor calls it while the derived
  // object is still whole when its components call back into it as they go.
  void DestroyComponents();

 private:
  TComponent* owner_;
  std::vector<TComponent*> components_;
};

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  void SetParent(TWinControl* parent);

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

  // The control's own font; while ParentFont is on it follows the parent's font.
  TFont* Font() { return &font_; }
  const TFont* Font() const { return &font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool v);
  TColor Color() const { return color_; }
  void SetColor(TColor c);

  TNotifyEvent OnClick;
  virtual void Click();

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
  void DestroyWidget();
  QWidget* widget_ = nullptr;

 private:
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  AnsiString caption_;
  TAlign align_ = alNone;
  TFont font_;
  bool parentFont_ = true;
  bool followingParent_ = false;
  TColor color_ = clBtnFace;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;  // frees the controls it parents

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int i) const { return controls_.at(i); }
  void SetBounds(int left, int top, int width, int height) override;

 protected:
  void EnsureWidget() override;
  void FontChanged() override;
  // Places aligned children inside the client area.
  void Realign();

 private:
  friend class TControl;
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  std::vector<TControl*> controls_;
  bool realigning_ = false;
};
