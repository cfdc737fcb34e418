// The combo box's widget, which hands the drawing of owner-drawn items to the control.
#include <QComboBox>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

#include "platform/QtBridge.h"
#include "platform/StdCtrls.h"

namespace {

TRect ToTRect(const QRect& r) { return Rect(r.left(), r.top(), r.left() + r.width(), r.top() + r.height()); }

void Draw(TComboBox* combo, QPainter* p, int index, const QRect& r, TOwnerDrawState state) {
  p->save();
  p->setClipRect(r);
  BindCanvas(combo->Canvas(), p);
  combo->DrawItem(index, ToTRect(r), state);
  BindCanvas(combo->Canvas(), nullptr);
  p->restore();
}

class ComboDelegate : public QStyledItemDelegate {
 public:
  ComboDelegate(TComboBox* combo, QObject* parent) : QStyledItemDelegate(parent), combo_(combo) {}
  void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (combo_->Style != csOwnerDrawFixed) {
      QStyledItemDelegate::paint(p, option, index);
      return;
    }
    Draw(combo_, p, index.row(), option.rect, option.state & QStyle::State_Selected ? odSelected | odFocused : 0);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    if (combo_->Style == csOwnerDrawFixed) s.setHeight(combo_->ItemHeight);
    return s;
  }

 private:
  TComboBox* combo_;
};

class ComboWidget : public QComboBox {
 public:
  ComboWidget(TComboBox* combo, QWidget* parent) : QComboBox(parent), combo_(combo) {
    setItemDelegate(new ComboDelegate(combo, this));
  }

 protected:
  void paintEvent(QPaintEvent* e) override {
    if (combo_->Style != csOwnerDrawFixed) {
      QComboBox::paintEvent(e);
      return;
    }
    QStylePainter p(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText.clear();
    opt.currentIcon = QIcon();
    p.drawComplexControl(QStyle::CC_ComboBox, opt);
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    if (currentIndex() >= 0)
      Draw(combo_, &p, currentIndex(), field, odComboBoxEdit | (hasFocus() ? odSelected | odFocused : 0));
  }

 private:
  TComboBox* combo_;
};

}  // namespace

QWidget* MakeComboWidget(TComboBox* combo, QWidget* parent) { return new ComboWidget(combo, parent); }

void TComboBox::DrawItem(int index, const TRect& rect, TOwnerDrawState state) {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  const bool selected = state & odSelected;
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(selected ? clHighlight : Color());
  c->Font()->SetColor(selected ? clHighlightText : Font()->Color());
  c->FillRect(rect);
  if (OnDrawItem) {
    OnDrawItem(this, index, rect, state);
  } else if (index >= 0 && index < Items()->Count()) {
    c->TextOut(rect.Left + 2, rect.Top + (rect.Height() - c->TextHeight((*Items())[index])) / 2, (*Items())[index]);
  }
}
