// The main window's life: construction, first show, the first level of the folder tree, the
// about box at start, the end, save, log and help commands, closing and destruction.
#include "mainwin/MainForm.h"

#include <filesystem>

#include "folders/DbFolder.h"
#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StrMacro.h"
#include "foundation/StringsList.h"
#include "mainwin/Abount.h"
#include "mainwin/ListViewRecids.h"
#include "mainwin/MainSettings.h"
#include "platform/ShellApi.h"
#include "platform/SysUtils.h"
#include "query/SummaryMod.h"
#include "views/CvGraphPr.h"

TFormMain* FormMain = nullptr;

// ---- CTv1NodeList, CChangeCursor ----

CTv1NodeList::CTv1NodeList() : Folders(new CDbFolderList), Nodes(new TList) {}

CTv1NodeList::~CTv1NodeList() {
  delete Nodes;
  Folders->TList::Clear();  // the nodes belong to the folder tree
  delete Folders;
}

CChangeCursor::CChangeCursor() : saved_(Screen->Cursor()) { Screen->SetCursor(crHourGlass); }

CChangeCursor::~CChangeCursor() { Screen->SetCursor(saved_); }

// ---- Construction and destruction ----

TFormMain::TFormMain(TComponent* owner) : TForm(owner) {
  CreateComponents();
  // The diagram belongs to the application, which frees it before the window; it takes over the
  // placeholder's place and look.
  DiagramBox = new TFlowBox(Owner() ? Owner() : this);
  DiagramBox->Assign(ScrollBox1);
  DiagramBox->SetOrigin(20, 5);
  delete ScrollBox1;
  ScrollBox1 = nullptr;
  ListRows = new CStringsList;
  Tv1NodeList = new CTv1NodeList;
  SumRows = new CStringsList;
  Summary = new CSummaryMod;
  IniWritePath = MakeIniFileName();
  IniReadPath = FileExists(IniWritePath) ? IniWritePath : ChangeFileExt(ExecutablePath(), ".ini");
  RecordIds = new CListViewRecids;
  GraphPrinter = new TCvGraphPr(this);
  ListPrinter = GraphPrinter;
  ListPrinter->SetTargetGrid(StringGridEx1);
  SortColumns = new CCapInfoList;
  SortColumns->OwnsItems = false;
  delete HostNameCache;
  HostNameCache = new TStringList;
  FormCreate(this);
}

TFormMain::~TFormMain() {
  Destroying();  // FormDestroy frees the folder tree while the members it reaches are whole
  delete Tv1NodeList;
  Tv1NodeList = nullptr;
  delete ListRows;
  ListRows = nullptr;
  delete SumRows;
  SumRows = nullptr;
  delete Summary;
  Summary = nullptr;
  delete RecordIds;
  RecordIds = nullptr;
  delete ListPrinter;
  ListPrinter = GraphPrinter = nullptr;
  SortColumns->TList::Clear();  // the keys are the listing's columns
  delete SortColumns;
  SortColumns = nullptr;
  delete HostNameCache;
  HostNameCache = nullptr;
}

namespace {

// The pointer of a drag that copies: an arrow with a small page carrying a plus.
TBitmap CopyDragCursor() {
  constexpr TColor ground = clFuchsia;
  TBitmap b(32, 32);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(ground);
  c->FillRect(Rect(0, 0, 32, 32));
  c->Pen()->SetColor(clBlack);
  c->Brush()->SetColor(clWhite);
  const TPoint arrow[] = {{0, 0}, {0, 15}, {4, 11}, {7, 18}, {9, 17}, {6, 10}, {11, 10}};
  c->Polygon(arrow, 7);
  c->Rectangle(12, 16, 27, 30);
  c->Brush()->SetColor(clBlack);
  c->FillRect(Rect(18, 19, 20, 27));
  c->FillRect(Rect(15, 22, 24, 24));
  return b;
}

}  // namespace

void TFormMain::FormCreate(TObject* sender) { Screen->SetCursors(2, CopyDragCursor(), clFuchsia, 0, 0); }

void TFormMain::FormShow(TObject* sender) {
  LoadSettings();
  StatusBar1->Panels()->Items(0)->SetText("----");
  OpenDialog1->Filter = SJ("CSVファイル (*.csv)|*.CSV|すべてのファイル (*.*)|*.*");
  OpenDialog1->InitialDir = std::filesystem::current_path().string();
  FolderImageList = ImageList1;
  LoadFolderIcons(ImageList1);
  DragAcceptFiles(true);
  // The diagram stays hidden while the tree is built; it comes back as the settings left it.
  const bool diagramShown = DiagramBox->Visible();
  DiagramBox->SetVisible(false);
  Splitter2->SetHeight(4);
  Splitter2->SetVisible(false);
  if (!FileLog->Visible()) FileLog->SetVisible(HasCmdLineSwitch("debug"));
  BuildFolderTree();
  TabControl1->SetTabIndex(ViewTab);
  if (ViewTab != 3) {
    Panel3->SetVisible(false);
    Chart2->SetVisible(false);
  }
  DiagramBox->SetVisible(diagramShown);
  Splitter2->SetHeight(4);
  Splitter2->SetVisible(diagramShown);
  LastTopRow = StringGridEx1->TopRow();
  LastFrozenRow = StringGridEx1->FrozenRowFrom();
  GraphBox->SetItemIndex(0);
  KindBox->SetItemIndex(0);
  StringGridEx1->SetFixedCenter(true);
  SetCaption("Cinderwatch");
  BaseCaption = Caption();
  for (TAction* table : {FileTblCreate, FileTblRead, FileTblWrite}) table->SetEnabled(false);
  Timer1->SetEnabled(true);
}

