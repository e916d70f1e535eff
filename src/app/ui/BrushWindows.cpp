#include "app/ui/BrushWindows.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/PenTipWindows.h"
#include "paint/PenMethod.h"

namespace tintara {

namespace {

// The editor's own edits reach the pen this way: the tip list's mark stays where it was, since
// the edited brush is still the one chosen.
void ApplyToPen(const CPenMethodObj& brush, TMainForm& form) {
  CLivePen& pen = form.Pen();
  // The brush's opacity is the pen's only while the active picture draws with brushes: the old
  // pens keep their own.
  TDrawWindow* w = form.ActiveDrawWindow();
  const bool brushEngine = !w || w->Paper().Engine() == StrokeEngine::kManager;
  ApplyBrush(brush, pen.render, pen.stroke, nullptr, brushEngine);
  pen.params = brush.Record().stroke;
}

}  // namespace

void ApplyBrushToPen(TMainForm& form, const CPenMethodObj& brush) {
  ApplyToPen(brush, form);
  // A brush without a tip leaves the pen's tip, and so the mark, as they were.
  const CPenShapeObj* tip = brush.TipIfAny();
  if (!tip) return;
  CPenShapeMngr& tips = form.Tips();
  const int32_t i = FindListTip(tips, *tip);
  if (i >= 0)
    tips.Select(i);
  else
    tips.Deselect();
}

BrushEffectCaption BrushEffectCaptionOf(const SPenBrushHead& head, int effect) {
  if (head.channel != 0 || effect < 0 || effect > 2) return {};
  switch (head.mode) {
    case kBrushWatercolour: {
      constexpr BrushEffectCaption kWatercolour[3] = {
          {"影響度1", "キャンバス色の影響度"}, {"影響度2", "周辺色の影響度"}, {"変化長", "ペン色への変化長"}};
      return kWatercolour[effect];
    }
    case kBrushBlur:
      if (effect == 0) return {"強度", "ぼかし強度"};
      return {};
    case kBrushBurnDodge:
      if (effect == 0) return {"露出量", "露出量"};
      return {};
    default:
      return {};
  }
}

// --- the brush list -------------------------------------------------------------------------

TPenMtdListWin::TPenMtdListWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  box->addWidget(list_);
  // A new row by mouse or keys applies the brush; clicking the row that was already current
  // applies it again (it drops the editor's unsaved edits).
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!settingRow_ && row >= 0) Choose(row);
  });
  connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    const int row = list_->row(item);
    if (row == rowBeforePress_) Choose(row);
  });
  list_->viewport()->installEventFilter(this);
  auto* slotRow = new QHBoxLayout;
  slotRow->setSpacing(2);
  for (int i = 0; i < kBrushShortcutSlots; ++i) {
    auto* b = new QToolButton(this);
    b->setText(QString::number(i + 1));
    b->setContextMenuPolicy(Qt::CustomContextMenu);
    slotRow->addWidget(b);
    shortcutButtons_[size_t(i)] = b;
    connect(b, &QToolButton::clicked, this, [this, i] { ChooseShortcut(i); });
    connect(b, &QToolButton::customContextMenuRequested, this, [this, i, b](const QPoint& at) {
      QMenu menu(this);
      menu.addAction(QString::fromUtf8("現在のブラシを登録"), this,
                     [this, i] { AssignShortcut(i, form_.Brushes().CurrentIndex()); });
      QAction* clear =
          menu.addAction(QString::fromUtf8("登録を解除"), this, [this, i] { AssignShortcut(i, -1); });
      clear->setEnabled(shortcuts_[size_t(i)] >= 0);
      menu.exec(b->mapToGlobal(at));
    });
  }
  slotRow->addStretch(1);
  box->addLayout(slotRow);
  Rebuild();
  ShowShortcuts();
}

bool TPenMtdListWin::ChooseShortcut(int slot) {
  if (slot < 0 || slot >= kBrushShortcutSlots) return false;
  const int32_t brush = shortcuts_[size_t(slot)];
  return brush >= 0 && Choose(brush);
}

void TPenMtdListWin::AssignShortcut(int slot, int32_t brush) {
  if (slot < 0 || slot >= kBrushShortcutSlots) return;
  shortcuts_[size_t(slot)] = form_.Brushes().At(brush) ? brush : -1;
  ShowShortcuts();
}

void TPenMtdListWin::LoadShortcuts(const BrushSettings& profile) {
  for (int i = 0; i < kBrushShortcutSlots; ++i)
    shortcuts_[size_t(i)] = ResolveBrushShortcut(profile.shortCut[i], form_.Brushes());
  ShowShortcuts();
}

