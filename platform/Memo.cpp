#include "platform/Memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

#include "platform/QtBridge.h"

namespace {

// The text as the widget holds it: lines joined by LF.
QString ToWidgetText(const AnsiString& text) {
  QString s = ToQ(text);
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  return s;
}

// The byte offset in text (lines joined by CR LF) of the widget's character position chars:
// one character per Shift_JIS character, one for each CR LF.
int ByteOffset(const AnsiString& text, int chars) {
  size_t i = 0;
  for (int n = 0; n < chars && i < text.size(); ++n) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      i += 2;
    else
      i += IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return static_cast<int>(i);
}

// The widget's character position of a byte offset in text.
int CharOffset(const AnsiString& text, int bytes) {
  int n = 0;
  for (size_t i = 0; i < text.size() && static_cast<int>(i) < bytes; ++n) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
      i += 2;
    else
      i += IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
  }
  return n;
}

}  // namespace

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 89);
  SetColor(clWindow);
  TabStop = true;
  lines_.OnChange = [this] { LinesChanged(); };
}

TMemo::~TMemo() { lines_.OnChange = nullptr; }

AnsiString TMemo::Text() const {
  AnsiString t = lines_.Text();
  if (t.size() >= 2) t.resize(t.size() - 2);  // no line end after the last line
  return t;
}

void TMemo::SetText(const AnsiString& text) { lines_.SetText(text); }

void TMemo::UserEdit(const std::string& utf8) {
  const AnsiString old = Text();
  const QString before = ToWidgetText(old);
  const QString after = QString::fromStdString(utf8);
  int prefix = 0;
  const int most = static_cast<int>(std::min(before.size(), after.size()));
  while (prefix < most && before[prefix] == after[prefix]) ++prefix;
  int suffix = 0;
  while (suffix < most - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) ++suffix;
  QString middle = after.mid(prefix, after.size() - prefix - suffix);
  middle.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  const int head = ByteOffset(old, prefix);
  const int tail = ByteOffset(old, static_cast<int>(before.size()) - suffix);
  syncing_ = true;
  lines_.SetText(old.substr(0, head) + FromQ(middle) + old.substr(tail));
  syncing_ = false;
}

void TMemo::LinesChanged() {
  const int size = static_cast<int>(Text().size());
  selStart_ = std::min(selStart_, size);
  selLength_ = std::min(selLength_, size - selStart_);
  if (!syncing_) {
    dirty_ = true;
    UpdateWidget();
  }
  if (OnChange) OnChange(this);
}

void TMemo::SetScrollBars(TScrollStyle s) {
  scrollBars_ = s;
  UpdateWidget();
}

void TMemo::SetWordWrap(bool v) {
  wordWrap_ = v;
  UpdateWidget();
}

void TMemo::SetReadOnly(bool v) {
  readOnly_ = v;
  UpdateWidget();
}

void TMemo::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b == bsNone ? bsNone : bsSingle;
  UpdateWidget();
}

void TMemo::SetAlignment(TAlignment a) {
  alignment_ = a;
  UpdateWidget();
}

void TMemo::SetSelStart(int pos) {
  selStart_ = std::clamp(pos, 0, static_cast<int>(Text().size()));
  selLength_ = 0;
  ShowCaret();
}

void TMemo::SetSelLength(int n) {
  selLength_ = std::clamp(n, 0, static_cast<int>(Text().size()) - selStart_);
  ShowCaret();
}

void TMemo::SetSelText(const AnsiString& text) {
  AnsiString all = Text();
  const size_t at = std::min<size_t>(selStart_, all.size());
  all.replace(at, std::min<size_t>(selLength_, all.size() - at), text);
  const int caret = static_cast<int>(at + text.size());
  lines_.SetText(all);
  selStart_ = std::min(caret, static_cast<int>(Text().size()));
  selLength_ = 0;
  ShowCaret();
}

void TMemo::ShowCaret() {
  if (!widget_) return;
  auto* e = static_cast<QPlainTextEdit*>(widget_);
  const AnsiString all = Text();
  QTextCursor cursor(e->document());
  syncing_ = true;
  cursor.setPosition(CharOffset(all, selStart_));
  cursor.setPosition(CharOffset(all, selStart_ + selLength_), QTextCursor::KeepAnchor);
  e->setTextCursor(cursor);
  syncing_ = false;
}

QWidget* TMemo::CreateWidget(QWidget* parent) {
  auto* e = new QPlainTextEdit(parent);
  e->setTabChangesFocus(true);
  QObject::connect(e, &QPlainTextEdit::textChanged, [this, e] {
    if (!syncing_) UserEdit(e->toPlainText().toStdString());
  });
  QObject::connect(e, &QPlainTextEdit::cursorPositionChanged, [this, e] {
    if (syncing_) return;
    const QTextCursor c = e->textCursor();
    const AnsiString all = Text();
    selStart_ = ByteOffset(all, c.selectionStart());
    selLength_ = ByteOffset(all, c.selectionEnd()) - selStart_;
  });
  QObject::connect(e, &QPlainTextEdit::selectionChanged, [this, e] {
    if (syncing_) return;
    const QTextCursor c = e->textCursor();
    const AnsiString all = Text();
    selStart_ = ByteOffset(all, c.selectionStart());
    selLength_ = ByteOffset(all, c.selectionEnd()) - selStart_;
  });
  ForwardKeys(e, this);
  dirty_ = true;
  return e;
}

void TMemo::SyncWidget() {
  TWinControl::SyncWidget();
  auto* e = static_cast<QPlainTextEdit*>(widget_);
  e->setReadOnly(readOnly_);
  e->setFrameShape(borderStyle_ == bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
  QTextOption option = e->document()->defaultTextOption();
  const Qt::Alignment align = alignment_ == taCenter       ? Qt::AlignHCenter
                              : alignment_ == taRightJustify ? Qt::AlignRight
                                                             : Qt::AlignLeft;
  if (option.alignment() != align) {
    option.setAlignment(align);
    e->document()->setDefaultTextOption(option);
  }
  e->setLineWrapMode(wordWrap_ ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  e->setVerticalScrollBarPolicy(scrollBars_ == ssVertical || scrollBars_ == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                                   : Qt::ScrollBarAlwaysOff);
  e->setHorizontalScrollBarPolicy(scrollBars_ == ssHorizontal || scrollBars_ == ssBoth ? Qt::ScrollBarAlwaysOn
                                                                                       : Qt::ScrollBarAlwaysOff);
  QPalette pal = e->palette();
  pal.setColor(QPalette::Base, ToQColor(Color()));
  pal.setColor(QPalette::Text, ToQColor(Font()->Color()));
  e->setPalette(pal);
  if (dirty_) {
    dirty_ = false;
    syncing_ = true;
    e->setPlainText(ToWidgetText(Text()));
    syncing_ = false;
    ShowCaret();
  }
}
