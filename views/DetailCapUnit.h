// "明細表示設定": which record columns the detail grids of a summary card show, and the detail
// grid's colours, font, position and size, changed live on the card's grid while the dialog is
// open. Each up-down keeps in its Tag the position it last applied. Cancel (or the close box) puts the grid back as it was and leaves the columns alone.
//
// Calling order: constructor, SetFolder, SetColumns, SetGrid, ShowModal; after OK ApplyChecks;
// then the caller frees the dialog. User-interface thread only.
#pragma once

#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/ListBox.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"
#include "views/StringGridEx.h"

class CCandSource;
class CCapInfoList;

class TDetailCapDlg : public TForm {
 public:
  explicit TDetailCapDlg(TComponent* owner);
  ~TDetailCapDlg() override;

  // The folder whose table name is left out of the column names shown (not owned, may be null).
  void SetFolder(CCandSource* folder) { folder_ = folder; }
  // The summary's source columns (not owned): one checked line per column the detail grid shows.
  void SetColumns(CCapInfoList* columns);
  // The detail grid to style (not owned, may be null: then nothing is styled); its look is kept
  // for Cancel.
  void SetGrid(TStringGridEx* grid);
  // Writes the check marks into the descriptors: from now on each decides its detail-grid
  // visibility apart from the record grid's shown columns. Returns the number of lines.
  int ApplyChecks();
  void ShowBounds();

  TLabel* Label1;
  TCheckListBox* CheckListBox1;
  TPanel *ColorPanel1, *ColorPanel2, *ColorPanel3;
  TButton* FontBtn;
  TBevel *Bevel2, *Bevel3;
  TLabel* PosiLabel;
  TUpDown *UpDown1, *UpDown2;
  TLabel* SizeLabel;
  TUpDown *UpDown3, *UpDown4;
  TLabel* Label4;
  TLabel* SaveLb;  // hidden: the grid's font, colour and bounds when it was given
  TButton* OKBtn;
  TButton* CancelBtn;
  TColorDialog* ColorDialog1;
  TFontDialog* FontDialog1;

  void FormShow(TObject* sender);
  void FormClose(TObject* sender, TCloseAction& action);
  void ColorPanel1Click(TObject* sender);  // every colour panel
  void FontBtnClick(TObject* sender);
  void UpDown1Click(TObject* sender, TUDBtnType button);  // position: UpDown1 and UpDown2
  void UpDown3Click(TObject* sender, TUDBtnType button);  // size: UpDown3 and UpDown4

 private:
  // The end of a drag of the place handle (the grid is kept reachable) and of the size handle
  // (the grid keeps a size it can be grabbed by).
  void PosiReleased();
  void SizeReleased();
  // Moves and sizes the grid by the steps, then shows its bounds.
  void MoveGrid(int dx, int dy, int dw, int dh);

  CCandSource* folder_ = nullptr;
  CCapInfoList* columns_ = nullptr;
  TStringGridEx* grid_ = nullptr;
  TColor savedStripe_ = clWindow, savedFixed_ = clBtnFace;
  int savedRowHeight_ = 0;
  bool fontChanged_ = false;  // the font button changed the grid's font (and its row height)
};