void TPenMtdListWin::SaveShortcuts(BrushSettings& profile) const {
  for (int i = 0; i < kBrushShortcutSlots; ++i)
    profile.shortCut[i] = FormatBrushShortcut(i, shortcuts_[size_t(i)], form_.Brushes());
}

void TPenMtdListWin::ShowShortcuts() {
  for (int i = 0; i < kBrushShortcutSlots; ++i) {
    const CPenMethodObj* b = form_.Brushes().At(shortcuts_[size_t(i)]);
    QToolButton* button = shortcutButtons_[size_t(i)];
    button->setToolTip(b ? QString::fromStdString(b->Caption())
                         : QString::fromUtf8("未登録（右クリックで現在のブラシを登録）"));
    QFont f = button->font();
    f.setBold(b != nullptr);
    button->setFont(f);
  }
}

bool TPenMtdListWin::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_->viewport() && event->type() == QEvent::MouseButtonPress)
    rowBeforePress_ = list_->currentRow();
  return TPaletteWindow::eventFilter(watched, event);
}

bool TPenMtdListWin::Choose(int32_t i) {
  CPenMethodMngr& brushes = form_.Brushes();
  if (!brushes.Select(i)) return false;
  ApplyBrushToPen(form_, *brushes.Current());
  // Applied anew: the editor takes a fresh copy.
  if (auto* editor = dynamic_cast<TPenMethodWin*>(form_.Palette("penMethod"))) editor->Reload();
  ShowMark();
  return true;
}

void TPenMtdListWin::Tick() {
  const CPenMethodMngr& brushes = form_.Brushes();
  if (Shown() != shown_)
    Rebuild();
  else if (brushes.CurrentIndex() != shownCurrent_)
    ShowMark();
}

void TPenMtdListWin::Rebuild() {
  const CPenMethodMngr& brushes = form_.Brushes();
  {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (int32_t i = 0; i < brushes.Count(); ++i)
      list_->addItem(QString::fromStdString(brushes.At(i)->Caption()));
  }
  shown_ = Shown();
  ShowMark();
}

std::vector<std::pair<int32_t, std::string>> TPenMtdListWin::Shown() const {
  const CPenMethodMngr& brushes = form_.Brushes();
  std::vector<std::pair<int32_t, std::string>> out;
  out.reserve(size_t(brushes.Count()));
  for (int32_t i = 0; i < brushes.Count(); ++i)
    out.emplace_back(brushes.At(i)->Serial(), brushes.At(i)->Caption());
  return out;
}

void TPenMtdListWin::ShowMark() {
  // The program moves the row: nothing is applied again.
  const int32_t current = form_.Brushes().CurrentIndex();
  settingRow_ = true;
  list_->setCurrentRow(current);
  if (current < 0) list_->clearSelection();
  settingRow_ = false;
  shownCurrent_ = current;
}

// --- the pressure curve ---------------------------------------------------------------------

TGammaCurve::TGammaCurve(QWidget* parent) : QWidget(parent) {
  setMinimumSize(48, 36);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TGammaCurve::SetGamma(double gamma) {
  if (gamma == gamma_) return;
  gamma_ = gamma;
  update();
}

void TGammaCurve::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box = QRectF(rect()).adjusted(2, 2, -3, -3);
  const double side = std::min(box.width(), box.height());
  const QRectF plot(box.left(), box.top(), side, side);
  p.fillRect(plot, palette().base());
  p.setPen(palette().mid().color());
  p.drawRect(plot);
  // Pressure along x, what it gives along y.
  QPainterPath path;
  constexpr int kSteps = 32;
  for (int k = 0; k <= kSteps; ++k) {
    const double x = double(k) / kSteps, y = std::pow(x, gamma_);
    const QPointF at(plot.left() + x * plot.width(), plot.bottom() - y * plot.height());
    if (k == 0)
      path.moveTo(at);
    else
      path.lineTo(at);
  }
  p.setPen(QPen(palette().text().color(), 1.5));
  p.drawPath(path);
  p.drawText(QRectF(plot.right() + 6, box.top(), box.right() - plot.right() - 6, box.height()),
             Qt::AlignLeft | Qt::AlignVCenter, Text());
}

// --- the brush editor -----------------------------------------------------------------------

