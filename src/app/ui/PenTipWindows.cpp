#include "app/ui/PenTipWindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ui/MainForm.h"
#include "document/Paper.h"
#include "paint/PenMethod.h"
#include "paint/StrokeMngr.h"

namespace tintara {

namespace {

constexpr int kListPreview = 40, kEditorPreview = 72;
constexpr int kSliderPositions = 80;

// The tip into the pen's renderer. The brush in the list keeps its own tip until the brush
// window saves the pen back into it.
void ApplyTip(TMainForm& form, const PenTipRecord& tip) {
  CPenRender& render = form.Pen().render;
  render.SetDensityProfile(tip.profile);
  render.SetHardEdge(tip.hardEdge != 0);
  render.SetTipParams(tip.params);
}

PenTipRecord PenTipOf(const CPenRender& render) {
  return {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
}

// The fall-off curves in the order of their numbers, each with a small picture of it.
constexpr const char* kCurveNames[] = {"円弧", "放物線", "なめらか", "直線", "エアブラシ", "くぼみ"};

QIcon CurveIcon(uint8_t curve) {
  constexpr int w = 28, h = 16;
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath path;
  for (int x = 0; x < w; ++x) {
    const double d = DensityCurveAt(curve, x / double(w - 1));
    const QPointF at(x, 1 + (h - 3) * (1.0 - d));
    if (x == 0)
      path.moveTo(at);
    else
      path.lineTo(at);
  }
  p.setPen(QPen(Qt::black, 1.4));
  p.drawPath(path);
  return QIcon(QPixmap::fromImage(img));
}

}  // namespace

QImage DabPreview(const PenTipRecord& tip, int side) {
  // A paper of its own, the size of the preview: the dab is painted by the real renderer.
  TPaper paper;
  TFlowImage flow(paper);
  paper.SetLevel(2);
  QImage out(side, side, QImage::Format_RGB32);
  out.fill(Qt::white);
  if (!paper.NewPaper("tip", flow, false, false, 72, side, side)) return out;
  if (paper.NewLayer(flow, kModeNormal, 0x00FFFFFF, "") < 0) return out;
  TStroke stroke;
  stroke.SetColour(0x00000000);
  CPenRender render;
  PenTipParams p = tip.params;
  p.SetRadius100(std::min(p.radius100, (side / 2 - 2) * 100));
  render.SetDensityProfile(tip.profile);
  render.SetHardEdge(tip.hardEdge != 0);
  render.SetTipParams(p);
  CStrokeRenderer renderer(render);
  CStrokeMngr mngr(paper, flow, stroke, renderer);
  const float c = side / 2.0f;
  // The shortest stroke that paints: a click paints nothing.
  if (mngr.Begin({c - 0.5f, c, 1.0f}, false)) {
    mngr.Continue({c + 0.5f, c, 1.0f}, false);
    mngr.PenUp(c + 0.5f, c, false);
  }
  paper.RecompositeAll(false);
  for (int32_t y = 0; y < side; ++y)
    std::copy_n(paper.composite.Row32(y), side, reinterpret_cast<uint32_t*>(out.scanLine(y)));
  return out;
}

int32_t FindListTip(const CPenShapeMngr& tips, const CPenShapeObj& tip) {
  for (int32_t i = 0; i < tips.Count(); ++i) {
    const CPenShapeObj& item = *tips.At(i);
    if (tip.HasBitmap() ? item.HasBitmap() && item.Serial() == tip.Serial()
                        : !item.HasBitmap() && item.Record() == tip.Record())
      return i;
  }
  return -1;
}

int32_t PenTipSliderPosition(double radius) {
  // The inverse of the slider's two straight pieces, to the nearest position.
  const double p = radius <= 20.0 ? radius * 40.0 / 20.0 : 40.0 + (radius - 20.0) * 40.0 / 180.0;
  return std::clamp(int32_t(std::lround(p)), 0, kSliderPositions);
}

// --- the radius controls --------------------------------------------------------------------

TRadiusSpin::TRadiusSpin(QWidget* parent) : QDoubleSpinBox(parent) {}

void TRadiusSpin::stepBy(int steps) {
  if (zoom) {
    QDoubleSpinBox::stepBy(steps);
    return;
  }
  // Step by step, so that a run of steps across 20 pixels changes its pace there.
  double v = value();
  for (int k = 0; k < std::abs(steps); ++k) {
    const double step = PenTipRadiusStep(v);
    v = std::round((steps > 0 ? v + step : v - step) * 100.0) / 100.0;
    v = std::clamp(v, minimum(), maximum());
  }
  setValue(v);
}

TRadiusEdit::TRadiusEdit(QWidget* parent) : QWidget(parent) {
  auto* box = new QHBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(4);
  slider_ = new QSlider(Qt::Horizontal, this);
  slider_->setRange(0, kSliderPositions);
  spin_ = new TRadiusSpin(this);
  box->addWidget(slider_, 1);
  box->addWidget(spin_);
  connect(slider_, &QSlider::valueChanged, this,
          [this](int p) { spin_->setValue(spin_->zoom ? double(p) : PenTipSliderRadius(p)); });
  // The field's value moves the slider without the slider rounding the value in turn.
  connect(spin_, &QDoubleSpinBox::valueChanged, this, [this](double r) {
    const QSignalBlocker quiet(slider_);
    slider_->setValue(spin_->zoom ? int(std::lround(r)) : PenTipSliderPosition(r));
  });
  SetRadiusMode();
}

void TRadiusEdit::SetRadiusMode() {
  const QSignalBlocker quietSlider(slider_), quietSpin(spin_);
  spin_->zoom = false;
  slider_->setRange(0, kSliderPositions);
  spin_->setDecimals(2);
  spin_->setRange(PenTipParams::kMinRadius100 / 100.0, PenTipParams::kMaxRadius100 / 100.0);
  spin_->setSuffix(QStringLiteral(" px"));
}

void TRadiusEdit::SetZoomMode(int32_t minPercent, int32_t maxPercent) {
  const QSignalBlocker quietSlider(slider_), quietSpin(spin_);
  spin_->zoom = true;
  slider_->setRange(minPercent, maxPercent);
  spin_->setDecimals(0);
  spin_->setSingleStep(1);
  spin_->setRange(minPercent, maxPercent);
  spin_->setSuffix(QStringLiteral(" %"));
}

// --- the tip list ---------------------------------------------------------------------------

TPenShpListWin::TPenShpListWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  list_ = new QListWidget(this);
  list_->setViewMode(QListView::IconMode);
  list_->setIconSize(QSize(kListPreview, kListPreview));
  list_->setResizeMode(QListView::Adjust);
  list_->setMovement(QListView::Static);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSpacing(2);
  box->addWidget(list_);
  // A new row by mouse or keys applies the tip; clicking the row that was already current
  // applies it again (it brings the tip back after edits).
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!settingRow_ && row >= 0) Choose(row);
  });
  connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int row = list_->row(item);
    if (row == rowBeforePress_) Choose(row);
  });
  list_->viewport()->installEventFilter(this);
  Rebuild();
}

