// Mouse input fed to a design surface as a user gives it.
#pragma once

#include "platform/Controls.h"

// Press at (x, y), move halfway and then by (dx, dy), release there; with (0, 0), a click.
inline void DragOn(TControl* c, int x, int y, int dx, int dy, TShiftState shift = 0) {
  c->PressMouse(mbLeft, shift | ssLeft, x, y);
  c->MoveMouse(shift | ssLeft, x + dx / 2, y + dy / 2);
  c->MoveMouse(shift | ssLeft, x + dx, y + dy);
  c->ReleaseMouse(mbLeft, shift, x + dx, y + dy);
}
