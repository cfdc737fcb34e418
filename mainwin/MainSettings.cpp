// The settings file: its name from the command line, and the window's looks read when it is
// first shown and written when it closes.
#include "mainwin/MainSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "folders/FlowBox.h"
#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"
#include "mainwin/MainForm.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "views/CvSumCardPr.h"
#include "views/SetLooksUnit.h"

namespace {

// The program's name without directory; "cinderwatch" when the system does not tell.
std::string ProgramName() {
  const std::string exe = ExecutablePath();
  const size_t slash = exe.rfind('/');
  const std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  return name.empty() ? std::string("cinderwatch") : name;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return ".";
}

// Settings fonts come from a file the user may have edited: a size no screen can show is not
// taken, so a damaged file never leaves the window unreadable.
bool ApplyFontText(TFont* font, const AnsiString& text) {
  TFont read;
  read.Assign(*font);
  if (!FontFromText(&read, text)) return false;
  if (read.PixelSize() < 4 || read.PixelSize() > 200) return false;
  font->Assign(read);
  return true;
}

constexpr int kMaxBandWidth = 1 << 16;

AnsiString BandKey(int band, const char* what) { return Format("Band%d.%s", band, what); }

}  // namespace

std::string ConfigFolder() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // A relative XDG_CONFIG_HOME is ignored, as for any unset one.
  const std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : HomeFolder() + "/.config";
  return base + "/cinderwatch";
}

AnsiString MakeIniFileName() {
  // An empty first argument names nothing.
  const std::string first = ParamCount() >= 1 ? ParamStr(1) : std::string();
  if (!first.empty() && first[0] != '-') {
    const std::string base = first.back() == '/' ? first + ProgramName() : first;
    return ChangeFileExt(base, ".ini");
  }
  const std::string folder = ConfigFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return ChangeFileExt(folder + "/" + ProgramName(), ".ini");
}

bool HasCmdLineSwitch(const char* name) {
  const std::string wanted = name;
  for (int i = 1; i <= ParamCount(); ++i) {
    const std::string arg = ParamStr(i);
    if (arg.size() != wanted.size() + 1 || arg[0] != '-') continue;
    if (std::equal(wanted.begin(), wanted.end(), arg.begin() + 1,
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b)); }))
      return true;
  }
  return false;
}

void LoadBandSettings(TCoolBar* bar, TIniFile* file) {
  TCoolBands* bands = bar->Bands();
  TStringList names;
  for (int n = 0; n < bands->Count(); ++n) {
    TWinControl* control = bands->Items(n)->Control();
    names.AddObject(control ? control->Name : AnsiString(), control);
  }
  for (int n = 0; n < bands->Count(); ++n) {
    TCoolBand* band = bands->Items(n);
    band->SetVisible(file->ReadBool("CoolBar1", BandKey(n, "Visible"), band->Visible()));
    band->SetBreak(file->ReadBool("CoolBar1", BandKey(n, "Break"), band->Break()));
    // Widths beyond any screen would only overflow the bar's arithmetic.
    const auto width = [&](const char* key, int present) {
      return std::clamp(file->ReadInteger("CoolBar1", BandKey(n, key), present), 0, kMaxBandWidth);
    };
    band->SetWidth(width("Width", band->Width()));
    band->SetMinWidth(width("MinWidth", band->MinWidth()));
    const AnsiString name = file->ReadString("CoolBar1", BandKey(n, "Control"), AnsiString());
    if (name.empty()) continue;
    int found = names.Count() - 1;
    while (found >= 0 && names[found] != name) --found;
    auto* control = found >= 0 ? static_cast<TWinControl*>(names.Objects(found)) : nullptr;
    if (!control || control == band->Control()) continue;
    // The band that shows the control now takes this band's: every control stays in one band,
    // whatever the file says.
    for (int m = 0; m < bands->Count(); ++m)
      if (m != n && bands->Items(m)->Control() == control) bands->Items(m)->SetControl(band->Control());
    band->SetControl(control);
  }
}

void SaveBandSettings(TCoolBar* bar, TIniFile* file) {
  TCoolBands* bands = bar->Bands();
  for (int n = 0; n < bands->Count(); ++n) {
    TCoolBand* band = bands->Items(n);
    file->WriteBool("CoolBar1", BandKey(n, "Visible"), band->Visible());
    file->WriteBool("CoolBar1", BandKey(n, "Break"), band->Break());
    file->WriteInteger("CoolBar1", BandKey(n, "Width"), band->Width());
    file->WriteInteger("CoolBar1", BandKey(n, "MinWidth"), band->MinWidth());
    file->WriteString("CoolBar1", BandKey(n, "Control"), band->Control() ? band->Control()->Name : AnsiString());
  }
}

