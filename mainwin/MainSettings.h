// The settings file of the main window and the command line that names it.
//
// The file's name: a first argument that does not begin with "-" names the base of the settings
// and the folder file (an absolute path is a name; a relative one is taken from the current
// directory); without one the base is "cinderwatch" (the program's name) in the user's
// configuration folder ($XDG_CONFIG_HOME, else ~/.config, sub-folder "cinderwatch"). The
// settings are the base with the extension ".ini", the folder file the base with ".fld".
//
// The file holds Shift_JIS text in sections named after the window's components ("TreeView1",
// "CoolBar1", "StringGridEx1", "FormMain", "ScrollBox1FB") and four sections that are only read
// ("DEBUG", "FUTURE", "Graph", "SumCard"). Writing rewrites the whole file through a temporary
// file, keeping every key the window does not write.
#pragma once

#include <string>

#include "platform/AnsiString.h"

class TCoolBar;
class TIniFile;

// The settings file that is written. Makes the configuration folder when it names one there.
AnsiString MakeIniFileName();
// The user's configuration folder of the program ("$XDG_CONFIG_HOME/cinderwatch" or
// "~/.config/cinderwatch"), without a trailing "/".
std::string ConfigFolder();
// Whether an argument is the switch "-" name in any letter case ("-DEBUG" for "debug").
bool HasCmdLineSwitch(const char* name);

// The bands of the cool bar: visibility, row break, widths and the name of the control each shows.
void LoadBandSettings(TCoolBar* bar, TIniFile* file);
void SaveBandSettings(TCoolBar* bar, TIniFile* file);
