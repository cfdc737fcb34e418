#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/SysUtils.h"

ModalHandlerScope::ModalHandlerScope(std::function<void(TForm*)> handler) : saved_(Application->ModalHandler) {
  Application->ModalHandler = std::move(handler);
}

ModalHandlerScope::~ModalHandlerScope() { Application->ModalHandler = saved_; }

TButton* FindButton(TWinControl* parent, const AnsiString& caption) {
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(c); b && b->Caption() == caption) return b;
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (TButton* b = FindButton(w, caption)) return b;
  }
  return nullptr;
}

bool PressButton(TForm* form, const AnsiString& caption) {
  TButton* b = FindButton(form, caption);
  if (!b) return false;
  b->Click();
  return true;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const uint32_t start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > static_cast<uint32_t>(timeoutMs)) return false;
    Application->ProcessMessages();
    Sleep(1);
  }
  return true;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "cwtest-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (!made) ADD_FAILURE() << "cannot make a temporary directory";
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string Show(const AnsiString& sjis) { return SjisToUtf8(sjis); }

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  out.close();
  if (!out) ADD_FAILURE() << "cannot write " << path;
}
