// A scroll bar standing on its own: a position between Min and Max. User-interface thread only.
#pragma once

#include <algorithm>

#include "platform/Controls.h"

enum TScrollBarKind { sbHorizontal, sbVertical };

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* owner);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind k);
  int Min() const { return min_; }
  int Max() const { return max_; }
  // A new range; the position is kept inside it.
  void SetMin(int v) { SetParams(position_, v, std::max(v, max_)); }
  void SetMax(int v) { SetParams(position_, std::min(v, min_), v); }
  int Position() const { return position_; }
  // Kept inside Min..Max; a change, by the user or the program, runs OnChange.
  void SetPosition(int v) { SetParams(v, min_, max_); }
  void SetParams(int position, int min, int max);
  int SmallChange = 1;
  int LargeChange = 1;
  TNotifyEvent OnChange;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0;
  bool syncing_ = false;
};
