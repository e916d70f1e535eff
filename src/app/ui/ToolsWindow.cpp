#include "app/ui/ToolsWindow.h"

#include <QAction>
#include <QButtonGroup>
#include <QGridLayout>
#include <QPainter>
#include <QPainterPath>

#include "app/ModeMngr.h"
#include "app/ui/MainForm.h"

namespace tintara {

namespace {

constexpr int kIconSide = 24;
// The tool box entries of the zoom in and zoom out tools.
constexpr int32_t kZoomInTool = 5, kZoomOutTool = 6;

QString Str(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A small pictogram per tool, drawn rather than loaded, so the program has no image files.
QIcon IconOf(int32_t tool, const QPalette& palette) {
  QPixmap pm(kIconSide, kIconSide);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink = palette.color(QPalette::ButtonText);
  p.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  switch (tool) {
    case 0: {  // the pen: a brush stroke ending in a tip
      QPainterPath path(QPointF(4, 20));
      path.cubicTo(8, 12, 14, 18, 20, 4);
      p.drawPath(path);
      p.setBrush(ink);
      p.drawEllipse(QPointF(4, 20), 2, 2);
      break;
    }
    case 1:  // turn the view: an arc with an arrow head
      p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 280 * 16);
      p.drawLine(QPointF(18, 4), QPointF(19, 9));
      p.drawLine(QPointF(19, 9), QPointF(14, 9));
      break;
    case 2:  // move the view: four arrows
      p.drawLine(QPointF(12, 3), QPointF(12, 21));
      p.drawLine(QPointF(3, 12), QPointF(21, 12));
      for (const QPointF d : {QPointF(0, -1), QPointF(0, 1), QPointF(-1, 0), QPointF(1, 0)}) {
        const QPointF tip = QPointF(12, 12) + d * 9;
        const QPointF side(d.y(), d.x());
        p.drawLine(tip, tip - d * 3 + side * 3);
        p.drawLine(tip, tip - d * 3 - side * 3);
      }
      break;
    case 3:  // clear the layer: an empty frame with a cross
      p.drawRect(QRectF(4, 4, 16, 16));
      p.drawLine(QPointF(8, 8), QPointF(16, 16));
      p.drawLine(QPointF(16, 8), QPointF(8, 16));
      break;
    case 5:
    case 6:  // zoom in and out: a lens with + or -
      p.drawEllipse(QRectF(3, 3, 13, 13));
      p.drawLine(QPointF(14, 14), QPointF(21, 21));
      p.drawLine(QPointF(6.5, 9.5), QPointF(12.5, 9.5));
      if (tool == 5) p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 12.5));
      break;
    case 8:  // move the layer: a sheet with an arrow
      p.drawRect(QRectF(3, 8, 12, 12));
      p.drawLine(QPointF(11, 12), QPointF(21, 4));
      p.drawLine(QPointF(21, 4), QPointF(16, 4));
      p.drawLine(QPointF(21, 4), QPointF(21, 9));
      break;
    case 9:  // the eyedropper
      p.drawLine(QPointF(5, 19), QPointF(15, 9));
      p.setBrush(ink);
      p.drawEllipse(QPointF(17, 7), 3.5, 3.5);
      break;
    case 20:  // crop: two corner brackets
      p.drawPolyline(QPolygonF({QPointF(7, 2), QPointF(7, 17), QPointF(22, 17)}));
      p.drawPolyline(QPolygonF({QPointF(2, 7), QPointF(17, 7), QPointF(17, 22)}));
      break;
    default:
      p.drawText(QRectF(0, 0, kIconSide, kIconSide), Qt::AlignCenter, Str(ToolName(tool)).left(1));
  }
  return QIcon(pm);
}

}  // namespace

const std::vector<int32_t>& TToolsWindow::OfferedTools() {
  // The tools whose operations this build has: pen, view turn and move, clear, zoom in and
  // out, layer move, eyedropper, crop.
  static const std::vector<int32_t> tools = {0, 9, 8, 20, 3, 2, 1, 5, 6};
  return tools;
}

TToolsWindow::TToolsWindow(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  group_ = new QButtonGroup(this);
  group_->setExclusive(true);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setSpacing(1);
  int n = 0;
  for (int32_t tool : OfferedTools()) {
    auto* b = new QToolButton(this);
    b->setObjectName(QStringLiteral("tool%1").arg(tool));
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setIconSize(QSize(kIconSide, kIconSide));
    b->setIcon(IconOf(tool, palette()));
    b->setToolTip(Str(ToolName(tool)));
    b->setStatusTip(Str(ToolHint(tool)));
    group_->addButton(b, tool);
    grid->addWidget(b, n / 3, n % 3);
    ++n;
    connect(b, &QToolButton::clicked, this, [this, tool] { Clicked(tool); });
  }
  grid->setRowStretch(grid->rowCount(), 1);
  Follow();
}

QToolButton* TToolsWindow::Button(int32_t tool) const {
  return qobject_cast<QToolButton*>(group_->button(tool));
}

void TToolsWindow::Clicked(int32_t tool) {
  CModeMngr& modes = form_.Modes();
  // Zoom entries as buttons: they zoom the picture at once and leave the tool as it was.
  if (form_.Config().zoomToolAsButton && (tool == kZoomInTool || tool == kZoomOutTool)) {
    if (QAction* a = form_.Action(tool == kZoomInTool ? "actViewZoomIn" : "actViewZoomOut")) {
      form_.UpdateCommands();
      if (a->isEnabled()) a->trigger();
    }
    Follow();
    return;
  }
  const char key = kTools[size_t(tool)].key;
  // Again on the current tool: the next sub-mode, as its key gives it.
  if (modes.CurrentTool() == tool && key)
    modes.ToolKey(key, false, false, false);
  else
    modes.SelectTool(tool);
  form_.ToolChanged();
  Follow();
}

void TToolsWindow::Follow() {
  const int32_t current = form_.Modes().CurrentTool();
  QAbstractButton* b = group_->button(current);
  if (b) {
    if (!b->isChecked()) b->setChecked(true);
    return;
  }
  // The current tool has no button here: none shows pressed.
  if (QAbstractButton* on = group_->checkedButton()) {
    group_->setExclusive(false);
    on->setChecked(false);
    group_->setExclusive(true);
  }
}

}  // namespace tintara
