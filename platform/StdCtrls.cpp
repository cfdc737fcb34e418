#include "platform/StdCtrls.h"

#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace {
QString DisplayLines(const AnsiString& text) {
  QString s = ToQ(text);
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}
}  // namespace

// ---- TLabel ----

TLabel::TLabel(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 32, 13); }

QWidget* TLabel::CreateWidget(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setTextFormat(Qt::PlainText);
  l->setAttribute(Qt::WA_TranslucentBackground);
  return l;
}

void TLabel::SyncWidget() {
  TControl::SyncWidget();
  auto* l = static_cast<QLabel*>(widget_);
  l->setText(StripAccelerators(DisplayLines(Caption())));
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, ToQColor(Font()->Color()));
  l->setPalette(pal);
}

void TLabel::SetAutoSize(bool v) {
  autoSize_ = v;
  AdjustSize();
}

void TLabel::FontChanged() {
  AdjustSize();
  TControl::FontChanged();
}

void TLabel::CaptionChanged() { AdjustSize(); }

void TLabel::AdjustSize() {
  if (!autoSize_ || !HaveGuiApplication()) return;
  QString text = StripAccelerators(DisplayLines(Caption()));
  if (text.isEmpty()) text = QStringLiteral(" ");  // an empty label keeps the height of a line
  const QFontMetrics fm(ToQFont(*Font()));
  const QStringList lines = text.split(QLatin1Char('\n'));
  int w = 0;
  for (const QString& line : lines) w = std::max(w, fm.horizontalAdvance(line));
  SetBounds(Left(), Top(), w, static_cast<int>(lines.size()) * fm.height());
}

// ---- TButton ----

TButton::TButton(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 75, 25); }

QWidget* TButton::CreateWidget(QWidget* parent) {
  auto* b = new QPushButton(parent);
  b->setAutoDefault(false);
  QObject::connect(b, &QPushButton::clicked, [this] { Click(); });
  return b;
}

void TButton::SyncWidget() {
  TControl::SyncWidget();
  static_cast<QPushButton*>(widget_)->setText(ToQ(Caption()));
}

void TButton::Click() {
  if (TForm* form = ParentForm()) form->SetModalResult(ModalResult);
  TControl::Click();
}

// ---- TBevel ----

TBevel::TBevel(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 50, 50); }

QWidget* TBevel::CreateWidget(QWidget* parent) {
  auto* f = new QFrame(parent);
  f->setAttribute(Qt::WA_TransparentForMouseEvents);
  return f;
}

void TBevel::SyncWidget() {
  TControl::SyncWidget();
  auto* f = static_cast<QFrame*>(widget_);
  const int shadow = Style == bsLowered ? QFrame::Sunken : QFrame::Raised;
  switch (Shape) {
    case bsBox: f->setFrameStyle(QFrame::StyledPanel | shadow); break;
    case bsFrame: f->setFrameStyle(QFrame::Box | shadow); break;
    case bsTopLine:
    case bsBottomLine: f->setFrameStyle(QFrame::HLine | shadow); break;
    case bsLeftLine:
    case bsRightLine: f->setFrameStyle(QFrame::VLine | shadow); break;
    case bsSpacer: f->setFrameStyle(QFrame::NoFrame); break;
  }
}

// ---- TRichEdit ----

TRichEdit::TRichEdit(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 89);
  SetColor(clWindow);
  lines_.OnChange = [this] { LinesChanged(); };
}

TRichEdit::~TRichEdit() {
  *alive_ = false;
  lines_.OnChange = nullptr;
}

QWidget* TRichEdit::CreateWidget(QWidget* parent) {
  auto* e = new QPlainTextEdit(parent);
  e->setLineWrapMode(QPlainTextEdit::NoWrap);
  dirty_ = true;
  return e;
}

void TRichEdit::SyncWidget() {
  TControl::SyncWidget();
  auto* e = static_cast<QPlainTextEdit*>(widget_);
  e->setReadOnly(ReadOnly);
  e->setVerticalScrollBarPolicy(ScrollBars == ssVertical || ScrollBars == ssBoth ? Qt::ScrollBarAsNeeded
                                                                                 : Qt::ScrollBarAlwaysOff);
  e->setHorizontalScrollBarPolicy(ScrollBars == ssHorizontal || ScrollBars == ssBoth ? Qt::ScrollBarAsNeeded
                                                                                     : Qt::ScrollBarAlwaysOff);
  Flush();
}

void TRichEdit::LinesChanged() {
  dirty_ = true;
  if (!widget_ || flushPosted_) return;
  flushPosted_ = true;
  std::weak_ptr<bool> alive = alive_;
  QTimer::singleShot(0, [this, alive] {
    if (auto a = alive.lock(); a && *a) Flush();
  });
}

void TRichEdit::SetSelStart(int pos) { selStart_ = std::max(0, pos); }

void TRichEdit::ScrollToCaret() {
  scrollPending_ = true;
  Flush();
}

void TRichEdit::Flush() {
  flushPosted_ = false;
  if (!widget_) return;
  auto* e = static_cast<QPlainTextEdit*>(widget_);
  if (dirty_) {
    dirty_ = false;
    QString all;
    for (int i = 0; i < lines_.Count(); ++i) {
      if (i > 0) all += QLatin1Char('\n');
      all += ToQ(lines_[i]);
    }
    e->setPlainText(all);
  }
  if (!scrollPending_) return;
  scrollPending_ = false;
  // The caret's byte offset in the CR LF text, as a line and a column.
  int line = 0, rest = selStart_;
  while (line < lines_.Count() && rest > static_cast<int>(lines_[line].size()) + 1) {
    rest -= static_cast<int>(lines_[line].size()) + 2;
    ++line;
  }
  QTextCursor cursor(e->document());
  if (line >= lines_.Count()) {
    cursor.movePosition(QTextCursor::End);
  } else {
    const AnsiString& text = lines_[line];
    const int column = static_cast<int>(ToQ(text.substr(0, std::min<size_t>(std::max(rest, 0), text.size()))).size());
    cursor = QTextCursor(e->document()->findBlockByNumber(line));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, column);
  }
  e->setTextCursor(cursor);
  e->ensureCursorVisible();
}

int TRichEdit::FirstVisibleLine() {
  if (!widget_) return 0;
  Flush();
  return static_cast<QPlainTextEdit*>(widget_)->verticalScrollBar()->value();
}
