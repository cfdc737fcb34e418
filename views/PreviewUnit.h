// The print preview window: shows the pages of any printer of the grid-printer family as a
// picture, pages through them, changes the paper's orientation, the print scale, the margins (by
// dragging the dotted guide lines) and, for cards, the split of a page, skipped slots and copies,
// and prints. It reaches the printer only through the printer family's five virtual operations
// and public properties. Made per use, given a printer, shown modally and freed by its creator;
// the printer keeps what was set here.
#pragma once

#include <memory>

#include "platform/Buttons.h"
#include "platform/ExtCtrls.h"
#include "platform/PrintDialogs.h"
#include "platform/UpDown.h"
#include "views/KGridPr.h"

class TPreviewForm : public TForm {
 public:
  explicit TPreviewForm(TComponent* owner);
  ~TPreviewForm() override;

  TScrollBox* ScrollBox1;
  TPaintBox* PaintBox1;
  TPanel* Panel1;
  TButton* PrintBtn;
  TButton* PrintSetup;
  TButton* CloseBtn;
  TPanel* Panel2;
  TSpeedButton* PortraitBtn;
  TSpeedButton* LandscapeBtn;
  TPanel* Panel3;
  TEdit* PagenumEdit;
  TUpDown* PagenumUD;
  TPanel* Panel4;
  TComboBox* ScaleBox;
  TPanel* Panel1B;
  TPanel* SplitXPanel;
  TEdit* SplitXEdit;
  TUpDown* SplitXUD;
  TPanel* SplitYPanel;
  TEdit* SplitYEdit;
  TUpDown* SplitYUD;
  TPanel* SkipPanel;
  TEdit* SkipEdit;
  TUpDown* SkipUD;
  TPanel* RepeatPanel;
  TEdit* RepeatEdit;
  TUpDown* RepeatUD;
  TPrintDialog* PrintDialog;
  TPrinterSetupDialog* PrinterSetupDialog;

  // The printer to preview; set by the creator before showing (not owned).
  TKelmGridPr* GridPr = nullptr;

  // The window is never smaller than 730 x 256.
  void SetBounds(int left, int top, int width, int height) override;
  // Shows or hides the card settings (the second tool panel).
  void SetCardPanelVisible(bool visible);
  // The printer's margins, orientation, scale, split, skip and repeat as the comma text of ten
  // integers ("" without a printer).
  AnsiString GetPrintSettings() const;
  // Sets the printer's values for the positions the text holds; a value that is not an integer
  // takes its position's default (10, 10, 10, 10, 0, 100, 1, 1, 0, 1). An empty text changes
  // nothing.
  void SetPrintSettings(const AnsiString& text);
  // Paginates again and shows the first page.
  void RefreshPreview();

  // The guide line under a point of the paint box: 0 left, 1 right, 2 top, 3 bottom, -1 none.
  int HitLine(int x, int y) const;
  // The page as shown (null before the window is shown).
  const TBitmap* PageBitmap() const { return bitmap_.get(); }
  static constexpr int kBorder = 8;

 private:
  struct Line {
    int x1, y1, x2, y2;
    bool Vertical() const { return x1 == x2; }
  };
  void FormShow();
  void PaintBox1Paint();
  void PaintBox1MouseDown(TMouseButton button, int x, int y);
  void PaintBox1MouseMove(int x, int y);
  void PaintBox1MouseUp(int x, int y);
  void MouseWheel(int delta, bool& handled);
  void PagenumEditChange();
  void OrientationClick();
  void PrintBtnClick();
  void ComputeLines();
  // Draws the dragged line (inverting what is under it) at its position.
  void DrawDragLine();
  void EndDrag();
  TPrinter* SystemPrinter() const { return GridPr ? GridPr->GetPrinter() : Printer(); }

  std::unique_ptr<TBitmap> bitmap_;
  Line lines_[4] = {};
  int hover_ = -1;
  int drag_ = -1;
  TPoint dragStart_, dragLast_;
  int dragPos_ = 0;  // where the dragged line is drawn: x for left and right, y for top and bottom
  bool updating_ = false;
};
