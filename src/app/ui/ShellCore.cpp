#include "app/ui/ShellCore.h"

#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"

namespace tintara::shell {

QStringList QtFilters(const std::string& piped) {
  const QStringList parts = QString::fromStdString(piped).split(QLatin1Char('|'));
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    out << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
  }
  return out;
}

QStringList PictureOpenFilters() { return QtFilters(PictureOpenFilterText()); }
QStringList PictureSaveFilters() { return QtFilters(PictureSaveFilterText()); }
QStringList LayerSaveFilters() { return QtFilters(LayerSaveFilterText()); }
QStringList EventOpenFilters() { return QtFilters(EventOpenFilterText()); }
QStringList EventSaveFilters() { return QtFilters(EventSaveFilterText()); }

CommandContext ContextOf(const TMainForm& form) {
  CommandContext c;
  c.windowCount = int32_t(form.DrawWindows().size());
  c.batch = TDrawWindow::BatchRun();
  c.eventWait = form.EventWait();
  if (TDrawWindow* w = form.ActiveDrawWindow()) {
    CPictureDocument& d = w->Doc();
    c.hasWindow = true;
    c.initialised = d.Paper().initialised != 0;
    c.replaying = d.Replaying();
    c.replayPaused = d.ReplayPaused();
    c.oldReplay = d.OldReplay() && c.replaying;
    c.fromProtected = d.FromProtectedStream();
    c.hasFile = !d.path.empty();
    c.modified = d.modified;
    c.canUndo = d.Paper().CanUndoNow();
    c.canRedo = d.Paper().CanRedoNow();
    c.eventsSavable = d.HasEvents() && !c.fromProtected;
    c.layerCount = d.Paper().LayerCount();
    c.activeLayer = d.Paper().ActiveIndex();
    c.canAddLayer = d.Paper().layers.CanAdd();
    const CLayerData* active = d.Paper().ActiveLayer();
    c.activeProtected = active && active->protectAlpha;
    c.maskCount = d.Paper().masks.Count();
    const CMaskData* mask = d.Paper().masks.Active();
    c.hasSelection = mask && mask->HasChannel();
    c.antialiased = d.Paper().settings.antialiasedDisplay;
    c.recording = d.HasEvents();
    c.gridOn = d.Paper().gridOn != 0;
    c.paperColourOn = d.Paper().paperColorOn != 0;
    c.checkerOn = d.Paper().showChecker != 0;
  }
  return c;
}

}  // namespace tintara::shell
