#include "platform/Chart.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>

#include "platform/QtBridge.h"

// ---- Settings ----

void TChartPart::Changed() {
  if (chart_) chart_->Invalidate();
}

void TChartAxis::SetTitle(const AnsiString& t) {
  title_ = t;
  Changed();
}

void TChartAxis::SetVisible(bool v) {
  visible_ = v;
  Changed();
}

void TChartAxis::SetLabelsAngle(int degrees) {
  degrees %= 360;
  if (degrees < 0) degrees += 360;
  angle_ = (degrees + 45) / 90 * 90 % 360;
  Changed();
}

void TChartAxis::SetLabelStyle(TAxisLabelStyle s) {
  style_ = s;
  Changed();
}

void TChartLegend::SetVisible(bool v) {
  visible_ = v;
  Changed();
}

void TChartLegend::SetAlignment(TLegendAlignment a) {
  alignment_ = a;
  Changed();
}

void TChartLegend::SetColorWidth(int w) {
  colorWidth_ = std::clamp(w, 0, 1000);
  Changed();
}

TSeriesMarks::TSeriesMarks(TChart* chart) : TChartPart(chart) {}

void TSeriesMarks::SetVisible(bool v) {
  visible_ = v;
  Changed();
}

void TSeriesMarks::SetStyle(TSeriesMarksStyle s) {
  style_ = s;
  Changed();
}

void TSeriesMarks::SetArrowVisible(bool v) {
  arrowVisible_ = v;
  Changed();
}

void TSeriesMarks::SetArrowLength(int n) {
  arrowLength_ = std::clamp(n, 0, 1000);
  Changed();
}

// ---- Series ----

TChartSeries::TChartSeries(TComponent* owner) : TComponent(owner), marks_(nullptr) {}

TChartSeries::~TChartSeries() {
  if (chart_) chart_->RemoveSeries(this);
}

void TChartSeries::Changed() {
  if (chart_) chart_->Invalidate();
}

void TChartSeries::SetTitle(const AnsiString& t) {
  title_ = t;
  Changed();
}

void TChartSeries::SetSeriesColor(TColor c) {
  color_ = c;
  Changed();
}

void TChartSeries::SetColorEachPoint(bool v) {
  colorEachPoint_ = v;
  Changed();
}

TColor TChartSeries::ValueColor(int i) const {
  const Point& p = points_.at(i);
  if (p.color != clChartDefault) return p.color;
  return colorEachPoint_ ? TChart::DefaultColor(i) : color_;
}

int TChartSeries::Add(double value, const AnsiString& label, TColor color) {
  points_.push_back({std::isfinite(value) ? value : 0.0, label, color});
  Changed();
  return Count() - 1;
}

void TChartSeries::Clear() {
  points_.clear();
  Changed();
}

namespace {

// A number as a label shows it: at most 15 significant digits, and no trace of binary fractions.
AnsiString NumberText(double v) {
  if (std::fabs(v) < 1e-12) v = 0;
  return FloatToStr(v);
}

AnsiString PercentText(double share) { return NumberText(std::round(share * 10000) / 100) + "%"; }

}  // namespace

double TChartSeries::Share(int i) const {
  // Scaled by the largest value first, so that the sum of huge values stays finite.
  double largest = 0;
  for (const Point& q : points_) largest = std::max(largest, std::fabs(q.value));
  if (largest <= 0) return 0;
  double total = 0;
  for (const Point& q : points_) total += std::fabs(q.value) / largest;
  return std::fabs(points_.at(i).value) / largest / total;
}

AnsiString TChartSeries::MarkText(int i) {
  const Point& p = points_.at(i);
  double total = 0;
  for (const Point& q : points_) total += std::fabs(q.value);
  const AnsiString value = NumberText(p.value);
  const AnsiString label = p.label.empty() ? value : p.label;
  const AnsiString percent = PercentText(Share(i));
  const AnsiString ofTotal = percent + " / " + NumberText(total);
  switch (marks_.Style()) {
    case smsLabel: return label;
    case smsValue: return value;
    case smsPercent: return percent;
    case smsLabelValue: return label + " " + value;
    case smsLabelPercent: return label + " " + percent;
    case smsPercentTotal: return ofTotal;
    case smsLabelPercentTotal: return label + " " + ofTotal;
  }
  return label;
}

void TBarSeries::SetMultiBar(TMultiBar m) {
  multiBar_ = m;
  if (TChart* chart = ParentChart())
    for (TChartSeries* s : chart->series_)
      if (auto* bar = dynamic_cast<TBarSeries*>(s)) bar->multiBar_ = m;
  Changed();
}

void TBarSeries::SetBarStyle(TBarStyle s) {
  style_ = s;
  Changed();
}

void TBarSeries::SetDark3D(bool v) {
  dark3D_ = v;
  Changed();
}

void TBarSeries::SetSideMargins(bool v) {
  sideMargins_ = v;
  Changed();
}

void TLineSeries::SetLinePenWidth(int w) {
  penWidth_ = std::clamp(w, 0, 100);
  Changed();
}

void TPieSeries::SetRotationAngle(int degrees) {
  rotation_ = ((degrees % 360) + 360) % 360;
  Changed();
}

std::vector<double> TPieSeries::Sweeps() const {
  std::vector<double> out(Count(), 0.0);
  for (int i = 0; i < Count(); ++i) out[i] = Share(i) * 360.0;
  return out;
}

// ---- The chart ----

TChart::TChart(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 400, 250);
  SetColor(clWhite);
  title_.OnChange = [this] { Invalidate(); };
  foot_.OnChange = [this] { Invalidate(); };
}

TChart::~TChart() {
  title_.OnChange = nullptr;
  foot_.OnChange = nullptr;
  for (TChartSeries* s : series_) {
    s->chart_ = nullptr;
    s->marks_.chart_ = nullptr;
  }
}

void TChart::AddSeries(TChartSeries* s) {
  if (!s) return;
  if (s->chart_) s->chart_->RemoveSeries(s);
  series_.push_back(s);
  s->chart_ = this;
  s->marks_.chart_ = this;
  Invalidate();
}

