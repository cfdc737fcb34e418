#include "platform/StdCtrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QFrame>
#include <QLabel>
#include <QPainter>
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

// The widget of a label that draws itself: Paint draws on the label's canvas bound to the widget.
class LabelCanvasWidget : public QWidget {
 public:
  LabelCanvasWidget(TLabel* label, QWidget* parent) : QWidget(parent), label_(label) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    TCanvas* c = label_->Canvas();
    BindCanvas(c, &p);
    label_->Paint();
    BindCanvas(c, nullptr);
  }

 private:
  TLabel* label_;
};

TLabel::TLabel(TComponent* owner) : TControl(owner) { SetBounds(0, 0, 32, 13); }

TLabel::~TLabel() = default;

TCanvas* TLabel::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TCanvas>();
  return canvas_.get();
}

void TLabel::Invalidate() {
  if (widget_) widget_->update();
}

QWidget* TLabel::CreateWidget(QWidget* parent) {
  if (ownerDraw_) {
    auto* w = new LabelCanvasWidget(this, parent);
    ForwardMouse(w, this);
    return w;
  }
  auto* l = new QLabel(parent);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  l->setTextFormat(Qt::PlainText);
  l->setAttribute(Qt::WA_TranslucentBackground);
  ForwardMouse(l, this);
  return l;
}

void TLabel::SetAlignment(TAlignment a) {
  alignment_ = a;
  UpdateWidget();
}

void TLabel::SyncWidget() {
  TControl::SyncWidget();
  if (ownerDraw_) {
    widget_->update();
    return;
  }
  auto* l = static_cast<QLabel*>(widget_);
  l->setText(StripAccelerators(DisplayLines(Caption())));
  l->setAlignment(Qt::AlignTop | (alignment_ == taCenter       ? Qt::AlignHCenter
                                  : alignment_ == taRightJustify ? Qt::AlignRight
                                                                 : Qt::AlignLeft));
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
  if (!autoSize_ || ownerDraw_ || !HaveGuiApplication()) return;  // a label that draws itself sizes itself
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

// ---- TEdit ----

TEdit::TEdit(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 121, 21);
  SetColor(clWindow);
}

QWidget* TEdit::CreateWidget(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  ForwardKeys(e, this);
  QObject::connect(e, &QLineEdit::textEdited, [this](const QString& t) { SetText(FromQ(t)); });
  return e;
}

void TEdit::SyncWidget() {
  TControl::SyncWidget();
  auto* e = static_cast<QLineEdit*>(widget_);
  e->setReadOnly(ReadOnly);
  e->setMaxLength(MaxLength > 0 ? MaxLength : 32767);
  const QString t = ToQ(Text());
  if (e->text() != t) e->setText(t);
}

void TEdit::CaptionChanged() {
  if (OnChange) OnChange(this);
}

// ---- TComboBox ----

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 145, 21);
  SetColor(clWindow);
  items_.OnChange = [this] {
    if (itemIndex_ >= items_.Count()) itemIndex_ = -1;
    UpdateWidget();
  };
}

TComboBox::~TComboBox() { items_.OnChange = nullptr; }

void TComboBox::SetItemIndex(int i) {
  if (i < -1 || i >= items_.Count()) i = -1;
  itemIndex_ = i;
  if (i >= 0) SetCaption(items_[i]);
  else if (Style != csDropDown) SetCaption("");
  UpdateWidget();
}

void TComboBox::UserSelect(int i) {
  SetItemIndex(i);
  if (OnChange) OnChange(this);
}

QWidget* TComboBox::CreateWidget(QWidget* parent) {
  auto* c = static_cast<QComboBox*>(MakeComboWidget(this, parent));
  QObject::connect(c, QOverload<int>::of(&QComboBox::activated), [this](int i) {
    if (!syncing_) UserSelect(i);
  });
  QObject::connect(c, &QComboBox::editTextChanged, [this](const QString& t) {
    if (syncing_ || Style != csDropDown) return;
    itemIndex_ = items_.IndexOf(FromQ(t));
    SetCaption(FromQ(t));
    if (OnChange) OnChange(this);
  });
  return c;
}

