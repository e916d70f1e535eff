#include "app/ui/ColorWindows.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "app/ui/MainForm.h"

namespace tintara {

namespace {

constexpr uint32_t kLow24 = 0xFFFFFF;
constexpr uint32_t kFull = 255u << 16;
constexpr int kHueBarW = 16;
constexpr int kMargin = 4, kSpacing = 4;

QString U(const char* s) { return QString::fromUtf8(s); }
QColor Qc(uint32_t pixel) { return QColor::fromRgb(QRgb(0xFF000000u | (pixel & kLow24))); }

// `v` of 0..range in 16.16 scaled to 0..steps, rounded to nearest.
int32_t Scale(int64_t v, int64_t range, int32_t steps) { return int32_t((v * steps + range / 2) / range); }

void TightLayout(QLayout* l) {
  l->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  l->setSpacing(kSpacing);
}

}  // namespace

uint32_t SvSquareColor(int32_t hue, int32_t x, int32_t y, int32_t side) {
  if (side <= 1) return HsvToRgb(std::max(hue, 0), 0, kFull);
  x = std::clamp(x, 0, side - 1);
  y = std::clamp(y, 0, side - 1);
  const uint32_t s = uint32_t(FixDiv(int64_t(x) * 255, side - 1));
  const uint32_t v = uint32_t(FixDiv(int64_t(side - 1 - y) * 255, side - 1));
  return HsvToRgb(std::max(hue, 0), s, v);
}

QPoint SvSquarePoint(uint32_t saturation, uint32_t value, int32_t side) {
  if (side <= 1) return {0, 0};
  const int32_t x = Scale(std::min(saturation, kFull), kFull, side - 1);
  const int32_t y = side - 1 - Scale(std::min(value, kFull), kFull, side - 1);
  return {x, y};
}

int32_t HueBarRow(int32_t hue, int32_t barHeight) {
  if (barHeight <= 1) return 0;
  return std::clamp(Scale(std::max(hue, 0), int64_t(359) << 16, barHeight - 1), 0, barHeight - 1);
}

// --- hue bar ------------------------------------------------------------------------------------

THueBar::THueBar(CColorMngr& colours, QWidget* parent) : QWidget(parent), colours_(colours) {
  setFixedSize(kHueBarW, TSvSquare::kSide);
  setCursor(Qt::CrossCursor);
  setToolTip(U("色相"));
}

void THueBar::SetHue(int32_t hue) {
  if (hue == hue_) return;
  hue_ = hue;
  update();
}

void THueBar::resizeEvent(QResizeEvent*) { bar_ = QImage(); }

void THueBar::paintEvent(QPaintEvent*) {
  const int h = height();
  // Drawn once per size: a row per hue the bar can give.
  if (bar_.isNull()) {
    bar_ = QImage(1, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) bar_.setPixel(0, y, 0xFF000000u | HsvToRgb(HueBarHue(y, h), kFull, kFull));
  }
  QPainter p(this);
  const int inner = width() - 6;  // room for the marker's arrow heads
  p.drawImage(QRect(3, 0, inner, h), bar_);
  const int y = HueBarRow(hue_, h);
  p.setPen(Qt::NoPen);
  p.setBrush(palette().color(QPalette::WindowText));
  const QPointF left[3] = {{0, y - 3.0}, {4, double(y)}, {0, y + 3.0}};
  const QPointF right[3] = {
      {double(width()), y - 3.0}, {width() - 4.0, double(y)}, {double(width()), y + 3.0}};
  p.drawPolygon(left, 3);
  p.drawPolygon(right, 3);
}

void THueBar::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) colours_.HueBarPick(int32_t(e->position().y()), height());
}

void THueBar::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) colours_.HueBarPick(int32_t(e->position().y()), height());
}

// --- saturation-value square --------------------------------------------------------------------

TSvSquare::TSvSquare(CColorMngr& colours, QWidget* parent) : QWidget(parent), colours_(colours) {
  setFixedSize(kSide, kSide);
  setCursor(Qt::CrossCursor);
  setToolTip(U("彩度と明度"));
  square_ = QImage(kSide, kSide, QImage::Format_RGB32);
}

void TSvSquare::SetHue(int32_t hue) {
  if (hue == hue_) return;
  hue_ = hue;
  for (int y = 0; y < kSide; ++y) {
    auto* row = reinterpret_cast<QRgb*>(square_.scanLine(y));
    for (int x = 0; x < kSide; ++x) row[x] = 0xFF000000u | SvSquareColor(hue, x, y, kSide);
  }
  update();
}

