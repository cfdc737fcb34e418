#include "views/CvCardDesignBox.h"

#include "platform/Dialogs.h"

TCvCardDesignBox::TCvCardDesignBox(TComponent* owner) : TCvDesignBox(owner), popup_(new TPopupMenu(this)) {
  const struct {
    const char* caption;
    void (TCvCardDesignBox::*action)();
  } items[] = {
      {"フォント", &TCvCardDesignBox::FontClick},
      {"見出しを表示", nullptr},
      {"見出しを隠す", nullptr},
      {"-", nullptr},
      {"文字枠を追加", &TCvCardDesignBox::AddTextFrame},
      {"文字枠を削除", &TCvCardDesignBox::DeleteTextFrames},
      {"-", nullptr},
      {"外枠を表示", nullptr},
      {"外枠を隠す", nullptr},
  };
  for (const auto& it : items) {
    auto* item = new TMenuItem(popup_);
    item->SetCaption(Utf8ToSjis(it.caption));
    popup_->Items()->Add(item);
    if (it.action) item->OnClick = [this, action = it.action](TObject*) { (this->*action)(); };
  }
  popup_->Items()->Items(1)->OnClick = [this](TObject*) { ShowHeadings(true); };
  popup_->Items()->Items(2)->OnClick = [this](TObject*) { ShowHeadings(false); };
  popup_->Items()->Items(7)->OnClick = [this](TObject*) { ShowBorders(true); };
  popup_->Items()->Items(8)->OnClick = [this](TObject*) { ShowBorders(false); };
}

TCvCardDesignBox::~TCvCardDesignBox() { delete popup_; }

TCvCardDesignBox::Field TCvCardDesignBox::FieldOf(TControl* control) {
  Field f;
  if (auto* memo = dynamic_cast<TCvCardMemo*>(control)) {
    f.column = memo->Column();
    f.memo = memo;
    f.heading = memo->CaptionLabel();
  } else if (auto* heading = dynamic_cast<TCvCardLabel*>(control)) {
    f.column = heading->Column();
    f.memo = heading->Memo();
    f.heading = heading;
  } else if (auto* bc = dynamic_cast<TCvBcCardLabel*>(control)) {
    f.column = bc->Column();
    f.heading = bc->PartnerLabel();
    f.memo = f.heading ? f.heading->Memo() : dynamic_cast<TCvCardMemo*>(bc->Owner());
  }
  if (!f.column) return Field{};
  // The field's own barcode is a designed barcode label of the field that no memo stands behind.
  for (int i = 0; i < Items()->Count(); ++i) {
    auto* bc = dynamic_cast<TCvBcCardLabel*>(Items()->Items(i)->Control);
    if (bc && bc->Column() == f.column && !dynamic_cast<TCvCardMemo*>(bc->Owner())) f.barcode = bc;
  }
  return f;
}

void TCvCardDesignBox::Shift(TControl* control, int dx, int dy) {
  if (auto* memo = dynamic_cast<TCvCardMemo*>(control)) {
    memo->SetMemoLeft(memo->Left() + dx);
    memo->SetMemoTop(memo->Top() + dy);
  } else {
    control->SetBounds(control->Left() + dx, control->Top() + dy, control->Width(), control->Height());
  }
  if (TCvDesignItem* item = ItemOf(control)) SetBRect(item);
}

void TCvCardDesignBox::MoveControl(TControl* control, const TRect& r) {
  const Field f = FieldOf(control);
  if (f.column) {
    const int dx = r.Left - control->Left(), dy = r.Top - control->Top();
    for (TControl* piece : {static_cast<TControl*>(f.memo), static_cast<TControl*>(f.heading),
                            static_cast<TControl*>(f.barcode)})
      if (piece && piece != control && !IsSelected(piece)) Shift(piece, dx, dy);
  }
  TCvDesignBox::MoveControl(control, r);
}

void TCvCardDesignBox::ResizeControl(TControl* control, const TRect& r) {
  auto* heading = dynamic_cast<TCvCardLabel*>(control);
  auto* memo = dynamic_cast<TCvCardMemo*>(control);
  TControl* partner = heading ? static_cast<TControl*>(heading->Memo())
                      : memo  ? static_cast<TControl*>(memo->CaptionLabel())
                              : nullptr;
  if (partner && !IsSelected(partner)) Shift(partner, r.Left - control->Left(), r.Top - control->Top());
  if (heading)
    TCvDesignBox::MoveControl(control, r);
  else
    TCvDesignBox::ResizeControl(control, r);
}

void TCvCardDesignBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCvDesignBox::MouseUp(button, shift, x, y);
  if (button != mbRight) return;
  bool any = false;
  for (int i = 0; i < Items()->Count(); ++i) any |= Items()->Items(i)->Selected;
  for (int i = 0; i < 3; ++i) popup_->Items()->Items(i)->Enabled = any;
  rightClick_ = {x, y};
  const TPoint screen = ClientToScreen({x, y});
  popup_->Popup(screen.x, screen.y);
}

