#include "app/ui/PenWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/MainForm.h"
#include "platform/SettingsStore.h"

namespace tintara {

TPenWindow2::TPenWindow2(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  auto* row = new QHBoxLayout;
  row->setSpacing(1);
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  for (int i = 0; i < 5; ++i) {
    buttons_[i] = new QToolButton(this);
    buttons_[i]->setCheckable(true);
    buttons_[i]->setToolButtonStyle(Qt::ToolButtonTextOnly);
    buttons_[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    group_->addButton(buttons_[i], i);
    row->addWidget(buttons_[i]);
    connect(buttons_[i], &QToolButton::clicked, this, [this, i] { ChooseSlot(i); });
  }
  box->addLayout(row);
  auto* f = new QFormLayout;
  kind_ = new QComboBox(this);
  for (int k = 0; k < kPenKindCount; ++k)
    if (k != kPenBlur2) kind_->addItem(QString::fromUtf8(PenKindOf(k).caption), k);
  width_ = new QDoubleSpinBox(this);
  width_->setRange(TStroke::kMinWidth, TStroke::kMaxWidth);
  width_->setDecimals(1);
  width_->setSuffix(QStringLiteral(" px"));
  minimum_ = new QSpinBox(this);
  minimum_->setRange(0, 100);
  minimum_->setSuffix(QStringLiteral(" %"));
  f->addRow(QString::fromUtf8("種類"), kind_);
  f->addRow(QString::fromUtf8("太さ"), width_);
  f->addRow(QString::fromUtf8("最小サイズ"), minimum_);
  box->addLayout(f);
  box->addStretch(1);
  // The slots as the last run left them, and the current kind's values.
  if (ISettingsStore* store = form_.Store())
    LoadPenSlots(*store, kAppSettingsKey, slots_, &form_.Pen().stroke);
  LoadKind();
  connect(kind_, &QComboBox::activated, this, [this](int index) {
    if (!SetSlotKind(kind_->itemData(index).toInt())) Refresh();
  });
  connect(width_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    if (!loading_) form_.Pen().stroke.SetWidth(float(v));
  });
  connect(minimum_, &QSpinBox::valueChanged, this, [this](int v) {
    if (!loading_) form_.Pen().stroke.SetMin(float(v));
  });
  Refresh();
}

void TPenWindow2::LoadKind() {
  TStroke& stroke = form_.Pen().stroke;
  const int32_t kind = slots_.kinds[slots_.current];
  stroke.SetKind(kind);
  const ISettingsStore* store = form_.Store();
  if (!store || !LoadPenSettings(*store, kAppSettingsKey, stroke, kind, slots_.variants[kind] + 1, true,
                                 &form_.Pen().render))
    SetPenKindDefaults(stroke, kind, &form_.Pen().render);
}

void TPenWindow2::SaveSettings(ISettingsStore& store) {
  SavePenSlots(store, kAppSettingsKey, slots_);
  const int32_t kind = slots_.kinds[slots_.current];
  SavePenSettings(store, kAppSettingsKey, form_.Pen().stroke, kind, slots_.variants[kind] + 1);
}

bool TPenWindow2::ChooseSlot(int i) {
  if (i < 0 || i >= 5) return false;
  if (i == slots_.current) return true;
  // The kind left keeps its values; the kind chosen comes with its own.
  if (ISettingsStore* store = form_.Store()) {
    const int32_t kind = slots_.kinds[slots_.current];
    SavePenSettings(*store, kAppSettingsKey, form_.Pen().stroke, kind, slots_.variants[kind] + 1);
  }
  slots_.current = i;
  LoadKind();
  Refresh();
  return true;
}

bool TPenWindow2::SetSlotKind(int kind) {
  if (kind < 0 || kind >= kPenKindCount || kind == kPenBlur2) return false;
  for (int i = 0; i < 5; ++i)
    if (i != slots_.current && slots_.kinds[i] == kind) return false;  // each kind in one slot only
  slots_.kinds[slots_.current] = kind;
  LoadKind();
  Refresh();
  return true;
}

void TPenWindow2::Tick() {
  const TStroke& s = form_.Pen().stroke;
  if (std::abs(width_->value() - s.Width()) > 0.05 || minimum_->value() != int(s.Min())) Refresh();
}

void TPenWindow2::Refresh() {
  loading_ = true;
  for (int i = 0; i < 5; ++i) buttons_[i]->setText(QString::fromUtf8(PenKindOf(slots_.kinds[i]).caption));
  buttons_[slots_.current]->setChecked(true);
  kind_->setCurrentIndex(kind_->findData(slots_.kinds[slots_.current]));
  const TStroke& s = form_.Pen().stroke;
  width_->setValue(s.Width());
  minimum_->setValue(int(s.Min()));
  loading_ = false;
}

}  // namespace tintara
