// The main window's settings file, which the user may edit by hand: any bytes are read into the
// window's looks, which stay usable (the tree inside the window, fonts of a size a screen can
// show, every tool bar in one band), and what is written then reads back the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "folders/FlowBox.h"
#include "fuzz/TempFolder.h"
#include "mainwin/MainForm.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

namespace {

// One window for every input: each load starts from what the one before left, as a window
// whose settings are read again would.
struct Setup {
  std::string dir;
  TForm owner{nullptr};
  TFormMain* main;
  Setup() {
    dir = TempFolder("cw-settings-fuzz");
    // A name argument keeps the start-up out of the user's configuration folder.
    SetParams({"cinderwatch", dir + "/work"});
    main = new TFormMain(&owner);
    main->IniReadPath = dir + "/read.ini";
    main->IniWritePath = dir + "/written.ini";
  }
};

bool FontUsable(const TFont* font) { return font->PixelSize() >= 4 && font->PixelSize() <= 200; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup s;
  TFormMain* main = s.main;
  if (!TMemoryStream(std::string(reinterpret_cast<const char*>(data), size)).SaveToFile(main->IniReadPath)) return 0;
  main->LoadSettings();
  if (main->TreeView1->Width() > main->Width() - 32) __builtin_trap();
  for (const TFont* font : {main->TreeView1->Font(), main->StringGridEx1->Font(), main->Font(), main->DiagramBox->Font()})
    if (!FontUsable(font)) __builtin_trap();
  TCoolBands* bands = main->CoolBar1->Bands();
  if (bands->Count() != 2) __builtin_trap();
  const TWinControl* a = bands->Items(0)->Control();
  const TWinControl* b = bands->Items(1)->Control();
  if (!a || !b || a == b) __builtin_trap();

  DeleteFile(main->IniWritePath);
  main->SaveSettings();
  TIniFile back(main->IniWritePath);
  if (back.ReadInteger("TreeView1", "Width", -1) != main->TreeView1->Width()) __builtin_trap();
  if (back.ReadInteger("StringGridEx1", "StripeColor", 0) != main->StringGridEx1->StripeColor()) __builtin_trap();
  if (back.ReadString("CoolBar1", "Band0.Control", "") != a->Name) __builtin_trap();
  return 0;
}
