#include "app/CommandLine.h"

#include <cctype>
#include <charconv>

#include "platform/Notify.h"

namespace tintara {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A decimal number filling the whole text; `ok` is cleared when it does not.
template <typename T>
T Number(std::string_view text, bool& ok) {
  T value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    ok = false;
    return 0;
  }
  return value;
}

}  // namespace

StartupOptions ParseCommandLine(const std::vector<std::string>& args) {
  StartupOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.empty() || arg[0] != '-') {
      o.files.push_back(arg);
      continue;
    }
    const std::string_view text = std::string_view(arg).substr(1);
    if (SameText(text, "render")) {
      o.batch = true;
      o.viewer = false;
      continue;
    }
    if (SameText(text, "viewer")) {
      o.batch = true;
      o.viewer = true;
      continue;
    }
    if (SameText(text, "export")) {
      o.exportRun = true;
      if (i + 2 < args.size()) {
        o.exportOut = args[i + 1];
        o.exportIn = args[i + 2];
        i += 2;
      } else {
        o.exportMissing = true;
        i = args.size();
      }
      continue;
    }
    const char letter = text.empty() ? '\0' : char(std::toupper(static_cast<unsigned char>(text[0])));
    bool ok = true;  // a W or T whose text is not a decimal number is reported as unknown
    if (letter == 'O') {
      o.outputDir = std::string(text.substr(1));
    } else if (letter == 'W') {
      o.notifyWindow = Number<int64_t>(text.substr(1), ok);
    } else if (letter == 'T') {
      o.waitSeconds = Number<int32_t>(text.substr(1), ok);
    } else {
      ok = false;
    }
    if (!ok) ShowWarning("unknown command line switch!\r    arg = " + arg);
  }
  return o;
}

}  // namespace tintara
