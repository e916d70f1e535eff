// The new-picture dialog: five presets kept in the profile and a tab that takes the size of
// the image on the clipboard, the size in pixels, inches or centimetres, the resolution and
// the transparent-layer switch. The numbers and their checks are NewPicture.h's.
#pragma once

#include <QDialog>

#include "app/AppProfile.h"
#include "app/NewPicture.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabBar;

namespace tintara {

class TNewWindow : public QDialog {
  Q_OBJECT
 public:
  // `clipboardSize`: the clipboard image's size in pixels, or empty when it holds none.
  TNewWindow(CAppProfile& profile, QSize clipboardSize, QWidget* parent = nullptr);

  // The values accepted by OK.
  const NewPictureValues& Values() const { return values_; }
  bool Transparent() const { return transparent_; }

  // For tests and the keyboard: the controls.
  QLineEdit* WidthEdit() const { return width_; }
  QLineEdit* HeightEdit() const { return height_; }
  QLineEdit* ResolutionEdit() const { return dpi_; }
  QComboBox* UnitBox() const { return unitW_; }
  QCheckBox* TransparentBox() const { return transparentBox_; }
  QTabBar* Tabs() const { return tabs_; }
  QLabel* TypingNote() const { return note_; }

  static constexpr int kClipboardTab = 5;

 public slots:
  void accept() override;

 private:
  void ShowPreset(int tab);
  void StorePreset(int tab);
  void UnitChanged(int index);
  void CheckTyping();
  SizeUnit Unit() const;

  CAppProfile& profile_;
  QSize clipboard_;
  QTabBar* tabs_;
  QLineEdit *width_, *height_, *dpi_;
  QComboBox *unitW_, *unitH_;
  QCheckBox* transparentBox_;
  QLabel* note_;
  int shownTab_ = 0;
  SizeUnit shownUnit_ = SizeUnit::kPixel;
  NewPictureValues values_;
  bool transparent_ = false;
};

}  // namespace tintara
