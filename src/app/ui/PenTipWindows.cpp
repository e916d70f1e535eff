#include "app/ui/PenTipWindows.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
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

// The tip into the pen's renderer. The brush in the list keeps its own tip until the brush
// window saves the pen back into it.
void ApplyTip(TMainForm& form, const PenTipRecord& tip) {
  CPenRender& render = form.Pen().render;
  render.SetDensityProfile(tip.profile);
  render.SetHardEdge(tip.hardEdge != 0);
  render.SetTipParams(tip.params);
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

// --- the tip list ---------------------------------------------------------------------------

TPenShpListWin::TPenShpListWin(TMainForm& form, QWidget* parent)
    : TPaletteWindow(form, parent), tips_(BuiltInTipRecords()) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  list_ = new QListWidget(this);
  list_->setViewMode(QListView::IconMode);
  list_->setIconSize(QSize(kListPreview, kListPreview));
  list_->setResizeMode(QListView::Adjust);
  list_->setMovement(QListView::Static);
  list_->setSpacing(2);
  box->addWidget(list_);
  for (size_t i = 0; i < tips_.size(); ++i) {
    auto* item =
        new QListWidgetItem(QIcon(QPixmap::fromImage(DabPreview(tips_[i], kListPreview))), QString(), list_);
    item->setToolTip(QStringLiteral("%1 px").arg(tips_[i].params.radius100 / 100.0, 0, 'f', 1));
  }
  connect(list_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { Choose(list_->row(item)); });
}

bool TPenShpListWin::Choose(int32_t i) {
  if (i < 0 || size_t(i) >= tips_.size()) return false;
  ApplyTip(form_, tips_[size_t(i)]);
  list_->setCurrentRow(i);
  return true;
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
  radius_ = new QDoubleSpinBox(this);
  radius_->setRange(PenTipParams::kMinRadius100 / 100.0, PenTipParams::kMaxRadius100 / 100.0);
  radius_->setDecimals(2);
  radius_->setSuffix(QStringLiteral(" px"));
  aspect_ = new QSpinBox(this);
  aspect_->setRange(PenTipParams::kMinAspect / 10, PenTipParams::kMaxAspect / 10);
  aspect_->setSuffix(QStringLiteral(" %"));
  angle_ = new QSpinBox(this);
  angle_->setRange(0, 359);
  angle_->setSuffix(QString::fromUtf8("°"));
  minimum_ = new QSpinBox(this);
  minimum_->setRange(PenTipParams::kMinMinimum / 10, PenTipParams::kMaxMinimum / 10);
  minimum_->setSuffix(QStringLiteral(" %"));
  hardEdge_ = new QCheckBox(QString::fromUtf8("アンチエイリアスなし"), this);
  f->addRow(QString::fromUtf8("半径"), radius_);
  f->addRow(QString::fromUtf8("縦横比"), aspect_);
  f->addRow(QString::fromUtf8("角度"), angle_);
  f->addRow(QString::fromUtf8("最小サイズ"), minimum_);
  f->addRow(hardEdge_);
  auto changed = [this] {
    if (!loading_) Store();
  };
  connect(radius_, &QDoubleSpinBox::valueChanged, this, changed);
  for (QSpinBox* s : {aspect_, angle_, minimum_}) connect(s, &QSpinBox::valueChanged, this, changed);
  connect(hardEdge_, &QCheckBox::toggled, this, changed);
  Load();
}

void TPenShapeWin::Tick() {
  const CPenRender& render = form_.Pen().render;
  const PenTipParams& p = render.TipParams();
  if (p.radius100 != shown_.radius100 || p.aspect != shown_.aspect || p.angle != shown_.angle ||
      p.minimum != shown_.minimum || render.HardEdge() != shownHard_)
    Load();
}

void TPenShapeWin::Load() {
  const CPenRender& render = form_.Pen().render;
  shown_ = render.TipParams();
  shownHard_ = render.HardEdge();
  loading_ = true;
  radius_->setValue(shown_.radius100 / 100.0);
  aspect_->setValue(shown_.aspect / 10);
  angle_->setValue(shown_.angle / 10);
  minimum_->setValue(shown_.minimum / 10);
  hardEdge_->setChecked(shownHard_);
  loading_ = false;
  preview_ = DabPreview({render.Density(), shown_, shownHard_ ? 1 : 0}, kEditorPreview);
  previewBox_->setPixmap(QPixmap::fromImage(preview_));
}

void TPenShapeWin::Store() {
  const CPenRender& render = form_.Pen().render;
  PenTipRecord tip{render.Density(), render.TipParams(), hardEdge_->isChecked() ? 1 : 0};
  tip.params.SetRadius100(int32_t(std::lround(radius_->value() * 100)));
  tip.params.SetAspect(aspect_->value() * 10);
  tip.params.SetAngle(angle_->value() * 10);
  tip.params.SetMinimum(minimum_->value() * 10);
  ApplyTip(form_, tip);
  Load();
}

}  // namespace tintara
