// The picture window: an MDI child that owns one picture (CPictureDocument) and shows its
// paper through a scroll area. The view is kept in device pixels, so the paper's display
// buffers match the screen on high-density displays.
#pragma once

#include <QAbstractScrollArea>
#include <QMdiSubWindow>

#include <functional>
#include <memory>
#include <string>

#include "app/PictureDocument.h"

namespace tintara {

class TDrawWindow;

// The scroll area that paints the paper.
class TPaperView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TPaperView(TDrawWindow& window);
  // The client size and the centre in device pixels.
  QSize DeviceClient() const;
  // Recomputes the scroll ranges and the paper's place in the window.
  void Relayout();
  void MarkViewChanged() { viewChanged_ = true; }
  // Zooms one step about a device point, keeping the paper point under it in place.
  bool ZoomAbout(bool in, QPointF devicePoint);
  bool ZoomToStep(int32_t step);
  // Turns the view to `degrees`, keeping the paper point at the centre of the window there.
  bool RotateTo(double degrees);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void PlaceOrigin();
  TDrawWindow& window_;
  bool viewChanged_ = true;
  int wheelSum_ = 0;
};

class TDrawWindow : public QMdiSubWindow, public IPaperHost {
  Q_OBJECT
 public:
  explicit TDrawWindow(const PaperSettings& settings, QWidget* parent = nullptr);
  ~TDrawWindow() override;

  CPictureDocument& Doc() { return *doc_; }
  TPaper& Paper() { return doc_->Paper(); }
  TPaperView& View() { return *view_; }

  // The caption: the picture's title (its path once it has one).
  void RefreshCaption();
  // The replay's share of the main window's tick.
  // `singleStep`: one replay step per tick (the replay with waits).
  void Tick(bool singleStep = false);
  bool ReplayRunning() const { return doc_->Replaying(); }

  void ZoomIn();
  void ZoomOut();
  void ZoomActual();
  // Whether the picture can be changed from the keyboard now: set up, not replaying, no
  // stroke under way.
  bool MayEdit() const;
  // The window's own editing keys (Ctrl+Shift+E/H/I/S); true when the key was one of them.
  bool EditKey(int key, Qt::KeyboardModifiers mods);

  // Asked by the close query when the user wants the picture saved first; true when it was.
  std::function<bool(TDrawWindow&)> saveAs;
  // Told after each change of the view (zoom, rotation) and when a replay ends.
  std::function<void(TDrawWindow&)> viewChanged;
  std::function<void(TDrawWindow&)> replayEnded;
  // Ctrl+F6 / Ctrl+Shift+F6.
  std::function<void(bool next)> cycleWindows;
  // No question is asked in an unattended run.
  static void SetBatchRun(bool on);
  static bool BatchRun();

  // --- IPaperHost ----------------------------------------------------------------------------
  void InvalidateView(bool erase) override;
  void ScrollRangesChanged() override;
  void SetModified() override { doc_->modified = true; }
  bool IsReplaying() const override { return doc_->Replaying(); }
  bool IsModified() const override { return doc_->modified; }
  uint32_t WindowBackground() const override;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  std::unique_ptr<CPictureDocument> doc_;
  TPaperView* view_ = nullptr;
};

}  // namespace tintara
