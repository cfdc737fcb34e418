// The drag handles of the dialogs that move and size a control on the window behind them.
#pragma once

#include <functional>

#include "platform/Forms.h"

// Makes handle a drag handle on form: a left-button press starts following the pointer; each
// move takes the step since the last point (in screen coordinates), moves the form by it so that
// the handle stays under the pointer, and passes the step to step; the release stops following
// and calls released. active tells whether there is anything to drag (nothing happens while it
// is false).
void FollowHandleDrags(TControl* handle, TForm* form, std::function<bool()> active,
                       std::function<void(int dx, int dy)> step, std::function<void()> released);
