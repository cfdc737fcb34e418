// The about box: a picture, the program's name and version, a line that opens the maker's web
// page, and "閉じる". Made per use with the application as owner.
#pragma once

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Image.h"
#include "platform/StdCtrls.h"

class TAboutBox : public TForm {
 public:
  explicit TAboutBox(TComponent* owner);

  TImage* Image1;
  TPanel* Panel1;
  TLabel* ProductName;
  TLabel* Version;
  TLabel* Label1;
  TButton* OKButton;

  void FormShow(TObject* sender);
  void Label1Click(TObject* sender);
  void Image1Click(TObject* sender);
};

// The maker's web page that the about box opens.
extern const char* const kMakerAddress;
