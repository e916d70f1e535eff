#include "app/ui/LayerWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDockWidget>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ShellRules.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "document/BlendModes.h"
#include "document/Paper.h"
#include "pixel/Arith.h"

namespace tintara {

namespace {

QString Str(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

constexpr int kSwitchSide = 18;
constexpr int kExpanderSide = 10;
constexpr uint32_t kBlack = 0x00000000, kWhite = 0x00FFFFFF;

// The mode list every mode control shows, in the order users know it by.
void FillModes(QComboBox* box) {
  for (int32_t pos = 0; pos < kModeCount; ++pos) box->addItem(Str(ModeName(ModeAtPosition(pos))));
}

// FNV-1a over 64-bit values: a cheap digest of what the list shows, read on every tick.
void Mix(uint64_t& h, uint64_t v) {
  h ^= v;
  h *= 0x100000001B3ULL;
}

// The eye of the visibility switch and the padlock of the protect-alpha switch.
void DrawEye(QPainter& p, const QRect& r, const QColor& ink) {
  QPainterPath eye;
  const QPointF c = QRectF(r).center();
  eye.moveTo(c.x() - 7, c.y());
  eye.quadTo(c.x(), c.y() - 7, c.x() + 7, c.y());
  eye.quadTo(c.x(), c.y() + 7, c.x() - 7, c.y());
  p.setPen(QPen(ink, 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawPath(eye);
  p.setBrush(ink);
  p.drawEllipse(c, 2.2, 2.2);
}

void DrawLock(QPainter& p, const QRect& r, const QColor& ink) {
  const QPointF c = QRectF(r).center();
  p.setPen(QPen(ink, 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(c.x() - 3.5, c.y() - 7, 7, 8), 0, 180 * 16);
  p.drawLine(QPointF(c.x() - 3.5, c.y() - 3), QPointF(c.x() - 3.5, c.y() - 1));
  p.drawLine(QPointF(c.x() + 3.5, c.y() - 3), QPointF(c.x() + 3.5, c.y() - 1));
  p.setBrush(ink);
  p.drawRect(QRectF(c.x() - 5, c.y() - 1, 10, 7));
}

// The remembered choices of the new-layer dialog, for the rest of the run.
struct NewLayerMemory {
  int32_t mode = kModeNormal;
  bool transparent = true;
  int colourNeutralModes = 2;  // the neutral colour where a mode offers it
  int colourOthers = 1;        // white
};
NewLayerMemory& Remembered() {
  static NewLayerMemory m;
  return m;
}

bool OffersNeutral(int32_t mode) {
  const SLayerParam* row = ModeRow(mode);
  return row && (row->flags & kModeFlagNeutralChoice) != 0;
}

}  // namespace

// --- the rows ---------------------------------------------------------------------------------

TLayerList::TLayerList(TLayerWindow2& owner) : QWidget(&owner), owner_(owner) {
  setMouseTracking(false);
  setFocusPolicy(Qt::ClickFocus);
}

QSize TLayerList::sizeHint() const { return {200, kRowHeight * std::max<int>(4, int(owner_.Rows().size()))}; }

int TLayerList::RowAt(int y) const {
  if (y < 0) return -1;
  const int row = y / kRowHeight;
  return row < int(owner_.Rows().size()) ? row : -1;
}

int TLayerList::GapAt(int y) const {
  const int rows = int(owner_.Rows().size());
  return std::clamp((y + kRowHeight / 2) / kRowHeight, 0, rows);
}

QRect TLayerList::RowRect(int row) const { return {0, row * kRowHeight, width(), kRowHeight}; }

QRect TLayerList::EyeRect(int row) const {
  const QRect r = RowRect(row);
  return {r.left() + 3, r.center().y() - kSwitchSide / 2, kSwitchSide, kSwitchSide};
}

QRect TLayerList::LockRect(int row) const {
  const QRect e = EyeRect(row);
  return e.translated(kSwitchSide + 2, 0);
}

QRect TLayerList::ExpanderRect(int row) const {
  const LayerRow& lr = owner_.Rows()[size_t(row)];
  const QRect l = LockRect(row);
  const int x = l.right() + 5 + lr.level * kIndent;
  return {x, RowRect(row).center().y() - kExpanderSide / 2, kExpanderSide, kExpanderSide};
}

QRect TLayerList::ThumbRect(int row) const {
  const QRect x = ExpanderRect(row);
  return {x.right() + 3, RowRect(row).top() + (kRowHeight - kThumbnailSide) / 2, kThumbnailSide,
          kThumbnailSide};
}

void TLayerList::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Base));
  const TPaper* paper = owner_.Paper();
  if (!paper) return;
  const std::vector<LayerRow>& rows = owner_.Rows();
  const QFontMetrics fm(font());
  QFont small = font();
  small.setPointSizeF(std::max(6.0, font().pointSizeF() - 1.5));
  const QFontMetrics sfm(small);
  for (int row = 0; row < int(rows.size()); ++row) {
    const LayerRow& lr = rows[size_t(row)];
    const CLayerData* layer = paper->Layer(lr.layer);
    if (!layer) continue;
    const QRect r = RowRect(row);
    const bool active = lr.layer == paper->ActiveIndex();
    if (active) p.fillRect(r, pal.color(QPalette::Highlight));
    const QColor ink = pal.color(active ? QPalette::HighlightedText : QPalette::Text);
    const QColor faint = pal.color(active ? QPalette::HighlightedText : QPalette::PlaceholderText);
    // The switches sit in framed boxes so that an off switch is still a target.
    for (const QRect& box : {EyeRect(row), LockRect(row)}) {
      p.setPen(QPen(faint, 1));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    if (layer->visible) DrawEye(p, EyeRect(row), ink);
    if (layer->protectAlpha) DrawLock(p, LockRect(row), ink);
    if (lr.children > 0) {
      const QRectF x = ExpanderRect(row);
      QPolygonF tri;
      if (lr.open)
        tri << x.topLeft() + QPointF(0, 2) << x.topRight() + QPointF(0, 2)
            << QPointF(x.center().x(), x.bottom());
      else
        tri << x.topLeft() << x.bottomLeft() << QPointF(x.right(), x.center().y());
      p.setPen(Qt::NoPen);
      p.setBrush(ink);
      p.drawPolygon(tri);
    }
    const QRect t = ThumbRect(row);
    const QImage thumb = owner_.Thumbnail(lr.layer);
    // A checker shows the layer's transparency, as the picture window does.
    for (int cy = 0; cy < t.height(); cy += 4)
      for (int cx = 0; cx < t.width(); cx += 4)
        p.fillRect(t.left() + cx, t.top() + cy, std::min(4, t.width() - cx), std::min(4, t.height() - cy),
                   ((cx + cy) / 4) % 2 ? QColor(204, 204, 204) : QColor(255, 255, 255));
    if (!thumb.isNull()) {
      const QRect fit(t.left() + (t.width() - thumb.width()) / 2, t.top() + (t.height() - thumb.height()) / 2,
                      thumb.width(), thumb.height());
      p.drawImage(fit, thumb);
    }
    p.setPen(QPen(faint, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(t).adjusted(-0.5, -0.5, 0.5, 0.5));
    const int textLeft = t.right() + 6;
    const int textWidth = std::max(0, r.right() - 3 - textLeft);
    QFont nameFont = font();
    nameFont.setBold(active);
    p.setFont(nameFont);
    p.setPen(ink);
    p.drawText(QRect(textLeft, r.top() + 3, textWidth, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
               QFontMetrics(nameFont).elidedText(Str(layer->name), Qt::ElideRight, textWidth));
    p.setFont(small);
    p.setPen(faint);
    const QString detail =
        Str(ModeName(layer->Mode())) + QStringLiteral("  %1%").arg(PercentOfByte(layer->opacity));
    p.drawText(QRect(textLeft, r.bottom() - 3 - sfm.height(), textWidth, sfm.height()),
               Qt::AlignLeft | Qt::AlignVCenter, sfm.elidedText(detail, Qt::ElideRight, textWidth));
    p.setPen(QPen(pal.color(QPalette::Mid), 1));
    p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  }
  if (dragging_ && dropGap_ >= 0) {
    p.setPen(QPen(pal.color(QPalette::Highlight).darker(130), 2));
    const int y = std::clamp(dropGap_ * kRowHeight, 1, std::max(1, height() - 1));
    p.drawLine(0, y, width(), y);
  }
}

void TLayerList::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const QPoint at = e->position().toPoint();
  pressRow_ = RowAt(at.y());
  pressAt_ = at;
  dragging_ = false;
  if (pressRow_ < 0) return;
  const LayerRow lr = owner_.Rows()[size_t(pressRow_)];
  if (EyeRect(pressRow_).contains(at)) {
    owner_.ToggleVisible(lr.layer);
    pressRow_ = -1;
  } else if (LockRect(pressRow_).contains(at)) {
    owner_.ToggleProtectAlpha(lr.layer);
    pressRow_ = -1;
  } else if (lr.children > 0 && ExpanderRect(pressRow_).adjusted(-3, -3, 3, 3).contains(at)) {
    owner_.ToggleOpen(lr.layer);
    pressRow_ = -1;
  } else {
    owner_.ActivateLayer(lr.layer);
  }
}

void TLayerList::mouseMoveEvent(QMouseEvent* e) {
  if (pressRow_ < 0 || !(e->buttons() & Qt::LeftButton)) return;
  const QPoint at = e->position().toPoint();
  if (!dragging_ && (at - pressAt_).manhattanLength() < QApplication::startDragDistance()) return;
  dragging_ = true;
  dropGap_ = GapAt(at.y());
  update();
}

void TLayerList::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  if (dragging_ && pressRow_ >= 0 && pressRow_ < int(owner_.Rows().size())) {
    const int32_t layer = owner_.Rows()[size_t(pressRow_)].layer;
    const int gap = GapAt(e->position().toPoint().y());
    dragging_ = false;
    dropGap_ = -1;
    pressRow_ = -1;
    owner_.DropAtGap(layer, gap);
  }
  dragging_ = false;
  dropGap_ = -1;
  pressRow_ = -1;
  update();
}

void TLayerList::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  const int row = RowAt(at.y());
  if (row < 0 || EyeRect(row).contains(at) || LockRect(row).contains(at)) return;
  owner_.SettingsAsked(owner_.Rows()[size_t(row)].layer);
}

void TLayerList::contextMenuEvent(QContextMenuEvent* e) {
  const int row = RowAt(e->pos().y());
  if (row >= 0) owner_.ActivateLayer(owner_.Rows()[size_t(row)].layer);
  QMenu menu(this);
  owner_.FillMenu(menu);
  menu.exec(e->globalPos());
}

// --- the window -------------------------------------------------------------------------------

TLayerWindow2::TLayerWindow2(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 4, 4, 2);
  outer->setSpacing(3);

