#include "platform/Notify.h"

#include <cstdio>

namespace tintara {
namespace {

class StderrNotifySink final : public INotifySink {
 public:
  void Warning(std::string_view text) override {
    std::fprintf(stderr, "warning: %.*s\n", int(text.size()), text.data());
  }
  ConfirmAnswer Confirm(std::string_view text, ConfirmButtons buttons) override {
    return buttons == ConfirmButtons::OkCancel ? ConfirmAnswer::Ok : ConfirmAnswer::Yes;
  }
};

StderrNotifySink g_defaultSink;
INotifySink* g_sink = &g_defaultSink;

}  // namespace

INotifySink* SetNotifySink(INotifySink* sink) {
  INotifySink* old = g_sink;
  g_sink = sink ? sink : &g_defaultSink;
  return old;
}

INotifySink& NotifySink() { return *g_sink; }

void ShowWarning(std::string_view text) { g_sink->Warning(text); }
ConfirmAnswer AskConfirm(std::string_view text, ConfirmButtons buttons) {
  return g_sink->Confirm(text, buttons);
}
void Beep() { g_sink->Beep(); }

RecordingNotifySink::RecordingNotifySink() : previous_(SetNotifySink(this)) {}
RecordingNotifySink::~RecordingNotifySink() { SetNotifySink(previous_); }

void RecordingNotifySink::Warning(std::string_view text) { warnings.emplace_back(text); }

ConfirmAnswer RecordingNotifySink::Confirm(std::string_view text, ConfirmButtons buttons) {
  questions.emplace_back(text);
  if (answers.empty()) return defaultAnswer;
  ConfirmAnswer a = answers.front();
  answers.erase(answers.begin());
  return a;
}

}  // namespace tintara
