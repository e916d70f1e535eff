#include "app/ui/SelectWindow.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ui/DrawWindow.h"
#include "app/ui/MainForm.h"
#include "app/ui/ShellCore.h"
#include "document/Mask.h"

namespace tintara {

namespace {

constexpr int kThumbSide = 40;

// A mask's thumbnail as an icon, its rows taken in picture order.
QIcon ThumbIcon(const CMaskData& m) {
  QImage img(kThumbSide, kThumbSide, QImage::Format_RGB32);
  img.fill(Qt::white);
  if (m.thumbnail && m.thumbnail->IsValid()) {
    const TTC& t = *m.thumbnail;
    QImage src(t.Width(), t.Height(), QImage::Format_RGB32);
    for (int32_t y = 0; y < t.Height(); ++y)
      std::copy_n(t.Row32(y), t.Width(), reinterpret_cast<uint32_t*>(src.scanLine(y)));
    img = src.scaled(kThumbSide, kThumbSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return QIcon(QPixmap::fromImage(img));
}

}  // namespace

TSelectWindow::TSelectWindow(TMainForm& form, QWidget* parent) : TPaletteWindow(form, parent) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  box->setSpacing(2);
  list_ = new QListWidget(this);
  list_->setIconSize(QSize(kThumbSide, kThumbSide));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  box->addWidget(list_, 1);
  auto* buttons = new QHBoxLayout;
  add_ = new QToolButton(this);
  add_->setText(QStringLiteral("+"));
  add_->setToolTip(QString::fromUtf8("選択範囲の新規作成"));
  duplicate_ = new QToolButton(this);
  duplicate_->setText(QString::fromUtf8("複製"));
  duplicate_->setToolTip(QString::fromUtf8("選択範囲の複製"));
  delete_ = new QToolButton(this);
  delete_->setText(QString::fromUtf8("−"));
  delete_->setToolTip(QString::fromUtf8("選択範囲の削除"));
  buttons->addWidget(add_);
  buttons->addWidget(duplicate_);
  buttons->addWidget(delete_);
  buttons->addStretch(1);
  box->addLayout(buttons);
  // The mouse and the arrow keys alike make the row they reach the active mask.
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (syncing_ || row < 0) return;
    if (!Activate(row)) Sync();
  });
  connect(list_, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { Activate(list_->row(item)); });
  connect(list_, &QListWidget::customContextMenuRequested, this, &TSelectWindow::ShowMenu);
  // The buttons are the window's commands of the main window, enabled by their rules.
  connect(add_, &QToolButton::clicked, this, [this] { AddMask(); });
  connect(duplicate_, &QToolButton::clicked, this, [this] { DuplicateMask(); });
  connect(delete_, &QToolButton::clicked, this, [this] { DeleteMask(); });
  Rebuild();
}

TDrawWindow* TSelectWindow::Window() const {
  TDrawWindow* w = form_.ActiveDrawWindow();
  return w == active_ ? w : nullptr;
}

void TSelectWindow::ActiveChanged(TDrawWindow* active) {
  active_ = active;
  Rebuild();
}

void TSelectWindow::Tick() {
  TDrawWindow* w = form_.ActiveDrawWindow();
  if (w != active_) {
    ActiveChanged(w);
    return;
  }
  if (w) Sync();
}

std::vector<TSelectWindow::Shown> TSelectWindow::Read() const {
  std::vector<Shown> now;
  TDrawWindow* w = Window();
  if (!w) return now;
  const CMaskMngr& masks = w->Paper().masks;
  for (int32_t i = 0; i < masks.Count(); ++i) {
    const CMaskData* m = masks.At(i);
    uint64_t h = 1469598103934665603ull;
    if (m->thumbnail && m->thumbnail->IsValid())
      for (int32_t y = 0; y < m->thumbnail->Height(); ++y)
        for (int32_t x = 0; x < m->thumbnail->Width(); ++x)
          h = (h ^ m->thumbnail->Row32(y)[x]) * 1099511628211ull;
    now.push_back({m->internalName, m->displayName, h, m->Memory()});
  }
  return now;
}

void TSelectWindow::Sync() {
  TDrawWindow* w = Window();
  std::vector<Shown> now = Read();
  bool same = w && now.size() == shown_.size() && int(now.size()) == list_->count();
  for (size_t i = 0; same && i < now.size(); ++i) same = now[i].serial == shown_[i].serial;
  if (!same) {
    Rebuild();
    return;
  }
  const CMaskMngr& masks = w->Paper().masks;
  const int32_t active = masks.ActiveIndex();
  syncing_ = true;
  for (size_t i = 0; i < now.size(); ++i) {
    QListWidgetItem* item = list_->item(int(i));
    if (now[i].name != shown_[i].name) item->setText(QString::fromStdString(now[i].name));
    if (now[i].thumb != shown_[i].thumb || now[i].memory != shown_[i].memory)
      item->setIcon(ThumbIcon(*masks.At(int32_t(i))));
    QFont f = item->font();
    if (f.bold() != (int32_t(i) == active)) {
      f.setBold(int32_t(i) == active);
      item->setFont(f);
    }
  }
  if (list_->currentRow() != active) list_->setCurrentRow(active);
  syncing_ = false;
  shown_ = std::move(now);
  EnableButtons();
}

