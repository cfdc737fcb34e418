// The main window as designed: its components with their names, captions, places and sizes, and
// the handlers bound to their events.
#include "folders/FlowBox.h"
#include "mainwin/MainForm.h"
#include "mainwin/MenuBar.h"

namespace {

// A folder picture on a see-through ground: a tab and a body, the body tilted open.
TBitmap FolderPicture(TColor color, bool open) {
  constexpr TColor ground = clFuchsia;
  TBitmap b(16, 16);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(ground);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Pen()->SetColor(clGray);
  c->Brush()->SetColor(color);
  c->Rectangle(1, 2, 7, 5);
  c->Rectangle(1, 4, 15, 14);
  if (open) {
    c->Brush()->SetColor(clWhite);
    c->Rectangle(3, 6, 14, 12);
    c->Brush()->SetColor(color);
    const TPoint front[] = {{1, 13}, {4, 8}, {15, 8}, {12, 13}};
    c->Polygon(front, 4);
  }
  return b;
}

void AddFolderPictures(TImageList* images) {
  // Closed and open in pairs: yellow, blue, green, red, grey.
  const TColor colors[] = {0x40D0FF, 0xF0B060, 0x60C060, 0x6060E0, 0xB0B0B0};
  for (TColor color : colors)
    for (bool open : {false, true}) images->AddMasked(FolderPicture(color, open), clFuchsia);
}

}  // namespace

