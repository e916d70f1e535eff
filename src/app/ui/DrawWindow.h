// The picture window: an MDI child that owns one picture (CPictureDocument) and shows its
// paper through a scroll area. The view is kept in device pixels, so the paper's display
// buffers match the screen on high-density displays.
#pragma once

#include <QAbstractScrollArea>
#include <QMdiSubWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/AppProfile.h"
#include "app/DrawTools.h"
#include "app/ModeMngr.h"
#include "app/PictureDocument.h"
#include "app/TabletRouter.h"
#include "app/ToolDispatch.h"

namespace tintara {

class TDrawWindow;
class CColorMngr;

// What a picture window shares with the rest of the program: the one tool-mode manager, the
// settings, the user's colours and pen. Whatever is left out the window keeps for itself.
struct DrawWindowContext {
  CModeMngr* modes = nullptr;
  const ConfigSettings* config = nullptr;
  CColorMngr* colours = nullptr;
  CLivePen* pen = nullptr;
  const CPenMethodMngr* brushes = nullptr;  // the eraser brush for the turned-over pen
};

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
  // Brings a paper point to the middle of the window (as far as the scroll range allows).
  void CenterOn(double px, double py);
  // Moves the picture with the pointer by (dx, dy) device pixels.
  void PanBy(int32_t dx, int32_t dy);
  // A widget point in device pixels of the view.
  TPoint DevicePoint(QPointF widgetPoint) const;
  // While a stroke runs near or past the edge, the picture scrolls after the pointer (when
  // the user has asked for it).
  void AutoScroll(TPoint devicePoint);
  // The drag's rubber band, in device pixels (none: hidden).
  void SetRubberBand(std::optional<TRect> r);
  // Turns the view to `degrees`, keeping the paper point at the centre of the window there.
  bool RotateTo(double degrees);

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void PlaceOrigin();
  void PaintPicture(QPaintEvent* e);
  TDrawWindow& window_;
  bool viewChanged_ = true;
  int wheelSum_ = 0;
  std::optional<TRect> rubberBand_;
};

class TDrawWindow : public QMdiSubWindow, public IPaperHost {
  Q_OBJECT
 public:
  explicit TDrawWindow(const PaperSettings& settings, const DrawWindowContext& context = {},
                       QWidget* parent = nullptr);
  ~TDrawWindow() override;

  CPictureDocument& Doc() { return *doc_; }
  TPaper& Paper() { return doc_->Paper(); }
  TPaperView& View() { return *view_; }
  CToolDispatch& Dispatch() { return *dispatch_; }
  CDrawTools& Tools() { return *tools_; }
  CModeMngr& Modes() { return *modes_; }
  const ConfigSettings& Config() const { return *config_; }

  // --- the tablet's side of a stroke (screen positions) --------------------------------------
  // The point lies over this window's view, the window under it is this one and the program
  // has the active window.
  bool AcceptsScreenPoint(double x, double y) const;
  bool TabletPenDown(double x, double y, float pressure);
  void TabletPenMove(double x, double y, float pressure);
  void TabletPenUp(double x, double y);
  // Set by the main window while tablet packets drive a stroke or the pen is near the tablet.
  std::function<bool()> tabletDrives;
  // The view lost the keyboard: a stroke the tablet drives ends.
  std::function<void()> tabletFocusLost;

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
  // One of the window's own keys (the dispatch decided it may run).
  void RunWindowAction(WindowAction a);

  // Asked by the close query when the user wants the picture saved first; true when it was.
  std::function<bool(TDrawWindow&)> saveAs;
  // Told after each change of the view (zoom, rotation) and when a replay ends.
  std::function<void(TDrawWindow&)> viewChanged;
  std::function<void(TDrawWindow&)> replayEnded;
  // Ctrl+F6 / Ctrl+Shift+F6.
  std::function<void(bool next)> cycleWindows;
  // The main window's status panels: 2 for the picture window's read-outs, 3 for messages.
  std::function<void(int panel, const QString& text)> showStatus;
  // A tool's read-out for the tool-option window, with the colour to show beside it.
  std::function<void(const QString& text, std::optional<uint32_t> colour)> showOption;
  // Fits the window to its picture (zooming with Alt).
  std::function<void(TDrawWindow&)> fitWindow;
  // The whole picture to the clipboard (Ctrl+Shift+C).
  std::function<void(TDrawWindow&)> copyPicture;
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
  class Bridge;
  std::unique_ptr<CModeMngr> ownModes_;
  std::unique_ptr<ConfigSettings> ownConfig_;
  CModeMngr* modes_;
  const ConfigSettings* config_;
  std::unique_ptr<CPictureDocument> doc_;
  TPaperView* view_ = nullptr;
  std::unique_ptr<Bridge> bridge_;
  std::unique_ptr<CToolDispatch> dispatch_;
  std::unique_ptr<CDrawTools> tools_;
};

}  // namespace tintara
