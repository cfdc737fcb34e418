// Settings files: sections in brackets, one "key=value" line per key, Shift_JIS bytes.
#pragma once

#include <string>
#include <vector>

#include "platform/AnsiString.h"
#include "platform/Classes.h"

// A settings file held in memory. It is read whole when made; reads and writes work on the
// memory, and UpdateFile writes the whole file back. Section and key names match without regard
// to the case of ASCII letters. Everything the program does not touch (other keys, comments,
// blank lines, their order) is written back as it was read; a new key goes after the last key of
// its section, a new section at the end. Values are read as they stand after the "=", without
// the blanks around them.
class TIniFile : public TObject {
 public:
  explicit TIniFile(const std::string& path);
  const std::string& FileName() const { return path_; }

  // A missing key, or a text that is no number (decimal, or hexadecimal after "$" or "0x"), gives
  // the default; a boolean is any number other than 0.
  int ReadInteger(const AnsiString& section, const AnsiString& key, int def) const;
  bool ReadBool(const AnsiString& section, const AnsiString& key, bool def) const;
  AnsiString ReadString(const AnsiString& section, const AnsiString& key, const AnsiString& def) const;
  bool SectionExists(const AnsiString& section) const;
  bool ValueExists(const AnsiString& section, const AnsiString& key) const;

  void WriteInteger(const AnsiString& section, const AnsiString& key, int value);
  void WriteBool(const AnsiString& section, const AnsiString& key, bool value);  // "1" or "0"
  // A value is one line: line breaks in it become blanks. A section or key name that would read
  // back as something else (a key with "=", one beginning with ";" or "[", a line break) is not
  // written.
  void WriteString(const AnsiString& section, const AnsiString& key, const AnsiString& value);

  // Writes the whole file: into a new file beside it, which then takes the old one's place, so a
  // failed write leaves the old file whole. False, with the reason in ErrorText, when it failed;
  // also when the file existed but could not be read (it is then not overwritten).
  bool UpdateFile();
  const AnsiString& ErrorText() const { return error_; }
  bool Modified() const { return modified_; }

  // The file's bytes as UpdateFile writes them, and the contents taken from bytes as if read.
  std::string Bytes() const;
  void SetBytes(const std::string& bytes);

 private:
  struct Line {
    std::string text;     // the line as read (or as made for a written key)
    bool section = false; // "[name]"
    bool key = false;     // "name=value"
    AnsiString name;      // the section's or key's name
    AnsiString value;
  };
  // Index of the section's header line, -1 when missing; keys of the first section of that name.
  int FindSection(const AnsiString& section) const;
  int FindKey(const AnsiString& section, const AnsiString& key) const;
  std::string path_;
  std::vector<Line> lines_;
  AnsiString error_;
  bool unreadable_ = false;
  bool modified_ = false;
};