  auto* controls = new QGridLayout;
  controls->setHorizontalSpacing(4);
  controls->setVerticalSpacing(3);
  mode_ = new QComboBox(this);
  mode_->setObjectName("mode");
  FillModes(mode_);
  mode_->setToolTip(QStringLiteral("合成モード"));
  opacitySlider_ = new QSlider(Qt::Horizontal, this);
  opacitySlider_->setObjectName("opacitySlider");
  opacitySlider_->setRange(0, 100);
  opacitySpin_ = new QSpinBox(this);
  opacitySpin_->setObjectName("opacity");
  opacitySpin_->setRange(0, 100);
  opacitySpin_->setSuffix(QStringLiteral("%"));
  opacitySpin_->setKeyboardTracking(false);
  controls->addWidget(new QLabel(QStringLiteral("モード"), this), 0, 0);
  controls->addWidget(mode_, 0, 1, 1, 2);
  controls->addWidget(new QLabel(QStringLiteral("不透明度"), this), 1, 0);
  controls->addWidget(opacitySlider_, 1, 1);
  controls->addWidget(opacitySpin_, 1, 2);
  controls->setColumnStretch(1, 1);
  outer->addLayout(controls);

  list_ = new TLayerList(*this);
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(list_);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll_->setMinimumHeight(TLayerList::kRowHeight * 3);
  outer->addWidget(scroll_, 1);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(2);
  struct ButtonDef {
    const char* name;
    const char* text;
    const char* tip;
    void (TLayerWindow2::*run)();
  };
  // Short labels keep the row narrow; the tooltips carry the commands' names.
  const ButtonDef defs[] = {
      {"new", "新規", "新規レイヤ (Shift: レイヤの新規作成)", &TLayerWindow2::AddLayer},
      {"duplicate", "複製", "レイヤの複製", &TLayerWindow2::DuplicateLayer},
      {"delete", "削除", "レイヤの削除", &TLayerWindow2::DeleteLayer},
      {"mergeDown", "統合", "下のレイヤと統合", &TLayerWindow2::MergeDown},
      {"flatten", "全統合", "表示レイヤの統合", &TLayerWindow2::Flatten},
      {"groupIn", "→", "グループ化", &TLayerWindow2::GroupIn},
      {"groupOut", "←", "グループ解除", &TLayerWindow2::GroupOut},
  };
  for (const ButtonDef& d : defs) {
    auto* b = new QToolButton(this);
    b->setObjectName(d.name);
    b->setText(QString::fromUtf8(d.text));
    b->setToolTip(QString::fromUtf8(d.tip));
    b->setAutoRaise(true);
    auto run = d.run;
    connect(b, &QToolButton::clicked, this, [this, run] {
      if (run == &TLayerWindow2::AddLayer && (QApplication::keyboardModifiers() & Qt::ShiftModifier))
        NewLayerAsked();
      else
        (this->*run)();
    });
    buttons->addWidget(b);
  }
  buttons->addStretch(1);
  outer->addLayout(buttons);

