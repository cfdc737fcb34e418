// The display-format dialog: edits the display columns of a folder (which items the record list
// shows, in which order, and how each is shown, sorted and edited), adds columns of related tables
// and extended items, and edits an extended item's name and expression.
//
// It works on copies: the item list and the candidate list own copies of the descriptors, and
// nothing reaches the folder until "更新", which makes the target list equal to the item list
// (same descriptors, same order) and counts one change. "閉じる" discards what was not written.
// The opener (CRuleFolder::EditCapInfo) sets Folder, the caption and UpdateCount, then calls
// SetCapInfoList with the display columns in effect. User-interface thread only.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Forms.h"
#include "platform/ListBox.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"

class CCapInfo;
class CCapInfoList;
class CRuleFolder;

class TFormCapEdit : public TForm {
 public:
  explicit TFormCapEdit(TComponent* owner);
  ~TFormCapEdit() override;

  // TargetList = list; the item list is filled with copies of its descriptors.
  void SetCapInfoList(CCapInfoList* list);
  void CapInfoToControls(const CCapInfo* info);
  // Writes the controls into info; nothing for none.
  void ControlsToCapInfo(CCapInfo* info);
  // Makes list hold the item list's descriptors in the item list's order (see the .cpp).
  void UpdateCapInfoList(CCapInfoList* list);

  void FormShow(TObject* sender);
  void CheckListBox1Click(TObject* sender);
  void Button3Click(TObject* sender);  // "更新"
  void Button4Click(TObject* sender);  // "閉じる"
  void Button5Click(TObject* sender);  // "拡張項目"
  void Button1Click(TObject* sender);  // "<==" and "==>"
  void ComboBox1Change(TObject* sender);
  void CheckListBox1KeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void CheckListBox1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void CheckListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void CheckListBox1DragDrop(TObject* sender, TObject* source, int x, int y);

  // The descriptor of an entry of the item list or the candidate list.
  CCapInfo* EntryInfo(int index) const;
  CCapInfo* CandidateInfo(int index) const;

  CRuleFolder* Folder = nullptr;       // the folder the command was given for, not owned
  CCapInfoList* TargetList = nullptr;  // the list "更新" writes, not owned
  CCapInfo* Current = nullptr;         // the entry the controls show, a copy of the item list
  int UpdateCount = 0;

  TLabel* Label1;  // "項目一覧"
  TCheckListBox* CheckListBox1;
  TPageControl* PageControl1;
  TTabSheet* TabSheet1;  // "検索表示"
  TTabSheet* TabSheet2;  // "他の表"
  TLabel* Label2;
  TEdit* Edit1;  // item name
  TLabel* Label3;
  TEdit* Edit2;  // heading
  TRadioGroup* RadioGroup6;  // editable
  TRadioGroup* RadioGroup5;  // borders
  TRadioGroup* RadioGroup7;  // thousands separators
  TLabel* Label4;
  TEdit* Edit3;
  TUpDown* UpDown1;  // width
  TRadioGroup* RadioGroup2;  // alignment
  TRadioGroup* RadioGroup1;  // ditto mark
  TEdit* Edit4;              // ditto mark text
  TRadioGroup* RadioGroup3;  // ascending
  TComboBox* ComboBox2;      // sort kind
  TRadioGroup* RadioGroup4;  // type
  TEdit* Edit6;
  TUpDown* UpDown2;  // decimals
  TLabel* Label6;    // "式"
  TMemo* Memo5;      // expression
  TComboBox* ComboBox1;  // related table or "__拡張項目__"
  TListBox* ListBox1;    // candidates
  TButton* Button1;      // "<=="
  TButton* Button2;      // "==>"
  TButton* Button5;      // "拡張項目"
  TButton* Button3;      // "更新"
  TButton* Button4;      // "閉じる"

 private:
  // Removes entry index of the item list and deletes its copy; the entry now at that index is
  // selected and shown when nothing else is.
  void RemoveEntry(int index);
  // Whether an entry of the item list has that item name.
  bool HasEntry(const AnsiString& name) const;
  void ClearCandidates();
  // Gives Folder copies of the display-format settings in effect and a copy of TargetList as its
  // own display columns, which becomes TargetList.
  void TakeOwnFormat();
  AnsiString EntryText(const AnsiString& name) const;
  // The selected entry becomes Current and is shown.
  void ChooseSelectedEntry();
  // A press on the item list ended, with a drop on target (none: a click or a drop elsewhere).
  void PressEnded(TObject* target);
  int LastDragY = 0;
  int dragFrom_ = -1;
  bool choosePending_ = false;  // an entry was pressed; it is chosen when the press ends
};
