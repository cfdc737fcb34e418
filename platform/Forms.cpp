#include "platform/Forms.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QEventLoop>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/QtBridge.h"
#include "platform/StdCtrls.h"
#include "platform/SysUtils.h"
#include "platform/Thread.h"

TApplication* Application = nullptr;

namespace {

// The pointer shapes installed in the screen's list; they go before the window system does.
std::map<int, QCursor>& Cursors() {
  static std::map<int, QCursor> cursors;
  return cursors;
}

void ForgetCursors() { Cursors().clear(); }

}  // namespace

namespace {

// The form's default button (Enter) or cancel button (Esc), at any depth.
TButton* FindButton(TWinControl* parent, bool cancel) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Visible() && b->Enabled() && (cancel ? b->Cancel : b->Default))
      return b;
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (TButton* b = FindButton(w, cancel)) return b;
  }
  return nullptr;
}

// The top-level window of a form. It forwards the window system's close and key events to the
// form, which decides; the window never closes by itself.
class FormWidget : public QWidget {
 public:
  explicit FormWidget(TForm* form) : form_(form) {}

 protected:
  void closeEvent(QCloseEvent* e) override {
    e->ignore();
    form_->Close();
  }
  void keyPressEvent(QKeyEvent* e) override {
    const QString text = e->text();
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
      if (auto* b = qobject_cast<QAbstractButton*>(focusWidget())) {
        b->click();
        return;
      }
      if (TButton* b = FindButton(form_, false)) {
        b->Click();
        return;
      }
    }
    if (e->key() == Qt::Key_Escape) {
      if (TButton* b = FindButton(form_, true)) {
        b->Click();
        return;
      }
    }
    if (text.size() == 1 && text[0].unicode() < 0x80) {
      char key = static_cast<char>(text[0].unicode());
      form_->KeyPress(key);
      return;
    }
    QWidget::keyPressEvent(e);
  }
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (form_->Width() != width() || form_->Height() != height())
      form_->SetBounds(form_->Left(), form_->Top(), width(), height());
  }
  void paintEvent(QPaintEvent* e) override {
    QWidget::paintEvent(e);
    if (form_->OnPaint) form_->OnPaint(form_);
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowActivate && form_->OnActivate) form_->OnActivate(form_);
    if (e->type() == QEvent::WindowDeactivate && form_->OnDeactivate) form_->OnDeactivate(form_);
    return QWidget::event(e);
  }
  void dragEnterEvent(QDragEnterEvent* e) override {
    if (form_->AcceptsFiles() && e->mimeData()->hasUrls()) e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    std::vector<AnsiString> paths;
    for (const QUrl& url : e->mimeData()->urls())
      if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    if (paths.empty()) return;
    e->acceptProposedAction();
    form_->DropFiles(paths);
  }

 private:
  TForm* form_;
};

}  // namespace

// ---- TForm ----

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  TControl::SetVisible(false);
  Font()->SetPixelSize(12);
  SetBounds(0, 0, 320, 240);
  EnsureWidget();
}

TForm::~TForm() {
  Destroying();
  DestroyComponents();  // while the form is still a form for what they call on the way out
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    Application->ForgetMainForm();
  }
}

void TForm::Destroying() {
  if (destroyed_) return;
  destroyed_ = true;
  if (OnDestroy) OnDestroy(this);
}

QWidget* TForm::CreateWidget(QWidget*) {
  auto* w = new FormWidget(this);
  w->setAttribute(Qt::WA_DeleteOnClose, false);
  return w;
}

void TForm::SyncWidget() {
  TControl::SyncWidget();
  widget_->setWindowTitle(ToQ(Caption()));
  if (borderStyle_ == bsDialog || borderStyle_ == bsSingle || borderStyle_ == bsToolWindow) {
    widget_->setFixedSize(Width(), Height());
  } else {
    widget_->setMinimumSize(Constraints.MinWidth, Constraints.MinHeight);
    widget_->setMaximumSize(Constraints.MaxWidth > 0 ? Constraints.MaxWidth : QWIDGETSIZE_MAX,
                            Constraints.MaxHeight > 0 ? Constraints.MaxHeight : QWIDGETSIZE_MAX);
  }
  widget_->setAcceptDrops(acceptFiles_);
  QPalette pal = widget_->palette();
  pal.setColor(QPalette::Window, ToQColor(Color()));
  widget_->setPalette(pal);
  widget_->setAutoFillBackground(true);
}