  status_ = new QLabel(this);
  status_->setObjectName("status");
  status_->setFrameShape(QFrame::StyledPanel);
  status_->setFrameShadow(QFrame::Sunken);
  outer->addWidget(status_);

  connect(mode_, &QComboBox::currentIndexChanged, this, [this](int pos) {
    if (!syncing_) ApplyMode(pos);
  });
  // The slider follows the spin box at once; the picture changes when the drag ends, so that
  // one drag is one change in the history.
  connect(opacitySlider_, &QSlider::valueChanged, this, [this](int v) {
    if (syncing_) return;
    syncing_ = true;
    opacitySpin_->setValue(v);
    syncing_ = false;
    if (!opacitySlider_->isSliderDown()) ApplyOpacity(v);
  });
  connect(opacitySlider_, &QSlider::sliderReleased, this, [this] { ApplyOpacity(opacitySlider_->value()); });
  connect(opacitySpin_, &QSpinBox::valueChanged, this, [this](int v) {
    if (syncing_) return;
    syncing_ = true;
    opacitySlider_->setValue(v);
    syncing_ = false;
    ApplyOpacity(v);
  });
  Refresh(true);
}

TPaper* TLayerWindow2::Paper() const { return active_ ? &active_->Paper() : nullptr; }

QToolButton* TLayerWindow2::Button(const char* name) const {
  return findChild<QToolButton*>(QString::fromUtf8(name));
}

void TLayerWindow2::ActiveChanged(TDrawWindow* active) {
  active_ = active;
  Refresh(true);
}

void TLayerWindow2::Tick() {
  // A closed picture window may not have been reported yet.
  if (active_ && form_.ActiveDrawWindow() != active_) active_ = form_.ActiveDrawWindow();
  Refresh(false);
}

void TLayerWindow2::PictureChanged() { Refresh(true); }

QString TLayerWindow2::MemoryCaption() const {
  const TPaper::Memory m = Paper() ? Paper()->MemoryUsage() : TPaper::Memory{};
  return QString::asprintf("%s%dKB)", "レイヤ  (全使用メモリ ", int(m.total >> 10));
}

QString TLayerWindow2::StatusText() const {
  const TPaper::Memory m = Paper() ? Paper()->MemoryUsage() : TPaper::Memory{};
  return QStringLiteral("レイヤ: %1KB, アンドゥ: %2KB").arg(int(m.layers >> 10)).arg(int(m.undo >> 10));
}

QImage TLayerWindow2::Thumbnail(int32_t layer) const {
  const TPaper* paper = Paper();
  const CLayerData* l = paper ? paper->Layer(layer) : nullptr;
  if (!l || !l->thumbnail || !l->thumbnail->IsValid()) return {};
  const TMTC& t = *l->thumbnail;
  QImage img(t.Width(), t.Height(), QImage::Format_ARGB32);
  for (int32_t y = 0; y < t.Height(); ++y)
    std::copy_n(t.Row32(y), t.Width(), reinterpret_cast<uint32_t*>(img.scanLine(y)));
  return img;
}

void TLayerWindow2::Refresh(bool force) {
  const TPaper* paper = Paper();
  std::vector<uint64_t> now;
  // A replay beginning or ending changes what may be done from here.
  now.push_back(Editable() ? 1 : 0);
  if (paper) {
    now.push_back(uint64_t(paper->ActiveIndex()));
    for (int32_t i = 0; i < paper->LayerCount(); ++i) {
      const CLayerData& l = *paper->Layer(i);
      uint64_t h = 0xCBF29CE484222325ULL;
      Mix(h, uint64_t(l.id));
      Mix(h, std::hash<std::string>{}(l.name));
      Mix(h, l.mode | (l.opacity << 8) | (l.visible << 16) | (l.protectAlpha << 24));
      Mix(h, uint64_t(l.groupLevel));
      Mix(h, closed_.count(l.id));
      if (l.thumbnail && l.thumbnail->IsValid())
        for (int32_t y = 0; y < l.thumbnail->Height(); ++y)
          for (int32_t x = 0; x < l.thumbnail->Width(); ++x) Mix(h, l.thumbnail->Row32(y)[x]);
      now.push_back(h);
    }
  }
  if (force || now != shown_) {
    shown_ = std::move(now);
    RebuildRows();
    SyncControls();
    list_->updateGeometry();
    list_->setMinimumHeight(TLayerList::kRowHeight * int(rows_.size()));
    list_->update();
    // The active row stays in sight when another layer becomes active.
    for (int row = 0; row < int(rows_.size()); ++row)
      if (paper && rows_[size_t(row)].layer == paper->ActiveIndex())
        scroll_->ensureVisible(0, list_->RowRect(row).center().y(), 0, TLayerList::kRowHeight / 2);
  }
  const QString status = StatusText();
  if (status_->text() != status) status_->setText(status);
  if (QDockWidget* dock = form_.PaletteDock("layer")) {
    // Sharing a site with other palettes, the title is the short tab name and the memory
    // caption moves to the site's tooltip, where it does not widen the tab. Closed partners
    // leave no tab bar behind, so they do not count.
    const QList<QDockWidget*> partners = form_.tabifiedDockWidgets(dock);
    const bool tabbed =
        std::any_of(partners.begin(), partners.end(), [](QDockWidget* d) { return !d->isHidden(); });
    const QString caption = MemoryCaption();
    const QString title = tabbed ? QStringLiteral("ﾚｲﾔ") : caption;
    if (dock->windowTitle() != title) dock->setWindowTitle(title);
    if (dock->toolTip() != (tabbed ? caption : QString())) dock->setToolTip(tabbed ? caption : QString());
  }
}

void TLayerWindow2::RebuildRows() {
  rows_.clear();
  const TPaper* paper = Paper();
  if (!paper) return;
  const int32_t count = paper->LayerCount();
  // Read bottom-up: a layer is hidden when any head below it that contains it is closed.
  struct Open {
    int32_t level;
    bool hidesInside;
  };
  std::vector<Open> heads;
  std::vector<char> hidden(size_t(count), 0);
  for (int32_t i = 0; i < count; ++i) {
    const CLayerData& l = *paper->Layer(i);
    while (!heads.empty() && heads.back().level >= l.groupLevel) heads.pop_back();
    hidden[size_t(i)] = !heads.empty() && heads.back().hidesInside;
    heads.push_back({l.groupLevel, hidden[size_t(i)] || closed_.count(l.id) > 0});
  }
  for (int32_t i = count - 1; i >= 0; --i) {
    if (hidden[size_t(i)]) continue;
    const CLayerData& l = *paper->Layer(i);
    LayerRow r;
    r.layer = i;
    r.level = l.groupLevel;
    r.children = paper->layers.ChildCount(i);
    r.open = closed_.count(l.id) == 0;
    rows_.push_back(r);
  }
}

void TLayerWindow2::FillMenu(QMenu& menu) const {
  // The main window's command objects, enabled as it decides.
  form_.AddCommandsTo(menu, shell::LayerWindowCommands());
}

bool TLayerWindow2::Editable() const { return active_ && !active_->ReplayRunning(); }

void TLayerWindow2::SyncControls() {
  const TPaper* paper = Paper();
  // While the picture replays (or has none) nothing here may change it.
  if (!Editable()) paper = nullptr;
  const CLayerData* l = paper ? paper->ActiveLayer() : nullptr;
  syncing_ = true;
  mode_->setEnabled(l != nullptr);
  opacitySlider_->setEnabled(l != nullptr);
  opacitySpin_->setEnabled(l != nullptr);
  mode_->setCurrentIndex(l ? PositionOfMode(l->Mode()) : 0);
  if (!opacitySlider_->isSliderDown()) {
    opacitySlider_->setValue(l ? PercentOfByte(l->opacity) : 100);
    opacitySpin_->setValue(l ? PercentOfByte(l->opacity) : 100);
  }
  const int32_t i = paper ? paper->ActiveIndex() : -1;
  const auto enable = [this](const char* name, bool on) {
    if (QToolButton* b = Button(name)) b->setEnabled(on);
  };
  enable("new", paper && paper->layers.CanAdd());
  enable("duplicate", l != nullptr);
  enable("delete", paper && paper->LayerCount() > 1);
  enable("mergeDown", paper && (paper->level == 0 ? i > 0 : paper->layers.CanMergeDown(i)));
  // The button runs the plain flatten, which refuses unless layer 0 is visible among at least
  // two and blends onto layer 0's neutral colour only for the normal and multiply modes.
  const CLayerData* base = paper ? paper->layers.At(0) : nullptr;
  enable("flatten", base && base->visible && paper->layers.VisibleCount() >= 2 &&
                        (base->Mode() == kModeNormal || base->Mode() == kModeMultiply));
  enable("groupIn", paper && paper->layers.CanGroupIn(i));
  enable("groupOut", paper && paper->layers.CanGroupOut(i));
  syncing_ = false;
}

template <class F>
void TLayerWindow2::Run(F&& change) {
  TDrawWindow* w = active_;
  if (!w || !w->MayEdit()) {
    // Refused (a stroke under way): the controls go back to what the layer is.
    Refresh(true);
    return;
  }
  change(w->Paper(), w->Doc().Flow());
  w->InvalidateView(false);
  Refresh(true);
}

void TLayerWindow2::AddLayer() {
  // A clear layer, as the menus make it: white at alpha 0 in the normal mode.
  Run([](TPaper& p, TFlowImage& f) { p.NewLayer(f, kModeNormal, kWhite, std::string()); });
}

void TLayerWindow2::DuplicateLayer() {
  Run([](TPaper& p, TFlowImage& f) { p.DuplicateLayer(f, p.ActiveIndex()); });
}

void TLayerWindow2::DeleteLayer() {
  Run([](TPaper& p, TFlowImage& f) { p.DeleteLayer(f, p.ActiveIndex()); });
}

void TLayerWindow2::MergeDown() {
  Run([](TPaper& p, TFlowImage& f) { p.MergeDown(f, p.ActiveIndex(), false); });
}

void TLayerWindow2::Flatten() {
  Run([](TPaper& p, TFlowImage& f) { p.FlattenVisible(f, false); });
}

void TLayerWindow2::GroupIn() {
  Run([](TPaper& p, TFlowImage& f) { p.GroupIn(f, p.ActiveIndex()); });
}

void TLayerWindow2::GroupOut() {
  Run([](TPaper& p, TFlowImage& f) { p.GroupOut(f, p.ActiveIndex()); });
}

void TLayerWindow2::ActivateLayer(int32_t layer) {
  Run([layer](TPaper& p, TFlowImage& f) { p.ActivateLayer(f, layer); });
}

void TLayerWindow2::ToggleVisible(int32_t layer) {
  Run([layer](TPaper& p, TFlowImage&) {
    if (const CLayerData* l = p.Layer(layer)) p.SetLayerVisible(layer, !l->visible);
  });
}

void TLayerWindow2::ToggleProtectAlpha(int32_t layer) {
  Run([layer](TPaper& p, TFlowImage&) {
    if (const CLayerData* l = p.Layer(layer)) p.SetLayerProtectAlpha(layer, !l->protectAlpha);
  });
}

void TLayerWindow2::ToggleOpen(int32_t layer) {
  const TPaper* paper = Paper();
  const CLayerData* l = paper ? paper->Layer(layer) : nullptr;
  if (!l) return;
  if (!closed_.erase(l->id)) closed_.insert(l->id);
  Refresh(true);
}

bool TLayerWindow2::DropAtGap(int32_t layer, int gap) {
  const TPaper* paper = Paper();
  if (!paper || gap < 0 || gap > int(rows_.size())) return false;
  // The gap above a row lands the layer just above that row's block as shown: above a closed
  // head's hidden children, between an open head and its children.
  int32_t to = 0;
  if (gap < int(rows_.size())) {
    const LayerRow& below = rows_[size_t(gap)];
    to = below.layer + 1 + (below.open ? 0 : below.children);
  }
  const int32_t n = paper->layers.ChildCount(layer);
  // Into its own block, or back where it was: nothing moves and nothing is recorded.
  if (n < 0 || (to >= layer && to <= layer + n + 1)) return false;
  int32_t at = -1;
  Run([&](TPaper& p, TFlowImage& f) { at = p.MoveGroup(f, to, layer); });
  return at >= 0;
}

void TLayerWindow2::ApplyMode(int position) {
  Run([position](TPaper& p, TFlowImage&) { p.SetLayerMode(p.ActiveIndex(), ModeAtPosition(position)); });
}

void TLayerWindow2::ApplyOpacity(int percent) {
  Run([percent](TPaper& p, TFlowImage&) {
    const CLayerData* l = p.ActiveLayer();
    // The percent shown already stands for this byte: keep the finer value the layer has.
    if (l && PercentOfByte(l->opacity) != percent) p.SetLayerOpacity(p.ActiveIndex(), ByteOfPercent(percent));
  });
}

void TLayerWindow2::NewLayerAsked() {
  TPaper* paper = Paper();
  if (!paper || !active_->MayEdit()) return;
  TNewLayerDialog dialog(paper->layers.DefaultName(1), this);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string typed = dialog.Name();
  // The offered default is the list's next number: leave the numbering to the paper.
  const std::string name = typed == paper->layers.DefaultName(1) ? std::string() : typed;
  const int32_t mode = dialog.Mode();
  const uint32_t colour = dialog.Colour();
  Run([&](TPaper& p, TFlowImage& f) { p.NewLayer(f, mode, colour, name); });
}

void TLayerWindow2::SettingsAsked(int32_t layer) {
  TPaper* paper = Paper();
  if (!paper || !paper->Layer(layer) || !active_->MayEdit()) return;
  TPaper::LayerSettings s = paper->SettingsOf(layer);
  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("レイヤの設定"));
  auto* form = new QFormLayout(&dialog);
  auto* name = new QLineEdit(Str(s.name), &dialog);
  name->setObjectName("name");
  auto* opacity = new QSpinBox(&dialog);
  opacity->setObjectName("opacity");
  opacity->setRange(0, 100);
  opacity->setSuffix(QStringLiteral("%"));
  opacity->setValue(s.opacityPercent);
  auto* mode = new QComboBox(&dialog);
  mode->setObjectName("mode");
  FillModes(mode);
  mode->setCurrentIndex(PositionOfMode(s.mode));
  auto* x = new QSpinBox(&dialog);
  auto* y = new QSpinBox(&dialog);
  x->setObjectName("x");
  y->setObjectName("y");
  for (QSpinBox* b : {x, y}) b->setRange(-100000, 100000);
  x->setValue(s.viewX);
  y->setValue(s.viewY);
  auto* position = new QHBoxLayout;
  position->addWidget(new QLabel(QStringLiteral("X"), &dialog));
  position->addWidget(x, 1);
  position->addWidget(new QLabel(QStringLiteral("Y"), &dialog));
  position->addWidget(y, 1);
  auto* removeHidden = new QCheckBox(QStringLiteral("非表示部を除去(&D)"), &dialog);
  removeHidden->setObjectName("removeHidden");
  removeHidden->setEnabled(paper->Layer(layer)->IsLargerThanPaper());
  auto* dither = new QCheckBox(QStringLiteral("ディザ合成を適用する"), &dialog);
  dither->setObjectName("dither");
  dither->setChecked(s.ditherOn);
  auto* ditherAmount = new QSpinBox(&dialog);
  ditherAmount->setObjectName("ditherAmount");
  ditherAmount->setRange(0, 100);
  ditherAmount->setSuffix(QStringLiteral("%"));
  ditherAmount->setValue(s.ditherPercent);
  form->addRow(QStringLiteral("名前"), name);
  form->addRow(QStringLiteral("不透明度"), opacity);
  form->addRow(QStringLiteral("モード"), mode);
  form->addRow(QStringLiteral("表示位置"), position);
  form->addRow(QString(), removeHidden);
  auto* ditherRow = new QHBoxLayout;
  ditherRow->addWidget(dither);
  ditherRow->addWidget(ditherAmount);
  form->addRow(QString(), ditherRow);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(box);
  if (dialog.exec() != QDialog::Accepted) return;
  s.name = name->text().toStdString();
  s.opacityPercent = opacity->value();
  s.mode = ModeAtPosition(mode->currentIndex());
  s.viewX = x->value();
  s.viewY = y->value();
  s.removeHidden = removeHidden->isChecked();
  s.ditherOn = dither->isChecked();
  s.ditherPercent = ditherAmount->value();
  // An untouched dialog changes nothing (and leaves nothing in the history).
  const TPaper::LayerSettings before = paper->SettingsOf(layer);
  if (s.name == before.name && s.opacityPercent == before.opacityPercent && s.mode == before.mode &&
      s.viewX == before.viewX && s.viewY == before.viewY && !s.removeHidden &&
      s.ditherOn == before.ditherOn && s.ditherPercent == before.ditherPercent)
    return;
  Run([&](TPaper& p, TFlowImage& f) { p.ApplySettings(f, layer, s); });
}

