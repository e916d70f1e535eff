// The old pen window: five slots, each holding one of the classic pen kinds (each kind at
// most once, never "blur2"), the current one pressed; choosing a slot makes its kind the pen's
// kind for the old-pen engine with the values of the kind's current variant. Below them the
// kind (a pop-up changes the current slot's kind), the variant 1..5, and the bars and switches
// the kind offers; every change goes through the live stroke's clamping setters.
#pragma once

#include <vector>

#include <QDialog>

#include <array>

#include "app/ui/Palette.h"
#include "paint/PenMethod.h"

class QButtonGroup;
class QDialogButtonBox;
class QCheckBox;
class QLabel;
class QMenu;
class QSlider;
class QToolButton;

namespace tintara {

// "濃度分布選択": the five density profiles of the old pens' dabs, each as the dab it gives,
// in two rows (three, then two); Enter takes the one marked, Escape keeps the old.
class TAirMapDialog : public QDialog {
  Q_OBJECT
 public:
  TAirMapDialog(int32_t current, QWidget* parent = nullptr);
  int32_t Chosen() const;
  QToolButton* Choice(int i) const { return choices_[size_t(i)]; }
  // A dab of profile `index` as a grey disc, `side` pixels square.
  static QImage Preview(int32_t index, int side);

 private:
  std::array<QToolButton*, 5> choices_{};
  QButtonGroup* group_;
};

class TPenWindow2 : public TPaletteWindow {
  Q_OBJECT
 public:
  // The rows of bars: four every kind has, then bar 1 and bar 2 whose meaning depends on the
  // kind, then the colour change length of the watercolour.
  enum Row { kRowMin, kRowWidth, kRowOpacity, kRowGamma, kRowBar1, kRowBar2, kRowSpeed, kRowCount };
  enum Switch { kSwitchSize, kSwitchTransparency, kSwitchEdge, kSwitchCount };
  // What a bar edits.
  enum class Param { kMin, kWidth, kOpacity, kGamma, kEffect, kEnv, kSpeed, kSpacing };

  explicit TPenWindow2(TMainForm& form, QWidget* parent = nullptr);
  ~TPenWindow2() override;
  const PenSlots& Slots() const { return slots_; }
  QToolButton* SlotButton(int i) const { return buttons_[i]; }
  QToolButton* KindButton() const { return kindButton_; }
  QLabel* VariantLabel() const { return variant_; }
  QLabel* RowLabel(Row r) const { return rows_[r].label; }
  QSlider* RowSlider(Row r) const { return rows_[r].slider; }
  QCheckBox* SwitchBox(Switch s) const { return switches_[s]; }

  // Makes slot i current: its kind becomes the pen's, with its current variant's values.
  bool ChooseSlot(int i);
  // Puts `kind` in the current slot; false when another slot holds it already or it is blur2.
  bool SetSlotKind(int kind);
  // The current kind's variant one down or up (0..4), with that variant's values; false at
  // either end.
  bool StepVariant(int delta);
  // The kinds the pop-up offers for the current slot: drawing kinds that are in no slot.
  std::vector<int32_t> FreeKinds() const;
  // The current kind's values back to its defaults.
  void ResetKind();
  // The density profile of the dabs (the kinds that step their dabs at a spacing).
  void SetAirMap(int32_t index);
  QToolButton* AirMapButton() const { return airMap_; }
  QToolButton* ResetButton() const { return reset_; }
  // The pop-up itself, filled afresh: one action per free kind (its data the kind).
  QMenu* KindMenu();
  void Tick() override;
  // The slots and the current kind's values, under the program's key.
  void SaveSettings(ISettingsStore& store) override;

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  struct BarRow {
    QLabel* label = nullptr;
    QSlider* slider = nullptr;
    Param param = Param::kMin;
    const char* caption = "";
  };
  // What the window shows of the stroke, to notice a change made elsewhere on the tick.
  struct Shown {
    int32_t kind = -1, variant = -1, slotKind = -1;
    float min = 0, width = 0, opacity = 0, gamma = 0, effect = 0, env = 0, speed = 0, spacing = 0;
    bool ifSize = false, ifTransparency = false, ifEdge = false;
    bool operator==(const Shown&) const = default;
  };
  Shown Snapshot() const;
  void Refresh();
  // True for the window's own keys: A S D F G and E R without Ctrl or Shift.
  static bool IsOwnKey(int key, Qt::KeyboardModifiers mods);
  // The current slot's kind with its current variant's values (its defaults when none are stored).
  void LoadKind();
  // The values of the kind and variant being left, kept for when they come back.
  void SaveKind();
  void SetRowParam(Row r, Param p, const char* caption);
  void Apply(Row r, int position);

  PenSlots slots_;
  QToolButton* buttons_[5];
  QButtonGroup* group_;
  QToolButton* kindButton_;
  QMenu* kindMenu_;
  QToolButton *variantDown_, *variantUp_, *reset_, *airMap_;
  QLabel* variant_;
  BarRow rows_[kRowCount];
  QCheckBox* switches_[kSwitchCount];
  Shown shown_;
  bool loading_ = false;
};

}  // namespace tintara
