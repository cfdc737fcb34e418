#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "platform/Clipbrd.h"
#include "platform/ExtCtrls.h"
#include "platform/Menus.h"
#include "platform/Dialogs.h"
#include "platform/Image.h"
#include "platform/ImgList.h"
#include "platform/ShellApi.h"
#include "platform/Splitter.h"
#include "platform/SysUtils.h"
#include "platform/Timer.h"
#include "tests/support/TestSupport.h"

namespace {

TBitmap Filled(int w, int h, TColor c) {
  TBitmap b(w, h);
  b.Canvas()->Brush()->SetColor(c);
  b.Canvas()->FillRect(Rect(0, 0, w, h));
  return b;
}

// An icon file holding the pictures of single-picture icon files one after the other.
std::string JoinIcons(const std::vector<std::string>& files) {
  std::string head = std::string("\0\0\1\0", 4) + static_cast<char>(files.size()) + '\0';
  std::string entries, data;
  const size_t first = 6 + 16 * files.size();
  for (const std::string& f : files) {
    std::string entry = f.substr(6, 16);
    const uint32_t size = static_cast<uint32_t>(f.size() - 22), offset = static_cast<uint32_t>(first + data.size());
    for (int k = 0; k < 4; ++k) {
      entry[8 + k] = static_cast<char>(size >> (8 * k));
      entry[12 + k] = static_cast<char>(offset >> (8 * k));
    }
    entries += entry;
    data += f.substr(22);
  }
  return head + entries + data;
}

struct Extras : ::testing::Test {
  TForm form{Application};
  std::string log;
  void SetUp() override { form.SetBounds(0, 0, 400, 300); }
};

}  // namespace

TEST_F(Extras, FileDialogsGoThroughTheModalHandler) {
  TempDir dir;
  std::ofstream(dir.File("data.csv")) << "a\n";
  TOpenDialog open(&form);
  open.InitialDir = dir.Path();
  open.Filter = SJ("CSVファイル (*.csv)|*.CSV|すべてのファイル (*.*)|*.*");
  open.Options |= ofFileMustExist;
  std::vector<std::string> typed = {"nothere.csv", "data.csv"};
  {
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = dynamic_cast<TFileDialogForm*>(f);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->Dialog(), &open);
      d->FileNameEdit->SetText(typed.front());
      typed.erase(typed.begin());
      d->OKButton->Click();  // the missing file keeps the dialog open, and the handler is asked again
    });
    ASSERT_TRUE(open.Execute());
  }
  EXPECT_EQ(open.FileName, dir.File("data.csv"));

  TSaveDialog save(&form);
  save.DefaultExt = "csv";
  {
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = static_cast<TFileDialogForm*>(f);
      EXPECT_EQ(d->Caption(), SJ("名前を付けて保存"));
      d->FileNameEdit->SetText(dir.File("list"));
      PressButton(f, "OK");
    });
    ASSERT_TRUE(save.Execute());
  }
  EXPECT_EQ(save.FileName, dir.File("list.csv"));
  {
    ModalHandlerScope scope([](TForm* f) { PressButton(f, SJ("キャンセル")); });
    EXPECT_FALSE(save.Execute());
  }
}

TEST_F(Extras, ClipboardTextKeepsTheBytesTheProgramPutThere) {
  const AnsiString odd = "\xED\x40";  // back from Unicode it would read FA 5C
  ASSERT_NE(Utf8ToSjis(SjisToUtf8(odd)), odd);
  const AnsiString text = SJ("表示") + "\t" + odd + "\r\n";
  Clipboard()->SetTextBuf((text + '\0' + "after the end").c_str());
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->AsText(), text);
  Clipboard()->SetAsText(SJ("ソ"));
  EXPECT_EQ(Clipboard()->AsText(), SJ("ソ"));
  Clipboard()->Clear();
  EXPECT_EQ(Clipboard()->AsText(), "");
}