void TSvSquare::SetMarker(const HsvColor& hsv) {
  const QPoint at = SvSquarePoint(hsv.saturation, hsv.value, kSide);
  if (at == marker_) return;
  marker_ = at;
  update();
}

void TSvSquare::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, square_);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::NoBrush);
  // Two rings, so the marker shows on light and dark colours alike.
  p.setPen(QPen(Qt::black, 1));
  p.drawEllipse(QPointF(marker_) + QPointF(0.5, 0.5), 4.5, 4.5);
  p.setPen(QPen(Qt::white, 1));
  p.drawEllipse(QPointF(marker_) + QPointF(0.5, 0.5), 3.5, 3.5);
}

void TSvSquare::Pick(QPoint at) {
  const int32_t x = std::clamp(at.x(), 0, kSide - 1), y = std::clamp(at.y(), 0, kSide - 1);
  colours_.SetColor(square_.pixel(x, y) & kLow24, kOriginSvSquare, true);
}

void TSvSquare::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) Pick(e->position().toPoint());
}

void TSvSquare::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() & Qt::LeftButton) Pick(e->position().toPoint());
}

// --- colour box ---------------------------------------------------------------------------------

TColorBox::TColorBox(CColorMngr& colours, QWidget* parent) : QWidget(parent), colours_(colours) {
  setFixedSize(CColorMngr::kBoxW, CColorMngr::kBoxH);
  setToolTip(U("メインカラーとサブカラー (クリックで入れ替え)"));
}

void TColorBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  auto square = [&](CColorMngr::BoxSquare at, uint32_t colour, uint32_t frame) {
    const QRect r(at.x, at.y, CColorMngr::kBoxSquareW, CColorMngr::kBoxSquareH);
    p.fillRect(r, Qc(colour));
    p.setPen(Qc(frame));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
  };
  // The other colour first, the main colour over it.
  square(colours_.SubSquare(), colours_.SubColor(), CColorMngr::kOtherFrame);
  square(colours_.MainSquare(), colours_.MainColor(), CColorMngr::kMainFrame);
}

void TColorBox::mousePressEvent(QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  colours_.ColorBoxClick(at.x(), at.y(), e->button() == Qt::LeftButton);
}

// --- colour window ------------------------------------------------------------------------------

TGColWindow::TGColWindow(TMainForm& form, QWidget* parent)
    : TPaletteWindow(form, parent), colours_(form.Colours()) {
  hueBar_ = new THueBar(colours_, this);
  square_ = new TSvSquare(colours_, this);
  box_ = new TColorBox(colours_, this);

  auto* side = new QVBoxLayout;
  side->setContentsMargins(0, 0, 0, 0);
  side->setSpacing(2);
  side->addWidget(box_, 0, Qt::AlignLeft);
  side->addSpacing(kSpacing);
  const QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (QLabel*& t : texts_) {
    t = new QLabel(this);
    t->setTextFormat(Qt::PlainText);
    t->setFont(mono);
    side->addWidget(t, 0, Qt::AlignLeft);
  }
  side->addStretch(1);

  auto* row = new QHBoxLayout(this);
  TightLayout(row);
  row->addWidget(hueBar_, 0, Qt::AlignTop);
  row->addWidget(square_, 0, Qt::AlignTop);
  row->addLayout(side);
  row->addStretch(1);

  // The square shows the main colour's hue until a hue has been chosen.
  const int32_t hue = colours_.WheelHue() >= 0 ? colours_.WheelHue() : colours_.MainHsv().hue;
  hueBar_->SetHue(hue);
  square_->SetHue(hue);
  square_->SetMarker(colours_.MainHsv());
  ColorBoxChanged(colours_.MainColor(), colours_.SubColor(), colours_.MainInFront(), kOriginGeneral);
  colours_.AddObserver(this);
}

TGColWindow::~TGColWindow() { colours_.RemoveObserver(this); }

QStringList TGColWindow::Texts() const {
  QStringList out;
  for (QLabel* t : texts_) out << t->text();
  return out;
}

void TGColWindow::WheelHueChanged(int32_t wheelHue, uint32_t) {
  hueBar_->SetHue(wheelHue);
  square_->SetHue(wheelHue);
}

