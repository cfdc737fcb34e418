// The base of the folder dialogs (heading, condition and enumeration folders). It holds every
// control and does all the reading from and writing to the folder definition; the derived forms
// choose the kind, show or hide controls and add the condition diagram.
//
// The openers create a dialog, set EditMode (0: make a sub-folder of Folder, 1: edit Folder), call
// SetFolder, run it modally and read UpdateCount: how many folders the dialog wrote (0 or 1). The
// folder is written only by the first button, once, just before the dialog closes.
//
// The folder-icon combos and the sub-folder order list follow the conventions every folder and
// table dialog shares; the helpers below serve them all. User-interface thread only.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Forms.h"
#include "platform/ListBox.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"

class CRuleFolder;
class TImageList;

// ---- Folder icons in an owner-drawn combo ----
// Item 0 "省略値" stands for -1 (the parent's icon), item k for icon k - 1 of the list.

// Makes combo an owner-drawn list of 16-pixel items, twelve dropped down, holding "省略値".
void InitFolderIconCombo(TComboBox* combo);
// Empties combo and fills it with "省略値" and one item per icon of images.
void FillFolderIconCombo(TComboBox* combo, const TImageList* images);
// Draws item index of combo on its canvas: "省略値" for 0, icon index - 1 for the others.
void DrawFolderIconItem(TComboBox* combo, const TImageList* images, int index, const TRect& rect);
// Selects the item that shows icon (item 0 for a negative index); none when the combo holds no
// such item.
void ShowFolderIcon(TComboBox* combo, int icon);
// The icon index the chosen item stands for; keep when no item is chosen (an icon the combo could
// not show stays as it was).
int ChosenFolderIcon(const TComboBox* combo, int keep);

// ---- Lists reordered by dragging ----

// The automatic scroll while an entry of list is dragged outside it, over the label or the form:
// y is the pointer's vertical position in the list's coordinates; lastY is the position of the
// last step, 0 when none yet. A move of at least 3 pixels away from the list scrolls one line.
void AutoScrollDraggedList(TListBox* list, int y, int& lastY);
// The pointer position (x, y) of a drag event of sender in list's coordinates.
TPoint DragPointIn(TListBox* list, TObject* sender, int x, int y);
// Moves the entry at from to the entry under (x, y) of list and selects it; false, changing
// nothing, for a drop on the dragged entry itself or outside any entry.
bool DropDraggedEntry(TListBox* list, int from, int x, int y);

// ---- Building the dialogs' controls ----

// A control made with owner and placed on parent.
template <class T>
T* NewControl(TComponent* owner, TWinControl* parent) {
  auto* control = new T(owner);
  control->SetParent(parent);
  return control;
}
TLabel* NewLabel(TComponent* owner, TWinControl* parent, const char* caption);
// An up-down over min..max at position that shows its number in edit (placed by the caller).
TUpDown* NewUpDown(TComponent* owner, TWinControl* parent, TEdit* edit, int min, int max, int position);

// ---- The form ----

class TFolForm : public TForm {
 public:
  explicit TFolForm(TComponent* owner);
  ~TFolForm() override;

  // Fills the dialog from folder (see the openers above); UpdateCount becomes 0.
  void SetFolder(CRuleFolder* folder);
  // Binds the icon list and fills both icon combos; none changes nothing.
  void SetImageList(TImageList* list);
  // Fills the enumeration items, the groups and the sub-folder order list.
  void SetFolderLists(CRuleFolder* folder);
  // Disables a control for each set bit: 0x1 name, 0x2 kind, 0x4 Edit2, 0x8 enumeration item,
  // 0x10 string length, 0x20 maximum enumeration count, 0x40 maximum search count, 0x80 group,
  // 0x100 sub-folder order.
  void SetLockMask(int mask);
  // Writes the controls into target and counts the write.
  void UpdateFolder(CRuleFolder* target);

  void FormShow(TObject* sender);
  void Button1Click(TObject* sender);
  void Button2Click(TObject* sender);
  void ImageCBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState state);
  void ListBox1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void ListBox1DragDrop(TObject* sender, TObject* source, int x, int y);

  int EditMode = 0;
  int UpdateCount = 0;
  CRuleFolder* Folder = nullptr;  // not owned

  TPageControl* PageControl1;
  TTabSheet* TabSheet1;  // "一般"
  TTabSheet* TabSheet2;  // "処理"
  TLabel* Label1;
  TEdit* Edit1;  // name
  TRadioGroup* RadioGroup1;  // kind, hidden
  TLabel* Label2;
  TEdit* Edit2;  // hidden
  TRadioGroup* RadioGroup2;  // hidden
  TLabel* Label4;  // hidden
  TLabel* Label3;
  TComboBox* ComboBox1;  // enumeration item
  TLabel* Label5;
  TEdit* Edit3;
  TUpDown* UpDown1;  // string length
  TLabel* Label6;
  TEdit* Edit4;
  TUpDown* UpDown2;  // maximum enumeration count
  TLabel* Label7;
  TEdit* Edit5;
  TUpDown* UpDown3;  // maximum search count
  TLabel* Label9;
  TComboBox* ComboBox2;  // group, hidden
  TLabel* Label10;
  TComboBox* Image0CB;  // closed icon
  TLabel* Label11;
  TComboBox* Image1CB;  // open icon
  TLabel* Label8;
  TListBox* ListBox1;  // sub-folder order
  TLabel* Label12;
  TEdit* Edit6;  // command name
  TLabel* Label13;
  TMemo* Memo1;  // description
  TLabel* Label14;
  TMemo* Memo2;  // script
  TGroupBox* GroupBox1;  // "実行場面"
  TCheckBox* CheckBox1;
  TCheckBox* CheckBox2;
  TCheckBox* CheckBox3;
  TRadioGroup* RadioGroup3;  // command target
  TButton* Button1;
  TButton* Button2;

 protected:
  // Lays the form out for a client area of width by height: the visible rows of the page "一般"
  // stacked from the top, the order list beside them, the page "処理" and the buttons. The rows
  // end at topHeight at least; the rest of the page is left to the derived form (its diagram).
  // Answers where the free part of the page "一般" begins.
  int Arrange(int width, int height, int topHeight);
  // Writes the folder: in create mode into a new sub-folder of Folder, in edit mode into Folder.
  // The folder written, or none when no sub-folder could be made.
  CRuleFolder* StoreFolder();

 private:
  TImageList* ImageList = nullptr;  // not owned
  int LastDragY = 0;
  // Icons as the folder held them when the dialog was filled: kept for an icon the combos cannot
  // show.
  int shownClosed_ = -1, shownOpen_ = -1;
};