TEST_F(Extras, IconFilesFillAnImageListThatDrawsWithSeeThroughParts) {
  TempDir dir;
  ASSERT_TRUE(Filled(32, 32, clBlue).SaveToFile(dir.File("big.ico")));
  ASSERT_TRUE(Filled(16, 16, clRed).SaveToFile(dir.File("small.ico")));
  std::ofstream(dir.File("both.ico"), std::ios::binary) << JoinIcons({ReadFileBytes(dir.File("big.ico")), ReadFileBytes(dir.File("small.ico"))});
  std::ofstream(dir.File("bad.ico"), std::ios::binary) << "\0\0\1\0\5\0garbage";

  TIcon icon;
  ASSERT_TRUE(icon.LoadFromFile(dir.File("both.ico")));
  EXPECT_EQ(icon.Width(), 16);  // of the sizes in the file, the list's own
  EXPECT_FALSE(icon.LoadFromFile(dir.File("bad.ico")));
  EXPECT_FALSE(icon.LoadFromFile(dir.File("none.ico")));
  EXPECT_EQ(icon.Width(), 16);  // unchanged by a failed load

  TImageList list(&form);
  TBitmap masked = Filled(16, 16, clFuchsia);
  masked.Canvas()->Brush()->SetColor(clGreen);
  masked.Canvas()->FillRect(Rect(4, 4, 12, 12));
  EXPECT_EQ(list.AddMasked(masked, clFuchsia), 0);
  EXPECT_EQ(list.AddIcon(icon), 1);
  TIcon big;
  ASSERT_TRUE(big.LoadFromFile(dir.File("big.ico")));
  EXPECT_EQ(list.AddIcon(big), 2);  // scaled to 16 x 16

  TBitmap canvas = Filled(60, 20, clYellow);
  list.Draw(canvas.Canvas(), 0, 0, 0);
  list.Draw(canvas.Canvas(), 20, 0, 2);
  list.Draw(canvas.Canvas(), 40, 0, 0, false);
  list.Draw(canvas.Canvas(), 0, 0, 7);  // no such picture: nothing
  EXPECT_EQ(canvas.Pixel(1, 1), 0xFFFF00u);  // see-through
  EXPECT_EQ(canvas.Pixel(8, 8), 0x008000u);
  EXPECT_EQ(canvas.Pixel(35, 15), 0x0000FFu);
  EXPECT_EQ(canvas.Pixel(41, 1), 0xFFFF00u);
  const uint32_t grey = canvas.Pixel(48, 8);
  EXPECT_EQ(grey & 0xFF, (grey >> 8) & 0xFF);  // drawn disabled: no colour
  EXPECT_NE(grey, 0x008000u);
}

TEST_F(Extras, OwnerDrawnComboDrawsTheChosenItemInTheClosedBox) {
  TImageList icons(&form);
  icons.AddMasked(Filled(16, 16, clRed), clFuchsia);
  auto* combo = new TComboBox(&form);
  combo->SetParent(&form);
  combo->SetBounds(10, 10, 120, 22);
  combo->Style = csOwnerDrawFixed;
  combo->Items()->Add(SJ("省略値"));
  combo->Items()->Add("");
  TOwnerDrawState seen = -1;
  combo->OnDrawItem = [&](TWinControl*, int index, TRect r, TOwnerDrawState state) {
    seen = state;
    if (index == 0) combo->Canvas()->TextOut(r.Left, r.Top + 2, combo->Items()->Strings(0));
    if (index >= 1) icons.Draw(combo->Canvas(), r.Left + 16, r.Top, index - 1);
  };
  combo->SetItemIndex(1);
  const TBitmap image = combo->GrabImage();
  EXPECT_TRUE(seen & odComboBoxEdit);
  int red = 0;
  for (int x = 0; x < image.Width(); ++x)
    for (int y = 0; y < image.Height(); ++y) red += image.Pixel(x, y) == 0xFF0000u;
  EXPECT_GT(red, 100);
}