void TFormMain::LoadSettings() {
  TIniFile ini(IniReadPath);
  const int treeWidth = ini.ReadInteger("TreeView1", "Width", TreeView1->Width());
  if (treeWidth >= 0) TreeView1->SetWidth(std::min(treeWidth, Width() - 32));
  const bool diagram = ini.ReadBool("ScrollBox1FB", "Visible", DiagramBox->Visible());
  DiagramBox->SetVisible(diagram);
  Splitter2->SetVisible(diagram);
  LoadBandSettings(CoolBar1, &ini);
  FileLog->SetVisible(ini.ReadBool("DEBUG", "PrintLog", false));
  if (!ini.ReadBool("FUTURE", "Graph", true))
    while (TabControl1->Tabs()->Count() > 3) TabControl1->Tabs()->Delete(3);

  ApplyFontText(TreeView1->Font(), ini.ReadString("TreeView1", "Font", AnsiString()));
  TFont listFont;
  listFont.Assign(*StringGridEx1->Font());
  if (ApplyFontText(&listFont, ini.ReadString("StringGridEx1", "Font", AnsiString()))) SetListFonts(&listFont);
  ApplyFontText(Font(), ini.ReadString("FormMain", "Font", AnsiString()));
  SetFontToChildren(this, Font());
  ApplyFontText(DiagramBox->Font(), ini.ReadString("ScrollBox1FB", "Font", AnsiString()));

  if (const TColor c = ini.ReadInteger("TreeView1", "Color", TreeView1->Color()); c != TreeView1->Color())
    TreeView1->SetColor(c);
  if (const TColor c = ini.ReadInteger("FormMain", "Color", Color()); c != Color()) {
    SetColor(c);
    SetColorToChildren(this, c);
  }
  if (const TColor c = ini.ReadInteger("ScrollBox1FB", "Color", DiagramBox->Color()); c != DiagramBox->Color())
    DiagramBox->SetColor(c);
  if (const TColor c = ini.ReadInteger("StringGridEx1", "Color", StringGridEx1->Color()); c != StringGridEx1->Color())
    StringGridEx1->SetColor(c);
  if (const TColor c = ini.ReadInteger("StringGridEx1", "FixedColor", StringGridEx1->FixedColor());
      c != StringGridEx1->FixedColor())
    StringGridEx1->SetFixedColor(c);
  if (const TColor c = ini.ReadInteger("StringGridEx1", "StripeColor", StringGridEx1->StripeColor());
      c != StringGridEx1->StripeColor())
    StringGridEx1->SetStripeColor(c);
  MaxPoint = ini.ReadInteger("Graph", "MaxPoint", MaxPoint);
  SumCardMaxPrint = ini.ReadInteger("SumCard", "MaxPrint", SumCardMaxPrint);
}

void TFormMain::SaveSettings() {
  const int attr = FileGetAttr(IniWritePath);
  if (attr > 0 && (attr & faReadOnly)) {
    if (const int err = FileSetAttr(IniWritePath, attr & ~faReadOnly)) {
      WriteLog(SJ("設定ファイル %s を書き込み可能にできません (%s)").c_str(), IniWritePath.c_str(), std::strerror(err));
      return;
    }
  }
  // Read whole first: keys the window does not write (the read-only ones, anything the user
  // added) are written back as they were.
  TIniFile ini(IniWritePath);
  ini.WriteInteger("TreeView1", "Width", TreeView1->Width());
  ini.WriteBool("ScrollBox1FB", "Visible", DiagramBox->Visible());
  SaveBandSettings(CoolBar1, &ini);
  ini.WriteString("TreeView1", "Font", FontToText(TreeView1->Font(), Font()));
  ini.WriteString("StringGridEx1", "Font", FontToText(StringGridEx1->Font(), Font()));
  ini.WriteString("FormMain", "Font", FontToText(Font(), nullptr));
  ini.WriteString("ScrollBox1FB", "Font", FontToText(DiagramBox->Font(), Font()));
  ini.WriteInteger("TreeView1", "Color", TreeView1->Color());
  ini.WriteInteger("FormMain", "Color", Color());
  ini.WriteInteger("ScrollBox1FB", "Color", DiagramBox->Color());
  ini.WriteInteger("StringGridEx1", "Color", StringGridEx1->Color());
  ini.WriteInteger("StringGridEx1", "FixedColor", StringGridEx1->FixedColor());
  ini.WriteInteger("StringGridEx1", "StripeColor", StringGridEx1->StripeColor());
  if (!ini.UpdateFile()) WriteLog("%s", ini.ErrorText().c_str());
}
