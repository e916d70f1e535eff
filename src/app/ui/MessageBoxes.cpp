#include "app/ui/MessageBoxes.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <string>

namespace tintara {

namespace {

InformationHook& Hook() {
  static InformationHook hook;
  return hook;
}

QMessageBox::StandardButtons ButtonsOf(ConfirmButtons b) {
  switch (b) {
    case ConfirmButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case ConfirmButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case ConfirmButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

ConfirmAnswer AnswerOf(int button) {
  switch (button) {
    case QMessageBox::Ok:
      return ConfirmAnswer::Ok;
    case QMessageBox::Yes:
      return ConfirmAnswer::Yes;
    case QMessageBox::No:
      return ConfirmAnswer::No;
    default:
      return ConfirmAnswer::Cancel;
  }
}

// A box whose text is never read as rich text.
int RunBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, std::string_view text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, caption, BoxText(text), buttons, owner);
  box.setTextFormat(Qt::PlainText);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  return box.exec();
}

}  // namespace

QString BoxText(std::string_view utf8) {
  QString s = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QString WarningCaption() {
  return QStringLiteral("%1 (%2)").arg(QString::fromUtf8("警告"), QString::fromUtf8(kProductName));
}

QWidget* CQtNotifySink::Owner() const {
  if (QWidget* w = QApplication::activeWindow()) return w;
  return main_;
}

void CQtNotifySink::Warning(std::string_view text) {
  RunBox(Owner(), QMessageBox::Warning, WarningCaption(), text, QMessageBox::Ok, QMessageBox::Ok);
}

ConfirmAnswer CQtNotifySink::Confirm(std::string_view text, ConfirmButtons buttons) {
  return AnswerOf(RunBox(Owner(), QMessageBox::Question, QString::fromUtf8(kProductName), text,
                         ButtonsOf(buttons), QMessageBox::NoButton));
}

void CQtNotifySink::Beep() { QApplication::beep(); }

void CQtNotifySink::BeginWait() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }

void CQtNotifySink::EndWait() { QGuiApplication::restoreOverrideCursor(); }

ConfirmAnswer SafeAnswer(ConfirmButtons buttons) {
  return buttons == ConfirmButtons::YesNo ? ConfirmAnswer::No : ConfirmAnswer::Cancel;
}

void CBatchNotifySink::Warning(std::string_view text) {
  std::string line(text);
  for (char& c : line)
    if (c == '\r') c = '\n';
  std::fprintf(stderr, "tintara: %s\n", line.c_str());
}

ConfirmAnswer CBatchNotifySink::Confirm(std::string_view text, ConfirmButtons buttons) {
  Warning(text);
  return SafeAnswer(buttons);
}

InformationHook SetInformationHook(InformationHook hook) {
  InformationHook old = std::move(Hook());
  Hook() = std::move(hook);
  return old;
}

void ShowInformation(std::string_view text) {
  if (Hook()) {
    Hook()(text);
    return;
  }
  QWidget* owner = QApplication::activeWindow();
  RunBox(owner, QMessageBox::Information, QString::fromUtf8(kProductName), text, QMessageBox::Ok,
         QMessageBox::Ok);
}

}  // namespace tintara