void TForm::CaptionChanged() {}

void TForm::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b;
  ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle s) {
  formStyle_ = s;
  ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
  if (!widget_) return;
  Qt::WindowFlags flags = Qt::Window;
  if (borderStyle_ == bsDialog)
    flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
  if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) flags = Qt::Tool;
  if (formStyle_ == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
  const bool shown = widget_->isVisible();
  widget_->setWindowFlags(flags);
  SyncWidget();
  if (shown) widget_->show();
}

void TForm::SetBounds(int left, int top, int width, int height) {
  const TSizeConstraints& c = Constraints;
  if (c.MaxWidth > 0) width = std::min(width, c.MaxWidth);
  if (c.MaxHeight > 0) height = std::min(height, c.MaxHeight);
  width = std::max(width, c.MinWidth);
  height = std::max(height, c.MinHeight);
  TWinControl::SetBounds(left, top, width, height);
}

void TForm::ShowNoActivate() {
  if (widget_) widget_->setAttribute(Qt::WA_ShowWithoutActivating, true);
  Show();
  if (widget_) widget_->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void TForm::DragAcceptFiles(bool accept) {
  acceptFiles_ = accept;
  UpdateWidget();
}

void TForm::DropFiles(const std::vector<AnsiString>& paths) {
  if (acceptFiles_ && OnDropFiles) OnDropFiles(this, paths);
}

void TForm::SetModalResult(int r) {
  modalResult_ = r;
  if (r != mrNone && modalLoop_) static_cast<QEventLoop*>(modalLoop_)->quit();
}

void TForm::PlaceOnShow() {
  const TForm* center = nullptr;
  if (position_ == poOwnerFormCenter) center = dynamic_cast<TForm*>(Owner());
  if ((position_ == poOwnerFormCenter || position_ == poMainFormCenter) && !center && Application)
    center = Application->MainForm();
  if (center == this || (center && !center->Visible())) center = nullptr;
  int x = Left(), y = Top();
  if (position_ == poOwnerFormCenter || position_ == poMainFormCenter) {
    if (center) {
      x = center->Left() + (center->Width() - Width()) / 2;
      y = center->Top() + (center->Height() - Height()) / 2;
    } else {
      x = (ScreenWidth() - Width()) / 2;
      y = (ScreenHeight() - Height()) / 2;
    }
  } else if (position_ == poScreenCenter) {
    x = (ScreenWidth() - Width()) / 2;
    y = (ScreenHeight() - Height()) / 2;
  } else {
    return;
  }
  SetBounds(std::max(0, x), std::max(0, y), Width(), Height());
}

void TForm::SetVisible(bool v) {
  if (v == Visible()) return;
  TControl::SetVisible(v);
  if (v) {
    if (OnShow) OnShow(this);
    PlaceOnShow();
    if (widget_) {
      SyncWidget();
      widget_->show();
    }
  } else {
    if (widget_) widget_->hide();
    if (OnHide) OnHide(this);
  }
}

bool TForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

bool TForm::CloseModal() {
  TCloseAction action = caNone;
  if (CloseQuery()) {
    action = caHide;
    if (OnClose) OnClose(this, action);
  }
  if (action == caNone) {
    modalResult_ = mrNone;
    return false;
  }
  return true;
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  const bool isMain = Application && Application->MainForm() == this;
  TCloseAction action = isMain ? caFree : caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (action == caMinimize) {
    if (widget_) widget_->showMinimized();
    return;
  }
  Hide();
  if (isMain) Application->Terminate();
}

void TForm::SetActiveControl(TWinControl* c) {
  if (c == activeControl_) return;
  TWinControl* old = activeControl_;
  activeControl_ = c;
  if (old) old->DoExit();
  if (c) {
    c->DoEnter();
    if (c->Widget() && c->Widget() != widget_) c->Widget()->setFocus();
  }
}

int TForm::ShowModal() {
  if (modal_) return mrCancel;
  modal_ = true;
  modalResult_ = mrNone;
  if (widget_) widget_->setWindowModality(Qt::ApplicationModal);
  Show();
  if (Application && Application->ModalHandler) {
    // The handler plays the user; it is asked again while the form refuses to close.
    for (int round = 0;; ++round) {
      auto handler = Application->ModalHandler;
      handler(this);
      if (modalResult_ == mrNone || round == 100) {
        if (Application->OnUnhandledModal) Application->OnUnhandledModal(this);
        modalResult_ = mrCancel;
        break;
      }
      if (CloseModal()) break;
    }
  } else if (!Application || Application->TestMode) {
    if (Application && Application->OnUnhandledModal) Application->OnUnhandledModal(this);
    modalResult_ = mrCancel;
  } else {
    for (;;) {
      if (modalResult_ == mrNone) {
        QEventLoop loop;
        modalLoop_ = &loop;
        loop.exec();
        modalLoop_ = nullptr;
      }
      if (modalResult_ == mrNone && Application->Terminated()) modalResult_ = mrCancel;
      if (modalResult_ != mrNone && CloseModal()) break;
      if (Application->Terminated()) break;
    }
  }
  const int result = modalResult_ == mrNone ? mrCancel : modalResult_;
  Hide();
  if (widget_) widget_->setWindowModality(Qt::NonModal);
  modal_ = false;
  return result;
}

// ---- TApplication ----

TApplication::TApplication() : TComponent(nullptr) {}

TApplication::~TApplication() {
  // The forms go while the application is still whole (a closing main form asks for it); the
  // main form goes last, as it was made first.
  mainForm_ = nullptr;
  DestroyComponents();
}

void TApplication::SetTitle(const AnsiString& t) {
  title_ = t;
  if (HaveGuiApplication()) QApplication::setApplicationDisplayName(ToQ(t));
}

int TApplication::Run() {
  if (!mainForm_) return 0;
  mainForm_->Show();
  if (!terminated_ && HaveGuiApplication()) QApplication::exec();
  return 0;
}

void TApplication::Terminate() {
  terminated_ = true;
  if (QCoreApplication::instance()) QCoreApplication::quit();
}

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
  CheckSynchronize();
}

