#include "app/ui/PenWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ui/MainForm.h"
#include "paint/PenRender.h"
#include "platform/SettingsStore.h"

namespace tintara {

namespace {

using Param = TPenWindow2::Param;

// What bar 1 and bar 2 are for a kind.
enum class Bar1 { kNone, kEffect, kBlurStrength, kSpacing };
enum class Bar2 { kNone, kEnv, kExposure };

struct KindOffer {
  bool min, ifSize, ifTransparency, ifEdge;
  Bar1 bar1;
  Bar2 bar2;
  bool speed;
};

// Which settings each kind shows and uses; WIDTH and opacity every kind has.
constexpr KindOffer kOffers[kPenKindCount] = {
    {true, true, true, false, Bar1::kNone, Bar2::kNone, false},           // pen
    {true, true, true, true, Bar1::kEffect, Bar2::kEnv, true},            // wc
    {true, true, false, false, Bar1::kBlurStrength, Bar2::kNone, false},  // blur
    {true, true, true, true, Bar1::kNone, Bar2::kNone, false},            // eraser
    {false, false, false, false, Bar1::kNone, Bar2::kNone, false},        // blur2, never drawn with
    {true, true, true, false, Bar1::kSpacing, Bar2::kNone, false},        // airbrush
    {true, true, true, false, Bar1::kSpacing, Bar2::kNone, false},        // rubpen
    {true, true, true, false, Bar1::kSpacing, Bar2::kExposure, false},    // darken
    {true, true, true, false, Bar1::kSpacing, Bar2::kExposure, false},    // lighten
};

struct Scale {
  int lo, hi, step, page;
};

// Slider positions: MIN in tenths of a percent, WIDTH on its two-speed scale, opacity and
// spacing in percent (spacing moving by 0.02), GAMMA in hundredths, SPEED in halves.
Scale ScaleOf(Param p) {
  switch (p) {
    case Param::kMin:
      return {0, 1000, 10, 100};
    case Param::kWidth:
      return {1, 380, 1, 10};
    case Param::kOpacity:
      return {0, 100, 1, 10};
    case Param::kGamma:
      return {1, 600, 1, 10};
    case Param::kEffect:
    case Param::kEnv:
      return {0, 100, 1, 10};
    case Param::kSpeed:
      return {0, 200, 1, 10};
    case Param::kSpacing:
      return {2, 200, 2, 10};
  }
  return {0, 100, 1, 10};
}

// Fine steps of 0.1 up to 20 pixels, whole pixels above: positions 1..200 are tenths, then
// each position one pixel more, up to 200 at position 380.
int WidthPosition(float w) {
  return w < 19.95f ? std::max(1, int(std::lround(w * 10.0f))) : 200 + int(std::lround(w - 20.0f));
}
float WidthAt(int pos) { return pos <= 200 ? float(pos) / 10.0f : 20.0f + float(pos - 200); }

// The percent the opacity bar shows; the small lift added when setting keeps it from falling
// to the percent below.
int OpacityPercent(float opacity) { return int(std::floor(double(opacity) * 100.0 + 1e-3)); }

int PositionOf(Param p, const TStroke& s) {
  switch (p) {
    case Param::kMin:
      return int(std::lround(s.Min() * 10.0f));
    case Param::kWidth:
      return WidthPosition(s.Width());
    case Param::kOpacity:
      return OpacityPercent(s.Opacity());
    case Param::kGamma:
      return int(std::lround(s.Gamma() * 100.0f));
    case Param::kEffect:
      return int(s.Effect());
    case Param::kEnv:
      return int(s.Env());
    case Param::kSpeed:
      return int(std::lround(s.Speed() * 2.0f));
    case Param::kSpacing:
      return int(std::lround(s.StoredSpacing() * 100.0f));
  }
  return 0;
}

void ApplyPosition(Param p, TStroke& s, int pos) {
  switch (p) {
    case Param::kMin:
      s.SetMin(float(pos) / 10.0f);
      break;
    case Param::kWidth:
      s.SetWidth(WidthAt(pos));
      break;
    case Param::kOpacity:
      s.SetOpacity(float(pos) / 100.0f + 0.002f);
      break;
    case Param::kGamma:
      s.SetGamma(float(pos) / 100.0f);
      break;
    case Param::kEffect:
      s.SetEffect(float(pos));
      break;
    case Param::kEnv:
      s.SetEnv(float(pos));
      break;
    case Param::kSpeed:
      s.SetSpeed(float(pos) * 0.5f);
      break;
    case Param::kSpacing:
      s.SetSpacing(float(pos) / 100.0f);
      break;
  }
}

QString TextOf(Param p, const char* caption, const TStroke& s) {
  switch (p) {
    case Param::kMin:
      return QString::asprintf("%s %3.1f[%%]", caption, double(s.Min()));
    case Param::kWidth:
      return QString::asprintf("%s %3.1f[pixel]", caption, double(s.Width()));
    case Param::kOpacity:
      return QString::asprintf("%s %3d%%", caption, OpacityPercent(s.Opacity()));
    case Param::kGamma:
      return QString::asprintf("%s %2.2f", caption, double(s.Gamma()));
    case Param::kEffect:
      return QString::asprintf("%s %3d", caption, int(s.Effect()));
    case Param::kEnv:
      return QString::asprintf("%s %3d", caption, int(s.Env()));
    case Param::kSpeed:
      return QString::asprintf("%s %3.1f", caption, double(s.Speed()));
    case Param::kSpacing:
      return QString::asprintf("%s %3d%%", caption, int(std::lround(s.StoredSpacing() * 100.0f)));
  }
  return {};
}

constexpr const char* kMinCaption = "最小サイズ";
constexpr const char* kWidthCaption = "サイズ";
constexpr const char* kOpacityCaption = "不透明度";
constexpr const char* kGammaCaption = "筆圧ガンマ";
constexpr const char* kSpeedCaption = "変化長";

}  // namespace

TPenWindow2::TPenWindow2(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  // A click anywhere in the window gives it the focus, so its keys reach it.
  setFocusPolicy(Qt::ClickFocus);
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(4, 4, 4, 4);
  box->setSpacing(2);
  auto* row = new QHBoxLayout;
  row->setSpacing(1);
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  for (int i = 0; i < 5; ++i) {
    buttons_[i] = new QToolButton(this);
    buttons_[i]->setCheckable(true);
    buttons_[i]->setToolButtonStyle(Qt::ToolButtonTextOnly);
    buttons_[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    buttons_[i]->setToolTip(QString::fromUtf8("右クリックで種類の変更"));
    buttons_[i]->setContextMenuPolicy(Qt::CustomContextMenu);
    group_->addButton(buttons_[i], i);
    row->addWidget(buttons_[i]);
    connect(buttons_[i], &QToolButton::clicked, this, [this, i] { ChooseSlot(i); });
    connect(buttons_[i], &QToolButton::customContextMenuRequested, this, [this, i](const QPoint& at) {
      ChooseSlot(i);
      KindMenu()->exec(buttons_[i]->mapToGlobal(at));
    });
  }
  box->addLayout(row);

  auto* kindRow = new QHBoxLayout;
  kindRow->setSpacing(2);
  kindButton_ = new QToolButton(this);
  kindButton_->setToolTip(QString::fromUtf8("このスロットのペンの種類"));
  kindButton_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  kindMenu_ = new QMenu(this);
  kindButton_->setMenu(kindMenu_);
  kindButton_->setPopupMode(QToolButton::InstantPopup);
  connect(kindMenu_, &QMenu::aboutToShow, this, [this] { KindMenu(); });
  variantDown_ = new QToolButton(this);
  variantDown_->setArrowType(Qt::LeftArrow);
  variantDown_->setToolTip(QString::fromUtf8("前の設定 (E)"));
  variant_ = new QLabel(this);
  variant_->setAlignment(Qt::AlignCenter);
  variant_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("00")));
  variant_->setToolTip(QString::fromUtf8("設定番号"));
  variantUp_ = new QToolButton(this);
  variantUp_->setArrowType(Qt::RightArrow);
  variantUp_->setToolTip(QString::fromUtf8("次の設定 (R)"));
  kindRow->addWidget(kindButton_, 1);
  kindRow->addWidget(variantDown_);
  kindRow->addWidget(variant_);
  reset_ = new QToolButton(this);
  reset_->setText(QString::fromUtf8("初期値"));
  reset_->setToolTip(QString::fromUtf8("この種類の設定を初期値に戻します"));
  kindRow->addWidget(variantUp_);
  kindRow->addWidget(reset_);
  box->addLayout(kindRow);
  connect(variantDown_, &QToolButton::clicked, this, [this] { StepVariant(-1); });
  connect(variantUp_, &QToolButton::clicked, this, [this] { StepVariant(1); });
  connect(reset_, &QToolButton::clicked, this, [this] { ResetKind(); });

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(1);
  // Wide enough for the longest read-out, so the bars do not jump as the numbers change.
  const int labelWidth = fontMetrics().horizontalAdvance(QString::fromUtf8("最小サイズ 100.0[%]")) + 4;
  for (int r = 0; r < kRowCount; ++r) {
    BarRow& b = rows_[r];
    b.label = new QLabel(this);
    b.label->setMinimumWidth(labelWidth);
    b.slider = new QSlider(Qt::Horizontal, this);
    grid->addWidget(b.label, r, 0);
    grid->addWidget(b.slider, r, 1);
    connect(b.slider, &QSlider::valueChanged, this, [this, r](int v) { Apply(Row(r), v); });
  }
  box->addLayout(grid);
  // The brush window's captions for the same two pressure switches.
  auto* checks = new QGridLayout;
  checks->setVerticalSpacing(0);
  const char* switchCaptions[kSwitchCount] = {"筆圧でサイズ", "筆圧で不透明度", "ソフトエッジ"};
  for (int i = 0; i < kSwitchCount; ++i) {
    switches_[i] = new QCheckBox(QString::fromUtf8(switchCaptions[i]), this);
    checks->addWidget(switches_[i], i / 2, i % 2);
    connect(switches_[i], &QCheckBox::toggled, this, [this, i](bool on) {
      if (loading_) return;
      TStroke& s = form_.Pen().stroke;
      if (i == kSwitchSize) s.SetIfSize(on);
      if (i == kSwitchTransparency) s.SetIfTransparency(on);
      if (i == kSwitchEdge) s.SetIfEdge(on);
      Refresh();
    });
  }
  checks->setColumnStretch(2, 1);
  box->addLayout(checks);
  airMap_ = new QToolButton(this);
  airMap_->setText(QString::fromUtf8("濃度分布..."));
  airMap_->setToolTip(QString::fromUtf8("濃度分布選択"));
  airMap_->setIconSize(QSize(20, 20));
  airMap_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  box->addWidget(airMap_, 0, Qt::AlignLeft);
  connect(airMap_, &QToolButton::clicked, this, [this] {
    TAirMapDialog dialog(form_.Pen().stroke.AirMap(), this);
    if (dialog.exec() == QDialog::Accepted) SetAirMap(dialog.Chosen());
  });
  box->addStretch(1);
  // The slots as the last run left them, and the current kind's values.
  if (ISettingsStore* store = form_.Store())
    LoadPenSlots(*store, kAppSettingsKey, slots_, &form_.Pen().stroke);
  LoadKind();
  Refresh();
}