void TFormMain::CreateComponents() {
  Name = "FormMain";
  SetCaption("Cinderwatch");
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 800, 600);

  ImageList1 = new TImageList(this);
  ImageList1->Name = "ImageList1";
  AddFolderPictures(ImageList1);

  CreateActions();
  CreateMenus();

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->Name = "OpenDialog1";
  PrintDialog = new TPrintDialog(this);
  PrintDialog->Name = "PrintDialog";
  Timer1 = new TTimer(this);
  Timer1->Name = "Timer1";
  Timer1->SetEnabled(false);
  Timer1->SetInterval(200);
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

  // ---- Cool bar: the menu tool bar and the tool bar ----
  CoolBar1 = new TCoolBar(this);
  CoolBar1->Name = "CoolBar1";
  CoolBar1->SetParent(this);
  CoolBar1->SetAlign(alTop);
  MenuBar1 = new TMenuBar(this);
  MenuBar1->Name = "MenuBar1";
  MenuBar1->SetParent(CoolBar1);
  MenuBar1->SetAutoSize(true);
  MenuBar1->SetButtonHeight(20);
  MenuBar1->SetButtonWidth(59);
  MenuBar1->SetMenu(MainMenu1);
  ToolBar1 = new TToolBar(this);
  ToolBar1->Name = "ToolBar1";
  ToolBar1->SetParent(CoolBar1);
  ToolBar1->SetFlat(true);
  ToolBar1->SetShowCaptions(true);
  ToolBar1->SetAutoSize(true);
  ToolBar1->SetButtonHeight(20);
  for (TAction* action : {FileSaveFol, FilePreview, static_cast<TAction*>(nullptr), OpeContinue, OpeCard, OpeEdit,
                          OpeAdd, static_cast<TAction*>(nullptr), FolDoCmd, FlipFlowBox}) {
    auto* button = new TToolButton(this);
    button->SetParent(ToolBar1);
    button->AutoSize = true;
    if (action) {
      button->SetAction(action);
    } else {
      button->SetStyle(tbsSeparator);
      button->SetWidth(8);
    }
  }
  TCoolBand* band = CoolBar1->Bands()->Add();
  band->SetControl(MenuBar1);
  band->SetWidth(200);
  band = CoolBar1->Bands()->Add();
  band->SetControl(ToolBar1);
  band->SetBreak(false);

  // ---- Bottom: status bar, the diagram's placeholder and its splitter ----
  StatusBar1 = new TStatusBar(this);
  StatusBar1->Name = "StatusBar1";
  StatusBar1->SetParent(this);
  StatusBar1->SetBounds(0, 580, 800, 20);
  StatusBar1->SetAlign(alBottom);
  for (int width : {160, 240, 100}) StatusBar1->Panels()->Add()->SetWidth(width);

  ScrollBox1 = new TScrollBox(this);
  ScrollBox1->Name = "ScrollBox1";
  ScrollBox1->SetParent(this);
  ScrollBox1->SetBounds(0, 460, 800, 120);
  ScrollBox1->SetAlign(alBottom);
  ScrollBox1->SetColor(clWindow);
  ScrollBox1->SetVisible(false);
  ScrollBox1->SetPopupMenu(PopupMenu3);
  ScrollBox1->OnDblClick = [this](TObject* s) { FloxBox1DblClick(s); };

  Splitter2 = new TSplitter(this);
  Splitter2->Name = "Splitter2";
  Splitter2->SetParent(this);
  Splitter2->SetBounds(0, 456, 800, 4);
  Splitter2->SetAlign(alBottom);
  Splitter2->SetCursor(crVSplit);
  Splitter2->SetVisible(false);

  // ---- Left: the folder tree ----
  TreeView1 = new TTreeView(this);
  TreeView1->Name = "TreeView1";
  TreeView1->SetParent(this);
  TreeView1->SetBounds(0, 0, 200, 400);
  TreeView1->SetAlign(alLeft);
  TreeView1->SetColor(clWindow);
  TreeView1->SetShowRoot(false);
  TreeView1->SetImages(ImageList1);
  TreeView1->RightClickSelect = true;
  TreeView1->DragMode = dmAutomatic;
  TreeView1->SetPopupMenu(PopupMenuTV);
  TreeView1->OnExpanding = [this](TObject* s, TTreeNode* n, bool& allow) { TreeView1Expanding(s, n, allow); };
  TreeView1->OnCollapsing = [this](TObject* s, TTreeNode* n, bool& allow) { TreeView1Collapsing(s, n, allow); };
  TreeView1->OnChange = [this](TObject* s, TTreeNode* n) { TreeView1Change(s, n); };
  TreeView1->OnDeletion = [this](TObject* s, TTreeNode* n) { TreeView1Deletion(s, n); };
  TreeView1->OnDragOver = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& accept) {
    TreeView1DragOver(s, src, x, y, st, accept);
  };
  TreeView1->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { TreeView1DragDrop(s, src, x, y); };

  Splitter1 = new TSplitter(this);
  Splitter1->Name = "Splitter1";
  Splitter1->SetParent(this);
  Splitter1->SetBounds(200, 0, 4, 400);
  Splitter1->SetAlign(alLeft);
  Splitter1->SetCursor(crHSplit);

  // ---- The view tabs with the list grid and the chart ----
  TabControl1 = new TTabControl(this);
  TabControl1->Name = "TabControl1";
  TabControl1->SetParent(this);
  TabControl1->SetAlign(alClient);
  for (const char* tab : {"検索表示", "集計表示", "比率表示", "グラフ表示"}) TabControl1->Tabs()->Add(Utf8ToSjis(tab));
  TabControl1->SetTabIndex(0);
  TabControl1->OnChange = [this](TObject* s) { TabControl1Change(s); };

  Panel3 = new TPanel(this);
  Panel3->Name = "Panel3";
  Panel3->SetParent(TabControl1);
  Panel3->SetBounds(0, 0, 150, 300);
  Panel3->SetAlign(alRight);
  Panel3->SetBevelOuter(bvNone);
  Panel3->SetVisible(false);
  auto boxLabel = [this](const char* name, const char* caption, int top) {
    auto* label = new TLabel(this);
    label->Name = name;
    label->SetParent(Panel3);
    label->SetCaption(Utf8ToSjis(caption));
    label->SetBounds(8, top, 40, 16);
    return label;
  };
  auto comboBox = [this](const char* name, int top) {
    auto* box = new TComboBox(this);
    box->Name = name;
    box->SetParent(Panel3);
    box->Style = csDropDownList;
    box->SetBounds(8, top, 134, 22);
    return box;
  };
  Label1 = boxLabel("Label1", "視点", 8);
  ViewBox = comboBox("ViewBox", 26);
  Label2 = boxLabel("Label2", "集計", 56);
  SumBox = comboBox("SumBox", 74);
  Label3 = boxLabel("Label3", "種類", 104);
  KindBox = comboBox("KindBox", 122);
  for (const char* kind : {"棒（縦）", "棒（横）", "折れ線", "円", "面"}) KindBox->Items()->Add(Utf8ToSjis(kind));
  CheckBox1 = new TCheckBox(this);
  CheckBox1->Name = "CheckBox1";
  CheckBox1->SetParent(Panel3);
  CheckBox1->SetCaption("3D");
  CheckBox1->SetBounds(8, 156, 134, 20);
  CheckBox1->SetChecked(true);
  auto scrollBar = [this](const char* name, int top, int min, int max, int position) {
    auto* bar = new TScrollBar(this);
    bar->Name = name;
    bar->SetParent(Panel3);
    bar->SetBounds(8, top, 134, 17);
    bar->SetParams(position, min, max);
    bar->LargeChange = 10;
    return bar;
  };
  ScrollBar2 = scrollBar("ScrollBar2", 178, 1, 100, 15);
  Label4 = boxLabel("Label4", "横回転", 202);
  ScrollBar3 = scrollBar("ScrollBar3", 220, 270, 360, 360);
  Label5 = boxLabel("Label5", "縦回転", 244);
  ScrollBar4 = scrollBar("ScrollBar4", 262, 270, 360, 360);
  Label6 = boxLabel("Label6", "倍率", 286);
  ScrollBar5 = scrollBar("ScrollBar5", 304, 1, 200, 100);
  CheckBox2 = new TCheckBox(this);
  CheckBox2->Name = "CheckBox2";
  CheckBox2->SetParent(Panel3);
  CheckBox2->SetCaption(SJ("転置"));
  CheckBox2->SetBounds(8, 332, 134, 20);
  Button1 = new TButton(this);
  Button1->Name = "Button1";
  Button1->SetParent(Panel3);
  Button1->SetBounds(8, 362, 75, 25);
  Button1->SetCaption(SetChartAttr->Caption());
  Button1->OnClick = [this](TObject*) { SetChartAttr->Execute(); };
  for (TComboBox* box : {ViewBox, SumBox, KindBox}) box->OnChange = [this](TObject* s) { ViewBoxChange(s); };
  CheckBox1->OnClick = [this](TObject* s) { CheckBox1Click(s); };
  CheckBox2->OnClick = [this](TObject* s) { CheckBox2Click(s); };
  ScrollBar2->OnChange = [this](TObject* s) { ScrollBar2Change(s); };
  ScrollBar3->OnChange = [this](TObject* s) { ScrollBar3Change(s); };
  ScrollBar4->OnChange = [this](TObject* s) { ScrollBar4Change(s); };
  ScrollBar5->OnChange = [this](TObject* s) { ScrollBar5Change(s); };

  Chart2 = new TChart(this);
  Chart2->Name = "Chart2";
  Chart2->SetParent(TabControl1);
  Chart2->SetAlign(alClient);
  Chart2->SetVisible(false);
  GraphBox = new TComboBox(this);
  GraphBox->Name = "GraphBox";
  GraphBox->SetParent(Chart2);
  GraphBox->Style = csDropDownList;
  GraphBox->SetBounds(8, 8, 110, 22);
  for (const char* arrangement : {"縦並び", "横並び", "積重ね", "積重ね 100%"})
    GraphBox->Items()->Add(Utf8ToSjis(arrangement));
  GraphBox->OnChange = [this](TObject* s) { GraphBoxClick(s); };

  StringGridEx1 = new TStringGridEx(this);
  StringGridEx1->Name = "StringGridEx1";
  StringGridEx1->SetParent(TabControl1);
  StringGridEx1->SetAlign(alClient);
  StringGridEx1->SetColor(clWindow);
  StringGridEx1->SetGridStyle(gsStriped);
  StringGridEx1->SetStripeColor(0xF8F0E8);
  StringGridEx1->SetDefaultDrawing(false);
  StringGridEx1->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect | goColSizing |
                            goRowSelect | goThumbTracking);
  StringGridEx1->SetPopupMenu(PopupMenu1);
  StringGridEx1->DragCursor = crDrag;
  StringGridEx1->OnDrawCell = [this](TObject* s, int col, int row, TRect rect, TGridDrawState state) {
    StringGridEx1DrawCell(s, col, row, rect, state);
  };
  StringGridEx1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState shift, int x, int y) {
    StringGridEx1MouseDown(s, b, shift, x, y);
  };
  StringGridEx1->OnMouseMove = [this](TObject* s, TShiftState shift, int x, int y) {
    StringGridEx1MouseMove(s, shift, x, y);
  };
  StringGridEx1->OnMouseUp = [this](TObject* s, TMouseButton b, TShiftState shift, int x, int y) {
    StringGridEx1MouseUp(s, b, shift, x, y);
  };
  StringGridEx1->OnStartDrag = [this](TObject* s) { StringGridEx1StartDrag(s); };
  StringGridEx1->OnKeyDown = [this](TObject* s, uint16_t& key, TShiftState shift) {
    StringGridEx1KeyDown(s, key, shift);
  };
  StringGridEx1->OnDragOver = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& accept) {
    StringGridEx1DragOver(s, src, x, y, st, accept);
  };
  StringGridEx1->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { StringGridEx1DragDrop(s, src, x, y); };
  StringGridEx1->OnTopLeftChanged = [this](TObject* s) { StringGridEx1TopLeftChanged(s); };
  StringGridEx1->OnColumnMoved = [this](TObject* s, int from, int to) { StringGridEx1ColumnMoved(s, from, to); };

  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& canClose) { FormCloseQuery(s, canClose); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  OnDropFiles = [this](TObject* s, const std::vector<AnsiString>& paths) { DropFiles(s, paths); };
}

