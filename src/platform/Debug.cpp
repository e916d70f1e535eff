#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace tintara {
namespace {
DebugCapture* g_capture = nullptr;

bool DebugEnabled() {
  static const bool enabled = std::getenv("TINTARA_DEBUG") != nullptr;
  return enabled;
}
}  // namespace

void DebugOut(std::string_view text) {
  if (g_capture) {
    g_capture->Add(text);
    return;
  }
  if (DebugEnabled()) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
  }
}

void DebugOutF(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return;
  DebugOut(std::string_view(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1));
}

DebugCapture::DebugCapture() : previous_(g_capture) { g_capture = this; }
DebugCapture::~DebugCapture() { g_capture = previous_; }

bool DebugCapture::Contains(std::string_view text) const {
  for (const auto& l : lines_)
    if (l == text) return true;
  return false;
}

}  // namespace tintara
