// The main window's settings file, which the user may edit by hand: any bytes are read into the
// window's looks, which stay usable (the tree inside the window, fonts of a size a screen can
// show, every tool bar in one band), and what is written then reads back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "folders/FlowBox.h"
#include "mainwin/MainForm.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

namespace {

struct Setup {
  std::string dir;
  Setup() {
    char pattern[] = "/tmp/cw-settings-fuzz-XXXXXX";
    dir = mkdtemp(pattern);
    // A name argument keeps the start-up out of the user's configuration folder.
    SetParams({"cinderwatch", dir + "/work"});
  }
};

bool FontUsable(const TFont* font) { return font->PixelSize() >= 4 && font->PixelSize() <= 200; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup s;
  const std::string read = s.dir + "/read.ini", written = s.dir + "/written.ini";
  if (!WriteFileDurably(read, data, size)) return 0;
  TForm owner(nullptr);
  auto* main = new TFormMain(&owner);
  main->IniReadPath = read;
  main->IniWritePath = written;
  main->LoadSettings();
  if (main->TreeView1->Width() > main->Width() - 32) __builtin_trap();
  for (const TFont* font : {main->TreeView1->Font(), main->StringGridEx1->Font(), main->Font(), main->DiagramBox->Font()})
    if (!FontUsable(font)) __builtin_trap();
  TCoolBands* bands = main->CoolBar1->Bands();
  if (bands->Count() != 2) __builtin_trap();
  const TWinControl* a = bands->Items(0)->Control();
  const TWinControl* b = bands->Items(1)->Control();
  if (!a || !b || a == b) __builtin_trap();

  DeleteFile(written);
  main->SaveSettings();
  TIniFile back(written);
  if (back.ReadInteger("TreeView1", "Width", -1) != main->TreeView1->Width()) __builtin_trap();
  if (back.ReadInteger("StringGridEx1", "StripeColor", 0) != main->StringGridEx1->StripeColor()) __builtin_trap();
  if (back.ReadString("CoolBar1", "Band0.Control", "") != a->Name) __builtin_trap();
  delete main;
  return 0;
}
