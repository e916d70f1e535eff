// The tool-option window: the current tool's name and hint, and what the tool reports while it
// works (the eyedropper's colour under the pointer with a swatch, a drag's offset, the pen
// radius being dragged), and the options of the tool: the pen's right-button pick and auto-scroll,
// the zoom commands, the view turned back upright.
#pragma once

#include <optional>

#include "app/ui/Palette.h"

class QCheckBox;
class QLabel;
class QStackedWidget;
class QToolButton;

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
  // The options of the current tool's mode: the pen's switches, the zoom commands, the view
  // turn put back; an empty page for tools without options.
  QStackedWidget* Options() const { return options_; }
  QCheckBox* RightButtonPicks() const { return rightPicks_; }
  QCheckBox* AutoScroll() const { return autoScroll_; }
  QToolButton* ZoomButton(int i) const { return zoom_[i]; }
  QToolButton* UnrotateButton() const { return unrotate_; }

 private:
  void BuildOptions();
  QLabel* tool_;
  QStackedWidget* options_;
  QCheckBox *rightPicks_, *autoScroll_;
  QToolButton* zoom_[3];
  QToolButton* unrotate_;
  QLabel* readout_;
  QLabel* swatchBox_;
  std::optional<uint32_t> swatch_;
  int32_t shownTool_ = -2;
};

}  // namespace tintara
