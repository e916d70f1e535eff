#include "app/ui/OptWindow.h"

#include <QGridLayout>
#include <QLabel>

#include "app/ModeMngr.h"
#include "app/ui/MainForm.h"

namespace tintara {

namespace {
QString Str(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }
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
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);
  Tick();
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
  const int32_t tool = form_.Modes().CurrentTool();
  if (tool == shownTool_) return;
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
