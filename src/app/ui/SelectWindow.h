// The selection window: the picture's selection masks with their thumbnails and names, the
// active one marked. A click activates a mask; the buttons add and delete masks; a mask's
// menu combines the active mask into it (copy, add, subtract, intersect). Every change goes
// through the paper's recorded operations.
#pragma once

#include <vector>

#include "app/ui/Palette.h"

class QListWidget;
class QMenu;
class QToolButton;

namespace tintara {

enum class CombineMode : int32_t;

class TSelectWindow : public TPaletteWindow {
  Q_OBJECT
 public:
  explicit TSelectWindow(TMainForm& form, QWidget* parent = nullptr);
  void ActiveChanged(TDrawWindow* active) override;
  void Tick() override;
  QListWidget* List() const { return list_; }
  // The operations of the buttons and the menu, for the active picture.
  bool Activate(int32_t index);
  bool AddMask();
  bool DeleteMask();
  // A copy of the active mask before it, made active.
  bool DuplicateMask();
  // Combines the active mask into mask `index`, which then becomes active.
  bool CombineInto(int32_t index, CombineMode mode);
  // The pop-up menu over a row (-1: none): the window's commands, and for another mask's row
  // the active mask copied, added, subtracted or intersected into it.
  void FillMenu(QMenu& menu, int32_t row);

 private:
  // What the list shows of one mask, to notice a change on the tick.
  struct Shown {
    int32_t serial = 0;
    std::string name;
    uint64_t thumb = 0;  // a hash of the thumbnail's pixels
    int64_t memory = 0;
    bool operator==(const Shown&) const = default;
  };
  std::vector<Shown> Read() const;
  // Brings the list up to the picture: in place while the same masks are listed (so the
  // scroll position and the current row stay), else rebuilt.
  void Sync();
  void Rebuild();
  void ShowMenu(const QPoint& at);
  TDrawWindow* Window() const;
  // A command of the main window, run when its rule allows; true when the masks changed.
  bool RunCommand(const char* command);
  bool Enabled(const char* command) const;
  void EnableButtons();
  QListWidget* list_;
  QToolButton *add_, *duplicate_, *delete_;
  std::vector<Shown> shown_;
  TDrawWindow* active_ = nullptr;
  bool syncing_ = false;  // the list's own changes are not the user's choice
};

}  // namespace tintara