TPenWindow2::~TPenWindow2() = default;

void TPenWindow2::LoadKind() {
  TStroke& stroke = form_.Pen().stroke;
  const int32_t kind = slots_.kinds[slots_.current];
  stroke.SetKind(kind);
  const ISettingsStore* store = form_.Store();
  if (!store || !LoadPenSettings(*store, kAppSettingsKey, stroke, kind, slots_.variants[kind] + 1, true,
                                 &form_.Pen().render))
    SetPenKindDefaults(stroke, kind, &form_.Pen().render);
}

void TPenWindow2::ResetKind() {
  // The kind's defaults in the pen; the variant keeps them once it is left or the program ends.
  const int32_t kind = slots_.kinds[slots_.current];
  SetPenKindDefaults(form_.Pen().stroke, kind, &form_.Pen().render);
  Refresh();
}

void TPenWindow2::SetAirMap(int32_t index) {
  if (index < 0 || index >= CPenRender::kAirMapCount) return;
  form_.Pen().stroke.SetAirMap(index);
  form_.Pen().render.SelectAirMap(index);
  Refresh();
}

void TPenWindow2::SaveKind() {
  const int32_t kind = slots_.kinds[slots_.current];
  const TStroke& stroke = form_.Pen().stroke;
  // While another kind is borrowed (the eraser end of a pen), its values are not this kind's.
  if (ISettingsStore* store = form_.Store(); store && stroke.Kind() == kind)
    SavePenSettings(*store, kAppSettingsKey, stroke, kind, slots_.variants[kind] + 1);
}

