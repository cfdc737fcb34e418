// The design surface a card box puts over itself in design mode. The pieces of one card field
// (value memo, heading, the field's barcode label) move together, headings are only moved (their
// size follows their text), and a right-click menu sets fonts, shows or hides headings and
// borders, and adds or deletes free text frames (card memos with a negative Tag).
// User-interface thread only.
#pragma once

#include "platform/Menus.h"
#include "views/CvCardMemo.h"
#include "views/CvDesignBox.h"

class TCvCardDesignBox : public TCvDesignBox {
 public:
  explicit TCvCardDesignBox(TComponent* owner);
  ~TCvCardDesignBox() override;

  // The right-click menu: "フォント", "見出しを表示", "見出しを隠す", "-", "文字枠を追加",
  // "文字枠を削除", "-", "外枠を表示", "外枠を隠す".
  TPopupMenu* PopupMenu() { return popup_; }
  // Where the menu was last opened, in the surface's coordinates.
  TPoint RightClickPoint() const { return rightClick_; }

  void MoveControl(TControl* control, const TRect& r) override;
  void ResizeControl(TControl* control, const TRect& r) override;

 protected:
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  // The pieces of the field a control belongs to; all null for a control of no field.
  struct Field {
    TCvCardColumn* column = nullptr;
    TCvCardMemo* memo = nullptr;
    TCvCardLabel* heading = nullptr;
    TCvBcCardLabel* barcode = nullptr;  // the field's own barcode, not a memo's substitute
  };
  Field FieldOf(TControl* control);
  // Moves a control by (dx, dy) (a memo with its substitutes) and refreshes its item.
  void Shift(TControl* control, int dx, int dy);
  void FontClick();
  void ShowHeadings(bool show);
  void AddTextFrame();
  void DeleteTextFrames();
  void ShowBorders(bool show);

  TPopupMenu* popup_;
  TPoint rightClick_;
};
