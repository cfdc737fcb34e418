// Forms, modal runs and the application object.
//
// ShowModal runs a nested event loop until the modal result is set. Under tests a modal handler
// installed on the application receives the form instead, fills it, presses its buttons and so
// sets the result; a modal run with neither a handler nor an event loop to run is reported to
// the application's OnUnhandledModal (the test harness fails the test) and ends with mrCancel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Controls.h"

enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7 };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TPosition { poDesigned, poDefault, poScreenCenter, poOwnerFormCenter, poMainFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // A form's size is its client size; the window manager adds the frame.
  void SetClientWidth(int w) { SetWidth(w); }
  void SetClientHeight(int h) { SetHeight(h); }

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }

  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r);
  bool Modal() const { return modal_; }
  int ShowModal();
  void SetVisible(bool v) override;
  // Asks OnCloseQuery, then OnClose; a modal form ends its run with mrCancel.
  void Close();
  bool CloseQuery();

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnDestroy;
  std::function<void(TObject*, TCloseAction&)> OnClose;
  std::function<void(TObject*, bool&)> OnCloseQuery;
  // With KeyPreview the form's key events see the keys of its focused control first.
  bool KeyPreview = false;

  // Delivers a typed character to the form's OnKeyPress (which may change or swallow it).
  using TWinControl::KeyPress;

  // The control that has the keyboard focus on this form, or null.
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* c);

  // Fires OnDestroy once. A derived form whose OnDestroy handler uses its own members calls this
  // first thing in its destructor; otherwise ~TForm calls it.
  void Destroying();

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void CaptionChanged() override;

 private:
  friend class TWinControl;
  bool CloseModal();
  void PlaceOnShow();
  TBorderStyle borderStyle_ = bsSizeable;
  TPosition position_ = poDesigned;
  int modalResult_ = mrNone;
  bool modal_ = false;
  bool destroyed_ = false;
  void* modalLoop_ = nullptr;
  TWinControl* activeControl_ = nullptr;
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& t);
  AnsiString HelpFile;

  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T*& ref) {
    ref = new T(this);
    if (!mainForm_) mainForm_ = ref;
  }
  TForm* MainForm() const { return mainForm_; }
  // Shows the main form and runs the message loop until Terminate; the exit code.
  int Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles pending window-system events and synchronised calls, then returns.
  void ProcessMessages();
  void ShowException(const std::string& what);

  // Test harness: see the header comment.
  std::function<void(TForm*)> ModalHandler;
  std::function<void(TForm*)> OnUnhandledModal;
  bool TestMode = false;

 private:
  AnsiString title_;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
};

extern TApplication* Application;

// Creates the window-system application and the global Application. Call once, first thing.
void InitApplication(int& argc, char** argv);
// Frees the global Application (and its forms), then the window-system application.
void DoneApplication();

// Screen size in pixels.
int ScreenWidth();
int ScreenHeight();

// The screen: its pointer shape overrides every control's while it is not crDefault (the
// hourglass of long work).
class TScreen {
 public:
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  int Width() const { return ScreenWidth(); }
  int Height() const { return ScreenHeight(); }

 private:
  TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

// The mouse pointer's place on the screen ((0, 0) without a window system), and moving it.
void GetCursorPos(int& x, int& y);
void SetCursorPos(int x, int y);
