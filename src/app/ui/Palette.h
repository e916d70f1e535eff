// The palette windows' common ground: each is a widget the main window docks (QDockWidget,
// tabbed docking allowed), shows and hides through its actShow… command, keeps in the
// profile's "window" section, and tells when the active picture changes and on every tick.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>

namespace tintara {

// A stored value shown in coarser units (`stored` / `scale`, rounded down): the value a field
// puts back. A field the user left alone gives the stored value unchanged, so editing one field
// does not round the others.
inline int32_t FieldValue(int shown, int32_t stored, int32_t scale) {
  return shown == stored / scale ? stored : int32_t(shown) * scale;
}

class TDrawWindow;
class TMainForm;

class TPaletteWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TPaletteWindow(TMainForm& form, QWidget* parent = nullptr) : QWidget(parent), form_(form) {}

  // The active picture window changed (null: none is open).
  virtual void ActiveChanged(TDrawWindow* active) { (void)active; }
  // The main window's 30 ms tick: periodic work such as the memory read-outs.
  virtual void Tick() {}
  // The picture's contents changed (a command ran, a stroke ended): read it again.
  virtual void PictureChanged() {}
  // At exit: what the palette keeps in the settings store of its own (not in the profile).
  virtual void SaveSettings(class ISettingsStore& store) { (void)store; }

 protected:
  TMainForm& form_;
};

// What the main window needs to know of a palette to dock it.
struct PaletteSpec {
  std::string command;  // "actShowLayerWindow": shows and hides it
  std::string prefix;   // "layer": the object name, and its keys in the profile
  QString caption;      // the dock's title
  Qt::DockWidgetArea area = Qt::RightDockWidgetArea;
};

}  // namespace tintara