TEST_F(Extras, FormsKeepTheirLimitsAnchoredControlsAndAlignmentOrder) {
  form.Constraints.MinWidth = 620;
  form.Constraints.MinHeight = 300;
  form.SetClientHeight(120);
  EXPECT_EQ(form.Height(), 300);
  form.SetBounds(0, 0, 620, 300);
  int resized = 0;
  form.OnResize = [&](TObject*) { ++resized; };

  auto* ok = new TButton(&form);
  ok->SetParent(&form);
  ok->SetBounds(520, 260, 75, 25);
  ok->SetAnchors(akRight | akBottom);
  auto* page = new TButton(&form);
  page->SetParent(&form);
  page->SetBounds(10, 10, 600, 240);
  page->SetAnchors(akLeft | akTop | akRight | akBottom);
  form.SetBounds(0, 0, 700, 400);
  EXPECT_EQ(resized, 1);
  EXPECT_EQ(ok->Left(), 600);
  EXPECT_EQ(ok->Top(), 360);
  EXPECT_EQ(page->Width(), 680);
  EXPECT_EQ(page->Height(), 340);

  // Aligned controls go by their places: a control that takes another's place and alignment
  // takes its turn too. Tops first, then bottoms, then lefts: the bottom ones span the width.
  TForm f(Application);
  f.SetBounds(0, 0, 300, 200);
  auto* tree = new TPanel(&f);
  tree->SetParent(&f);
  tree->SetWidth(80);
  tree->SetAlign(alLeft);
  auto* placeholder = new TPanel(&f);
  placeholder->SetParent(&f);
  placeholder->SetHeight(50);
  placeholder->SetAlign(alBottom);
  auto* splitter = new TSplitter(&f);
  splitter->SetParent(&f);
  splitter->SetAlign(alBottom);
  splitter->SetHeight(4);
  EXPECT_EQ(placeholder->Top(), 150);
  EXPECT_EQ(splitter->Top(), 146);
  EXPECT_EQ(tree->Height(), 146);
  EXPECT_EQ(placeholder->Width(), 300);
  auto* diagram = new TPanel(&f);
  diagram->SetBounds(placeholder->Left(), placeholder->Top(), placeholder->Width(), placeholder->Height());
  diagram->SetParent(&f);
  diagram->SetAlign(alBottom);
  delete placeholder;
  EXPECT_EQ(diagram->Top(), 150);
  EXPECT_EQ(splitter->Top(), 146);
  EXPECT_EQ(splitter->Neighbour(), diagram);

  // The splitter gives the diagram the height it is dragged to, within the limits.
  splitter->PressMouse(mbLeft, ssLeft, 10, 1);
  splitter->MoveMouse(ssLeft, 10, -39);
  EXPECT_EQ(diagram->Height(), 90);
  EXPECT_EQ(splitter->Top(), 106);
  splitter->MoveMouse(ssLeft, 10, 100);
  EXPECT_EQ(diagram->Height(), splitter->MinSize);
  splitter->ReleaseMouse(mbLeft, 0, 10, 100);

  // Tab order: the order the controls were placed in, unless set.
  auto* first = new TEdit(&f);
  first->SetParent(&f);
  auto* second = new TEdit(&f);
  second->SetParent(&f);
  EXPECT_EQ(second->TabOrder(), first->TabOrder() + 1);
  second->SetTabOrder(0);
  EXPECT_EQ(second->TabOrder(), 0);
  EXPECT_EQ(tree->TabOrder(), 1);
}

