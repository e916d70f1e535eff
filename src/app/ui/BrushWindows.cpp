#include "app/ui/BrushWindows.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ui/MainForm.h"
#include "paint/PenMethod.h"

namespace tintara {

namespace {

// A brush becomes the pen's: renderer, stroke and the stroke-manager settings every picture
// takes at its next stroke.
void ApplyToPen(const CPenMethodObj& brush, CLivePen& pen) {
  ApplyBrush(brush, pen.render, pen.stroke, nullptr, true);
  pen.params = brush.Record().stroke;
}

}  // namespace

// --- the brush list -------------------------------------------------------------------------

TPenMtdListWin::TPenMtdListWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  box->addWidget(list_);
  connect(list_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { Choose(list_->row(item)); });
  Rebuild();
}

bool TPenMtdListWin::Choose(int32_t i) {
  CPenMethodMngr& brushes = form_.Brushes();
  if (!brushes.Select(i)) return false;
  ApplyToPen(*brushes.Current(), form_.Pen());
  // Applied anew: the editor takes a fresh copy.
  if (auto* editor = dynamic_cast<TPenMethodWin*>(form_.Palette("penMethod"))) editor->Reload();
  Rebuild();
  return true;
}

void TPenMtdListWin::Tick() {
  const CPenMethodMngr& brushes = form_.Brushes();
  if (brushes.Count() != shownCount_ || brushes.CurrentIndex() != shownCurrent_) Rebuild();
}

void TPenMtdListWin::Rebuild() {
  const CPenMethodMngr& brushes = form_.Brushes();
  list_->clear();
  for (int32_t i = 0; i < brushes.Count(); ++i)
    list_->addItem(QString::fromStdString(brushes.At(i)->Caption()));
  list_->setCurrentRow(brushes.CurrentIndex());
  shownCount_ = brushes.Count();
  shownCurrent_ = brushes.CurrentIndex();
}

// --- the brush editor -----------------------------------------------------------------------

TPenMethodWin::TPenMethodWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* f = new QFormLayout(this);
  f->setContentsMargins(6, 4, 6, 4);
  f->setVerticalSpacing(2);
  size_ = new QDoubleSpinBox(this);
  size_->setRange(PenTipParams::kMinRadius100 / 100.0, PenTipParams::kMaxRadius100 / 100.0);
  size_->setDecimals(1);
  size_->setSuffix(QStringLiteral(" px"));
  minimum_ = new QSpinBox(this);
  minimum_->setRange(PenTipParams::kMinMinimum / 10, PenTipParams::kMaxMinimum / 10);
  minimum_->setSuffix(QStringLiteral(" %"));
  opacity_ = new QSpinBox(this);
  opacity_->setRange(0, StrokeParams::kMaxOpacity / 10);
  opacity_->setSuffix(QStringLiteral(" %"));
  spacing_ = new QSpinBox(this);
  spacing_->setRange(StrokeParams::kMinSpacing / 10, StrokeParams::kMaxSpacing / 10);
  spacing_->setSuffix(QStringLiteral(" %"));
  f->addRow(QString::fromUtf8("サイズ"), size_);
  f->addRow(QString::fromUtf8("最小サイズ"), minimum_);
  f->addRow(QString::fromUtf8("不透明度"), opacity_);
  f->addRow(QString::fromUtf8("間隔"), spacing_);
  for (int i = 0; i < 3; ++i) {
    effects_[i] = new QSpinBox(this);
    effects_[i]->setRange(0, 100);
    f->addRow(QString::fromUtf8("効果%1").arg(i + 1), effects_[i]);
  }
  pressureSize_ = new QCheckBox(QString::fromUtf8("筆圧でサイズ"), this);
  pressureOpacity_ = new QCheckBox(QString::fromUtf8("筆圧で不透明度"), this);
  f->addRow(pressureSize_);
  f->addRow(pressureOpacity_);
  save_ = new QPushButton(QString::fromUtf8("ブラシに保存"), this);
  save_->setToolTip(QString::fromUtf8("編集した設定をリストのブラシに書き戻します"));
  f->addRow(save_);
  connect(save_, &QPushButton::clicked, this, [this] { SaveBack(); });
  auto changed = [this] {
    if (!loading_) Store();
  };
  connect(size_, &QDoubleSpinBox::valueChanged, this, changed);
  for (QSpinBox* s : {minimum_, opacity_, spacing_, effects_[0], effects_[1], effects_[2]})
    connect(s, &QSpinBox::valueChanged, this, changed);
  connect(pressureSize_, &QCheckBox::toggled, this, changed);
  connect(pressureOpacity_, &QCheckBox::toggled, this, changed);
  Load();
}

void TPenMethodWin::Tick() {
  const CPenMethodObj* b = form_.Brushes().Current();
  if ((b ? b->Serial() : -1) != shownSerial_) Load();
}

void TPenMethodWin::Load() {
  const CPenMethodObj* b = form_.Brushes().Current();
  shownSerial_ = b ? b->Serial() : -1;
  setEnabled(b != nullptr);
  if (!b) return;
  loading_ = true;
  // A brush applied is copied into the window; the pen's tip is the copy's tip.
  copy_ = b->Record();
  const CPenRender& render = form_.Pen().render;
  tipCopy_ = {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
  const PenMethodParams& p = copy_;
  const PenTipParams& tip = tipCopy_.params;
  size_->setValue(tip.radius100 / 100.0);
  minimum_->setValue(tip.minimum / 10);
  opacity_->setValue(p.stroke.opacity / 10);
  spacing_->setValue(p.stroke.spacing / 10);
  effects_[0]->setValue(p.head.effect1);
  effects_[1]->setValue(p.head.effect2);
  effects_[2]->setValue(p.head.effect3);
  pressureSize_->setChecked(p.stroke.pressureSize != 0);
  pressureOpacity_->setChecked(p.stroke.pressureOpacity != 0);
  loading_ = false;
}

void TPenMethodWin::Store() {
  if (!form_.Brushes().Current()) return;
  PenMethodParams p = copy_;
  p.stroke.SetOpacity(opacity_->value() * 10);
  p.stroke.SetSpacing(spacing_->value() * 10);
  p.head.effect1 = uint16_t(effects_[0]->value());
  p.head.effect2 = uint16_t(effects_[1]->value());
  p.head.effect3 = uint16_t(effects_[2]->value());
  p.stroke.pressureSize = pressureSize_->isChecked() ? 1 : 0;
  p.stroke.pressureOpacity = pressureOpacity_->isChecked() ? 1 : 0;
  copy_ = PenMethodParams::Clamped(p);
  // The tip as the pen has it now (the tip windows may have changed it), with this window's
  // size and minimum.
  const CPenRender& render = form_.Pen().render;
  tipCopy_ = {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
  tipCopy_.params.SetRadius100(int32_t(std::lround(size_->value() * 100)));
  tipCopy_.params.SetMinimum(minimum_->value() * 10);
  // The pen follows the copy at once; the brush in the list stays as it was until saved.
  CLivePen& pen = form_.Pen();
  CPenMethodObj edited;
  edited.SetRecord(copy_);
  edited.SetTipRecord(tipCopy_);
  ApplyToPen(edited, pen);
}

bool TPenMethodWin::SaveBack() {
  CPenMethodObj* b = form_.Brushes().Current();
  if (!b) return false;
  const CPenRender& render = form_.Pen().render;
  tipCopy_ = {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
  b->SetRecord(copy_);
  b->Tip().SetRecord(tipCopy_);
  return true;
}

}  // namespace tintara