// --- the new-layer dialog -----------------------------------------------------------------------

TNewLayerDialog::TNewLayerDialog(const std::string& defaultName, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("レイヤの新規作成"));
  auto* form = new QFormLayout(this);
  name_ = new QLineEdit(Str(defaultName), this);
  name_->setObjectName("name");
  name_->setMaxLength(32766);
  mode_ = new QComboBox(this);
  mode_->setObjectName("mode");
  FillModes(mode_);
  colour_ = new QComboBox(this);
  colour_->setObjectName("colour");
  transparent_ = new QCheckBox(QStringLiteral("透明レイヤにする(&T)"), this);
  transparent_->setObjectName("transparent");
  form->addRow(QStringLiteral("名前"), name_);
  form->addRow(QStringLiteral("モード"), mode_);
  form->addRow(QStringLiteral("初期色"), colour_);
  form->addRow(QString(), transparent_);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  form->addRow(box);
  const NewLayerMemory& m = Remembered();
  mode_->setCurrentIndex(PositionOfMode(m.mode));
  transparent_->setChecked(m.transparent);
  FillColours();
  connect(mode_, &QComboBox::currentIndexChanged, this, [this] { FillColours(); });
}

void TNewLayerDialog::FillColours() {
  const bool neutral = OffersNeutral(Mode());
  const NewLayerMemory& m = Remembered();
  colour_->clear();
  colour_->addItem(QStringLiteral("黒"));
  colour_->addItem(QStringLiteral("白"));
  if (neutral) colour_->addItem(QStringLiteral("ニュートラル"));
  const int choice = neutral ? m.colourNeutralModes : m.colourOthers;
  colour_->setCurrentIndex(std::clamp(choice, 0, colour_->count() - 1));
}

std::string TNewLayerDialog::Name() const { return name_->text().left(32766).toStdString(); }

int32_t TNewLayerDialog::Mode() const { return ModeAtPosition(mode_->currentIndex()); }

uint32_t TNewLayerDialog::Colour() const {
  const uint32_t alpha = transparent_->isChecked() ? 0 : 0xFF000000u;
  switch (colour_->currentIndex()) {
    case 0:
      return kBlack | alpha;
    case 2:
      return (NeutralColor(Mode()) & 0x00FFFFFF) | alpha;
    default:
      return kWhite | alpha;
  }
}

void TNewLayerDialog::accept() {
  NewLayerMemory& m = Remembered();
  m.mode = Mode();
  m.transparent = transparent_->isChecked();
  (OffersNeutral(m.mode) ? m.colourNeutralModes : m.colourOthers) = colour_->currentIndex();
  QDialog::accept();
}

}  // namespace tintara
