// The brush list and the brush editor. The list shows the user's brushes (the default set to
// begin with); choosing one makes it the pen's brush: its mode, effects and stroke settings go
// to the renderer and the pen, its tip becomes the pen's tip. The editor changes the current
// brush — size, minimum, opacity, spacing, the three effects and the pressure switches — and
// the pen follows at once.
#pragma once

#include "app/ui/Palette.h"
#include "paint/PenMethod.h"

class QCheckBox;
class QPushButton;
class QDoubleSpinBox;
class QListWidget;
class QSpinBox;

namespace tintara {

class CPenMethodMngr;

class TPenMtdListWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenMtdListWin(TMainForm& form, QWidget* parent = nullptr);
  QListWidget* List() const { return list_; }
  // Makes brush i the pen's brush.
  bool Choose(int32_t i);
  void Tick() override;

 private:
  void Rebuild();
  QListWidget* list_;
  int32_t shownCount_ = -1, shownCurrent_ = -2;
};

class TPenMethodWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenMethodWin(TMainForm& form, QWidget* parent = nullptr);
  void Tick() override;
  QDoubleSpinBox* Size() const { return size_; }
  QSpinBox* Minimum() const { return minimum_; }
  QSpinBox* Opacity() const { return opacity_; }
  QSpinBox* Spacing() const { return spacing_; }
  QSpinBox* Effect(int i) const { return effects_[i]; }
  QCheckBox* PressureSize() const { return pressureSize_; }
  QCheckBox* PressureOpacity() const { return pressureOpacity_; }
  QPushButton* SaveButton() const { return save_; }
  // Writes the window's copy back into the brush in the list.
  bool SaveBack();
  // Copies the current brush into the window again (it was applied anew).
  void Reload() { Load(); }

 private:
  // The fields from the current brush and the pen's tip.
  void Load();
  // The fields into the current brush, then the brush to the pen.
  void Store();
  QDoubleSpinBox* size_;
  QSpinBox *minimum_, *opacity_, *spacing_, *effects_[3];
  QCheckBox *pressureSize_, *pressureOpacity_;
  QPushButton* save_;
  // The window's copy of the brush applied last: edits change it and the pen, not the list.
  PenMethodParams copy_{};
  PenTipRecord tipCopy_{};
  int32_t shownSerial_ = -1;
  bool loading_ = false;
};

}  // namespace tintara
