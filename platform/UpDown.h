// The up-down control: a pair of arrow buttons that step a number between Min and Max, shown in
// an associated edit. User-interface thread only.
#pragma once

#include "platform/StdCtrls.h"

enum TUDOrientation { udHorizontal, udVertical };
enum TUDBtnType { btNext, btPrev };
enum TUpDownDirection { updNone, updUp, updDown };

// Before a step: allowChange may be cleared to refuse the new value.
using TUDChangingEvent =
    std::function<void(TObject* sender, bool& allowChange, int newValue, TUpDownDirection direction)>;
// After a step was taken.
using TUDClickEvent = std::function<void(TObject* sender, TUDBtnType button)>;

class TUpDown : public TWinControl {
 public:
  explicit TUpDown(TComponent* owner);
  int Min() const { return min_; }
  void SetMin(int v);
  int Max() const { return max_; }
  void SetMax(int v);
  // The number the associated edit holds when the user typed one inside Min..Max, else the last
  // one set or stepped to. Setting it from the program keeps it inside Min..Max and asks nobody.
  // Positions are 16-bit, as the window system's control keeps them.
  int Position() const;
  void SetPosition(int v);
  int Increment = 1;
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation o);
  // The edit that shows the position (not owned). It stands under the same parent as the
  // up-down; an edit freed first is forgotten.
  TEdit* Associate() const { return Edit(); }
  void SetAssociate(TEdit* e);

  // What a click on an arrow does: the position moves by Increment (towards Max for btNext),
  // kept inside Min..Max; nothing happens when it cannot move or OnChangingEx refuses.
  void Step(TUDBtnType button);

  TUDChangingEvent OnChangingEx;
  TUDClickEvent OnButtonClick;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  TEdit* Edit() const;
  void ShowPosition();
  int min_ = 0, max_ = 100, position_ = 0;
  TUDOrientation orientation_ = udVertical;
  TEdit* associate_ = nullptr;
};
