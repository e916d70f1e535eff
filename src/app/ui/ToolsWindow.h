// The tool box: a button per tool whose operation exists, with its icon, the tool's name as
// the tooltip and its hint in the status line, the current tool pressed. A click on the
// current tool steps through its sub-modes as its key does.
#pragma once

#include <QToolButton>

#include <vector>

#include "app/ui/Palette.h"

class QButtonGroup;

namespace tintara {

class TToolsWindow : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TToolsWindow(TMainForm& form, QWidget* parent = nullptr);
  // The tools offered, in tool-box order.
  static const std::vector<int32_t>& OfferedTools();
  QToolButton* Button(int32_t tool) const;
  void Tick() override { Follow(); }
  // Presses the button of the current tool (none when the current tool is not offered).
  void Follow();

 private:
  void Clicked(int32_t tool);
  QButtonGroup* group_;
};

}  // namespace tintara
