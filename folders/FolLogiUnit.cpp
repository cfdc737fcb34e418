#include "folders/FolLogiUnit.h"

#include <algorithm>

#include "folders/CondUnit.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"

std::function<TFlowCondDialog*(TComponent* owner)> MakeFolderCondDialog = [](TComponent* owner) {
  return new TCondDlg(owner);
};

TFolLogiDlg::TFolLogiDlg(TComponent* owner) : TFolForm(owner) {
  SetCaption(SJ("条件フォルダ"));
  SetBorderStyle(bsSizeable);
  RadioGroup1->SetItemIndex(FOLDER_CONDITION);
  for (TControl* c : std::initializer_list<TControl*>{Label3, ComboBox1, Label5, Edit3, UpDown1, Label6, Edit4, UpDown2})
    c->SetVisible(false);

  PopupMenu1 = new TPopupMenu(this);
  auto item = [&](const char* caption, void (TFolLogiDlg::*handler)(TObject*)) {
    auto* menuItem = new TMenuItem(this);
    menuItem->SetCaption(Utf8ToSjis(caption));
    if (handler) menuItem->OnClick = [this, handler](TObject* s) { (this->*handler)(s); };
    PopupMenu1->Items()->Add(menuItem);
    return menuItem;
  };
  MenuItem1 = item("編集", &TFolLogiDlg::MenuItem1Click);
  MenuItem2 = item("AND条件追加", &TFolLogiDlg::MenuItem2Click);
  MenuItem3 = item("OR条件追加", &TFolLogiDlg::MenuItem3Click);
  MenuItem4 = item("削除", &TFolLogiDlg::MenuItem4Click);
  N2 = item("-", nullptr);
  MenuItem5 = item("条件の反転", &TFolLogiDlg::MenuItem5Click);
  MenuItem6 = item("条件のコピー", &TFolLogiDlg::MenuItem6Click);
  MenuIte7 = item("条件の貼り付け", &TFolLogiDlg::MenuIte7Click);

  Label15 = new TLabel(this);
  Label15->SetParent(TabSheet1);
  Label15->SetCaption(SJ("検索条件図"));
  // The diagram takes the place, menu and double click of a placeholder laid out with the page.
  auto* holder = new TScrollBox(this);
  holder->Name = "ScrollBox1";
  holder->SetParent(TabSheet1);
  holder->SetColor(clWindow);
  holder->SetPopupMenu(PopupMenu1);
  holder->OnDblClick = [this](TObject* s) { ScrollBox1DblClick(s); };
  FlowBox = new TFlowBox(this);
  FlowBox->Assign(holder);
  delete holder;

  if (MakeFolderCondDialog) CondDlg = MakeFolderCondDialog(this);

  ArrangeWithDiagram(543, 373);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

TFolLogiDlg::~TFolLogiDlg() {
  Destroying();
  delete CondDlg;
}

void TFolLogiDlg::ArrangeWithDiagram(int width, int height) {
  const int top = Arrange(width, height, 140);
  const int pageWidth = PageControl1->ClientWidth();
  const int pageHeight = PageControl1->ClientHeight();
  Label15->SetBounds(8, top, Label15->Width(), Label15->Height());
  FlowBox->SetBounds(8, top + 16, pageWidth - 16, std::max(40, pageHeight - top - 16 - 8));
}

void TFolLogiDlg::FormShow(TObject* sender) {
  TFolForm::FormShow(sender);
  if (!Folder) return;
  if (CondDlg) CondDlg->SetFieldList(*ComboBox1->Items(), ComboBox1->Text());
  if (EditMode == 1) {
    FlowBox->SetExpression(Folder->Condition);
    readCondition_ = Folder->Condition;
    readDiagram_ = FlowBox->GetExpression();
    loaded_ = true;
  }
  LastItemName = GetFieldPart(ComboBox1->Text());

  // The diagram grows with the form.
  SetClientWidth(PageControl1->Width());
  SetClientHeight(Button1->Top() + Button1->Height() + 4);
  PageControl1->SetAnchors(akLeft | akTop | akRight | akBottom);
  FlowBox->SetAnchors(akLeft | akTop | akRight | akBottom);
  Button1->SetAnchors(akLeft | akBottom);
  Button2->SetAnchors(akLeft | akBottom);
  Constraints.MinWidth = 500;
  Constraints.MinHeight = 300;
}

AnsiString TFolLogiDlg::DiagramCondition() const {
  const AnsiString shown = FlowBox->GetExpression();
  return loaded_ && shown == readDiagram_ ? readCondition_ : shown;
}

void TFolLogiDlg::Button1Click(TObject*) {
  if (ModalResult() != mrNone) return;
  if (CRuleFolder* target = StoreFolder()) target->Condition = DiagramCondition();
  SetModalResult(mrOk);
}

void TFolLogiDlg::ScrollBox1DblClick(TObject* sender) { MenuItem1Click(sender); }

void TFolLogiDlg::ComboBox1Change(TObject*) {
  // The name follows the item until the user types a name of their own; a locked name stays.
  const AnsiString name = Edit1->Text();
  const bool follows = Edit1->Enabled() && (name == SJ("名前無し") || name == LastItemName);
  LastItemName = GetFieldPart(ComboBox1->Text());
  if (follows) Edit1->SetText(LastItemName);
}

void TFolLogiDlg::MenuItem1Click(TObject*) {
  if (CondDlg) EditFlowNode(FlowBox, CondDlg);
}

void TFolLogiDlg::MenuItem2Click(TObject*) {
  if (CondDlg) AddFlowNode(FlowBox, CondDlg, CLgNode::AndNode);
}

void TFolLogiDlg::MenuItem3Click(TObject*) {
  if (CondDlg) AddFlowNode(FlowBox, CondDlg, CLgNode::OrNode);
}

void TFolLogiDlg::MenuItem4Click(TObject*) {
  while (FlowBox->GetSelCount() > 0)
    if (!FlowBox->DeleteNode(FlowBox->GetSelNode(0))) break;
}

void TFolLogiDlg::MenuItem5Click(TObject*) { FlowBox->ReverseExpression(); }
void TFolLogiDlg::MenuItem6Click(TObject*) { FlowBox->CopyExpression(); }
void TFolLogiDlg::MenuIte7Click(TObject*) { FlowBox->PasteExpression(); }
