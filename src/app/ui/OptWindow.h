// The tool-option window: the current tool's name and hint, and what the tool reports while it
// works (the eyedropper's colour under the pointer with a swatch, a drag's offset, the pen
// radius being dragged).
#pragma once

#include <optional>

#include "app/ui/Palette.h"

class QLabel;

namespace tintara {

class TOptWindow : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TOptWindow(TMainForm& form, QWidget* parent = nullptr);
  // A tool's read-out; `colour` (0x00RRGGBB) is shown beside it.
  void ShowReadout(const QString& text, std::optional<uint32_t> colour);
  QString ToolText() const;
  QString ReadoutText() const;
  std::optional<uint32_t> SwatchColour() const { return swatch_; }
  void Tick() override;

 private:
  QLabel* tool_;
  QLabel* readout_;
  QLabel* swatchBox_;
  std::optional<uint32_t> swatch_;
  int32_t shownTool_ = -2;
};

}  // namespace tintara
