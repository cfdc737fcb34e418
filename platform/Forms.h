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
enum TFormStyle { fsNormal, fsStayOnTop };

// Limits of a form's size that the user and the program can give it (0: no limit).
struct TSizeConstraints {
  int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0;
};

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
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle s);
  // Applied to every later change of the size; set them before the size.
  TSizeConstraints Constraints;
  void SetBounds(int left, int top, int width, int height) override;

  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r);
  bool Modal() const { return modal_; }
  int ShowModal();
  void SetVisible(bool v) override;
  // Shows the form without taking the keyboard focus from the window that has it.
  void ShowNoActivate();
  // Asks OnCloseQuery, then OnClose; a modal form ends its run with mrCancel.
  void Close();
  bool CloseQuery();

  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnDestroy;
  // When the window system draws the form, and when it becomes or stops being the active window.
  TNotifyEvent OnPaint;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  std::function<void(TObject*, TCloseAction&)> OnClose;
  std::function<void(TObject*, bool&)> OnCloseQuery;
  // With KeyPreview the form's key events see the keys of its focused control first.
  bool KeyPreview = false;

  // Delivers a typed character to the form's OnKeyPress (which may change or swallow it).
  using TWinControl::KeyPress;

  // Files dropped on the form from other programs, each with its full path (the bytes the file
  // system names it by), once the form accepts them.
  void DragAcceptFiles(bool accept);
  bool AcceptsFiles() const { return acceptFiles_; }
  std::function<void(TObject* sender, const std::vector<AnsiString>& paths)> OnDropFiles;
  // What the window system does when files are dropped on the form.
  void DropFiles(const std::vector<AnsiString>& paths);

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
  void ApplyWindowFlags();
  bool CloseModal();
  void PlaceOnShow();
  TBorderStyle borderStyle_ = bsSizeable;
  TPosition position_ = poDesigned;
  TFormStyle formStyle_ = fsNormal;
  bool acceptFiles_ = false;
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
  // The main form is being freed: the application has none from now on.
  void ForgetMainForm() { mainForm_ = nullptr; }
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

  // Runs whenever an input method composes text anywhere in the program (a popup that lists
  // what is typed steps aside); the window system calls InputMethodComposing.
  std::function<void()> OnInputMethod;
  void InputMethodComposing() {
    if (OnInputMethod) OnInputMethod();
  }

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
  // Installs a pointer shape under a positive number, for controls and drags to use: the
  // picture's pixels of the transparent colour are left out; (hotX, hotY) is where it points.
  void SetCursors(TCursor index, const TBitmap& picture, TColor transparent, int hotX, int hotY);

 private:
  TCursor cursor_ = crDefault;
};

extern TScreen* Screen;

// The mouse pointer's place on the screen ((0, 0) without a window system), and moving it.
void GetCursorPos(int& x, int& y);
void SetCursorPos(int x, int y);
