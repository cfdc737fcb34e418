#include "mainwin/Abount.h"

#include <cmath>

#include "platform/ShellApi.h"

const char* const kMakerAddress = "https://cinderwatch.example/";

namespace {

// A night sky over a glowing ember field with a few rising sparks.
TBitmap AboutPicture() {
  TBitmap picture(540, 360);
  TCanvas* c = picture.Canvas();
  c->Pen()->SetStyle(psClear);
  for (int y = 0; y < 360; y += 4) {
    const double t = y / 359.0;
    const int r = static_cast<int>(12 + 150 * t * t);
    const int g = static_cast<int>(18 + 40 * t * t);
    const int b = static_cast<int>(70 - 50 * t);
    c->Brush()->SetColor(static_cast<TColor>(r | g << 8 | b << 16));
    c->FillRect(Rect(0, y, 540, y + 4));
  }
  // The same sparks on every run: a small linear congruential sequence.
  uint32_t seed = 20240611;
  auto next = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<uint32_t>(n));
  };
  for (int i = 0; i < 90; ++i) {
    const int x = next(540), y = 120 + next(240);
    const int size = 1 + next(3);
    const int heat = 120 + next(136);
    c->Brush()->SetColor(static_cast<TColor>(255 | heat << 8 | (heat / 4) << 16));
    c->Ellipse(x, y, x + size + 1, y + size + 1);
  }
  // A watch face over the embers.
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetColor(static_cast<TColor>(0x60C0FF));
  c->Pen()->SetWidth(3);
  c->Brush()->SetStyle(bsClear);
  c->Ellipse(210, 70, 330, 190);
  for (int h = 0; h < 12; ++h) {
    const double a = h * M_PI / 6;
    c->MoveTo(270 + static_cast<int>(50 * std::sin(a)), 130 - static_cast<int>(50 * std::cos(a)));
    c->LineTo(270 + static_cast<int>(56 * std::sin(a)), 130 - static_cast<int>(56 * std::cos(a)));
  }
  c->MoveTo(270, 130);
  c->LineTo(270, 92);
  c->MoveTo(270, 130);
  c->LineTo(298, 142);
  return picture;
}

}  // namespace

TAboutBox::TAboutBox(TComponent* owner) : TForm(owner) {
  Name = "AboutBox";
  SetCaption(SJ("バージョン情報"));
  SetBorderStyle(bsToolWindow);
  SetPosition(poOwnerFormCenter);
  SetColor(clNavy);
  SetClientWidth(541);
  SetClientHeight(430);

  Image1 = new TImage(this);
  Image1->SetParent(this);
  Image1->SetAutoSize(true);
  Image1->SetPicture(AboutPicture());
  Image1->SetLeft(0);
  Image1->SetTop(0);
  Image1->OnClick = [this](TObject* s) { Image1Click(s); };

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBevelOuter(bvRaised);
  Panel1->SetBevelInner(bvLowered);
  Panel1->SetColor(clNavy);
  Panel1->SetBounds(8, 364, 525, 28);
  auto label = [this](TWinControl* parent, int pixels) {
    auto* l = new TLabel(this);
    l->SetParent(parent);
    l->Font()->SetColor(clWhite);
    l->Font()->SetStyle(fsBold);
    l->Font()->SetPixelSize(pixels);
    return l;
  };
  ProductName = label(Panel1, 16);
  ProductName->SetTop(5);
  Version = label(Panel1, 16);
  Version->SetTop(5);

  Label1 = label(this, 15);
  Label1->SetAutoSize(false);
  Label1->SetAlignment(taCenter);
  Label1->SetBounds(8, 401, 442, 18);
  Label1->SetCaption(SJ("Cinderwatch のページを開く"));
  Label1->SetCursor(crHandPoint);
  Label1->OnClick = [this](TObject* s) { Label1Click(s); };

  OKButton = new TButton(this);
  OKButton->SetParent(this);
  OKButton->SetCaption(SJ("閉じる"));
  OKButton->SetBounds(458, 397, 75, 25);
  OKButton->Default = true;
  OKButton->ModalResult = mrOk;

  OnShow = [this](TObject* s) { FormShow(s); };
}

void TAboutBox::FormShow(TObject* sender) {
  ProductName->SetCaption("Cinderwatch");
  Version->SetCaption("Version 1.2.0 (1.1.9)");
  const int left = (Panel1->Width() - ProductName->Width() - Version->Width() - 8) / 2;
  ProductName->SetLeft(left);
  Version->SetLeft(left + ProductName->Width() + 8);
}

void TAboutBox::Label1Click(TObject* sender) { ShellOpen(kMakerAddress); }

void TAboutBox::Image1Click(TObject* sender) { Close(); }