void TComboBox::SyncWidget() {
  TControl::SyncWidget();
  auto* c = static_cast<QComboBox*>(widget_);
  syncing_ = true;
  c->setEditable(Style == csDropDown);
  c->setMaxVisibleItems(DropDownCount);
  QStringList texts;
  for (int i = 0; i < items_.Count(); ++i) texts << ToQ(items_[i]);
  bool same = c->count() == texts.size();
  for (int i = 0; same && i < c->count(); ++i) same = c->itemText(i) == texts[i];
  if (!same) {
    c->clear();
    c->addItems(texts);
  }
  c->setCurrentIndex(itemIndex_);
  if (Style == csDropDown) c->setEditText(ToQ(Text()));
  syncing_ = false;
}

// ---- TCheckBox ----

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 97, 17); }

void TCheckBox::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  UpdateWidget();
  Click();
}

QWidget* TCheckBox::CreateWidget(QWidget* parent) {
  auto* b = new QCheckBox(parent);
  QObject::connect(b, &QCheckBox::clicked, [this](bool on) { SetChecked(on); });
  return b;
}

void TCheckBox::SyncWidget() {
  TControl::SyncWidget();
  auto* b = static_cast<QCheckBox*>(widget_);
  b->setText(ToQ(Caption()));
  b->setChecked(checked_);
}

// ---- TGroupBox ----

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 105); }

QWidget* TGroupBox::CreateWidget(QWidget* parent) { return new QGroupBox(parent); }

void TGroupBox::SyncWidget() {
  TControl::SyncWidget();
  static_cast<QGroupBox*>(widget_)->setTitle(ToQ(Caption()));
}

// ---- TRadioGroup ----

TRadioGroup::TRadioGroup(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 105);
  items_.OnChange = [this] {
    if (itemIndex_ >= items_.Count()) itemIndex_ = -1;
    RebuildButtons();
  };
}

TRadioGroup::~TRadioGroup() { items_.OnChange = nullptr; }

void TRadioGroup::SetItemIndex(int i) {
  if (i < -1 || i >= items_.Count()) i = -1;
  if (i == itemIndex_) return;
  itemIndex_ = i;
  UpdateWidget();
  Click();
}

void TRadioGroup::SetColumns(int c) {
  columns_ = std::max(1, c);
  UpdateWidget();
}

QWidget* TRadioGroup::CreateWidget(QWidget* parent) { return new QGroupBox(parent); }

void TRadioGroup::RebuildButtons() {
  if (!widget_) return;
  for (QRadioButton* b : widget_->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) delete b;
  for (int i = 0; i < items_.Count(); ++i) {
    auto* b = new QRadioButton(widget_);
    b->setAutoExclusive(false);  // the group's index decides, not Qt
    QObject::connect(b, &QRadioButton::clicked, [this, i] {
      SetItemIndex(i);
      UpdateWidget();  // a click on the checked button must not leave it unchecked
    });
    b->show();
  }
  SyncWidget();
}

void TRadioGroup::SyncWidget() {
  TControl::SyncWidget();
  auto* g = static_cast<QGroupBox*>(widget_);
  g->setTitle(ToQ(Caption()));
  const QList<QRadioButton*> buttons = g->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
  if (buttons.size() != items_.Count()) {
    RebuildButtons();
    return;
  }
  const int n = items_.Count();
  const int rows = n == 0 ? 1 : (n + columns_ - 1) / columns_;
  const int top = QFontMetrics(ToQFont(*Font())).height() + 2;
  const int w = std::max(1, (Width() - 16) / columns_);
  const int h = std::max(1, (Height() - top - 6) / rows);
  for (int i = 0; i < n; ++i) {
    QRadioButton* b = buttons[i];
    b->setText(ToQ(items_[i]));
    b->setChecked(i == itemIndex_);
    b->setGeometry(8 + (i / rows) * w, top + (i % rows) * h, w, h);
  }
}
