#include "app/ui/OptWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ModeMngr.h"
#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"

namespace tintara {

namespace {
QString Str(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
// The pages of the option stack, by tool mode.
enum OptionPage { kNoOptions = 0, kPenOptions, kZoomOptions, kTurnOptions };
int PageOfMode(uint8_t mode) {
  switch (mode) {
    case 0:
      return kPenOptions;
    case 1:
      return kZoomOptions;
    case 3:
      return kTurnOptions;
    default:
      return kNoOptions;
  }
}
}  // namespace

TOptWindow::TOptWindow(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 4);
  tool_ = new QLabel(this);
  tool_->setTextFormat(Qt::PlainText);
  tool_->setWordWrap(true);
  readout_ = new QLabel(this);
  readout_->setTextFormat(Qt::PlainText);
  swatchBox_ = new QLabel(this);
  swatchBox_->setFixedSize(28, 28);
  swatchBox_->setFrameStyle(QFrame::Box | QFrame::Plain);
  swatchBox_->setAutoFillBackground(true);
  swatchBox_->hide();
  grid->addWidget(tool_, 0, 0, 1, 2);
  grid->addWidget(swatchBox_, 1, 0, Qt::AlignTop);
  grid->addWidget(readout_, 1, 1, Qt::AlignTop | Qt::AlignLeft);
  options_ = new QStackedWidget(this);
  BuildOptions();
  grid->addWidget(options_, 2, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);
  Tick();
}

void TOptWindow::BuildOptions() {
  options_->addWidget(new QWidget(options_));  // kNoOptions
  // The pen: the two switches of the settings that change how the pointer draws.
  auto* pen = new QWidget(options_);
  auto* penBox = new QVBoxLayout(pen);
  penBox->setContentsMargins(0, 2, 0, 0);
  rightPicks_ = new QCheckBox(QStringLiteral("ペイント時に右クリックをスポイトとして使う(&P)"), pen);
  rightPicks_->setToolTip(QStringLiteral("右ボタンのクリックで画面の色を取ります（Shiftでサブカラー）"));
  autoScroll_ = new QCheckBox(QStringLiteral("自動スクロール機能を使用する(&A)"), pen);
  autoScroll_->setToolTip(QStringLiteral("ウインドウの端を越えて描くと表示が付いてきます"));
  penBox->addWidget(rightPicks_);
  penBox->addWidget(autoScroll_);
  connect(rightPicks_, &QCheckBox::toggled, this, [this](bool on) { form_.Config().useRBtnColPicker = on; });
  connect(autoScroll_, &QCheckBox::toggled, this, [this](bool on) { form_.Config().useAutoScroll = on; });
  options_->addWidget(pen);
  // The zoom: the menu's own commands, so they enable and act exactly as there.
  auto* zoom = new QWidget(options_);
  auto* zoomBox = new QHBoxLayout(zoom);
  zoomBox->setContentsMargins(0, 2, 0, 0);
  for (QToolButton*& b : zoom_) {
    b = new QToolButton(zoom);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    zoomBox->addWidget(b);
  }
  zoomBox->addStretch(1);
  options_->addWidget(zoom);
  // The hand and the turn: the view turned back upright.
  auto* turn = new QWidget(options_);
  auto* turnBox = new QHBoxLayout(turn);
  turnBox->setContentsMargins(0, 2, 0, 0);
  unrotate_ = new QToolButton(turn);
  unrotate_->setText(QStringLiteral("回転を戻す"));
  unrotate_->setToolTip(QStringLiteral("表示の回転を0°に戻します"));
  connect(unrotate_, &QToolButton::clicked, this, [this] {
    if (TDrawWindow* w = form_.ActiveDrawWindow()) w->View().RotateTo(0.0);
  });
  turnBox->addWidget(unrotate_);
  turnBox->addStretch(1);
  options_->addWidget(turn);
}

void TOptWindow::ShowReadout(const QString& text, std::optional<uint32_t> colour) {
  if (readout_->text() != text) readout_->setText(text);
  swatch_ = colour;
  swatchBox_->setVisible(colour.has_value());
  if (colour) {
    QPalette p = swatchBox_->palette();
    p.setColor(QPalette::Window, QColor::fromRgb(QRgb(*colour & 0x00FFFFFF)));
    swatchBox_->setPalette(p);
  }
}

QString TOptWindow::ToolText() const { return tool_->text(); }
QString TOptWindow::ReadoutText() const { return readout_->text(); }

void TOptWindow::Tick() {
  // The tool's name and hint follow the current tool; a new tool clears the old read-out.
  // The commands exist once the menus are built, after the palettes.
  if (!zoom_[0]->defaultAction()) {
    const char* commands[3] = {"actViewZoomIn", "actViewZoomOut", "actViewZoomCancel"};
    for (int i = 0; i < 3; ++i)
      if (QAction* a = form_.Action(commands[i])) zoom_[i]->setDefaultAction(a);
  }
  const ConfigSettings& config = form_.Config();
  if (rightPicks_->isChecked() != config.useRBtnColPicker) rightPicks_->setChecked(config.useRBtnColPicker);
  if (autoScroll_->isChecked() != config.useAutoScroll) autoScroll_->setChecked(config.useAutoScroll);
  TDrawWindow* w = form_.ActiveDrawWindow();
  unrotate_->setEnabled(w && w->Paper().IsRotated());
  const int32_t tool = form_.Modes().CurrentTool();
  if (tool == shownTool_) return;
  options_->setCurrentIndex(PageOfMode(form_.Modes().Mode()));
  shownTool_ = tool;
  QString text;
  if (tool >= 0) {
    text = Str(ToolName(tool));
    // A text without a bar is its own hint: it is shown once.
    if (ToolHint(tool) != ToolName(tool)) text += QStringLiteral("\n") + Str(ToolHint(tool));
  }
  tool_->setText(text);
  ShowReadout(QString(), std::nullopt);
}

}  // namespace tintara