TPenMethodWin::TPenMethodWin(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* f = new QFormLayout(this);
  f->setContentsMargins(6, 4, 6, 4);
  f->setVerticalSpacing(2);
  size_ = new TRadiusEdit(this);
  minimum_ = new QSpinBox(this);
  minimum_->setRange(PenTipParams::kMinMinimum / 10, PenTipParams::kMaxMinimum / 10);
  minimum_->setSuffix(QStringLiteral(" %"));
  opacity_ = new QSpinBox(this);
  opacity_->setRange(1, StrokeParams::kMaxOpacity / 10);
  opacity_->setSuffix(QStringLiteral(" %"));
  spacing_ = new QSpinBox(this);
  spacing_->setRange(StrokeParams::kMinSpacing / 10, StrokeParams::kMaxSpacing / 10);
  spacing_->setSuffix(QStringLiteral(" %"));
  sizeLabel_ = new QLabel(QString::fromUtf8("サイズ"), this);
  f->addRow(sizeLabel_, size_);
  f->addRow(QString::fromUtf8("最小%"), minimum_);
  f->addRow(QString::fromUtf8("不透明度"), opacity_);
  f->addRow(QString::fromUtf8("間隔"), spacing_);
  for (int i = 0; i < 3; ++i) {
    effects_[i] = new QSpinBox(this);
    effects_[i]->setRange(0, 100);
    effectLabels_[i] = new QLabel(this);
    f->addRow(effectLabels_[i], effects_[i]);
  }
  pressureSize_ = new QCheckBox(QString::fromUtf8("筆圧でサイズ"), this);
  pressureOpacity_ = new QCheckBox(QString::fromUtf8("筆圧で不透明度"), this);
  useGradation_ = new QCheckBox(QStringLiteral("useGradation"), this);
  useGradation_->setToolTip(QString::fromUtf8("ペン色の代わりにグラデーションで描きます"));
  useTone_ = new QCheckBox(QStringLiteral("useTone"), this);
  useTone_->setToolTip(QString::fromUtf8("トーンで描きます"));
  f->addRow(pressureSize_);
  f->addRow(pressureOpacity_);
  f->addRow(useGradation_);
  f->addRow(useTone_);
  gamma_ = new QDoubleSpinBox(this);
  gamma_->setRange(StrokeParams::kMinGamma / 100.0, StrokeParams::kMaxGamma / 100.0);
  gamma_->setDecimals(2);
  gamma_->setSingleStep(0.05);
  gamma_->setToolTip(QString::fromUtf8("筆圧の効き方: 筆圧 ^ ガンマ"));
  gammaCurve_ = new TGammaCurve(this);
  gammaCurve_->setToolTip(gamma_->toolTip());
  auto* gammaRow = new QWidget(this);
  auto* gammaBox = new QHBoxLayout(gammaRow);
  gammaBox->setContentsMargins(0, 0, 0, 0);
  gammaBox->addWidget(gammaCurve_, 1);
  gammaBox->addWidget(gamma_, 0, Qt::AlignBottom);
  f->addRow(QString::fromUtf8("ガンマ"), gammaRow);
  save_ = new QPushButton(QString::fromUtf8("ブラシに保存"), this);
  save_->setToolTip(QString::fromUtf8("編集した設定をリストのブラシに書き戻します"));
  f->addRow(save_);
  connect(save_, &QPushButton::clicked, this, [this] { SaveBack(); });
  auto changed = [this] {
    if (!loading_) Store();
  };
  connect(Size(), &QDoubleSpinBox::valueChanged, this, changed);
  for (QSpinBox* s : {minimum_, opacity_, spacing_, effects_[0], effects_[1], effects_[2]})
    connect(s, &QSpinBox::valueChanged, this, changed);
  for (QCheckBox* c : {pressureSize_, pressureOpacity_, useGradation_, useTone_})
    connect(c, &QCheckBox::toggled, this, changed);
  connect(gamma_, &QDoubleSpinBox::valueChanged, this, [this, changed](double g) {
    gammaCurve_->SetGamma(g);
    changed();
  });
  Load();
}

QDoubleSpinBox* TPenMethodWin::Size() const { return size_->Spin(); }
QSlider* TPenMethodWin::SizeSlider() const { return size_->Slider(); }

void TPenMethodWin::Tick() {
  const CPenMethodObj* b = form_.Brushes().Current();
  if ((b ? b->Serial() : -1) != shownSerial_)
    Load();
  else if (PenSize() != shownSize_) {
    // The tip window changed the pen's tip: show it, so that the next edit here keeps it.
    loading_ = true;
    ShowSize();
    loading_ = false;
  }
}

TPenMethodWin::SizeShown TPenMethodWin::PenSize() const {
  const CPenRender& render = form_.Pen().render;
  const bool bitmap = render.HasBitmapTip();
  return {bitmap, bitmap ? render.Tip().SizePercent() : render.TipParams().radius100,
          render.TipParams().minimum};
}

void TPenMethodWin::ShowSize() {
  const CPenRender& render = form_.Pen().render;
  shownSize_ = PenSize();
  // A bitmap tip is sized by its zoom, within the range its bitmap allows.
  if (shownSize_.bitmap) {
    sizeLabel_->setText(QString::fromUtf8("ｽﾞｰﾑ"));
    size_->SetZoomMode(render.Tip().SizeMin(), render.Tip().SizeMax());
    Size()->setValue(shownSize_.size);
  } else {
    sizeLabel_->setText(QString::fromUtf8("サイズ"));
    size_->SetRadiusMode();
    Size()->setValue(shownSize_.size / 100.0);
  }
  minimum_->setValue(shownSize_.minimum / 10);
}

