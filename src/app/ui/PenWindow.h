// The old pen window: five slots, each holding one of the classic pen kinds (each kind at
// most once, never "blur2"), the current one pressed; choosing a slot makes its kind the pen's
// kind for the old-pen engine, and a slot's kind can be changed. Width and minimum of the
// current kind sit beside them.
#pragma once

#include "app/ui/Palette.h"
#include "paint/PenMethod.h"

class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QSpinBox;
class QToolButton;

namespace tintara {

class TPenWindow2 : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenWindow2(TMainForm& form, QWidget* parent = nullptr);
  const PenSlots& Slots() const { return slots_; }
  QToolButton* SlotButton(int i) const { return buttons_[i]; }
  QComboBox* KindBox() const { return kind_; }
  // Makes slot i current: its kind becomes the pen's.
  bool ChooseSlot(int i);
  // Puts `kind` in the current slot; false when another slot holds it already or it is blur2.
  bool SetSlotKind(int kind);
  void Tick() override;
  // The slots and the current kind's values, under the program's key.
  void SaveSettings(ISettingsStore& store) override;

 private:
  void Refresh();
  // The current slot's kind with its stored values (its defaults when none are stored).
  void LoadKind();
  PenSlots slots_;
  QToolButton* buttons_[5];
  QButtonGroup* group_;
  QComboBox* kind_;
  QDoubleSpinBox* width_;
  QSpinBox* minimum_;
  bool loading_ = false;
};

}  // namespace tintara
