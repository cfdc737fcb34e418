// Copies of menu items, for a popup menu that is put together from other menus each time it
// opens.
#pragma once

class TMenuItem;

// Copies Default, Checked, Tag, the action and the click handler; without an action also the help
// context, short cut, caption, enabled and visible states.
void CopyMenuItemProps(TMenuItem* target, const TMenuItem* source);
// A new item with the source's owner and properties, and a clone of each of its items in order.
TMenuItem* CloneMenuItem(const TMenuItem* source);
