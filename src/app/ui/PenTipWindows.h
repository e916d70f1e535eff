// The pen-tip list and the pen-tip editor. The list shows the tips (the built-in set to
// begin with), each as a preview of the dab it paints; choosing one makes it the tip of the
// pen (the brush window saves it into a brush). The editor changes that tip — radius, aspect, angle, minimum,
// hard edge — with a live preview.
#pragma once

#include <QImage>

#include <vector>

#include "app/ui/Palette.h"
#include "paint/PenTip.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QSpinBox;

namespace tintara {

// One dab of the tip at full pressure, black on white, in a square of `side` pixels (a tip
// larger than the square is shown at the largest radius that fits).
QImage DabPreview(const PenTipRecord& tip, int side);

class TPenShpListWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenShpListWin(TMainForm& form, QWidget* parent = nullptr);
  QListWidget* List() const { return list_; }
  const std::vector<PenTipRecord>& Tips() const { return tips_; }
  // Makes tip i the tip of the pen and of the current brush.
  bool Choose(int32_t i);

 private:
  QListWidget* list_;
  std::vector<PenTipRecord> tips_;
};

class TPenShapeWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenShapeWin(TMainForm& form, QWidget* parent = nullptr);
  void Tick() override;
  QDoubleSpinBox* Radius() const { return radius_; }
  QSpinBox* Aspect() const { return aspect_; }
  QSpinBox* Angle() const { return angle_; }
  QSpinBox* Minimum() const { return minimum_; }
  QCheckBox* HardEdge() const { return hardEdge_; }
  const QImage& Preview() const { return preview_; }

 private:
  void Load();
  void Store();
  QDoubleSpinBox* radius_;
  QSpinBox *aspect_, *angle_, *minimum_;
  QCheckBox* hardEdge_;
  QLabel* previewBox_;
  QImage preview_;
  PenTipParams shown_{};
  bool shownHard_ = false;
  bool loading_ = false;
};

}  // namespace tintara