void TFormMain::BuildFolderTree() {
  if (!TopFolder) {
    TopFolder = new CTopRuleFolder;
    TopFolder->SetFolderFilePaths(IniReadPath, IniWritePath);
    // Folders saved under this name are read even when its settings were never written (the
    // program ended without closing): the program's own tree would be saved over them at close.
    if (TopFolder->ReadPath != TopFolder->WritePath && FileExists(TopFolder->WritePath))
      TopFolder->ReadPath = TopFolder->WritePath;
    TopFolder->LoadFolderFile();
    TopFolder->OnListChanged = [this](CRuleFolder* folder) { FolderListChanged(folder); };
    TopFolder->OnTreeChanged = [this](CRuleFolder* folder) { FolderTreeChanged(folder); };
  }
  delete ClipFolder;
  ClipFolder = nullptr;
  ListedNode = nullptr;
  if (StringGridEx1->Visible()) ClearGrid(StringGridEx1);
  ListRows->DeleteAll();
  Tv1NodeList->Nodes->Clear();
  ++Tv1NodeList->ChangeCount;
  CDbFolder* root = TopFolder->RootNode;
  root->Expand();
  TreeView1->Items()->Clear();
  TTreeNode* rootNode = TreeView1->Items()->AddObject(nullptr, root->Name, root);
  rootNode->SetImageIndex(root->GetImageIndex(false));
  rootNode->SetSelectedIndex(root->GetImageIndex(true));
  ClearChart();
  for (int i = 0; i < root->Children.Count(); ++i) {
    CDbFolder* child = root->Children.Get(i);
    TTreeNode* node = TreeView1->Items()->AddChildObject(rootNode, child->Name, child);
    node->SetHasChildren(true);
    node->SetImageIndex(child->GetImageIndex(false));
    node->SetSelectedIndex(child->GetImageIndex(true));
  }
  rootNode->Expand(false);
  PopupFolder = nullptr;
  ClearStatusColumns();
  StatusBar1->Panels()->Items(0)->SetText(TopFolder->ReadPath);
}

// ---- Commands ----

bool TFormMain::SaveFolderTree() {
  bool settled = true;
  if (TopFolder && TopFolder->GetModified() > 0 &&
      CvMessageBox(SJ("フォルダに変更があります。保存しますか？"), SJ("保存の確認"), 4, this) == mrYes) {
    if (TopFolder->SaveFolderFile()) {
      TopFolder->AddModified(-TopFolder->GetModified());
    } else {
      // The changes stay counted, so the next save or close asks again.
      ReportError(SJ("フォルダファイルを保存できませんでした。\n%s").c_str(), TopFolder->SaveError.c_str());
      settled = false;
    }
  }
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  return settled;
}

void TFormMain::FileSaveFolExecute(TObject* sender) { SaveFolderTree(); }

void TFormMain::FormCloseQuery(TObject* sender, bool& canClose) {
  // A folder file that could not be written keeps the window open: closing would lose the
  // changes. Answering No to the question that comes again closes without them.
  canClose = SaveFolderTree();
  if (canClose) SaveSettings();
}

void TFormMain::FormDestroy(TObject* sender) {
  delete TopFolder;
  TopFolder = nullptr;
  delete ClipFolder;
  ClipFolder = nullptr;
}

void TFormMain::Timer1Timer(TObject* sender) {
  Timer1->SetEnabled(false);
  HelpAboutExecute(sender);
}

void TFormMain::HelpAboutExecute(TObject* sender) {
  auto* box = new TAboutBox(Application);
  box->ShowModal();
  delete box;
}

void TFormMain::HelpHelpExecute(TObject* sender) {
  if (!FileExists(Application->HelpFile) || !ShellOpen(Application->HelpFile))
    ReportError(SJ("ヘルプファイル %s を開けません。").c_str(), Application->HelpFile.c_str());
}

void TFormMain::FileExitExecute(TObject* sender) { Close(); }

void TFormMain::FileLogExecute(TObject* sender) {
  if (!FormLog) Application->CreateForm(FormLog);
  FormLog->SetVisible(true);
}
