// The condition-folder dialog: the base form with a condition diagram, edited through its popup
// menu and the single-comparison dialog. The enumeration-folder dialog derives from it.
//
// "更新" writes the diagram's condition. A condition the user did not change in the diagram is
// written back exactly as the folder held it: the diagram rebuilds its text from the tree it
// read, and a rebuilt text (other blanks, parentheses dropped) must not replace the stored one.
#pragma once

#include <functional>

#include "folders/FlowBox.h"
#include "folders/RuleFolForm.h"
#include "platform/Menus.h"

// Makes the single-comparison dialog that a folder dialog keeps for its diagram's commands
// (owner: the folder dialog, which frees it): a TCondDlg unless a test puts a stand-in here; while
// it is unset the commands that need the dialog do nothing.
extern std::function<TFlowCondDialog*(TComponent* owner)> MakeFolderCondDialog;

class TFolLogiDlg : public TFolForm {
 public:
  explicit TFolLogiDlg(TComponent* owner);
  ~TFolLogiDlg() override;

  void FormShow(TObject* sender);
  void Button1Click(TObject* sender);
  void ScrollBox1DblClick(TObject* sender);
  void ComboBox1Change(TObject* sender);
  void MenuItem1Click(TObject* sender);  // "編集"
  void MenuItem2Click(TObject* sender);  // "AND条件追加"
  void MenuItem3Click(TObject* sender);  // "OR条件追加"
  void MenuItem4Click(TObject* sender);  // "削除"
  void MenuItem5Click(TObject* sender);  // "条件の反転"
  void MenuItem6Click(TObject* sender);  // "条件のコピー"
  void MenuIte7Click(TObject* sender);   // "条件の貼り付け"

  TLabel* Label15;  // "検索条件図" / "列挙時条件図"
  TFlowBox* FlowBox;
  TPopupMenu* PopupMenu1;
  TMenuItem* MenuItem1;
  TMenuItem* MenuItem2;
  TMenuItem* MenuItem3;
  TMenuItem* MenuItem4;
  TMenuItem* N2;
  TMenuItem* MenuItem5;
  TMenuItem* MenuItem6;
  TMenuItem* MenuIte7;
  TFlowCondDialog* CondDlg = nullptr;  // kept for every edit, so each run starts with the last inputs
  AnsiString LastItemName;

 protected:
  // Lays the form out for a client area of width by height, the diagram below the rows.
  void ArrangeWithDiagram(int width, int height);

 private:
  // The condition to store: the folder's own text while the diagram still shows what it read.
  AnsiString DiagramCondition() const;
  AnsiString readCondition_;   // the folder's condition as loaded into the diagram
  AnsiString readDiagram_;     // the diagram's text right after loading it
  bool loaded_ = false;
};
