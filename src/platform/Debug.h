// Debug output: internal failures that the user need not see ("failed to create ...").
// Lines go to stderr when TINTARA_DEBUG is set; tests capture them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tintara {

// Writes one message as given (messages carry their own line ends where they have one).
void DebugOut(std::string_view text);
// printf-style convenience.
void DebugOutF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Collects every debug message written during its lifetime (nests; restores the
// previous collector on destruction).
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  const std::vector<std::string>& Lines() const { return lines_; }
  bool Contains(std::string_view text) const;
  void Add(std::string_view text) { lines_.emplace_back(text); }

 private:
  std::vector<std::string> lines_;
  DebugCapture* previous_;
};

}  // namespace tintara
