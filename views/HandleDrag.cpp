#include "views/HandleDrag.h"

#include <memory>

void FollowHandleDrags(TControl* handle, TForm* form, std::function<bool()> active,
                       std::function<void(int dx, int dy)> step, std::function<void()> released) {
  auto last = std::make_shared<TPoint>();
  handle->OnMouseDown = [=](TObject*, TMouseButton button, TShiftState, int x, int y) {
    if (!active() || button != mbLeft) return;
    *last = handle->ClientToScreen(TPoint{x, y});
    handle->OnMouseMove = [=](TObject*, TShiftState, int mx, int my) {
      if (!active()) return;
      const TPoint now = handle->ClientToScreen(TPoint{mx, my});
      const int dx = now.x - last->x, dy = now.y - last->y;
      form->SetBounds(form->Left() + dx, form->Top() + dy, form->Width(), form->Height());
      *last = now;
      if (dx != 0 || dy != 0) step(dx, dy);
    };
  };
  handle->OnMouseUp = [=](TObject*, TMouseButton, TShiftState, int, int) {
    handle->OnMouseMove = nullptr;
    if (active()) released();
  };
}