void TGColWindow::ColorBoxChanged(uint32_t main, uint32_t, bool, uint8_t) {
  const std::vector<std::string> texts = ColorBoxTexts(main);
  for (size_t i = 0; i < texts_.size(); ++i) texts_[i]->setText(QString::fromStdString(texts[i]));
  box_->update();
}

void TGColWindow::MainHsvChanged(const HsvColor& hsv, uint8_t) { square_->SetMarker(hsv); }

// --- channel rows -------------------------------------------------------------------------------

TChannelRows::TChannelRows(const std::array<Channel, 3>& channels, QWidget* parent) : QWidget(parent) {
  auto* grid = new QGridLayout(this);
  TightLayout(grid);
  grid->setHorizontalSpacing(6);
  for (int i = 0; i < 3; ++i) {
    auto* name = new QLabel(U(channels[size_t(i)].name), this);
    name->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* slider = new QSlider(Qt::Horizontal, this);
    slider->setRange(0, channels[size_t(i)].maximum);
    slider->setMinimumWidth(128);
    slider->setPageStep(16);
    auto* field = new QSpinBox(this);
    field->setRange(0, channels[size_t(i)].maximum);
    field->setAlignment(Qt::AlignRight);
    field->setButtonSymbols(QAbstractSpinBox::NoButtons);
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    name->setBuddy(field);
    grid->addWidget(name, i, 0);
    grid->addWidget(slider, i, 1);
    grid->addWidget(field, i, 2);
    sliders_[size_t(i)] = slider;
    fields_[size_t(i)] = field;
    connect(slider, &QSlider::valueChanged, this, [this, i](int v) { emit SliderMoved(i, v); });
    connect(field, &QSpinBox::valueChanged, this, [this, i](int v) { emit FieldChanged(i, v); });
  }
  grid->setColumnStretch(1, 1);
}

void TChannelRows::Show(const std::array<int, 3>& values, bool sliders) {
  for (size_t i = 0; i < 3; ++i) {
    if (sliders && sliders_[i]->value() != values[i]) {
      const QSignalBlocker quiet(sliders_[i]);
      sliders_[i]->setValue(values[i]);
    }
    if (fields_[i]->value() != values[i]) {
      const QSignalBlocker quiet(fields_[i]);
      fields_[i]->setValue(values[i]);
    }
  }
}

void TChannelRows::SetBarColours(const std::array<std::pair<QColor, QColor>, 3>* ends) {
  for (size_t i = 0; i < 3; ++i) {
    QString style;
    if (ends)
      style = QStringLiteral(
                  "QSlider::groove:horizontal { height: 8px; border: 1px solid #808080;"
                  " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:1 %2); }"
                  " QSlider::handle:horizontal { width: 7px; margin: -4px 0; border: 1px solid #404040;"
                  " background: #f4f4f4; }")
                  .arg((*ends)[i].first.name(), (*ends)[i].second.name());
    // Restyling is not free: only when the ends moved.
    if (style == barStyles_[i]) continue;
    barStyles_[i] = style;
    sliders_[i]->setStyleSheet(style);
  }
}

// --- RGB window ---------------------------------------------------------------------------------

TRgbWindow::TRgbWindow(TMainForm& form, QWidget* parent)
    : TPaletteWindow(form, parent), colours_(form.Colours()) {
  rows_ = new TChannelRows({{{"R", 255}, {"G", 255}, {"B", 255}}}, this);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(rows_);
  l->addStretch(1);
  connect(rows_, &TChannelRows::SliderMoved, this,
          [this](int c, int v) { colours_.SetMainColor(WithChannel(c, v), kOriginRgbSliders); });
  connect(rows_, &TChannelRows::FieldChanged, this,
          [this](int c, int v) { colours_.SetMainColor(WithChannel(c, v), kOriginGeneral); });
  MainRgbChanged(colours_.MainColor(), kOriginGeneral);
  colours_.AddObserver(this);
}

TRgbWindow::~TRgbWindow() { colours_.RemoveObserver(this); }

uint32_t TRgbWindow::WithChannel(int channel, int value) const {
  const int shift = 16 - 8 * channel;
  return (colours_.MainColor() & kLow24 & ~(0xFFu << shift)) | (uint32_t(value & 0xFF) << shift);
}

