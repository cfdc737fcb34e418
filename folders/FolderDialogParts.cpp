#include "folders/FolderDialogParts.h"

#include "folders/RuleFolder.h"

void SetupIconCombo(TComboBox* combo) {
  combo->Style = csOwnerDrawFixed;
  combo->ItemHeight = 16;
  combo->DropDownCount = 12;
}

void FillIconCombo(TComboBox* combo, TImageList* images) {
  if (!images) return;
  combo->Items()->Clear();
  combo->Items()->Add(SJ("省略値"));
  for (int i = 0; i < images->Count(); ++i) combo->Items()->Add(AnsiString());
}

void ShowIconIndex(TComboBox* combo, int icon) {
  combo->SetItemIndex(icon < 0 ? 0 : icon + 1);
}

int IconIndexOf(const TComboBox* combo, int keep) { return combo->ItemIndex() < 0 ? keep : combo->ItemIndex() - 1; }

void DrawIconItem(TComboBox* combo, TImageList* images, int index, const TRect& rect) {
  if (index < 0) return;
  TCanvas* canvas = combo->Canvas();
  if (index == 0) {
    canvas->TextOut(rect.Left, rect.Top + 2, (*combo->Items())[0]);
    return;
  }
  if (!images || index > images->Count()) return;
  canvas->FillRect(rect);
  images->Draw(canvas, rect.Left + 16, rect.Top, index - 1, true);
}

void FillOrderList(TListBox* list, CRuleFolder* folder) {
  list->Items()->Clear();
  for (int i = 0; i < folder->Children.Count(); ++i)
    list->Items()->AddObject(folder->Children.Get(i)->Name, folder->Children.Get(i));
}

void OrderListMouseDown(TListBox* list, TMouseButton button, int x, int y) {
  if (button != mbLeft) return;
  const int i = list->ItemAtPos({x, y}, true);
  if (i < 0) return;
  list->Tag = i;
  list->BeginDrag(false);
}

void OrderListDragOver(TListBox* list, TObject* sender, TObject* source, int x, int y, TDragState state,
                       int& lastDragY, bool& accept) {
  accept = false;
  if (source != list || state == dsDragLeave) return;
  if (sender == list) {
    lastDragY = 0;
    accept = list->ItemAtPos({x, y}, true) >= 0;
    return;
  }
  // Outside the list: the pointer's height in the list's coordinates says where it is.
  const TPoint screen = static_cast<TControl*>(sender)->ClientToScreen({x, y});
  const int at = list->ScreenToClient(screen).y;
  if (lastDragY == 0) {
    lastDragY = at;
  } else if (lastDragY < 0) {
    if (at <= lastDragY - 3) {
      lastDragY = at;
      if (list->TopIndex() > 0) list->SetTopIndex(list->TopIndex() - 1);
    } else if (at > lastDragY) {
      lastDragY = at;
    }
  } else {
    if (at >= lastDragY + 3) {
      lastDragY = at;
      if (list->TopIndex() + list->VisibleLines() < list->Items()->Count()) list->SetTopIndex(list->TopIndex() + 1);
    } else if (at < lastDragY) {
      lastDragY = at;
    }
  }
}

void OrderListDragDrop(TListBox* list, TObject* sender, TObject* source, int x, int y) {
  if (sender != list || source != list) return;
  const int from = list->Tag;
  const int to = list->ItemAtPos({x, y}, true);
  if (to < 0 || from < 0 || from >= list->Items()->Count() || to == from) return;
  list->Items()->Move(from, to);
  list->SetItemIndex(to);
}