void TPenWindow2::SaveSettings(ISettingsStore& store) {
  SavePenSlots(store, kAppSettingsKey, slots_);
  const int32_t kind = slots_.kinds[slots_.current];
  const TStroke& stroke = form_.Pen().stroke;
  if (stroke.Kind() == kind) SavePenSettings(store, kAppSettingsKey, stroke, kind, slots_.variants[kind] + 1);
}

bool TPenWindow2::ChooseSlot(int i) {
  if (i < 0 || i >= 5) return false;
  if (i == slots_.current) return true;
  // The kind left keeps its values; the kind chosen comes with its own.
  SaveKind();
  slots_.current = i;
  LoadKind();
  Refresh();
  return true;
}

bool TPenWindow2::SetSlotKind(int kind) {
  if (kind < 0 || kind >= kPenKindCount || kind == kPenBlur2) return false;
  if (kind == slots_.kinds[slots_.current]) return true;
  for (int i = 0; i < 5; ++i)
    if (slots_.kinds[i] == kind) return false;  // each kind in one slot only
  SaveKind();
  slots_.kinds[slots_.current] = kind;
  LoadKind();
  Refresh();
  return true;
}

bool TPenWindow2::StepVariant(int delta) {
  const int32_t kind = slots_.kinds[slots_.current];
  const int32_t next = std::clamp(slots_.variants[kind] + delta, 0, kPenVariants - 1);
  if (next == slots_.variants[kind]) return false;
  SaveKind();
  slots_.variants[kind] = next;
  LoadKind();
  Refresh();
  return true;
}

