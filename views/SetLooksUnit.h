// The appearance dialog and the functions that apply a colour or a font the way the whole program
// does.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Memo.h"
#include "views/StringGridEx.h"

// "外見の設定": colours and fonts of the main window's folder tree, record list grid, condition
// diagram and of the window itself. Every choice shows on its target at once; leaving the dialog
// any way but OK puts back what was there when it opened. The caller sets the targets (a null
// target is skipped), shows the dialog modally and reads GetLooksChangeCount.
class TSetLooksDlg : public TForm {
 public:
  explicit TSetLooksDlg(TComponent* owner);
  ~TSetLooksDlg() override;

  // Choices confirmed since the dialog was shown (0 after a cancel).
  int GetLooksChangeCount() const { return changeCount_; }

  // The targets, not owned. The tree and the diagram are reached through their colour and font.
  TWinControl* MainForm = nullptr;
  TWinControl* FolderTree = nullptr;
  TStringGridEx* ListGrid = nullptr;
  TWinControl* FlowBox = nullptr;

  TButton* OKBtn;
  TButton* CancelBtn;
  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4;
  TButton *ColorBtn1, *ColorBtn2, *ColorBtn3, *ColorBtn4, *ColorBtn5, *ColorBtn6;
  TPanel *Panel1, *Panel2, *Panel3, *Panel4, *Panel5, *Panel6;
  TButton *FontBtn1, *FontBtn2, *FontBtn3, *FontBtn4;
  TMemo *Memo1, *Memo2, *Memo3, *Memo4;
  // What the targets had when the dialog was shown.
  TLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
  TColorDialog* ColorDialog1;
  TFontDialog* FontDialog1;

  void FormShow(TObject* sender);
  void ColorBtn1Click(TObject* sender);  // every colour button
  void FontBtn1Click(TObject* sender);   // every font button
  void OKBtnClick(TObject* sender) {}
  void CancelBtnClick(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);

 private:
  int changeCount_ = 0;
};

// Gives the colour (or a copy of the font) to the container's direct children whose class is
// exactly TPanel, TMenuBar, TToolBar, TScrollBox or TStatusBar, and to TCoolBar children, whose
// children get it as well; a TTabControl child is passed on to its own children.
void SetColorToChildren(TWinControl* container, TColor color);
void SetFontToChildren(TWinControl* container, const TFont* font);
// The grid's default row height becomes the font's point size x 17 / 9, and the grid and every
// column's cell and fixed-cell fonts take copies of the font.
void SetGridFont(TStringGridEx* grid, const TFont* font);
