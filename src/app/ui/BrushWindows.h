// The brush list and the brush editor. The list shows the user's brushes (the default set to
// begin with); choosing one makes it the pen's brush: its mode, effects and stroke settings go
// to the renderer and the pen, its tip becomes the pen's tip. The editor changes a copy of the
// current brush — size, minimum, opacity, spacing, the effects its mode has, the pressure,
// gradation and tone switches and the pressure curve — and the pen follows at once; the brush
// in the list changes only when the copy is saved back.
#pragma once

#include <QString>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

#include <array>

#include "app/AppProfile.h"
#include "app/BrushShortcuts.h"
#include "app/ui/Palette.h"
#include "paint/PenMethod.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace tintara {

class CPenMethodMngr;
class TRadiusEdit;

// A brush becomes the pen's: renderer, stroke, the stroke settings every picture takes at its
// next stroke, and the tip list's mark on the brush's tip (none when the list lacks it).
void ApplyBrushToPen(TMainForm& form, const CPenMethodObj& brush);

// What an effect bar means for a brush: its caption and its hint, or null when the brush has no
// such effect (its bar is hidden).
struct BrushEffectCaption {
  const char* label = nullptr;
  const char* hint = nullptr;
};
BrushEffectCaption BrushEffectCaptionOf(const SPenBrushHead& head, int effect);

class TPenMtdListWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenMtdListWin(TMainForm& form, QWidget* parent = nullptr);
  QListWidget* List() const { return list_; }
  // Makes brush i the pen's brush.
  bool Choose(int32_t i);
  void Tick() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

  // The five shortcut slots below the list: a click applies the slot's brush; its menu puts
  // the current brush in the slot or empties it. Read from and written to the profile's
  // "brush" section.
  const BrushShortcuts& Shortcuts() const { return shortcuts_; }
  QToolButton* ShortcutButton(int slot) const { return shortcutButtons_[size_t(slot)]; }
  bool ChooseShortcut(int slot);
  void AssignShortcut(int slot, int32_t brush);
  void LoadShortcuts(const BrushSettings& profile);
  void SaveShortcuts(BrushSettings& profile) const;

 private:
  void Rebuild();
  void ShowMark();
  void ShowShortcuts();
  QListWidget* list_;
  BrushShortcuts shortcuts_{-1, -1, -1, -1, -1};
  std::array<QToolButton*, kBrushShortcutSlots> shortcutButtons_{};
  // What the rows show: each brush's serial number and caption.
  std::vector<std::pair<int32_t, std::string>> Shown() const;
  std::vector<std::pair<int32_t, std::string>> shown_;
  int32_t shownCurrent_ = -2;
  int32_t rowBeforePress_ = -1;
  bool settingRow_ = false;
};

// The pressure curve y = x ^ gamma with its value.
class TGammaCurve : public QWidget {
  Q_OBJECT
 public:
  explicit TGammaCurve(QWidget* parent = nullptr);
  void SetGamma(double gamma);
  double Gamma() const { return gamma_; }
  // The value as the curve shows it.
  QString Text() const { return QString::asprintf("%3.2f", gamma_); }
  QSize sizeHint() const override { return {64, 48}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double gamma_ = 1.0;
};

class TPenMethodWin : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TPenMethodWin(TMainForm& form, QWidget* parent = nullptr);
  void Tick() override;
  QDoubleSpinBox* Size() const;
  QSlider* SizeSlider() const;
  // "サイズ", or "ｽﾞｰﾑ" for a bitmap tip.
  QLabel* SizeLabel() const { return sizeLabel_; }
  QSpinBox* Minimum() const { return minimum_; }
  QSpinBox* Opacity() const { return opacity_; }
  QSpinBox* Spacing() const { return spacing_; }
  QSpinBox* Effect(int i) const { return effects_[i]; }
  QLabel* EffectLabel(int i) const { return effectLabels_[i]; }
  QCheckBox* PressureSize() const { return pressureSize_; }
  QCheckBox* PressureOpacity() const { return pressureOpacity_; }
  QCheckBox* UseGradation() const { return useGradation_; }
  QCheckBox* UseTone() const { return useTone_; }
  QDoubleSpinBox* Gamma() const { return gamma_; }
  TGammaCurve* GammaCurve() const { return gammaCurve_; }
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
  // The effect bars the brush's mode has, with their captions.
  void ShowEffects(const SPenBrushHead& head);
  // The size row and the minimum as the pen's tip has them: radius, or zoom for a bitmap tip.
  struct SizeShown {
    bool bitmap = false;
    int32_t size = 0;  // radius x 100, or the bitmap's size percent
    int32_t minimum = 0;
    friend bool operator==(const SizeShown&, const SizeShown&) = default;
  };
  SizeShown PenSize() const;
  void ShowSize();
  SizeShown shownSize_{};
  TRadiusEdit* size_;
  QLabel* sizeLabel_;
  QSpinBox *minimum_, *opacity_, *spacing_, *effects_[3];
  QLabel* effectLabels_[3];
  QCheckBox *pressureSize_, *pressureOpacity_, *useGradation_, *useTone_;
  QDoubleSpinBox* gamma_;
  TGammaCurve* gammaCurve_;
  QPushButton* save_;
  // The window's copy of the brush applied last: edits change it and the pen, not the list.
  PenMethodParams copy_{};
  PenTipRecord tipCopy_{};
  int32_t shownSerial_ = -1;
  bool loading_ = false;
};

}  // namespace tintara