bool TSelectWindow::Enabled(const char* command) const {
  return form_.Action(command) && shell::CommandEnabled(command, shell::ContextOf(form_));
}

void TSelectWindow::EnableButtons() {
  const bool here = Window() != nullptr;
  add_->setEnabled(here && Enabled("actSelectInsert"));
  duplicate_->setEnabled(here && Enabled("actSelectDuplicate"));
  delete_->setEnabled(here && Enabled("actSelectRemove"));
}

void TSelectWindow::Rebuild() {
  syncing_ = true;
  const int scroll = list_->verticalScrollBar()->value();
  list_->clear();
  shown_.clear();
  TDrawWindow* w = Window();
  EnableButtons();
  if (w) {
    const CMaskMngr& masks = w->Paper().masks;
    for (int32_t i = 0; i < masks.Count(); ++i) {
      const CMaskData* m = masks.At(i);
      auto* item = new QListWidgetItem(ThumbIcon(*m), QString::fromStdString(m->displayName), list_);
      if (i == masks.ActiveIndex()) {
        QFont f = item->font();
        f.setBold(true);
        item->setFont(f);
      }
    }
    shown_ = Read();
    list_->setCurrentRow(masks.ActiveIndex());
    list_->verticalScrollBar()->setValue(scroll);
    if (list_->currentItem()) list_->scrollToItem(list_->currentItem());
  }
  syncing_ = false;
}

bool TSelectWindow::Activate(int32_t index) {
  TDrawWindow* w = Window();
  if (!w || !w->MayEdit() || index == w->Paper().masks.ActiveIndex()) return false;
  const bool ok = w->Paper().ActivateMask(index);
  w->InvalidateView(false);
  Sync();
  return ok;
}

bool TSelectWindow::RunCommand(const char* command) {
  TDrawWindow* w = Window();
  if (!w || !Enabled(command)) return false;
  const std::vector<Shown> before = Read();
  form_.Action(command)->trigger();
  Sync();
  return Read() != before;
}

bool TSelectWindow::AddMask() { return RunCommand("actSelectInsert"); }
bool TSelectWindow::DuplicateMask() { return RunCommand("actSelectDuplicate"); }
bool TSelectWindow::DeleteMask() { return RunCommand("actSelectRemove"); }

bool TSelectWindow::CombineInto(int32_t index, CombineMode mode) {
  TDrawWindow* w = Window();
  if (!w || !w->MayEdit()) return false;
  const bool ok = w->Paper().CombineMasks(index, w->Paper().masks.ActiveIndex(), mode);
  w->InvalidateView(false);
  Sync();
  return ok;
}

void TSelectWindow::FillMenu(QMenu& menu, int32_t row) {
  TDrawWindow* w = Window();
  if (!w) return;
  form_.AddCommandsTo(menu, shell::SelectWindowCommands());
  // Another mask's row: the active mask combined into it. An empty active mask has nothing to
  // give, so the entries are offered only when it selects something.
  const CMaskMngr& masks = w->Paper().masks;
  if (row < 0 || row >= masks.Count() || row == masks.ActiveIndex()) return;
  const bool can = w->MayEdit() && masks.Active() && masks.Active()->HasChannel();
  const struct {
    const char* caption;
    CombineMode mode;
  } entries[] = {{"コピー", CombineMode::kReplace},
                 {"追加", CombineMode::kAdd},
                 {"減算", CombineMode::kSubtract},
                 {"交差", CombineMode::kIntersect}};
  menu.addSeparator();
  for (const auto& e : entries) {
    QAction* a = menu.addAction(QString::fromUtf8(e.caption));
    a->setEnabled(can);
    connect(a, &QAction::triggered, this, [this, row, mode = e.mode] { CombineInto(row, mode); });
  }
}

void TSelectWindow::ShowMenu(const QPoint& at) {
  QListWidgetItem* item = list_->itemAt(at);
  QMenu menu(this);
  FillMenu(menu, item ? list_->row(item) : -1);
  if (!menu.isEmpty()) menu.exec(list_->viewport()->mapToGlobal(at));
}

}  // namespace tintara
