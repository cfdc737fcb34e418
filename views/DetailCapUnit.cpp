#include "views/DetailCapUnit.h"

#include "foundation/CapInfo.h"
#include "query/CondText.h"
#include "views/CandUnit.h"
#include "views/CvStrGrid.h"
#include "views/HandleDrag.h"
#include "views/SetLooksUnit.h"

namespace {

// The smallest width and height a released grid keeps, and how much of it stays reachable.
constexpr int kMinExtent = 4;

}  // namespace

TDetailCapDlg::TDetailCapDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("明細表示設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(372);
  SetClientHeight(340);

  auto label = [&](const char* caption, int left, int top) {
    auto* l = new TLabel(this);
    l->SetParent(this);
    l->SetCaption(Utf8ToSjis(caption));
    l->SetBounds(left, top, l->Width(), l->Height());
    return l;
  };
  Label1 = label("項目一覧", 8, 8);
  CheckListBox1 = new TCheckListBox(this);
  CheckListBox1->SetParent(this);
  CheckListBox1->SetBounds(8, 26, 184, 306);

  auto colorPanel = [&](const char* caption, int top) {
    auto* p = new TPanel(this);
    p->SetParent(this);
    p->SetCaption(Utf8ToSjis(caption));
    p->SetBevelOuter(bvLowered);
    p->SetBounds(204, top, 160, 25);
    p->SetCursor(crHandPoint);
    p->OnClick = [this](TObject* s) { ColorPanel1Click(s); };
    return p;
  };
  ColorPanel1 = colorPanel("見出しの色", 26);
  ColorPanel2 = colorPanel("データの色1", 58);
  ColorPanel3 = colorPanel("データの色2", 90);
  FontBtn = new TButton(this);
  FontBtn->SetParent(this);
  FontBtn->SetCaption(SJ("フォント"));
  FontBtn->SetBounds(204, 122, 160, 25);
  FontBtn->OnClick = [this](TObject* s) { FontBtnClick(s); };

  // Two framed rows: a drag handle, an up-down for the vertical and one for the horizontal.
  auto frame = [&](int top) {
    auto* b = new TBevel(this);
    b->SetParent(this);
    b->SetBounds(204, top, 160, 52);
    return b;
  };
  auto upDown = [&](TUDOrientation orientation, int left, int top, int width, int height) {
    auto* u = new TUpDown(this);
    u->SetParent(this);
    u->SetOrientation(orientation);
    u->SetMin(-999);
    u->SetMax(999);
    u->SetPosition(0);
    u->SetBounds(left, top, width, height);
    return u;
  };
  Bevel2 = frame(158);
  PosiLabel = label("位置", 218, 176);
  PosiLabel->SetCursor(crSizeAll);
  UpDown1 = upDown(udVertical, 286, 162, 17, 44);
  UpDown2 = upDown(udHorizontal, 312, 174, 40, 20);
  Bevel3 = frame(216);
  SizeLabel = label("大きさ", 218, 234);
  SizeLabel->SetCursor(crSizeAll);
  UpDown3 = upDown(udVertical, 286, 220, 17, 44);
  UpDown4 = upDown(udHorizontal, 312, 232, 40, 20);

  Label4 = new TLabel(this);
  Label4->SetParent(this);
  Label4->SetAutoSize(false);
  Label4->SetAlignment(taRightJustify);
  Label4->SetBounds(204, 276, 160, 16);
  SaveLb = new TLabel(this);
  SaveLb->SetParent(this);
  SaveLb->SetAutoSize(false);
  SaveLb->SetVisible(false);

  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption("OK");
  OKBtn->ModalResult = mrOk;
  OKBtn->Default = true;
  OKBtn->SetBounds(208, 307, 75, 25);
  CancelBtn = new TButton(this);
  CancelBtn->SetParent(this);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(289, 307, 75, 25);

  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->Options = cdFullOpen;
  FontDialog1 = new TFontDialog(this);

  UpDown1->OnButtonClick = UpDown2->OnButtonClick = [this](TObject* s, TUDBtnType b) { UpDown1Click(s, b); };
  UpDown3->OnButtonClick = UpDown4->OnButtonClick = [this](TObject* s, TUDBtnType b) { UpDown3Click(s, b); };
  const auto active = [this] { return grid_ != nullptr; };
  FollowHandleDrags(
      PosiLabel, this, active, [this](int dx, int dy) { MoveGrid(dx, dy, 0, 0); }, [this] { PosiReleased(); });
  FollowHandleDrags(
      SizeLabel, this, active, [this](int dx, int dy) { MoveGrid(0, 0, dx, dy); }, [this] { SizeReleased(); });
  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TDetailCapDlg::~TDetailCapDlg() { Destroying(); }

// ---- Columns ----

void TDetailCapDlg::SetColumns(CCapInfoList* columns) {
  columns_ = columns;
  CheckListBox1->Clear();
  if (!columns) return;
  const AnsiString table = folder_ ? folder_->GetEditTableName() : AnsiString();
  for (int i = 0; i < columns->Count(); ++i) {
    CCapInfo* info = columns->GetItem(i);
    const int line = CheckListBox1->Items()->AddObject(UnqualifyColumnName(table, info->Name), info);
    CheckListBox1->SetChecked(line, TCvStrGrid::IsVisibleColumn(info));
  }
}

int TDetailCapDlg::ApplyChecks() {
  TStrings* items = CheckListBox1->Items();
  for (int i = 0; i < items->Count(); ++i) {
    auto* info = static_cast<CCapInfo*>(items->Objects(i));
    if (!info) continue;
    info->Flags |= CI_DETAIL_OWN;
    if (CheckListBox1->Checked(i))
      info->Flags |= CI_DETAIL_SHOWN;
    else
      info->Flags &= ~CI_DETAIL_SHOWN;
  }
  return items->Count();
}

// ---- The grid's look ----

void TDetailCapDlg::SetGrid(TStringGridEx* grid) {
  grid_ = grid;
  if (!grid) return;
  SaveLb->Font()->Assign(*grid->Font());
  SaveLb->SetColor(grid->Color());
  SaveLb->SetBounds(grid->Left(), grid->Top(), grid->Width(), grid->Height());
  savedRowHeight_ = grid->DefaultRowHeight();
  savedStripe_ = grid->StripeColor();
  savedFixed_ = grid->FixedColor();
  fontChanged_ = false;
}

void TDetailCapDlg::ShowBounds() {
  Label4->SetCaption(grid_ ? Format("X=%d Y=%d W=%d H=%d", grid_->Left(), grid_->Top(), grid_->Width(), grid_->Height())
                           : AnsiString());
}

void TDetailCapDlg::FormShow(TObject*) {
  for (TUpDown* u : {UpDown1, UpDown2, UpDown3, UpDown4}) u->Tag = u->Position();
  if (grid_) {
    ColorPanel1->SetColor(grid_->FixedColor());
    ColorPanel2->SetColor(grid_->Color());
    ColorPanel3->SetColor(grid_->StripeColor());
  }
  ShowBounds();
}

void TDetailCapDlg::FormClose(TObject*, TCloseAction& action) {
  if (ModalResult() == mrCancel && grid_) {
    // A font change also set the row height and the columns' fonts: they go back with it.
    if (fontChanged_) {
      SetGridFont(grid_, SaveLb->Font());
      grid_->SetDefaultRowHeight(savedRowHeight_);
      fontChanged_ = false;
    }
    grid_->Font()->Assign(*SaveLb->Font());
    grid_->SetColor(SaveLb->Color());
    grid_->SetBounds(SaveLb->Left(), SaveLb->Top(), SaveLb->Width(), SaveLb->Height());
    grid_->SetStripeColor(savedStripe_);
    grid_->SetFixedColor(savedFixed_);
  }
  action = caHide;
}

void TDetailCapDlg::ColorPanel1Click(TObject* sender) {
  if (!grid_) return;
  auto* panel = dynamic_cast<TPanel*>(sender);
  if (panel != ColorPanel1 && panel != ColorPanel2 && panel != ColorPanel3) return;
  ColorDialog1->Color = panel == ColorPanel1   ? grid_->FixedColor()
                        : panel == ColorPanel2 ? grid_->Color()
                                               : grid_->StripeColor();
  if (!ColorDialog1->Execute()) return;
  const TColor color = ColorDialog1->Color;
  if (panel == ColorPanel1)
    grid_->SetFixedColor(color);
  else if (panel == ColorPanel2)
    grid_->SetColor(color);
  else
    grid_->SetStripeColor(color);
  panel->SetColor(color);
}

void TDetailCapDlg::FontBtnClick(TObject*) {
  if (!grid_) return;
  FontDialog1->Font()->Assign(*grid_->Font());
  if (!FontDialog1->Execute()) return;
  SetGridFont(grid_, FontDialog1->Font());
  fontChanged_ = true;
}

// ---- Position and size ----

void TDetailCapDlg::MoveGrid(int dx, int dy, int dw, int dh) {
  grid_->SetBounds(grid_->Left() + dx, grid_->Top() + dy, grid_->Width() + dw, grid_->Height() + dh);
  ShowBounds();
}

void TDetailCapDlg::UpDown1Click(TObject* sender, TUDBtnType) {
  auto* u = dynamic_cast<TUpDown*>(sender);
  if (!grid_ || (u != UpDown1 && u != UpDown2)) return;
  const int d = u->Position() - static_cast<int>(u->Tag);
  if (d == 0) return;
  // The up arrow of the vertical one moves the grid up.
  if (u == UpDown1)
    MoveGrid(0, -d, 0, 0);
  else
    MoveGrid(d, 0, 0, 0);
  u->Tag = u->Position();
}

void TDetailCapDlg::UpDown3Click(TObject* sender, TUDBtnType) {
  auto* u = dynamic_cast<TUpDown*>(sender);
  if (!grid_ || (u != UpDown3 && u != UpDown4)) return;
  const int d = u->Position() - static_cast<int>(u->Tag);
  if (d == 0) return;
  // The up arrow of the vertical one makes the grid shorter.
  if (u == UpDown3)
    MoveGrid(0, 0, 0, -d);
  else
    MoveGrid(0, 0, d, 0);
  u->Tag = u->Position();
}

void TDetailCapDlg::PosiReleased() {
  // The grid stays where it can be reached again.
  if (grid_->Left() + grid_->Width() < kMinExtent) grid_->SetLeft(0);
  if (grid_->Top() + grid_->Height() < kMinExtent) grid_->SetTop(0);
  ShowBounds();
}

void TDetailCapDlg::SizeReleased() {
  if (grid_->Width() < kMinExtent) grid_->SetWidth(kMinExtent);
  if (grid_->Height() < kMinExtent) grid_->SetHeight(kMinExtent);
  ShowBounds();
}