void TChart::RemoveSeries(TChartSeries* s) {
  auto it = std::find(series_.begin(), series_.end(), s);
  if (it == series_.end()) return;
  series_.erase(it);
  s->chart_ = nullptr;
  s->marks_.chart_ = nullptr;
  Invalidate();
}

void TChart::RemoveAllSeries() {
  while (!series_.empty()) RemoveSeries(series_.back());
}

void TChart::SetView3D(bool v) {
  view3D_ = v;
  Invalidate();
}

void TChart::SetChart3DPercent(int v) {
  depth_ = std::clamp(v, 1, 100);
  Invalidate();
}

void TChart::SetRotation(int v) {
  rotation_ = std::clamp(v, 0, 360);
  Invalidate();
}

void TChart::SetElevation(int v) {
  elevation_ = std::clamp(v, 0, 360);
  Invalidate();
}

void TChart::SetZoom(int v) {
  zoom_ = std::clamp(v, 1, 1000);
  Invalidate();
}

void TChart::SetOrthogonal(bool v) {
  orthogonal_ = v;
  Invalidate();
}

TColor TChart::DefaultColor(int i) {
  static const TColor colors[] = {clRed,    clGreen,  clYellow, clBlue, clWhite,    clGray,     clFuchsia, clTeal,
                                  clNavy,   clMaroon, clLime,   clOlive, clPurple, clSilver,   clAqua,    clBlack};
  constexpr int n = sizeof colors / sizeof colors[0];
  return colors[((i % n) + n) % n];
}

void TChart::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  Draw(c, Rect(0, 0, ClientWidth(), ClientHeight()));
}

// ---- Drawing ----

namespace {

TColor Shade(TColor c, int percent) {
  const uint32_t u = static_cast<uint32_t>(c) & 0xFFFFFF;
  auto part = [&](int shift) { return std::min(255u, ((u >> shift) & 0xFF) * percent / 100) << shift; };
  return static_cast<TColor>(part(0) | part(8) | part(16));
}

// Towards white by percent.
TColor Lighter(TColor c, int percent) {
  const uint32_t u = static_cast<uint32_t>(c) & 0xFFFFFF;
  auto part = [&](int shift) {
    const uint32_t v = (u >> shift) & 0xFF;
    return (v + (255 - v) * percent / 100) << shift;
  };
  return static_cast<TColor>(part(0) | part(8) | part(16));
}

struct Axis {
  double low = 0, high = 1, step = 1;
};

Axis NiceAxis(double lo, double hi) {
  Axis a;
  lo = std::min(lo, 0.0);
  hi = std::max(hi, 0.0);
  if (!(hi - lo > 0) || !std::isfinite(hi - lo)) {
    if (!std::isfinite(hi - lo)) lo = -1e300, hi = 1e300;
    else hi = lo + 1;
  }
  const double raw = (hi - lo) / 5;
  const double mag = std::pow(10.0, std::floor(std::log10(raw)));
  const double f = raw / mag;
  a.step = (f <= 1 ? 1 : f <= 2 ? 2 : f <= 5 ? 5 : 10) * mag;
  a.low = std::floor(lo / a.step) * a.step;
  a.high = std::ceil(hi / a.step) * a.step;
  if (!(a.high > a.low)) a.high = a.low + a.step;
  return a;
}

}  // namespace

// One drawing of a chart onto a canvas.
struct ChartPainter {
  ChartPainter(TChart* ch, TCanvas* canvas) : chart(ch), c(canvas) {}
  TChart* chart;
  TCanvas* c;
  TRect area;
  int th = 12;      // line height of the canvas font
  double k = 1;     // pixels per screen pixel: text size against the screen's
  std::vector<TChartSeries*> series;

  int Px(double screenPixels) const { return static_cast<int>(std::lround(screenPixels * k)); }

  void Run(const TRect& r) {
    area = r;
    series = chart->series_;
    th = std::max(1, c->TextHeight("0"));
    k = std::max(1.0, th / 15.0);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(chart->Color());
    c->FillRect(r);
    InflateRect(area, -Px(6), -Px(6));
    Titles();
    Legend();
    chart->plot_ = TRect{};
    chart->low_ = chart->high_ = 0;
    if (area.Empty() || series.empty()) return;
    if (series[0]->SeriesKind() == TChartSeries::skPie)
      Pie(static_cast<TPieSeries*>(series[0]));
    else
      Cartesian();
  }

  void Titles() {
    const TFontStyles style = c->Font()->Style();
    c->Font()->SetStyle(style | fsBold);
    c->Brush()->SetStyle(bsClear);
    TStrings* title = chart->Title();
    for (int i = 0; i < title->Count(); ++i) {
      const int w = c->TextWidth(title->Strings(i));
      c->TextOut(area.Left + (area.Width() - w) / 2, area.Top, title->Strings(i));
      area.Top += th;
    }
    if (title->Count()) area.Top += th / 2;
    c->Font()->SetStyle(style);
    TStrings* foot = chart->Foot();
    for (int i = foot->Count() - 1; i >= 0; --i) {
      area.Bottom -= th;
      const int w = c->TextWidth(foot->Strings(i));
      c->TextOut(area.Left + (area.Width() - w) / 2, area.Bottom, foot->Strings(i));
    }
    if (foot->Count()) area.Bottom -= th / 2;
    c->Brush()->SetStyle(bsSolid);
  }