bool TPenShpListWin::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress)
    rowBeforePress_ = list_->currentRow();
  return TPaletteWindow::eventFilter(watched, event);
}

bool TPenShpListWin::Choose(int32_t i) {
  CPenShapeMngr& tips = form_.Tips();
  if (!tips.Select(i)) return false;
  form_.Pen().render.SelectTip(tips.Current(), true);
  ShowMark();
  return true;
}

void TPenShpListWin::Tick() {
  const CPenShapeMngr& tips = form_.Tips();
  if (Shown() != shown_)
    Rebuild();
  else if (tips.CurrentIndex() != shownCurrent_)
    ShowMark();
}

void TPenShpListWin::Rebuild() {
  const CPenShapeMngr& tips = form_.Tips();
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (int32_t i = 0; i < tips.Count(); ++i) {
      const CPenShapeObj& tip = *tips.At(i);
      auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(DabPreview(tip.Record(), kListPreview))),
                                       QString(), list_);
      // A bitmap tip's size is its zoom.
      QString hint = tip.HasBitmap() ? QStringLiteral("%1 %").arg(tip.SizePercent())
                                     : QStringLiteral("%1 px").arg(tip.params.radius100 / 100.0, 0, 'f', 1);
      if (!tip.name.empty()) hint = QString::fromStdString(tip.name) + QStringLiteral("  ") + hint;
      item->setToolTip(hint);
    }
  }
  shown_ = Shown();
  ShowMark();
}

