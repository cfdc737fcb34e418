#include "views/SetLooksUnit.h"

namespace {

const char* const kSampleLines[] = {
    "ABCDEFG abcdefg",
    "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
    "あいうえおかきくけこさしすせそ",
    "アイウエオカキクケコサシスセソ",
    "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿ",
    "人間万事塞翁が馬",
};

// The look a target had, kept in a hidden label.
void Keep(TLabel* label, TColor color, const TFont& font) {
  label->SetColor(color);
  label->Font()->Assign(font);
}

}  // namespace

TSetLooksDlg::TSetLooksDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("外見の設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(297);
  SetClientHeight(310);

  PageControl1 = new TPageControl(this);
  PageControl1->SetParent(this);
  PageControl1->SetBounds(8, 8, 281, 257);
  auto page = [&](const char* caption) {
    auto* sheet = new TTabSheet(this);
    sheet->SetPageControl(PageControl1);
    sheet->SetCaption(Utf8ToSjis(caption));
    return sheet;
  };
  TabSheet1 = page("ツリー");
  TabSheet2 = page("リスト");
  TabSheet3 = page("検索条件図");
  TabSheet4 = page("その他");

  auto button = [&](TWinControl* parent, const char* caption, int top) {
    auto* b = new TButton(this);
    b->SetParent(parent);
    b->SetCaption(Utf8ToSjis(caption));
    b->SetBounds(8, top, 100, 25);
    return b;
  };
  auto panel = [&](TWinControl* parent, int top) {
    auto* p = new TPanel(this);
    p->SetParent(parent);
    p->SetBevelOuter(bvLowered);
    p->SetBounds(116, top, 145, 25);
    return p;
  };
  auto memo = [&](TWinControl* parent, int top, int height) {
    auto* m = new TMemo(this);
    m->SetParent(parent);
    m->SetBounds(8, top, 253, height);
    m->SetReadOnly(true);
    for (const char* line : kSampleLines) m->Lines()->Add(Utf8ToSjis(line));
    return m;
  };
  ColorBtn1 = button(TabSheet1, "色", 10);
  Panel1 = panel(TabSheet1, 10);
  FontBtn1 = button(TabSheet1, "フォント", 44);
  Memo1 = memo(TabSheet1, 78, 138);

  ColorBtn4 = button(TabSheet2, "見出しの色", 8);
  Panel4 = panel(TabSheet2, 8);
  ColorBtn5 = button(TabSheet2, "データの色１", 38);
  Panel5 = panel(TabSheet2, 38);
  ColorBtn6 = button(TabSheet2, "データの色２", 68);
  Panel6 = panel(TabSheet2, 68);
  FontBtn4 = button(TabSheet2, "フォント", 100);
  Memo4 = memo(TabSheet2, 132, 84);

  ColorBtn3 = button(TabSheet3, "色", 10);
  Panel3 = panel(TabSheet3, 10);
  FontBtn3 = button(TabSheet3, "フォント", 44);
  Memo3 = memo(TabSheet3, 78, 138);

  ColorBtn2 = button(TabSheet4, "色", 10);
  Panel2 = panel(TabSheet4, 10);
  FontBtn2 = button(TabSheet4, "フォント", 44);
  Memo2 = memo(TabSheet4, 78, 138);

  TLabel** labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
  for (TLabel** l : labels) {
    *l = new TLabel(this);
    (*l)->SetAutoSize(false);
    (*l)->SetVisible(false);
    (*l)->SetParent(this);
  }

  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption("OK");
  OKBtn->ModalResult = mrOk;
  OKBtn->Default = true;
  OKBtn->SetBounds(128, 277, 75, 25);
  CancelBtn = new TButton(this);
  CancelBtn->SetParent(this);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(214, 277, 75, 25);

  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->Options = cdFullOpen;
  FontDialog1 = new TFontDialog(this);

  for (TButton* b : {ColorBtn1, ColorBtn2, ColorBtn3, ColorBtn4, ColorBtn5, ColorBtn6})
    b->OnClick = [this](TObject* s) { ColorBtn1Click(s); };
  for (TButton* b : {FontBtn1, FontBtn2, FontBtn3, FontBtn4}) b->OnClick = [this](TObject* s) { FontBtn1Click(s); };
  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  CancelBtn->OnClick = [this](TObject* s) { CancelBtnClick(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TSetLooksDlg::~TSetLooksDlg() { Destroying(); }

void TSetLooksDlg::FormShow(TObject*) {
  changeCount_ = 0;
  if (FolderTree) Keep(Label1, FolderTree->Color(), *FolderTree->Font());
  if (MainForm) Keep(Label2, MainForm->Color(), *MainForm->Font());
  if (FlowBox) Keep(Label3, FlowBox->Color(), *FlowBox->Font());
  if (ListGrid) {
    Keep(Label4, ListGrid->FixedColor(), *ListGrid->Font());
    Label5->SetColor(ListGrid->Color());
    Label6->SetColor(ListGrid->StripeColor());
  }
  Panel1->SetColor(Label1->Color());
  Panel2->SetColor(Label2->Color());
  Panel3->SetColor(Label3->Color());
  Panel4->SetColor(Label4->Color());
  Panel5->SetColor(Label5->Color());
  Panel6->SetColor(Label6->Color());
  Memo1->Font()->Assign(*Label1->Font());
  Memo2->Font()->Assign(*Label2->Font());
  Memo3->Font()->Assign(*Label3->Font());
  Memo4->Font()->Assign(*Label4->Font());
}

void TSetLooksDlg::ColorBtn1Click(TObject* sender) {
  TPanel* const panels[] = {Panel1, Panel2, Panel3, Panel4, Panel5, Panel6};
  TButton* const buttons[] = {ColorBtn1, ColorBtn2, ColorBtn3, ColorBtn4, ColorBtn5, ColorBtn6};
  int k = 0;
  while (k < 6 && buttons[k] != sender) ++k;
  if (k == 6) return;
  ColorDialog1->Color = panels[k]->Color();
  if (!ColorDialog1->Execute()) return;
  const TColor color = ColorDialog1->Color;
  ++changeCount_;
  panels[k]->SetColor(color);
  switch (k) {
    case 0:
      if (FolderTree) FolderTree->SetColor(color);
      break;
    case 1:
      if (MainForm) {
        MainForm->SetColor(color);
        SetColorToChildren(MainForm, color);
      }
      break;
    case 2:
      if (FlowBox) FlowBox->SetColor(color);
      break;
    case 3:
      if (ListGrid) ListGrid->SetFixedColor(color);
      break;
    case 4:
      if (ListGrid) ListGrid->SetColor(color);
      break;
    case 5:
      if (ListGrid) ListGrid->SetStripeColor(color);
      break;
  }
}

void TSetLooksDlg::FontBtn1Click(TObject* sender) {
  TMemo* const memos[] = {Memo1, Memo2, Memo3, Memo4};
  TButton* const buttons[] = {FontBtn1, FontBtn2, FontBtn3, FontBtn4};
  int k = 0;
  while (k < 4 && buttons[k] != sender) ++k;
  if (k == 4) return;
  FontDialog1->Font()->Assign(*memos[k]->Font());
  if (!FontDialog1->Execute()) return;
  const TFont* font = FontDialog1->Font();
  ++changeCount_;
  memos[k]->Font()->Assign(*font);
  switch (k) {
    case 0:
      if (FolderTree) FolderTree->Font()->Assign(*font);
      break;
    case 1:
      if (MainForm) {
        MainForm->Font()->Assign(*font);
        SetFontToChildren(MainForm, font);
      }
      break;
    case 2:
      if (FlowBox) FlowBox->Font()->Assign(*font);
      break;
    case 3: SetGridFont(ListGrid, font); break;
  }
}

void TSetLooksDlg::CancelBtnClick(TObject*) {
  if (changeCount_ <= 0) return;
  changeCount_ = 0;
  if (FolderTree) {
    FolderTree->SetColor(Label1->Color());
    FolderTree->Font()->Assign(*Label1->Font());
  }
  if (MainForm) {
    MainForm->SetColor(Label2->Color());
    SetColorToChildren(MainForm, Label2->Color());
    MainForm->Font()->Assign(*Label2->Font());
    SetFontToChildren(MainForm, Label2->Font());
  }
  if (FlowBox) {
    FlowBox->SetColor(Label3->Color());
    FlowBox->Font()->Assign(*Label3->Font());
  }
  if (ListGrid) {
    ListGrid->SetFixedColor(Label4->Color());
    ListGrid->SetColor(Label5->Color());
    ListGrid->SetStripeColor(Label6->Color());
    SetGridFont(ListGrid, Label4->Font());
  }
}

void TSetLooksDlg::FormClose(TObject* sender, TCloseAction& action) {
  if (ModalResult() != mrOk) CancelBtnClick(sender);
  action = caHide;
}

// ---- Appearance functions ----

namespace {

// How a child of the container takes a colour or a font: not at all, itself only, its own
// children only, or both.
enum Reach { kNone = 0, kSelf = 1, kChildren = 2 };

int ReachOf(const TControl* c) {
  const AnsiString name = c->ClassName();
  if (name == "TPanel" || name == "TMenuBar" || name == "TToolBar" || name == "TScrollBox" || name == "TStatusBar")
    return kSelf;
  if (name == "TTabControl") return kChildren;
  if (name == "TCoolBar") return kSelf | kChildren;
  return kNone;
}

template <class Apply>
void ToChildren(TWinControl* container, const Apply& apply) {
  if (!container) return;
  for (int i = 0; i < container->ControlCount(); ++i) {
    TControl* child = container->Controls(i);
    const int reach = ReachOf(child);
    if (reach & kSelf) apply(child);
    if (reach & kChildren) ToChildren(dynamic_cast<TWinControl*>(child), apply);
  }
}

}  // namespace

void SetColorToChildren(TWinControl* container, TColor color) {
  ToChildren(container, [color](TControl* c) { c->SetColor(color); });
}

void SetFontToChildren(TWinControl* container, const TFont* font) {
  if (!font) return;
  ToChildren(container, [font](TControl* c) { c->Font()->Assign(*font); });
}

void SetGridFont(TStringGridEx* grid, const TFont* font) {
  if (!grid || !font) return;
  grid->SetDefaultRowHeight(font->Size() * 17 / 9);
  grid->Font()->Assign(*font);
  for (int col = 0; col < grid->ColCount() && col < grid->GridColumns()->Count(); ++col) {
    TGridColumn* column = grid->GridColumns()->Items(col);
    column->SetFont(*font);
    column->SetFixCellFont(*font);
  }
}