std::vector<int32_t> TPenWindow2::FreeKinds() const {
  std::vector<int32_t> kinds;
  for (int32_t k = 0; k < kPenKindCount; ++k)
    if (k != kPenBlur2 &&
        std::find(std::begin(slots_.kinds), std::end(slots_.kinds), k) == std::end(slots_.kinds))
      kinds.push_back(k);
  return kinds;
}

QMenu* TPenWindow2::KindMenu() {
  kindMenu_->clear();
  for (int32_t k : FreeKinds()) {
    QAction* a = kindMenu_->addAction(QString::fromUtf8(PenKindOf(k).caption));
    a->setData(k);
    connect(a, &QAction::triggered, this, [this, k] { SetSlotKind(k); });
  }
  return kindMenu_;
}

bool TPenWindow2::IsOwnKey(int key, Qt::KeyboardModifiers mods) {
  // Ctrl and Shift leave the letters to others; so does Alt, which opens the menus by their
  // access keys (Alt+F, Alt+E).
  if (mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  switch (key) {
    case Qt::Key_A:
    case Qt::Key_S:
    case Qt::Key_D:
    case Qt::Key_F:
    case Qt::Key_G:
    case Qt::Key_E:
    case Qt::Key_R:
      return true;
    default:
      return false;
  }
}

bool TPenWindow2::event(QEvent* e) {
  // The window's letters win over the menus' shortcuts while it has the focus.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (IsOwnKey(k->key(), k->modifiers())) {
      e->accept();
      return true;
    }
  }
  return TPaletteWindow::event(e);
}

