// A multi-line text box the user edits.
#pragma once

#include <memory>
#include <string>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// A text box of several lines. Lines() holds the text, one line per string; Text() is the whole
// text with CR LF between the lines. The user's edits reach the lines as they are made; text the
// user did not edit keeps its bytes. The caret and the selection are byte offsets into Text().
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  ~TMemo() override;
  TStrings* Lines() { return &lines_; }
  AnsiString Text() const;
  void SetText(const AnsiString& text);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  // A single border (sunken frame) or none.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  // Where each line stands across the box.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  int SelStart() const { return selStart_; }
  void SetSelStart(int pos);
  int SelLength() const { return selLength_; }
  void SetSelLength(int n);
  // Puts text in place of the selection (at the caret when nothing is selected); the caret
  // follows it.
  void SetSelText(const AnsiString& text);
  TNotifyEvent OnChange;
  // What an edit by the user does: the box then shows text (UTF-8, lines joined by LF). Only the
  // part that differs from what it showed before is converted; the rest keeps its bytes.
  void UserEdit(const std::string& utf8);

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  void LinesChanged();
  void ShowCaret();
  TStringList lines_;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
  bool readOnly_ = false;
  TBorderStyle borderStyle_ = bsSingle;
  TAlignment alignment_ = taLeftJustify;
  int selStart_ = 0;
  int selLength_ = 0;
  bool syncing_ = false;
  bool dirty_ = true;
};