void TRgbWindow::MainRgbChanged(uint32_t main, uint8_t origin) {
  // The slider being dragged already shows its value; moving it again would fight the pointer.
  const int r = int((main >> 16) & 0xFF), g = int((main >> 8) & 0xFF), b = int(main & 0xFF);
  rows_->Show({r, g, b}, origin != kOriginRgbSliders);
  // Each bar shows the colours it would give, unless the user keeps them plain.
  if (form_.Config().rgbPalBarFixed) {
    rows_->SetBarColours(nullptr);
    return;
  }
  const std::array<std::pair<QColor, QColor>, 3> ends = {{{QColor(0, g, b), QColor(255, g, b)},
                                                          {QColor(r, 0, b), QColor(r, 255, b)},
                                                          {QColor(r, g, 0), QColor(r, g, 255)}}};
  rows_->SetBarColours(&ends);
}

// --- HSV window ---------------------------------------------------------------------------------

THsvWindow::THsvWindow(TMainForm& form, QWidget* parent)
    : TPaletteWindow(form, parent), colours_(form.Colours()) {
  rows_ = new TChannelRows({{{"H", 359}, {"S", 255}, {"V", 255}}}, this);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(rows_);
  l->addStretch(1);
  auto set = [this](int c, int v) { colours_.SetMainHsvComponent(c, v); };
  connect(rows_, &TChannelRows::SliderMoved, this, set);
  connect(rows_, &TChannelRows::FieldChanged, this, set);
  MainHsvChanged(colours_.MainHsv(), kOriginGeneral);
  colours_.AddObserver(this);
}

THsvWindow::~THsvWindow() { colours_.RemoveObserver(this); }

void THsvWindow::MainHsvChanged(const HsvColor& hsv, uint8_t) {
  // Its own changes come back as typed: only the widget that did not cause it moves.
  rows_->Show({hsv.hue >> 16, int(hsv.saturation >> 16), int(hsv.value >> 16)}, true);
}

// --- palette ------------------------------------------------------------------------------------

ColorPalette ColorPalette::BuiltIn() {
  ColorPalette p;
  p.entries.reserve(256);
  for (int c = 0; c < 16; ++c) p.entries.push_back(uint32_t(c * 17) * 0x010101u);
  // Rows 1..8: the sixteen hues at full saturation, darker on each row; rows 9..15: their tints.
  for (int r = 1; r < 16; ++r) {
    const uint32_t s = r <= 8 ? 255 : uint32_t(255 - (r - 8) * 32);
    const uint32_t v = r <= 8 ? uint32_t(255 - (r - 1) * 28) : 255;
    for (int c = 0; c < 16; ++c) p.entries.push_back(HsvToRgb(c * (360 << 16) / 16, s << 16, v << 16));
  }
  return p;
}

int32_t ColorPalette::IndexOf(uint32_t colour) const {
  for (size_t i = 0; i < entries.size(); ++i)
    if (((entries[i] ^ colour) & kLow24) == 0) return int32_t(i);
  return -1;
}

int32_t ColorPalette::IndexAt(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || cellW <= 0 || cellH <= 0 || columns <= 0) return -1;
  const int32_t col = x / cellW, row = y / cellH;
  if (col >= columns) return -1;
  const int64_t i = int64_t(row) * columns + col;
  return i < int64_t(entries.size()) ? int32_t(i) : -1;
}

TPalGrid::TPalGrid(ColorPalette& palette, QWidget* parent) : QWidget(parent), palette_(palette) {
  Relayout();
}

void TPalGrid::Relayout() {
  const int rows = std::max<int>(
      1, int((palette_.entries.size() + size_t(palette_.columns) - 1) / size_t(palette_.columns)));
  setFixedSize(palette_.columns * palette_.cellW + 1, rows * palette_.cellH + 1);
  update();
}

QSize TPalGrid::sizeHint() const { return size(); }

QRect TPalGrid::CellRect(int32_t index) const {
  return {(index % palette_.columns) * palette_.cellW, (index / palette_.columns) * palette_.cellH,
          palette_.cellW, palette_.cellH};
}

void TPalGrid::SetMarked(int32_t index) {
  if (index == marked_) return;
  marked_ = index;
  update();
}

void TPalGrid::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Mid));
  const QColor grid = palette().color(QPalette::Dark);
  for (size_t i = 0; i < palette_.entries.size(); ++i) {
    const QRect r = CellRect(int32_t(i));
    if (!r.intersects(e->rect())) continue;
    // Cells one pixel apart, so neighbours of close colours still read as two.
    p.fillRect(r.adjusted(1, 1, 0, 0), Qc(palette_.entries[i]));
    p.setPen(grid);
    p.drawRect(r);
  }
  if (marked_ >= 0 && size_t(marked_) < palette_.entries.size()) {
    const QRect r = CellRect(marked_);
    p.setBrush(Qt::NoBrush);
    p.setPen(Qt::black);
    p.drawRect(r);
    p.setPen(Qt::white);
    p.drawRect(r.adjusted(1, 1, -1, -1));
  }
}

