#include "app/ui/NewWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

#include "platform/Notify.h"

namespace tintara {

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

QComboBox* UnitCombo(QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->addItems({Q("pixel"), Q("inch"), Q("cm")});
  return box;
}

}  // namespace

TNewWindow::TNewWindow(CAppProfile& profile, QSize clipboardSize, QWidget* parent)
    : QDialog(parent), profile_(profile), clipboard_(clipboardSize) {
  setWindowTitle(Q("新規作成"));
  tabs_ = new QTabBar(this);
  for (const char* t : {"&1", "&2", "&3", "&4", "&5", "&clipboard"}) tabs_->addTab(Q(t));
  width_ = new QLineEdit(this);
  height_ = new QLineEdit(this);
  dpi_ = new QLineEdit(this);
  unitW_ = UnitCombo(this);
  unitH_ = UnitCombo(this);
  transparentBox_ = new QCheckBox(Q("透明レイヤ(&T)"), this);
  note_ = new QLabel(this);
  note_->setTextFormat(Qt::PlainText);

  auto* form = new QFormLayout;
  auto row = [&](const char* caption, QWidget* edit, QWidget* unit) {
    auto* h = new QHBoxLayout;
    h->addWidget(edit);
    h->addWidget(unit);
    auto* label = new QLabel(Q(caption), this);
    label->setBuddy(edit);
    form->addRow(label, h);
  };
  row("幅(&W)", width_, unitW_);
  row("高さ(&H)", height_, unitH_);
  row("解像度(&R)", dpi_, new QLabel(Q("pixels/inch"), this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(form);
  layout->addWidget(transparentBox_);
  layout->addWidget(note_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TNewWindow::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TNewWindow::reject);
  // Both unit boxes always show the same unit.
  connect(unitW_, &QComboBox::currentIndexChanged, this, [this](int i) {
    const QSignalBlocker b(unitH_);
    unitH_->setCurrentIndex(i);
    UnitChanged(i);
  });
  connect(unitH_, &QComboBox::currentIndexChanged, this, [this](int i) {
    const QSignalBlocker b(unitW_);
    unitW_->setCurrentIndex(i);
    UnitChanged(i);
  });
  for (QLineEdit* e : {width_, height_, dpi_})
    connect(e, &QLineEdit::textEdited, this, &TNewWindow::CheckTyping);
  connect(tabs_, &QTabBar::currentChanged, this, [this](int tab) {
    StorePreset(shownTab_);
    ShowPreset(tab);
  });
  ShowPreset(0);
}

SizeUnit TNewWindow::Unit() const { return SizeUnit(std::clamp(unitW_->currentIndex(), 0, 2)); }

void TNewWindow::ShowPreset(int tab) {
  // The clipboard tab without an image on the clipboard falls back to the first preset.
  if (tab == kClipboardTab && clipboard_.isEmpty()) {
    const QSignalBlocker b(tabs_);
    tabs_->setCurrentIndex(0);
    tab = 0;
  }
  shownTab_ = tab;
  const PaperPreset& p = profile_.paper[tab];
  double w = p.w, h = p.h;
  SizeUnit unit = SizeUnit(std::clamp(p.unit, 0, 2));
  if (tab == kClipboardTab) {
    w = clipboard_.width();
    h = clipboard_.height();
    unit = SizeUnit::kPixel;
  }
  {
    const QSignalBlocker bw(unitW_), bh(unitH_);
    unitW_->setCurrentIndex(int(unit));
    unitH_->setCurrentIndex(int(unit));
  }
  shownUnit_ = unit;
  width_->setText(QString::fromStdString(FormatSize(w, unit)));
  height_->setText(QString::fromStdString(FormatSize(h, unit)));
  dpi_->setText(QString::number(p.dpi));
  transparentBox_->setChecked(p.transparent);
  note_->clear();
}

void TNewWindow::StorePreset(int tab) {
  // Only the presets keep what was typed; the clipboard tab's size is the clipboard's.
  PaperPreset& p = profile_.paper[tab];
  bool okW = false, okH = false, okD = false;
  const double w = width_->text().toDouble(&okW), h = height_->text().toDouble(&okH);
  const int dpi = dpi_->text().toInt(&okD);
  if (okD) p.dpi = dpi;
  p.transparent = transparentBox_->isChecked();
  if (tab == kClipboardTab) return;
  p.unit = int32_t(Unit());
  if (okW) p.w = float(w);
  if (okH) p.h = float(h);
}

void TNewWindow::UnitChanged(int index) {
  const SizeUnit to = SizeUnit(std::clamp(index, 0, 2));
  bool okW = false, okH = false;
  double w = width_->text().toDouble(&okW), h = height_->text().toDouble(&okH);
  const int dpi = dpi_->text().toInt();
  if (okW && okH && dpi > 0) {
    ChangeUnit(w, h, shownUnit_, to, dpi);
    width_->setText(QString::fromStdString(FormatSize(w, to)));
    height_->setText(QString::fromStdString(FormatSize(h, to)));
  }
  shownUnit_ = to;
}

void TNewWindow::CheckTyping() {
  // The message of the first box that cannot be read, shown beside the boxes while typing.
  for (QLineEdit* e : {width_, height_}) {
    if (auto m = CheckTypedValue(e->text().toStdString(), Unit())) {
      note_->setText(QString::fromStdString(*m));
      return;
    }
  }
  if (auto m = CheckTypedValue(dpi_->text().toStdString(), SizeUnit::kPixel)) {
    note_->setText(QString::fromStdString(*m));
    return;
  }
  note_->clear();
}

void TNewWindow::accept() {
  NewPictureValues v;
  if (auto message = ValidateNewPicture(width_->text().toStdString(), height_->text().toStdString(),
                                        dpi_->text().toStdString(), Unit(), v)) {
    ShowWarning(*message);
    return;
  }
  values_ = v;
  transparent_ = transparentBox_->isChecked();
  StorePreset(shownTab_);
  QDialog::accept();
}

}  // namespace tintara
