// The chart: series of values drawn as vertical bars, horizontal bars, lines, areas or a pie,
// with title and foot lines, a value axis and a label axis, a legend, data labels (marks) and an
// optional three-dimensional look. It draws itself like every custom-drawn control, and the same
// drawing goes onto any canvas (a printed page, a test's recording) and into image files.
//
// The chart does not own its series: whoever made a series frees it, and a series freed while it
// is in a chart leaves the chart first. A change of any setting shows at the next paint.
// User-interface thread only.
#pragma once

#include <string>
#include <vector>

#include "platform/Controls.h"

class TChart;

// The colour of a point that takes its series' colour (or, with ColorEachPoint, one of the
// chart's own colours by its place).
constexpr TColor clChartDefault = 0x1FFFFFFF;

enum TAxisLabelStyle { talValue, talText };
enum TLegendAlignment { laLeft, laTop, laRight, laBottom };
// What a data label says: the point's label, its value, its share of the series' total in
// percent, or the two joined; the "total" styles add the series' total.
enum TSeriesMarksStyle {
  smsLabel,
  smsValue,
  smsPercent,
  smsLabelValue,
  smsLabelPercent,
  smsPercentTotal,
  smsLabelPercentTotal
};
// How the bar series of a chart stand together: one behind the other, side by side, stacked, or
// stacked to 100 %.
enum TMultiBar { mbNone, mbSide, mbStacked, mbStacked100 };
enum TBarStyle { bsRectangle, bsArrow, bsCilinder, bsPyramid, bsInvPyramid, bsEllipse, bsRectGradient };

// A setting of a chart: a change repaints the chart it belongs to.
class TChartPart {
 public:
  explicit TChartPart(TChart* chart) : chart_(chart) {}
  TChartPart(const TChartPart&) = delete;
  TChartPart& operator=(const TChartPart&) = delete;

 protected:
  void Changed();
  TChart* chart_;

 private:
  friend class TChart;
  friend class TChartSeries;
};

class TChartAxis : public TChartPart {
 public:
  using TChartPart::TChartPart;
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& t);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  // Degrees, counter-clockwise: 0, 90, 180 or 270 (other values are taken to the nearest).
  int LabelsAngle() const { return angle_; }
  void SetLabelsAngle(int degrees);
  TAxisLabelStyle LabelStyle() const { return style_; }
  void SetLabelStyle(TAxisLabelStyle s);

 private:
  AnsiString title_;
  bool visible_ = true;
  int angle_ = 0;
  TAxisLabelStyle style_ = talValue;
};

class TChartLegend : public TChartPart {
 public:
  using TChartPart::TChartPart;
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TLegendAlignment Alignment() const { return alignment_; }
  void SetAlignment(TLegendAlignment a);
  // The colour sample's width in pixels at the screen's font size.
  int ColorWidth() const { return colorWidth_; }
  void SetColorWidth(int w);

 private:
  bool visible_ = true;
  TLegendAlignment alignment_ = laRight;
  int colorWidth_ = 12;
};

class TSeriesMarks : public TChartPart {
 public:
  explicit TSeriesMarks(TChart* chart);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TSeriesMarksStyle Style() const { return style_; }
  void SetStyle(TSeriesMarksStyle s);
  // The line from the point to its label, and its length in pixels.
  bool ArrowVisible() const { return arrowVisible_; }
  void SetArrowVisible(bool v);
  int ArrowLength() const { return arrowLength_; }
  void SetArrowLength(int n);
  TFont* Font() { return &font_; }

 private:
  bool visible_ = false;
  TSeriesMarksStyle style_ = smsLabel;
  bool arrowVisible_ = true;
  int arrowLength_ = 8;
  TFont font_;
};

// One series: a list of points, each a value with a label and a colour.
class TChartSeries : public TComponent {
 public:
  enum Kind { skBar, skHorizBar, skLine, skArea, skPie };
  ~TChartSeries() override;
  virtual Kind SeriesKind() const = 0;
  TChart* ParentChart() const { return chart_; }

  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& t);
  TColor SeriesColor() const { return color_; }
  void SetSeriesColor(TColor c);
  // Points without a colour of their own take the chart's colours by their place.
  bool ColorEachPoint() const { return colorEachPoint_; }
  void SetColorEachPoint(bool v);
  TSeriesMarks* Marks() { return &marks_; }

  int Count() const { return static_cast<int>(points_.size()); }
  double YValue(int i) const { return points_.at(i).value; }
  const AnsiString& XLabel(int i) const { return points_.at(i).label; }
  // The colour the point is drawn in.
  TColor ValueColor(int i) const;
  // Appends a point; its index.
  int Add(double value, const AnsiString& label, TColor color = clChartDefault);
  void Clear();
  // What the point's data label says in the marks' style.
  AnsiString MarkText(int i);
  // The point's absolute value as a part of the sum of all (0 when every value is 0).
  double Share(int i) const;

 protected:
  explicit TChartSeries(TComponent* owner);
  void Changed();

 private:
  friend class TChart;
  struct Point {
    double value;
    AnsiString label;
    TColor color;
  };
  TChart* chart_ = nullptr;
  AnsiString title_;
  TColor color_ = clRed;
  bool colorEachPoint_ = false;
  TSeriesMarks marks_;
  std::vector<Point> points_;
};

