#include "mainwin/MainForm.h"

TFormMain* FormMain = nullptr;

TFormMain::TFormMain(TComponent* owner) : TForm(owner) {
  SetCaption("Cinderwatch");
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 800, 600);
}
