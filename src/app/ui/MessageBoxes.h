// The message boxes of the interface: the warning box every part of the program uses, the
// questions, and the information boxes of the file commands. A batch run shows none of them:
// its texts go to stderr and each question takes its safe answer.
#pragma once

#include <functional>
#include <string_view>

#include <QString>

#include "platform/Notify.h"

class QWidget;

namespace tintara {

inline constexpr const char* kProductName = "Tintara";

// The text as a box shows it: "\r\n" and "\r" become line breaks. Stored texts keep their "\r".
QString BoxText(std::string_view utf8);
// "警告 (Tintara)".
QString WarningCaption();

// Message boxes owned by the active window, else the main window. Texts are always plain:
// a path never reads as markup.
class CQtNotifySink : public INotifySink {
 public:
  explicit CQtNotifySink(QWidget* mainWindow = nullptr) : main_(mainWindow) {}
  void SetMainWindow(QWidget* w) { main_ = w; }
  void Warning(std::string_view text) override;
  ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) override;
  void Beep() override;
  void BeginWait() override;
  void EndWait() override;

 private:
  QWidget* Owner() const;
  QWidget* main_;
};

// Unattended runs: warnings to stderr, every question answered with its safe button (No or
// Cancel), so nothing is overwritten or thrown away without a person.
class CBatchNotifySink : public INotifySink {
 public:
  void Warning(std::string_view text) override;
  ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) override;
};
ConfirmAnswer SafeAnswer(ConfirmButtons buttons);

// Information boxes ("上書き保存しました (...)" and the like). A hook, when set, receives the
// text instead (tests, batch runs).
using InformationHook = std::function<void(std::string_view)>;
InformationHook SetInformationHook(InformationHook hook);
void ShowInformation(std::string_view text);

}  // namespace tintara