void TPenWindow2::keyPressEvent(QKeyEvent* e) {
  if (!IsOwnKey(e->key(), e->modifiers())) {
    TPaletteWindow::keyPressEvent(e);
    return;
  }
  switch (e->key()) {
    case Qt::Key_A:
      ChooseSlot(0);
      break;
    case Qt::Key_S:
      ChooseSlot(1);
      break;
    case Qt::Key_D:
      ChooseSlot(2);
      break;
    case Qt::Key_F:
      ChooseSlot(3);
      break;
    case Qt::Key_G:
      ChooseSlot(4);
      break;
    case Qt::Key_E:
      StepVariant(-1);
      break;
    case Qt::Key_R:
      StepVariant(1);
      break;
    default:
      break;
  }
  e->accept();
}

void TPenWindow2::Apply(Row r, int position) {
  if (loading_) return;
  ApplyPosition(rows_[r].param, form_.Pen().stroke, position);
  Refresh();
}

void TPenWindow2::SetRowParam(Row r, Param p, const char* caption) {
  rows_[r].param = p;
  rows_[r].caption = caption;
}

TPenWindow2::Shown TPenWindow2::Snapshot() const {
  const TStroke& s = form_.Pen().stroke;
  const int32_t slotKind = slots_.kinds[slots_.current];
  return {s.Kind(),
          slots_.variants[slotKind],
          slotKind,
          s.Min(),
          s.Width(),
          s.Opacity(),
          s.Gamma(),
          s.Effect(),
          s.Env(),
          s.Speed(),
          s.StoredSpacing(),
          s.IfSize(),
          s.IfTransparency(),
          s.IfEdge()};
}

void TPenWindow2::Tick() {
  if (Snapshot() != shown_) Refresh();
}