  // The legend names the series, or the slices of a pie.
  void Legend() {
    TChartLegend* legend = chart->Legend();
    if (!legend->Visible() || series.empty()) return;
    std::vector<std::pair<AnsiString, TColor>> entries;
    if (series[0]->SeriesKind() == TChartSeries::skPie) {
      for (int i = 0; i < series[0]->Count(); ++i) entries.emplace_back(series[0]->XLabel(i), series[0]->ValueColor(i));
    } else {
      for (TChartSeries* s : series) entries.emplace_back(s->Title(), s->SeriesColor());
    }
    if (entries.empty()) return;
    const int pad = Px(4), gap = Px(4), swatch = Px(legend->ColorWidth());
    std::vector<int> widths;
    int widest = 0, row = 0;
    for (auto& e : entries) {
      widths.push_back(c->TextWidth(e.first));
      widest = std::max(widest, widths.back());
      row += swatch + gap + widths.back() + 2 * gap;
    }
    const bool side = legend->Alignment() == laLeft || legend->Alignment() == laRight;
    TRect box;
    if (side) {
      const int w = std::min(pad + swatch + gap + widest + pad, area.Width() / 2);
      const int h = std::min(pad * 2 + th * static_cast<int>(entries.size()), area.Height());
      const int top = area.Top + std::max(0, (area.Height() - h) / 2);
      if (legend->Alignment() == laLeft) {
        box = Rect(area.Left, top, area.Left + w, top + h);
        area.Left += w + Px(8);
      } else {
        box = Rect(area.Right - w, top, area.Right, top + h);
        area.Right -= w + Px(8);
      }
    } else {
      const int w = std::min(row + pad, area.Width());
      const int h = th + 2 * pad;
      const int left = area.Left + (area.Width() - w) / 2;
      if (legend->Alignment() == laTop) {
        box = Rect(left, area.Top, left + w, area.Top + h);
        area.Top += h + Px(6);
      } else {
        box = Rect(left, area.Bottom - h, left + w, area.Bottom);
        area.Bottom -= h + Px(6);
      }
    }
    c->Brush()->SetColor(clWhite);
    c->Pen()->SetColor(clBlack);
    c->Pen()->SetWidth(1);
    c->Rectangle(box);
    c->SetClipRect(box);
    int x = box.Left + pad, y = box.Top + pad;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (side && y + th > box.Bottom) break;
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(entries[i].second);
      c->Rectangle(x, y + th / 6, x + swatch, y + th - th / 6);
      c->Brush()->SetStyle(bsClear);
      c->TextOut(x + swatch + gap, y, entries[i].first);
      if (side)
        y += th;
      else
        x += swatch + gap + widths[i] + 2 * gap;
    }
    c->ResetClip();
    c->Brush()->SetStyle(bsSolid);
  }

  // ---- bars, lines and areas ----

  bool horizontal = false;
  int count = 0;          // categories
  Axis axis;
  TRect plot;
  int dx = 0, dy = 0;     // the depth of the whole plot
  int slices = 1;         // depth slices: one per series one behind the other

  TMultiBar Arrangement() const {
    for (TChartSeries* s : series)
      if (auto* bar = dynamic_cast<TBarSeries*>(s)) return bar->MultiBar();
    return mbSide;
  }
  bool IsBar(const TChartSeries* s) const {
    return s->SeriesKind() == TChartSeries::skBar || s->SeriesKind() == TChartSeries::skHorizBar;
  }

  // The value of point i of series s as drawn, and where its bar starts.
  double Stacked(int s, int i, double& base) const {
    const TMultiBar m = Arrangement();
    const double v = i < series[s]->Count() ? series[s]->YValue(i) : 0;
    base = 0;
    if (!IsBar(series[s]) || (m != mbStacked && m != mbStacked100)) return v;
    double below = 0, above = 0, total = 0;
    for (size_t t = 0; t < series.size(); ++t) {
      if (!IsBar(series[t]) || i >= series[t]->Count()) continue;
      const double w = series[t]->YValue(i);
      total += std::fabs(w);
      if (static_cast<int>(t) < s) (w < 0 ? below : above) += w;
    }
    base = v < 0 ? below : above;
    double top = base + v;
    if (m == mbStacked100) {
      const double f = total > 0 && std::isfinite(total) ? 100 / total : 0;
      base *= f;
      top *= f;
    }
    return top;
  }

  void Range() {
    double lo = 0, hi = 0;
    for (size_t s = 0; s < series.size(); ++s)
      for (int i = 0; i < series[s]->Count(); ++i) {
        double base;
        const double top = Stacked(static_cast<int>(s), i, base);
        lo = std::min({lo, base, top});
        hi = std::max({hi, base, top});
      }
    axis = NiceAxis(lo, hi);
  }

  int ValuePos(double v) const {
    // Values beyond the axis (the axis of huge numbers is cut at 1E300) stay near the plot.
    double f = (v - axis.low) / (axis.high - axis.low);
    f = std::isfinite(f) ? std::clamp(f, -1.0, 2.0) : 0.0;
    if (horizontal) return plot.Left + static_cast<int>(std::lround(f * plot.Width()));
    return plot.Bottom - static_cast<int>(std::lround(f * plot.Height()));
  }
  // The start and end of category i along the label axis.
  void Slot(int i, double& from, double& to) const {
    const double len = horizontal ? plot.Height() : plot.Width();
    const double start = horizontal ? plot.Top : plot.Left;
    from = start + len * i / count;
    to = start + len * (i + 1) / count;
  }

  AnsiString CategoryLabel(int i) const {
    for (TChartSeries* s : series)
      if (i < s->Count()) return s->XLabel(i);
    return AnsiString();
  }

  void Cartesian() {
    horizontal = series[0]->SeriesKind() == TChartSeries::skHorizBar;
    for (TChartSeries* s : series) count = std::max(count, s->Count());
    Range();
    TChartAxis* valueAxis = horizontal ? chart->BottomAxis() : chart->LeftAxis();
    TChartAxis* labelAxis = horizontal ? chart->LeftAxis() : chart->BottomAxis();
    std::vector<AnsiString> ticks;
    for (double v = axis.low; v <= axis.high + axis.step / 2; v += axis.step)
      ticks.push_back(NumberText(std::round(v / axis.step) * axis.step));
    std::vector<AnsiString> labels;
    for (int i = 0; i < count; ++i) labels.push_back(CategoryLabel(i));
    auto widest = [&](const std::vector<AnsiString>& texts) {
      int w = 0;
      for (const AnsiString& t : texts) w = std::max(w, c->TextWidth(t));
      return w;
    };
    TChartAxis* left = chart->LeftAxis();
    TChartAxis* bottom = chart->BottomAxis();
    const std::vector<AnsiString>& leftTexts = left == valueAxis ? ticks : labels;
    const std::vector<AnsiString>& bottomTexts = bottom == valueAxis ? ticks : labels;
    const bool upright = bottom->LabelsAngle() % 180 != 0;
    plot = area;
    if (left->Visible()) plot.Left += std::min(widest(leftTexts), area.Width() / 3) + Px(6);
    if (!left->Title().empty()) plot.Left += th + Px(4);
    if (bottom->Visible()) plot.Bottom -= (upright ? std::min(widest(bottomTexts), area.Height() / 3) : th) + Px(6);
    if (!bottom->Title().empty()) plot.Bottom -= th + Px(4);
    plot.Right -= Px(6);
    plot.Top += th / 2;
    if (chart->View3D()) {
      const int depth = std::min(plot.Width(), plot.Height()) * chart->Chart3DPercent() / 100;
      double ax = 1, ay = 1;
      if (!chart->Orthogonal()) {
        ax = std::clamp((chart->Rotation() - 270) / 90.0, 0.0, 1.0);
        ay = std::clamp((chart->Elevation() - 270) / 90.0, 0.0, 1.0);
      }
      dx = static_cast<int>(depth * ax * 0.7);
      dy = static_cast<int>(depth * ay * 0.7);
      plot.Right -= dx;
      plot.Top += dy;
      const int zw = plot.Width() * chart->Zoom() / 100, zh = plot.Height() * chart->Zoom() / 100;
      const int cx = (plot.Left + plot.Right) / 2, cy = (plot.Top + plot.Bottom) / 2;
      plot = Rect(cx - zw / 2, cy - zh / 2, cx - zw / 2 + zw, cy - zh / 2 + zh);
    }
    if (plot.Width() < 4 || plot.Height() < 4 || count == 0) return;
    chart->plot_ = plot;
    chart->low_ = axis.low;
    chart->high_ = axis.high;
    slices = Arrangement() == mbNone && chart->View3D() ? static_cast<int>(series.size()) : 1;

    Walls();
    // Value axis: grid lines and numbers.
    c->Pen()->SetWidth(1);
    for (size_t t = 0; t < ticks.size(); ++t) {
      const int p = ValuePos(axis.low + axis.step * t);
      c->Pen()->SetColor(clSilver);
      // On the back wall, and in depth along the floor or the side wall to the axis.
      if (horizontal) {
        c->MoveTo(p, plot.Bottom);
        c->LineTo(p + dx, plot.Bottom - dy);
        c->LineTo(p + dx, plot.Top - dy);
      } else {
        c->MoveTo(plot.Left, p);
        c->LineTo(plot.Left + dx, p - dy);
        c->LineTo(plot.Right + dx, p - dy);
      }
      if (!valueAxis->Visible()) continue;
      c->Brush()->SetStyle(bsClear);
      const int w = c->TextWidth(ticks[t]);
      if (horizontal)
        AxisText(bottom, p, plot.Bottom + Px(4), ticks[t]);
      else
        c->TextOut(plot.Left - Px(4) - w, p - th / 2, ticks[t]);
      c->Brush()->SetStyle(bsSolid);
    }
    if (labelAxis->Visible()) {
      c->Brush()->SetStyle(bsClear);
      // A label that would overlap the last one drawn is left out.
      int freeFrom = INT_MIN;
      for (int i = 0; i < count; ++i) {
        double from, to;
        Slot(i, from, to);
        const int mid = static_cast<int>((from + to) / 2);
        const int extent = horizontal || upright ? th : c->TextWidth(labels[i]);
        if (mid - extent / 2 < freeFrom) continue;
        freeFrom = mid - extent / 2 + extent + Px(2);
        if (horizontal)
          c->TextOut(plot.Left - Px(4) - c->TextWidth(labels[i]), mid - th / 2, labels[i]);
        else
          AxisText(bottom, mid, plot.Bottom + Px(4), labels[i]);
      }
      c->Brush()->SetStyle(bsSolid);
    }
    AxisTitles();
    // Back series first, so that the front ones cover them.
    for (int s = static_cast<int>(series.size()) - 1; s >= 0; --s) {
      const int slice = slices > 1 ? s : 0;
      switch (series[s]->SeriesKind()) {
        case TChartSeries::skBar:
        case TChartSeries::skHorizBar: Bars(s, slice); break;
        case TChartSeries::skLine: Line(s, slice, false); break;
        case TChartSeries::skArea: Line(s, slice, true); break;
        case TChartSeries::skPie: break;
      }
    }
    for (int s = 0; s < static_cast<int>(series.size()); ++s) CartesianMarks(s, slices > 1 ? s : 0);
    // The zero line in front.
    c->Pen()->SetColor(clBlack);
    const int zero = ValuePos(0);
    if (horizontal) {
      c->MoveTo(zero, plot.Top);
      c->LineTo(zero, plot.Bottom + 1);
    } else {
      c->MoveTo(plot.Left, zero);
      c->LineTo(plot.Right + 1, zero);
    }
  }

  // A label of the bottom axis centred at x below y, turned by the axis's angle.
  void AxisText(TChartAxis* axisSide, int x, int y, const AnsiString& text) {
    const int w = c->TextWidth(text);
    switch (axisSide->LabelsAngle()) {
      case 90: c->TextOutAngle(x - th / 2, y + w, 90, text); break;
      case 180: c->TextOutAngle(x + w / 2, y + th, 180, text); break;
      case 270: c->TextOutAngle(x + th / 2, y, 270, text); break;
      default: c->TextOut(x - w / 2, y, text); break;
    }
  }

  void AxisTitles() {
    c->Brush()->SetStyle(bsClear);
    const AnsiString& leftTitle = chart->LeftAxis()->Title();
    if (!leftTitle.empty()) {
      const int w = c->TextWidth(leftTitle);
      c->TextOutAngle(area.Left, (plot.Top + plot.Bottom + w) / 2, 90, leftTitle);
    }
    const AnsiString& bottomTitle = chart->BottomAxis()->Title();
    if (!bottomTitle.empty()) {
      const int w = c->TextWidth(bottomTitle);
      c->TextOut((plot.Left + plot.Right - w) / 2, area.Bottom - th, bottomTitle);
    }
    c->Brush()->SetStyle(bsSolid);
  }

  // The frame of the plot: its back wall and, in depth, the floor and side.
  void Walls() {
    c->Pen()->SetColor(clGray);
    c->Pen()->SetWidth(1);
    c->Brush()->SetStyle(bsSolid);
    if (dx || dy) {
      c->Brush()->SetColor(0xF0F0F0);
      const TPoint side[] = {{plot.Left, plot.Top}, {plot.Left + dx, plot.Top - dy},
                             {plot.Left + dx, plot.Bottom - dy}, {plot.Left, plot.Bottom}};
      c->Polygon(side, 4);
      const TPoint floor[] = {{plot.Left, plot.Bottom}, {plot.Left + dx, plot.Bottom - dy},
                              {plot.Right + dx, plot.Bottom - dy}, {plot.Right, plot.Bottom}};
      c->Polygon(floor, 4);
    }
    c->Brush()->SetColor(clWhite);
    c->Rectangle(plot.Left + dx, plot.Top - dy, plot.Right + dx + 1, plot.Bottom - dy + 1);
  }

  // The depth offset of the front of a slice, and the depth of one slice.
  void SliceOffset(int slice, int& ox, int& oy, int& sx, int& sy) const {
    sx = dx / slices;
    sy = dy / slices;
    ox = sx * slice;
    oy = sy * slice;
  }

  // Where bar i of series s lies across the label axis.
  void BarSpan(int s, int i, double& a, double& b) const {
    auto* bar = static_cast<TBarSeries*>(series[s]);
    int barSeries = 0, place = 0;
    for (int t = 0; t < static_cast<int>(series.size()); ++t)
      if (IsBar(series[t])) {
        if (t < s) ++place;
        ++barSeries;
      }
    double from, to;
    Slot(i, from, to);
    const double room = (to - from) * (bar->SideMargins() ? 0.7 : 0.95);
    a = (from + to - room) / 2;
    b = a + room;
    if (Arrangement() == mbSide && barSeries > 1) {
      a += room * place / barSeries;
      b = a + room / barSeries;
    }
  }

  void Bars(int s, int slice) {
    auto* bar = static_cast<TBarSeries*>(series[s]);
    int ox, oy, sx, sy;
    SliceOffset(slice, ox, oy, sx, sy);
    for (int i = 0; i < bar->Count(); ++i) {
      double a, b;
      BarSpan(s, i, a, b);
      double base;
      const double top = Stacked(s, i, base);
      const int p0 = ValuePos(base), p1 = ValuePos(top);
      TRect r = horizontal ? Rect(std::min(p0, p1), static_cast<int>(a), std::max(p0, p1), static_cast<int>(b))
                           : Rect(static_cast<int>(a), std::min(p0, p1), static_cast<int>(b), std::max(p0, p1));
      if (horizontal ? r.Width() == 0 : r.Height() == 0) continue;
      r.Left += ox;
      r.Right += ox;
      r.Top -= oy;
      r.Bottom -= oy;
      const bool upwards = top >= base;
      OneBar(bar, r, bar->ValueColor(i), upwards, std::max(1, sx * 3 / 4), std::max(1, sy * 3 / 4));
    }
  }

  void OneBar(TBarSeries* bar, const TRect& r, TColor color, bool upwards, int depthX, int depthY) {
    c->Pen()->SetColor(clBlack);
    c->Pen()->SetWidth(1);
    c->Brush()->SetStyle(bsSolid);
    const bool deep = (dx || dy) && bar->BarStyle() == bsRectangle;
    if (deep) {
      const TColor topColor = bar->Dark3D() ? Shade(color, 80) : color;
      const TColor sideColor = bar->Dark3D() ? Shade(color, 60) : color;
      c->Brush()->SetColor(topColor);
      const TPoint topFace[] = {{r.Left, r.Top}, {r.Left + depthX, r.Top - depthY},
                                {r.Right + depthX, r.Top - depthY}, {r.Right, r.Top}};
      c->Polygon(topFace, 4);
      c->Brush()->SetColor(sideColor);
      const TPoint sideFace[] = {{r.Right, r.Top}, {r.Right + depthX, r.Top - depthY},
                                 {r.Right + depthX, r.Bottom - depthY}, {r.Right, r.Bottom}};
      c->Polygon(sideFace, 4);
    }
    c->Brush()->SetColor(color);
    const int w = r.Width(), h = r.Height();
    // Pointed and rounded shapes point along the bar, towards its value.
    const bool across = horizontal;
    switch (bar->BarStyle()) {
      case bsRectangle: c->Rectangle(r.Left, r.Top, r.Right + 1, r.Bottom + 1); break;
      case bsEllipse: c->Ellipse(r.Left, r.Top, r.Right + 1, r.Bottom + 1); break;
      case bsPyramid:
      case bsInvPyramid: {
        const bool toValue = (bar->BarStyle() == bsPyramid) == upwards;
        TPoint p[3];
        if (!across) {
          const int tipY = toValue ? r.Top : r.Bottom, baseY = toValue ? r.Bottom : r.Top;
          p[0] = {r.Left, baseY}, p[1] = {(r.Left + r.Right) / 2, tipY}, p[2] = {r.Right, baseY};
        } else {
          const int tipX = toValue ? r.Right : r.Left, baseX = toValue ? r.Left : r.Right;
          p[0] = {baseX, r.Top}, p[1] = {tipX, (r.Top + r.Bottom) / 2}, p[2] = {baseX, r.Bottom};
        }
        c->Polygon(p, 3);
        break;
      }
      case bsArrow: {
        // A shaft of half the width and a head of a third of the length (at most the width).
        std::vector<TPoint> p;
        if (!across) {
          const int head = std::min(h / 3, w), q = w / 4, mid = (r.Left + r.Right) / 2;
          const int tip = upwards ? r.Top : r.Bottom, neck = upwards ? r.Top + head : r.Bottom - head;
          const int tail = upwards ? r.Bottom : r.Top;
          p = {{r.Left + q, tail}, {r.Left + q, neck}, {r.Left, neck}, {mid, tip},
               {r.Right, neck}, {r.Right - q, neck}, {r.Right - q, tail}};
        } else {
          const int head = std::min(w / 3, h), q = h / 4, mid = (r.Top + r.Bottom) / 2;
          const int tip = upwards ? r.Right : r.Left, neck = upwards ? r.Right - head : r.Left + head;
          const int tail = upwards ? r.Left : r.Right;
          p = {{tail, r.Top + q}, {neck, r.Top + q}, {neck, r.Top}, {tip, mid},
               {neck, r.Bottom}, {neck, r.Bottom - q}, {tail, r.Bottom - q}};
        }
        c->Polygon(p.data(), static_cast<int>(p.size()));
        break;
      }
      case bsCilinder: {
        if (!across) {
          const int e = std::max(2, std::min(w / 3, h / 2));
          c->Rectangle(r.Left, r.Top + e / 2, r.Right + 1, r.Bottom - e / 2 + 1);
          c->Ellipse(r.Left, r.Bottom - e, r.Right + 1, r.Bottom + 1);
          c->Brush()->SetColor(Shade(color, 85));
          c->Ellipse(r.Left, r.Top, r.Right + 1, r.Top + e);
        } else {
          const int e = std::max(2, std::min(h / 3, w / 2));
          c->Rectangle(r.Left + e / 2, r.Top, r.Right - e / 2 + 1, r.Bottom + 1);
          c->Ellipse(r.Left, r.Top, r.Left + e, r.Bottom + 1);
          c->Brush()->SetColor(Shade(color, 85));
          c->Ellipse(r.Right - e, r.Top, r.Right + 1, r.Bottom + 1);
        }
        break;
      }
      case bsRectGradient: {
        // From the colour at the base to white at the value, in bands.
        const int length = across ? w : h;
        const int bands = std::max(1, std::min(length, 32));
        for (int b = 0; b < bands; ++b) {
          const int f0 = length * b / bands, f1 = length * (b + 1) / bands;
          c->Brush()->SetColor(Lighter(color, 80 * b / bands));
          if (!across)
            c->FillRect(upwards ? Rect(r.Left, r.Bottom - f1, r.Right, r.Bottom - f0)
                                : Rect(r.Left, r.Top + f0, r.Right, r.Top + f1));
          else
            c->FillRect(upwards ? Rect(r.Left + f0, r.Top, r.Left + f1, r.Bottom)
                                : Rect(r.Right - f1, r.Top, r.Right - f0, r.Bottom));
        }
        c->Brush()->SetColor(Shade(color, 70));
        c->FrameRect(Rect(r.Left, r.Top, r.Right + 1, r.Bottom + 1));
        break;
      }
    }
  }

  // The point of a line, or the middle of a bar's value end.
  TPoint LinePoint(int s, int i, int ox, int oy) const {
    double from, to;
    if (IsBar(series[s]))
      BarSpan(s, i, from, to);
    else
      Slot(i, from, to);
    double base;
    const int v = ValuePos(Stacked(s, i, base));
    const int across = static_cast<int>((from + to) / 2);
    return horizontal ? TPoint{v + ox, across - oy} : TPoint{across + ox, v - oy};
  }

  void Line(int s, int slice, bool area) {
    TChartSeries* ser = series[s];
    if (ser->Count() == 0) return;
    int ox, oy, sx, sy;
    SliceOffset(slice, ox, oy, sx, sy);
    std::vector<TPoint> pts;
    for (int i = 0; i < ser->Count(); ++i) pts.push_back(LinePoint(s, i, ox, oy));
    c->Brush()->SetStyle(bsSolid);
    // In depth the line is a ribbon (an area its top), one band per stretch, front ones last.
    const int rx = std::max(1, sx * 3 / 4), ry = std::max(1, sy * 3 / 4);
    if (dx || dy) {
      c->Pen()->SetWidth(1);
      for (size_t i = pts.size() - 1; i >= 1; --i) {
        const TColor color = ser->ValueColor(static_cast<int>(i));
        const TColor band = area ? Shade(color, 75) : color;
        c->Brush()->SetColor(band);
        c->Pen()->SetColor(Shade(band, 80));
        const TPoint q[] = {pts[i - 1], pts[i], {pts[i].x + rx, pts[i].y - ry}, {pts[i - 1].x + rx, pts[i - 1].y - ry}};
        c->Polygon(q, 4);
      }
      if (!area && pts.size() > 1) return;
    }
    if (area) {
      std::vector<TPoint> poly = pts;
      const int zero = ValuePos(0) - oy;
      poly.push_back({pts.back().x, zero});
      poly.push_back({pts.front().x, zero});
      c->Brush()->SetColor(ser->SeriesColor());
      c->Pen()->SetColor(Shade(ser->SeriesColor(), 60));
      c->Pen()->SetWidth(1);
      c->Polygon(poly.data(), static_cast<int>(poly.size()));
      return;
    }
    const int width = static_cast<TLineSeries*>(ser)->LinePenWidth();
    c->Pen()->SetWidth(std::max(1, Px(std::max(1, width))));
    if (pts.size() == 1) {
      c->Brush()->SetColor(ser->ValueColor(0));
      c->Pen()->SetColor(ser->ValueColor(0));
      c->Ellipse(pts[0].x - Px(3), pts[0].y - Px(3), pts[0].x + Px(3) + 1, pts[0].y + Px(3) + 1);
    }
    for (size_t i = 1; i < pts.size(); ++i) {
      c->Pen()->SetColor(ser->ValueColor(static_cast<int>(i)));
      c->MoveTo(pts[i - 1].x, pts[i - 1].y);
      c->LineTo(pts[i].x, pts[i].y);
    }
    c->Pen()->SetWidth(1);
  }

  // A data label: a framed box, an arrow length away from the anchor in the direction (ux, uy).
  void Mark(TSeriesMarks* marks, const AnsiString& text, TPoint anchor, double ux, double uy) {
    TFont saved;
    saved.Assign(*c->Font());
    c->Font()->Assign(*marks->Font());
    const int length = Px(marks->ArrowLength());
    const TPoint end{anchor.x + static_cast<int>(ux * length), anchor.y + static_cast<int>(uy * length)};
    if (marks->ArrowVisible() && length > 0) {
      c->Pen()->SetColor(clBlack);
      c->Pen()->SetWidth(1);
      c->MoveTo(anchor.x, anchor.y);
      c->LineTo(end.x, end.y);
    }
    const TSize size = c->TextExtent(text);
    const int pad = Px(2);
    const int w = size.cx + 2 * pad, h = size.cy + 2 * pad;
    // The box sits on the arrow's end, on the side the arrow points to.
    int left = end.x - w / 2, top = end.y - h / 2;
    if (ux > 0.3) left = end.x;
    if (ux < -0.3) left = end.x - w;
    if (uy > 0.3) top = end.y;
    if (uy < -0.3) top = end.y - h;
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(0xC0FFFF);
    c->Pen()->SetColor(clGray);
    c->Rectangle(left, top, left + w, top + h);
    c->Brush()->SetStyle(bsClear);
    c->TextOut(left + pad, top + pad, text);
    c->Brush()->SetStyle(bsSolid);
    c->Font()->Assign(saved);
  }

  void CartesianMarks(int s, int slice) {
    TChartSeries* ser = series[s];
    TSeriesMarks* marks = ser->Marks();
    if (!marks->Visible()) return;
    int ox, oy, sx, sy;
    SliceOffset(slice, ox, oy, sx, sy);
    for (int i = 0; i < ser->Count(); ++i) {
      const TPoint p = LinePoint(s, i, ox, oy);
      const bool negative = ser->YValue(i) < 0;
      if (horizontal)
        Mark(marks, ser->MarkText(i), p, negative ? -1 : 1, 0);
      else
        Mark(marks, ser->MarkText(i), p, 0, negative ? 1 : -1);
    }
  }

  // ---- pie ----

  void Pie(TPieSeries* pie) {
    const std::vector<double> sweeps = pie->Sweeps();
    TSeriesMarks* marks = pie->Marks();
    int roomX = 0, roomY = 0;
    if (marks->Visible()) {
      int widest = 0;
      for (int i = 0; i < pie->Count(); ++i) widest = std::max(widest, c->TextWidth(pie->MarkText(i)));
      roomX = Px(marks->ArrowLength()) + widest + Px(6);
      roomY = Px(marks->ArrowLength()) + th + Px(6);
    }
    const double squash = chart->View3D() ? 0.5 + 0.5 * std::clamp((360 - chart->Elevation()) / 90.0, 0.0, 1.0) : 1.0;
    int thick = 0;
    const int cx = (area.Left + area.Right) / 2;
    int rx = std::min(area.Width() / 2 - roomX, static_cast<int>((area.Height() / 2 - roomY) / squash));
    if (chart->View3D()) {
      thick = static_cast<int>(rx * chart->Chart3DPercent() / 100.0 * (1 - squash) * 2);
      rx = std::min(rx, static_cast<int>((area.Height() / 2 - roomY - thick / 2) / squash));
      rx = rx * chart->Zoom() / 100;
    }
    if (rx < 4) return;
    const int ry = std::max(2, static_cast<int>(rx * squash));
    const int cy = (area.Top + area.Bottom) / 2 - thick / 2;
    chart->plot_ = Rect(cx - rx, cy - ry, cx + rx, cy + ry);
    auto at = [&](double deg, int down) {
      const double a = deg * M_PI / 180;
      return TPoint{cx + static_cast<int>(std::lround(rx * std::cos(a))),
                    cy - static_cast<int>(std::lround(ry * std::sin(a))) + down};
    };
    c->Pen()->SetWidth(1);
    c->Brush()->SetStyle(bsSolid);
    // The rim: the near half of every slice, pushed down by the thickness.
    if (thick > 0) {
      double start = pie->RotationAngle();
      for (int i = 0; i < pie->Count(); ++i) {
        const double end = start - sweeps[i];
        c->Brush()->SetColor(Shade(pie->ValueColor(i), 65));
        c->Pen()->SetColor(Shade(pie->ValueColor(i), 65));
        for (double a = start; a > end; a -= 3) {
          const double b = std::max(end, a - 3);
          const double mid = (a + b) / 2 * M_PI / 180;
          if (std::sin(mid) > 0) continue;
          const TPoint q[] = {at(a, 0), at(b, 0), at(b, thick), at(a, thick)};
          c->Polygon(q, 4);
        }
        start = end;
      }
    }
    double start = pie->RotationAngle();
    for (int i = 0; i < pie->Count(); ++i) {
      if (sweeps[i] <= 0) continue;
      const double end = start - sweeps[i];
      std::vector<TPoint> poly{{cx, cy}};
      for (double a = start; a > end; a -= 2) poly.push_back(at(a, 0));
      poly.push_back(at(end, 0));
      c->Brush()->SetColor(pie->ValueColor(i));
      c->Pen()->SetColor(clBlack);
      c->Polygon(poly.data(), static_cast<int>(poly.size()));
      start = end;
    }
    if (!marks->Visible()) return;
    start = pie->RotationAngle();
    for (int i = 0; i < pie->Count(); ++i) {
      const double mid = start - sweeps[i] / 2;
      start -= sweeps[i];
      if (sweeps[i] <= 0) continue;
      const double a = mid * M_PI / 180;
      Mark(marks, pie->MarkText(i), at(mid, 0), std::cos(a), -std::sin(a));
    }
  }
};

