// The layer window: the active picture's layers as a list, newest on top, with thumbnails,
// names, modes and opacities, the visibility and protect-alpha switches, group indentation
// with heads that open and close, drag to reorder, the mode and opacity controls of the
// active layer, the buttons of the layer operations and the memory read-outs.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/ui/Palette.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QScrollArea;
class QSlider;
class QSpinBox;
class QToolButton;

namespace tintara {

class TPaper;
class TLayerWindow2;

// One shown row: the layer it stands for and what is drawn of it.
struct LayerRow {
  int32_t layer = -1;
  int32_t level = 0;
  int32_t children = 0;  // > 0: a group head
  bool open = true;
};

// The painted rows. Only layout and pointer handling live here; every change goes through the
// window, which goes through the paper.
class TLayerList : public QWidget {
  Q_OBJECT
 public:
  explicit TLayerList(TLayerWindow2& owner);
  static constexpr int kRowHeight = 39;
  static constexpr int kIndent = 12;
  int RowAt(int y) const;
  // The gap between rows nearest to y: 0 above the top row, rows below the last.
  int GapAt(int y) const;
  QRect RowRect(int row) const;
  QRect EyeRect(int row) const;
  QRect LockRect(int row) const;
  QRect ExpanderRect(int row) const;
  QRect ThumbRect(int row) const;
  QSize sizeHint() const override;
  int DropGap() const { return dropGap_; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  TLayerWindow2& owner_;
  int pressRow_ = -1;
  QPoint pressAt_;
  bool dragging_ = false;
  int dropGap_ = -1;
};

class TLayerWindow2 : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TLayerWindow2(TMainForm& form, QWidget* parent = nullptr);
  void ActiveChanged(TDrawWindow* active) override;
  void Tick() override;
  void PictureChanged() override;

  // --- what the controls do, on the active picture ------------------------------------------
  void AddLayer();
  void DuplicateLayer();
  void DeleteLayer();
  void MergeDown();
  void Flatten();
  void GroupIn();
  void GroupOut();
  void ActivateLayer(int32_t layer);
  void ToggleVisible(int32_t layer);
  void ToggleProtectAlpha(int32_t layer);
  // Opens or closes the group headed by the layer (the window's own view, not the picture's).
  void ToggleOpen(int32_t layer);
  // Moves the layer with its children so that it lands in the gap (TLayerList::GapAt).
  bool DropAtGap(int32_t layer, int gap);
  // The new-layer dialog, then the layer; the settings dialog of a layer, then its changes.
  void NewLayerAsked();
  // The pop-up menu of the list: the layer window's commands.
  void FillMenu(QMenu& menu) const;
  void SettingsAsked(int32_t layer);

  // --- read-outs -----------------------------------------------------------------------------
  const std::vector<LayerRow>& Rows() const { return rows_; }
  TPaper* Paper() const;
  QString MemoryCaption() const;
  QString StatusText() const;
  TLayerList* List() const { return list_; }
  QComboBox* ModeBox() const { return mode_; }
  QSlider* OpacitySlider() const { return opacitySlider_; }
  QSpinBox* OpacitySpin() const { return opacitySpin_; }
  QLabel* Status() const { return status_; }
  QToolButton* Button(const char* name) const;
  // The thumbnail of a layer as drawn in the list.
  QImage Thumbnail(int32_t layer) const;

 private:
  // Reads the paper again when anything the list shows differs from what it showed.
  void Refresh(bool force);
  void RebuildRows();
  void SyncControls();
  void ApplyMode(int position);
  void ApplyOpacity(int percent);
  // Runs a change of the layer list on the active picture and repaints its window.
  template <class F>
  void Run(F&& change);

  TDrawWindow* active_ = nullptr;
  std::vector<LayerRow> rows_;
  std::set<int32_t> closed_;     // ids of closed group heads
  std::vector<uint64_t> shown_;  // a digest of what the list shows
  QScrollArea* scroll_ = nullptr;
  TLayerList* list_ = nullptr;
  QComboBox* mode_ = nullptr;
  QSlider* opacitySlider_ = nullptr;
  QSpinBox* opacitySpin_ = nullptr;
  QLabel* status_ = nullptr;
  bool syncing_ = false;
  // The active picture may be changed from here (it is not replaying).
  bool Editable() const;
};

// "レイヤの新規作成": name, mode, first colour and the transparency box; the choices last for
// the run.
class TNewLayerDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TNewLayerDialog(const std::string& defaultName, QWidget* parent = nullptr);
  std::string Name() const;
  int32_t Mode() const;
  // The chosen colour with its alpha: 0 for a transparent layer, 0xFF otherwise.
  uint32_t Colour() const;
  QComboBox* ModeBox() const { return mode_; }
  QComboBox* ColourBox() const { return colour_; }
  QCheckBox* TransparentBox() const { return transparent_; }
  QLineEdit* NameEdit() const { return name_; }
  void accept() override;

 private:
  void FillColours();
  QLineEdit* name_ = nullptr;
  QComboBox* mode_ = nullptr;
  QComboBox* colour_ = nullptr;
  QCheckBox* transparent_ = nullptr;
};

}  // namespace tintara
