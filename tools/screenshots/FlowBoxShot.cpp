// The condition diagram as the main window's condition pane shows it: a diagram taking over a
// placeholder scroll box at the bottom of a form, one comparison selected.
#include "folders/FlowBox.h"
#include "platform/StdCtrls.h"
#include "tools/screenshots/Shots.h"

bool ShotFlowBox(const std::string& file) {
  TForm form(Application);
  form.SetCaption(SJ("検索条件図"));
  form.SetBounds(40, 40, 560, 150);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetBounds(8, 8, 540, 16);
  label->SetCaption(SJ("(A = 1 OR B = 2) AND NOT C LIKE 'x%'"));
  auto* holder = new TScrollBox(&form);
  holder->Name = "ScrollBox1";
  holder->SetParent(&form);
  holder->SetBounds(0, 30, 560, 120);
  holder->SetAlign(alBottom);
  holder->SetColor(clWindow);

  auto* box = new TFlowBox(Application);
  box->Assign(holder);
  delete holder;
  box->SetOrigin(20, 5);
  box->SetExpression("(A = 1 OR B = 2) AND NOT C LIKE 'x%'");
  CLgNode* first = box->GetRoot()->First->First;
  const TRect r = first->Box;
  box->PaintBox()->PressMouse(mbLeft, ssLeft, r.Left + 2, r.Top + 2);
  box->PaintBox()->ReleaseMouse(mbLeft, 0, r.Left + 2, r.Top + 2);
  const bool saved = SaveFormPicture(&form, file);
  delete box;
  return saved;
}