void TChart::Draw(TCanvas* canvas, const TRect& r) {
  if (!canvas || r.Empty()) return;
  const bool clipped = canvas->Clipped();
  const TRect oldClip = canvas->ClipRect();
  TRect limit = r;
  if (clipped) IntersectRect(limit, r, oldClip);
  canvas->SetClipRect(limit);
  ChartPainter painter(this, canvas);
  painter.Run(r);
  if (clipped)
    canvas->SetClipRect(oldClip);
  else
    canvas->ResetClip();
}

// ---- Files ----

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A device-independent bitmap: its 40-byte header and the rows of 24-bit pixels, bottom row
// first, each padded to four bytes.
std::string Dib(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  const int w = image.width(), h = image.height();
  const uint32_t rowBytes = (static_cast<uint32_t>(w) * 3 + 3) & ~3u;
  std::string out;
  out.reserve(40 + rowBytes * h);
  Put32(out, 40);
  Put32(out, w);
  Put32(out, h);
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, rowBytes * h);
  Put32(out, 3780);  // 96 dots per inch
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = h - 1; y >= 0; --y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < w; ++x) {
      out.push_back(static_cast<char>(qBlue(line[x])));
      out.push_back(static_cast<char>(qGreen(line[x])));
      out.push_back(static_cast<char>(qRed(line[x])));
    }
    out.append(rowBytes - static_cast<uint32_t>(w) * 3, '\0');
  }
  return out;
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) {
    std::remove(path.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool TChart::SaveToBitmapFile(const std::string& path) {
  const TBitmap picture = PaintToImage();
  const std::string dib = Dib(picture.impl()->Image());
  std::string out = "BM";
  Put32(out, static_cast<uint32_t>(14 + dib.size()));
  Put32(out, 0);
  Put32(out, 14 + 40);
  return WriteWhole(path, out + dib);
}

// A placeable metafile: its 22-byte header, the 18-byte metafile header, the window's origin and
// extent, one record that stretches the picture over it, and the end record.
bool TChart::SaveToMetafile(const std::string& path) {
  const TBitmap picture = PaintToImage();
  const int w = std::min(picture.Width(), 32767), h = std::min(picture.Height(), 32767);
  const std::string dib = Dib(picture.impl()->Image().copy(0, 0, w, h));
  std::string body;
  auto record = [&](uint16_t function, std::initializer_list<uint16_t> params) {
    Put32(body, static_cast<uint32_t>(3 + params.size()));
    Put16(body, function);
    for (uint16_t p : params) Put16(body, p);
  };
  record(0x020B, {0, 0});                                                   // SETWINDOWORG y, x
  record(0x020C, {static_cast<uint16_t>(h), static_cast<uint16_t>(w)});     // SETWINDOWEXT y, x
  const uint32_t stretchWords = (28 + static_cast<uint32_t>(dib.size()) + 1) / 2;
  Put32(body, stretchWords);
  Put16(body, 0x0F43);  // STRETCHDIB
  Put32(body, 0x00CC0020);  // copy the source
  Put16(body, 0);            // colours are RGB values
  for (int v : {h, w, 0, 0, h, w, 0, 0}) Put16(body, static_cast<uint16_t>(v));
  body += dib;
  if (body.size() % 2) body.push_back('\0');
  record(0x0000, {});  // end
  std::string header;
  Put32(header, 0x9AC6CDD7);
  Put16(header, 0);
  for (int v : {0, 0, w, h}) Put16(header, static_cast<uint16_t>(v));
  Put16(header, 96);
  Put32(header, 0);
  uint16_t check = 0;
  for (size_t i = 0; i < header.size(); i += 2)
    check ^= static_cast<uint16_t>(static_cast<unsigned char>(header[i]) | static_cast<unsigned char>(header[i + 1]) << 8);
  Put16(header, check);
  std::string meta;
  Put16(meta, 1);       // in a file
  Put16(meta, 9);       // header words
  Put16(meta, 0x0300);
  Put32(meta, static_cast<uint32_t>((18 + body.size()) / 2));
  Put16(meta, 0);
  Put32(meta, stretchWords);
  Put16(meta, 0);
  return WriteWhole(path, header + meta + body);
}

// An enhanced metafile: the 88-byte header, one record that stretches the picture over its
// bounds, and the end record. Frames are in hundredths of a millimetre at 96 dots per inch.
bool TChart::SaveToMetafileEnh(const std::string& path) {
  const TBitmap picture = PaintToImage();
  const std::string dib = Dib(picture.impl()->Image());
  const int w = picture.Width(), h = picture.Height();
  std::string stretch;
  const uint32_t stretchSize = 80 + static_cast<uint32_t>(dib.size());
  Put32(stretch, 81);  // STRETCHDIBITS
  Put32(stretch, stretchSize);
  for (int v : {0, 0, w - 1, h - 1}) Put32(stretch, static_cast<uint32_t>(v));
  for (int v : {0, 0, 0, 0, w, h}) Put32(stretch, static_cast<uint32_t>(v));
  Put32(stretch, 80);                                   // header offset
  Put32(stretch, 40);                                   // header size
  Put32(stretch, 120);                                  // pixels offset
  Put32(stretch, static_cast<uint32_t>(dib.size() - 40));  // pixels size
  Put32(stretch, 0);                                    // RGB values
  Put32(stretch, 0x00CC0020);                           // copy the source
  Put32(stretch, w);
  Put32(stretch, h);
  stretch += dib;
  std::string eof;
  Put32(eof, 14);
  Put32(eof, 20);
  Put32(eof, 0);
  Put32(eof, 16);
  Put32(eof, 20);
  const uint32_t total = 88 + static_cast<uint32_t>(stretch.size() + eof.size());
  std::string head;
  Put32(head, 1);
  Put32(head, 88);
  for (int v : {0, 0, w - 1, h - 1}) Put32(head, static_cast<uint32_t>(v));
  for (int v : {0, 0, w * 2540 / 96, h * 2540 / 96}) Put32(head, static_cast<uint32_t>(v));
  Put32(head, 0x464D4520);  // " EMF"
  Put32(head, 0x10000);
  Put32(head, total);
  Put32(head, 3);  // records
  Put16(head, 1);  // handles: the reserved one
  Put16(head, 0);
  Put32(head, 0);  // no description
  Put32(head, 0);
  Put32(head, 0);  // no palette
  Put32(head, 1920);
  Put32(head, 1080);
  Put32(head, 508);
  Put32(head, 286);
  return WriteWhole(path, head + stretch + eof);
}
