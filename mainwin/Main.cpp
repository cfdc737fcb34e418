// The program's entry: the start-up sequence, then the message loop.
#include <exception>
#include <filesystem>

#include "foundation/LogForm.h"
#include "mainwin/MainForm.h"
#include "platform/Forms.h"

int main(int argc, char** argv) {
  InitApplication(argc, argv);
  try {
    Application->SetTitle("Cinderwatch");
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) Application->HelpFile = exe.replace_extension(".hlp").string();
    Application->CreateForm(FormMain);
    Application->CreateForm(FormLog);
    Application->Run();
  } catch (const std::exception& e) {
    Application->ShowException(e.what());
  }
  DoneApplication();
  return 0;
}