std::vector<std::pair<int32_t, PenTipRecord>> TPenShpListWin::Shown() const {
  const CPenShapeMngr& tips = form_.Tips();
  std::vector<std::pair<int32_t, PenTipRecord>> out;
  out.reserve(size_t(tips.Count()));
  for (int32_t i = 0; i < tips.Count(); ++i) out.emplace_back(tips.At(i)->Serial(), tips.At(i)->Record());
  return out;
}

void TPenShpListWin::ShowMark() {
  const int32_t current = form_.Tips().CurrentIndex();
  settingRow_ = true;
  if (current < 0) {
    list_->setCurrentRow(-1);
    list_->clearSelection();
  } else {
    list_->setCurrentRow(current);
  }
  settingRow_ = false;
  shownCurrent_ = current;
}

// --- the tip editor -------------------------------------------------------------------------

TPenShapeWin::TPenShapeWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* f = new QFormLayout(this);
  f->setContentsMargins(6, 4, 6, 4);
  f->setVerticalSpacing(2);
  previewBox_ = new QLabel(this);
  previewBox_->setFixedSize(kEditorPreview + 2, kEditorPreview + 2);
  previewBox_->setFrameStyle(QFrame::Box | QFrame::Plain);
  previewBox_->setAlignment(Qt::AlignCenter);
  f->addRow(previewBox_);
  radius_ = new TRadiusEdit(this);
  flatness_ = new QSpinBox(this);
  flatness_->setRange(100 - PenTipParams::kMaxAspect / 10, 100 - PenTipParams::kMinAspect / 10);
  angle_ = new QSpinBox(this);
  angle_->setRange(0, 360);
  angle_->setWrapping(true);
  angle_->setSuffix(QString::fromUtf8("°"));
  minimum_ = new QSpinBox(this);
  minimum_->setRange(PenTipParams::kMinMinimum / 10, PenTipParams::kMaxMinimum / 10);
  minimum_->setSuffix(QStringLiteral(" %"));
  antiAlias_ = new QCheckBox(QString::fromUtf8("ｱﾝﾁｴｲﾘｱｽ"), this);
  curve_ = new QComboBox(this);
  for (size_t c = 0; c < std::size(kCurveNames); ++c)
    curve_->addItem(CurveIcon(uint8_t(c)), QString::fromUtf8(kCurveNames[c]));
  curve_->setIconSize(QSize(28, 16));
  auto percent = [this] {
    auto* s = new QDoubleSpinBox(this);
    s->setRange(0, DensityProfile::kMaxPermille / 10.0);
    s->setDecimals(1);
    s->setSuffix(QStringLiteral(" %"));
    return s;
  };
  flattening_ = percent();
  floor_ = percent();
  radiusLabel_ = new QLabel(QString::fromUtf8("半径"), this);
  f->addRow(radiusLabel_, radius_);
  f->addRow(QString::fromUtf8("扁平率"), flatness_);
  f->addRow(QString::fromUtf8("角度"), angle_);
  f->addRow(QString::fromUtf8("最小%"), minimum_);
  f->addRow(antiAlias_);
  f->addRow(QString::fromUtf8("濃度"), curve_);
  f->addRow(QString::fromUtf8("中央平坦化"), flattening_);
  f->addRow(QString::fromUtf8("加算"), floor_);
  auto changed = [this] {
    if (!loading_) Store();
  };
  connect(radius_->Spin(), &QDoubleSpinBox::valueChanged, this, changed);
  for (QSpinBox* s : {flatness_, angle_, minimum_}) connect(s, &QSpinBox::valueChanged, this, changed);
  connect(antiAlias_, &QCheckBox::toggled, this, changed);
  connect(curve_, &QComboBox::currentIndexChanged, this, changed);
  for (QDoubleSpinBox* s : {flattening_, floor_}) connect(s, &QDoubleSpinBox::valueChanged, this, changed);
  Load();
}

