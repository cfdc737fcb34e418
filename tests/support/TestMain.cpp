// main() of every test program: headless Qt, the application object, and modal runs that fail
// the test instead of waiting for a user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Forms.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!getenv("XDG_RUNTIME_DIR")) {
    std::string dir = "/tmp/cw-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  ::testing::InitGoogleTest(&argc, argv);
  InitApplication(argc, argv);
  Application->TestMode = true;
  Application->OnUnhandledModal = [](TForm* form) {
    ADD_FAILURE() << "a modal form was left to the user: \"" << SjisToUtf8(form->Caption()) << "\"";
  };
  const int result = RUN_ALL_TESTS();
  DoneApplication();
  return result;
}