void TPalGrid::mousePressEvent(QMouseEvent* e) {
  const QPoint at = e->position().toPoint();
  emit CellClicked(palette_.IndexAt(at.x(), at.y()), e->button(), e->globalPosition().toPoint());
}

TPalWindow::TPalWindow(TMainForm& form, QWidget* parent)
    : TPaletteWindow(form, parent), colours_(form.Colours()), palette_(ColorPalette::BuiltIn()) {
  grid_ = new TPalGrid(palette_, this);
  grid_->setToolTip(U("クリック: メインカラーに設定 / 右クリック: メニュー"));
  auto* scroll = new QScrollArea(this);
  scroll->setWidget(grid_);
  scroll->setWidgetResizable(false);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // As many rows as the palette asks to show; the rest scrolls.
  scroll->setMinimumHeight(palette_.rows * palette_.cellH + 1);
  scroll->setMinimumWidth(grid_->width() + scroll->verticalScrollBar()->sizeHint().width());

  auto* add = new QToolButton(this);
  add->setText(U("追加"));
  add->setToolTip(U("メインカラーをパレットに追加"));
  add->setAutoRaise(true);
  connect(add, &QToolButton::clicked, this, [this] { AddColor(colours_.MainColor()); });
  auto* remove = new QToolButton(this);
  remove->setText(U("削除"));
  remove->setToolTip(U("選択中の色をパレットから削除"));
  remove->setAutoRaise(true);
  connect(remove, &QToolButton::clicked, this, [this] { DeleteColor(grid_->Marked()); });

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(0, 0, 0, 0);
  buttons->setSpacing(2);
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addStretch(1);

  auto* l = new QVBoxLayout(this);
  TightLayout(l);
  l->addWidget(scroll, 1);
  l->addLayout(buttons);

  connect(grid_, &TPalGrid::CellClicked, this, &TPalWindow::CellClicked);
  PaletteMainChanged(colours_.MainColor());
  colours_.AddObserver(this);
}

TPalWindow::~TPalWindow() { colours_.RemoveObserver(this); }

void TPalWindow::PaletteMainChanged(uint32_t main) { grid_->SetMarked(palette_.IndexOf(main)); }

void TPalWindow::Changed() {
  grid_->Relayout();
  PaletteMainChanged(colours_.MainColor());
}

void TPalWindow::AddColor(uint32_t colour) {
  palette_.entries.push_back(colour & kLow24);
  Changed();
}

void TPalWindow::ReplaceColor(int32_t index, uint32_t colour) {
  if (index < 0 || size_t(index) >= palette_.entries.size()) return;
  palette_.entries[size_t(index)] = colour & kLow24;
  Changed();
}

void TPalWindow::DeleteColor(int32_t index) {
  if (index < 0 || size_t(index) >= palette_.entries.size()) return;
  palette_.entries.erase(palette_.entries.begin() + index);
  Changed();
}

void TPalWindow::CellClicked(int32_t index, Qt::MouseButton button, QPoint globalPos) {
  if (button == Qt::LeftButton) {
    if (index >= 0) colours_.SetMainColor(palette_.entries[size_t(index)] & kLow24, kOriginGeneral);
    return;
  }
  if (button != Qt::RightButton) return;
  QMenu menu(this);
  if (index >= 0) {
    const uint32_t colour = palette_.entries[size_t(index)] & kLow24;
    menu.addAction(U("メインカラーに設定"), this,
                   [this, colour] { colours_.SetMainColor(colour, kOriginGeneral); });
    menu.addAction(U("サブカラーに設定"), this,
                   [this, colour] { colours_.SetSubColor(colour, kOriginGeneral); });
    menu.addSeparator();
    menu.addAction(U("メインカラーで置き換え"), this,
                   [this, index] { ReplaceColor(index, colours_.MainColor()); });
  }
  menu.addAction(U("メインカラーを追加"), this, [this] { AddColor(colours_.MainColor()); });
  if (index >= 0) menu.addAction(U("削除"), this, [this, index] { DeleteColor(index); });
  menu.exec(globalPos);
}

}  // namespace tintara