void TApplication::ShowException(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  if (TestMode || !HaveGuiApplication()) return;
  QMessageBox::critical(nullptr, ToQ(title_), QString::fromStdString(what));
}

namespace {
QApplication* g_qapp = nullptr;
}

void InitApplication(int& argc, char** argv) {
  SetMainThread();
  if (!g_qapp && !QCoreApplication::instance()) {
    g_qapp = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Qt adopts the environment's locale; numbers in texts and files always use the C rules.
    std::setlocale(LC_NUMERIC, "C");
    // The window system's own dialogs (colour, font, print) speak the program's language.
    static QTranslator japanese;
    if (japanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(&japanese);
  }
  if (!Application) Application = new TApplication;
  InstallInputStateFilter();
  // After the window system took its own options out of argv.
  SetParams(std::vector<std::string>(argv, argv + argc));
}

void DoneApplication() {
  delete Application;
  Application = nullptr;
  ForgetCursors();
  delete g_qapp;
  g_qapp = nullptr;
}

namespace {
TScreen g_screen;
}
TScreen* Screen = &g_screen;


const QCursor* RegisteredCursor(int index) {
  auto it = Cursors().find(index);
  return it == Cursors().end() ? nullptr : &it->second;
}

void TScreen::SetCursors(TCursor index, const TBitmap& picture, TColor transparent, int hotX, int hotY) {
  if (index <= 0 || !HaveGuiApplication() || picture.Empty()) return;
  Cursors()[index] = QCursor(QPixmap::fromImage(MaskedImage(picture, transparent)), hotX, hotY);
}

void TScreen::SetCursor(TCursor c) {
  if (c == cursor_) return;
  const bool had = cursor_ != crDefault;
  cursor_ = c;
  if (!HaveGuiApplication()) return;
  if (had) QGuiApplication::restoreOverrideCursor();
  if (c != crDefault) QGuiApplication::setOverrideCursor(ToQCursor(c));
}

int ScreenWidth() {
  if (!HaveGuiApplication() || !QGuiApplication::primaryScreen()) return 1024;
  return QGuiApplication::primaryScreen()->geometry().width();
}

int ScreenHeight() {
  if (!HaveGuiApplication() || !QGuiApplication::primaryScreen()) return 768;
  return QGuiApplication::primaryScreen()->geometry().height();
}

void GetCursorPos(int& x, int& y) {
  x = y = 0;
  if (!HaveGuiApplication()) return;
  const QPoint p = QCursor::pos();
  x = p.x();
  y = p.y();
}

void SetCursorPos(int x, int y) {
  if (HaveGuiApplication()) QCursor::setPos(x, y);
}