void TPenMethodWin::ShowEffects(const SPenBrushHead& head) {
  for (int i = 0; i < 3; ++i) {
    const BrushEffectCaption c = BrushEffectCaptionOf(head, i);
    const bool shown = c.label != nullptr;
    effectLabels_[i]->setText(shown ? QString::fromUtf8(c.label) : QString());
    const QString hint = shown ? QString::fromUtf8(c.hint) : QString();
    effectLabels_[i]->setToolTip(hint);
    effects_[i]->setToolTip(hint);
    // The whole row goes, spacing included, so the window stays compact.
    if (auto* form = qobject_cast<QFormLayout*>(layout())) form->setRowVisible(effects_[i], shown);
  }
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
  ShowSize();
  opacity_->setValue(p.stroke.opacity / 10);
  spacing_->setValue(p.stroke.spacing / 10);
  effects_[0]->setValue(p.head.effect1);
  effects_[1]->setValue(p.head.effect2);
  effects_[2]->setValue(p.head.effect3);
  ShowEffects(p.head);
  pressureSize_->setChecked(p.stroke.pressureSize != 0);
  pressureOpacity_->setChecked(p.stroke.pressureOpacity != 0);
  useGradation_->setChecked(p.useGradation != 0);
  useTone_->setChecked(p.useTone != 0);
  gamma_->setValue(p.stroke.gamma / 100.0);
  gammaCurve_->SetGamma(gamma_->value());
  loading_ = false;
}

void TPenMethodWin::Store() {
  if (!form_.Brushes().Current()) return;
  PenMethodParams p = copy_;
  p.stroke.SetOpacity(FieldValue(opacity_->value(), copy_.stroke.opacity, 10));
  p.stroke.SetSpacing(FieldValue(spacing_->value(), copy_.stroke.spacing, 10));
  // Effects the mode does not have keep their values: the bars are hidden, not zeroed.
  uint16_t* effects[3] = {&p.head.effect1, &p.head.effect2, &p.head.effect3};
  for (int i = 0; i < 3; ++i)
    if (BrushEffectCaptionOf(p.head, i).label) *effects[i] = uint16_t(effects_[i]->value());
  p.stroke.pressureSize = pressureSize_->isChecked() ? 1 : 0;
  p.stroke.pressureOpacity = pressureOpacity_->isChecked() ? 1 : 0;
  p.useGradation = useGradation_->isChecked() ? 1 : 0;
  p.useTone = useTone_->isChecked() ? 1 : 0;
  p.stroke.SetGamma(int32_t(std::lround(gamma_->value() * 100)));
  copy_ = PenMethodParams::Clamped(p);
  // The tip as the pen has it now (the tip windows may have changed it), with this window's
  // size and minimum.
  const CPenRender& render = form_.Pen().render;
  tipCopy_ = {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
  tipCopy_.params.SetMinimum(FieldValue(minimum_->value(), render.TipParams().minimum, 10));
  // The pen follows the copy at once; the brush in the list stays as it was until saved.
  CPenMethodObj edited;
  edited.SetRecord(copy_);
  if (size_->IsZoom() && render.HasBitmapTip()) {
    // The pen's bitmap goes with the edit (a record alone would drop it), at the new zoom.
    if (!edited.SetTip(render.Tip())) return;
    CPenShapeObj& tip = edited.Tip();
    tip.SetRecord(tipCopy_);
    tip.SetSizePercent(int32_t(std::lround(Size()->value())));
    tip.params.radius100 = tip.SizePercent() * 100;
    tipCopy_ = tip.Record();
  } else {
    tipCopy_.params.SetRadius100(int32_t(std::lround(Size()->value() * 100)));
    edited.SetTipRecord(tipCopy_);
  }
  ApplyToPen(edited, form_);
  shownSize_ = PenSize();
}

bool TPenMethodWin::SaveBack() {
  CPenMethodObj* b = form_.Brushes().Current();
  if (!b) return false;
  const CPenRender& render = form_.Pen().render;
  tipCopy_ = {render.Density(), render.TipParams(), render.HardEdge() ? 1 : 0};
  b->SetRecord(copy_);
  // The brush takes the pen's tip: its bitmap and zoom too, or none when the pen's tip has none.
  if (render.HasBitmapTip()) {
    if (!b->SetTip(render.Tip())) return false;
  } else {
    b->Tip().DropBitmap();
  }
  b->Tip().SetRecord(tipCopy_);
  return true;
}

}  // namespace tintara