TEST_F(Extras, DroppedFilesKeyStatePointerShapesTimersImagesAndTheShell) {
  std::vector<AnsiString> dropped;
  form.OnDropFiles = [&](TObject*, const std::vector<AnsiString>& paths) { dropped = paths; };
  const AnsiString longPath = "/tmp/" + std::string(400, 'x') + "/" + SJ("表.csv");
  form.DropFiles({longPath});
  EXPECT_TRUE(dropped.empty());  // not accepted yet
  form.DragAcceptFiles(true);
  form.DropFiles({longPath, "/tmp/b.tld"});
  ASSERT_EQ(dropped.size(), 2u);
  EXPECT_EQ(dropped[0], longPath);

  // Keys held, as the input delivered through the controls says.
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  edit->PressKey(VK_RSHIFT, ssShift);
  EXPECT_LT(GetKeyState(VK_RSHIFT), 0);
  EXPECT_LT(GetKeyState(VK_SHIFT), 0);
  EXPECT_EQ(GetKeyState(VK_LSHIFT), 0);
  edit->ReleaseKey(VK_RSHIFT, 0);
  EXPECT_EQ(GetKeyState(VK_SHIFT), 0);

  TBitmap arrow = Filled(32, 32, clWhite);
  arrow.Canvas()->Brush()->SetColor(clBlack);
  arrow.Canvas()->FillRect(Rect(0, 0, 8, 8));
  Screen->SetCursors(2, arrow, clWhite, 0, 0);
  edit->SetCursor(2);

  TTimer timer(&form);
  timer.SetEnabled(false);
  timer.SetInterval(10);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 2) timer.SetEnabled(false);
  };
  EXPECT_FALSE(PumpUntil([&] { return ticks > 0; }, 100));
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks == 2; }));
  EXPECT_FALSE(PumpUntil([&] { return ticks > 2; }, 60));

  auto* image = new TImage(&form);
  image->SetParent(&form);
  image->SetAutoSize(true);
  image->SetPicture(Filled(54, 36, clNavy));
  EXPECT_EQ(image->Width(), 54);
  EXPECT_EQ(image->PaintToImage().Pixel(53, 35), ColorToRGB(clNavy));
  int clicks = 0;
  image->OnClick = [&](TObject*) { ++clicks; };
  image->PressMouse(mbLeft, ssLeft, 5, 5);
  image->ReleaseMouse(mbLeft, 0, 5, 5);
  EXPECT_EQ(clicks, 1);

  EXPECT_TRUE(ShellOpen("https://example.com/"));
  EXPECT_EQ(ShellOpenedLast(), "https://example.com/");
}

TEST_F(Extras, ContextPopupStackingPaintAndReadOnlyFiles) {
  // OnContextPopup comes before the popup menu and may keep it shut.
  TPopupMenu menu(&form);
  int popups = 0;
  menu.OnPopup = [&](TObject*) { ++popups; };
  auto* grid = new TPaintBox(&form);
  grid->SetParent(&form);
  grid->SetBounds(0, 0, 100, 100);
  grid->SetPopupMenu(&menu);
  TPoint asked;
  bool keepShut = true;
  grid->OnContextPopup = [&](TObject*, TPoint p, bool& handled) {
    asked = p;
    handled = keepShut;
  };
  grid->PressMouse(mbRight, ssRight, 30, 40);
  grid->ReleaseMouse(mbRight, 0, 30, 40);
  EXPECT_EQ(asked, (TPoint{30, 40}));
  EXPECT_EQ(popups, 0);
  keepShut = false;
  grid->PressMouse(mbRight, ssRight, 30, 40);
  grid->ReleaseMouse(mbRight, 0, 30, 40);
  EXPECT_EQ(popups, 1);

  // The control in front takes the pointer.
  auto* chart = new TPaintBox(&form);
  chart->SetParent(&form);
  chart->SetBounds(0, 0, 100, 100);
  EXPECT_EQ(form.ControlAtPos(50, 50), chart);
  chart->SendToBack();
  EXPECT_EQ(form.ControlAtPos(50, 50), grid);
  chart->BringToFront();
  EXPECT_EQ(form.ControlAtPos(50, 50), chart);

  int paints = 0;
  form.OnPaint = [&](TObject*) { ++paints; };
  form.Show();
  EXPECT_TRUE(PumpUntil([&] { return paints > 0; }));
  form.Hide();

  TempDir dir;
  const std::string path = dir.File("work.ini");
  EXPECT_EQ(FileGetAttr(path), -1);
  EXPECT_EQ(FileSetAttr(path, 0), ENOENT);
  std::ofstream(path) << "[a]\n";
  EXPECT_EQ(FileGetAttr(path), 0);
  EXPECT_EQ(FileSetAttr(path, faReadOnly), 0);
  EXPECT_EQ(FileGetAttr(path), faReadOnly);
  EXPECT_EQ(FileSetAttr(path, 0), 0);
  EXPECT_EQ(FileGetAttr(path), 0);
}
