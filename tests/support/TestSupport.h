// Shared helpers of the test programs.
#pragma once

#include <functional>
#include <string>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// Installs a modal handler for the life of the scope; the previous one comes back after.
class ModalHandlerScope {
 public:
  explicit ModalHandlerScope(std::function<void(TForm*)> handler);
  ~ModalHandlerScope();
  ModalHandlerScope(const ModalHandlerScope&) = delete;
  ModalHandlerScope& operator=(const ModalHandlerScope&) = delete;

 private:
  std::function<void(TForm*)> saved_;
};

// The first button on the form (at any depth) whose caption is caption, or null.
TButton* FindButton(TWinControl* parent, const AnsiString& caption);
// Clicks that button; false when there is none.
bool PressButton(TForm* form, const AnsiString& caption);

// Runs the user-interface thread's pending work until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// A fresh, empty directory for the calling test, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Readable text of Shift_JIS bytes for failure messages.
std::string Show(const AnsiString& sjis);

// The bytes of a file (empty when it cannot be read).
std::string ReadFileBytes(const std::string& path);
// Writes the bytes as the whole file; a failure fails the calling test.
void WriteFileBytes(const std::string& path, const std::string& bytes);