void TFormMain::CreateActions() {
  ActionList1 = new TActionList(this);
  ActionList1->Name = "ActionList1";
  ActionList1->Images = ImageList1;
  auto make = [this](const char* name, const char* caption, void (TFormMain::*handler)(TObject*)) {
    auto* action = new TAction(this);
    action->Name = name;
    action->SetCaption(Utf8ToSjis(caption));
    action->SetActionList(ActionList1);
    if (handler) action->OnExecute = [this, handler](TObject* s) { (this->*handler)(s); };
    return action;
  };
  FileSaveFol = make("FileSaveFol", "フォルダ情報の保存", &TFormMain::FileSaveFolExecute);
  FilePreview = make("FilePreview", "リストの印刷プレビュー", &TFormMain::FilePreviewExecute);
  FilePrint = make("FilePrint", "リストの印刷", &TFormMain::FilePrintExecute);
  FileSaveChart = make("FileSaveChart", "グラフのファイル出力", &TFormMain::FileSaveChartExecute);
  FileTblCreate = make("FileTblCreate", "表作成", &TFormMain::FileTblCreateExecute);
  FileTblRead = make("FileTblRead", "表定義の読み込み", &TFormMain::FileTblReadExecute);
  FileTblWrite = make("FileTblWrite", "表定義の書き出し", &TFormMain::FileTblWriteExecute);
  FileLog = make("FileLog", "ログ表示", &TFormMain::FileLogExecute);
  FileExit = make("FileExit", "終了", &TFormMain::FileExitExecute);

  OpeContinue = make("OpeContinue", "続きを検索", &TFormMain::OpeContinueExecute);
  OpeCard = make("OpeCard", "カード表示", &TFormMain::OpeCardExecute);
  OpeEdit = make("OpeEdit", "データの編集", &TFormMain::OpeEditExecute);
  OpeAdd = make("OpeAdd", "データの追加", &TFormMain::OpeAddExecute);
  OpeDelete = make("OpeDelete", "データの削除", &TFormMain::OpeDeleteExecute);
  OpeCsvGet = make("OpeCsvGet", "CSV取込", &TFormMain::OpeCsvGetExecute);
  OpeCsv = make("OpeCsv", "CSV出力", &TFormMain::OpeCsvExecute);
  OpeFixCol = make("OpeFixCol", "列固定", &TFormMain::OpeFixColExecute);
  OpeFixRow = make("OpeFixRow", "行固定", &TFormMain::OpeFixRowExecute);

  FolEditCapInfo = make("FolEditCapInfo", "表示書式設定", &TFormMain::FolEditCapInfoExecute);
  FolDelCapInfo = make("FolDelCapInfo", "表示書式削除", &TFormMain::FolDelCapInfoExecute);
  FolCreate = make("FolCreate", "新規作成", &TFormMain::FolCreateExecute);
  FolCreate1 = make("FolCreate1", "見出し", &TFormMain::FolCreate1Execute);
  FolCreate2 = make("FolCreate2", "条件", &TFormMain::FolCreate2Execute);
  FolCreate3 = make("FolCreate3", "列挙", &TFormMain::FolCreate3Execute);
  FolEdit = make("FolEdit", "編集", &TFormMain::FolEditExecute);
  FolRelKensa = make("FolRelKensa", "関連付け検査", &TFormMain::FolRelKensaExecute);
  FolChkDat = make("FolChkDat", "データ検査", &TFormMain::FolChkDatExecute);
  FolCut = make("FolCut", "切り取り", &TFormMain::FolDeleteExecute);
  FolCopy = make("FolCopy", "コピー", &TFormMain::FolCopyExecute);
  FolPaste = make("FolPaste", "貼り付け", &TFormMain::FolPasteExecute);
  FolDelete = make("FolDelete", "削除", &TFormMain::FolDeleteExecute);
  FolDoCmd = make("FolDoCmd", "処理の実行", &TFormMain::FolDoCmdExecute);

  FlipFlowBox = make("FlipFlowBox", "検索条件図", &TFormMain::FlipFlowBoxExecute);
  FlowEdit = make("FlowEdit", "編集", &TFormMain::FlowEditExecute);
  FlowAnd = make("FlowAnd", "AND条件追加", &TFormMain::FlowAndExecute);
  FlowOr = make("FlowOr", "OR条件追加", &TFormMain::FlowOrExecute);
  FlowDel = make("FlowDel", "削除", &TFormMain::FlowDelExecute);
  FlowRev = make("FlowRev", "条件の反転", &TFormMain::FlowRevExecute);
  FlowCopy = make("FlowCopy", "条件のコピー", &TFormMain::FlowCopyExecute);

  SCapCancelPlural = make("SCapCancelPlural", "複数集計解除", &TFormMain::SCapCancelPluralExecute);
  SCapAddNum = make("SCapAddNum", "件数", &TFormMain::SCapAddNumExecute);
  SCapAddMin = make("SCapAddMin", "最小", &TFormMain::SCapAddMinExecute);
  SCapAddMax = make("SCapAddMax", "最大", &TFormMain::SCapAddMaxExecute);
  SCapAddRange = make("SCapAddRange", "範囲", &TFormMain::SCapAddRangeExecute);
  SCapAddSum = make("SCapAddSum", "合計", &TFormMain::SCapAddSumExecute);
  SCapAddAve = make("SCapAddAve", "平均", &TFormMain::SCapAddAveExecute);
  SCapEdit = make("SCapEdit", "カラム編集", &TFormMain::SCapEditExecute);
  SCapIns = make("SCapIns", "カラム挿入", &TFormMain::SCapInsExecute);
  SCapDelete = make("SCapDelete", "カラム削除", &TFormMain::SCapDeleteExecute);

  SetChartAttr = make("SetChartAttr", "設定", &TFormMain::SetChartAttrExecute);
  SetLooks = make("SetLooks", "外見の設定", &TFormMain::SetLooksExecute);
  ChangeFont = make("ChangeFont", "フォントの設定", &TFormMain::ChangeFontExecute);
  HelpHelp = make("HelpHelp", "Cindervaultヘルプ", &TFormMain::HelpHelpExecute);
  HelpAbout = make("HelpAbout", "バージョン情報", &TFormMain::HelpAboutExecute);

  // Nothing is listed and nothing changed yet; the graph's commands show with the graph view.
  for (TAction* idle : {FileSaveFol, OpeContinue, OpeCard, OpeEdit, OpeAdd, OpeDelete, OpeCsvGet, OpeCsv, FolDoCmd})
    idle->SetEnabled(false);
  FileSaveChart->SetVisible(false);
  FileLog->SetVisible(false);
}