void TCvCardDesignBox::FontClick() {
  TFontDialog dialog(this);
  for (int i = Items()->Count() - 1; i >= 0; --i) {
    auto* memo = dynamic_cast<TMemo*>(Items()->Items(i)->Control);
    if (memo && Items()->Items(i)->Selected) {
      dialog.Font()->Assign(*memo->Font());
      break;
    }
  }
  if (!dialog.Execute()) return;
  bool changed = false;
  for (int i = Items()->Count() - 1; i >= 0; --i) {
    if (!Items()->Items(i)->Selected) continue;
    TControl* c = Items()->Items(i)->Control;
    for (int step = 0; step < 2 && c; ++step) {
      if (step == 1 && IsSelected(c)) break;  // it gets its own turn
      TControl* next = nullptr;
      if (auto* memo = dynamic_cast<TCvCardMemo*>(c)) {
        memo->Font()->Assign(*dialog.Font());
        next = memo->CaptionLabel();
      } else if (auto* heading = dynamic_cast<TCvCardLabel*>(c)) {
        const int right = heading->Left() + heading->Width();
        heading->Font()->Assign(*dialog.Font());
        heading->SetLeft(right - heading->Width());
        if (TCvDesignItem* item = ItemOf(heading)) SetBRect(item);
        next = heading->Memo();
      } else if (auto* other = dynamic_cast<TMemo*>(c)) {
        other->Font()->Assign(*dialog.Font());
      } else {
        break;
      }
      changed = true;
      c = next;
    }
  }
  if (changed) Repaint();
}

void TCvCardDesignBox::ShowHeadings(bool show) {
  bool changed = false;
  for (int i = 0; i < Items()->Count(); ++i) {
    TCvDesignItem* item = Items()->Items(i);
    if (!item->Selected) continue;
    TCvCardLabel* heading = nullptr;
    if (auto* memo = dynamic_cast<TCvCardMemo*>(item->Control))
      heading = memo->CaptionLabel();
    else if (auto* label = dynamic_cast<TCvCardLabel*>(item->Control))
      heading = label;
    else if (auto* bc = dynamic_cast<TCvBcCardLabel*>(item->Control))
      heading = bc->PartnerLabel();
    TCvDesignItem* headingItem = ItemOf(heading);
    if (headingItem && headingItem->Visible != show) {
      headingItem->Visible = show;
      changed = true;
    }
  }
  if (changed) Repaint();
}

void TCvCardDesignBox::AddTextFrame() {
  if (!Target()) return;
  auto* memo = new TCvCardMemo(Target());
  memo->SetWantVisible(false);
  memo->SetParent(Target());
  memo->SetBounds(rightClick_.x, rightClick_.y, 128, 20);
  memo->SetMemoText(SJ("文字枠"));
  memo->SetBorderStyle(bsNone);
  memo->Tag = -1;
  TCvDesignItem* item = Items()->Add(memo, TRect{}, true);
  SetBRect(item);
  CheckSize();
  item->Selected = true;
  const TRect r = ToTarget(Rect(rightClick_.x, rightClick_.y, rightClick_.x + 128, rightClick_.y + 20));
  memo->SetMemoLeft(r.Left);
  memo->SetMemoTop(r.Top);
  SetBRect(item);
  Repaint();
}

void TCvCardDesignBox::DeleteTextFrames() {
  bool deleted = false;
  for (int i = Items()->Count() - 1; i >= 0; --i) {
    TCvDesignItem* item = Items()->Items(i);
    if (!item->Selected) continue;
    auto* memo = dynamic_cast<TCvCardMemo*>(item->Control);
    if (!memo && (dynamic_cast<TImage*>(item->Control) || dynamic_cast<TCvBcLabel*>(item->Control)))
      memo = dynamic_cast<TCvCardMemo*>(item->Control->Owner());
    if (!memo || memo->Tag >= 0) continue;
    // The memo's substitutes go with it: their items first.
    for (int j = Items()->Count() - 1; j >= 0; --j) {
      TCvDesignItem* other = Items()->Items(j);
      if (other != item && other->Control->Owner() == memo) {
        Items()->Remove(other);
        if (j < i) --i;
      }
    }
    Items()->Remove(item);
    delete memo;
    deleted = true;
  }
  if (deleted) Repaint();
}

void TCvCardDesignBox::ShowBorders(bool show) {
  bool changed = false;
  const TBorderStyle style = show ? bsSingle : bsNone;
  for (int i = 0; i < Items()->Count(); ++i) {
    auto* memo = dynamic_cast<TMemo*>(Items()->Items(i)->Control);
    if (memo && Items()->Items(i)->Selected && memo->BorderStyle() != style) {
      memo->SetBorderStyle(style);
      changed = true;
    }
  }
  if (changed) Repaint();
}