class TBarSeries : public TChartSeries {
 public:
  explicit TBarSeries(TComponent* owner) : TChartSeries(owner) {}
  Kind SeriesKind() const override { return skBar; }
  // Shared by the bar series of a chart (either direction): setting it sets them all.
  TMultiBar MultiBar() const { return multiBar_; }
  void SetMultiBar(TMultiBar m);
  TBarStyle BarStyle() const { return style_; }
  void SetBarStyle(TBarStyle s);
  // Darker sides in the three-dimensional look.
  bool Dark3D() const { return dark3D_; }
  void SetDark3D(bool v);
  // A gap on both sides of each bar.
  bool SideMargins() const { return sideMargins_; }
  void SetSideMargins(bool v);

 private:
  TMultiBar multiBar_ = mbSide;
  TBarStyle style_ = bsRectangle;
  bool dark3D_ = true;
  bool sideMargins_ = true;
};

class THorizBarSeries : public TBarSeries {
 public:
  explicit THorizBarSeries(TComponent* owner) : TBarSeries(owner) {}
  Kind SeriesKind() const override { return skHorizBar; }
};

class TLineSeries : public TChartSeries {
 public:
  explicit TLineSeries(TComponent* owner) : TChartSeries(owner) {}
  Kind SeriesKind() const override { return skLine; }
  int LinePenWidth() const { return penWidth_; }
  void SetLinePenWidth(int w);

 private:
  int penWidth_ = 1;
};

class TAreaSeries : public TChartSeries {
 public:
  explicit TAreaSeries(TComponent* owner) : TChartSeries(owner) {}
  Kind SeriesKind() const override { return skArea; }
};

// Slices in the order of the points, clockwise from RotationAngle (degrees counter-clockwise
// from three o'clock); a slice's size is the point's absolute value.
class TPieSeries : public TChartSeries {
 public:
  explicit TPieSeries(TComponent* owner) : TChartSeries(owner) {}
  Kind SeriesKind() const override { return skPie; }
  int RotationAngle() const { return rotation_; }
  void SetRotationAngle(int degrees);
  // Each point's sweep in degrees, in point order; they add up to 360 unless every value is 0
  // (then all are 0).
  std::vector<double> Sweeps() const;

 private:
  int rotation_ = 0;
};

class TChart : public TCustomControl {
 public:
  explicit TChart(TComponent* owner);
  ~TChart() override;  // the series stay with their owners

  TStrings* Title() { return &title_; }
  TStrings* Foot() { return &foot_; }
  TChartAxis* LeftAxis() { return &leftAxis_; }
  TChartAxis* BottomAxis() { return &bottomAxis_; }
  TChartLegend* Legend() { return &legend_; }

  int SeriesCount() const { return static_cast<int>(series_.size()); }
  TChartSeries* Series(int i) const { return series_.at(i); }
  // Takes the series in at the end (out of the chart it was in).
  void AddSeries(TChartSeries* s);
  void RemoveSeries(TChartSeries* s);
  void RemoveAllSeries();

  // The three-dimensional look: depth in percent of the plot, rotation and elevation in degrees
  // (270 to 360), zoom in percent; an orthogonal view ignores rotation and elevation.
  bool View3D() const { return view3D_; }
  void SetView3D(bool v);
  int Chart3DPercent() const { return depth_; }
  void SetChart3DPercent(int v);
  int Rotation() const { return rotation_; }
  void SetRotation(int v);
  int Elevation() const { return elevation_; }
  void SetElevation(int v);
  int Zoom() const { return zoom_; }
  void SetZoom(int v);
  bool Orthogonal() const { return orthogonal_; }
  void SetOrthogonal(bool v);

  // Colour number i of the chart's own colours (points coloured by place).
  static TColor DefaultColor(int i);

  // Draws the whole chart into r of the canvas (a printed page, a picture); the canvas's font
  // and resolution set the size of the texts.
  void Draw(TCanvas* canvas, const TRect& r);
  // The chart at its client size as a 24-bit Windows bitmap, or as a metafile holding that
  // picture (placeable WMF, or EMF). False when the file cannot be written whole.
  bool SaveToBitmapFile(const std::string& path);
  bool SaveToMetafile(const std::string& path);
  bool SaveToMetafileEnh(const std::string& path);

  // Where the last drawing put the plot and which values its value axis spans.
  const TRect& PlotRect() const { return plot_; }
  double AxisLow() const { return low_; }
  double AxisHigh() const { return high_; }

 protected:
  void Paint() override;

 private:
  friend class TChartPart;
  friend class TChartSeries;
  friend class TBarSeries;
  friend struct ChartPainter;
  TStringList title_, foot_;
  TChartAxis leftAxis_{this}, bottomAxis_{this};
  TChartLegend legend_{this};
  std::vector<TChartSeries*> series_;
  bool view3D_ = true;
  int depth_ = 15, rotation_ = 345, elevation_ = 345, zoom_ = 100;
  bool orthogonal_ = true;
  TRect plot_;
  double low_ = 0, high_ = 0;
};