void TPenWindow2::Refresh() {
  loading_ = true;
  for (int i = 0; i < 5; ++i) buttons_[i]->setText(QString::fromUtf8(PenKindOf(slots_.kinds[i]).caption));
  buttons_[slots_.current]->setChecked(true);
  const int32_t slotKind = slots_.kinds[slots_.current];
  kindButton_->setText(QString::fromUtf8(PenKindOf(slotKind).caption));
  const int32_t variant = slots_.variants[slotKind];
  variant_->setText(QString::number(variant + 1));
  variantDown_->setEnabled(variant > 0);
  variantUp_->setEnabled(variant < kPenVariants - 1);

  const TStroke& s = form_.Pen().stroke;
  const KindOffer& o = kOffers[s.Kind() == kPenBlur2 ? kPenBlur : s.Kind()];
  bool visible[kRowCount] = {};
  SetRowParam(kRowMin, Param::kMin, kMinCaption);
  visible[kRowMin] = o.min;
  SetRowParam(kRowWidth, Param::kWidth, kWidthCaption);
  visible[kRowWidth] = true;
  SetRowParam(kRowOpacity, Param::kOpacity, kOpacityCaption);
  visible[kRowOpacity] = true;
  // The pressure curve matters only where pressure reaches the size or the opacity.
  SetRowParam(kRowGamma, Param::kGamma, kGammaCaption);
  visible[kRowGamma] = o.ifSize || o.ifTransparency;
  switch (o.bar1) {
    case Bar1::kNone:
      break;
    case Bar1::kEffect:
      SetRowParam(kRowBar1, Param::kEffect, "効果");
      break;
    case Bar1::kBlurStrength:
      SetRowParam(kRowBar1, Param::kEffect, "ぼかし強度");
      break;
    case Bar1::kSpacing:
      SetRowParam(kRowBar1, Param::kSpacing, "描画間隔");
      break;
  }
  visible[kRowBar1] = o.bar1 != Bar1::kNone;
  switch (o.bar2) {
    case Bar2::kNone:
      break;
    case Bar2::kEnv:
      SetRowParam(kRowBar2, Param::kEnv, "環境影響");
      break;
    case Bar2::kExposure:
      SetRowParam(kRowBar2, Param::kEffect, "露光量");
      break;
  }
  visible[kRowBar2] = o.bar2 != Bar2::kNone;
  SetRowParam(kRowSpeed, Param::kSpeed, kSpeedCaption);
  visible[kRowSpeed] = o.speed;
  for (int r = 0; r < kRowCount; ++r) {
    BarRow& b = rows_[r];
    b.label->setHidden(!visible[r]);
    b.slider->setHidden(!visible[r]);
    if (!visible[r]) continue;
    const Scale sc = ScaleOf(b.param);
    b.slider->setRange(sc.lo, sc.hi);
    b.slider->setSingleStep(sc.step);
    b.slider->setPageStep(sc.page);
    b.slider->setValue(PositionOf(b.param, s));
    b.label->setText(TextOf(b.param, b.caption, s));
  }
  const bool offered[kSwitchCount] = {o.ifSize, o.ifTransparency, o.ifEdge};
  const bool on[kSwitchCount] = {s.IfSize(), s.IfTransparency(), s.IfEdge()};
  for (int i = 0; i < kSwitchCount; ++i) {
    switches_[i]->setHidden(!offered[i]);
    switches_[i]->setChecked(on[i]);
  }
  // The profile of the dabs matters to the kinds that step their dabs at a spacing.
  airMap_->setVisible(o.bar1 == Bar1::kSpacing);
  airMap_->setIcon(QIcon(QPixmap::fromImage(TAirMapDialog::Preview(s.AirMap(), 20))));
  shown_ = Snapshot();
  loading_ = false;
}

// --- the density profile dialog ---------------------------------------------------------------

QImage TAirMapDialog::Preview(int32_t index, int side) {
  CPenRender render;
  QImage out(side, side, QImage::Format_RGB32);
  out.fill(Qt::white);
  if (!render.SelectAirMap(index)) return out;
  const uint32_t* map = render.AirMap();
  const double r = side / 2.0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      const double d = std::hypot(x + 0.5 - r, y + 0.5 - r) / r;
      if (d >= 1.0) continue;
      const uint32_t density = map[std::min(CPenRender::kAirMapEntries - 1, int32_t(d * 2047.0))] >> 16;
      const int grey = 255 - int(std::min<uint32_t>(density, 255));
      out.setPixel(x, y, qRgb(grey, grey, grey));
    }
  return out;
}

TAirMapDialog::TAirMapDialog(int32_t current, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("濃度分布選択"));
  auto* box = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  group_ = new QButtonGroup(this);
  for (int i = 0; i < CPenRender::kAirMapCount; ++i) {
    auto* b = new QToolButton(this);
    b->setCheckable(true);
    b->setIconSize(QSize(40, 40));
    b->setIcon(QIcon(QPixmap::fromImage(Preview(i, 40))));
    group_->addButton(b, i);
    grid->addWidget(b, i / 3, i % 3);
    choices_[size_t(i)] = b;
  }
  if (QAbstractButton* b = group_->button(current)) b->setChecked(true);
  box->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  box->addWidget(buttons);
}

int32_t TAirMapDialog::Chosen() const { return group_->checkedId(); }

}  // namespace tintara