void TFormMain::CreateMenus() {
  // An item for each entry: an action, nullptr for a separator line.
  auto fill = [this](TMenuItem* parent, std::initializer_list<TAction*> actions) {
    for (TAction* action : actions) {
      auto* item = new TMenuItem(this);
      if (action) {
        item->SetAction(action);
      } else {
        item->SetCaption("-");
      }
      parent->Add(item);
    }
  };
  auto submenu = [this](TMenuItem* parent, const char* name, const char* caption) {
    auto* item = new TMenuItem(this);
    item->Name = name;
    item->SetCaption(Utf8ToSjis(caption));
    parent->Add(item);
    return item;
  };

  MainMenu1 = new TMainMenu(this);
  MainMenu1->Name = "MainMenu1";
  File1 = submenu(MainMenu1->Items(), "File1", "ファイル");
  fill(File1, {FileSaveFol, nullptr, FilePreview, FilePrint, FileSaveChart, nullptr, FileTblCreate, FileTblRead,
               FileTblWrite, nullptr, SetLooks, FileLog, nullptr, FileExit});
  Ope1 = submenu(MainMenu1->Items(), "Ope1", "データ操作");
  fill(Ope1, {OpeContinue, nullptr, OpeCard, OpeEdit, OpeAdd, OpeDelete, nullptr, OpeCsvGet, OpeCsv, nullptr,
              FolDoCmd, nullptr, FlipFlowBox});
  Help1 = submenu(MainMenu1->Items(), "Help1", "ヘルプ");
  fill(Help1, {HelpHelp, HelpAbout});

  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->Name = "PopupMenu1";
  fill(PopupMenu1->Items(),
       {OpeFixCol, OpeFixRow, nullptr, OpeCard, OpeEdit, OpeAdd, nullptr, FolDoCmd, nullptr, OpeCsv, nullptr, OpeDelete});
  PopupMenu1->OnPopup = [this](TObject* s) { PopupMenu1Popup(s); };

  PopupMenu2 = new TPopupMenu(this);
  PopupMenu2->Name = "PopupMenu2";
  PopupMenu2->AutoPopup = false;
  fill(PopupMenu2->Items(), {FolEditCapInfo, FolDelCapInfo, nullptr, FolCreate});
  fill(PopupMenu2->Items()->Items(3), {FolCreate1, FolCreate2, FolCreate3});
  fill(PopupMenu2->Items(), {FolEdit, nullptr, FolRelKensa, FolChkDat, nullptr, FolCut, FolCopy, FolPaste, nullptr,
                             FolDelete});
  PartitionMI = PopupMenu2->Items()->Items(5);
  PartitionMI->Name = "PartitionMI";

  PopupMenuTV = new TPopupMenu(this);
  PopupMenuTV->Name = "PopupMenuTV";
  PopupMenuTV->OnPopup = [this](TObject* s) { PopupMenuTVPopup(s); };

  PopupMenu3 = new TPopupMenu(this);
  PopupMenu3->Name = "PopupMenu3";
  fill(PopupMenu3->Items(), {FlowEdit, FlowAnd, FlowOr, FlowDel, nullptr, FlowRev, FlowCopy});

  PopupMenuSum = new TPopupMenu(this);
  PopupMenuSum->Name = "PopupMenuSum";
  fill(PopupMenuSum->Items(), {SCapCancelPlural});
  MiCacelPlural = PopupMenuSum->Items()->Items(0);
  MiCacelPlural->Name = "MiCacelPlural";
  MiCacelPlural->Visible = false;
  MiAddSCap = submenu(PopupMenuSum->Items(), "MiAddSCap", "集計追加");
  fill(MiAddSCap, {SCapAddNum, SCapAddMin, SCapAddMax, SCapAddRange, SCapAddSum, SCapAddAve});
  fill(PopupMenuSum->Items(), {SCapEdit, SCapIns, nullptr, SCapDelete});
  MiEditSCap = PopupMenuSum->Items()->Items(2);
  MiEditSCap->Name = "MiEditSCap";
  MiInsSCap = PopupMenuSum->Items()->Items(3);
  MiInsSCap->Name = "MiInsSCap";
  MiDeleteSCap = PopupMenuSum->Items()->Items(5);
  MiDeleteSCap->Name = "MiDeleteSCap";
  PopupMenuSum->OnPopup = [this](TObject* s) { PopupMenuSumPopup(s); };
}
