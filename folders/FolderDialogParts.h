// Pieces that the folder and table dialogs share: the two owner-drawn icon combos over the folder
// icon list, the list of sub-folders reordered by dragging, and the hourglass pointer.
//
// Icon combo items:   0 "省略値" (stored -1: the folder takes its parent's icon)
//                     k icon k-1 of the image list
#pragma once

#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/ListBox.h"
#include "platform/StdCtrls.h"

class CRuleFolder;

// An owner-drawn combo of fixed item height 16 showing twelve items when dropped down.
void SetupIconCombo(TComboBox* combo);
// "省略値" and one empty item per icon of the list; a missing list changes nothing.
void FillIconCombo(TComboBox* combo, TImageList* images);
// Selects the item that stands for a stored icon index (item 0 for a negative one); none for an
// index that the list does not hold.
void ShowIconIndex(TComboBox* combo, int icon);
// The stored icon index of the selection; keep when nothing is selected (the combo could not show
// the stored index), so that a dialog without icons never changes a folder's icons.
int IconIndexOf(const TComboBox* combo, int keep);
// Item 0 as its text 2 pixels below the top; items 1 to the icon count as the icon 16 pixels from
// the left over the filled rectangle; nothing for others.
void DrawIconItem(TComboBox* combo, TImageList* images, int index, const TRect& rect);

// The sub-folders of a folder as entries of an order list: names with the folders as objects.
void FillOrderList(TListBox* list, CRuleFolder* folder);

// Dragging an entry of an order list to another place. lastDragY is the dialog's memory of the
// pointer while it drags outside the list (0 = none yet).
//   MouseDown: a left press on an entry remembers it in the list's Tag and starts a drag once the
//              pointer moves.
//   DragOver:  over the list, accepted exactly over an entry; over the other controls bound to it
//              (form, page, label), never accepted, but the list scrolls one line for every
//              further 3 pixels the pointer moves away from it, above or below. Leaving a control
//              tells no position and moves nothing.
//   DragDrop:  a drop on the list over another entry moves the dragged one there and selects it.
void OrderListMouseDown(TListBox* list, TMouseButton button, int x, int y);
void OrderListDragOver(TListBox* list, TObject* sender, TObject* source, int x, int y, TDragState state,
                       int& lastDragY, bool& accept);
void OrderListDragDrop(TListBox* list, TObject* sender, TObject* source, int x, int y);

// The hourglass pointer for the life of the object; the previous pointer comes back after, also
// when an exception passes.
class HourGlass {
 public:
  HourGlass() : saved_(Screen ? Screen->Cursor() : crDefault) {
    if (Screen) Screen->SetCursor(crHourGlass);
  }
  ~HourGlass() {
    if (Screen) Screen->SetCursor(saved_);
  }
  HourGlass(const HourGlass&) = delete;
  HourGlass& operator=(const HourGlass&) = delete;

 private:
  TCursor saved_;
};
