// The one place where the program tells the user something or asks a question.
//
// The engine never talks to a window system: it calls these functions, and whoever
// runs the engine installs a sink. The interface installs message boxes, batch runs
// install a silent sink, and tests install a recording sink and assert the texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tintara {

enum class ConfirmButtons { OkCancel, YesNo, YesNoCancel };
enum class ConfirmAnswer { Ok, Cancel, Yes, No };

class INotifySink {
 public:
  virtual ~INotifySink() = default;
  // A failure the user must see (warning icon). Text is UTF-8.
  virtual void Warning(std::string_view text) = 0;
  // A question; the sink returns the button pressed.
  virtual ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) = 0;
  // An audible hint for a refused gesture.
  virtual void Beep() {}
  // Long operations: the wait cursor is shown between these calls (they nest).
  virtual void BeginWait() {}
  virtual void EndWait() {}
};

// Installs a sink and returns the previous one. nullptr restores the default sink,
// which writes warnings to stderr and answers every question with its first button.
INotifySink* SetNotifySink(INotifySink* sink);
INotifySink& NotifySink();

void ShowWarning(std::string_view text);
ConfirmAnswer AskConfirm(std::string_view text, ConfirmButtons buttons);
void Beep();

// Shows the wait cursor for its lifetime, restored on every exit path.
class WaitCursor {
 public:
  WaitCursor() { NotifySink().BeginWait(); }
  ~WaitCursor() { NotifySink().EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The common texts of failed edits.
inline constexpr std::string_view kOutOfMemoryText = "メモリ不足のため実行できませんでした！";
inline constexpr std::string_view kExceptionText = "例外発生のため実行できません！";

// Records every warning and question, answering questions from a queue (then with
// the default answer). Installs itself for its lifetime; meant for tests.
class RecordingNotifySink : public INotifySink {
 public:
  RecordingNotifySink();
  ~RecordingNotifySink() override;
  RecordingNotifySink(const RecordingNotifySink&) = delete;
  RecordingNotifySink& operator=(const RecordingNotifySink&) = delete;

  void Warning(std::string_view text) override;
  ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) override;
  void Beep() override { ++beeps; }
  void BeginWait() override {
    ++waitDepth;
    ++waitCount;
  }
  void EndWait() override { --waitDepth; }

  std::vector<std::string> warnings;
  std::vector<std::string> questions;
  std::vector<ConfirmAnswer> answers;  // consumed front to back
  ConfirmAnswer defaultAnswer = ConfirmAnswer::Ok;
  int beeps = 0;
  int waitDepth = 0;
  int waitCount = 0;

 private:
  INotifySink* previous_;
};

}  // namespace tintara
