// The pen-tip list and the pen-tip editor. The list shows the main window's tips (the built-in
// set to begin with), each as a preview of the dab it paints, and marks the current one;
// choosing one makes it the tip of the pen (the brush window saves it into a brush). The
// editor changes the pen's tip — radius, flatness, angle, minimum, anti-aliasing and the
// density fall-off — with a live preview.
#pragma once

#include <QDoubleSpinBox>
#include <QImage>
#include <QWidget>

#include <utility>
#include <vector>

#include "app/ui/Palette.h"
#include "paint/PenTip.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QSlider;
class QSpinBox;

namespace tintara {

// One dab of the tip at full pressure, black on white, in a square of `side` pixels (a tip
// larger than the square is shown at the largest radius that fits).
QImage DabPreview(const PenTipRecord& tip, int side);

// The list's index of a tip: the same bitmap (by serial number) or, without a bitmap, the same
// record; -1 when the list has no such tip.
int32_t FindListTip(const CPenShapeMngr& tips, const CPenShapeObj& tip);

// The radius slider's position for a radius: the nearest of its 80 positions.
int32_t PenTipSliderPosition(double radius);

// A radius field whose arrow keys and buttons move by a tenth of a pixel below 20 pixels and by
// whole pixels from there on, so small tips can be tuned finely and large ones reached quickly.
// As a zoom field (a bitmap tip's size in percent) it moves by whole percents.
class TRadiusSpin : public QDoubleSpinBox {
  Q_OBJECT
 public:
  explicit TRadiusSpin(QWidget* parent = nullptr);
  void stepBy(int steps) override;
  bool zoom = false;
};

// The radius as a slider of 80 positions (fine up to 20 pixels, coarse beyond) beside the field;
// for a bitmap tip the two give its size in whole percents within the tip's range instead.
class TRadiusEdit : public QWidget {
  Q_OBJECT
 public:
  explicit TRadiusEdit(QWidget* parent = nullptr);
  QSlider* Slider() const { return slider_; }
  TRadiusSpin* Spin() const { return spin_; }
  // Radius in pixels, or zoom from minPercent to maxPercent. Emits no change.
  void SetRadiusMode();
  void SetZoomMode(int32_t minPercent, int32_t maxPercent);
  bool IsZoom() const { return spin_->zoom; }

 private:
  QSlider* slider_;
  TRadiusSpin* spin_;
};

class TPenShpListWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenShpListWin(TMainForm& form, QWidget* parent = nullptr);
  QListWidget* List() const { return list_; }
  // Makes tip i the current tip and the tip of the pen.
  bool Choose(int32_t i);
  // Follows the tip list: new previews when it changed, the mark on the current tip.
  void Tick() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Rebuild();
  void ShowMark();
  QListWidget* list_;
  // What the previews show: each tip's serial number and record.
  std::vector<std::pair<int32_t, PenTipRecord>> Shown() const;
  std::vector<std::pair<int32_t, PenTipRecord>> shown_;
  int32_t shownCurrent_ = -2;
  int32_t rowBeforePress_ = -1;
  bool settingRow_ = false;
};

class TPenShapeWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenShapeWin(TMainForm& form, QWidget* parent = nullptr);
  void Tick() override;
  QDoubleSpinBox* Radius() const { return radius_->Spin(); }
  QSlider* RadiusSlider() const { return radius_->Slider(); }
  // "半径", or "ｽﾞｰﾑ" for a bitmap tip.
  QLabel* RadiusLabel() const { return radiusLabel_; }
  QSpinBox* Flatness() const { return flatness_; }
  QSpinBox* Angle() const { return angle_; }
  QSpinBox* Minimum() const { return minimum_; }
  QCheckBox* AntiAlias() const { return antiAlias_; }
  QComboBox* Curve() const { return curve_; }
  QDoubleSpinBox* Flattening() const { return flattening_; }
  QDoubleSpinBox* Floor() const { return floor_; }
  const QImage& Preview() const { return preview_; }

 private:
  void Load();
  void Store();
  // The bitmap tip's size percent, -1 for a round tip.
  int32_t PenZoom() const;
  TRadiusEdit* radius_;
  QLabel* radiusLabel_;
  QSpinBox *flatness_, *angle_, *minimum_;
  QCheckBox* antiAlias_;
  QComboBox* curve_;
  QDoubleSpinBox *flattening_, *floor_;
  QLabel* previewBox_;
  QImage preview_;
  PenTipRecord shown_{};
  int32_t shownZoom_ = -1;
  bool loading_ = false;
};

}  // namespace tintara