int32_t TPenShapeWin::PenZoom() const {
  const CPenRender& render = form_.Pen().render;
  return render.HasBitmapTip() ? render.Tip().SizePercent() : -1;
}

void TPenShapeWin::Tick() {
  if (PenTipOf(form_.Pen().render) != shown_ || PenZoom() != shownZoom_) Load();
}

void TPenShapeWin::Load() {
  const CPenRender& render = form_.Pen().render;
  shown_ = PenTipOf(render);
  shownZoom_ = PenZoom();
  const PenTipParams& p = shown_.params;
  loading_ = true;
  // A bitmap tip is sized by its zoom, within the range its bitmap allows.
  if (shownZoom_ >= 0) {
    radiusLabel_->setText(QString::fromUtf8("ｽﾞｰﾑ"));
    radius_->SetZoomMode(render.Tip().SizeMin(), render.Tip().SizeMax());
    radius_->Spin()->setValue(shownZoom_);
  } else {
    radiusLabel_->setText(QString::fromUtf8("半径"));
    radius_->SetRadiusMode();
    radius_->Spin()->setValue(p.radius100 / 100.0);
  }
  flatness_->setValue(p.Flatness());
  angle_->setValue(p.angle / 10);
  minimum_->setValue(p.minimum / 10);
  antiAlias_->setChecked(shown_.hardEdge == 0);
  // Unknown curve numbers draw as the straight fall-off and are shown as it.
  curve_->setCurrentIndex(shown_.profile.curve < std::size(kCurveNames) ? shown_.profile.curve
                                                                        : kCurveLinear);
  flattening_->setValue(shown_.profile.flattening / 10.0);
  floor_->setValue(shown_.profile.floor / 10.0);
  loading_ = false;
  preview_ = DabPreview(shown_, kEditorPreview);
  previewBox_->setPixmap(QPixmap::fromImage(preview_));
}

void TPenShapeWin::Store() {
  PenTipRecord tip = PenTipOf(form_.Pen().render);
  tip.hardEdge = antiAlias_->isChecked() ? 0 : 1;
  // Fields left alone keep the tip's finer stored values.
  tip.params.SetAspect(FieldValue(100 - flatness_->value(), tip.params.aspect, 10));
  tip.params.SetAngle(FieldValue(angle_->value(), tip.params.angle, 10));
  tip.params.SetMinimum(FieldValue(minimum_->value(), tip.params.minimum, 10));
  tip.profile.curve = uint8_t(curve_->currentIndex());
  tip.profile.SetFlattening(int32_t(std::lround(flattening_->value() * 10)));
  tip.profile.SetFloor(int32_t(std::lround(floor_->value() * 10)));
  CPenRender& render = form_.Pen().render;
  if (radius_->IsZoom() && render.HasBitmapTip()) {
    // The bitmap stays; its zoom is the size.
    CPenShapeObj zoomed;
    if (!zoomed.CopyFrom(render.Tip())) return;
    zoomed.SetRecord(tip);
    zoomed.SetSizePercent(int32_t(std::lround(radius_->Spin()->value())));
    zoomed.params.radius100 = zoomed.SizePercent() * 100;
    render.SelectTip(&zoomed, true);
  } else {
    tip.params.SetRadius100(int32_t(std::lround(radius_->Spin()->value() * 100)));
    ApplyTip(form_, tip);
  }
  Load();
}

}  // namespace tintara
