#include "views/CvBcLabel.h"

#include <algorithm>
#include <string_view>

namespace {

// The NW-7 characters after the digits, in the order of their patterns below.
constexpr std::string_view kNw7Letters = "ABCD.+:/$-";

// The seven elements of each character (0-9, then kNw7Letters), first element first: '1' wide.
constexpr const char* kNw7Patterns[20] = {
    "0000011", "0000110", "0001001", "1100000", "0010010", "1000010", "0100001",
    "0100100", "0110000", "1001000",  // 0-9
    "0011010", "0101001", "0001011", "0001110",  // A B C D
    "1010100", "0010101", "1000101", "1010001",  // . + : /
    "0011000", "0001100",  // $ -
};

// The pattern index of a character, or -1 when NW-7 cannot encode it.
int Nw7Index(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const size_t at = kNw7Letters.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at) + 10;
}

}  // namespace

// ---- TCvBarcode ----

TCvBarcode::TCvBarcode(TCanvas* canvas)
    : canvas_(canvas), xres_(canvas->PixelsPerInchX()), yres_(canvas->PixelsPerInchY()) {
  const double dotsPerMm = xres_ / 25.4;
  barHeight_ = static_cast<int>(5.0 * dotsPerMm);
  narrow_ = std::max(1, static_cast<int>(0.25 * dotsPerMm));
  wide_ = 3 * narrow_;
}

void TCvBarcode::Space(int width, int count) { x_ += width * count; }

void TCvBarcode::Bar(int width, int height, int count) {
  const int from = x_;
  x_ += width * count;
  if (measuring_) return;
  TBrush* brush = canvas_->Brush();
  const TColor color = brush->Color();
  const TBrushStyle style = brush->Style();
  brush->SetColor(clBlack);
  brush->SetStyle(bsSolid);
  canvas_->FillRect(Rect(from, y_, x_, y_ + height));
  brush->SetColor(color);
  brush->SetStyle(style);
}

void TCvBarcode::QuietZone() {
  Space(narrow_, 5);
  Space(wide_, 2);
}

bool TCvBarcode::Character(const AnsiString& glyph) {
  if (!measuring_ && ShowText) {
    TBrush* brush = canvas_->Brush();
    const TBrushStyle style = brush->Style();
    brush->SetColor(clWhite);
    brush->SetStyle(bsSolid);
    canvas_->TextOut(x_, y_ + barHeight_, glyph);
    brush->SetStyle(style);
  }
  const int index = glyph.size() == 1 ? Nw7Index(glyph[0]) : -1;
  if (index < 0) return false;
  Space(narrow_, 1);
  const char* pattern = kNw7Patterns[index];
  for (int e = 0; e < 7; ++e) {
    const int width = pattern[e] == '1' ? wide_ : narrow_;
    if (e % 2 == 0)
      Bar(width, barHeight_, 1);
    else
      Space(width, 1);
  }
  return true;
}

int TCvBarcode::Draw(int x, int y, const AnsiString& text) {
  canvas_->Font()->SetColor(clBlack);
  canvas_->Brush()->SetStyle(bsClear);
  x_ = x;
  y_ = y;
  QuietZone();
  Character("A");
  for (size_t i = 0; i < text.size(); ++i) {
    // A double-byte character is shown whole under the bars before the drawing stops at it.
    const bool pair = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    if (!Character(text.substr(i, pair ? 2 : 1))) return -1;
  }
  Character("A");
  QuietZone();
  return 0;
}

void TCvBarcode::Measure(const AnsiString& text, int& width, int& height) {
  measuring_ = true;
  Draw(0, 0, text);
  measuring_ = false;
  width = x_;
  height = barHeight_ + (ShowText ? canvas_->TextHeight("0") : 0);
}

void TCvBarcode::Scale(double heightFactor, double widthFactor) {
  barHeight_ = static_cast<int>(barHeight_ * heightFactor);
  narrow_ = std::max(1, static_cast<int>(narrow_ * widthFactor));
  wide_ = 3 * narrow_;
}

// ---- TCvBcLabel ----

TCvBcLabel::TCvBcLabel(TComponent* owner) : TLabel(owner) {
  SetOwnerDraw();
  SetAutoSize(false);
  SetColor(clWhite);
  Font()->SetSize(8);
}

TCvBcLabel::~TCvBcLabel() = default;

TCvBarcode* TCvBcLabel::Renderer() {
  if (!renderer_) {
    renderer_ = std::make_unique<TCvBarcode>(Canvas());
    renderer_->ShowText = true;
  }
  return renderer_.get();
}

void TCvBcLabel::FitToBarcode() {
  TCvBarcode* bc = Renderer();
  Canvas()->Font()->Assign(*Font());
  int w = 0, h = 0;
  bc->Measure(Caption(), w, h);
  SetBounds(Left(), Top(), w, h);
}

void TCvBcLabel::CaptionChanged() { FitToBarcode(); }

void TCvBcLabel::FontChanged() {
  TLabel::FontChanged();
  FitToBarcode();
}

void TCvBcLabel::Paint() {
  FitToBarcode();
  TCanvas* c = Canvas();
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, Width(), Height()));
  Renderer()->Draw(0, 0, Caption());
}

void TCvBcLabel::PaintTo(TCanvas* canvas, const TRect& r) {
  TCvBarcode bc(canvas);
  bc.ShowText = true;
  canvas->Font()->Assign(*Font());
  int w = 0, h = 0;
  bc.Measure(Caption(), w, h);
  if (w > 0 && h > 0) bc.Scale(static_cast<double>(r.Height()) / h, static_cast<double>(r.Width()) / w);
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect(r);
  bc.Draw(r.Left, r.Top, Caption());
}

void TCvBcLabel::Assign(TControl* source) {
  auto* label = dynamic_cast<TLabel*>(source);
  if (!label) return;
  SetParent(label->Parent());
  SetAlign(label->Align());
  SetAlignment(label->Alignment());
  SetAnchors(label->Anchors());
  SetAutoSize(label->AutoSize());
  SetCaption(label->Caption());
  SetColor(label->Color());
  SetEnabled(label->Enabled());
  Font()->Assign(*label->Font());
  SetPopupMenu(label->PopupMenu());
  ShowHint = label->ShowHint;
  Tag = label->Tag;
  SetBounds(label->Left(), label->Top(), label->Width(), label->Height());
  SetVisible(label->Visible());
  OnClick = label->OnClick;
  OnDblClick = label->OnDblClick;
  OnMouseDown = label->OnMouseDown;
  OnMouseMove = label->OnMouseMove;
  OnMouseUp = label->OnMouseUp;
  OnStartDrag = label->OnStartDrag;
  OnDragOver = label->OnDragOver;
  OnDragDrop = label->OnDragDrop;
  OnEndDrag = label->OnEndDrag;
}
