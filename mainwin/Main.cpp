// The program's entry: the application, the forms of the start-up, then the message loop.
#include <exception>

#include "mainwin/Startup.h"
#include "platform/Forms.h"

int main(int argc, char** argv) {
  InitApplication(argc, argv);
  try {
    CreateStartupForms();
    Application->Run();
  } catch (const std::exception& e) {
    Application->ShowException(e.what());
  }
  DoneApplication();
  return 0;
}
